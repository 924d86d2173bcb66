#include "pst/verify/PstReader.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvelle::pst::verify {

using namespace ndb;

namespace {

class OwnedImage final : public FileImage {
  public:
    explicit OwnedImage(Bytes bytes) : bytes_(std::move(bytes)) {}
    std::span<const std::uint8_t> Data() const override { return bytes_; }

  private:
    Bytes bytes_;
};

// Mapped: the pages come from the system's cache as they are touched, nothing is copied.
class MappedImage final : public FileImage {
  public:
    MappedImage(void* address, std::size_t size) : address_(address), size_(size) {}
    ~MappedImage() override {
#if defined(_WIN32)
        ::UnmapViewOfFile(address_);
#else
        ::munmap(address_, size_);
#endif
    }
    MappedImage(const MappedImage&) = delete;
    MappedImage& operator=(const MappedImage&) = delete;
    std::span<const std::uint8_t> Data() const override {
        return {static_cast<const std::uint8_t*>(address_), size_};
    }

  private:
    void* address_;
    std::size_t size_;
};

// The caller names the file.
[[noreturn]] void CannotRead(const std::string& why) { throw ReadError("cannot be read: " + why); }

// The whole file in memory, read in large pieces, where it cannot be mapped. `read(at, n, to)`
// reads up to n bytes from offset `at` and returns how many it read, 0 on an error.
template <class Read>
std::unique_ptr<FileImage> ReadWhole(std::uint64_t size, Read read) {
    if (size > SIZE_MAX) CannotRead("too large to hold in memory");
    Bytes bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        CannotRead("too large to hold in memory");
    }
    constexpr std::size_t kPiece = 16u << 20;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t got = read(at, std::min(kPiece, bytes.size() - at), bytes.data() + at);
        if (got == 0) CannotRead("read error");
        at += got;
    }
    return std::make_unique<OwnedImage>(std::move(bytes));
}

// The first and last key a B-tree entry may have below a page.
constexpr std::uint64_t kNoLimit = ~std::uint64_t{0};

std::string PageName(bool nodeTree) { return nodeTree ? "NBT page" : "BBT page"; }

}  // namespace

std::unique_ptr<FileImage> FileImage::Open(const std::filesystem::path& path) {
#if defined(_WIN32)
    // Shared for writing and deleting too: the writer keeps its file open with all three.
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        CannotRead(std::system_category().message(static_cast<int>(::GetLastError())));
    struct Closer {
        HANDLE handle;
        ~Closer() { ::CloseHandle(handle); }
    } closer{file};
    LARGE_INTEGER length{};
    if (!::GetFileSizeEx(file, &length) || length.QuadPart < 0) CannotRead("its size is unknown");
    const auto size = static_cast<std::uint64_t>(length.QuadPart);
    if (size > 0 && size <= SIZE_MAX) {
        if (const HANDLE mapping =
                ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
            void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
            ::CloseHandle(mapping);
            if (view != nullptr)
                return std::make_unique<MappedImage>(view, static_cast<std::size_t>(size));
        }
    }
    return ReadWhole(size, [&](std::uint64_t at, std::size_t n, std::uint8_t* to) -> std::size_t {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD got = 0;
        return ::ReadFile(file, to, static_cast<DWORD>(n), &got, &where) ? got : 0;
    });
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) CannotRead(std::generic_category().message(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) CannotRead("not a regular file");
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > 0 && size <= SIZE_MAX) {
        void* address = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (address != MAP_FAILED) {
            ::madvise(address, size, MADV_WILLNEED);
            return std::make_unique<MappedImage>(address, static_cast<std::size_t>(size));
        }
    }
    return ReadWhole(size, [&](std::uint64_t at, std::size_t n, std::uint8_t* to) -> std::size_t {
        const ssize_t got = ::pread(fd, to, n, static_cast<off_t>(at));
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    });
#endif
}

std::unique_ptr<FileImage> FileImage::FromBytes(Bytes bytes) {
    return std::make_unique<OwnedImage>(std::move(bytes));
}

