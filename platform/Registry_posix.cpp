// HKEY_CURRENT_USER on systems where Eudora runs under Wine: Wine's user hive, the text file
// $WINEPREFIX/user.reg (default ~/.wine/user.reg). Read afresh on each call, as each Windows
// call opens the key anew; a missing, unreadable or foreign file means no key exists.
#include <fstream>
#include <sstream>

#include "platform/Registry.h"
#include "platform/WineRegistry.h"

namespace tarvelle::platform {

namespace {

std::optional<WineHive> LoadHive(std::uint32_t root) {
    if (root != kHkeyCurrentUser) return std::nullopt;  // only the user hive is backed
    const auto prefix = WinePrefixDirectory();
    if (!prefix) return std::nullopt;
    std::ifstream in(*prefix / "user.reg", std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad() || text.fail()) return std::nullopt;
    return WineHive::FromText(std::move(text).str());
}

}  // namespace

bool RegKeyExists(std::uint32_t root, const std::string& keyPath) {
    try {
        const auto hive = LoadHive(root);
        return hive && hive->KeyExists(keyPath);
    } catch (...) {
        return false;  // never an error to the caller, an exhausted memory included
    }
}

RegValue RegQueryValue(std::uint32_t root, const std::string& keyPath,
                       const std::string& valueName) {
    try {
        const auto hive = LoadHive(root);
        if (!hive) return std::string();
        const auto value = hive->FindValue(keyPath, valueName);
        if (!value) return std::string();
        return WineValueToRegValue(*value);
    } catch (...) {
        return std::string();
    }
}

}  // namespace tarvelle::platform
