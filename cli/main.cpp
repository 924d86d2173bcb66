// tarvelle-export: writes a Eudora address book into a new Outlook .pst from a terminal.
#include <csignal>
#include <iostream>

#include "cli/Arguments.h"
#include "cli/DefaultSource.h"
#include "cli/ExportCommand.h"
#include "platform/PstStoreSession.h"
#include "platform/StandardStreams.h"

int main(int argc, char** argv) {
    if (!tarvelle::platform::FillClosedStandardDescriptors()) return tarvelle::cli::kExitFailure;
#ifdef SIGPIPE
    // A reader of the log that goes away must not end the export: the .pst matters more than its
    // log, and the failed write is reported at the end instead.
    std::signal(SIGPIPE, SIG_IGN);
#endif
#ifdef SIGXFSZ
    // A file-size limit must turn into a write error the run reports, not kill the process.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    std::ios::sync_with_stdio(false);
    const bool errIsTerminal = tarvelle::cli::ErrorIsTerminal();
    const std::vector<std::string> args = tarvelle::cli::ProgramArguments(argc, argv);
    auto sessions = tarvelle::platform::MakePstSessionFactory();
    tarvelle::cli::CommandEnvironment env{
        std::cout, std::cerr, *sessions, tarvelle::cli::FindDefaultSource, nullptr, errIsTerminal};
    const int status = tarvelle::cli::RunExportCommand(args, env);
    std::cout.flush();
    std::cerr.flush();
    return status;
}
