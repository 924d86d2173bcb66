// Wine's text registry hives ("WINE REGISTRY Version 2", e.g. $WINEPREFIX/user.reg, the current
// user's hive) and the small pieces of Wine's conventions the Linux build needs to find Eudora's
// files. Plain C++: it compiles everywhere, so its tests run on every platform.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace tarvelle::platform {

// Registry value types, as the registry numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// One value as the registry holds it: type number and raw bytes (strings are UTF-16LE, with the
// terminating NUL when the stored string has one).
struct WineRegValue {
    std::uint32_t type = kRegNone;
    std::string data;
};

// A hive file's text, searched on demand. Keys and value names compare without regard to ASCII
// case, as Windows does; a key exists when it has a section of its own or any subkey has one
// (Wine leaves out sections of keys that only hold subkeys).
class WineHive {
  public:
    // std::nullopt when `text` does not start with Wine's header line (Wine refuses such files).
    static std::optional<WineHive> FromText(std::string text);

    // `keyPath` is relative to the hive's root, components separated by backslashes.
    bool KeyExists(std::string_view keyPath) const;
    // The last definition of the value in the key; std::nullopt when key or value is missing.
    // A value whose data is malformed has the type kRegNone.
    std::optional<WineRegValue> FindValue(std::string_view keyPath,
                                          std::string_view valueName) const;

  private:
    explicit WineHive(std::string text) : text_(std::move(text)) {}
    std::string text_;
};

// What RegQueryValue hands its caller for a stored value: REG_SZ as UTF-8 cut before the first
// NUL (odd trailing byte ignored), REG_DWORD of up to 4 bytes as its number, everything else
// the empty text.
RegValue WineValueToRegValue(const WineRegValue& value);

// The Wine prefix: $WINEPREFIX when set and not empty, otherwise $HOME/.wine; std::nullopt when
// neither is known.
std::optional<std::filesystem::path> WinePrefixDirectory();

// UTF-16 <-> UTF-8. Unpaired surrogates and malformed UTF-8 become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

// The short (8.3) name Wine gives `longName` when it is not a valid DOS name: up to four leading
// characters, '~' padding, three hash characters and up to three extension characters, upper
// case as Wine 8 writes them (compare without regard to case: other Wine versions keep case). Wine
// changed the rules for dots once; `legacyDots` selects the older form.
std::string WineHashedShortName(std::string_view longName, bool legacyDots = false);

}  // namespace tarvelle::platform
