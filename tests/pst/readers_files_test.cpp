// Files written through the messaging API, read back by our verifier and by libpff (pffinfo and
// pffexport), compared with what went in: accented names, a character outside the BMP, list
// members in both arrays and in the stream form, and no earlier versions left to recover.
// (tests/readers runs readpst and pst-extractor on whole exports.) Then the verifier against
// material from beside the checkout (../shared): Outlook's own files, and the variants the
// mutation tool makes of a file of ours, each changed in one place; skipped, with the reason,
// where that material is absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "pst/messaging/MessageStore.h"
#include "pst/verify/Verify.h"
#include "tests/support/Run.h"
#include "tests/support/TempDir.h"

namespace tarvelle::pst::verify {
namespace {

namespace fs = std::filesystem;
using fakes::Quote;
using fakes::RunCommand;
using messaging::DistListData;
using messaging::MessageStore;

std::string All(const Report& report) {
    std::string text;
    for (const Finding& f : report.Findings()) text += f.ToString() + "\n";
    return text;
}

std::string Named(const Item& item, std::uint32_t lid) {
    const Property* p = item.FindNamed(kPsetidAddress, lid);
    return p == nullptr ? "" : p->Text();
}

// The entries of a PtypMultipleBinary value as stored: a count, then (offset, size) pairs.
std::vector<Bytes> MultiBinary(const Bytes& value) {
    std::vector<Bytes> out;
    const auto u32 = [&](std::size_t at) { return ndb::GetU32(&value.at(at)); };
    const std::uint32_t count = u32(0);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t begin = u32(4 + 4 * i);
        const std::size_t end = i + 1 < count ? u32(8 + 4 * i) : value.size();
        out.emplace_back(value.begin() + begin, value.begin() + end);
    }
    return out;
}

class Readers : public ::testing::Test {
  protected:
    // What the verifier reads in the file, which must have no errors.
    static StoreContents Read(const fs::path& pst) {
        StoreContents store = ReadStore(pst);
        EXPECT_EQ(store.report.Errors(), 0u) << All(store.report);
        return store;
    }
    // Exported item folders per kind ("Contact", "DistributionList") under the Contacts folder.
    std::map<std::string, int> PffexportCounts(const fs::path& pst, std::string* text) {
        EXPECT_EQ(RunCommand("pffinfo " + Quote(pst)).status, 0);
        const fs::path out = dir_.path() / "pff";
        fs::remove_all(out.string() + ".export");
        const auto r =
            RunCommand("pffexport -m items -f text -q -t " + Quote(out) + " " + Quote(pst));
        EXPECT_EQ(r.status, 0) << r.out;
        std::map<std::string, int> counts;
        const fs::path contacts =
            fs::path(out.string() + ".export") / "Top of Outlook data file" / "Contacts";
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(contacts, ec)) {
            const std::string name = e.path().filename().string();
            ++counts[name.substr(0, name.find_first_of("0123456789"))];
        }
        if (text != nullptr) *text = fakes::ReadTree(contacts);
        return counts;
    }
    fakes::TempDir dir_{"tarvelle-readers-"};
};

