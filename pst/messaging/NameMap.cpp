#include "pst/messaging/NameMap.h"

#include <algorithm>
#include <map>
#include <string>

namespace tarvelle::pst::messaging {

namespace {
constexpr std::uint32_t kBuckets = 251;

// PSETID_Address, PSETID_Common, PSETID_Task in wire order (GUID fields little-endian).
constexpr std::uint8_t kGuids[3][16] = {
    {0x04, 0x20, 0x06, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
    {0x08, 0x20, 0x06, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
    {0x03, 0x20, 0x06, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
};
}  // namespace

NameMap NameMap::Standard() {
    using enum PropSet;
    return NameMap({
        // contact and list fields ([MS-OXOCNTC])
        {Address, 0x8005},
        {Address, 0x8006},
        {Address, 0x8026},
        {Address, 0x8027},
        {Address, 0x8028},
        {Address, 0x8029},
        {Address, 0x8023},
        {Address, 0x8025},
        {Address, 0x8080},
        {Address, 0x8082},
        {Address, 0x8083},
        {Address, 0x8084},
        {Address, 0x8085},
        {Address, 0x804C},
        {Address, 0x8053},
        {Address, 0x8054},
        {Address, 0x8055},
        {Address, 0x8064},
        // postal addresses and further e-mail addresses of a contact ([MS-OXOCNTC] 2.2.1.2,
        // 2.2.1.3)
        {Address, 0x801A},
        {Address, 0x801B},
        {Address, 0x8022},
        {Address, 0x8045},
        {Address, 0x8046},
        {Address, 0x8047},
        {Address, 0x8048},
        {Address, 0x8049},
        {Address, 0x8090},
        {Address, 0x8092},
        {Address, 0x8093},
        {Address, 0x8094},
        {Address, 0x8095},
        {Address, 0x80A0},
        {Address, 0x80A2},
        {Address, 0x80A3},
        {Address, 0x80A4},
        {Address, 0x80A5},
        // common item properties ([MS-OXCMSG], [MS-OXPROPS])
        {Common, 0x8552},
        {Common, 0x8554},
        {Common, 0x8506},
        {Common, 0x850E},
        {Common, 0x8510},
        {Common, 0x8518},
        {Common, 0x85BF},
        {Common, 0x85BD},
        // task defaults Outlook stores on a list ([MS-OXOTASK])
        {Task, 0x8102},
        {Task, 0x812A},
        {Task, 0x8110},
        {Task, 0x811C},
        {Task, 0x8111},
        {Task, 0x812C},
        {Task, 0x8126},
        {Task, 0x8124},
        {Task, 0x8123},
        {Task, 0x8129},
        {Task, 0x8113},
        {Task, 0x8101},
        {Task, 0x8112},
        {Task, 0x8103},
    });
}

NameMap::NameMap(std::vector<NamedProperty> names) : names_(std::move(names)) {
    if (names_.size() > 0x7FFF) throw ltp::LtpError("name map: too many names");
    for (std::size_t i = 0; i < names_.size(); ++i) {
        ids_.push_back({Key(names_[i].set, names_[i].lid), static_cast<std::uint16_t>(0x8000 + i)});
    }
    std::sort(ids_.begin(), ids_.end());
    direct_.assign(3 * kDirectLids, 0);
    for (std::size_t i = 0; i < names_.size(); ++i) {
        const std::size_t slot = DirectSlot(names_[i].set, names_[i].lid);
        if (slot != kNoSlot && direct_[slot] == 0) {  // the first registration wins, as below
            direct_[slot] = static_cast<std::uint16_t>(0x8000 + i);
        }
    }
}

std::uint16_t NameMap::Id(PropSet set, std::uint32_t lid) const {
    // Every named property of every item is looked up here: the LIDs in use are mostly in
    // 0x8000-0x85FF and take a direct look-up, the rest a binary search.
    if (const std::size_t slot = DirectSlot(set, lid); slot != kNoSlot && direct_[slot] != 0) {
        return direct_[slot];
    }
    const std::uint64_t key = Key(set, lid);
    auto it =
        std::lower_bound(ids_.begin(), ids_.end(), std::pair<std::uint64_t, std::uint16_t>{key, 0});
    if (it != ids_.end() && it->first == key) return it->second;
    throw ltp::LtpError("name map: named property " + std::to_string(lid) + " not registered");
}

std::uint32_t NameMap::Bucket(std::uint32_t lid, std::uint16_t guidIndex) {
    return (lid ^ (static_cast<std::uint32_t>(guidIndex) << 1)) % kBuckets;
}

ltp::PropertyBag NameMap::Properties() const {
    ltp::PropertyBag props;
    props[ltp::Tag(0x0001, ltp::kInt32)] = ltp::Int32Value(kBuckets);
    ltp::Bytes guids;
    guids.reserve(sizeof kGuids);
    for (const auto& g : kGuids) guids.insert(guids.end(), std::begin(g), std::end(g));
    props[ltp::Tag(0x0002, ltp::kBinary)] = guids;
    ltp::Bytes entries;
    std::map<std::uint32_t, ltp::Bytes> buckets;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        // NAMEID: dwPropertyID, then N (bit 0, 0 = numeric) | wGuid << 1, then wPropIdx.
        ltp::Bytes rec;
        ltp::AppendU32(rec, names_[i].lid);
        const std::uint16_t guidIndex = GuidIndex(names_[i].set);
        ltp::AppendU16(rec, static_cast<std::uint16_t>(guidIndex << 1));
        ltp::AppendU16(rec, static_cast<std::uint16_t>(i));
        entries.insert(entries.end(), rec.begin(), rec.end());
        auto& bucket = buckets[Bucket(names_[i].lid, guidIndex)];
        bucket.insert(bucket.end(), rec.begin(), rec.end());
    }
    props[ltp::Tag(0x0003, ltp::kBinary)] = entries;
    props[ltp::Tag(0x0004, ltp::kBinary)] = {};  // no string names
    for (const auto& [b, bytes] : buckets) {
        props[ltp::Tag(static_cast<std::uint16_t>(0x1000 + b), ltp::kBinary)] = bytes;
    }
    return props;
}

}  // namespace tarvelle::pst::messaging
