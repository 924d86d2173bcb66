#include "pst/ltp/TableContext.h"

#include <algorithm>
#include <string>

namespace tarvelle::pst::ltp {

namespace {

std::uint8_t CellSize(std::uint16_t type) {
    const std::size_t fixed = FixedSize(type);
    return static_cast<std::uint8_t>(fixed != 0 && fixed <= 8 ? fixed : 4);
}

bool CellIsHnid(std::uint16_t type) {
    const std::size_t fixed = FixedSize(type);
    return fixed == 0 || fixed > 8;
}

}  // namespace

TableContext::TableContext(std::vector<std::uint32_t> tags, bool appendOnly)
    : heap_(std::make_unique<Heap>(kSigTc)), appendOnly_(appendOnly) {
    std::erase(tags, kTagLtpRowId);
    std::erase(tags, kTagLtpRowVer);
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    if (tags.size() + 2 > 255) throw LtpError("table: too many columns");

    // Layout: row ID at 0, row version at 4, then 8-, 4-, 2- and 1-byte cells; CEB last.
    columns_.push_back({kTagLtpRowId, 0, 4, 0});
    columns_.push_back({kTagLtpRowVer, 4, 4, 1});
    std::uint16_t ib = 8;
    std::uint8_t bit = 2;
    for (std::uint8_t size : {8, 4, 2, 1}) {
        for (std::uint32_t tag : tags) {
            if (CellSize(TagType(tag)) != size) continue;
            columns_.push_back({tag, ib, size, bit++});
            ib = static_cast<std::uint16_t>(ib + size);
        }
        if (size == 4) rgib_[0] = ib;
        if (size == 2) rgib_[1] = ib;
        if (size == 1) rgib_[2] = ib;
    }
    rgib_[3] = static_cast<std::uint16_t>(ib + (columns_.size() + 7) / 8);
    rowSize_ = rgib_[3];
    rowsPerBlock_ = kHeapPageSize / rowSize_;
    std::sort(columns_.begin(), columns_.end(),
              [](const ColumnDesc& a, const ColumnDesc& b) { return a.tag < b.tag; });

    // Outlook's order, which some readers rely on: row index BTH at 0x20, TCINFO at 0x40.
    rowIndex_ = std::make_unique<BthWriter>(*heap_, 4, 4);
    WriteTcInfo(0);
    heap_->SetUserRoot(tcInfo_);
}

void TableContext::WriteTcInfo(Hid rows) {
    Bytes info(22 + 8 * columns_.size(), 0);
    info[0] = kSigTc;
    info[1] = static_cast<std::uint8_t>(columns_.size());
    for (int i = 0; i < 4; ++i) PutU16(info.data() + 2 + 2 * i, rgib_[i]);
    PutU32(info.data() + 10, rowIndex_->HeaderHid());
    PutU32(info.data() + 14, rows);
    PutU32(info.data() + 18, 0);  // hidIndex: deprecated, 0
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        std::uint8_t* p = info.data() + 22 + 8 * i;
        PutU32(p, columns_[i].tag);
        PutU16(p + 4, columns_[i].ibData);
        p[6] = columns_[i].cbData;
        p[7] = columns_[i].iBit;
    }
    tcInfo_ = tcInfo_ == 0 ? heap_->Allocate(info, true) : heap_->Replace(tcInfo_, info, true);
}

std::uint8_t* TableContext::RowPtr(std::size_t index) {
    const std::size_t block = index / rowsPerBlock_;
    RowBlock& b = blocks_[block];
    if (b.released) {
        if (readBack_) WriteOut(*readBack_);
        if (db_ == nullptr) throw LtpError("table: a dropped block without its database");
        b.bytes = db_->ReadDataBlock(b.bid);
        if (b.bytes.size() < rowsPerBlock_ * rowSize_) {
            throw LtpError("table: block of rows " + std::to_string(block) + " reads back short");
        }
        b.bytes.resize(rowsPerBlock_ * rowSize_);  // without the padding of a full block
        b.released = false;
        b.dirty = false;
        readBack_ = block;
    }
    return b.bytes.data() + (index % rowsPerBlock_) * rowSize_;
}

