#include "platform/NativePath.h"

namespace tarvelle::platform {

std::optional<std::filesystem::path> ResolveNativePath(const std::string& text) {
    return std::filesystem::path(text);
}

}  // namespace tarvelle::platform
