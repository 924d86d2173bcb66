// Property tags, types and values as the lists-tables-properties layer stores them
// ([MS-PST] 2.3, [MS-OXCDATA] 2.11.1). A value is kept in its on-disk little-endian encoding.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
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
    kString8 = 0x001E,
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

// Throws LtpError for a value that cannot be stored under `tag`: a fixed-length value of the
// wrong size, or an empty value of a variable-length type other than a string. Outlook stores an
// empty string as HNID 0 and never stores an empty binary or multi-valued property; readers take
// HNID 0 there for a reference to a subnode that is missing.
void CheckStorable(std::uint32_t tag, std::size_t size);

// Properties of one object, ordered by tag (so by property ID, as a PC's BTH wants them).
// Every item of an export builds one with a few dozen values: they are kept end to end in one
// buffer, in their on-disk encoding, so a bag costs two allocations rather than one per value.
class PropertyBag {
    struct Entry {
        std::uint32_t tag;
        std::uint32_t offset;
        std::uint32_t size;
    };

  public:
    using Value = std::span<const std::uint8_t>;
    using value_type = std::pair<std::uint32_t, Value>;

    class const_iterator {
      public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = PropertyBag::value_type;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = value_type;
        const_iterator() = default;
        value_type operator*() const { return {entry_->tag, bag_->ValueOf(*entry_)}; }
        const_iterator& operator++() {
            ++entry_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++entry_;
            return old;
        }
        friend bool operator==(const const_iterator&, const const_iterator&) = default;

      private:
        friend class PropertyBag;
        const_iterator(const PropertyBag* bag, const Entry* entry) : bag_(bag), entry_(entry) {}
        const PropertyBag* bag_ = nullptr;
        const Entry* entry_ = nullptr;
    };

    // `bag[tag] = bytes` sets a value (kept for readability where speed does not matter).
    class ValueRef {
      public:
        ValueRef& operator=(Value value) {
            bag_.Set(tag_, value);
            return *this;
        }
        ValueRef& operator=(const Bytes& value) { return *this = Value(value); }
        ValueRef& operator=(std::initializer_list<std::uint8_t> value) {
            return *this = Value(value.begin(), value.size());
        }

      private:
        friend class PropertyBag;
        ValueRef(PropertyBag& bag, std::uint32_t tag) : bag_(bag), tag_(tag) {}
        PropertyBag& bag_;
        std::uint32_t tag_;
    };

    PropertyBag() { entries_.reserve(48); }

    ValueRef operator[](std::uint32_t tag) { return ValueRef(*this, tag); }

    // Sets a value from its encoding; the Set* helpers encode it in place.
    void Set(std::uint32_t tag, Value value) {
        std::uint8_t* p = Room(tag, value.size());
        if (!value.empty()) std::memcpy(p, value.data(), value.size());
    }
    void SetInt32(std::uint32_t tag, std::int32_t v);
    void SetInt64(std::uint32_t tag, std::int64_t v);
    void SetBool(std::uint32_t tag, bool v) { *Room(tag, 1) = v ? 1 : 0; }
    void SetTime(std::uint32_t tag, std::uint64_t filetime) {
        SetInt64(tag, static_cast<std::int64_t>(filetime));
    }
    // UTF-8 in, UTF-16LE stored; throws LtpError for text that is not valid UTF-8.
    void SetString(std::uint32_t tag, std::string_view utf8);
    // The value of `from` (which must be set) under `tag` as well: repeated texts (an item's
    // title, an address) are encoded once.
    void SetCopyOf(std::uint32_t tag, std::uint32_t from);

    // A copy of the value of a tag; throws std::out_of_range when the bag has none.
    Bytes at(std::uint32_t tag) const {
        auto it = Find(tag);
        if (it == entries_.end()) throw std::out_of_range("no such property");
        const Value v = ValueOf(*it);
        return Bytes(v.begin(), v.end());
    }
    const_iterator find(std::uint32_t tag) const {
        auto it = Find(tag);
        return it == entries_.end() ? end() : const_iterator(this, &*it);
    }
    std::size_t count(std::uint32_t tag) const { return Find(tag) == entries_.end() ? 0 : 1; }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const_iterator begin() const { return const_iterator(this, entries_.data()); }
    const_iterator end() const { return const_iterator(this, entries_.data() + entries_.size()); }

  private:
    // The first entry of `entries` whose tag is not below `tag`.
    template <typename Entries>
    static auto LowerBound(Entries& entries, std::uint32_t tag) {
        return std::lower_bound(entries.begin(), entries.end(), tag,
                                [](const Entry& e, std::uint32_t t) { return e.tag < t; });
    }
    std::vector<Entry>::const_iterator Find(std::uint32_t tag) const {
        auto it = LowerBound(entries_, tag);
        return it != entries_.end() && it->tag == tag ? it : entries_.end();
    }
    Value ValueOf(const Entry& e) const { return Value(bytes_.data() + e.offset, e.size); }
    // Room for a value of `size` bytes under `tag` (a replaced value's old bytes stay unused).
    std::uint8_t* Room(std::uint32_t tag, std::size_t size);
    // `size` more bytes at the end of the buffer; returns where they start.
    std::size_t Grow(std::size_t size);
    // Points `tag` at bytes in the buffer, in tag order.
    void Place(std::uint32_t tag, std::uint32_t offset, std::uint32_t size);

    // The values end to end. They are written right after the buffer grows, so it is never
    // zero-filled (a vector's resize would visit every new byte).
    class Buffer {
      public:
        Buffer() = default;
        Buffer(const Buffer& other) { *this = other; }
        Buffer& operator=(const Buffer& other) {
            if (this != &other) {
                size_ = 0;
                Extend(other.size_);
                if (other.size_ != 0) std::memcpy(data_.get(), other.data_.get(), other.size_);
            }
            return *this;
        }
        Buffer(Buffer&& other) noexcept { *this = std::move(other); }
        Buffer& operator=(Buffer&& other) noexcept {
            data_ = std::move(other.data_);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
            return *this;
        }

        std::uint8_t* data() { return data_.get(); }
        const std::uint8_t* data() const { return data_.get(); }
        std::size_t size() const { return size_; }
        // `bytes` more at the end, their contents undefined until written.
        void Extend(std::size_t bytes) {
            const std::size_t size = size_ + bytes;
            if (size > capacity_) {
                const std::size_t capacity = std::max({size, 2 * capacity_, std::size_t{2048}});
                auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
                if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
                data_ = std::move(grown);
                capacity_ = capacity;
            }
            size_ = size;
        }
        void Truncate(std::size_t size) { size_ = std::min(size, size_); }

      private:
        std::unique_ptr<std::uint8_t[]> data_;
        std::size_t size_ = 0;
        std::size_t capacity_ = 0;
    };

    std::vector<Entry> entries_;
    Buffer bytes_;
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
// Values stored one after another in `data`, value i ending at ends[i].
Bytes MvBinaryValue(std::span<const std::uint8_t> data, std::span<const std::uint32_t> ends);

// UTF-8 -> UTF-16LE bytes; characters outside the BMP become surrogate pairs.
Bytes Utf8ToUtf16Le(std::string_view utf8);
// The same into out[0, 2 * utf8.size()); returns the number of bytes written.
std::size_t EncodeUtf16Le(std::string_view utf8, std::uint8_t* out);
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

}  // namespace tarvelle::pst::ltp
