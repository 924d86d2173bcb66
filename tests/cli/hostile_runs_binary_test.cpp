// The built tools run from a shell: tarvelle-export under hostile conditions (bad arguments,
// folders it cannot use, disks that fill, parallel runs, closed or vanishing standard output, odd
// bytes, a book that changes while it is exported), in default mode through Eudora's registry
// entry in a Wine prefix of the test's own, and tarvelle-verify on whole and damaged files. Each
// row is a shell script run in a fresh folder holding book.txt; `t` runs tarvelle-export, `w` runs
// it in default mode, `v` runs tarvelle-verify.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "pst/verify/Verify.h"
#include "tests/support/Run.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using ::testing::HasSubstr;

struct Row {
    const char* name;
    const char* script;
    int status;       // of the script: the tool's exit status
    const char* err;  // expected in stderr ("" = anything)
    const char* out;  // expected in stdout ("" = anything)
    int psts;         // .pst files in out/, each printed by its run and passing the checker
    int items = -1;   // items in the one .pst; -1 = not counted; kAsSaid = as the message says
};

// A failed write says how many items the file keeps; the file must hold exactly those.
constexpr int kAsSaid = -2;

// A book of n contacts, written by the script (`n` is its first argument, `file` the second).
#define BOOK(n, file) "seq " #n " | sed 's/.*/alias c& c&@example.com/' >" file
// Mounts a filesystem of $1 bytes on out/ (the tests run as root); 77 skips the row.
#define SMALL_DISK(bytes)                          \
    "mkdir out && { mount -t tmpfs -o size=" bytes \
    ",mode=0755 tarvelle-test out || exit 77; } "  \
    "&& "

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// 200 contacts make a book of more than 4 KB; 5,000 a log larger than any pipe's buffer.
// Exports book.txt into made/ and names the file $f.
#define MADE "t --file book.txt --out-dir made >/dev/null 2>&1 && f=$(find made -name '*.pst') && "

