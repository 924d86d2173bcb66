// An in-memory node database for the LTP and messaging unit tests: it keeps every block, tree and
// node as handed in (no encoding), counts the writes, and reads node data back.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>
#include <vector>

#include "pst/ndb/Format.h"
#include "pst/ndb/NodeDatabase.h"
#include "pst/verify/Ltp.h"

namespace tarvelle::pst::testing {

class FakeNodeDatabase : public ndb::NodeDatabase {
  public:
    struct Node {
        ndb::Bid data = 0;
        ndb::Bid subnode = 0;
        ndb::Nid parent = 0;
    };

    ndb::Bid WriteDataBlock(std::span<const std::uint8_t> payload) override {
        if (payload.size() > ndb::kMaxBlockPayload) throw ndb::NdbError("block too large");
        if (blockWrites == failAt) throw ndb::IoError("No space left on device");  // a full disk
        ++blockWrites;
        const ndb::Bid bid = next_ += 4;
        blocks[bid].assign(payload.begin(), payload.end());
        if (final_) finalBlocks.insert(bid);
        return bid;
    }
    ndb::Bid WriteData(std::span<const std::uint8_t> bytes) override {
        std::vector<ndb::Bid> children;
        std::size_t off = 0;
        do {
            const std::size_t n = std::min(ndb::kMaxBlockPayload, bytes.size() - off);
            children.push_back(WriteDataBlock(bytes.subspan(off, n)));
            off += n;
        } while (off < bytes.size());
        return WriteDataTree(children);
    }
    ndb::Bid WriteDataTree(std::span<const ndb::Bid> children) override {
        if (children.size() == 1) return children[0];
        for (std::size_t i = 0; i + 1 < children.size(); ++i)
            if (blocks.at(children[i]).size() != ndb::kMaxBlockPayload)
                throw ndb::NdbError("data tree child shorter than 8176 bytes");
        const ndb::Bid bid = (next_ += 4) | 2;
        trees[bid].assign(children.begin(), children.end());
        if (final_) finalBlocks.insert(bid);
        return bid;
    }
    ndb::Bid WriteSubnodeTree(std::span<const ndb::SubnodeEntry> entries) override {
        const ndb::Bid bid = (next_ += 4) | 2;
        subtrees[bid].assign(entries.begin(), entries.end());
        if (final_) finalBlocks.insert(bid);
        return bid;
    }
    std::uint64_t DataSize(ndb::Bid bid) const override { return Data(bid).size(); }
    std::vector<std::uint8_t> ReadDataBlock(ndb::Bid bid) override {
        ++blockReads;
        return blocks.at(bid);
    }
    void SetNode(ndb::Nid nid, ndb::Bid data, ndb::Bid subnode, ndb::Nid parent) override {
        nodes[nid] = {data, subnode, parent};
    }
    bool HasNode(ndb::Nid nid) const override { return nodes.count(nid) != 0; }
    ndb::Nid AllocateNid(std::uint8_t type) override {
        return static_cast<ndb::Nid>((++counters[type]) << 5 | type);
    }
    void SetNidCounter(std::uint8_t type, std::uint32_t last) override { counters[type] = last; }
    std::uint32_t NidCounter(std::uint8_t type) const override {
        return counters.contains(type) ? counters.at(type) : 0;
    }
    void SetFinal(bool final) override { final_ = final; }
    void Commit() override {}
    void Close() override {}
    void Discard() override {}
    std::uint64_t FileSize() const override { return 0; }
    const std::filesystem::path& Path() const override { return path_; }

    // --- reading back
    // Payloads of the blocks of a BID (one block, or the children of a data tree).
    std::vector<std::vector<std::uint8_t>> Blocks(ndb::Bid bid) const {
        if (auto it = trees.find(bid); it != trees.end()) {
            std::vector<std::vector<std::uint8_t>> out;
            for (auto c : it->second) out.push_back(blocks.at(c));
            return out;
        }
        return {blocks.at(bid)};
    }
    std::vector<std::uint8_t> Data(ndb::Bid bid) const {
        std::vector<std::uint8_t> out;
        for (const auto& b : Blocks(bid)) out.insert(out.end(), b.begin(), b.end());
        return out;
    }
    // Data of subnode `nid` under the subnode tree `sub`.
    std::vector<std::uint8_t> SubnodeData(ndb::Bid sub, ndb::Nid nid) const {
        for (const auto& e : subtrees.at(sub))
            if (e.nid == nid) return Data(e.data);
        throw std::runtime_error("no such subnode");
    }

    std::map<ndb::Bid, std::vector<std::uint8_t>> blocks;
    std::map<ndb::Bid, std::vector<ndb::Bid>> trees;
    std::map<ndb::Bid, std::vector<ndb::SubnodeEntry>> subtrees;
    std::map<ndb::Nid, Node> nodes;
    std::map<std::uint8_t, std::uint32_t> counters;
    std::set<ndb::Bid> finalBlocks;  // written while SetFinal(true) was in force
    int blockWrites = 0;
    int failAt = -1;  // block writes that succeed before every further one fails
    int blockReads = 0;

  private:
    ndb::Bid next_ = 0;
    bool final_ = false;
    std::filesystem::path path_ = "fake.pst";
};

// The heap on `pages` and its BTHs as the verifier reads them; a missing item reads as empty.
class HeapReader {
  public:
    explicit HeapReader(std::vector<std::vector<std::uint8_t>> pages) {
        node_.blocks = std::move(pages);
        EXPECT_TRUE(heap_.Open(node_, report_));
    }
    std::uint32_t UserRoot() const { return heap_.UserRoot(); }
    std::vector<std::uint8_t> Item(std::uint32_t hid) const {
        const auto item = heap_.Item(hid);
        return item ? std::vector<std::uint8_t>(item->begin(), item->end())
                    : std::vector<std::uint8_t>{};
    }
    // Every record (key + data) of the BTH whose header is item `header`, in key order.
    std::vector<std::vector<std::uint8_t>> BthRecords(std::uint32_t header) {
        verify::BthRecords bth;
        EXPECT_TRUE(verify::ReadBth(heap_, header, 0, 0, node_, report_, bth));
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& r : bth.records) out.emplace_back(r.begin(), r.end());
        return out;
    }

  private:
    verify::NodeView node_;
    verify::Heap heap_;
    verify::Report report_;
};

}  // namespace tarvelle::pst::testing
