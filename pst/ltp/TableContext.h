// Table context ([MS-PST] 2.3.4): column descriptors, a row matrix with a cell-existence bitmap
// per row, and a row index (BTH row ID -> row number).
//
// Built to grow: rows of the matrix live in 8176-byte blocks of whole rows; in an append-only
// table a full block is written once and then only its block ID is kept, so adding rows to a
// table of 200,000 rows rewrites the last block, the row index tail and the changed heap pages.
// A row added as replaceable can still be replaced later: its block is read back from the
// database for that (one block at a time), changed and written again.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "pst/ltp/Bth.h"
#include "pst/ltp/Heap.h"
#include "pst/ltp/PropertyContext.h"

namespace tarvelle::pst::ltp {

inline constexpr std::uint32_t kTagLtpRowId = 0x67F20003;
inline constexpr std::uint32_t kTagLtpRowVer = 0x67F30003;
// Subnode that holds the row matrix once it outgrows one heap item.
inline constexpr ndb::Nid kRowMatrixNid = 0x3F;

struct ColumnDesc {
    std::uint32_t tag = 0;
    std::uint16_t ibData = 0;
    std::uint8_t cbData = 0;
    std::uint8_t iBit = 0;
};

class TableContext {
  public:
    // `tags` need not include the row ID and row version columns (they are always added).
    // An append-only table takes rows in ascending row-ID order and changes only its last row
    // and the rows added as replaceable.
    explicit TableContext(std::vector<std::uint32_t> tags, bool appendOnly = false);

    // Inserts a row or replaces the row with this ID. Properties without a column are ignored.
    void SetRow(std::uint32_t rowId, const PropertyBag& values, bool replaceable = false);
    std::size_t RowCount() const { return rowCount_; }
    std::size_t RowSize() const { return rowSize_; }
    const std::vector<ColumnDesc>& Columns() const { return columns_; }
    // The bytes of row `index` (row order of the matrix), for checks.
    Bytes RowBytes(std::size_t index) const;

    NodeContent Write(ndb::NodeDatabase& db);
    // An append-only table writes its full row blocks and heap pages at once and drops them from
    // memory; Write completes the table later.
    void WriteFull(ndb::NodeDatabase& db);

  private:
    struct RowBlock {
        Bytes bytes;
        ndb::Bid bid = 0;
        bool dirty = true;
        bool released = false;
    };
    std::uint8_t* RowPtr(std::size_t index);
    // Writes a block of rows that was read back and drops it from memory again.
    void WriteOut(std::size_t block);
    // Whether `row` has a value in column `c` (its cell-existence bit).
    bool CellSet(const std::uint8_t* row, const ColumnDesc& c) const;
    // The heap cell of column `c` in `row` when it holds `value` already, else 0.
    Hid KeptCell(const std::uint8_t* row, const ColumnDesc& c, std::span<const std::uint8_t> value);
    // Frees the heap cells of `row`, but for those in `kept`.
    void FreeCells(const std::uint8_t* row, std::span<const Hid> kept = {});
    void WriteTcInfo(Hid rows);

    std::unique_ptr<Heap> heap_;
    std::unique_ptr<BthWriter> rowIndex_;
    Hid tcInfo_ = 0;
    std::vector<ColumnDesc> columns_;  // sorted by tag
    std::uint16_t rgib_[4] = {};
    std::size_t rowSize_ = 0;
    std::size_t rowsPerBlock_ = 0;
    bool appendOnly_;
    std::size_t rowCount_ = 0;
    std::uint32_t lastRowId_ = 0;
    std::uint32_t rowVersion_ = 0;
    // Row numbers by row ID: of every row, or in an append-only table of the replaceable ones.
    std::unordered_map<std::uint32_t, std::uint32_t> rowNumbers_;
    ndb::NodeDatabase* db_ = nullptr;      // where the dropped blocks are
    std::optional<std::size_t> readBack_;  // the block of rows read back, while in memory
    std::vector<RowBlock> blocks_;
    std::size_t fullBlocksSeen_ = 0;  // blocks before this one were looked at by WriteFull
    bool rowsInSubnode_ = false;
    Hid rowsHid_ = 0;
    std::vector<ndb::SubnodeEntry> largeValues_;
    std::vector<std::pair<ndb::Nid, Bytes>> pendingLarge_;
    std::size_t largeCount_ = 0;
};

}  // namespace tarvelle::pst::ltp
