#include "pst/ltp/Heap.h"

#include <algorithm>
#include <string>

namespace tarvelle::pst::ltp {

namespace {
constexpr std::size_t kMaxItemsPerPage = 2047;  // 11-bit HID index
}

void Heap::Page::Splice(std::size_t i, std::span<const std::uint8_t> data) {
    const std::size_t begin = ends[i];
    const std::size_t oldSize = ItemSize(i);
    const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(begin);
    if (data.size() <= oldSize) {
        std::copy(data.begin(), data.end(), at);
        bytes.erase(at + static_cast<std::ptrdiff_t>(data.size()),
                    at + static_cast<std::ptrdiff_t>(oldSize));
    } else {
        std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(oldSize), at);
        bytes.insert(at + static_cast<std::ptrdiff_t>(oldSize),
                     data.begin() + static_cast<std::ptrdiff_t>(oldSize), data.end());
    }
    const auto delta =
        static_cast<std::ptrdiff_t>(data.size()) - static_cast<std::ptrdiff_t>(oldSize);
    for (std::size_t k = i + 1; k < ends.size(); ++k) {
        ends[k] = static_cast<std::uint16_t>(static_cast<std::ptrdiff_t>(ends[k]) + delta);
    }
}

Heap::Heap(std::uint8_t clientSig) : clientSig_(clientSig) {
    // Most heaps are one item's properties, filled and written at once: room for a full page
    // up front saves a chain of reallocations per item.
    pages_.emplace_back();
    pages_.back().bytes.reserve(kHeapPageSize);
    pages_.back().ends.reserve(64);
}

// HNHDR on page 0, HNBITMAPHDR on pages 8, 136, 264, ..., HNPAGEHDR elsewhere.
std::size_t Heap::HeaderSize(std::size_t pageIndex) {
    if (pageIndex == 0) return 12;
    if (pageIndex >= 8 && (pageIndex - 8) % 128 == 0) return 66;
    return 2;
}

// Bytes a page needs: header, items, a pad byte to reach an even HNPAGEMAP, the map itself.
std::size_t Heap::Footprint(std::size_t pageIndex, std::size_t used, std::size_t slots) {
    const std::size_t end = HeaderSize(pageIndex) + used;
    return end + (end & 1) + 4 + 2 * (slots + 1);
}

Heap::Page& Heap::PageOf(Hid hid, std::size_t* index) {
    const std::size_t page = hid >> 16;
    if (page < pages_.size() && pages_[page].released) ReadBack(page);
    return const_cast<Page&>(static_cast<const Heap*>(this)->PageOf(hid, index));
}

void Heap::ReadBack(std::size_t index) {
    if (readBack_ && *readBack_ != index) WriteOut(*readBack_);
    Page& p = pages_[index];
    if (db_ == nullptr) throw LtpError("heap: a dropped page without its database");
    const Bytes stored = db_->ReadDataBlock(p.bid);
    // [MS-PST] 2.3.1.5: the page map at ibHnpm, cAlloc + 1 item offsets from the page start.
    const std::size_t header = HeaderSize(index);
    const std::size_t map = stored.size() >= 2 ? GetU16(stored.data()) : 0;
    const std::size_t slots = map + 4 <= stored.size() ? GetU16(stored.data() + map) : 0;
    if (map < header || map + 4 + 2 * (slots + 1) > stored.size()) {
        throw LtpError("heap: page " + std::to_string(index) + " reads back without its map");
    }
    std::vector<std::uint16_t> ends(slots + 1);
    for (std::size_t i = 0; i <= slots; ++i) {
        const std::size_t at = GetU16(stored.data() + map + 4 + 2 * i);
        if (at < header || at > map || (i > 0 && at < header + ends[i - 1])) {
            throw LtpError("heap: page " + std::to_string(index) + " reads back damaged");
        }
        ends[i] = static_cast<std::uint16_t>(at - header);
    }
    p.bytes.assign(stored.begin() + static_cast<std::ptrdiff_t>(header),
                   stored.begin() + static_cast<std::ptrdiff_t>(header + ends.back()));
    p.ends = std::move(ends);
    p.pinned.assign(slots, false);
    p.liveItems = 0;
    for (std::size_t i = 0; i < slots; ++i) p.liveItems += p.ItemSize(i) != 0 ? 1 : 0;
    p.pinnedItems = 0;
    p.dirty = false;
    p.released = false;
    readBack_ = index;
}

