// The verifier's passes over one file (internal to pst/verify): the node database first
// (NdbChecks.cpp), then the LTP and messaging layers (StoreChecks.cpp).
#pragma once

#include <memory>
#include <unordered_map>
#include <vector>

#include "pst/verify/Ltp.h"
#include "pst/verify/Verify.h"

namespace tarvelle::pst::verify {

class Verifier {
  public:
    Verifier(const PstReader& reader, Report& report, ContentSink* sink)
        : reader_(reader), report_(report), sink_(sink) {}
    void Run();

  private:
    // --- node database
    void CheckNidsAndCounters();
    void CheckBlocks();
    void CheckNodeTrees();
    void CheckReferenceCounts();
    void CheckAllocation();
    // Checks a data tree below `bid`; returns its size in bytes.
    std::uint64_t CheckDataTree(Bid bid, Nid owner);
    void CheckSubnodeTree(Bid bid, Nid owner, int depth);
    const BlockRef* Reference(Bid bid, Nid owner, const char* what);

    // --- LTP and messaging
    struct FolderInfo {
        bool search = false;
        std::int64_t contentCount = -1;
        bool subfolders = false;
    };
    void CheckNameMap();
    void CheckStoreObject();
    void CheckFolders();
    void CheckItems();
    void CheckItem(const NodeRef& node);
    void CheckDistList(const NodeRef& node, const std::vector<PropertyValue>& props, Item* item);
    void CheckItemSubnodes(const NodeRef& node);
    void CheckOtherNodes();
    void CheckMandatoryNodes();
    void CheckMemberTargets();
    // The property's name for an ID of 0x8000 and up (nullptr when the map has none).
    const PropertyName* NameOf(std::uint16_t id) const;
    // The property ID of a named property, 0 when the map does not have it.
    std::uint16_t IdOf(const Guid& set, std::uint32_t lid) const;
    std::vector<Property> ToProperties(const std::vector<PropertyValue>& values) const;
    // Reads node `node` as a property context into props_ (false on failure, with findings).
    bool LoadPc(const NodeRef& node);
    void MarkChecked(Nid nid);

    const PstReader& reader_;
    Report& report_;
    ContentSink* sink_;

    // Per BBT entry (same order as reader_.Blocks()).
    std::vector<std::uint32_t> references_;
    std::vector<std::uint8_t> visited_;  // internal block already checked
    std::vector<std::uint64_t> treeSize_;

    // Name map: index = property ID - 0x8000.
    std::vector<std::optional<PropertyName>> names_;
    Bytes recordKey_;
    std::unordered_map<Nid, FolderInfo> folders_;
    std::unordered_map<Nid, std::uint8_t> itemKinds_;  // 1 contact, 2 list, 0 other
    struct MemberRef {
        Nid list = 0;
        Nid item = 0;
        std::uint8_t wrappedType = 0;
    };
    std::vector<MemberRef> memberRefs_;
    // Contents tables, kept until their items are read: each row repeats some of its item's
    // properties, and readers take the row for the item.
    struct ContentsTable {
        NodeView view;
        Table table;
        std::unordered_map<Nid, std::size_t> rows;
        std::size_t disagreeing = 0;
        std::string first;
    };
    std::unordered_map<Nid, std::unique_ptr<ContentsTable>> contents_;
    void CompareWithRow(const NodeRef& node);
    std::vector<std::uint8_t> checked_;  // per NBT entry: LTP already looked at
    std::size_t unnamed_ = 0;            // named-property IDs without a name
    std::string firstUnnamed_;

    // Scratch reused from node to node.
    NodeView view_;
    std::vector<PropertyValue> props_;
    ValueStore store_;
};

// Little helpers shared by the passes.
std::string Utf16ToUtf8(std::span<const std::uint8_t> utf16);
std::string Latin1ToUtf8(std::span<const std::uint8_t> bytes);
const PropertyValue* FindValue(const std::vector<PropertyValue>& props, std::uint32_t tag);

}  // namespace tarvelle::pst::verify
