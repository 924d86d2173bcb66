// The lists, tables and properties layer as the verifier reads it ([MS-PST] 2.3): heaps, BTHs,
// property contexts and table contexts of one node, checked while they are read. Every span
// handed out points into the NodeView it came from.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "pst/verify/PstReader.h"

namespace tarvelle::pst::verify {

using Hid = std::uint32_t;

inline constexpr std::uint8_t kSigHeap = 0xEC;
inline constexpr std::uint8_t kSigPc = 0xBC;
inline constexpr std::uint8_t kSigTc = 0x7C;
inline constexpr std::uint8_t kSigBth = 0xB5;
inline constexpr Hid kFirstHid = 0x20;  // the first item of the first heap page

// A node's data blocks, decoded, and its subnodes.
struct NodeView {
    Nid nid = 0;      // the top-level node: where findings are reported
    Nid subnode = 0;  // the subnode read, 0 for the node itself
    std::vector<Bytes> blocks;
    std::vector<SubnodeRef> subnodes;  // ascending NIDs

    // Loads node `nid` (or its subnode); false with an error when its blocks cannot be read.
    bool Load(const PstReader& reader, Nid nid, Bid data, Bid subnodeTree, Report& report,
              Nid sub = 0);
    const SubnodeRef* FindSubnode(Nid nid) const;
    // "" for the node itself, "subnode 0x..: " for a subnode: the start of a message.
    std::string Prefix() const;
    bool IsHeap() const {
        return !blocks.empty() && blocks[0].size() >= 12 && blocks[0][2] == kSigHeap;
    }
};

// Heap-on-node ([MS-PST] 2.3.1).
class Heap {
  public:
    // Reads and checks every page's map; false (with an error) when the node holds no heap.
    bool Open(const NodeView& node, Report& report);
    std::uint8_t ClientSig() const { return clientSig_; }
    Hid UserRoot() const { return userRoot_; }
    // The item's bytes; nullopt when there is no such item.
    std::optional<std::span<const std::uint8_t>> Item(Hid hid) const;

  private:
    struct Page {
        std::span<const std::uint8_t> bytes;
        std::size_t map = 0;  // ibHnpm
        std::size_t count = 0;
    };
    std::vector<Page> pages_;
    std::uint8_t clientSig_ = 0;
    Hid userRoot_ = 0;
};

// A BTH's records in key order ([MS-PST] 2.3.2): each span is key + data.
struct BthRecords {
    std::uint8_t cbKey = 0;
    std::uint8_t cbEnt = 0;
    std::vector<std::span<const std::uint8_t>> records;
};
// Reads the BTH whose header is item `header`; cbKey/cbEnt as the caller expects them (0: any).
// False with an error when it is not a BTH with those sizes; bad records are left out.
bool ReadBth(const Heap& heap, Hid header, std::uint8_t cbKey, std::uint8_t cbEnt,
             const NodeView& node, Report& report, BthRecords& out);

// A value of a property or a table cell: its bytes as stored (strings UTF-16LE).
struct PropertyValue {
    std::uint32_t tag = 0;
    std::span<const std::uint8_t> value;
};

// Decoded values too large for the heap (kept in subnodes) live here while they are in use.
using ValueStore = std::deque<Bytes>;

// Property context ([MS-PST] 2.3.3): the properties in ascending property-ID order.
bool ReadPropertyContext(const PstReader& reader, const NodeView& node, Report& report,
                         std::vector<PropertyValue>& out, ValueStore& store);

// Table context ([MS-PST] 2.3.4).
struct TableColumn {
    std::uint32_t tag = 0;
    std::uint16_t ib = 0;
    std::uint8_t cb = 0;
    std::uint8_t bit = 0;
};
class Table {
  public:
    bool Read(const PstReader& reader, const NodeView& node, Report& report);
    const std::vector<TableColumn>& Columns() const { return columns_; }
    std::size_t RowCount() const { return rows_.size(); }
    std::uint32_t RowId(std::size_t row) const;
    // The cell of `column` in `row`; nullopt when its bit is clear. Value cells come as their
    // bytes, variable-size ones resolved through the heap or a subnode.
    std::optional<std::span<const std::uint8_t>> Cell(std::size_t row,
                                                      const TableColumn& column) const;
    const TableColumn* FindColumn(std::uint32_t tag) const;

  private:
    const PstReader* reader_ = nullptr;
    const NodeView* node_ = nullptr;
    Heap heap_;
    std::vector<TableColumn> columns_;
    std::size_t cebOffset_ = 0;
    std::size_t rowSize_ = 0;
    std::vector<Bytes> matrixBlocks_;
    std::vector<std::span<const std::uint8_t>> rows_;
    mutable ValueStore store_;
};

// Size of a fixed-size property type, 0 for variable-size ones, -1 for unknown types.
int FixedTypeSize(std::uint16_t type);
bool IsVariableType(std::uint16_t type);
bool IsMultiValuedType(std::uint16_t type);

}  // namespace tarvelle::pst::verify
