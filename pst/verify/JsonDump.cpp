#include "pst/verify/JsonDump.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "pst/verify/Ltp.h"
#include "pst/verify/Verifier.h"

namespace tarvelle::pst::verify {

namespace {

using ndb::GetU16;
using ndb::GetU32;
using ndb::GetU64;

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(2 * bytes.size());
    for (const std::uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

std::string NidText(Nid nid) { return JsonString(Hex(nid)); }

const char* TypeName(std::uint16_t type) {
    switch (type) {
        case 0x0001:
            return "Null";
        case 0x0002:
            return "Int16";
        case 0x0003:
            return "Int32";
        case 0x0004:
            return "Float32";
        case 0x0005:
            return "Float64";
        case 0x0006:
            return "Currency";
        case 0x0007:
            return "FloatingTime";
        case 0x000A:
            return "ErrorCode";
        case 0x000B:
            return "Boolean";
        case 0x000D:
            return "Object";
        case 0x0014:
            return "Int64";
        case 0x001E:
            return "String8";
        case 0x001F:
            return "String";
        case 0x0040:
            return "Time";
        case 0x0048:
            return "Guid";
        case 0x00FB:
            return "ServerId";
        case 0x00FD:
            return "Restriction";
        case 0x00FE:
            return "RuleAction";
        case 0x0102:
            return "Binary";
        case 0x1002:
            return "MultipleInt16";
        case 0x1003:
            return "MultipleInt32";
        case 0x1004:
            return "MultipleFloat32";
        case 0x1005:
            return "MultipleFloat64";
        case 0x1006:
            return "MultipleCurrency";
        case 0x1007:
            return "MultipleFloatingTime";
        case 0x1014:
            return "MultipleInt64";
        case 0x101E:
            return "MultipleString8";
        case 0x101F:
            return "MultipleString";
        case 0x1040:
            return "MultipleTime";
        case 0x1048:
            return "MultipleGuid";
        case 0x1102:
            return "MultipleBinary";
        default:
            return "Unknown";
    }
}

std::string Number(double v) {
    if (!std::isfinite(v))
        return JsonString(std::isnan(v) ? "NaN" : v > 0 ? "Infinity" : "-Infinity");
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// A FILETIME (100 ns since 1601) as UTC date and time.
std::string TimeText(std::uint64_t ticks) {
    const std::uint64_t seconds = ticks / 10000000;
    const std::uint64_t fraction = ticks % 10000000;
    // Days since 1970-01-01 (134774 days after 1601-01-01), then the civil date.
    const std::int64_t z = static_cast<std::int64_t>(seconds / 86400) - 134774 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    const std::uint64_t inDay = seconds % 86400;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02llu:%02llu:%02llu.%07lluZ",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<unsigned long long>(inDay / 3600),
                  static_cast<unsigned long long>(inDay / 60 % 60),
                  static_cast<unsigned long long>(inDay % 60),
                  static_cast<unsigned long long>(fraction));
    return buf;
}

// One value of a fixed-size type.
std::string FixedValue(std::uint16_t type, std::span<const std::uint8_t> v) {
    switch (type) {
        case 0x0002:
            return std::to_string(static_cast<std::int16_t>(GetU16(v.data())));
        case 0x0003:
        case 0x000A:
            return std::to_string(static_cast<std::int32_t>(GetU32(v.data())));
        case 0x0004: {
            float f = 0;
            std::memcpy(&f, v.data(), 4);
            return Number(f);
        }
        case 0x0005:
        case 0x0007: {
            double d = 0;
            std::memcpy(&d, v.data(), 8);
            return Number(d);
        }
        case 0x0006:
        case 0x0014:
            return std::to_string(static_cast<std::int64_t>(GetU64(v.data())));
        case 0x000B:
            return v[0] != 0 ? "true" : "false";
        case 0x0040:
            return JsonString(TimeText(GetU64(v.data())));
        case 0x0048: {
            Guid g{};
            std::copy_n(v.begin(), 16, g.begin());
            return JsonString(GuidText(g));
        }
        default:
            return JsonString(HexBytes(v));
    }
}

std::string VariableValue(std::uint16_t type, std::span<const std::uint8_t> v) {
    if (type == 0x001F) return JsonString(Utf16ToUtf8(v));
    if (type == 0x001E) return JsonString(Latin1ToUtf8(v));
    return JsonString(HexBytes(v));
}

std::string ValueText(std::uint16_t type, std::span<const std::uint8_t> v) {
    if (IsMultiValuedType(type)) {
        const auto element = static_cast<std::uint16_t>(type & 0x0FFF);
        const int size = FixedTypeSize(element);
        std::string s = "[";
        if (size > 0) {
            for (std::size_t at = 0; at + size <= v.size(); at += static_cast<std::size_t>(size))
                s += (at ? "," : "") + FixedValue(element, v.subspan(at, size));
            return s + "]";
        }
        const std::size_t count = v.size() >= 4 ? GetU32(v.data()) : 0;
        if (count > (v.size() - 4) / 4) return JsonString(HexBytes(v));
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t begin = GetU32(v.data() + 4 + 4 * i);
            const std::size_t end = i + 1 < count ? GetU32(v.data() + 8 + 4 * i) : v.size();
            if (begin > end || end > v.size()) return JsonString(HexBytes(v));
            s += (i ? "," : "") + VariableValue(element, v.subspan(begin, end - begin));
        }
        return s + "]";
    }
    const int size = FixedTypeSize(type);
    if (size > 0 && v.size() == static_cast<std::size_t>(size)) return FixedValue(type, v);
    return VariableValue(type, v);
}

std::string PropertiesText(const std::vector<Property>& props) {
    std::string s = "[";
    for (std::size_t i = 0; i < props.size(); ++i) {
        const Property& p = props[i];
        const std::string tag = TagText(p.tag);
        s += i ? ",\n      " : "\n      ";
        s += "{\"tag\": " + JsonString(tag) + ", \"type\": " + JsonString(TypeName(p.Type()));
        if (p.name) {
            s += ", \"set\": " + JsonString(GuidText(p.name->guid));
            s += p.name->lid ? ", \"lid\": " + JsonString(Hex(*p.name->lid))
                             : ", \"name\": " + JsonString(p.name->name);
        }
        s += ", \"value\": " + ValueText(p.Type(), p.value) + "}";
    }
    return s + "]";
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string s = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                s += "\\\"";
                break;
            case '\\':
                s += "\\\\";
                break;
            case '\n':
                s += "\\n";
                break;
            case '\r':
                s += "\\r";
                break;
            case '\t':
                s += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                    s += buf;
                } else {
                    s += c;
                }
        }
    }
    return s + "\"";
}