void Heap::WriteOut(std::size_t index) {
    Page& p = pages_[index];
    if (p.dirty) {
        p.bid = db_->WriteDataBlock(SerializePage(index));
        p.dirty = false;
    }
    if (p.pinnedItems == 0 && index + 1 < pages_.size()) p.Release();
    readBack_.reset();
}

const Heap::Page& Heap::PageOf(Hid hid, std::size_t* index) const {
    const std::size_t page = hid >> 16;
    const std::size_t item = (hid >> 5) & 0x7FF;
    if ((hid & 0x1F) != 0 || page >= pages_.size() || item == 0 || item > pages_[page].Slots()) {
        throw LtpError("heap: no item with HID " + std::to_string(hid));
    }
    const Page& p = pages_[page];
    if (p.released) throw LtpError("heap: the page of HID " + std::to_string(hid) + " is sealed");
    if (p.ItemSize(item - 1) == 0) throw LtpError("heap: HID " + std::to_string(hid) + " is free");
    *index = item - 1;
    return p;
}

Hid Heap::Place(std::size_t pageIndex, std::span<const std::uint8_t> bytes, bool pinned) {
    Page& p = pages_[pageIndex];
    std::size_t slot = p.Slots();
    if (p.liveItems < p.Slots()) {
        for (std::size_t i = 0; i < p.Slots(); ++i) {
            if (p.ItemSize(i) == 0) {
                slot = i;
                break;
            }
        }
    }
    if (slot == p.Slots()) {
        p.bytes.insert(p.bytes.end(), bytes.begin(), bytes.end());
        p.ends.push_back(static_cast<std::uint16_t>(p.bytes.size()));
        p.pinned.push_back(pinned);
    } else {
        p.Splice(slot, bytes);
        p.pinned[slot] = pinned;
    }
    p.pinnedItems += pinned ? 1 : 0;
    ++p.liveItems;
    p.dirty = true;
    written_ = 0;
    return MakeHid(pageIndex, slot + 1);
}

Hid Heap::Allocate(std::span<const std::uint8_t> bytes, bool pinned) {
    if (bytes.empty()) throw LtpError("heap: empty items are stored as HNID 0, not allocated");
    if (bytes.size() > kMaxHeapItem) {
        throw LtpError("heap: item of " + std::to_string(bytes.size()) + " bytes exceeds 3580");
    }
    std::size_t last = pages_.size() - 1;
    const Page& p = pages_[last];
    const std::size_t slots = p.Slots() + (p.liveItems < p.Slots() ? 0 : 1);
    if (p.released || slots > kMaxItemsPerPage ||
        Footprint(last, p.bytes.size() + bytes.size(), slots) > kHeapPageSize) {
        if (pages_.size() >= 0xFFFF) throw LtpError("heap: too many pages");
        pages_.back().dirty = true;  // it is stored padded from now on
        pages_.emplace_back();
        pages_.back().bytes.reserve(kHeapPageSize);
        last = pages_.size() - 1;
    }
    return Place(last, bytes, pinned);
}

Hid Heap::Replace(Hid hid, std::span<const std::uint8_t> bytes, bool pinned) {
    if (bytes.empty() || bytes.size() > kMaxHeapItem) {
        throw LtpError("heap: replacement item of " + std::to_string(bytes.size()) +
                       " bytes is not storable");
    }
    std::size_t idx = 0;
    Page& p = PageOf(hid, &idx);
    const std::size_t pageIndex = hid >> 16;
    const std::size_t newUsed = p.bytes.size() - p.ItemSize(idx) + bytes.size();
    if (Footprint(pageIndex, newUsed, p.Slots()) <= kHeapPageSize) {
        p.Splice(idx, bytes);
        p.pinnedItems = p.pinnedItems - (p.pinned[idx] ? 1 : 0) + (pinned ? 1 : 0);
        p.pinned[idx] = pinned;
        p.dirty = true;
        written_ = 0;
        return hid;
    }
    Free(hid);
    return Allocate(bytes, pinned);
}

