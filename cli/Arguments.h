// The command line as UTF-8, the same on every system.
#pragma once

#include <string>
#include <vector>

namespace tarvelle::cli {

// The arguments after the program name. On Windows they come from the wide command line (the
// narrow argv loses what the ANSI code page cannot hold) and the console is switched to UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Whether standard error is a terminal.
bool ErrorIsTerminal();

}  // namespace tarvelle::cli
