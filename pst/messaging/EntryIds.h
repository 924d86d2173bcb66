// Entry IDs of PST objects and address-book entries, and the distribution-list checksum.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "pst/ltp/Properties.h"

namespace tarvelle::pst::messaging {

using ltp::Bytes;
using RecordKey = std::array<std::uint8_t, 16>;

// [MS-PST] 2.4.3.2: flags 0, the store's record key, the NID.
Bytes PstEntryId(const RecordKey& store, std::uint32_t nid);

// [MS-OXCDATA] 2.2.5.1: a one-off entry ID with Unicode strings and no rich-text preference.
Bytes OneOffEntryId(std::string_view displayName, std::string_view addressType,
                    std::string_view address);
void AppendOneOffEntryId(Bytes& out, std::string_view displayName, std::string_view addressType,
                         std::string_view address);

// [MS-OXOCNTC] 2.2.2.2.4.1.1: an entry ID wrapped with the contact provider's UID and a type byte.
inline constexpr std::uint8_t kWrappedContactEmail1 = 0xC3;  // bit 7 | Email1 (4) << 4 | contact
inline constexpr std::uint8_t kWrappedDistList = 0xB4;       // bit 7 | 3 << 4 | personal list
void AppendWrappedEntryId(Bytes& out, std::uint8_t type, std::span<const std::uint8_t> inner);

// [MS-OXPROPS] 2.95: the CRC of the member entry IDs one after another (the PST's CRC variant).
std::uint32_t DistListChecksum(std::span<const std::uint8_t> concatenated);

// Hex text (upper case) and back; FromHex throws ltp::LtpError on anything but pairs of hex digits.
std::string ToHex(std::span<const std::uint8_t> bytes);
Bytes FromHex(std::string_view hex);

}  // namespace tarvelle::pst::messaging