TEST_F(Readers, AccentedNamesAndListsAreReadBackByEveryReader) {
    const fs::path pst = dir_.path() / "samples.pst";
    auto store = MessageStore::Create(pst, "Eudora Nicknames");
    const ndb::Nid folder = store->DefaultContactsFolder();
    struct Entry {
        std::string name, address, display;
    };
    // Names as they come out of Windows-1252 books (decoded to UTF-8), plus a character outside
    // the BMP and a name with a colon (no subject prefix may be split off).
    const std::vector<Entry> entries = {
        {"Jos\u00E9 N\u00FA\u00F1ez", "jose.nunez@example.es", ""},
        {"m\xC3\xBCller", "hans.mueller@example.de", ""},
        {"fran\xC3\xA7oise", "fb@example.fr", "Fran\xC3\xA7oise Br\xC3\xA9tigny"},
        {"jsmith", "john.smith@example.com", ""},
        {"Zo\xC3\xAB \xF0\x9F\x98\x80", "zoe@example.no", ""},
        {"IT: help \xE2\x82\xAC", "help@example.com", ""}};
    std::vector<ndb::Nid> nids;
    for (const auto& e : entries)
        nids.push_back(store->AddContact(folder, {e.name, e.address, e.display, ""}));
    const std::string oneOff = "Zo\u00EB \u00D8degaard";
    store->AddDistList(folder,
                       {"amigos",
                        "amigos",
                        {{entries[0].name, entries[0].address, "SMTP", store->EntryIdOf(nids[0])},
                         {oneOff, "zoe@example.no"}}});
    // More members than the arrays hold: the whole list goes to the stream.
    DistListData big{"everyone", "everyone", {}};
    big.members.push_back({entries[0].name, entries[0].address, "SMTP", store->EntryIdOf(nids[0])});
    for (int i = 1; i < 2000; ++i)
        big.members.push_back({"Member " + std::to_string(i) + " \xC3\xA9",
                               "member" + std::to_string(i) + "@example.org"});
    store->AddDistList(folder, big);
    store->Commit();

    // Every field as written.
    const auto contents = Read(pst);
    const auto items = contents.ItemsIn(contents.FindFolder("Contacts")->nid);
    ASSERT_EQ(items.size(), 8u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Item& item = *items[i];
        SCOPED_TRACE(entries[i].name);
        ASSERT_NE(item.Find(0x3001001F), nullptr);
        EXPECT_EQ(item.Find(0x3001001F)->Text(), entries[i].name);
        EXPECT_EQ(Named(item, 0x8083), entries[i].address);
        EXPECT_EQ(Named(item, 0x8080), entries[i].display.empty()
                                           ? entries[i].name + " (" + entries[i].address + ")"
                                           : entries[i].display);
    }
    const Item& list = *items[6];
    ASSERT_EQ(list.members.size(), 2u);
    EXPECT_EQ(list.members[0].item, nids[0]);
    EXPECT_EQ(list.members[0].entryId[20], 0xC3);  // a contact by its first address
    EXPECT_EQ(list.members[1].kind, ListMember::Kind::OneOff);
    EXPECT_EQ(list.members[1].displayName, oneOff);
    EXPECT_EQ(list.FindNamed(kPsetidAddress, 0x8064), nullptr);  // short lists need no stream
    // The verifier enforces the 15,000-byte limit of the arrays and their checksum; the members
    // it reads are the stream's, and the arrays hold a prefix of them in the same order.
    const Item& everyone = *items[7];
    ASSERT_NE(everyone.FindNamed(kPsetidAddress, 0x8064), nullptr);
    ASSERT_EQ(everyone.members.size(), 2000u);
    EXPECT_EQ(everyone.members[0].item, nids[0]);
    EXPECT_EQ(everyone.members[1999].displayName, "Member 1999 \xC3\xA9");
    EXPECT_EQ(everyone.members[1999].address, "member1999@example.org");
    const std::vector<Bytes> prefix =
        MultiBinary(everyone.FindNamed(kPsetidAddress, 0x8055)->value);
    EXPECT_GT(prefix.size(), 100u);
    EXPECT_LT(prefix.size(), 2000u);
    for (std::size_t i = 0; i < prefix.size(); ++i)
        ASSERT_EQ(prefix[i], everyone.members[i].entryId) << "member " << i;
    // The longest prefix under the limit, in both arrays alike.
    const std::vector<Bytes> oneOffPrefix =
        MultiBinary(everyone.FindNamed(kPsetidAddress, 0x8054)->value);
    ASSERT_EQ(oneOffPrefix.size(), prefix.size());
    std::size_t memberBytes = 0;
    std::size_t oneOffBytes = 0;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        memberBytes += prefix[i].size();
        oneOffBytes += oneOffPrefix[i].size();
    }
    EXPECT_LT(std::max(memberBytes, oneOffBytes), messaging::kMaxMemberArrayBytes);
    const auto& next = everyone.members[prefix.size()];  // a one-off: its entry ID is both
    EXPECT_GE(std::max(memberBytes, oneOffBytes) + next.entryId.size(),
              messaging::kMaxMemberArrayBytes);

    // libpff: items per kind, the subjects whole and the addresses.
    std::string exported;
    const auto counts = PffexportCounts(pst, &exported);
    EXPECT_EQ(counts.at("Contact"), 6);
    EXPECT_EQ(counts.at("DistributionList"), 2);
    EXPECT_NE(exported.find("IT: help \xE2\x82\xAC"), std::string::npos);
    for (const auto& e : entries)
        EXPECT_NE(exported.find(e.address), std::string::npos) << e.address;
}

TEST_F(Readers, NothingEarlierIsRecoverableFromFreeSpace) {
    // Folders rewritten at every commit and lists saved twice leave earlier versions of objects
    // in space the file no longer uses; recovery tools must find none of them.
    const fs::path pst = dir_.path() / "recover.pst";
    {
        auto store = MessageStore::Create(pst, "Recover");
        const ndb::Nid folder = store->DefaultContactsFolder();
        std::vector<std::pair<ndb::Nid, DistListData>> lists;
        for (int i = 0; i < 300; ++i) {
            const ndb::Nid contact = store->AddContact(
                folder,
                {"Person " + std::to_string(i), "p" + std::to_string(i) + "@x.org", "", ""});
            if (i % 6 == 5) {
                DistListData list{"List " + std::to_string(i), "", {}};
                list.members.push_back({"P", "p@x.org", "SMTP", store->EntryIdOf(contact)});
                lists.emplace_back(store->AddDistList(folder, list), list);
            }
            if (i % 40 == 39) store->Commit();
        }
        for (auto& [nid, list] : lists) {
            list.members.push_back({"Later", "later@x.org"});
            store->UpdateDistList(folder, nid, list);
        }
        store->Close();
    }
    Read(pst);
    const fs::path out = dir_.path() / "all";
    const auto r = RunCommand("pffexport -m all -q -t " + Quote(out) + " " + Quote(pst));
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string recovered = Quote(out.string() + ".recovered");
    EXPECT_EQ(RunCommand("find " + recovered + " -mindepth 1 2>/dev/null | head").out, "");
    EXPECT_EQ(PffexportCounts(pst, nullptr).at("DistributionList"), 50);
}