void TableContext::WriteOut(std::size_t block) {
    RowBlock& b = blocks_[block];
    if (b.dirty) {
        Bytes bytes = b.bytes;
        bytes.resize(kHeapPageSize, 0);  // a full block of a data tree
        b.bid = db_->WriteDataBlock(bytes);
        b.dirty = false;
    }
    b.released = true;
    Bytes().swap(b.bytes);  // `= {}` would keep the capacity
    readBack_.reset();
}

Bytes TableContext::RowBytes(std::size_t index) const {
    if (index >= rowCount_) throw LtpError("table: no such row");
    const RowBlock& b = blocks_[index / rowsPerBlock_];
    if (b.released) throw LtpError("table: row is sealed");
    const auto* p = b.bytes.data() + (index % rowsPerBlock_) * rowSize_;
    return Bytes(p, p + rowSize_);
}

bool TableContext::CellSet(const std::uint8_t* row, const ColumnDesc& c) const {
    return (row[rgib_[2] + c.iBit / 8] & (0x80 >> (c.iBit % 8))) != 0;
}

void TableContext::FreeCells(const std::uint8_t* row, std::span<const Hid> kept) {
    for (const auto& c : columns_) {
        if (!CellSet(row, c) || !CellIsHnid(TagType(c.tag))) continue;
        const std::uint32_t hnid = GetU32(row + c.ibData);
        if (hnid == 0 || std::find(kept.begin(), kept.end(), hnid) != kept.end()) continue;
        if ((hnid & 0x1F) == 0) {
            heap_->Free(hnid);
        } else {
            std::erase_if(largeValues_, [&](const ndb::SubnodeEntry& e) { return e.nid == hnid; });
            std::erase_if(pendingLarge_, [&](const auto& e) { return e.first == hnid; });
        }
    }
}

Hid TableContext::KeptCell(const std::uint8_t* row, const ColumnDesc& c,
                           std::span<const std::uint8_t> value) {
    if (value.empty() || value.size() > kMaxHeapItem || !CellSet(row, c)) return 0;
    const Hid hid = GetU32(row + c.ibData);
    // Large values live in subnodes of their own, never kept.
    if (hid == 0 || (hid & 0x1F) != 0 || !heap_->Holds(hid, value)) return 0;
    return hid;
}

