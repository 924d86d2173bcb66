// The writer's own map of free space inside the file: extents of 64-byte slots, merged with
// their neighbours when freed, handed out smallest-fit so that space freed by one commit serves
// the next one as a whole (one write for a commit's pages instead of one per page).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>

namespace tarvelle::pst::ndb {

class FreeSpace {
  public:
    void Add(std::uint64_t ib, std::uint64_t bytes);
    // `bytes` starting at a multiple of `align`, from the smallest extent that holds them;
    // 0 when none does.
    std::uint64_t Take(std::uint64_t bytes, std::uint64_t align);
    std::uint64_t TotalBytes() const { return total_; }
    std::size_t Extents() const { return byStart_.size(); }

  private:
    void Insert(std::uint64_t ib, std::uint64_t bytes);
    void Erase(std::map<std::uint64_t, std::uint64_t>::iterator it);
    bool TakeFrom(std::set<std::pair<std::uint64_t, std::uint64_t>>::iterator it,
                  std::uint64_t bytes, std::uint64_t align, std::uint64_t& out);

    std::map<std::uint64_t, std::uint64_t> byStart_;            // start -> length
    std::set<std::pair<std::uint64_t, std::uint64_t>> bySize_;  // (length, start)
    std::uint64_t total_ = 0;
};

}  // namespace tarvelle::pst::ndb