PstReader::PstReader(std::unique_ptr<FileImage> image, Report* report)
    : image_(std::move(image)), file_(image_->Data()) {
    ReadHeader(report);
    Report ignored;
    Report& r = report ? *report : ignored;
    // An empty tree has a root of BID 0 only in a file no writer finished; still walk it.
    WalkTree(true, header_.nbtBid, header_.nbtIb, -1, 0, kNoLimit, &r, 0);
    WalkTree(false, header_.bbtBid, header_.bbtIb, -1, 0, kNoLimit, &r, 0);
    pageOffsets_ = {};
    auto byNid = [](const NodeRef& a, const NodeRef& b) { return a.nid < b.nid; };
    auto byBid = [](const BlockRef& a, const BlockRef& b) { return a.bid < b.bid; };
    // Keys are checked in order while walking; a damaged tree may still list them out of order.
    if (!std::is_sorted(nodes_.begin(), nodes_.end(), byNid))
        std::stable_sort(nodes_.begin(), nodes_.end(), byNid);
    if (!std::is_sorted(blocks_.begin(), blocks_.end(), byBid))
        std::stable_sort(blocks_.begin(), blocks_.end(), byBid);
}

void PstReader::ReadHeader(Report* report) {
    using namespace header;
    if (file_.size() < kHeaderSize)
        throw ReadError("not a PST file: " + std::to_string(file_.size()) +
                        " bytes, shorter than the header");
    const std::uint8_t* p = file_.data();
    if (std::memcmp(p + kMagic, "!BDN", 4) != 0) throw ReadError("not a PST file (no \"!BDN\")");
    HeaderFields& h = header_;
    h.version = GetU16(p + kVersion);
    if (h.version == 14 || h.version == 15)
        throw NotUnicodeError("not a Unicode PST file (ANSI, format version " +
                              std::to_string(h.version) + ")");
    if (h.version < kVersionUnicode || h.version >= 36)
        throw NotUnicodeError("not a Unicode PST file (format version " +
                              std::to_string(h.version) + ")");
    h.clientVersion = GetU16(p + kClientVersion);
    h.platformCreate = p[kPlatformCreate];
    h.platformAccess = p[kPlatformAccess];
    h.bidNextP = GetU64(p + kBidNextP);
    h.unique = GetU32(p + kUnique);
    for (std::size_t i = 0; i < 32; ++i) h.rgnid[i] = GetU32(p + kRgnid + 4 * i);
    h.fileEof = GetU64(p + kFileEof);
    h.amapLast = GetU64(p + kAMapLast);
    h.amapFree = GetU64(p + kAMapFree);
    h.nbtBid = GetU64(p + kNbtRoot);
    h.nbtIb = GetU64(p + kNbtRoot + 8);
    h.bbtBid = GetU64(p + kBbtRoot);
    h.bbtIb = GetU64(p + kBbtRoot + 8);
    h.amapValid = p[kAMapValid];
    h.cryptMethod = p[kCryptMethod];
    h.bidNextB = GetU64(p + kBidNextB);
    if (report == nullptr) return;

    Report& r = *report;
    const Location at = Location::Header();
    if (std::memcmp(p + kMagicClient, "SM", 2) != 0) r.Error(at, "wMagicClient is not \"SM\"");
    const std::uint32_t partial = Crc(file_.subspan(kMagicClient, kCrcPartialSpan));
    if (partial != GetU32(p + kCrcPartial))
        r.Error(at, "dwCRCPartial " + Hex(GetU32(p + kCrcPartial)) + " does not match the CRC " +
                        Hex(partial) + " of the header");
    const std::uint32_t full = Crc(file_.subspan(kMagicClient, kCrcFullSpan));
    if (full != GetU32(p + kCrcFull))
        r.Error(at, "dwCRCFull " + Hex(GetU32(p + kCrcFull)) + " does not match the CRC " +
                        Hex(full) + " of the header");
    if (h.version != kVersionUnicode)
        r.Warning(at, "wVer " + std::to_string(h.version) + "; Outlook's Unicode files have " +
                          std::to_string(kVersionUnicode));
    if (h.clientVersion != kVersionClient)
        r.Warning(at, "wVerClient " + std::to_string(h.clientVersion) + ", not " +
                          std::to_string(kVersionClient));
    if (p[kSentinel] != kSentinelValue) r.Error(at, "bSentinel is not 0x80");
    if (h.cryptMethod > 2)
        r.Error(at, "unknown bCryptMethod " + std::to_string(h.cryptMethod) +
                        "; the data blocks cannot be decoded");
    if (h.amapValid > kValidAMap2)
        r.Error(at, "fAMapValid " + std::to_string(h.amapValid) + " is none of 0, 1, 2");
}

