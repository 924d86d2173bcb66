// tarvelle-bench: for books of 1,000 to 200,000 nicknames (or the counts given as arguments),
// generates the book, exports it with tarvelle-export and prints wall time, items per second,
// peak resident memory, the .pst size, the time tarvelle-verify takes to check the new file, the
// time of `cp --reflink=never` of the .pst plus `sync` on the same disk, and the ratio export
// time / copy time. Exports, checks and copies run three times each; the medians are printed.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "bench/BookGenerator.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tarvelle::bench::BookGenerator;

namespace {

struct Outcome {
    int status = -1;
    double seconds = 0;
    long peakKiB = 0;
};

// Runs argv[0] with the arguments, its output to /dev/null; measures wall time and peak memory.
Outcome RunMeasured(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
        if (std::freopen("/dev/null", "w", stderr) == nullptr) _exit(127);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) < 0) return {};
    Outcome o;
    o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.peakKiB = usage.ru_maxrss;
    return o;
}

constexpr int kRuns = 3;

// The run with the median wall time.
Outcome Median(std::vector<Outcome> runs) {
    std::sort(runs.begin(), runs.end(),
              [](const Outcome& a, const Outcome& b) { return a.seconds < b.seconds; });
    return runs[runs.size() / 2];
}

fs::path FindPst(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() == ".pst") return e.path();
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<long> counts = {1000, 10000, 100000, 200000};
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i) counts.push_back(std::atol(argv[i]));
    }
    const std::string exporter = TARVELLE_EXPORT_PATH;
    const std::string verifier = TARVELLE_VERIFY_PATH;
    for (const std::string& program : {exporter, verifier}) {
        if (!fs::exists(program)) {
            std::cerr << "tarvelle-bench: " << program << " not found; build it first\n";
            return 1;
        }
    }
    const fs::path work =
        fs::temp_directory_path() / ("tarvelle-bench-" + std::to_string(getpid()));
    std::printf("%10s %10s %12s %10s %10s %10s %10s %12s\n", "nicknames", "export s", "items/s",
                "peak MiB", "pst MB", "verify s", "copy s", "export/copy");
    int failures = 0;
    for (long n : counts) {
        const fs::path dir = work / std::to_string(n);
        fs::remove_all(dir);
        fs::create_directories(dir / "out");
        const fs::path book = dir / "NNdbase.txt";
        std::ofstream(book, std::ios::binary)
            << BookGenerator().Generate(static_cast<std::uint32_t>(n));
        // Each export and each copy runs three times; the median of each is printed, so one
        // run disturbed by the rest of the machine does not decide the figures.
        std::vector<Outcome> exports;
        std::vector<Outcome> checks;
        std::vector<Outcome> copies;
        std::uint64_t size = 0;
        bool failed = false;
        for (int run = 0; run < kRuns && !failed; ++run) {
            fs::remove_all(dir / "out");
            fs::create_directories(dir / "out");
            const Outcome ex = RunMeasured(
                {exporter, "--file", book.string(), "--out-dir", (dir / "out").string()});
            const fs::path pst = FindPst(dir / "out");
            if (ex.status != 0 || pst.empty()) {
                std::cerr << "tarvelle-bench: export of " << n << " nicknames failed (status "
                          << ex.status << ")\n";
                failed = true;
                break;
            }
            size = fs::file_size(pst);
            // The file must come out without an error (status 0), as every export's must.
            const Outcome check = RunMeasured({verifier, pst.string()});
            if (check.status != 0) {
                std::cerr << "tarvelle-bench: tarvelle-verify found errors in the export of " << n
                          << " nicknames\n";
                failed = true;
                break;
            }
            checks.push_back(check);
            const fs::path copy = dir / "copy.pst";
            fs::remove(copy);
            copies.push_back(RunMeasured(
                {"sh", "-c",
                 "cp --reflink=never '" + pst.string() + "' '" + copy.string() + "' && sync"}));
            exports.push_back(ex);
        }
        if (failed) {
            ++failures;
            continue;
        }
        Outcome ex = Median(exports);
        const Outcome check = Median(checks);
        const Outcome cp = Median(copies);
        // Memory is held to a limit: the largest peak of the three runs is the one printed.
        for (const Outcome& o : exports) ex.peakKiB = std::max(ex.peakKiB, o.peakKiB);
        std::printf("%10ld %10.2f %12.0f %10.1f %10.1f %10.2f %10.3f %12.1f\n", n, ex.seconds,
                    static_cast<double>(n) / ex.seconds, ex.peakKiB / 1024.0, size / 1e6,
                    check.seconds, cp.seconds, cp.seconds > 0 ? ex.seconds / cp.seconds : 0.0);
        std::fflush(stdout);
        fs::remove_all(dir);
    }
    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
