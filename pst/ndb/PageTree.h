// An in-memory copy of one of the file's B-trees (the node or the block B-tree, [MS-PST]
// 2.2.2.7.7) that knows which of its pages changed since they were last written.
//
// Every page keeps its place on disk until it changes; Write() then gives each changed page a
// new page BID and a new place (copy-on-write) and rewrites its ancestors, so a commit costs the
// changed leaves and their paths, not the whole tree. The places given up are collected for the
// caller, who may reuse them only after the next header is on disk.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "pst/ndb/Format.h"
#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::ndb {

// Where the tree writes its pages.
class PageSink {
  public:
    virtual ~PageSink() = default;
    virtual Bid NextPageBid() = 0;
    virtual std::uint64_t AllocatePage() = 0;
    // A zeroed 512-byte buffer that ends up at `ib` in the file.
    virtual std::uint8_t* StagePage(std::uint64_t ib) = 0;
};

struct PageRef {
    Bid bid = 0;
    std::uint64_t ib = 0;
};

// Finishes a page whose entries and BTPAGE fields are filled in: trailer, signature and CRC.
void SealPage(std::uint8_t* page, std::uint8_t ptype, std::uint64_t ib, Bid bid);

template <class Traits>
class PageTree {
  public:
    using Entry = typename Traits::Entry;

    PageTree() : root_(NewLeaf()) {}

    const Entry* Find(std::uint64_t key) const {
        const Node* n = root_.get();
        while (n->level > 0) n = n->children[ChildIndex(*n, key)].get();
        auto it = LowerBound(n->entries, key);
        return (it != n->entries.end() && Traits::Key(*it) == key) ? &*it : nullptr;
    }

    // The entry with `key` to change in place (its key must stay), its pages marked for the next
    // write; nullptr when there is none (and nothing is marked).
    Entry* Mutable(std::uint64_t key) {
        Node* path[256];  // a level is one byte (BTPAGE cLevel)
        std::size_t depth = 0;
        Node* n = root_.get();
        path[depth++] = n;
        while (n->level > 0) {
            n = n->children[ChildIndex(*n, key)].get();
            path[depth++] = n;
        }
        auto it = LowerBound(n->entries, key);
        if (it == n->entries.end() || Traits::Key(*it) != key) return nullptr;
        for (std::size_t i = 0; i < depth; ++i) path[i]->dirty = true;
        return &*it;
    }

    // Changes the entry with `key` in place (its key must stay); false when there is none.
    template <class F>
    bool Update(std::uint64_t key, F&& change) {
        Entry* e = Mutable(key);
        if (e == nullptr) return false;
        change(*e);
        return true;
    }

    // False when the key is already there.
    bool Insert(const Entry& entry) {
        bool inserted = false;
        auto sibling = InsertInto(*root_, entry, inserted);
        if (sibling) {
            auto root = std::make_unique<Node>();
            root->level = static_cast<std::uint8_t>(root_->level + 1);
            root->keys = {FirstKey(*root_), FirstKey(*sibling)};
            root->children.push_back(std::move(root_));
            root->children.push_back(std::move(sibling));
            root_ = std::move(root);
        }
        if (inserted) ++size_;
        return inserted;
    }

    bool Erase(std::uint64_t key) {
        if (!EraseFrom(*root_, key)) return false;
        --size_;
        // A root with a single child hands over to it (all leaves stay on one level).
        while (root_->level > 0 && root_->children.size() <= 1) {
            Release(*root_);
            if (root_->children.empty()) {
                root_ = NewLeaf();
            } else {
                auto child = std::move(root_->children.front());
                root_ = std::move(child);
            }
        }
        return true;
    }

    std::size_t size() const { return size_; }
    std::uint64_t DirtyPages() const { return CountDirty(*root_); }
    bool dirty() const { return root_->dirty; }
    int levels() const { return root_->level + 1; }

    // Writes every changed page; afterwards Root() is the new root.
    void Write(PageSink& sink) { WriteNode(*root_, sink); }
    PageRef Root() const { return {root_->bid, root_->ib}; }

    // Places of pages replaced or dropped since the last call.
    std::vector<std::uint64_t> TakeReleasedPages() { return std::exchange(released_, {}); }

