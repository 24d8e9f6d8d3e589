#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "app/cli/cli_host.h"
#include "app/cli/cli_os.h"

namespace {

std::FILE* FileOf(TOutStream Stream) {
  return Stream == TOutStream::Out ? stdout : stderr;
}

extern "C" void OnInterrupt(int) {
  if (CliInterrupts.fetch_add(1) >= 1) ::_exit(130);
}

extern "C" void OnTerminate(int) {
  CliTerminate.store(1);
}

}  // namespace

std::vector<std::string> CommandLineArguments(int Argc, char** Argv) {
  return std::vector<std::string>(Argv, Argv + Argc);
}

bool IsInteractive(TOutStream Stream) {
  return ::isatty(::fileno(FileOf(Stream))) != 0;
}

void WriteText(TOutStream Stream, const std::string& Text) {
  std::FILE* F = FileOf(Stream);
  std::fwrite(Text.data(), 1, Text.size(), F);
  std::fflush(F);
}

void InstallCliSignalHandlers() {
  // SA_RESTART: a call the signal interrupts goes on (the file seam repeats the others).
  struct sigaction Interrupt {};
  Interrupt.sa_handler = OnInterrupt;
  Interrupt.sa_flags = SA_RESTART;
  sigemptyset(&Interrupt.sa_mask);
  sigaction(SIGINT, &Interrupt, nullptr);

  struct sigaction Terminate {};
  Terminate.sa_handler = OnTerminate;
  Terminate.sa_flags = SA_RESTART;
  sigemptyset(&Terminate.sa_mask);
  sigaction(SIGTERM, &Terminate, nullptr);
  sigaction(SIGHUP, &Terminate, nullptr);

  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}
