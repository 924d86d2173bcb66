// The node database layer of a Unicode PST file ([MS-PST] 2.2): the file, its pages and blocks,
// the node and block B-trees and the allocation maps.
//
// The writer is copy-on-write: nothing the last committed header reaches is overwritten before
// the next header is written, and the header (one write at offset 0) is the commit point. So the
// file on disk is a complete PST after every Commit, whatever happens to the process afterwards.
// The allocation maps and the file's size, which growth and the close change in place, change
// only while the header says the maps are invalid (readers then rebuild them).
//
// Upper layers (ltp/, messaging/) hand in finished block payloads; this layer encodes them, adds
// trailers, builds data trees and subnode trees, keeps reference counts and places everything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvelle::pst::ndb {

using Nid = std::uint32_t;
using Bid = std::uint64_t;

// The largest payload of one block ([MS-PST] 2.2.2.8).
inline constexpr std::size_t kMaxBlockPayload = 8176;

// Any failure of this layer. `IoError` is a failed read or write of the file itself.
class NdbError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
class IoError : public NdbError {
  public:
    using NdbError::NdbError;
};
// The file to be created exists already (or appeared while it was being created): nothing was
// written under that name.
class FileExistsError : public IoError {
  public:
    using IoError::IoError;
};

struct SubnodeEntry {
    Nid nid = 0;
    Bid data = 0;     // data block or data tree root
    Bid subnode = 0;  // 0 when the subnode has no subnodes of its own
};

struct CreateOptions {
    // Where the system allows, the file has no name until its first commit, so a process killed
    // before then leaves nothing; false creates it under its name at once, as systems without
    // nameless files do.
    bool nameless = true;
    // For tests that stop the process at every step of a growth or the close: called after each
    // write that changes the allocation maps or the file's size.
    std::function<void()> afterMapStep;
    // For tests: called with each range of the file handed to the system's early write-back.
    std::function<void(std::uint64_t offset, std::uint64_t length)> afterWriteBack;
};

class NodeDatabase {
  public:
    virtual ~NodeDatabase() = default;

    // Creates a new file (never opens or replaces an existing one), owner-only permissions.
    static std::unique_ptr<NodeDatabase> Create(const std::filesystem::path& path,
                                                const CreateOptions& options = {});

    // --- blocks. A block written here belongs to nobody until a node (or another block) refers
    // to it; blocks still unreferenced at Commit are dropped.

    // One data block (payload <= kMaxBlockPayload), encoded per the crypt method.
    virtual Bid WriteDataBlock(std::span<const std::uint8_t> payload) = 0;
    // A node's data as one value: a single block, or an XBLOCK/XXBLOCK tree over 8176-byte chunks.
    virtual Bid WriteData(std::span<const std::uint8_t> bytes) = 0;
    // A data tree over blocks the caller already wrote (heap pages, row blocks); every block but
    // the last must hold exactly kMaxBlockPayload bytes. One block gives that block back.
    virtual Bid WriteDataTree(std::span<const Bid> blocks) = 0;
    // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); entries need not be sorted.
    virtual Bid WriteSubnodeTree(std::span<const SubnodeEntry> entries) = 0;
    // Size in bytes of the data a BID stands for (a block's payload or a tree's total).
    virtual std::uint64_t DataSize(Bid bid) const = 0;
    // The payload of a data block written before (decoded), for a caller that let go of its own
    // copy and must change it after all.
    virtual std::vector<std::uint8_t> ReadDataBlock(Bid bid) = 0;

    // --- nodes.
    // Inserts or replaces node `nid`. The blocks it referred to before are released (and their
    // space reused after the next commit) unless something else still refers to them.
    virtual void SetNode(Nid nid, Bid data, Bid subnode, Nid parent) = 0;
    virtual bool HasNode(Nid nid) const = 0;

    // --- NID counters (rgnid in the header): the last index handed out per NID type.
    virtual Nid AllocateNid(std::uint8_t nidType) = 0;
    virtual void SetNidCounter(std::uint8_t nidType, std::uint32_t lastIndex) = 0;
    virtual std::uint32_t NidCounter(std::uint8_t nidType) const = 0;

    // --- early write-back. Blocks written while `final` is set keep their content until the
    // file is closed (an item that is never saved again): the writer may hand them to the
    // system's write-back at once. Everything else (tables, folders, items saved again, the
    // B-trees) may be written again and waits for the closing flush, as a page that reached the
    // disk and is then changed goes there twice.
    virtual void SetFinal(bool final) = 0;

    // --- durability.
    // Writes everything pending and then the header: afterwards the file is a complete PST.
    virtual void Commit() = 0;
    // Commit, write the exact allocation maps and free counts, cut off unused space at the end,
    // flush to the disk and close; the object is unusable afterwards.
    virtual void Close() = 0;
    // Closes the file and removes it, for a file that holds nothing worth keeping; the object is
    // unusable afterwards.
    virtual void Discard() = 0;

    virtual std::uint64_t FileSize() const = 0;
    virtual const std::filesystem::path& Path() const = 0;
};

// While it lives, the blocks `db` writes are final or not as `final` says (NodeDatabase::SetFinal).
class FinalBlocks {
  public:
    FinalBlocks(NodeDatabase& db, bool final) : db_(db) { db_.SetFinal(final); }
    ~FinalBlocks() { db_.SetFinal(false); }
    FinalBlocks(const FinalBlocks&) = delete;
    FinalBlocks& operator=(const FinalBlocks&) = delete;

  private:
    NodeDatabase& db_;
};

// [MS-PST] 5.3: reflected CRC-32, initial value 0, no final inversion.
std::uint32_t Crc(std::span<const std::uint8_t> data, std::uint32_t seed = 0);

// [MS-PST] 5.1: the permutation cipher applied to data blocks.
void PermuteEncode(std::span<std::uint8_t> data);
void PermuteDecode(std::span<std::uint8_t> data);
// The same from `from` into `to` (room for from.size() bytes).
void PermuteDecode(std::span<const std::uint8_t> from, std::uint8_t* to);
// [MS-PST] 5.2: the cyclic encoding (its own inverse), keyed by the low 32 bits of the BID.
// Tarvelle never writes it; Outlook's "high encryption" files use it.
void CyclicDecode(std::span<std::uint8_t> data, std::uint32_t key);

}  // namespace tarvelle::pst::ndb
