// End to end: real .pst files written through the messaging API, read back by the strict checker
// and by independent readers (libpff's pffexport and python3-pypff, libpst's readpst).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "pst/messaging/MessageStore.h"
#include "tests/pst/ltp_tools.h"

namespace tarvelle::pst::messaging {
namespace {

namespace fs = std::filesystem;

using testing::CmdResult;
using testing::Shell;

std::string Tools() { return std::string(TARVELLE_SHARED_DIR) + "/tools/"; }

class PstFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvelle-ltp-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(dir_);
    }
    void ExpectCheckerPasses(const fs::path& pst) {
        const CmdResult r = Shell(std::string(TARVELLE_PYTHON) + " " + Tools() +
                                  "pstwalk.py check '" + pst.string() + "'");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("0 errors"), std::string::npos) << r.out;
    }
    // Every file readpst writes as a vCard, concatenated.
    std::string ReadpstVcards(const fs::path& pst) {
        const fs::path out = dir_ / "readpst";
        fs::create_directories(out);
        const CmdResult r =
            Shell("readpst -r -cv -8 -o '" + out.string() + "' '" + pst.string() + "'");
        EXPECT_EQ(r.status, 0) << r.out;
        std::string all;
        for (const auto& e : fs::recursive_directory_iterator(out)) {
            if (!e.is_regular_file()) continue;
            std::ifstream in(e.path(), std::ios::binary);
            std::stringstream ss;
            ss << in.rdbuf();
            all += ss.str();
        }
        return all;
    }
    std::string PypffDump(const fs::path& pst, const std::string& nids) {
        const CmdResult r =
            Shell("/usr/bin/python3 " + Tools() + "pypff_dump.py '" + pst.string() + "' " + nids);
        EXPECT_EQ(r.status, 0) << r.out;
        return r.out;
    }
    fs::path dir_;
};

TEST_F(PstFiles, NewStoreWithOneContactIsValidAndReadable) {
    const fs::path pst = dir_ / "one.pst";
    auto store = MessageStore::Create(pst, "Eudora Nicknames");
    const ndb::Nid contacts = store->DefaultContactsFolder();
    const ndb::Nid item = store->AddContact(contacts, {"Ann", "ann@example.org", "", ""});
    store->Commit();
    ExpectCheckerPasses(pst);
    const CmdResult tree = Shell(std::string(TARVELLE_PYTHON) + " " + Tools() +
                                 "pstwalk.py tree '" + pst.string() + "'");
    EXPECT_NE(tree.out.find("'Contacts' class='IPF.Contact' count=1"), std::string::npos)
        << tree.out;
    const CmdResult info = Shell("pffinfo '" + pst.string() + "'");
    EXPECT_EQ(info.status, 0) << info.out;
    const std::string dump = PypffDump(
        pst, "0x" + [&] {
            std::ostringstream s;
            s << std::hex << item;
            return s.str();
        }());
    EXPECT_NE(dump.find("Ann (ann@example.org)"), std::string::npos) << dump;
    const std::string vcards = ReadpstVcards(pst);
    EXPECT_NE(vcards.find("ann@example.org"), std::string::npos) << vcards;
    EXPECT_NE(vcards.find("Ann"), std::string::npos);
    store->Close();
    ExpectCheckerPasses(pst);
}

}  // namespace
}  // namespace tarvelle::pst::messaging