std::uint64_t PstReader::WalkTree(bool nodeTree, Bid bid, std::uint64_t ib, int level,
                                  std::uint64_t low, std::uint64_t high, Report* report,
                                  int depth) {
    Report& r = *report;
    const Location at = Location::At(ib);
    const std::string name = PageName(nodeTree);
    if (ib % kPageSize != 0 || ib < kFirstAMapOffset || ib > file_.size() ||
        file_.size() - ib < kPageSize) {
        r.Error(at, name + " (BID " + Hex(bid) + ") is not a page inside the file");
        return low;
    }
    if (!pageOffsets_.insert(ib).second) {
        r.Error(at, name + " is reached twice; the B-trees form a loop or share pages");
        return low;
    }
    if (depth > 16) {
        r.Error(at, name + ": the B-tree is more than 16 levels deep");
        return low;
    }
    const std::uint8_t* page = file_.data() + ib;
    const PageTrailer t = PageTrailer::Read(page);
    const std::uint8_t ptype = nodeTree ? kPageNbt : kPageBbt;
    pages_.push_back({ib, t.bid, ptype});
    if (t.ptype != ptype || t.ptypeRepeat != ptype) {
        r.Error(at, name + ": page type " + Hex(t.ptype) + "/" + Hex(t.ptypeRepeat) +
                        ", expected " + Hex(ptype));
        return low;
    }
    const std::uint32_t crc = Crc(std::span(page, kPageSize - kPageTrailerSize));
    if (crc != t.crc)
        r.Error(at,
                name + ": CRC " + Hex(t.crc) + " does not match its contents (" + Hex(crc) + ")");
    if (t.sig != ComputeSig(ib, t.bid))
        r.Error(at, name + ": signature " + Hex(t.sig) + " is wrong (expected " +
                        Hex(ComputeSig(ib, t.bid)) + ")");
    if (t.bid != bid)
        r.Error(at, name + ": trailer BID " + Hex(t.bid) + " but referenced as " + Hex(bid));

    BtPageInfo info;
    std::memcpy(&info, page + kBtEntriesSize, sizeof info);
    if (level >= 0 && info.cLevel != level) {
        r.Error(at, name + ": level " + std::to_string(info.cLevel) + ", expected " +
                        std::to_string(level));
        return low;
    }
    const std::size_t entrySize = info.cLevel > 0 ? 24 : (nodeTree ? 32 : 24);
    if (info.cbEnt != entrySize || info.cEntMax != kBtEntriesSize / entrySize) {
        r.Error(at, name + ": entry size " + std::to_string(info.cbEnt) + " and capacity " +
                        std::to_string(info.cEntMax) + ", expected " + std::to_string(entrySize) +
                        " and " + std::to_string(kBtEntriesSize / entrySize));
        return low;
    }
    std::size_t count = info.cEnt;
    if (count > info.cEntMax) {
        r.Error(at, name + ": " + std::to_string(count) + " entries, more than fit a page");
        count = info.cEntMax;
    }
    if (count == 0) {
        if (depth > 0) r.Error(at, name + ": a page below the root holds no entries");
        return low;
    }

    std::uint64_t previous = 0;
    std::uint64_t first = low;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = page + i * entrySize;
        std::uint64_t key = GetU64(e);
        if (!nodeTree) key &= ~std::uint64_t{1};
        if (i > 0 && key <= previous) {
            r.Error(at,
                    name + ": keys not ascending (" + Hex(previous) + " then " + Hex(key) + ")");
            continue;
        }
        if (key < low || (high != kNoLimit && key >= high)) {
            r.Error(at, name + ": key " + Hex(key) + " outside the range its parent gives");
            continue;
        }
        if (i == 0) first = key;
        previous = key;
        if (info.cLevel > 0) {
            const std::uint64_t next = i + 1 < count ? GetU64(e + entrySize) : high;
            const std::uint64_t childFirst =
                WalkTree(nodeTree, GetU64(e + 8), GetU64(e + 16), info.cLevel - 1, key,
                         next > key ? next : high, report, depth + 1);
            if (childFirst != key)
                r.Error(at, name + ": key " + Hex(key) + " differs from the first key " +
                                Hex(childFirst) + " of its child page");
        } else if (nodeTree) {
            if (key > 0xFFFFFFFFu)
                r.Error(at, name + ": NID " + Hex(key) + " uses the upper 32 bits");
            nodes_.push_back(
                {static_cast<Nid>(key), GetU64(e + 8), GetU64(e + 16), GetU32(e + 24)});
        } else {
            if (GetU64(e) & 1)
                r.Warning(Location::Block(GetU64(e)), "BID has the reserved bit 0 set");
            blocks_.push_back({key, GetU64(e + 8), GetU16(e + 16), GetU16(e + 18)});
        }
    }
    return first;
}

