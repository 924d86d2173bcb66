// An in-memory node database for the LTP and messaging unit tests: it keeps every block, tree and
// node as handed in (no encoding), counts the writes, and reads node data back.
#pragma once

#include <map>
#include <stdexcept>
#include <vector>

#include "pst/ndb/Format.h"
#include "pst/ndb/NodeDatabase.h"

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
        ++blockWrites;
        const ndb::Bid bid = next_ += 4;
        blocks[bid].assign(payload.begin(), payload.end());
        return bid;
    }
    ndb::Bid WriteData(std::span<const std::uint8_t> bytes) override {
        std::vector<ndb::Bid> children;
        for (std::size_t off = 0; off < bytes.size() || children.empty();
             off += ndb::kMaxBlockPayload) {
            const std::size_t n = std::min(ndb::kMaxBlockPayload, bytes.size() - off);
            children.push_back(WriteDataBlock(bytes.subspan(off, n)));
            if (n == 0) break;
        }
        return children.size() == 1 ? children[0] : WriteDataTree(children);
    }
    ndb::Bid WriteDataTree(std::span<const ndb::Bid> children) override {
        if (children.size() == 1) return children[0];
        for (std::size_t i = 0; i + 1 < children.size(); ++i) {
            if (blocks.at(children[i]).size() != ndb::kMaxBlockPayload) {
                throw ndb::NdbError("data tree child shorter than 8176 bytes");
            }
        }
        const ndb::Bid bid = (next_ += 4) | 2;
        trees[bid].assign(children.begin(), children.end());
        return bid;
    }
    ndb::Bid WriteSubnodeTree(std::span<const ndb::SubnodeEntry> entries) override {
        const ndb::Bid bid = (next_ += 4) | 2;
        subtrees[bid].assign(entries.begin(), entries.end());
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
        auto it = counters.find(type);
        return it == counters.end() ? 0 : it->second;
    }
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
        for (const auto& e : subtrees.at(sub)) {
            if (e.nid == nid) return Data(e.data);
        }
        throw std::runtime_error("no such subnode");
    }

    std::map<ndb::Bid, std::vector<std::uint8_t>> blocks;
    std::map<ndb::Bid, std::vector<ndb::Bid>> trees;
    std::map<ndb::Bid, std::vector<ndb::SubnodeEntry>> subtrees;
    std::map<ndb::Nid, Node> nodes;
    std::map<std::uint8_t, std::uint32_t> counters;
    int blockWrites = 0;
    int blockReads = 0;

  private:
    ndb::Bid next_ = 0;
    std::filesystem::path path_ = "fake.pst";
};

// A minimal reader of the heap, BTH and TC structures the writer produced.
class HeapReader {
  public:
    explicit HeapReader(std::vector<std::vector<std::uint8_t>> pages) : pages_(std::move(pages)) {}
    std::vector<std::uint8_t> Item(std::uint32_t hid) const {
        const auto& p = pages_.at(hid >> 16);
        const std::size_t idx = (hid >> 5) & 0x7FF;
        const std::size_t map = ndb::GetU16(p.data());
        const std::size_t begin = ndb::GetU16(p.data() + map + 4 + 2 * (idx - 1));
        const std::size_t end = ndb::GetU16(p.data() + map + 4 + 2 * idx);
        return {p.begin() + static_cast<long>(begin), p.begin() + static_cast<long>(end)};
    }
    // Every record (key + data) of the BTH whose header is at `header`, in order.
    std::vector<std::vector<std::uint8_t>> BthRecords(std::uint32_t header) const {
        const auto h = Item(header);
        std::vector<std::vector<std::uint8_t>> out;
        if (ndb::GetU32(h.data() + 4) != 0) Walk(ndb::GetU32(h.data() + 4), h[3], h[1], h[2], out);
        return out;
    }

  private:
    void Walk(std::uint32_t hid, int level, int cbKey, int cbEnt,
              std::vector<std::vector<std::uint8_t>>& out) const {
        const auto item = Item(hid);
        const std::size_t rec = static_cast<std::size_t>(cbKey + (level > 0 ? 4 : cbEnt));
        for (std::size_t off = 0; off + rec <= item.size(); off += rec) {
            if (level > 0) {
                Walk(ndb::GetU32(item.data() + off + cbKey), level - 1, cbKey, cbEnt, out);
            } else {
                out.emplace_back(item.begin() + static_cast<long>(off),
                                 item.begin() + static_cast<long>(off + rec));
            }
        }
    }
    std::vector<std::vector<std::uint8_t>> pages_;
};

}  // namespace tarvelle::pst::testing
