// Nickname -> number table that compares nicknames as Eudora does (without regard to case, see
// FoldNickname). Open addressing over a flat array: a lookup neither allocates a folded copy
// nor follows list nodes, which is most of the first pass's time at 200,000 nicknames.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "eudora/PopulateAhead.h"

namespace tarvelle::eudora {

// Nicknames are compared without regard to case, as Eudora does. Folds ASCII and the letters
// Windows-1252 can hold (Latin-1 and the Latin Extended-A ones), given as UTF-8; bytes that are
// not valid UTF-8 are kept as they are. Folding never changes the length in bytes.
std::string FoldNickname(std::string_view nickname);
bool SameNickname(std::string_view a, std::string_view b);

// A nickname folded once, compared against many (the table's look-ups fold each query once).
class FoldedNickname {
  public:
    explicit FoldedNickname(std::string_view nickname);
    FoldedNickname(const FoldedNickname&) = delete;
    FoldedNickname& operator=(const FoldedNickname&) = delete;
    std::string_view View() const {
        return large_.empty() ? std::string_view(small_, size_) : std::string_view(large_);
    }
    // Equal for nicknames SameNickname calls the same.
    std::uint32_t Hash() const;
    // SameNickname(nickname, the folded one's original).
    bool Matches(std::string_view nickname) const;

  private:
    char small_[120];
    std::size_t size_ = 0;
    std::string large_;  // nicknames longer than small_
};

class NicknameTable {
  public:
    // The value stored under `nickname`, or nullptr. `keyOf(value)` gives the nickname a stored
    // value was inserted under (the table keeps numbers, not texts).
    template <typename KeyOf>
    std::uint32_t* Find(std::string_view nickname, KeyOf keyOf) {
        if (slots_.empty()) return nullptr;
        const FoldedNickname key(nickname);
        const std::uint32_t hash = key.Hash();
        for (std::size_t i = hash & Mask();; i = (i + 1) & Mask()) {
            Slot& s = slots_[i];
            if (s.value == kEmpty) return nullptr;
            if (s.hash == hash && key.Matches(keyOf(s.value))) return &s.value;
        }
    }
    template <typename KeyOf>
    const std::uint32_t* Find(std::string_view nickname, KeyOf keyOf) const {
        return const_cast<NicknameTable*>(this)->Find(nickname, keyOf);
    }

    // Find for each of `nicknames` (at most kBatch), into `found`. A look-up waits for memory
    // twice, for its slot and for the stored nickname; a batch starts every slot's load, then
    // every candidate's (`prefetch(value)` starts the load of what keyOf(value) reads), before
    // waiting for any, so the waits overlap instead of adding up.
    static constexpr std::size_t kBatch = 16;
    template <typename KeyOf, typename Prefetch>
    void FindBatch(std::span<const std::string_view> nicknames,
                   std::span<const std::uint32_t*> found, KeyOf keyOf, Prefetch prefetch) const {
        const std::size_t n = std::min({nicknames.size(), found.size(), kBatch});
        std::fill_n(found.begin(), n, nullptr);
        if (slots_.empty()) return;
        std::optional<FoldedNickname> keys[kBatch];
        std::uint32_t hashes[kBatch];
        std::size_t candidates[kBatch];
        for (std::size_t k = 0; k < n; ++k) {
            hashes[k] = keys[k].emplace(nicknames[k]).Hash();
            __builtin_prefetch(&slots_[hashes[k] & Mask()]);
        }
        for (std::size_t k = 0; k < n; ++k) {
            std::size_t i = hashes[k] & Mask();
            while (slots_[i].value != kEmpty && slots_[i].hash != hashes[k]) i = (i + 1) & Mask();
            candidates[k] = i;
            if (slots_[i].value != kEmpty) prefetch(slots_[i].value);
        }
        for (std::size_t k = 0; k < n; ++k) {
            for (std::size_t i = candidates[k];; i = (i + 1) & Mask()) {
                const Slot& s = slots_[i];
                if (s.value == kEmpty) break;
                if (s.hash == hashes[k] && keys[k]->Matches(keyOf(s.value))) {
                    found[k] = &s.value;
                    break;
                }
            }
        }
    }

    // Inserts `value` under `nickname` unless the nickname is there; returns the stored value
    // and whether it was inserted.
    template <typename KeyOf>
    std::pair<std::uint32_t*, bool> TryEmplace(std::string_view nickname, std::uint32_t value,
                                               KeyOf keyOf) {
        if (2 * (size_ + 1) > slots_.size()) Grow();
        const FoldedNickname key(nickname);
        const std::uint32_t hash = key.Hash();
        for (std::size_t i = hash & Mask();; i = (i + 1) & Mask()) {
            Slot& s = slots_[i];
            if (s.value == kEmpty) {
                s = {hash, value};
                ++size_;
                return {&s.value, true};
            }
            if (s.hash == hash && key.Matches(keyOf(s.value))) return {&s.value, false};
        }
    }

    std::size_t size() const { return size_; }
    // Room for `count` nicknames in all, so that adding up to that many moves nothing.
    void Reserve(std::size_t count) {
        std::size_t size = slots_.empty() ? 64 : slots_.size();
        while (size < 2 * count) size *= 2;
        if (size > slots_.size()) Rehash(size);
    }
    void Clear() {
        std::vector<Slot>().swap(slots_);
        size_ = 0;
    }

  private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    struct Slot {
        std::uint32_t hash = 0;
        std::uint32_t value = kEmpty;
    };
    std::size_t Mask() const { return slots_.size() - 1; }
    void Grow() { Rehash(slots_.empty() ? 64 : 2 * slots_.size()); }
    void Rehash(std::size_t size) {
        std::vector<Slot> old = std::move(slots_);
        slots_.reserve(size);
        PopulateAhead::Whole(slots_.data(), size * sizeof(Slot));
        slots_.assign(size, Slot{});
        for (const Slot& s : old) {
            if (s.value == kEmpty) continue;
            std::size_t i = s.hash & Mask();
            while (slots_[i].value != kEmpty) i = (i + 1) & Mask();
            slots_[i] = s;
        }
    }

    std::vector<Slot> slots_;  // size a power of two, at most half full
    std::size_t size_ = 0;
};

}  // namespace tarvelle::eudora
