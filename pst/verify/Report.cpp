#include "pst/verify/Report.h"

namespace tarvelle::pst::verify {

std::string Hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + digits;
}

std::string TagText(std::uint32_t tag) {
    const std::string digits = Hex(tag).substr(2);
    return "0x" + std::string(8 - digits.size(), '0') + digits;
}

std::string Location::ToString() const {
    switch (kind) {
        case Kind::File:
            return "file";
        case Kind::Header:
            return "header";
        case Kind::Nid:
            return "NID " + Hex(value);
        case Kind::Bid:
            return "BID " + Hex(value);
        case Kind::Offset:
            return "offset " + Hex(value);
    }
    return {};
}

std::string Finding::ToString() const {
    return std::string(severity == Severity::Error ? "error: " : "warning: ") +
           location.ToString() + ": " + message;
}

void Report::Add(Severity severity, Location location, std::string message) {
    (severity == Severity::Error ? errors_ : warnings_)++;
    if (findings_.size() < kMaxKept) findings_.push_back({severity, location, std::move(message)});
}

std::string Report::Summary(const std::string& name) const {
    // Always the plural: scripts read the figures with one pattern.
    return name + ": " + std::to_string(counts.folders) + " folders, " +
           std::to_string(counts.contacts) + " contacts, " + std::to_string(counts.lists) +
           " lists, " + std::to_string(counts.members) + " members, " + std::to_string(errors_) +
           " errors, " + std::to_string(warnings_) + " warnings";
}

}  // namespace tarvelle::pst::verify