const Row kRows[] = {
    {"verify after the export", "t --verify --file book.txt --out-dir out", 0,
     " 2 contacts, 1 lists, 2 members, 0 errors, 0 warnings\n/", "", 1, 3},
    {"verifier on a whole file", MADE "v \"$f\"", 0, "", " 0 errors, 0 warnings\n", 0},
    {"verifier on a damaged checksum",
     MADE "b=$(od -An -tu1 -j524 -N1 \"$f\") && printf \"$(printf '\\\\%03o' $((b ^ 1)))\" |"
          " dd of=\"$f\" bs=1 seek=524 conv=notrunc 2>/dev/null && v \"$f\"",
     1, "", "error: header: dwCRCFull", 0},
    {"verifier on an ANSI file",
     MADE "printf '\\016' | dd of=\"$f\" bs=1 seek=10 conv=notrunc 2>/dev/null && v \"$f\"", 2,
     "not a Unicode PST file", "", 0},
    {"verifier without a file", "v", 2, "no file given", "", 0},
    {"verifier's help", "v --help", 0, "", "Usage: tarvelle-verify", 0},
    // The dump is JSON whose summary agrees and whose items carry named properties.
    {"verifier's dump",
     MADE
     "v --dump \"$f\" | py -c \"import json, sys; d = json.load(sys.stdin); "
     "print(d['summary']['contacts'], [p['value'] for i in d['items'] for p in i['properties'] "
     "if p.get('lid') == '0x8083'][0])\"",
     0, "", "2 alice@example.com\n", 0},
    {"unknown option", "t --frobnicate --out-dir out; s=$?; test ! -e out && exit $s", 2,
     "Try 'tarvelle-export --help'", "", 0},
    {"unsearchable folder", "mkdir out && chmod 666 out && t_nobody --file book.txt --out-dir out",
     1, "Cannot use the folder ", "", 0},
    {"over-long folder path",
     "p=out; for i in $(seq 20); do p=$p/$(printf '%0200d' 0); done; t --file book.txt --out-dir "
     "$p",
     1, "Cannot use the folder ", "", 0},
    // 4 MiB (512-byte blocks): room for the new store, not for 8,000 contacts.
    {"file size limit",
     BOOK(8000, "big.txt") " && ulimit -f 8192 && t --file big.txt --out-dir out", 1,
     "Export Failed: The Outlook file could not be written:\n",
     "Could not write the Outlook file: ", 1, kAsSaid},
    {"disk too small from the start",
     BOOK(20000, "big.txt") " && " SMALL_DISK(
         "4194304") "t --file big.txt --out-dir out >log;"
                    " s=$?; cat log; grep -q 'Creating Contact' log && exit 9; exit $s",
     1, " MB needed, 4 MB free", "", 0},
    {"disk fills up while the items are written",
     "awk 'BEGIN { for (i = 0; i < 2000; i++) print \"alias c\" i \" p\" i \"@example.com\";"
     " for (g = 0; g < 300; g++) { s = \"alias list\" g \" c0\"; for (m = 1; m < 500; m++)"
     " s = s \", c\" (g * 7 + m * 13) % 2000; print s } }' >lists.txt && " SMALL_DISK(
         "12582912") "t --file lists.txt --out-dir out",
     1, "No space left on device", "", 1, kAsSaid},
    {"disk with room for 1.2 times the file",
     BOOK(8000, "big.txt") " && t --file big.txt --out-dir roomy 2>/dev/null >&2 &&"
                           " size=$(find roomy -name '*.pst' -printf %s) && " SMALL_DISK(
                               "$((size * 12 / 10))") "t --file big.txt --out-dir out",
     0, "", "", 1, 8000},
    {"eight parallel runs into one folder",
     "for i in 1 2 3 4 5 6 7 8; do (while [ ! -e go ]; do sleep 0.01; done;"
     " t --file book.txt --out-dir out >/dev/null 2>err$i.txt; echo $? >status$i) & done;"
     " touch go; wait; cat status* | sort -u | tr -d '\\n' | grep -qx 0",
     0, "", "", 8},
    {"stdout closed", "t --file book.txt --out-dir out >&-", 0, "", "", 1, 3},
    {"spaces around the path",
     "echo 'not a book' >'book.txt ' && t --file 'book.txt ' --out-dir out", 0, "",
     "Creating Contact : 1 - alice", 1, 3},
    {"default book under its upper-case name", "cp book.txt \"$D/NNDBASE.TXT\" && w prefix", 0, "",
     "Creating Contact : 1 - alice", 1, 3},
    {"binary default book", "printf 'alias a a@x\\r\\n\\000\\001' >\"$D/NNdbase.txt\" && w prefix",
     3, "NOT a Valid Eudora Address Book", "", 0},
    {"default book missing", "w prefix", 1, "could not be read", "", 0},
    {"no Eudora registered", "w nowhere; s=$?; test ! -e out && exit $s", 1,
     "Address Book Help: Unable to Locate Eudora Installation.\n"
     "Please visit webpage to know, how to locate eudora address book file.\n",
     "", 0},
    {"registered without a data folder",
     "mkdir bare && sed 's/exe .*/exe\"/' prefix/user.reg >bare/user.reg && w bare", 1,
     "Address Book Help: Unable to Locate Eudora Address Book.\n"
     "Please visit webpage to know, how to locate eudora address book file(s) manually.\n",
     "", 0},
    // LF line ends and an ordinary name: without the option this is Windows-1252.
    {"encoding option",
     "printf 'alias \"Qu\\216bec\" q@x.ca\\n' >q.txt && t --file q.txt --out-dir x "
     "| grep -q 'Qu\xC5\xBD"
     "bec$' && t --file q.txt --out-dir out --encoding=mac-roman",
     0, "",
     "Creating Contact : 1 - Qu\xC3\xA9"
     "bec\n",
     1, 1},
    {"NUL inside a nickname line",
     BOOK(200, "nul.txt") " && printf 'alias d d@x\\000.com\\n' >>nul.txt && t --file nul.txt "
                          "--out-dir out",
     0, "", "Skipped line 201: control character\n", 1, 200},
    {"reader of the log goes away",
     BOOK(5000, "big.txt") " && { t --file big.txt --out-dir out; echo $? >status; } | head -1;"
                           " exit $(cat status)",
     1, "the progress log could not be written", "", 1, 5000},
    {"book rewritten while it is exported",
     BOOK(5000,
          "big.txt") " && { t --file big.txt --out-dir out; echo $? >status; } | { while read -r "
                     "l; do"
                     " case $l in Creating*) break;; esac; done;"
                     " seq 5000 | sed 's/.*/alias g& c&@example.com/' >big.txt; cat >/dev/null; };"
                     " exit $(cat status)",
     1, "The address book changed while it was being exported", "", 1},
};

// "The file keeps the first N items:" (or "the first item", "none of the items") as N; -1 if
// not said.
int ItemsKeptInMessage(const std::string& err) {
    if (err.find("The file keeps none of the items:") != std::string::npos) return 0;
    if (err.find("The file keeps the first item:") != std::string::npos) return 1;
    const std::size_t at = err.find("The file keeps the first ");
    return at == std::string::npos ? -1 : std::stoi(err.substr(at + 25));
}

const std::string kData = "drive_c/users/jdoe/Application Data/Qualcomm/Eudora";