const NodeRef* PstReader::FindNode(Nid nid) const {
    auto it = std::lower_bound(nodes_.begin(), nodes_.end(), nid,
                               [](const NodeRef& n, Nid k) { return n.nid < k; });
    return it != nodes_.end() && it->nid == nid ? &*it : nullptr;
}

const BlockRef* PstReader::FindBlock(Bid bid) const {
    bid &= ~Bid{1};
    auto it = std::lower_bound(blocks_.begin(), blocks_.end(), bid,
                               [](const BlockRef& b, Bid k) { return b.bid < k; });
    return it != blocks_.end() && it->bid == bid ? &*it : nullptr;
}

std::span<const std::uint8_t> PstReader::StoredPayload(const BlockRef& block) const {
    const std::uint64_t size = BlockSizeOnDisk(block.cb);
    if (block.cb > kMaxBlockPayload || block.ib > file_.size() || file_.size() - block.ib < size)
        return {};
    return file_.subspan(block.ib, block.cb);
}

void PstReader::DecodedPayload(const BlockRef& block, Bytes& out) const {
    const auto stored = StoredPayload(block);
    // Internal blocks are never encoded.
    if (header_.cryptMethod == 1 && !(block.bid & kBidInternal)) {
        out.resize(stored.size());
        PermuteDecode(stored, out.data());
        return;
    }
    out.assign(stored.begin(), stored.end());
    if (header_.cryptMethod == 2 && !(block.bid & kBidInternal))
        CyclicDecode(out, static_cast<std::uint32_t>(block.bid));
}

void PstReader::ReadDataBlocks(Bid bid, std::vector<Bytes>& out) const {
    std::size_t used = 0;
    auto next = [&]() -> Bytes& {
        if (used == out.size()) out.emplace_back();
        return out[used++];
    };
    // An internal block is read as stored; a data tree is at most two levels deep.
    auto visit = [&](auto& self, Bid b, int depth) -> void {
        const BlockRef* block = FindBlock(b);
        if (block == nullptr) throw ReadError("block " + Hex(b) + " is missing");
        const auto stored = StoredPayload(*block);
        if (stored.size() != block->cb) throw ReadError("block " + Hex(b) + " is outside the file");
        if (!(b & kBidInternal)) {
            DecodedPayload(*block, next());
            return;
        }
        if (depth >= 2 || stored.size() < 8 || stored[0] != 1)
            throw ReadError("block " + Hex(b) + " is not a data tree");
        const std::size_t count = GetU16(stored.data() + 2);
        if (8 + 8 * count > stored.size())
            throw ReadError("data tree " + Hex(b) + " lists more children than it holds");
        for (std::size_t i = 0; i < count; ++i)
            self(self, GetU64(stored.data() + 8 + 8 * i), depth + 1);
    };
    if (bid != 0) visit(visit, bid, 0);
    out.resize(used);
}

Bytes PstReader::ReadData(Bid bid) const {
    std::vector<Bytes> blocks;
    ReadDataBlocks(bid, blocks);
    Bytes all;
    for (const Bytes& b : blocks) all.insert(all.end(), b.begin(), b.end());
    return all;
}

std::vector<SubnodeRef> PstReader::ReadSubnodes(Bid bid) const {
    std::vector<SubnodeRef> out;
    auto visit = [&](auto& self, Bid b, int depth) -> void {
        const BlockRef* block = FindBlock(b);
        if (block == nullptr) throw ReadError("subnode block " + Hex(b) + " is missing");
        const auto s = StoredPayload(*block);
        if (s.size() < 8 || s[0] != 2 || !(b & kBidInternal) || s[1] > 1 ||
            (s[1] == 1 && depth > 0))
            throw ReadError("block " + Hex(b) + " is not a subnode tree");
        const std::size_t count = GetU16(s.data() + 2);
        const std::size_t entry = s[1] == 0 ? 24 : 16;
        if (8 + entry * count > s.size())
            throw ReadError("subnode block " + Hex(b) + " lists more entries than it holds");
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = s.data() + 8 + entry * i;
            // Outlook leaves junk in the upper half of an SLENTRY's NID.
            if (s[1] == 0) {
                out.push_back({static_cast<Nid>(GetU64(e)), GetU64(e + 8), GetU64(e + 16)});
            } else {
                self(self, GetU64(e + 8), depth + 1);
            }
        }
    };
    if (bid != 0) visit(visit, bid, 0);
    return out;
}

}  // namespace tarvelle::pst::verify
