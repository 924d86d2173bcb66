// On Windows a path text is already native. The program's texts are UTF-8, so the path is built
// from UTF-8 explicitly rather than through the narrow (ANSI) conversion of std::filesystem.
#include <string>

#include "platform/NativePath.h"

namespace tarvelle::platform {

std::optional<std::filesystem::path> ResolveNativePath(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace tarvelle::platform
