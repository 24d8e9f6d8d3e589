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

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsInteractive(TOutStream Stream) {
  return ::isatty(::fileno(FileOf(Stream))) != 0;
}

void WriteText(TOutStream Stream, const std::string& Text) {
  std::FILE* f = FileOf(Stream);
  std::fwrite(Text.data(), 1, Text.size(), f);
  std::fflush(f);
}

void InstallCliSignalHandlers() {
  // SA_RESTART: a call the signal interrupts goes on (the file seam repeats the others).
  struct sigaction interrupt {};
  interrupt.sa_handler = OnInterrupt;
  interrupt.sa_flags = SA_RESTART;
  sigemptyset(&interrupt.sa_mask);
  sigaction(SIGINT, &interrupt, nullptr);

  struct sigaction terminate {};
  terminate.sa_handler = OnTerminate;
  terminate.sa_flags = SA_RESTART;
  sigemptyset(&terminate.sa_mask);
  sigaction(SIGTERM, &terminate, nullptr);
  sigaction(SIGHUP, &terminate, nullptr);

  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}
