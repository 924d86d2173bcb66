#include "export/ItemRecords.h"

#include <stdexcept>

namespace tarvelle::exporter {

namespace {
// An entry ID is stored after a mark: the rest after the shared prefix, or all of it.
constexpr char kAfterPrefix = '+';
constexpr char kWhole = '=';
// Entry IDs of a .pst store: 4 flag bytes and the 16-byte record key, then the NID.
constexpr std::size_t kPrefixDigits = 40;
}  // namespace

void ItemRecords::Clear() {
    std::string().swap(prefix_);
    std::string().swap(text_);
    std::vector<std::array<std::uint32_t, 3>>().swap(ends_);
    textAhead_ = {};
    endsAhead_ = {};
}

void ItemRecords::Reserve(std::size_t items, std::size_t textBytes) {
    ends_.reserve(items);
    text_.reserve(textBytes);
}

void ItemRecords::Record(std::size_t itemNumber, std::string_view entryId,
                         std::string_view emailAddress, std::string_view emailDisplayName) {
    if (itemNumber < ends_.size()) throw std::logic_error("items were recorded out of order");
    if (text_.size() + 1 + entryId.size() + emailAddress.size() + emailDisplayName.size() >
        UINT32_MAX) {
        throw std::length_error("too much text for the item records");
    }
    const auto here = static_cast<std::uint32_t>(text_.size());
    ends_.resize(itemNumber, {here, here, here});
    if (prefix_.empty() && entryId.size() > kPrefixDigits)
        prefix_ = std::string(entryId.substr(0, kPrefixDigits));
    if (!entryId.empty()) {
        const bool shared = !prefix_.empty() && entryId.starts_with(prefix_);
        text_ += shared ? kAfterPrefix : kWhole;
        text_.append(shared ? entryId.substr(prefix_.size()) : entryId);
    }
    std::array<std::uint32_t, 3> ends{};
    ends[0] = static_cast<std::uint32_t>(text_.size());
    text_.append(emailAddress);
    ends[1] = static_cast<std::uint32_t>(text_.size());
    text_.append(emailDisplayName);
    ends[2] = static_cast<std::uint32_t>(text_.size());
    ends_.push_back(ends);
    textAhead_.Use(text_);
    endsAhead_.Use(ends_);
}

bool ItemRecords::Written(std::size_t itemNumber) const {
    if (itemNumber >= ends_.size()) return false;
    const std::uint32_t begin = itemNumber == 0 ? 0 : ends_[itemNumber - 1][2];
    return ends_[itemNumber][0] > begin;
}

WrittenItem ItemRecords::At(std::size_t itemNumber) const {
    if (itemNumber >= ends_.size()) return {};
    const std::string_view text(text_);
    std::uint32_t begin = itemNumber == 0 ? 0 : ends_[itemNumber - 1][2];
    const auto& ends = ends_[itemNumber];
    WrittenItem item;
    if (ends[0] > begin) {
        const std::string_view stored = text.substr(begin + 1, ends[0] - begin - 1);
        item.entryId =
            text[begin] == kAfterPrefix ? prefix_ + std::string(stored) : std::string(stored);
    }
    item.emailAddress = text.substr(ends[0], ends[1] - ends[0]);
    item.emailDisplayName = text.substr(ends[1], ends[2] - ends[1]);
    return item;
}

}  // namespace tarvelle::exporter
