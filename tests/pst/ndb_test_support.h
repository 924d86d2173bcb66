// Helpers shared by the node database tests: scratch folders, the strict checker and a
// byte-level reader that uses the checker's own parser.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ndb::testing {

// A folder of its own per test, removed afterwards.
class ScratchDir {
  public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::path(TARVELLE_BINARY_DIR) / "ndb-scratch" /
                (std::string(info->test_suite_name()) + "." + info->name() + "." +
                 std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        if (!::testing::Test::HasFailure()) std::filesystem::remove_all(path_);
    }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string RunCommand(const std::string& command, int* exitCode = nullptr) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return "popen failed";
    std::array<char, 4096> buf{};
    while (std::fgets(buf.data(), buf.size(), pipe) != nullptr) out += buf.data();
    const int status = ::pclose(pipe);
    if (exitCode != nullptr) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

inline std::string Tool(const std::string& name) {
    return std::string(TARVELLE_PYTHON) + " " + TARVELLE_SHARED_DIR + "/tools/" + name;
}

struct CheckResult {
    int errors = -1;
    int warnings = -1;
    std::string output;
};

// Runs the strict checker; errors/warnings stay -1 when it did not get to its summary line.
inline CheckResult CheckFile(const std::filesystem::path& file) {
    CheckResult r;
    r.output = RunCommand(Tool("pstwalk.py") + " check '" + file.string() + "'");
    std::smatch m;
    static const std::regex summary(R"((\d+) errors, (\d+) warnings)");
    if (std::regex_search(r.output, m, summary)) {
        r.errors = std::stoi(m[1]);
        r.warnings = std::stoi(m[2]);
    }
    return r;
}

// fAMapValid of the file's header.
inline int AMapValid(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(248);
    return in.get();
}

// The check of a file left by a killed writer. One killed inside a growth or the close says
// fAMapValid = INVALID_AMAP: its readers rebuild the maps from the B-trees, so what it says about
// free space and its own size do not count; every other finding does.
inline CheckResult CheckKilledFile(const std::filesystem::path& file) {
    CheckResult r = CheckFile(file);
    if (AMapValid(file) != 0 || r.errors < 0) return r;
    r.errors = 0;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("ERROR ", 0) == 0 && line.find("ibFileEof") == std::string::npos &&
            line.find("cbAMapFree") == std::string::npos &&
            line.find("AMap @") == std::string::npos)
            ++r.errors;
    }
    return r;
}

// Length and CRC of each node's data (or of subnode `.second` below node `.first` when that is
// not 0) as the checker's reader sees them after decoding, as "LENGTH CRC". One run of the
// reader for all of them.
inline std::vector<std::string> ReadBack(const std::filesystem::path& file,
                                         const std::vector<std::pair<Nid, Nid>>& nodes) {
    const std::string script =
        "import sys; sys.path.insert(0, '" + std::string(TARVELLE_SHARED_DIR) +
        "/tools'); import pstwalk; p = pstwalk.Pst(sys.argv[1]); a = sys.argv[2:]\n"
        "for i in range(0, len(a), 2):\n"
        "    n = p.node(int(a[i])); s = int(a[i + 1]); n = n.sub_node(s) if s else n\n"
        "    d = n.data(); print(len(d), pstwalk.crc32_pst(d))";
    std::string command =
        std::string(TARVELLE_PYTHON) + " -c \"" + script + "\" '" + file.string() + "'";
    for (const auto& [nid, sub] : nodes)
        command += " " + std::to_string(nid) + " " + std::to_string(sub);
    std::vector<std::string> lines;
    std::istringstream out(RunCommand(command));
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    return lines;
}

inline std::string Expected(std::span<const std::uint8_t> data) {
    return std::to_string(data.size()) + " " + std::to_string(Crc(data));
}

// Bytes that the checker will not take for a heap (byte 2 is never 0xEC).
inline std::vector<std::uint8_t> SomeBytes(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    if (n > 2) v[2] = 0;
    return v;
}

// The nodes the checker requires of every store ([MS-PST] 2.7.1), here without content.
inline void AddMandatoryNodes(NodeDatabase& db) {
    for (Nid nid :
         {0x21u, 0x61u, 0x12Du, 0x12Eu, 0x12Fu, 0x1E1u, 0x201u, 0x60Du, 0x60Eu, 0x60Fu, 0x610u})
        db.SetNode(nid, 0, 0, 0);
    db.SetNode(0x122, 0, 0, 0x122);
}

}  // namespace tarvelle::pst::ndb::testing
