// tarvelle-verify: checks a Unicode PST file and reports every defect it finds.
#include <iostream>

#include "cli/Arguments.h"
#include "cli/VerifyCommand.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const int status = tarvelle::cli::RunVerifyCommand(tarvelle::cli::ProgramArguments(argc, argv),
                                                       std::cout, std::cerr);
    std::cout.flush();
    std::cerr.flush();
    return status;
}
