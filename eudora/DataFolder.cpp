#include "eudora/DataFolder.h"

namespace tarvelle::eudora {

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> pieces;
    if (commandLine.empty()) return pieces;
    std::size_t pos = 0;
    for (;;) {
        if (pos < commandLine.size() && commandLine[pos] == '"') {
            const std::size_t close = commandLine.find('"', pos + 1);
            if (close != std::string_view::npos &&
                (close + 1 == commandLine.size() || commandLine[close + 1] == ' ')) {
                pieces.emplace_back(commandLine.substr(pos + 1, close - pos - 1));
                if (close + 1 == commandLine.size()) break;
                pos = close + 2;
                continue;
            }
        }
        const std::size_t space = commandLine.find(' ', pos);
        if (space == std::string_view::npos) {
            pieces.emplace_back(commandLine.substr(pos));
            break;
        }
        pieces.emplace_back(commandLine.substr(pos, space - pos));
        pos = space + 1;
    }
    return pieces;
}

DataFolderLookup DataFolderFromCommandLine(std::string_view commandLine) {
    std::vector<std::string> pieces = SplitCommandLine(commandLine);
    if (pieces.size() < 2) return {DataFolderOutcome::AddressBookNotFound, {}};
    return {DataFolderOutcome::FolderFound, std::move(pieces[1])};
}

DataFolderLookup LocateEudoraDataFolder(RegistryReader& registry, MessageSink& messages) {
    if (!registry.KeyExists(kCommandLineKey)) {
        messages.ShowInformation(kAddressBookHelpTitle, kInstallationNotFoundText);
        return {DataFolderOutcome::InstallationNotFound, {}};
    }
    DataFolderLookup lookup =
        DataFolderFromCommandLine(registry.QueryValueText(kCommandLineKey, kCommandLineValue));
    if (lookup.outcome == DataFolderOutcome::AddressBookNotFound) {
        messages.ShowInformation(kAddressBookHelpTitle, kAddressBookNotFoundText);
    }
    return lookup;
}

}  // namespace tarvelle::eudora
