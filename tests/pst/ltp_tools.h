// Running the strict checker and the independent PST readers from tests.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvelle::pst::testing {

struct CmdResult {
    int status = -1;
    std::string out;
};

// Runs a shell command, capturing stdout and stderr.
inline CmdResult Shell(const std::string& cmd) {
    CmdResult r;
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (p == nullptr) return r;
    std::array<char, 4096> buf{};
    std::size_t n = 0;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

inline std::string ToolsDir() { return std::string(TARVELLE_SHARED_DIR) + "/tools/"; }

// pstwalk.py with the given command ("check", "tree", "dump ...").
inline CmdResult Pstwalk(const std::string& command, const std::filesystem::path& pst,
                         const std::string& args = "") {
    return Shell(std::string(TARVELLE_PYTHON) + " " + ToolsDir() + "pstwalk.py " + command + " " +
                 Quote(pst) + " " + args);
}

// Every file under `dir`, concatenated.
inline std::string ReadTree(const std::filesystem::path& dir) {
    std::string all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        all += ss.str();
    }
    return all;
}

inline std::string Hex(std::uint32_t v) {
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

}  // namespace tarvelle::pst::testing
