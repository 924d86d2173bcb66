// The current user's registry, read the way the Eudora lookup needs it. Windows reads the real
// registry (Registry_win.cpp, advapi32); other systems read the hive Wine keeps in
// $WINEPREFIX/user.reg (Registry_posix.cpp). Neither backing ever reports an error: a key that
// cannot be opened does not exist, a value that cannot be read is the empty text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "eudora/DataFolder.h"

namespace tarvelle::platform {

// The predefined handle value of HKEY_CURRENT_USER.
inline constexpr std::uint32_t kHkeyCurrentUser = 0x80000001;

// A registry value as the lookup sees it: text, or a signed 32-bit number.
using RegValue = std::variant<std::string, std::int32_t>;

// Supplied by the platform backing (Registry_win.cpp / Registry_posix.cpp).
// True when `keyPath` under `root` can be opened.
bool RegKeyExists(std::uint32_t root, const std::string& keyPath);
// A string value (REG_SZ) as UTF-8, cut before its first NUL or whole when it has none; a
// REG_DWORD as its number; the empty text for every other type and on any failure.
RegValue RegQueryValue(std::uint32_t root, const std::string& keyPath,
                       const std::string& valueName);

// Shared by every platform (Registry.cpp).
// The text of a value; numbers as signed decimal digits ("-1" for 0xFFFFFFFF).
std::string RegValueText(const RegValue& value);

// The Eudora lookup's view of HKEY_CURRENT_USER through the two functions above.
class PlatformRegistry final : public eudora::RegistryReader {
  public:
    bool KeyExists(std::string_view keyPath) override;
    std::string QueryValueText(std::string_view keyPath, std::string_view valueName) override;
};

}  // namespace tarvelle::platform
