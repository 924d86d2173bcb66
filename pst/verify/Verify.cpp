#include "pst/verify/Verify.h"

#include <algorithm>

#include "pst/verify/Verifier.h"

namespace tarvelle::pst::verify {

std::string GuidText(const Guid& g) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s = "{";
    auto put = [&](std::uint8_t b) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    };
    for (int i = 3; i >= 0; --i) put(g[i]);
    s += '-';
    put(g[5]);
    put(g[4]);
    s += '-';
    put(g[7]);
    put(g[6]);
    s += '-';
    put(g[8]);
    put(g[9]);
    s += '-';
    for (int i = 10; i < 16; ++i) put(g[i]);
    return s + "}";
}

std::string Property::Text() const {
    if (Type() == 0x001F) return Utf16ToUtf8(value);
    if (Type() == 0x001E) return Latin1ToUtf8(value);
    return {};
}

std::int64_t Property::Integer() const {
    std::uint64_t x = 0;
    for (std::size_t i = std::min<std::size_t>(value.size(), 8); i-- > 0;) x = (x << 8) | value[i];
    switch (Type()) {
        case 0x0002:
            return static_cast<std::int16_t>(x);
        case 0x0003:
        case 0x000A:
            return static_cast<std::int32_t>(x);
        case 0x000B:
            return x != 0;
        case 0x0006:
        case 0x0014:
        case 0x0040:
            return static_cast<std::int64_t>(x);
        default:
            return 0;
    }
}

const Property* Item::Find(std::uint32_t tag) const {
    for (const Property& p : properties)
        if (p.tag == tag) return &p;
    return nullptr;
}

const Property* Item::FindNamed(std::string_view set, std::uint32_t lid) const {
    for (const Property& p : properties)
        if (p.name && p.name->lid == lid && GuidText(p.name->guid) == set) return &p;
    return nullptr;
}

void Verifier::Run() {
    checked_.assign(reader_.Nodes().size(), 0);
    CheckBlocks();
    CheckNodeTrees();
    CheckReferenceCounts();
    CheckNidsAndCounters();
    CheckAllocation();
    if (reader_.Header().cryptMethod > 2) {
        CheckMandatoryNodes();
        return;  // the data cannot be decoded: no property or table can be read
    }
    CheckNameMap();
    CheckStoreObject();
    CheckFolders();
    CheckItems();
    CheckMemberTargets();
    CheckOtherNodes();
    CheckMandatoryNodes();
}

Report Verify(std::unique_ptr<FileImage> image, ContentSink* sink) {
    Report report;
    try {
        const PstReader reader(std::move(image), &report);
        Verifier(reader, report, sink).Run();
    } catch (const NotUnicodeError&) {
        throw;
    } catch (const ReadError& e) {
        // No PST at all (too short, no magic): the one finding there is.
        report.Error(Location::Header(), e.what());
    }
    return report;
}

Report Verify(const std::filesystem::path& path, ContentSink* sink) {
    return Verify(FileImage::Open(path), sink);
}

namespace {

class Collector final : public ContentSink {
  public:
    explicit Collector(StoreContents& out) : out_(out) {}
    void OnStore(const std::string& displayName, const Bytes& recordKey) override {
        out_.displayName = displayName;
        out_.recordKey = recordKey;
    }
    void OnFolder(const Folder& folder) override { out_.folders.push_back(folder); }
    void OnItem(const Item& item) override { out_.items.push_back(item); }

  private:
    StoreContents& out_;
};

}  // namespace

StoreContents ReadStore(const std::filesystem::path& path) {
    StoreContents contents;
    Collector collector(contents);
    contents.report = Verify(path, &collector);
    return contents;
}

const Folder* StoreContents::FindFolder(Nid nid) const {
    for (const Folder& f : folders)
        if (f.nid == nid) return &f;
    return nullptr;
}

const Folder* StoreContents::FindFolder(std::string_view name) const {
    for (const Folder& f : folders)
        if (f.name == name) return &f;
    return nullptr;
}

const Item* StoreContents::FindItem(Nid nid) const {
    auto it = std::lower_bound(items.begin(), items.end(), nid,
                               [](const Item& i, Nid k) { return i.nid < k; });
    return it != items.end() && it->nid == nid ? &*it : nullptr;
}

std::vector<const Item*> StoreContents::ItemsIn(Nid folder) const {
    std::vector<const Item*> out;
    for (const Item& i : items)
        if (i.folder == folder) out.push_back(&i);
    return out;
}

}  // namespace tarvelle::pst::verify