class HostileRunsTest : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override {
        fs::permissions(dir_, fs::perms::all);  // the unprivileged run must reach its files
        std::ofstream(dir_ / "book.txt")
            << "alias alice alice@example.com\r\nalias bob bob@example.com\r\n"
               "alias both alice, bob\r\n";
        // Eudora's registry entry in a Wine prefix of its own, as Wine stores it when Eudora runs
        // from "C:\Program Files" with its data under "Application Data" (by their short names).
        fs::create_directories(dir_ / "prefix" / kData);
        fs::create_directories(dir_ / "prefix/dosdevices");
        fs::create_directory_symlink("../drive_c", dir_ / "prefix/dosdevices/c:");
        std::ofstream(dir_ / "prefix/user.reg")
            << "WINE REGISTRY Version 2\n\n[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1\n"
               R"("Current"="C:\\PROG~FBU\\Qualcomm\\Eudora\\Eudora.exe )"
               R"(C:\\users\\jdoe\\APPL~JHT\\Qualcomm\\Eudora )"
               R"(C:\\users\\jdoe\\APPL~JHT\\Qualcomm\\Eudora\\Eudora.ini")"
               "\n";
    }
    void TearDown() override {
        tarvelle::fakes::RunCommand("umount " + Quote((dir_ / "out").string()) + " 2>/dev/null");
    }

    int Shell(const std::string& script) const {
        const std::string tool = tarvelle::fakes::Program("tarvelle-export");
        // Without privileges to drop, the run is unprivileged already.
        const std::string nobody =
            ::geteuid() == 0 ? "setpriv --reuid 65534 --regid 65534 --clear-groups " : "";
        const std::string prelude =
            "cd " + Quote(dir_.string()) + " || exit 99; D='prefix/" + kData +
            "'; t() { timeout 60 " + tool + " \"$@\"; }; t_nobody() { timeout 60 " + nobody + tool +
            " \"$@\"; }; w() { WINEPREFIX=$PWD/$1 HOME=$PWD t --out-dir out; }; v() { timeout 60 " +
            tarvelle::fakes::Program("tarvelle-verify") +
            " \"$@\"; }; py() { " TARVELLE_PYTHON " \"$@\"; }; ";
        return tarvelle::fakes::RunCommand("/bin/sh -c " + Quote(prelude + script) + " >" +
                                           Quote((dir_ / "stdout.txt").string()) + " 2>" +
                                           Quote((dir_ / "stderr.txt").string()))
            .status;
    }

    // Fails unless the verifier finds no error in the file (and, after a run that succeeded, no
    // warning); then the number of its contacts and lists.
    static int CheckedItems(const std::string& pst, bool succeeded) {
        const auto store = tarvelle::pst::verify::ReadStore(pst);
        EXPECT_EQ(store.report.Errors(), 0u) << pst;
        EXPECT_TRUE(!succeeded || store.report.Warnings() == 0) << pst;
        int items = 0;
        for (const auto& item : store.items) {
            items += item.messageClass == "IPM.Contact" || item.messageClass == "IPM.DistList";
        }
        return items;
    }

    const tarvelle::fakes::TempDir temp_{"tarvelle-hostile-"};
    const fs::path dir_ = temp_.path();
};

std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
}

TEST_P(HostileRunsTest, EndsCleanlyWithTheRightStatus) {
    const Row& row = GetParam();
    const int status = Shell(row.script);
    if (status == 77) GTEST_SKIP() << "cannot mount a small filesystem here";
    const std::string err = ReadAll(dir_ / "stderr.txt");
    EXPECT_EQ(status, row.status) << err;
    EXPECT_THAT(err, HasSubstr(row.err));
    EXPECT_THAT(ReadAll(dir_ / "stdout.txt"), HasSubstr(row.out));

    // Every .pst in the folder is one a run printed as its own, last on its stderr.
    std::set<std::string> psts;
    std::set<std::string> printed;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir_ / "out", ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().extension() == ".pst") psts.insert(it->path().string());
    }
    for (const auto& entry : fs::directory_iterator(dir_)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("err") || name == "stderr.txt") {
            const std::string last = LastLine(ReadAll(entry.path()));
            if (last.ends_with(".pst")) printed.insert(last);
        }
    }
    EXPECT_EQ(psts.size(), static_cast<std::size_t>(row.psts));
    EXPECT_EQ(printed, psts);
    for (const std::string& pst : psts) {
        const int items = CheckedItems(pst, status == 0);
        if (row.items == kAsSaid) {
            EXPECT_GE(ItemsKeptInMessage(err), 0) << err;
            EXPECT_EQ(items, ItemsKeptInMessage(err)) << err;
        } else if (row.items >= 0) {
            EXPECT_EQ(items, row.items) << pst;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileRunsTest, ::testing::ValuesIn(kRows));

}  // namespace

#endif  // _WIN32
