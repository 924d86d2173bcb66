// tarvelle-bench: for books of 1,000 to 200,000 nicknames (or the counts given as arguments),
// generates the book, exports it with tarvelle-export and prints wall time, items per second,
// peak resident memory, the .pst size, the bytes the export wrote and the disk space it took at
// its peak (each per byte of the finished .pst), the time tarvelle-verify takes to check the new
// file, the time of `cp --reflink=never` of the .pst plus `sync` on the same disk, and the ratio
// export time / copy time. Exports, checks and copies run three times each; the medians are
// printed (the largest of memory, bytes and disk).
//
// Bytes written: the kernel's count for the export process (ru_oublock, 512-byte units: every
// page the process dirtied, counted again when dirtied again after it went to the disk). Peak
// disk: the blocks of the files the process has open or has left in the output folder, nameless
// ones included, sampled every few milliseconds.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <thread>
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
    std::uint64_t bytesWritten = 0;
    std::uint64_t peakDisk = 0;
};

// Disk space now taken by the regular files on `device` that process `pid` has open, and by
// those in `folder`: each file once.
std::uint64_t DiskInUse(pid_t pid, dev_t device, const fs::path& folder) {
    std::map<ino_t, std::uint64_t> files;
    auto add = [&](const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == device)
            files[st.st_ino] = static_cast<std::uint64_t>(st.st_blocks) * 512;
    };
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR* dir = ::opendir(fds.c_str())) {
        while (const dirent* e = ::readdir(dir)) add(fds + "/" + e->d_name);
        ::closedir(dir);
    }
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) add(e.path().string());
    std::uint64_t total = 0;
    for (const auto& [ino, bytes] : files) total += bytes;
    return total;
}

// Runs argv[0] with the arguments, its output to /dev/null; measures wall time, peak memory and
// the bytes it wrote, and with `watch` the peak disk use of its files on that folder's disk.
Outcome RunMeasured(const std::vector<std::string>& args, const fs::path& watch = {}) {
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
    struct stat folder {};
    const bool watching = !watch.empty() && ::stat(watch.c_str(), &folder) == 0;
    std::uint64_t peakDisk = 0;
    for (;;) {
        const pid_t done = wait4(pid, &status, watching ? WNOHANG : 0, &usage);
        if (done < 0) return {};
        if (watching) peakDisk = std::max(peakDisk, DiskInUse(pid, folder.st_dev, watch));
        if (done == pid) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Outcome o;
    o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    o.peakKiB = usage.ru_maxrss;
    o.bytesWritten = static_cast<std::uint64_t>(usage.ru_oublock) * 512;
    o.peakDisk = peakDisk;
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
    // TARVELLE_EXPORT names another build of the exporter to measure (an earlier one, say).
    const char* other = std::getenv("TARVELLE_EXPORT");
    const std::string exporter = other != nullptr && *other != '\0' ? other : TARVELLE_EXPORT_PATH;
    const std::string verifier = TARVELLE_VERIFY_PATH;
    for (const std::string& program : {exporter, verifier}) {
        if (!fs::exists(program)) {
            std::cerr << "tarvelle-bench: " << program << " not found; build it first\n";
            return 1;
        }
    }
    const fs::path work =
        fs::temp_directory_path() / ("tarvelle-bench-" + std::to_string(getpid()));
    std::printf("%10s %9s %9s %9s %9s %9s %9s %9s %8s %12s\n", "nicknames", "export s", "items/s",
                "peak MiB", "pst MB", "written/", "disk/", "verify s", "copy s", "export/copy");
    std::printf("%10s %9s %9s %9s %9s %9s %9s %9s %8s %12s\n", "", "", "", "", "", "pst", "pst", "",
                "", "");
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
                {exporter, "--file", book.string(), "--out-dir", (dir / "out").string()},
                dir / "out");
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
        // Memory, bytes and disk are held to limits: the largest of the three runs is printed.
        for (const Outcome& o : exports) {
            ex.peakKiB = std::max(ex.peakKiB, o.peakKiB);
            ex.bytesWritten = std::max(ex.bytesWritten, o.bytesWritten);
            ex.peakDisk = std::max(ex.peakDisk, o.peakDisk);
        }
        const double pst = static_cast<double>(size);
        std::printf("%10ld %9.2f %9.0f %9.1f %9.1f %9.2f %9.2f %9.2f %8.3f %12.1f\n", n, ex.seconds,
                    static_cast<double>(n) / ex.seconds, ex.peakKiB / 1024.0, pst / 1e6,
                    static_cast<double>(ex.bytesWritten) / pst,
                    static_cast<double>(ex.peakDisk) / pst, check.seconds, cp.seconds,
                    cp.seconds > 0 ? ex.seconds / cp.seconds : 0.0);
        std::fflush(stdout);
        fs::remove_all(dir);
    }
    fs::remove_all(work);
    return failures == 0 ? 0 : 1;
}
