#include "pst/messaging/EntryIds.h"

#include "pst/ndb/NodeDatabase.h"

namespace tarvelle::pst::messaging {

namespace {
// MAPI's one-off provider UID, {A41F2B81-A3BE-1910-9D6E-00DD010F5402} in wire order.
constexpr std::uint8_t kOneOffUid[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                         0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
// The contact address-book provider's UID used by wrapped entry IDs.
constexpr std::uint8_t kWrapUid[16] = {0xC0, 0x91, 0xAD, 0xD3, 0x51, 0x9D, 0xCF, 0x11,
                                       0xA4, 0xA9, 0x00, 0xAA, 0x00, 0x47, 0xFA, 0xA4};

// UTF-16LE with its terminator, encoded in place (members of long lists make many of these).
void AppendZ(Bytes& out, std::string_view utf8) {
    const std::size_t at = out.size();
    out.resize(at + 2 * utf8.size() + 2);
    const std::size_t used = ltp::EncodeUtf16Le(utf8, out.data() + at);
    out.resize(at + used + 2);
    out[at + used] = 0;
    out[at + used + 1] = 0;
}
}  // namespace

Bytes PstEntryId(const RecordKey& store, std::uint32_t nid) {
    Bytes out;
    out.reserve(24);
    ltp::AppendU32(out, 0);
    out.insert(out.end(), store.begin(), store.end());
    ltp::AppendU32(out, nid);
    return out;
}

Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType,
                    std::string_view address) {
    Bytes out;
    out.reserve(24 + 2 * (displayName.size() + addressType.size() + address.size() + 3));
    AppendOneOffEntryId(out, displayName, addressType, address);
    return out;
}

void AppendOneOffEntryId(Bytes& out, std::string_view displayName, std::string_view addressType,
                         std::string_view address) {
    ltp::AppendU32(out, 0);
    out.insert(out.end(), std::begin(kOneOffUid), std::end(kOneOffUid));
    ltp::AppendU16(out, 0);       // version
    ltp::AppendU16(out, 0x8001);  // MAPI_UNICODE | MAPI_SEND_NO_RICH_INFO
    AppendZ(out, displayName);
    AppendZ(out, addressType);
    AppendZ(out, address);
}

void AppendWrappedEntryId(Bytes& out, std::uint8_t type, std::span<const std::uint8_t> inner) {
    ltp::AppendU32(out, 0);
    out.insert(out.end(), std::begin(kWrapUid), std::end(kWrapUid));
    out.push_back(type);
    out.insert(out.end(), inner.begin(), inner.end());
}

std::uint32_t DistListChecksum(std::span<const std::uint8_t> concatenated) {
    return ndb::Crc(concatenated, 0);
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(bytes.size() * 2, '\0');
    char* p = out.data();
    for (auto b : bytes) {
        *p++ = kDigits[b >> 4];
        *p++ = kDigits[b & 15];
    }
    return out;
}

Bytes FromHex(std::string_view hex) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        throw ltp::LtpError("entry ID is not hex text");
    };
    if (hex.size() % 2 != 0) throw ltp::LtpError("entry ID is not hex text");
    Bytes out(hex.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<std::uint8_t>(digit(hex[2 * i]) * 16 + digit(hex[2 * i + 1]));
    }
    return out;
}

}  // namespace tarvelle::pst::messaging
