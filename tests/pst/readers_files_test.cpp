// Files written through the messaging API, read back by the strict checker's own reader and by
// independent readers (libpff: pffexport and python3-pypff; libpst: readpst), compared with what
// went in: names and addresses of the sample books (accents, a character outside the BMP),
// list members in both arrays and in the stream form, and counts at 5,000 contacts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>

#include "pst/messaging/MessageStore.h"
#include "tests/pst/ltp_tools.h"

namespace tarvelle::pst::messaging {
namespace {

namespace fs = std::filesystem;
using testing::Pstwalk;
using testing::Quote;
using testing::Shell;

class Readers : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvelle-readers-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }
    static void ExpectValid(const fs::path& pst) {
        const auto r = Pstwalk("check", pst);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find(" 0 errors"), std::string::npos) << r.out;
    }
    // One JSON line per item, read with the checker's own reader.
    static std::vector<std::string> Items(const fs::path& pst) {
        const auto r =
            Shell(std::string(TARVELLE_PYTHON) + " " + TARVELLE_SOURCE_DIR +
                  "/tests/pst/ltp_read_items.py " + testing::ToolsDir() + " " + Quote(pst));
        EXPECT_EQ(r.status, 0) << r.out;
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < r.out.size()) {
            const auto end = r.out.find('\n', start);
            lines.push_back(r.out.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        return lines;
    }
    std::string Vcards(const fs::path& pst) {
        const fs::path out = dir_ / "readpst";
        fs::create_directories(out);
        const auto r = Shell("readpst -r -cv -8 -o " + Quote(out) + " " + Quote(pst));
        EXPECT_EQ(r.status, 0) << r.out;
        return testing::ReadTree(out);
    }
    // Exported item folders per kind ("Contact", "DistributionList") under the Contacts folder.
    std::map<std::string, int> PffexportCounts(const fs::path& pst, std::string* text) {
        const fs::path out = dir_ / "pff";
        const auto r = Shell("pffexport -m items -f text -q -t " + Quote(out) + " " + Quote(pst));
        EXPECT_EQ(r.status, 0) << r.out;
        std::map<std::string, int> counts;
        const fs::path contacts =
            fs::path(out.string() + ".export") / "Top of Outlook data file" / "Contacts";
        for (const auto& e : fs::directory_iterator(contacts)) {
            const std::string name = e.path().filename().string();
            ++counts[name.substr(0, name.find_first_of("0123456789"))];
        }
        if (text != nullptr) *text = testing::ReadTree(contacts);
        return counts;
    }
    fs::path dir_;
    std::error_code ec_;
};

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

