// Helpers shared by the node database tests: the strict checker and a reader of node data that
// uses the verifier's own parser.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <regex>

#include "pst/ndb/NodeDatabase.h"
#include "pst/verify/PstReader.h"
#include "tests/support/Run.h"
#include "tests/support/TempDir.h"

namespace tarvelle::pst::ndb::testing {

using fakes::TempDir;

struct CheckResult {
    int errors = -1;  // -1 when the checker did not get to its summary
    int warnings = -1;
    int nodes = -1;
    int blocks = -1;
    std::string output;
};

// The strict Python checker where the development material is at hand; elsewhere our own reader
// of the header and both B-trees (the rest of the verifier needs the store's content, which
// these files leave out).
inline CheckResult CheckFile(const std::filesystem::path& file) {
    CheckResult r;
    const std::filesystem::path checker = fakes::SharedDir() / "tools/pstwalk.py";
    if (!std::filesystem::exists(checker)) {
        verify::Report report;
        try {
            const auto reader = verify::PstReader::Open(file, &report);
            r.output = std::to_string(reader.Nodes().size()) + " nodes, " +
                       std::to_string(reader.Blocks().size()) + " blocks\n";
        } catch (const std::exception& e) {
            r.output = e.what();
            return r;
        }
        for (const auto& f : report.Findings()) r.output += f.ToString() + "\n";
        r.output += std::to_string(report.Errors()) + " errors, " +
                    std::to_string(report.Findings().size() - report.Errors()) + " warnings";
    } else {
        r.output =
            fakes::RunCommand(std::string(TARVELLE_PYTHON) + " " + fakes::Quote(checker.string()) +
                              " check " + fakes::Quote(file.string()))
                .out;
    }
    std::smatch m;
    for (auto [re, a, b] : {std::tuple{R"((\d+) errors, (\d+) warnings)", &r.errors, &r.warnings},
                            std::tuple{R"((\d+) nodes, (\d+) blocks)", &r.nodes, &r.blocks}})
        if (std::regex_search(r.output, m, std::regex(re)))
            std::tie(*a, *b) = std::pair(std::stoi(m[1]), std::stoi(m[2]));
    return r;
}

// The whole file.
inline std::vector<std::uint8_t> FileBytes(const std::filesystem::path& file) {
    const std::string text = fakes::ReadAll(file);
    return {text.begin(), text.end()};
}

// fAMapValid of the file's header.
inline int AMapValid(const std::filesystem::path& file) { return FileBytes(file).at(248); }

// A forked child and the read end of a pipe it writes to.
struct Child {
    pid_t pid = -1;
    int out = -1;
};

// Runs `body(fd)` in a child process that exits with 0 after it.
template <class Body>
Child Fork(Body body) {
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        body(fds[1]);
        ::_exit(0);
    }
    ::close(fds[1]);
    return {pid, fds[0]};
}

// What the child still writes, then its exit code (-1 when a signal ended it).
inline std::pair<std::string, int> Finish(Child c) {
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = ::read(c.out, buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    ::close(c.out);
    int status = 0;
    ::waitpid(c.pid, &status, 0);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
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

inline std::string Expected(std::span<const std::uint8_t> data) {
    return std::to_string(data.size()) + " " + std::to_string(Crc(data));
}

// Length and CRC of each node's data (or of subnode `.second` below node `.first` when that is
// not 0) as the verifier's reader sees them after decoding, as "LENGTH CRC".
inline std::vector<std::string> ReadBack(const std::filesystem::path& file,
                                         const std::vector<std::pair<Nid, Nid>>& nodes) {
    const verify::PstReader reader = verify::PstReader::Open(file);
    std::vector<std::string> lines;
    for (const auto& [nid, sub] : nodes) {
        const verify::NodeRef* node = reader.FindNode(nid);
        Bid data = node != nullptr && sub == 0 ? node->data : 0;
        if (node != nullptr && sub != 0)
            for (const auto& s : reader.ReadSubnodes(node->subnode))
                if (s.nid == sub) data = s.data;
        lines.push_back(data == 0 ? "no data" : Expected(reader.ReadData(data)));
    }
    return lines;
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
