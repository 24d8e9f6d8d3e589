#pragma once

// The command line's contact with its operating system: its arguments, its two output streams,
// and the interrupts that stand in for the window's Cancel and close requests.
// Texts are UTF-8 on both sides of this interface.

#include <string>
#include <vector>

enum class TOutStream { Out, Err };

// The program's arguments, its own name first. On Windows they are read as UTF-16 from the
// system and turned into UTF-8, whatever code page the console uses.
std::vector<std::string> CommandLineArguments(int Argc, char** Argv);

// Whether the stream is a terminal that can rewrite its current line ("\r" and "ESC[K").
bool IsInteractive(TOutStream Stream);

// Writes the text at once. A Windows console gets it through its wide-character output; a pipe or
// a file gets the UTF-8 bytes.
void WriteText(TOutStream Stream, const std::string& Text);

// First Ctrl-C (or Ctrl-Break): cancel after the current row; second: end at once with status
// 130. A request to end the program (SIGTERM or SIGHUP; on Windows the console being closed, a
// log-off or a shut-down) asks the run to close like the window's close request. Sets
// CliInterrupts and CliTerminate (cli_host.h).
// On Linux a file-size limit makes writes fail (EFBIG) instead of killing the program.
void InstallCliSignalHandlers();