class SharedMaterial : public ::testing::Test {
  protected:
    void SetUp() override {
        TARVELLE_SKIP_WITHOUT_SHARED("tools/mutate.py");
        TARVELLE_SKIP_WITHOUT_SHARED("pst-reference");
    }
};

TEST_F(SharedMaterial, OutlookFilesHaveNoErrors) {
    for (const char* name : {"java-libpst_dist-list.pst", "outlook-pst-rs_Empty.pst",
                             "pst-extractor_contacts.pst", "pstsdk_test_unicode.pst"}) {
        const Report report = Verify(fakes::SharedDir() / "pst-reference" / name);
        EXPECT_EQ(report.Errors(), 0u) << name << "\n" << All(report);
    }
    EXPECT_THROW(
        Verify(fakes::SharedDir() / "pst-reference/pst-extractor_contacts97-2002_ANSI.pst"),
        NotUnicodeError);
}

TEST_F(SharedMaterial, MutationVariantsGiveTheFindingThatNamesTheDefect) {
    fakes::TempDir dir("tarvelle-mutants-");
    const fs::path ours = dir.path() / "ours.pst";
    {
        auto store = messaging::MessageStore::Create(ours, "Mutants");
        const Nid folder = store->DefaultContactsFolder();
        const Nid ann = store->AddContact(folder, {"Ann", "ann@example.org", "", ""});
        store->AddDistList(folder, {"pals",
                                    "",
                                    {{"Ann", "ann@example.org", "SMTP", store->EntryIdOf(ann)},
                                     {"Bo", "bo@example.org"}}});
        store->Close();
    }
    // The tool's dl_count variant cannot be made from our lists (its edit assumes Outlook's
    // layout and stops the tool): it is left out. block_data flips the 21st byte of the store
    // object's block, which in our layout is inside a binary value, not the heap's structure:
    // that variant is taken from an Outlook file.
    auto mutate = [&](const fs::path& source, const char* grow) {
        const std::string command =
            std::string(TARVELLE_PYTHON) + " -c " +
            Quote(
                "import sys; sys.path.insert(0, sys.argv[1]); import mutate; "
                "mutate.dl_count = lambda *a: None; "
                "mutate.main(sys.argv[2], sys.argv[3], sys.argv[4] == 'grow')") +
            " " + Quote((fakes::SharedDir() / "tools").string()) + " " + Quote(source.string()) +
            " " + Quote(dir.path().string()) + " " + grow;
        const auto run = fakes::RunCommand(command);
        ASSERT_EQ(run.status, 0) << command << "\n" << run.out;
    };
    mutate(ours, "grow");
    mutate(fakes::SharedDir() / "pst-reference/java-libpst_dist-list.pst", "no");

    // Variants whose defect verify_test.cpp also makes by hand are left to it.
    using Kind = Location::Kind;
    const struct {
        const char* variant;
        Severity severity;  // of the finding below; Warning with no word: no error at all
        Kind where;
        const char* word;
    } cases[] = {
        {"ours__nbt_page_sig", Severity::Error, Kind::Offset, "NBT page: signature"},
        {"java-libpst_dist-list__block_data", Severity::Error, Kind::Nid, ""},
        {"ours__grow_nofmap", Severity::Error, Kind::Offset, "FMap page missing"},
        {"ours__grow_fmap_crc", Severity::Error, Kind::Offset, "FMap page: CRC"},
        {"ours__tc_tcinfo_first", Severity::Error, Kind::Nid, "HID 0x20"},
        {"ours__hdr_crc_fixed", Severity::Warning, Kind::File, nullptr},
        {"ours__crypt_none", Severity::Warning, Kind::File, nullptr},
        {"ours__grow_fmap", Severity::Warning, Kind::File, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        const Report report = Verify(dir.path() / (std::string(c.variant) + ".pst"));
        EXPECT_EQ(report.Errors() > 0, c.severity == Severity::Error) << All(report);
        if (c.word == nullptr) continue;
        bool named = false;
        for (const Finding& f : report.Findings())
            named |= f.severity == c.severity && f.location.kind == c.where &&
                     f.message.find(c.word) != std::string::npos;
        EXPECT_TRUE(named) << All(report);
    }
}

}  // namespace
}  // namespace tarvelle::pst::verify
