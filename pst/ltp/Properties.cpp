#include "pst/ltp/Properties.h"

#include <bit>
#include <cstring>

namespace tarvelle::pst::ltp {

std::size_t FixedSize(std::uint16_t type) {
    switch (type) {
        case kBoolean:
            return 1;
        case kInt16:
            return 2;
        case kInt32:
        case kFloat32:
        case kErrorCode:
            return 4;
        case kFloat64:
        case kCurrency:
        case kInt64:
        case kTime:
            return 8;
        case kGuid:
            return 16;
        default:
            return 0;
    }
}

void CheckStorable(std::uint32_t tag, std::size_t size) {
    const std::uint16_t type = TagType(tag);
    const std::size_t fixed = FixedSize(type);
    if (fixed != 0 ? size != fixed : size == 0 && type != kString && type != kString8) {
        throw LtpError("property 0x" + std::to_string(tag) +
                       (fixed != 0 ? ": value of the wrong size" : ": empty value"));
    }
}

// Values are sized once: byte-by-byte appends would reallocate for every few bytes, on every
// property of every item.
Bytes Int32Value(std::int32_t v) {
    Bytes b(4);
    PutU32(b.data(), static_cast<std::uint32_t>(v));
    return b;
}

Bytes Int64Value(std::int64_t v) {
    Bytes b(8);
    PutU64(b.data(), static_cast<std::uint64_t>(v));
    return b;
}

Bytes BoolValue(bool v) { return Bytes{static_cast<std::uint8_t>(v ? 1 : 0)}; }

Bytes DoubleValue(double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return Int64Value(static_cast<std::int64_t>(bits));
}

Bytes TimeValue(std::uint64_t filetime) { return Int64Value(static_cast<std::int64_t>(filetime)); }

namespace {

[[noreturn]] void NotUtf8() { throw LtpError("text is not valid UTF-8"); }

// Decodes the multi-byte sequence at s[i] (s[i] >= 0x80); advances i past it.
std::uint32_t DecodeSequence(std::string_view s, std::size_t& i) {
    const auto c0 = static_cast<std::uint8_t>(s[i]);
    std::uint32_t cp = 0;
    int extra = 0;
    if ((c0 & 0xE0) == 0xC0) {
        cp = c0 & 0x1F;
        extra = 1;
    } else if ((c0 & 0xF0) == 0xE0) {
        cp = c0 & 0x0F;
        extra = 2;
    } else if ((c0 & 0xF8) == 0xF0) {
        cp = c0 & 0x07;
        extra = 3;
    } else {
        NotUtf8();
    }
    if (i + static_cast<std::size_t>(extra) >= s.size()) NotUtf8();
    for (int k = 1; k <= extra; ++k) {
        const auto c = static_cast<std::uint8_t>(s[i + static_cast<std::size_t>(k)]);
        if ((c & 0xC0) != 0x80) NotUtf8();
        cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) NotUtf8();
    i += static_cast<std::size_t>(extra) + 1;
    return cp;
}

}  // namespace

// Writes UTF-16LE for `s` to `out` (room for 2 * s.size() bytes), returns the bytes written.
// Every item's every text passes through here: the output is sized once (never more UTF-16 units
// than UTF-8 bytes) and ASCII, nearly all of an address book, takes the short path.
std::size_t EncodeUtf16Le(std::string_view s, std::uint8_t* out) {
    std::uint8_t* p = out;
    std::size_t i = 0;
    while (i < s.size()) {
        if constexpr (std::endian::native == std::endian::little) {
            // Eight ASCII bytes at once: each becomes itself and a zero byte.
            std::uint64_t word = 0;
            if (i + 8 <= s.size() &&
                (std::memcpy(&word, s.data() + i, 8), (word & 0x8080808080808080ULL) == 0)) {
                auto spread = [](std::uint64_t half) {
                    half = (half | (half << 16)) & 0x0000FFFF0000FFFFULL;
                    return (half | (half << 8)) & 0x00FF00FF00FF00FFULL;
                };
                const std::uint64_t low = spread(word & 0xFFFFFFFFULL);
                const std::uint64_t high = spread(word >> 32);
                std::memcpy(p, &low, 8);
                std::memcpy(p + 8, &high, 8);
                p += 16;
                i += 8;
                continue;
            }
        }
        const auto c0 = static_cast<std::uint8_t>(s[i]);
        if (c0 < 0x80) {
            p[0] = c0;
            p[1] = 0;
            p += 2;
            ++i;
            continue;
        }
        std::uint32_t cp = DecodeSequence(s, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            PutU16(p, static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
            PutU16(p + 2, static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
            p += 4;
        } else {
            PutU16(p, static_cast<std::uint16_t>(cp));
            p += 2;
        }
    }
    return static_cast<std::size_t>(p - out);
}

Bytes Utf8ToUtf16Le(std::string_view s) {
    Bytes out(2 * s.size());
    out.resize(EncodeUtf16Le(s, out.data()));
    return out;
}

void CheckUtf8(std::string_view s) {
    std::size_t i = 0;
    // ASCII, eight bytes at a time, until the first byte that is not.
    while (i + 8 <= s.size()) {
        std::uint64_t word = 0;
        std::memcpy(&word, s.data() + i, 8);
        if ((word & 0x8080808080808080ULL) != 0) break;
        i += 8;
    }
    while (i < s.size()) {
        if (static_cast<std::uint8_t>(s[i]) < 0x80) {
            ++i;
        } else {
            DecodeSequence(s, i);
        }
    }
}

Bytes StringValue(std::string_view utf8) { return Utf8ToUtf16Le(utf8); }

void PropertyBag::Place(std::uint32_t tag, std::uint32_t offset, std::uint32_t size) {
    const Entry entry{tag, offset, size};
    // Properties are mostly added in ascending order: check the end first.
    if (entries_.empty() || entries_.back().tag < tag) {
        entries_.push_back(entry);
        return;
    }
    auto it = LowerBound(entries_, tag);
    if (it != entries_.end() && it->tag == tag) {
        *it = entry;
    } else {
        entries_.insert(it, entry);
    }
}

std::size_t PropertyBag::Grow(std::size_t size) {
    const std::size_t offset = bytes_.size();
    if (offset + size > UINT32_MAX) throw LtpError("property values too large");
    bytes_.Extend(size);
    return offset;
}

std::uint8_t* PropertyBag::Room(std::uint32_t tag, std::size_t size) {
    if (!entries_.empty() && entries_.back().tag >= tag) {
        auto it = LowerBound(entries_, tag);
        if (it != entries_.end() && it->tag == tag && size <= it->size) {
            // A value replaced by one no longer (a folder's count): in place.
            it->size = static_cast<std::uint32_t>(size);
            return bytes_.data() + it->offset;
        }
    }
    const std::size_t offset = Grow(size);
    Place(tag, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(size));
    return bytes_.data() + offset;
}

void PropertyBag::SetInt32(std::uint32_t tag, std::int32_t v) {
    PutU32(Room(tag, 4), static_cast<std::uint32_t>(v));
}

void PropertyBag::SetInt64(std::uint32_t tag, std::int64_t v) {
    PutU64(Room(tag, 8), static_cast<std::uint64_t>(v));
}

void PropertyBag::SetCopyOf(std::uint32_t tag, std::uint32_t from) {
    auto it = Find(from);
    if (it == entries_.end()) throw std::out_of_range("no such property");
    const std::uint32_t from_offset = it->offset;
    const std::uint32_t size = it->size;
    const std::size_t offset = Grow(size);  // may move the buffer: copy by offset afterwards
    if (size != 0) std::memcpy(bytes_.data() + offset, bytes_.data() + from_offset, size);
    Place(tag, static_cast<std::uint32_t>(offset), size);
}

void PropertyBag::SetString(std::uint32_t tag, std::string_view utf8) {
    // Encoded at the end of the buffer first (at most two bytes per UTF-8 byte), so text that is
    // not valid UTF-8 leaves the bag as it was.
    const std::size_t offset = Grow(2 * utf8.size());
    std::size_t used = 0;
    try {
        used = EncodeUtf16Le(utf8, bytes_.data() + offset);
    } catch (...) {
        bytes_.Truncate(offset);
        throw;
    }
    bytes_.Truncate(offset + used);
    Place(tag, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(used));
}

Bytes MvInt32Value(std::span<const std::int32_t> values) {
    Bytes b(4 * values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        PutU32(b.data() + 4 * i, static_cast<std::uint32_t>(values[i]));
    return b;
}

// [MS-PST] 2.3.3.4.2: count, one offset per value (from the start of the blob), then the data.
Bytes MvBinaryValue(std::span<const std::uint8_t> data, std::span<const std::uint32_t> ends) {
    const std::size_t used = ends.empty() ? 0 : ends.back();
    if (used > data.size()) throw LtpError("multi-valued binary: values past their data");
    const std::size_t header = 4 + 4 * ends.size();
    Bytes b(header + used);
    PutU32(b.data(), static_cast<std::uint32_t>(ends.size()));
    for (std::size_t i = 0; i < ends.size(); ++i)
        PutU32(b.data() + 4 + 4 * i,
               static_cast<std::uint32_t>(header + (i == 0 ? 0 : ends[i - 1])));
    if (used > 0) std::memcpy(b.data() + header, data.data(), used);
    return b;
}

}  // namespace tarvelle::pst::ltp
