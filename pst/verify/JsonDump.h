// The store's contents as JSON, written while Verify reads them (nothing is held in memory):
//
// {"store": {"displayName": "...", "recordKey": "HEX"},
//  "folders": [{"nid": "0x122", "parent": "0x122", "search": false, "name": "...",
//               "containerClass": "...", "contentCount": 0, "properties": [PROPERTY...]}],
//  "items": [{"nid": "0x200024", "folder": "0x8062", "associated": false,
//             "class": "IPM.Contact", "properties": [PROPERTY...],
//             "members": [{"kind": "one-off" | "item" | "other", "item": "0x200044",
//                          "displayName": "...", "addressType": "SMTP", "address": "...",
//                          "entryId": "HEX"}]}],
//  "summary": {"folders": 7, "contacts": 1, "lists": 0, "members": 0, "errors": 0,
//              "warnings": 0}}
//
// PROPERTY: {"tag": "0x3001001F", "type": "String", "value": ...} plus, for named properties,
// "set": "{GUID}" and "lid": "0x8005" or "name": "...". Values: numbers for integers, floats and
// error codes, true/false, strings for text, "YYYY-MM-DDThh:mm:ss.fffffffZ" for times, "{GUID}"
// for GUIDs, upper-case hex for binary, arrays for multi-valued properties. Objects come in
// ascending NID order, properties in ascending tag order: the same file gives the same text.
#pragma once

#include <ostream>

#include "pst/verify/Verify.h"

namespace tarvelle::pst::verify {

class JsonDump final : public ContentSink {
  public:
    explicit JsonDump(std::ostream& out) : out_(out) {}
    void OnStore(const std::string& displayName, const Bytes& recordKey) override;
    void OnFolder(const Folder& folder) override;
    void OnItem(const Item& item) override;
    // Closes the document with the report's figures.
    void Finish(const Report& report);

  private:
    void Section(int section);  // 0 store, 1 folders, 2 items, 3 summary

    std::ostream& out_;
    int section_ = -1;
    bool firstInSection_ = true;
    bool storeWritten_ = false;
};

// `text` (UTF-8) as a JSON string literal.
std::string JsonString(std::string_view text);

}  // namespace tarvelle::pst::verify