void TableContext::SetRow(std::uint32_t rowId, const PropertyBag& values, bool replaceable) {
    std::size_t index = rowCount_;
    bool replacing = false;
    if (auto it = rowNumbers_.find(rowId); it != rowNumbers_.end()) {
        index = it->second;
        replacing = true;
    } else if (appendOnly_ && rowCount_ > 0 && rowId == lastRowId_) {
        index = rowCount_ - 1;  // the last row is still in memory and may be replaced
        replacing = true;
    } else if (appendOnly_ && rowCount_ > 0 && rowId < lastRowId_) {
        throw LtpError("table: append-only rows must come in ascending row-ID order");
    }

    // A row replaced keeps the heap cells whose values did not change: their pages, already
    // written, stay as they are instead of being read back, changed and written again.
    std::uint8_t* old = replacing ? RowPtr(index) : nullptr;
    std::vector<Hid> kept;

    Bytes row(rowSize_, 0);
    std::uint8_t* ceb = row.data() + rgib_[2];
    auto setBit = [&](std::uint8_t bit) {
        ceb[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
    };
    PutU32(row.data(), rowId);
    PutU32(row.data() + 4, ++rowVersion_);
    setBit(0);
    setBit(1);
    // Columns and values are both in tag order: one walk over the two.
    auto it = values.begin();
    for (const auto& c : columns_) {
        if (c.tag == kTagLtpRowId || c.tag == kTagLtpRowVer) continue;
        while (it != values.end() && (*it).first < c.tag) ++it;
        if (it == values.end() || (*it).first != c.tag) continue;
        const PropertyBag::Value v = (*it).second;
        CheckStorable(c.tag, v.size());
        if (CellIsHnid(TagType(c.tag))) {
            Hid hnid = old != nullptr ? KeptCell(old, c, v) : 0;
            if (hnid != 0) {
                kept.push_back(hnid);
            } else if (v.size() > kMaxHeapItem) {
                hnid = LargeValueNid(largeCount_++);
                pendingLarge_.emplace_back(hnid, Bytes(v.begin(), v.end()));
            } else if (!v.empty()) {
                hnid = heap_->Allocate(v);
            }
            PutU32(row.data() + c.ibData, hnid);
        } else {
            std::copy(v.begin(), v.end(), row.begin() + c.ibData);
        }
        setBit(c.iBit);
    }

    if (replacing) {
        FreeCells(old, kept);
        std::copy(row.begin(), row.end(), old);
        blocks_[index / rowsPerBlock_].dirty = true;
        return;
    }
    const std::size_t block = index / rowsPerBlock_;
    if (block == blocks_.size()) {
        if (!blocks_.empty()) blocks_.back().dirty = true;  // stored padded from now on
        blocks_.emplace_back();
        blocks_.back().bytes.reserve(rowsPerBlock_ * rowSize_);
    }
    blocks_[block].bytes.insert(blocks_[block].bytes.end(), row.begin(), row.end());
    blocks_[block].dirty = true;
    ++rowCount_;
    lastRowId_ = rowId;
    if (!appendOnly_ || replaceable) rowNumbers_[rowId] = static_cast<std::uint32_t>(index);
    std::uint8_t rowNumber[4];
    PutU32(rowNumber, static_cast<std::uint32_t>(index));
    rowIndex_->Put(rowId, rowNumber);
}

void TableContext::WriteFull(ndb::NodeDatabase& db) {
    if (!appendOnly_) return;
    db_ = &db;
    for (; fullBlocksSeen_ + 1 < blocks_.size(); ++fullBlocksSeen_) {
        RowBlock& b = blocks_[fullBlocksSeen_];
        if (b.released) continue;
        if (b.dirty || b.bid == 0) {
            Bytes bytes = b.bytes;
            bytes.resize(kHeapPageSize, 0);  // every block but the last is padded
            b.bid = db.WriteDataBlock(bytes);
            b.dirty = false;
        }
        b.released = true;
        Bytes().swap(b.bytes);  // `= {}` would keep the capacity
    }
    heap_->WriteFullPages(db);
}

NodeContent TableContext::Write(ndb::NodeDatabase& db) {
    db_ = &db;
    readBack_.reset();  // dropped again below, with the other full blocks
    for (auto& [nid, bytes] : pendingLarge_) largeValues_.push_back({nid, db.WriteData(bytes), 0});
    pendingLarge_.clear();

    std::vector<ndb::SubnodeEntry> subnodes = largeValues_;
    const std::size_t total = rowCount_ * rowSize_;
    Hid hnidRows = 0;
    if (!rowsInSubnode_ && total <= kMaxHeapItem) {
        if (total > 0) {
            const Bytes& rows = blocks_[0].bytes;
            rowsHid_ =
                rowsHid_ == 0 ? heap_->Allocate(rows, true) : heap_->Replace(rowsHid_, rows, true);
            hnidRows = rowsHid_;
        }
    } else {
        if (!rowsInSubnode_ && rowsHid_ != 0) heap_->Free(rowsHid_);
        rowsInSubnode_ = true;
        rowsHid_ = 0;
        std::vector<ndb::Bid> bids;
        for (std::size_t k = 0; k < blocks_.size(); ++k) {
            RowBlock& b = blocks_[k];
            const bool last = k + 1 == blocks_.size();
            if (b.dirty || b.bid == 0) {
                Bytes bytes = b.bytes;
                if (!last) bytes.resize(kHeapPageSize, 0);
                b.bid = db.WriteDataBlock(bytes);
                b.dirty = false;
            }
            if (appendOnly_ && !last && !b.released) {
                b.released = true;
                Bytes().swap(b.bytes);
            }
            bids.push_back(b.bid);
        }
        subnodes.push_back({kRowMatrixNid, bids.size() == 1 ? bids[0] : db.WriteDataTree(bids), 0});
        hnidRows = kRowMatrixNid;
    }
    rowIndex_->Flush();
    WriteTcInfo(hnidRows);
    NodeContent out;
    out.data = heap_->Write(db);
    if (!subnodes.empty()) out.subnode = db.WriteSubnodeTree(subnodes);
    return out;
}

}  // namespace tarvelle::pst::ltp
