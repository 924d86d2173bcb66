// Where Eudora keeps its data folder: the command line Eudora records in the current user's
// registry on every start ("<Eudora.exe> <data folder> <ini file>", 8.3 short paths, no quotes).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarvelle::eudora {

// The registry entry Eudora writes, under HKEY_CURRENT_USER.
inline constexpr std::string_view kCommandLineKey = "Software\\Qualcomm\\Eudora\\CommandLine";
inline constexpr std::string_view kCommandLineValue = "current";

// The two messages of a failed lookup (information icon, OK button only).
inline constexpr std::string_view kAddressBookHelpTitle = "Address Book Help";
inline constexpr std::string_view kInstallationNotFoundText =
    "Unable to Locate Eudora Installation.\r\n"
    "Please visit webpage to know, how to locate eudora address book file.";
inline constexpr std::string_view kAddressBookNotFoundText =
    "Unable to Locate Eudora Address Book.\r\n"
    "Please visit webpage to know, how to locate eudora address book file(s) manually.";

// Read access to the current user's registry. Implementations never fail loudly: a key that
// cannot be opened does not exist, a value that cannot be read is the empty text.
class RegistryReader {
  public:
    virtual ~RegistryReader() = default;
    // True when the key (a path under HKEY_CURRENT_USER) can be opened.
    virtual bool KeyExists(std::string_view keyPath) = 0;
    // The value as text: a string as stored (cut at its first NUL), a 32-bit number as signed
    // decimal digits, the empty text for any other type or any failure.
    virtual std::string QueryValueText(std::string_view keyPath, std::string_view valueName) = 0;
};

// Where the lookup's messages go: a message box in the wizard, stderr in the command-line tool.
class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // A message with the information icon and a single OK button; lines separated by CR LF.
    virtual void ShowInformation(std::string_view title, std::string_view text) = 0;
};

enum class DataFolderOutcome { FolderFound, InstallationNotFound, AddressBookNotFound };

struct DataFolderLookup {
    DataFolderOutcome outcome = DataFolderOutcome::InstallationNotFound;
    std::string folder;  // only for FolderFound; may be empty (two spaces after the first word)
};

// The command line cut at every single space; consecutive spaces give empty pieces, the empty
// text gives no pieces. A piece that starts with a double quote and whose closing quote is
// followed by a space or the end is one piece without its quotes, so quoted long paths with
// spaces survive; a quote anywhere else is an ordinary character.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Piece 1 of the command line, untrimmed, as the data folder; AddressBookNotFound when there are
// fewer than two pieces. Shows nothing.
DataFolderLookup DataFolderFromCommandLine(std::string_view commandLine);

// The whole lookup: installation check, command-line value, split. Shows the matching message
// for each failure before returning.
DataFolderLookup LocateEudoraDataFolder(RegistryReader& registry, MessageSink& messages);

}  // namespace tarvelle::eudora
