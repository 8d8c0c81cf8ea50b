// The program's command line, read before any window or display is needed.
#pragma once

#include <optional>

// Answers --help and --version on standard output and refuses unknown options
// and arguments on standard error. Returns the exit code when the program
// should end here, nothing when it should start. Qt's own options (-platform,
// -style, ...) are let through for QApplication.
std::optional<int> HandleCommandLine(int argc, char *argv[]);
