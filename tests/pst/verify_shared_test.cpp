// The verifier against material from beside the checkout (../shared): Outlook's own files, and
// the variants the mutation tool makes of a file of ours, each changed in one place. Skipped, with
// the reason, where that material is absent.
#include <gtest/gtest.h>

#include "pst/messaging/MessageStore.h"
#include "pst/verify/Verify.h"
#include "tests/support/Run.h"
#include "tests/support/TempDir.h"

namespace tarvelle::pst::verify {
namespace {

namespace fs = std::filesystem;
using fakes::Quote;

std::string All(const Report& report) {
    std::string text;
    for (const Finding& f : report.Findings()) text += f.ToString() + "\n";
    return text;
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