    template <class F>
    void ForEachPage(F&& visit) const {
        VisitPages(*root_, visit);
    }
    template <class F>
    void ForEach(F&& visit) const {
        VisitEntries(*root_, visit);
    }

  private:
    struct Node {
        std::uint8_t level = 0;
        bool dirty = true;
        Bid bid = 0;
        std::uint64_t ib = 0;  // 0: never written
        std::vector<Entry> entries;
        std::vector<std::uint64_t> keys;  // first key of each child
        std::vector<std::unique_ptr<Node>> children;
    };

    static std::unique_ptr<Node> NewLeaf() {
        auto n = std::make_unique<Node>();
        n->entries.reserve(Traits::kLeafCapacity + 1);
        return n;
    }

    static auto LowerBound(std::vector<Entry>& v, std::uint64_t key) {
        return std::lower_bound(v.begin(), v.end(), key,
                                [](const Entry& e, std::uint64_t k) { return Traits::Key(e) < k; });
    }
    static auto LowerBound(const std::vector<Entry>& v, std::uint64_t key) {
        return std::lower_bound(v.begin(), v.end(), key,
                                [](const Entry& e, std::uint64_t k) { return Traits::Key(e) < k; });
    }
    static std::size_t ChildIndex(const Node& n, std::uint64_t key) {
        auto it = std::upper_bound(n.keys.begin(), n.keys.end(), key);
        return it == n.keys.begin() ? 0 : static_cast<std::size_t>(it - n.keys.begin()) - 1;
    }
    static std::uint64_t FirstKey(const Node& n) {
        return n.level == 0 ? Traits::Key(n.entries.front()) : n.keys.front();
    }
    static bool Empty(const Node& n) {
        return n.level == 0 ? n.entries.empty() : n.children.empty();
    }

    // Splits an overfull page. Appending at the end leaves the left page full, so trees
    // filled in key order (new BIDs, new messages) come out with full pages.
    std::unique_ptr<Node> Split(Node& n, bool appended) {
        auto right = n.level == 0 ? NewLeaf() : std::make_unique<Node>();
        right->level = n.level;
        if (n.level == 0) {
            const std::size_t keep = appended ? Traits::kLeafCapacity : (n.entries.size() + 1) / 2;
            right->entries.assign(n.entries.begin() + static_cast<std::ptrdiff_t>(keep),
                                  n.entries.end());
            n.entries.resize(keep);
        } else {
            const std::size_t keep = appended ? kBtBranchEntries : (n.children.size() + 1) / 2;
            const auto k = static_cast<std::ptrdiff_t>(keep);
            right->keys.assign(n.keys.begin() + k, n.keys.end());
            for (auto it = n.children.begin() + k; it != n.children.end(); ++it)
                right->children.push_back(std::move(*it));
            n.keys.resize(keep);
            n.children.resize(keep);
        }
        return right;
    }

    std::unique_ptr<Node> InsertInto(Node& n, const Entry& entry, bool& inserted) {
        const std::uint64_t key = Traits::Key(entry);
        if (n.level == 0) {
            auto it = LowerBound(n.entries, key);
            if (it != n.entries.end() && Traits::Key(*it) == key) return nullptr;
            const bool appended = it == n.entries.end();
            n.entries.insert(it, entry);
            n.dirty = true;
            inserted = true;
            return n.entries.size() > Traits::kLeafCapacity ? Split(n, appended) : nullptr;
        }
        const std::size_t i = ChildIndex(n, key);
        auto sibling = InsertInto(*n.children[i], entry, inserted);
        if (!inserted) return nullptr;
        n.dirty = true;
        n.keys[i] = FirstKey(*n.children[i]);
        if (!sibling) return nullptr;
        const bool appended = i + 1 == n.children.size();
        const auto at = static_cast<std::ptrdiff_t>(i + 1);
        n.keys.insert(n.keys.begin() + at, FirstKey(*sibling));
        n.children.insert(n.children.begin() + at, std::move(sibling));
        return n.children.size() > kBtBranchEntries ? Split(n, appended) : nullptr;
    }

