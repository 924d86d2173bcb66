// tarvelle-export: writes a Eudora address book into a new Outlook .pst from a terminal.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

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

#ifdef _WIN32
    const bool errIsTerminal = _isatty(2) != 0;
#else
    const bool errIsTerminal = isatty(STDERR_FILENO) != 0;
#endif

#ifdef _WIN32
    // The narrow argv is in the ANSI code page and loses what it cannot hold; the program works
    // in UTF-8, so take the wide command line and convert it.
    (void)argc;
    (void)argv;
    std::vector<std::string> args;
    int wideCount = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
        for (int i = 1; i < wideCount; ++i) {
            const int size =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(size > 0 ? static_cast<std::size_t>(size - 1) : 0, '\0');
            if (size > 1) {
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
            }
            args.push_back(std::move(arg));
        }
        LocalFree(wide);
    }
    SetConsoleOutputCP(CP_UTF8);
#else
    std::vector<std::string> args(argv + 1, argv + argc);
#endif
    auto sessions = tarvelle::platform::MakePstSessionFactory();
    tarvelle::cli::CommandEnvironment env{
        std::cout, std::cerr, *sessions, tarvelle::cli::FindDefaultSource, nullptr, errIsTerminal};
    const int status = tarvelle::cli::RunExportCommand(args, env);
    std::cout.flush();
    std::cerr.flush();
    return status;
}
