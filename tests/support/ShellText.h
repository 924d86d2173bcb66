// Small helpers of the tests that run the built programs through a shell.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvelle::fakes {

// `text` as one single-quoted shell word.
inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The whole content of a file (empty when it cannot be read).
inline std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace tarvelle::fakes
