// What later list members need of the items an export has written, by item number: the entry ID,
// and for a contact the two parts of its Email1 one-off counterpart (address, display name), so a
// member naming the contact never maps the contact's note again. Texts are kept end to end in
// one buffer: 200,000 items cost three numbers each, not three allocations. Entry IDs of one
// store differ only in their last digits (the item's NID): the part they share is kept once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eudora/PopulateAhead.h"

namespace tarvelle::exporter {

struct WrittenItem {
    std::string entryId;  // empty: the item was not written
    std::string_view emailAddress;
    std::string_view emailDisplayName;
};

class ItemRecords {
  public:
    void Clear();
    // Room for `items` records holding about `textBytes` in all (a hint).
    void Reserve(std::size_t items, std::size_t textBytes);
    // Items are recorded in ascending item-number order; those skipped get an empty record.
    // Throws std::logic_error when an item comes out of order.
    void Record(std::size_t itemNumber, std::string_view entryId,
                std::string_view emailAddress = {}, std::string_view emailDisplayName = {});
    // The record of an item; an empty one for an item not (yet) written.
    WrittenItem At(std::size_t itemNumber) const;
    // Whether the item was written (At would give its entry ID), without building its record.
    bool Written(std::size_t itemNumber) const;

  private:
    std::string prefix_;  // the start of the first entry ID, shared by those of its store
    std::string text_;    // per record: a mark, the entry ID (or its end), the e-mail parts
    // Where each record's three texts end in text_.
    std::vector<std::array<std::uint32_t, 3>> ends_;
    eudora::PopulateAhead textAhead_;
    eudora::PopulateAhead endsAhead_;
};

}  // namespace tarvelle::exporter