TEST_F(Readers, SampleBookContentWithAccentsIsReadBackByEveryReader) {
    const fs::path pst = dir_ / "samples.pst";
    auto store = MessageStore::Create(pst, "Eudora Nicknames");
    const ndb::Nid folder = store->DefaultContactsFolder();
    struct Entry {
        std::string name, address, display;
    };
    // Names as they come out of the Windows-1252 sample books (decoded to UTF-8), plus a
    // character outside the BMP and a name with a colon (no subject prefix may be split off).
    const std::vector<Entry> entries = {
        {"Jos\xC3\xA9 N\xC3\xBA\xC3\xB1"
         "ez",
         "jose.nunez@example.es", ""},
        {"m\xC3\xBCller", "hans.mueller@example.de", ""},
        {"fran\xC3\xA7oise", "fb@example.fr", "Fran\xC3\xA7oise Br\xC3\xA9tigny"},
        {"jsmith", "john.smith@example.com", ""},
        {"Zo\xC3\xAB \xF0\x9F\x98\x80", "zoe@example.no", ""},
        {"IT: help \xE2\x82\xAC", "help@example.com", ""}};
    std::vector<ndb::Nid> nids;
    for (const auto& e : entries)
        nids.push_back(store->AddContact(folder, {e.name, e.address, e.display, ""}));
    DistListData amigos{"amigos", "amigos", {}};
    amigos.members.push_back(
        {entries[0].name, entries[0].address, "SMTP", store->EntryIdOf(nids[0])});
    amigos.members.push_back(
        {entries[1].name, entries[1].address, "SMTP", store->EntryIdOf(nids[1])});
    amigos.members.push_back(
        {"Zo\xC3\xAB \xC3\x98"
         "degaard",
         "zoe@example.no"});
    const ndb::Nid amigosNid = store->AddDistList(folder, amigos);
    DistListData family{
        "family",
        "family",
        {{"mom@example.net", "mom@example.net"}, {"dad@example.net", "dad@example.net"}}};
    store->AddDistList(folder, family);
    store->Commit();
    ExpectValid(pst);

    // The checker's reader: every field as written.
    const auto items = Items(pst);
    ASSERT_EQ(items.size(), 8u);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string display = entries[i].display.empty()
                                        ? entries[i].name + " (" + entries[i].address + ")"
                                        : entries[i].display;
        EXPECT_NE(items[i].find("\"class\": \"IPM.Contact\", \"name\": \"" + entries[i].name +
                                "\", \"email\": \"" + entries[i].address +
                                "\", \"emailDisplay\": \"" + display + "\""),
                  std::string::npos)
            << items[i];
    }
    EXPECT_NE(
        items[6].find("\"members\": [[null, \"wrapped 0xC3\", null, " + std::to_string(nids[0]) +
                      "], [null, \"wrapped 0xC3\", null, " + std::to_string(nids[1]) +
                      "], [\"Zo\xC3\xAB \xC3\x98"
                      "degaard\", " +
                      "\"SMTP\", \"zoe@example.no\", null]]"),
        std::string::npos)
        << items[6];
    EXPECT_EQ(items[6].find("stream"), std::string::npos);  // short lists need no stream
    EXPECT_NE(items[7].find("[\"dad@example.net\", \"SMTP\", \"dad@example.net\", null]"),
              std::string::npos)
        << items[7];

    // libpff through python3-pypff: folder, item count, classes and subjects without the marker.
    const auto tree = Shell("/usr/bin/python3 " + testing::ToolsDir() + "pypff_dump.py " +
                            Quote(pst) + " " + testing::Hex(amigosNid));
    EXPECT_EQ(tree.status, 0) << tree.out;
    EXPECT_NE(tree.out.find("'Contacts' (8 items)"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("class='IPM.Contact' subject='IT: help \xE2\x82\xAC'"),
              std::string::npos)
        << tree.out;
    EXPECT_NE(tree.out.find("class='IPM.DistList' subject='amigos'"), std::string::npos)
        << tree.out;

    // libpff through pffexport: items per kind, and the addresses.
    std::string exported;
    const auto counts = PffexportCounts(pst, &exported);
    EXPECT_EQ(counts.at("Contact"), 6);
    EXPECT_EQ(counts.at("DistributionList"), 2);
    for (const auto& e : entries)
        EXPECT_NE(exported.find(e.address), std::string::npos) << e.address;

    // libpst: one vCard per contact with the name and the address (lists are skipped).
    const std::string vcards = Vcards(pst);
    EXPECT_EQ(Count(vcards, "BEGIN:VCARD"), entries.size());
    for (const auto& e : entries) {
        EXPECT_NE(vcards.find("EMAIL:" + e.address), std::string::npos) << vcards;
        EXPECT_NE(vcards.find("FN:" + e.name), std::string::npos) << vcards;
    }
    store->Close();
}

