// tarvelle-verify's whole behaviour, callable in-process (verify_main.cpp only wires the streams),
// and the check tarvelle-export --verify runs on the file it wrote.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tarvelle::cli {

// Exit statuses of tarvelle-verify.
enum VerifyStatus : int {
    kVerifyClean = 0,    // no error (warnings allowed)
    kVerifyDefects = 1,  // at least one error
    kVerifyRefused = 2   // bad command line, unreadable file, not a Unicode PST
};

int RunVerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The --help text.
std::string VerifyUsageText();

// Verifies `path` (UTF-8): its findings and the summary line go to `err`. False when the file
// has errors or cannot be read.
bool VerifyWrittenFile(const std::string& path, std::ostream& err);

}  // namespace tarvelle::cli
