// Property tags, types and values as the lists-tables-properties layer stores them
// ([MS-PST] 2.3, [MS-OXCDATA] 2.11.1). A value is kept in its on-disk little-endian encoding.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelle::pst::ltp {

// Any failure of this layer (a value too large for its slot, a malformed layout request).
class LtpError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

using Bytes = std::vector<std::uint8_t>;
using Hid = std::uint32_t;

enum PropType : std::uint16_t {
    kInt16 = 0x0002,
    kInt32 = 0x0003,
    kFloat32 = 0x0004,
    kFloat64 = 0x0005,
    kCurrency = 0x0006,
    kErrorCode = 0x000A,
    kBoolean = 0x000B,
    kInt64 = 0x0014,
    kString = 0x001F,
    kTime = 0x0040,
    kGuid = 0x0048,
    kBinary = 0x0102,
    kMvInt32 = 0x1003,
    kMvString = 0x101F,
    kMvBinary = 0x1102,
};

constexpr std::uint32_t Tag(std::uint16_t id, std::uint16_t type) {
    return (static_cast<std::uint32_t>(id) << 16) | type;
}
constexpr std::uint16_t TagId(std::uint32_t tag) { return static_cast<std::uint16_t>(tag >> 16); }
constexpr std::uint16_t TagType(std::uint32_t tag) { return static_cast<std::uint16_t>(tag); }

// Size of a fixed-length value, 0 for variable-length types.
std::size_t FixedSize(std::uint16_t type);

// Properties of one object, ordered by tag (so by property ID, as a PC's BTH wants them).
// A sorted vector: an item has a few dozen properties, built once and read in order.
class PropertyBag {
  public:
    using value_type = std::pair<std::uint32_t, Bytes>;
    using iterator = std::vector<value_type>::iterator;
    using const_iterator = std::vector<value_type>::const_iterator;

    PropertyBag() { items_.reserve(48); }

    Bytes& operator[](std::uint32_t tag) {
        auto it = LowerBound(tag);
        if (it == items_.end() || it->first != tag) it = items_.insert(it, {tag, Bytes{}});
        return it->second;
    }
    const Bytes& at(std::uint32_t tag) const {
        auto it = find(tag);
        if (it == items_.end()) throw std::out_of_range("no such property");
        return it->second;
    }
    const_iterator find(std::uint32_t tag) const {
        auto it =
            std::lower_bound(items_.begin(), items_.end(), tag,
                             [](const value_type& v, std::uint32_t t) { return v.first < t; });
        return it != items_.end() && it->first == tag ? it : items_.end();
    }
    std::size_t count(std::uint32_t tag) const { return find(tag) == items_.end() ? 0 : 1; }
    std::size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

  private:
    iterator LowerBound(std::uint32_t tag) {
        // Properties are mostly added in ascending order: check the end first.
        if (items_.empty() || items_.back().first < tag) return items_.end();
        return std::lower_bound(items_.begin(), items_.end(), tag,
                                [](const value_type& v, std::uint32_t t) { return v.first < t; });
    }
    std::vector<value_type> items_;
};

// --- value encoders
Bytes Int32Value(std::int32_t v);
Bytes Int64Value(std::int64_t v);
Bytes BoolValue(bool v);
Bytes DoubleValue(double v);
Bytes TimeValue(std::uint64_t filetime);
// UTF-8 in, UTF-16LE out (no terminator). Invalid UTF-8 is an error, not a silent substitute.
Bytes StringValue(std::string_view utf8);
Bytes MvInt32Value(std::span<const std::int32_t> values);
Bytes MvBinaryValue(std::span<const Bytes> values);

// UTF-8 -> UTF-16LE bytes; characters outside the BMP become surrogate pairs.
Bytes Utf8ToUtf16Le(std::string_view utf8);
// Throws LtpError, as Utf8ToUtf16Le would, when the text is not valid UTF-8.
void CheckUtf8(std::string_view utf8);

// Little-endian helpers.
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void PutU64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void AppendU16(Bytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void AppendU32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void AppendU64(Bytes& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace tarvelle::pst::ltp
