// The node database of a Unicode PST as it is on disk ([MS-PST] 2.2), read with nothing of the
// writer's in-memory state: the header, both B-trees, blocks, data trees and subnode trees.
//
// The file is mapped (or read whole) once; every read is bounds-checked, so a damaged or
// hostile file gives findings or ReadError, never a read outside the file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <unordered_set>
#include <vector>

#include "pst/ndb/Format.h"
#include "pst/ndb/NodeDatabase.h"
#include "pst/verify/Report.h"

namespace tarvelle::pst::verify {

using ndb::Bid;
using ndb::Nid;
using Bytes = std::vector<std::uint8_t>;

// The bytes of the file: mapped where the system can, else read whole.
class FileImage {
  public:
    static std::unique_ptr<FileImage> Open(const std::filesystem::path& path);  // ReadError
    static std::unique_ptr<FileImage> FromBytes(Bytes bytes);
    virtual ~FileImage() = default;
    virtual std::span<const std::uint8_t> Data() const = 0;
};

struct HeaderFields {
    std::uint16_t version = 0;
    std::uint16_t clientVersion = 0;
    std::uint8_t platformCreate = 0;
    std::uint8_t platformAccess = 0;
    Bid bidNextP = 0;
    Bid bidNextB = 0;
    std::uint32_t unique = 0;
    std::array<std::uint32_t, 32> rgnid{};
    std::uint64_t fileEof = 0;
    std::uint64_t amapLast = 0;
    std::uint64_t amapFree = 0;
    Bid nbtBid = 0;
    std::uint64_t nbtIb = 0;
    Bid bbtBid = 0;
    std::uint64_t bbtIb = 0;
    std::uint8_t amapValid = 0;
    std::uint8_t cryptMethod = 0;
};

// NBTENTRY ([MS-PST] 2.2.2.7.7.4).
struct NodeRef {
    Nid nid = 0;
    Bid data = 0;
    Bid subnode = 0;
    Nid parent = 0;
};

// BBTENTRY ([MS-PST] 2.2.2.7.7.3); `cRef` as stored (references + 1).
struct BlockRef {
    Bid bid = 0;
    std::uint64_t ib = 0;
    std::uint16_t cb = 0;
    std::uint16_t cRef = 0;
};

// A B-tree page as found while walking the trees.
struct TreePage {
    std::uint64_t ib = 0;
    Bid bid = 0;
    std::uint8_t ptype = 0;
};

// SLENTRY ([MS-PST] 2.2.2.8.3.3.1.1).
struct SubnodeRef {
    Nid nid = 0;
    Bid data = 0;
    Bid subnode = 0;
};

class PstReader {
  public:
    // Reads the header and walks both B-trees. Findings about them go to `report` when one is
    // given. Throws ReadError when the file cannot be read or is no PST at all (no "!BDN", too
    // short), NotUnicodeError for an ANSI or other non-Unicode file.
    explicit PstReader(std::unique_ptr<FileImage> image, Report* report = nullptr);
    static PstReader Open(const std::filesystem::path& path, Report* report = nullptr) {
        return PstReader(FileImage::Open(path), report);
    }

    std::span<const std::uint8_t> File() const { return file_; }
    const HeaderFields& Header() const { return header_; }

    const std::vector<NodeRef>& Nodes() const { return nodes_; }     // ascending NIDs
    const std::vector<BlockRef>& Blocks() const { return blocks_; }  // ascending BIDs
    const std::vector<TreePage>& Pages() const { return pages_; }    // both B-trees
    const NodeRef* FindNode(Nid nid) const;
    const BlockRef* FindBlock(Bid bid) const;
    std::size_t BlockIndex(const BlockRef& block) const { return &block - blocks_.data(); }

    // The payload of a block as stored, or empty when it lies outside the file.
    std::span<const std::uint8_t> StoredPayload(const BlockRef& block) const;
    // A data block's payload decoded per the file's encoding ([MS-PST] 5), into `out`.
    void DecodedPayload(const BlockRef& block, Bytes& out) const;

    // The data blocks of `bid` (one block, or the children of an XBLOCK/XXBLOCK tree), decoded,
    // one entry per block. Throws ReadError when the tree cannot be followed.
    void ReadDataBlocks(Bid bid, std::vector<Bytes>& out) const;
    Bytes ReadData(Bid bid) const;
    // The entries of a subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); ReadError if broken.
    std::vector<SubnodeRef> ReadSubnodes(Bid bid) const;

  private:
    void ReadHeader(Report* report);
    // Walks one B-tree; returns the first key below the page (for the parent's check).
    std::uint64_t WalkTree(bool nodeTree, Bid bid, std::uint64_t ib, int level, std::uint64_t low,
                           std::uint64_t high, Report* report, int depth);

    std::unique_ptr<FileImage> image_;
    std::span<const std::uint8_t> file_;
    HeaderFields header_;
    std::vector<NodeRef> nodes_;
    std::vector<BlockRef> blocks_;
    std::vector<TreePage> pages_;
    std::unordered_set<std::uint64_t> pageOffsets_;  // while walking
};

}  // namespace tarvelle::pst::verify
