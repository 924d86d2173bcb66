// tarvelle-verify's checks as a library: Verify() reads a Unicode PST file as it is on disk and
// reports every defect it finds, from the header to the distribution-list members; ReadStore()
// also hands back what the file holds (folders, items, their properties and list members), for
// tests and for the JSON dump.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pst/verify/PstReader.h"
#include "pst/verify/Report.h"

namespace tarvelle::pst::verify {

using Guid = std::array<std::uint8_t, 16>;  // as stored (the first three fields little-endian)

// "{00062004-0000-0000-C000-000000000046}".
std::string GuidText(const Guid& guid);

// The property sets the contact and list properties live in ([MS-OXPROPS]).
inline constexpr const char* kPsetidAddress = "{00062004-0000-0000-C000-000000000046}";
inline constexpr const char* kPsetidCommon = "{00062008-0000-0000-C000-000000000046}";
inline constexpr const char* kPsetidTask = "{00062003-0000-0000-C000-000000000046}";

// The name of a named property, from the store's name-to-ID map ([MS-PST] 2.4.7).
struct PropertyName {
    Guid guid{};
    std::optional<std::uint32_t> lid;  // a numeric name
    std::string name;                  // a string name (UTF-8) when there is no LID
};

struct Property {
    std::uint32_t tag = 0;             // as stored: property ID << 16 | type
    Bytes value;                       // as stored: little-endian, strings UTF-16LE
    std::optional<PropertyName> name;  // for property IDs 0x8000 and up

    std::uint16_t Type() const { return static_cast<std::uint16_t>(tag); }
    std::uint16_t Id() const { return static_cast<std::uint16_t>(tag >> 16); }
    // A string value (Unicode or 8-bit) as UTF-8.
    std::string Text() const;
    // An integer, Boolean, time or error-code value as a number (0 for other types).
    std::int64_t Integer() const;
};

// One member of a distribution list.
struct ListMember {
    enum class Kind : std::uint8_t { OneOff, StoreItem, Other };
    Kind kind = Kind::Other;
    Nid item = 0;  // StoreItem: the contact or list of this store it names
    // From the one-off entry ID (for a store item: the one-off stored beside it).
    std::string displayName;
    std::string addressType;
    std::string address;
    Bytes entryId;
};

struct Item {
    Nid nid = 0;
    Nid folder = 0;
    bool associated = false;  // a folder-associated (hidden) message
    std::string messageClass;
    std::vector<Property> properties;  // ascending tags
    std::vector<ListMember> members;   // distribution lists only

    const Property* Find(std::uint32_t tag) const;
    // A named property by property set (GUID text) and LID, whatever its type.
    const Property* FindNamed(std::string_view set, std::uint32_t lid) const;
};

struct Folder {
    Nid nid = 0;
    Nid parent = 0;  // the root folder is its own parent
    bool search = false;
    std::string name;
    std::string containerClass;
    std::int64_t contentCount = 0;  // as the folder says
    std::vector<Property> properties;
};

// Receives the store's contents while Verify reads them: folders first, then items, each in
// ascending NID order.
class ContentSink {
  public:
    virtual ~ContentSink() = default;
    virtual void OnStore(const std::string& displayName, const Bytes& recordKey) = 0;
    virtual void OnFolder(const Folder& folder) = 0;
    virtual void OnItem(const Item& item) = 0;
};

// Every check on the file. Throws ReadError when the file cannot be read at all and
// NotUnicodeError when it is not a Unicode PST; anything else is a finding in the report.
Report Verify(const std::filesystem::path& path, ContentSink* sink = nullptr);
Report Verify(std::unique_ptr<FileImage> image, ContentSink* sink = nullptr);

struct StoreContents {
    std::string displayName;
    Bytes recordKey;
    std::vector<Folder> folders;
    std::vector<Item> items;
    Report report;

    const Folder* FindFolder(Nid nid) const;
    const Folder* FindFolder(std::string_view name) const;
    const Item* FindItem(Nid nid) const;
    std::vector<const Item*> ItemsIn(Nid folder) const;
};

// Verify, keeping what the file holds. Throws as Verify does.
StoreContents ReadStore(const std::filesystem::path& path);

}  // namespace tarvelle::pst::verify
