// The verifier on damaged files: a small store written by the writer, with the input's bytes
// patched in anywhere. With the first input byte odd, every CRC is made right again afterwards,
// so the damage reaches the B-trees, heaps and tables instead of stopping at a CRC. No input may
// crash the verifier or make it read outside the file; the file must never come out clean with
// its header's magic gone.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "pst/messaging/MessageStore.h"
#include "pst/verify/Verify.h"

namespace {

using namespace tarvelle::pst;
using verify::Bytes;

struct Pristine {
    Bytes file;
    std::vector<std::pair<std::uint64_t, std::size_t>> blocks;  // offset, payload size
    std::vector<std::uint64_t> pages;
};

Pristine Write() {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tarvelle-fuzz-" + std::to_string(std::random_device{}()) + ".pst");
    {
        auto store = messaging::MessageStore::Create(path, "Fuzz");
        const ndb::Nid folder = store->DefaultContactsFolder();
        const ndb::Nid ann = store->AddContact(folder, {"Ann", "ann@example.org", "", "note"});
        store->AddDistList(folder, {"pals",
                                    "",
                                    {{"Ann", "ann@example.org", "SMTP", store->EntryIdOf(ann)},
                                     {"Bo", "bo@example.org"}}});
        store->Close();
    }
    Pristine p;
    std::ifstream in(path, std::ios::binary);
    p.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    const verify::PstReader reader(verify::FileImage::FromBytes(p.file));
    for (const auto& b : reader.Blocks()) p.blocks.emplace_back(b.ib, b.cb);
    for (const auto& page : reader.Pages()) p.pages.push_back(page.ib);
    return p;
}

void RefreshCrcs(const Pristine& p, Bytes& f) {
    using namespace ndb;
    for (const auto& [ib, cb] : p.blocks)
        PutU32(&f[ib + BlockSizeOnDisk(cb) - kBlockTrailerSize + 4],
               Crc(std::span(f).subspan(ib, cb)));
    for (const std::uint64_t ib : p.pages) PutU32(&f[ib + 500], Crc(std::span(f).subspan(ib, 496)));
    PutU32(&f[header::kCrcPartial],
           Crc(std::span(f).subspan(header::kMagicClient, header::kCrcPartialSpan)));
    PutU32(&f[header::kCrcFull],
           Crc(std::span(f).subspan(header::kMagicClient, header::kCrcFullSpan)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Pristine pristine = Write();
    if (size == 0) return 0;
    Bytes file = pristine.file;
    // Four bytes per patch: a 24-bit offset into the file, then the byte to put there.
    for (std::size_t i = 1; i + 4 <= size; i += 4) {
        const std::size_t at = (data[i] | (data[i + 1] << 8) | (data[i + 2] << 16)) % file.size();
        file[at] = data[i + 3];
    }
    if (data[0] & 1) RefreshCrcs(pristine, file);
    if (data[0] & 2) file.resize(file.size() - (data[0] >> 2) * 4096 % file.size());
    try {
        const verify::Report report = verify::Verify(verify::FileImage::FromBytes(file));
        if (file.size() < 4 ||
            std::string_view(reinterpret_cast<const char*>(file.data()), 4) != "!BDN")
            FUZZ_CHECK(report.Errors() > 0);
    } catch (const verify::NotUnicodeError&) {
        // the version field was hit
    }
    return 0;
}
