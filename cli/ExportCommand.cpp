#include "cli/ExportCommand.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "cli/DefaultSource.h"
#include "cli/VerifyCommand.h"
#include "export/Export.h"
#include "export/ShownText.h"
#include "platform/NativePath.h"
#include "platform/TextFile.h"
#include "wizard/AddressBookCheck.h"

namespace tarvelle::cli {

namespace {

namespace fs = std::filesystem;
using exporter::MessageButtons;
using exporter::MessageIcon;
using exporter::MessageResult;

constexpr std::string_view kProgramName = "tarvelle-export";

// Message texts separate lines with CR LF; a terminal wants LF alone.
std::string TerminalLines(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

void PrintMessage(std::ostream& err, std::string_view title, std::string_view text) {
    err << title << ": " << TerminalLines(text) << '\n';
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The export host of a terminal: the log on stdout, message boxes on stderr, the folder and the
// source fixed by the command line.
class TerminalHost final : public exporter::ExportHost {
  public:
    TerminalHost(CommandEnvironment& env, std::string folder, exporter::SelectedSource source)
        : env_(env), folder_(std::move(folder)), source_(std::move(source)) {}

    void AppendLog(std::string_view line) override {
        ClearProgress();
        env_.out << line << '\n';
        if (StartsWith(line, "Creating Contact : ") || StartsWith(line, "+ Creating Group : ")) {
            ++items_;
        }
    }

    void ProcessEvents() override {
        // Called several times per line: look at the clock only every few hundred calls.
        if (!env_.showProgress || (++calls_ & 0xFF) != 0) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(150)) return;
        lastDraw_ = now;
        env_.out.flush();
        env_.err << "\r" << kProgramName << ": " << items_ << " items exported..."
                 << "\x1b[K";
        env_.err.flush();
        progressShown_ = true;
    }

    MessageResult ShowMessage(std::string_view title, std::string_view text, MessageIcon,
                              MessageButtons buttons) override {
        ClearProgress();
        env_.out.flush();
        PrintMessage(env_.err, title, text);
        return buttons == MessageButtons::YesNo ? MessageResult::Yes : MessageResult::Ok;
    }

    std::string BrowseForFolder(std::string_view) override { return folder_; }
    exporter::SelectedSource GetSelectedSource() override { return source_; }

    void ClearProgress() {
        if (!progressShown_) return;
        env_.err << "\r\x1b[K";
        env_.err.flush();
        progressShown_ = false;
    }

  private:
    CommandEnvironment& env_;
    std::string folder_;
    exporter::SelectedSource source_;
    unsigned calls_ = 0;
    long long items_ = 0;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
};

struct Options {
    std::optional<std::string> file;
    std::optional<std::string> outDir;
    std::optional<std::string> encodingName;
    platform::TextEncoding encoding = platform::TextEncoding::Auto;
    bool help = false;
    bool verify = false;
};

std::optional<platform::TextEncoding> EncodingNamed(std::string_view name) {
    if (name == "windows-1252") return platform::TextEncoding::Windows1252;
    if (name == "mac-roman") return platform::TextEncoding::MacRoman;
    if (name == "utf-8") return platform::TextEncoding::Utf8;
    return std::nullopt;
}

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

Options ParseArguments(const std::vector<std::string>& args) {
    Options options;
    auto take = [](std::optional<std::string>& slot, std::string_view name, std::string value) {
        if (slot) throw UsageError(std::string(name) + " given twice");
        if (value.empty()) throw UsageError(std::string(name) + " needs a non-empty value");
        slot = std::move(value);
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--verify") {
            options.verify = true;
            continue;
        }
        bool matched = false;
        for (auto [name, slot] :
             {std::pair<std::string_view, std::optional<std::string>*>{"--file", &options.file},
              {"--out-dir", &options.outDir},
              {"--encoding", &options.encodingName}}) {
            if (arg == name) {
                if (i + 1 >= args.size()) throw UsageError(std::string(name) + " needs a value");
                take(*slot, name, args[++i]);
                matched = true;
                break;
            }
            const std::string withEquals = std::string(name) + "=";
            if (StartsWith(arg, withEquals)) {
                take(*slot, name, arg.substr(withEquals.size()));
                matched = true;
                break;
            }
        }
        if (matched) continue;
        if (StartsWith(arg, "-")) throw UsageError("unknown option " + arg);
        throw UsageError("unexpected argument " + arg);
    }
    if (!options.help && !options.outDir) throw UsageError("--out-dir DIR is required");
    if (options.encodingName) {
        const auto encoding = EncodingNamed(*options.encodingName);
        if (!encoding) {
            throw UsageError("unknown encoding " + *options.encodingName +
                             " (windows-1252, mac-roman or utf-8)");
        }
        options.encoding = *encoding;
    }
    return options;
}

int Run(const std::vector<std::string>& args, CommandEnvironment& env) {
    Options options;
    try {
        options = ParseArguments(args);
    } catch (const UsageError& error) {
        env.err << kProgramName << ": " << error.what() << "\nTry '" << kProgramName
                << " --help' for more information.\n";
        return kExitUsage;
    }
    if (options.help) {
        env.out << UsageText();
        return kExitSuccess;
    }

    platform::TextFileOpener& opener = env.opener ? *env.opener : platform::DefaultTextFileOpener();

    // The source is settled and checked before anything is created, so a failure leaves nothing
    // behind. The path checked is the one the export reads.
    exporter::SelectedSource source;
    if (options.file) {
        source = {false, exporter::NicknamesFilePath({false, *options.file})};
    } else {
        auto find = env.findDefaultSource ? env.findDefaultSource : FindDefaultSource;
        auto found = find(env.err);
        if (!found) return kExitFailure;
        source = *found;
    }
    // The selection page's check, as the wizard makes it.
    const std::string book = exporter::MainBookPath(source);
    const wizard::BookCheck check =
        wizard::CheckAddressBook(opener, book, exporter::ExtraBooks(source), options.encoding);
    switch (check.verdict) {
        case wizard::BookVerdict::Passed:
            break;
        case wizard::BookVerdict::NotAnAddressBook:
            PrintMessage(env.err, wizard::kApplicationTitle, wizard::kNotAnAddressBookText);
            return kExitNotAnAddressBook;
        case wizard::BookVerdict::Unreadable:
            PrintMessage(env.err, exporter::kExportFailedTitle,
                         "The address book file could not be read:\r\n" +
                             exporter::ShownText(book) + " (" + exporter::ShownPath(check.cause) +
                             ")");
            return kExitFailure;
    }

    std::error_code ec;
    fs::path outDir = fs::absolute(platform::PathFromUtf8(*options.outDir), ec);
    if (!ec) fs::create_directories(outDir, ec);
    if (ec || !fs::is_directory(outDir)) {
        env.err << kProgramName << ": cannot use the output folder "
                << exporter::ShownPath(*options.outDir) << ": "
                << (ec ? ec.message() : std::string("Not a directory")) << '\n';
        return kExitFailure;
    }

    TerminalHost host(env, platform::PathToUtf8(outDir), source);
    exporter::ExportOutcome outcome;
    {
        exporter::Exporter exporter(host, env.sessions);
        if (env.opener) exporter.SetTextFileOpener(*env.opener);
        exporter.SetEncoding(options.encoding);
        outcome = exporter.ExportAddressBook();
    }  // the exporter lets go of the store: the file on disk is in its final state
    host.ClearProgress();
    env.out.flush();
    // A log nobody could read does not stop the export (the .pst matters more), but the run
    // does not count as a success either.
    const bool logLost = !env.out;
    if (logLost) {
        env.err << kProgramName << ": the progress log could not be written to standard output\n";
    }
    bool sound = true;
    if (options.verify && !outcome.pstPath.empty()) {
        // Checked as it stays on disk: closed, with its final allocation maps.
        if (const std::string failure = env.sessions.Finish(outcome.pstPath); !failure.empty())
            env.err << kProgramName << ": " << failure << '\n';
        sound = VerifyWrittenFile(outcome.pstPath, env.err);
    }
    if (!outcome.pstPath.empty()) env.err << exporter::ShownPath(outcome.pstPath) << '\n';
    env.err.flush();
    const bool success = outcome.finished && outcome.itemsFailed == 0 && !logLost && sound;
    return success ? kExitSuccess : kExitFailure;
}

}  // namespace

std::string UsageText() {
    return R"usage(Usage: tarvelle-export [--verify] --file PATH --out-dir DIR [--encoding NAME]
       tarvelle-export [--verify] --out-dir DIR [--encoding NAME]
       tarvelle-export --help

Writes a Eudora address book (the nicknames file NNdbase.txt) into a new Outlook .pst file:
every single-address nickname becomes a contact, every nickname with several addresses a
distribution list with its members.

  --file PATH    Export this nicknames file (spaces around the path are removed). It is
                 checked first: it must hold at least one nickname line ("alias ...", in any
                 case), at least half of its non-blank lines must be nickname or note lines,
                 and its first 4 KB must hold no NUL byte; otherwise nothing is written and the
                 exit status is 3. Other lines are skipped, as Eudora skips them. When PATH is
                 NNdbase.txt or NNdbase.nnt of a data folder with a Nickname folder, the books
                 in that folder are exported too, as without --file.
  --out-dir DIR  Folder for the new .pst; created when missing. The file is named
                 "Eudora Address Book Created-dd-mm-yy h-m-s.pst". An existing file is never
                 written to or replaced: " (2)", " (3)", ... is added to the name instead.
  --encoding NAME
                 Read the books as windows-1252, mac-roman or utf-8. Without it each book is
                 read as UTF-8 when it starts with a byte-order mark or is all valid UTF-8 with
                 at least one non-ASCII character, as Mac Roman when it is a Mac book (lines
                 ending in CR alone, or the name "Eudora Nicknames"), and as Windows-1252 (the
                 system's ANSI code page on Windows) otherwise.
  --verify       Check the new .pst afterwards as tarvelle-verify does: its findings and the
                 summary line go to stderr, before the file's path; a defect makes the exit
                 status 1.
  --help         Show this text.

Without --file the default address book in Eudora's data folder is exported; the folder is
found from Eudora's registry entry, and when that fails nothing is created. The book is
checked as with --file.

Output: stdout carries the progress log, one line per step or item. Messages go to stderr as
"Title: text"; the full path of the new .pst is printed last on stderr, once the file is
finished. A path or text holding control characters is shown in double quotes with C escapes
(\n, \t, \xNN, ...). When stderr is a terminal, a progress line is drawn there while the
export runs. Before the first item the free space of DIR is compared with the expected size of
the file; when it is too small, nothing is written.

Exit status:
  0  the export finished and every item was written (skipped lines do not count)
  1  the store could not be prepared, the address book could not be found or read or changed
     during the export, DIR has too little free space, the .pst could not be written, some
     items were not written, the progress log could not be written to stdout, or --verify
     found a defect
  2  usage error
  3  the file is not a Eudora address book; nothing was written
)usage";
}

int RunExportCommand(const std::vector<std::string>& args, CommandEnvironment& env) {
    try {
        return Run(args, env);
    } catch (const std::exception& error) {
        // Nothing of ours should get here; report it rather than dying without a word.
        env.err << kProgramName << ": unexpected error: " << error.what() << '\n';
        return kExitFailure;
    }
}

}  // namespace tarvelle::cli
