// The name-to-ID map ([MS-PST] 2.4.7): named properties (property set + LID) and the property IDs
// (0x8000 + index) they have in this store. Every name the writer uses is registered when the
// store is created, so the map never changes afterwards. Like a store Outlook creates, the map
// also registers a few string-named properties, so its string stream is never empty (some
// readers take an empty one for a reference to a missing subnode and refuse the whole file).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pst/ltp/Properties.h"

namespace tarvelle::pst::messaging {

enum class PropSet : std::uint16_t { Address = 0, Common = 1, Task = 2 };

struct NamedProperty {
    PropSet set;
    std::uint32_t lid;
};

// Property sets of string-named properties: PS_PUBLIC_STRINGS (wGuid 2) and PS_INTERNET_HEADERS,
// which has no fixed wGuid and sits in the GUID stream after the numeric sets.
enum class StringSet : std::uint16_t { PublicStrings = 2, InternetHeaders = 6 };

struct StringName {
    StringSet set;
    std::string name;  // ASCII
};

class NameMap {
  public:
    // The map with every named property the contact and list writers use.
    static NameMap Standard();
    // String names get the IDs after the numeric ones.
    explicit NameMap(std::vector<NamedProperty> names, std::vector<StringName> strings = {});

    // Property ID of a registered name; throws ltp::LtpError for an unregistered one.
    std::uint16_t Id(PropSet set, std::uint32_t lid) const;
    std::uint32_t Tag(PropSet set, std::uint32_t lid, std::uint16_t type) const {
        return ltp::Tag(Id(set, lid), type);
    }
    // wGuid of a property set: 1 and 2 are PS_MAPI and PS_PUBLIC_STRINGS, 3+ the GUID stream.
    static std::uint16_t GuidIndex(PropSet set) { return static_cast<std::uint16_t>(set) + 3; }
    // Hash bucket of a name ([MS-PST] 2.4.7.5): `key` is the LID of a numeric name, the CRC of
    // the UTF-16LE text of a string name.
    static std::uint32_t Bucket(std::uint32_t key, std::uint16_t guidIndex, bool isString = false);

    // The properties of the map's node (NID 0x61).
    ltp::PropertyBag Properties() const;

  private:
    static constexpr std::size_t kDirectLids = 0x600;
    static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);
    static std::size_t DirectSlot(PropSet set, std::uint32_t lid) {
        const auto s = static_cast<std::size_t>(set);
        if (s >= 3 || lid < 0x8000 || lid >= 0x8000 + kDirectLids) return kNoSlot;
        return s * kDirectLids + (lid - 0x8000);
    }
    static std::uint64_t Key(PropSet set, std::uint32_t lid) {
        return (static_cast<std::uint64_t>(set) << 32) | lid;
    }
    std::vector<NamedProperty> names_;
    std::vector<StringName> strings_;
    std::vector<std::pair<std::uint64_t, std::uint16_t>> ids_;  // (set, LID) -> ID, sorted
    std::vector<std::uint16_t> direct_;                         // by DirectSlot: ID, or 0
};

}  // namespace tarvelle::pst::messaging
