#include "pst/ltp/Bth.h"

#include <algorithm>

namespace tarvelle::pst::ltp {

BthWriter::BthWriter(Heap& heap, std::uint8_t cbKey, std::uint8_t cbEnt)
    : heap_(heap), cbKey_(cbKey), cbEnt_(cbEnt), recordSize_(std::size_t{cbKey} + cbEnt) {
    if (cbKey != 2 && cbKey != 4 && cbKey != 8 && cbKey != 16) throw LtpError("BTH: bad key size");
    const std::uint8_t header[8] = {kSigBth, cbKey, cbEnt, 0, 0, 0, 0, 0};
    header_ = heap_.Allocate(header, true);
}

std::uint32_t BthWriter::KeyAt(std::size_t i) const {
    const std::uint8_t* p = records_.data() + i * recordSize_;
    return cbKey_ == 2 ? GetU16(p) : GetU32(p);
}

void BthWriter::Put(std::uint32_t key, std::span<const std::uint8_t> data) {
    if (data.size() != cbEnt_) throw LtpError("BTH: record data of the wrong size");
    if (cbKey_ == 2 && key > 0xFFFF) throw LtpError("BTH: key does not fit 2 bytes");
    // Binary search on the integer keys; appending in order is the common case.
    std::size_t lo = 0;
    std::size_t hi = Size();
    if (hi > 0 && KeyAt(hi - 1) < key) {
        lo = hi;
    } else {
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (KeyAt(mid) < key) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
    }
    if (lo == Size()) {
        records_.resize(records_.size() + recordSize_);  // appending: the common case
    } else if (KeyAt(lo) != key) {
        records_.insert(records_.begin() + static_cast<std::ptrdiff_t>(lo * recordSize_),
                        recordSize_, 0);
    }
    std::uint8_t* rec = records_.data() + lo * recordSize_;
    if (cbKey_ == 2) {
        PutU16(rec, static_cast<std::uint16_t>(key));
    } else {
        PutU32(rec, key);
    }
    std::copy(data.begin(), data.end(), rec + cbKey_);
    firstDirty_ = std::min(firstDirty_, lo);
}

void BthWriter::Flush() {
    const std::size_t perLeaf = RecordsPerLeaf();
    const std::size_t count = Size();
    const std::size_t leafCount = (count + perLeaf - 1) / perLeaf;
    // Leaves before the first changed record keep their items.
    std::size_t firstLeaf = std::min(firstDirty_ / perLeaf, leaves_.size());
    for (std::size_t k = firstLeaf; k < leaves_.size(); ++k) {
        if (k >= leafCount) heap_.Free(leaves_[k]);
    }
    leaves_.resize(std::min(leaves_.size(), leafCount));
    for (std::size_t k = firstLeaf; k < leafCount; ++k) {
        const std::size_t begin = k * perLeaf;
        const std::size_t n = std::min(perLeaf, count - begin);
        const std::span<const std::uint8_t> bytes(records_.data() + begin * recordSize_,
                                                  n * recordSize_);
        const bool pinned = n < perLeaf;  // a full leaf only changes on out-of-order inserts
        if (k < leaves_.size()) {
            leaves_[k] = heap_.Replace(leaves_[k], bytes, pinned);
        } else {
            leaves_.push_back(heap_.Allocate(bytes, pinned));
        }
    }
    firstDirty_ = count;

    for (Hid hid : indexItems_) heap_.Free(hid);
    indexItems_.clear();
    // Index levels: key of the first record below + HID, until one item holds the level.
    std::vector<std::pair<std::uint32_t, Hid>> level;
    for (std::size_t k = 0; k < leaves_.size(); ++k)
        level.emplace_back(KeyAt(k * perLeaf), leaves_[k]);
    std::uint8_t levels = 0;
    const std::size_t indexRecord = std::size_t{cbKey_} + 4;
    const std::size_t perIndex = kMaxHeapItem / indexRecord;
    while (level.size() > 1) {
        ++levels;
        std::vector<std::pair<std::uint32_t, Hid>> up;
        for (std::size_t begin = 0; begin < level.size(); begin += perIndex) {
            const std::size_t n = std::min(perIndex, level.size() - begin);
            Bytes item(n * indexRecord, 0);
            for (std::size_t j = 0; j < n; ++j) {
                std::uint8_t* p = item.data() + j * indexRecord;
                if (cbKey_ == 2) {
                    PutU16(p, static_cast<std::uint16_t>(level[begin + j].first));
                } else {
                    PutU32(p, level[begin + j].first);
                }
                PutU32(p + cbKey_, level[begin + j].second);
            }
            const Hid hid = heap_.Allocate(item, true);
            indexItems_.push_back(hid);
            up.emplace_back(level[begin].first, hid);
        }
        level = std::move(up);
    }
    const Hid root = level.empty() ? 0 : level[0].second;
    std::uint8_t header[8] = {kSigBth, cbKey_, cbEnt_, levels, 0, 0, 0, 0};
    PutU32(header + 4, root);
    header_ = heap_.Replace(header_, header, true);
}

}  // namespace tarvelle::pst::ltp
