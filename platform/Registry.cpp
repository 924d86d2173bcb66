#include "platform/Registry.h"

namespace tarvelle::platform {

std::string RegValueText(const RegValue& value) {
    if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
    return std::get<std::string>(value);
}

bool PlatformRegistry::KeyExists(std::string_view keyPath) {
    return RegKeyExists(kHkeyCurrentUser, std::string(keyPath));
}

std::string PlatformRegistry::QueryValueText(std::string_view keyPath, std::string_view valueName) {
    return RegValueText(
        RegQueryValue(kHkeyCurrentUser, std::string(keyPath), std::string(valueName)));
}

}  // namespace tarvelle::platform