void Heap::Free(Hid hid) {
    std::size_t idx = 0;
    Page& p = PageOf(hid, &idx);
    p.Splice(idx, {});
    if (p.pinned[idx]) --p.pinnedItems;
    p.pinned[idx] = false;
    --p.liveItems;
    p.dirty = true;
    written_ = 0;
}

std::span<const std::uint8_t> Heap::Get(Hid hid) const {
    std::size_t idx = 0;
    const Page& p = PageOf(hid, &idx);
    return std::span<const std::uint8_t>(p.bytes.data() + p.ends[idx], p.ItemSize(idx));
}

bool Heap::Holds(Hid hid, std::span<const std::uint8_t> bytes) {
    std::size_t idx = 0;
    const Page& p = PageOf(hid, &idx);
    return p.ItemSize(idx) == bytes.size() &&
           std::equal(bytes.begin(), bytes.end(), p.bytes.begin() + p.ends[idx]);
}

void Heap::SetUserRoot(Hid hid) {
    if (hid != userRoot_) {
        userRoot_ = hid;
        pages_[0].dirty = true;
        written_ = 0;
    }
}

Bytes Heap::SerializePage(std::size_t index) const {
    const Page& p = pages_.at(index);
    if (p.released) throw LtpError("heap: page no longer in memory");
    const bool last = index + 1 == pages_.size();
    const std::size_t header = HeaderSize(index);
    Bytes out;
    out.reserve(last ? Footprint(index, p.bytes.size(), p.Slots()) : kHeapPageSize);
    out.resize(header, 0);
    if (index == 0) {
        out[2] = 0xEC;  // bSig
        out[3] = clientSig_;
        PutU32(out.data() + 4, userRoot_);
    }
    out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    if (out.size() & 1) out.push_back(0);
    PutU16(out.data(), static_cast<std::uint16_t>(out.size()));  // ibHnpm
    AppendU16(out, static_cast<std::uint16_t>(p.Slots()));
    AppendU16(out, static_cast<std::uint16_t>(p.Slots() - p.liveItems));
    for (auto e : p.ends) AppendU16(out, static_cast<std::uint16_t>(header + e));
    if (!last) out.resize(kHeapPageSize, 0);
    return out;
}

ndb::Bid Heap::Write(ndb::NodeDatabase& db) {
    db_ = &db;
    if (written_ != 0) return written_;
    readBack_.reset();  // dropped again below, with the other full pages
    std::vector<ndb::Bid> bids;
    bids.reserve(pages_.size());
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        Page& p = pages_[i];
        if (p.dirty || p.bid == 0) {
            const Bytes bytes = SerializePage(i);
            p.bid = db.WriteDataBlock(bytes);
            p.dirty = false;
        }
        bids.push_back(p.bid);
        if (i + 1 < pages_.size() && p.pinnedItems == 0 && !p.released) p.Release();
    }
    written_ = bids.size() == 1 ? bids[0] : db.WriteDataTree(bids);
    return written_;
}

void Heap::WriteFullPages(ndb::NodeDatabase& db) {
    db_ = &db;
    for (; fullPagesSeen_ + 1 < pages_.size(); ++fullPagesSeen_) {
        Page& p = pages_[fullPagesSeen_];
        if (p.released || p.pinnedItems > 0) continue;  // pinned ones wait for Write
        if (p.dirty || p.bid == 0) {
            p.bid = db.WriteDataBlock(SerializePage(fullPagesSeen_));
            p.dirty = false;
            written_ = 0;
        }
        p.Release();
    }
}

}  // namespace tarvelle::pst::ltp