    bool EraseFrom(Node& n, std::uint64_t key) {
        if (n.level == 0) {
            auto it = LowerBound(n.entries, key);
            if (it == n.entries.end() || Traits::Key(*it) != key) return false;
            n.entries.erase(it);
            n.dirty = true;
            return true;
        }
        const std::size_t i = ChildIndex(n, key);
        if (!EraseFrom(*n.children[i], key)) return false;
        n.dirty = true;
        if (Empty(*n.children[i])) {
            Release(*n.children[i]);
            n.keys.erase(n.keys.begin() + static_cast<std::ptrdiff_t>(i));
            n.children.erase(n.children.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            n.keys[i] = FirstKey(*n.children[i]);
        }
        return true;
    }

    void Release(Node& n) {
        if (n.ib != 0) released_.push_back(n.ib);
        n.ib = 0;
    }

    void WriteNode(Node& n, PageSink& sink) {
        if (!n.dirty) return;
        for (auto& child : n.children) WriteNode(*child, sink);
        Release(n);
        n.bid = sink.NextPageBid();
        n.ib = sink.AllocatePage();
        std::uint8_t* page = sink.StagePage(n.ib);
        std::size_t count = 0;
        std::size_t entrySize = 0;
        if (n.level == 0) {
            entrySize = Traits::kLeafEntrySize;
            for (const Entry& e : n.entries) Traits::Serialize(e, page + entrySize * count++);
        } else {
            entrySize = 24;
            for (std::size_t i = 0; i < n.children.size(); ++i) {
                std::uint8_t* p = page + entrySize * count++;
                PutU64(p, n.keys[i]);
                PutU64(p + 8, n.children[i]->bid);
                PutU64(p + 16, n.children[i]->ib);
            }
        }
        const BtPageInfo info{static_cast<std::uint8_t>(count),
                              static_cast<std::uint8_t>(kBtEntriesSize / entrySize),
                              static_cast<std::uint8_t>(entrySize), n.level};
        std::memcpy(page + kBtEntriesSize, &info, sizeof info);
        SealPage(page, Traits::kPageType, n.ib, n.bid);
        n.dirty = false;
    }

    static std::uint64_t CountDirty(const Node& n) {
        if (!n.dirty) return 0;
        std::uint64_t count = 1;
        for (const auto& child : n.children) count += CountDirty(*child);
        return count;
    }

    template <class F>
    static void VisitPages(const Node& n, F& visit) {
        if (n.ib != 0) visit(n.ib);
        for (const auto& child : n.children) VisitPages(*child, visit);
    }
    template <class F>
    static void VisitEntries(const Node& n, F& visit) {
        for (const Entry& e : n.entries) visit(e);
        for (const auto& child : n.children) VisitEntries(*child, visit);
    }

    std::unique_ptr<Node> root_;
    std::size_t size_ = 0;
    std::vector<std::uint64_t> released_;
};

// NBTENTRY ([MS-PST] 2.2.2.7.7.4).
struct NodeEntry {
    Nid nid = 0;
    Nid parent = 0;
    Bid data = 0;
    Bid subnode = 0;
};
struct NodeTreeTraits {
    using Entry = NodeEntry;
    static constexpr std::size_t kLeafCapacity = kNbtLeafEntries;
    static constexpr std::size_t kLeafEntrySize = 32;
    static constexpr std::uint8_t kPageType = kPageNbt;
    static std::uint64_t Key(const Entry& e) { return e.nid; }
    static void Serialize(const Entry& e, std::uint8_t* p) {
        PutU64(p, e.nid);
        PutU64(p + 8, e.data);
        PutU64(p + 16, e.subnode);
        PutU32(p + 24, e.parent);
    }
};

// BBTENTRY ([MS-PST] 2.2.2.7.7.3). `refs` counts the references; the file stores refs + 1.
struct BlockEntry {
    Bid bid = 0;
    std::uint64_t ib = 0;
    std::uint16_t cb = 0;
    std::uint16_t refs = 0;
};
struct BlockTreeTraits {
    using Entry = BlockEntry;
    static constexpr std::size_t kLeafCapacity = kBbtLeafEntries;
    static constexpr std::size_t kLeafEntrySize = 24;
    static constexpr std::uint8_t kPageType = kPageBbt;
    static std::uint64_t Key(const Entry& e) { return e.bid; }
    static void Serialize(const Entry& e, std::uint8_t* p) {
        PutU64(p, e.bid);
        PutU64(p + 8, e.ib);
        PutU16(p + 16, e.cb);
        PutU16(p + 18, static_cast<std::uint16_t>(e.refs + 1));
    }
};

}  // namespace tarvelle::pst::ndb
