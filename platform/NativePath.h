// Turns a path text from the address-book side (possibly a Windows path such as
// "C:\DOCUME~1\Me\NNDBASE.TXT" recorded by Eudora under Wine) into a path this system can open.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace tarvelle::platform {

// The native path for `text`; std::nullopt when a Windows path cannot be resolved (no such drive,
// no matching entry, or an ambiguous short name). Native paths come back unchanged.
std::optional<std::filesystem::path> ResolveNativePath(const std::string& text);

// Paths and UTF-8 text. The program keeps texts in UTF-8, but on Windows std::filesystem::path
// reads and writes narrow strings in the ANSI code page, which loses every character it lacks.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string PathToUtf8(const std::filesystem::path& path);

}  // namespace tarvelle::platform
