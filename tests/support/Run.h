// Running the built programs and the system's own tools (readpst, pffexport) from tests, on the
// build machine.
#pragma once

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

#include "tests/support/Shared.h"

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

struct Ran {
    int status = -1;  // the exit status, or -1 when the command did not exit normally
    std::string out;  // standard output and error together
};

#ifndef _WIN32
// Runs `command` with /bin/sh; its own redirections of standard error come first.
inline Ran RunCommand(const std::string& command) {
    Ran r;
    FILE* pipe = popen(("{ " + command + "\n} 2>&1").c_str(), "r");
    if (pipe == nullptr) return r;
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        r.out.append(buffer.data(), n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}
#endif  // the shell runs on the build machine only; Windows builds read files, not tools

// A built program of ours ("tarvelle-export"), quoted for the shell.
inline std::string Program(const std::string& name) {
    return Quote(std::string(TARVELLE_BINARY_DIR) + "/" + name);
}

// Every file under `root`, concatenated (what readpst and pffexport write).
inline std::string ReadTree(const std::filesystem::path& root) {
    std::string text;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_regular_file()) text += ReadAll(it->path());
    }
    return text;
}

}  // namespace tarvelle::fakes
