#include "export/ItemRecords.h"

#include <stdexcept>

namespace tarvelle::exporter {

void ItemRecords::Clear() {
    std::string().swap(text_);
    std::vector<std::array<std::uint32_t, 3>>().swap(ends_);
}

void ItemRecords::Reserve(std::size_t items, std::size_t textBytes) {
    ends_.reserve(items);
    text_.reserve(textBytes);
}

void ItemRecords::Record(std::size_t itemNumber, std::string_view entryId,
                         std::string_view emailAddress, std::string_view emailDisplayName) {
    if (itemNumber < ends_.size()) throw std::logic_error("items were recorded out of order");
    if (text_.size() + entryId.size() + emailAddress.size() + emailDisplayName.size() >
        UINT32_MAX) {
        throw std::length_error("too much text for the item records");
    }
    const auto here = static_cast<std::uint32_t>(text_.size());
    ends_.resize(itemNumber, {here, here, here});
    std::array<std::uint32_t, 3> ends{};
    std::size_t k = 0;
    for (std::string_view part : {entryId, emailAddress, emailDisplayName}) {
        text_.append(part);
        ends[k++] = static_cast<std::uint32_t>(text_.size());
    }
    ends_.push_back(ends);
}

WrittenItem ItemRecords::At(std::size_t itemNumber) const {
    if (itemNumber >= ends_.size()) return {};
    const std::string_view text(text_);
    std::uint32_t begin = itemNumber == 0 ? 0 : ends_[itemNumber - 1][2];
    const auto& ends = ends_[itemNumber];
    WrittenItem item;
    item.entryId = text.substr(begin, ends[0] - begin);
    item.emailAddress = text.substr(ends[0], ends[1] - ends[0]);
    item.emailDisplayName = text.substr(ends[1], ends[2] - ends[1]);
    return item;
}

}  // namespace tarvelle::exporter