void JsonDump::Section(int section) {
    while (section_ < section) {
        switch (++section_) {
            case 0:
                out_ << "{\"store\": ";
                break;
            case 1:
                if (!storeWritten_) out_ << "null";
                out_ << ",\n\"folders\": [";
                break;
            case 2:
                out_ << "],\n\"items\": [";
                break;
            default:
                out_ << "],\n\"summary\": ";
                break;
        }
        firstInSection_ = true;
    }
}

void JsonDump::OnStore(const std::string& displayName, const Bytes& recordKey) {
    Section(0);
    out_ << "{\"displayName\": " << JsonString(displayName)
         << ", \"recordKey\": " << JsonString(HexBytes(recordKey)) << "}";
    storeWritten_ = true;
}

void JsonDump::OnFolder(const Folder& f) {
    Section(1);
    out_ << (firstInSection_ ? "\n  " : ",\n  ") << "{\"nid\": " << NidText(f.nid)
         << ", \"parent\": " << NidText(f.parent)
         << ", \"search\": " << (f.search ? "true" : "false")
         << ", \"name\": " << JsonString(f.name)
         << ", \"containerClass\": " << JsonString(f.containerClass)
         << ", \"contentCount\": " << f.contentCount
         << ",\n    \"properties\": " << PropertiesText(f.properties) << "}";
    firstInSection_ = false;
}

void JsonDump::OnItem(const Item& item) {
    Section(2);
    out_ << (firstInSection_ ? "\n  " : ",\n  ") << "{\"nid\": " << NidText(item.nid)
         << ", \"folder\": " << NidText(item.folder)
         << ", \"associated\": " << (item.associated ? "true" : "false")
         << ", \"class\": " << JsonString(item.messageClass)
         << ",\n    \"properties\": " << PropertiesText(item.properties);
    if (!item.members.empty()) {
        out_ << ",\n    \"members\": [";
        for (std::size_t i = 0; i < item.members.size(); ++i) {
            const ListMember& m = item.members[i];
            const char* kind = m.kind == ListMember::Kind::OneOff      ? "one-off"
                               : m.kind == ListMember::Kind::StoreItem ? "item"
                                                                       : "other";
            out_ << (i ? ",\n      " : "\n      ") << "{\"kind\": \"" << kind << "\"";
            if (m.kind == ListMember::Kind::StoreItem) out_ << ", \"item\": " << NidText(m.item);
            out_ << ", \"displayName\": " << JsonString(m.displayName)
                 << ", \"addressType\": " << JsonString(m.addressType)
                 << ", \"address\": " << JsonString(m.address)
                 << ", \"entryId\": " << JsonString(HexBytes(m.entryId)) << "}";
        }
        out_ << "]";
    }
    out_ << "}";
    firstInSection_ = false;
}

void JsonDump::Finish(const Report& report) {
    Section(3);
    const Counts& c = report.counts;
    out_ << "{\"folders\": " << c.folders << ", \"contacts\": " << c.contacts
         << ", \"lists\": " << c.lists << ", \"members\": " << c.members
         << ", \"errors\": " << report.Errors() << ", \"warnings\": " << report.Warnings()
         << "}}\n";
}

}  // namespace tarvelle::pst::verify