TEST_F(Readers, TwoThousandMemberGroupIsStoredWholeInTheStream) {
    const fs::path pst = dir_ / "group.pst";
    auto store = MessageStore::Create(pst, "Groups");
    const ndb::Nid folder = store->DefaultContactsFolder();
    const ndb::Nid first = store->AddContact(folder, {"First", "first@example.com", "", ""});
    DistListData big{"everyone", "everyone", {}};
    big.members.push_back({"First", "first@example.com", "SMTP", store->EntryIdOf(first)});
    for (int i = 1; i < 2000; ++i) {
        big.members.push_back({"Member " + std::to_string(i) + " \xC3\xA9",
                               "member" + std::to_string(i) + "@example.org"});
    }
    store->AddDistList(folder, big);
    store->Close();
    ExpectValid(pst);  // the checker enforces the 15,000-byte limit and the checksum
    // libpff opens the file and lists both items (it does not decode members).
    const auto tree =
        Shell("/usr/bin/python3 " + testing::ToolsDir() + "pypff_dump.py " + Quote(pst));
    EXPECT_NE(tree.out.find("'Contacts' (2 items)"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("class='IPM.DistList' subject='everyone'"), std::string::npos)
        << tree.out;
    EXPECT_EQ(PffexportCounts(pst, nullptr).at("DistributionList"), 1);
    const auto items = Items(pst);
    ASSERT_EQ(items.size(), 2u);
    const std::string& list = items[1];
    const auto streamAt = list.find("\"stream\": ");
    ASSERT_NE(streamAt, std::string::npos) << list.substr(0, 400);
    const std::string stream = list.substr(streamAt);
    const std::string arrays = list.substr(0, streamAt);
    EXPECT_EQ(Count(stream, "], ["), 1999u);  // 2,000 members
    EXPECT_NE(stream.find("[null, \"wrapped 0xC3\", null, " + std::to_string(first) + "]"),
              std::string::npos);
    EXPECT_NE(stream.find("[\"Member 1999 \xC3\xA9\", \"SMTP\", \"member1999@example.org\", null]"),
              std::string::npos);
    // The arrays hold a prefix of the same members, in the same order.
    const std::size_t prefix = Count(arrays, "], [") + 1;
    EXPECT_GT(prefix, 100u);
    EXPECT_LT(prefix, 2000u);
    EXPECT_NE(arrays.find("[\"Member " + std::to_string(prefix - 1) + " \xC3\xA9\""),
              std::string::npos);
    EXPECT_EQ(arrays.find("[\"Member " + std::to_string(prefix) + " \xC3\xA9\""),
              std::string::npos);
}

TEST_F(Readers, FiveThousandContactsAreAllThere) {
    const fs::path pst = dir_ / "many.pst";
    {
        auto store = MessageStore::Create(pst, "Many");
        const ndb::Nid folder = store->DefaultContactsFolder();
        for (int i = 0; i < 5000; ++i) {
            store->AddContact(folder, {"Person " + std::to_string(i),
                                       "p" + std::to_string(i) + "@example.com", "", ""});
            if (i % 700 == 0) store->Commit();
        }
        store->Close();
    }
    ExpectValid(pst);
    const auto tree = Pstwalk("tree", pst);
    EXPECT_NE(tree.out.find("'Contacts' class='IPF.Contact' count=5000"), std::string::npos);
    EXPECT_EQ(Count(tree.out, "class='IPM.Contact'"), 5000u);
    const auto counts = PffexportCounts(pst, nullptr);
    EXPECT_EQ(counts.at("Contact"), 5000);
    const std::string vcards = Vcards(pst);
    EXPECT_EQ(Count(vcards, "BEGIN:VCARD"), 5000u);
    EXPECT_NE(vcards.find("EMAIL:p0@example.com"), std::string::npos);
    EXPECT_NE(vcards.find("EMAIL:p4999@example.com"), std::string::npos);
}

TEST_F(Readers, NothingEarlierIsRecoverableFromFreeSpace) {
    // Folders rewritten at every commit and lists saved twice leave earlier versions of objects
    // in space the file no longer uses; recovery tools must find none of them.
    const fs::path pst = dir_ / "recover.pst";
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
    ExpectValid(pst);
    const fs::path out = dir_ / "all";
    const auto r = Shell("pffexport -m all -q -t " + Quote(out) + " " + Quote(pst));
    EXPECT_EQ(r.status, 0) << r.out;
    const fs::path recovered = out.string() + ".recovered";
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(recovered, ec_))
        found.push_back(e.path().lexically_relative(recovered).string());
    EXPECT_TRUE(found.empty()) << "recovered: " << found.front() << " and " << found.size() - 1
                               << " more";
    EXPECT_EQ(PffexportCounts(pst, nullptr).at("DistributionList"), 50);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
