#include "pst/messaging/NameMap.h"

#include <algorithm>
#include <map>
#include <string>

#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::messaging {

namespace {
constexpr std::uint32_t kBuckets = 251;

// PSETID_Address, PSETID_Common, PSETID_Task, PS_INTERNET_HEADERS in wire order (GUID fields
// little-endian): wGuid 3 to 6.
constexpr std::uint8_t kGuids[4][16] = {
    {0x04, 0x20, 0x06, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
    {0x08, 0x20, 0x06, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
    {0x03, 0x20, 0x06, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
    {0x86, 0x03, 0x02, 0x00, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46},
};

void AppendNameId(ltp::Bytes& out, std::uint32_t key, std::uint16_t guidIndex, bool isString,
                  std::size_t index) {
    // NAMEID: dwPropertyID, then N (bit 0: a string name) | wGuid << 1, then wPropIdx.
    ltp::AppendU32(out, key);
    ltp::AppendU16(out, static_cast<std::uint16_t>(guidIndex << 1 | (isString ? 1 : 0)));
    ltp::AppendU16(out, static_cast<std::uint16_t>(index));
}
}  // namespace

NameMap NameMap::Standard() {
    using enum PropSet;
    NameMap map({
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
    // The item keywords (categories) and the content class: two of the string names Outlook
    // registers in every store it creates ([MS-OXPROPS] PidNameKeywords, PidNameContentClass).
    map.strings_ = {{StringSet::PublicStrings, "Keywords"},
                    {StringSet::InternetHeaders, "content-class"}};
    return map;
}

NameMap::NameMap(std::vector<NamedProperty> names, std::vector<StringName> strings)
    : names_(std::move(names)), strings_(std::move(strings)) {
    if (names_.size() + strings_.size() > 0x7FFF) throw ltp::LtpError("name map: too many names");
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

std::uint32_t NameMap::Bucket(std::uint32_t key, std::uint16_t guidIndex, bool isString) {
    return (key ^ (static_cast<std::uint32_t>(guidIndex) << 1 | (isString ? 1 : 0))) % kBuckets;
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
        const std::uint16_t guidIndex = GuidIndex(names_[i].set);
        AppendNameId(entries, names_[i].lid, guidIndex, false, i);
        AppendNameId(buckets[Bucket(names_[i].lid, guidIndex)], names_[i].lid, guidIndex, false, i);
    }
    // A string name's entry points at its text in the string stream (length in bytes, UTF-16LE,
    // each entry starting on a 4-byte boundary); its bucket copy holds the CRC of the text.
    ltp::Bytes strings;
    for (std::size_t k = 0; k < strings_.size(); ++k) {
        const std::size_t index = names_.size() + k;
        const auto guidIndex = static_cast<std::uint16_t>(strings_[k].set);
        const ltp::Bytes text = ltp::Utf8ToUtf16Le(strings_[k].name);
        const auto offset = static_cast<std::uint32_t>(strings.size());
        ltp::AppendU32(strings, static_cast<std::uint32_t>(text.size()));
        strings.insert(strings.end(), text.begin(), text.end());
        strings.resize((strings.size() + 3) / 4 * 4, 0);
        AppendNameId(entries, offset, guidIndex, true, index);
        const std::uint32_t crc = ndb::Crc(text);
        AppendNameId(buckets[Bucket(crc, guidIndex, true)], crc, guidIndex, true, index);
    }
    props[ltp::Tag(0x0003, ltp::kBinary)] = entries;
    props[ltp::Tag(0x0004, ltp::kBinary)] = strings;
    for (const auto& [b, bytes] : buckets) {
        props[ltp::Tag(static_cast<std::uint16_t>(0x1000 + b), ltp::kBinary)] = bytes;
    }
    return props;
}

}  // namespace tarvelle::pst::messaging
