// Micro-benchmark of the node database alone: writes contact-sized nodes the way an export does
// (one data block per item, a commit every few items), closes, and prints the figures next to
// the time a plain copy of the finished file takes on the same disk.
//
//   ndb_bench [FOLDER] [ITEMS] [ITEMS_PER_COMMIT]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "pst/ndb/NodeDatabase.h"

namespace ndb = tarvelle::pst::ndb;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double PeakRssMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? argv[1] : std::filesystem::temp_directory_path();
    const int items = argc > 2 ? std::atoi(argv[2]) : 200000;
    const int perCommit = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    const auto path = folder / ("ndb_bench_" + std::to_string(::getpid()) + ".pst");
    const auto copy = folder / ("ndb_bench_" + std::to_string(::getpid()) + ".copy");

    // Contact-like payloads: about 1.4 KB each, varied content.
    std::mt19937 rng(42);
    std::vector<std::vector<std::uint8_t>> samples(64);
    for (auto& s : samples) {
        s.resize(1100 + rng() % 600);
        for (auto& b : s) b = static_cast<std::uint8_t>(rng());
    }

    const auto start = Clock::now();
    try {
        auto db = ndb::NodeDatabase::Create(path);
        for (int i = 0; i < items; ++i) {
            const ndb::Nid nid = db->AllocateNid(0x04);
            const auto& payload = samples[static_cast<std::size_t>(i) % samples.size()];
            db->SetNode(nid, db->WriteDataBlock(payload), 0, 0x8022);
            if ((i + 1) % perCommit == 0) db->Commit();
        }
        const auto closeStart = Clock::now();
        db->Close();
        const double closeSeconds = Seconds(closeStart);
        const auto freeStart = Clock::now();
        db.reset();
        std::printf("close %.3f s, release %.3f s\n", closeSeconds, Seconds(freeStart));
    } catch (const ndb::NdbError& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    const double writeSeconds = Seconds(start);
    const auto size = std::filesystem::file_size(path);

    const auto copyStart = Clock::now();
    const std::string cp =
        "cp --reflink=never '" + path.string() + "' '" + copy.string() + "' && sync";
    if (std::system(cp.c_str()) != 0) std::fprintf(stderr, "copy failed\n");
    const double copySeconds = Seconds(copyStart);

    std::printf("items %d, commit every %d\n", items, perCommit);
    std::printf("write+close %.3f s (%.0f items/s), file %.1f MB, peak RSS %.1f MiB\n",
                writeSeconds, items / writeSeconds, static_cast<double>(size) / 1e6, PeakRssMiB());
    std::printf("cp+sync %.3f s, ratio %.2f\n", copySeconds, writeSeconds / copySeconds);
    std::filesystem::remove(path);
    std::filesystem::remove(copy);
    return 0;
}
