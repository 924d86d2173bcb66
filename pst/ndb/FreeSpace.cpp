#include "pst/ndb/FreeSpace.h"

namespace tarvelle::pst::ndb {

void FreeSpace::Insert(std::uint64_t ib, std::uint64_t bytes) {
    byStart_.emplace(ib, bytes);
    bySize_.emplace(bytes, ib);
    total_ += bytes;
}

void FreeSpace::Erase(std::map<std::uint64_t, std::uint64_t>::iterator it) {
    bySize_.erase({it->second, it->first});
    total_ -= it->second;
    byStart_.erase(it);
}

void FreeSpace::Add(std::uint64_t ib, std::uint64_t bytes) {
    if (bytes == 0) return;
    auto next = byStart_.lower_bound(ib);
    if (next != byStart_.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second == ib) {
            ib = prev->first;
            bytes += prev->second;
            Erase(prev);
        }
    }
    if (next != byStart_.end() && next->first == ib + bytes) {
        bytes += next->second;
        Erase(next);
    }
    Insert(ib, bytes);
}

bool FreeSpace::TakeFrom(std::set<std::pair<std::uint64_t, std::uint64_t>>::iterator it,
                         std::uint64_t bytes, std::uint64_t align, std::uint64_t& out) {
    if (it == bySize_.end()) return false;
    const auto [length, start] = *it;
    const std::uint64_t head = (align - start % align) % align;
    if (head + bytes > length) return false;
    Erase(byStart_.find(start));
    if (head > 0) Insert(start, head);
    const std::uint64_t tail = length - head - bytes;
    if (tail > 0) Insert(start + head + bytes, tail);
    out = start + head;
    return true;
}

std::uint64_t FreeSpace::Take(std::uint64_t bytes, std::uint64_t align) {
    std::uint64_t out = 0;
    // The smallest extent first; if its start is badly aligned, the smallest one that is
    // large enough whatever its alignment.
    if (TakeFrom(bySize_.lower_bound({bytes, 0}), bytes, align, out)) return out;
    if (align > 1 && TakeFrom(bySize_.lower_bound({bytes + align - 1, 0}), bytes, align, out))
        return out;
    return 0;
}

}  // namespace tarvelle::pst::ndb
