// The built tools run from a shell. tarvelle-export on books as people and Eudora versions wrote
// them (tests/data/books), each file read back by our verifier and by readpst and pffexport; and
// under hostile conditions (bad arguments, folders it cannot use, disks that fill, parallel runs,
// closed or vanishing standard output, odd bytes, a book that changes while it is exported), in
// default mode through Eudora's registry entry in a Wine prefix of the test's own, and
// tarvelle-verify on whole and damaged files. Each run is a shell script in a fresh folder holding
// book.txt; `t` runs tarvelle-export, `w` runs it in default mode, `v` runs tarvelle-verify.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "pst/verify/Verify.h"
#include "tests/support/Run.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
namespace verify = tarvelle::pst::verify;
using tarvelle::fakes::Program;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using tarvelle::fakes::RunCommand;
using ::testing::EndsWith;
using ::testing::HasSubstr;

const fs::path kBooks = fs::path(TARVELLE_SOURCE_DIR) / "tests/data/books";
const std::string kData = "drive_c/users/jdoe/Application Data/Qualcomm/Eudora";

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

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// clang-format off
// A book of n contacts, written by the script. 200 contacts make a book of more than 4 KB; 5,000 a
// log larger than any pipe's buffer.
#define BOOK(n, file) "seq " #n " | sed 's/.*/alias c& c&@example.com/' >" file
// Mounts a filesystem of $1 bytes on out/ (the tests run as root); 77 skips the row.
#define SMALL_DISK(bytes) "mkdir out && { mount -t tmpfs -o size=" bytes ",mode=0755 tarvelle-test out || exit 77; } && "
// Exports book.txt into made/ and names the file $f.
#define MADE "t --file book.txt --out-dir made >/dev/null 2>&1 && f=$(find made -name '*.pst') && "
// Flips a bit at byte $1 of $f.
#define FLIP(at) "b=$(od -An -tu1 -j" at " -N1 \"$f\") && printf \"$(printf '\\\\%03o' $((b ^ 1)))\" | dd of=\"$f\" bs=1 seek=" at " conv=notrunc 2>/dev/null && "
#define WRITES_BIG(script) BOOK(5000, "big.txt") " && { t --file big.txt --out-dir out; echo $? >status; } | " script "; exit $(cat status)"

const Row kRows[] = {
    {"verify after the export", "t --verify --file book.txt --out-dir out", 0, " 2 contacts, 1 lists, 2 members, 0 errors, 0 warnings\n/", "", 1, 3},
    {"verifier on a whole file", MADE "v \"$f\"", 0, "", " 0 errors, 0 warnings\n", 0},
    {"verifier on a damaged checksum", MADE FLIP("524") "v \"$f\"", 1, "", "error: header: dwCRCFull", 0},
    {"verifier on an ANSI file", MADE "printf '\\016' | dd of=\"$f\" bs=1 seek=10 conv=notrunc 2>/dev/null && v \"$f\"", 2, "not a Unicode PST file", "", 0},
    {"verifier without a file", "v", 2, "no file given", "", 0},
    {"verifier's help", "v --help", 0, "", "Usage: tarvelle-verify", 0},
    // The dump is JSON whose summary agrees and whose items carry named properties.
    {"verifier's dump", MADE "v --dump \"$f\" | py -c \"import json, sys; d = json.load(sys.stdin); print(d['summary']['contacts'], "
     "[p['value'] for i in d['items'] for p in i['properties'] if p.get('lid') == '0x8083'][0])\"", 0, "", "2 alice@example.com\n", 0},
    {"unknown option", "t --frobnicate --out-dir out; s=$?; test ! -e out && exit $s", 2, "Try 'tarvelle-export --help'", "", 0},
    {"unsearchable folder", "mkdir out && chmod 666 out && t_nobody --file book.txt --out-dir out", 1, "Cannot use the folder ", "", 0},
    {"over-long folder path", "p=out; for i in $(seq 20); do p=$p/$(printf '%0200d' 0); done; t --file book.txt --out-dir $p", 1, "Cannot use the folder ", "", 0},
    // 4 MiB (512-byte blocks): room for the new store, not for 8,000 contacts.
    {"file size limit", BOOK(8000, "big.txt") " && ulimit -f 8192 && t --file big.txt --out-dir out", 1,
     "Export Failed: The Outlook file could not be written:\n", "Could not write the Outlook file: ", 1, kAsSaid},
    {"disk too small from the start", BOOK(20000, "big.txt") " && " SMALL_DISK("4194304")
     "t --file big.txt --out-dir out >log; s=$?; cat log; grep -q 'Creating Contact' log && exit 9; exit $s", 1, " MB needed, 4 MB free", "", 0},
    {"disk fills up while the items are written", "awk 'BEGIN { for (i = 0; i < 2000; i++) print \"alias c\" i \" p\" i \"@example.com\";"
     " for (g = 0; g < 300; g++) { s = \"alias list\" g \" c0\"; for (m = 1; m < 500; m++) s = s \", c\" (g * 7 + m * 13) % 2000; print s } }' >lists.txt && "
     SMALL_DISK("12582912") "t --file lists.txt --out-dir out", 1, "No space left on device", "", 1, kAsSaid},
    {"disk with room for 1.2 times the file", BOOK(8000, "big.txt") " && t --file big.txt --out-dir roomy 2>/dev/null >&2 &&"
     " size=$(find roomy -name '*.pst' -printf %s) && " SMALL_DISK("$((size * 12 / 10))") "t --file big.txt --out-dir out", 0, "", "", 1, 8000},
    {"eight parallel runs into one folder", "for i in 1 2 3 4 5 6 7 8; do (while [ ! -e go ]; do sleep 0.01; done;"
     " t --file book.txt --out-dir out >/dev/null 2>err$i.txt; echo $? >status$i) & done; touch go; wait; cat status* | sort -u | tr -d '\\n' | grep -qx 0", 0, "", "", 8},
    {"stdout closed", "t --file book.txt --out-dir out >&-", 0, "", "", 1, 3},
    {"spaces around the path", "echo 'not a book' >'book.txt ' && t --file 'book.txt ' --out-dir out", 0, "", "Creating Contact : 1 - alice", 1, 3},
    {"default book under its upper-case name", "cp book.txt \"$D/NNDBASE.TXT\" && w prefix", 0, "", "Creating Contact : 1 - alice", 1, 3},
    {"binary default book", "printf 'alias a a@x\\r\\n\\000\\001' >\"$D/NNdbase.txt\" && w prefix", 3, "NOT a Valid Eudora Address Book", "", 0},
    {"default book missing", "w prefix", 1, "could not be read", "", 0},
    {"no Eudora registered", "w nowhere; s=$?; test ! -e out && exit $s", 1,
     "Address Book Help: Unable to Locate Eudora Installation.\nPlease visit webpage to know, how to locate eudora address book file.\n", "", 0},
    {"registered without a data folder", "mkdir bare && sed 's/exe .*/exe\"/' prefix/user.reg >bare/user.reg && w bare", 1,
     "Address Book Help: Unable to Locate Eudora Address Book.\nPlease visit webpage to know, how to locate eudora address book file(s) manually.\n", "", 0},
    // LF line ends and an ordinary name: without the option this is Windows-1252.
    {"encoding option", "printf 'alias \"Qu\\216bec\" q@x.ca\\n' >q.txt && t --file q.txt --out-dir x | grep -q 'Qu\xC5\xBD" "bec$' && "
     "t --file q.txt --out-dir out --encoding=mac-roman", 0, "", "Creating Contact : 1 - Qu\xC3\xA9" "bec\n", 1, 1},
    {"NUL inside a nickname line", BOOK(200, "nul.txt") " && printf 'alias d d@x\\000.com\\n' >>nul.txt && t --file nul.txt --out-dir out", 0, "",
     "Skipped line 201: control character\n", 1, 200},
    {"reader of the log goes away", WRITES_BIG("head -1"), 1, "the progress log could not be written", "", 1, 5000},
    {"book rewritten while it is exported", WRITES_BIG("{ while read -r l; do case $l in Creating*) break;; esac; done;"
     " seq 5000 | sed 's/.*/alias g& c&@example.com/' >big.txt; cat >/dev/null; }"), 1, "The address book changed while it was being exported", "", 1},
};
// clang-format on

// "The file keeps the first N items:" (or "the first item", "none of the items") as N; -1 if
// not said.
int ItemsKeptInMessage(const std::string& err) {
    if (err.find("The file keeps none of the items:") != std::string::npos) return 0;
    if (err.find("The file keeps the first item:") != std::string::npos) return 1;
    const std::size_t at = err.find("The file keeps the first ");
    return at == std::string::npos ? -1 : std::stoi(err.substr(at + 25));
}

struct Exported {
    int status = -1;
    std::string out;  // the log
    std::string err;  // messages, and the file's path last
    std::string pst;
    std::string listing;  // see Listing
};

// Every .pst file under `folder`.
std::set<std::string> Psts(const fs::path& folder) {
    std::set<std::string> psts;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".pst") psts.insert(it->path().string());
    return psts;
}

// Fails unless the verifier finds no error in the file, nor a warning where `whole`.
verify::StoreContents Checked(const std::string& pst, bool whole) {
    verify::StoreContents store = verify::ReadStore(pst);
    std::string findings = pst + "\n";
    for (const auto& f : store.report.Findings()) findings += f.ToString() + "\n";
    EXPECT_EQ(store.report.Errors(), 0u) << findings;
    EXPECT_TRUE(!whole || store.report.Warnings() == 0) << findings;
    return store;
}

void ExpectAll(const std::string& text, const std::vector<std::string>& parts) {
    for (const std::string& part : parts) EXPECT_THAT(text, HasSubstr(part));
}

std::string Hex(unsigned value, int digits) {
    char text[8];
    std::snprintf(text, sizeof text, "%0*X", digits, value & 0xFFFF);
    return text;
}

// Every text property and contact integer and list member, one line each, items in file order:
// "Contacts|IPM.Contact|Ann Lee|0x3A09:001F='555-0101'", named properties by their LID (with their
// set unless it is PSETID_Address). A list's members follow their count; one naming an item gives
// the wrapped entry ID's type byte (0xC3 a contact by its first address, 0xB4 a personal list) and
// the item's display name.
std::string Listing(const verify::StoreContents& contents) {
    std::map<verify::Nid, std::string> names;
    for (const verify::Item& item : contents.items)
        names[item.nid] = item.Find(0x3001001F) ? item.Find(0x3001001F)->Text() : "?";
    std::string text;
    for (const verify::Item& item : contents.items) {
        const verify::Folder* folder = contents.FindFolder(item.folder);
        EXPECT_EQ(folder ? folder->containerClass : "", "IPF.Contact");
        const std::string at = (folder ? folder->name : std::string("?")) + "|" +
                               item.messageClass + "|" + names[item.nid] + "|";
        for (const verify::Property& p : item.properties) {
            const bool address = p.name && verify::GuidText(p.name->guid) == verify::kPsetidAddress;
            std::string id = "0x" + Hex(p.name && p.name->lid ? *p.name->lid : p.Id(), 4);
            // Integers only of the contact set, less the list's checksum of its entry IDs.
            if (p.Type() != 0x001F && (p.Type() != 0x0003 || !address || id == "0x804C")) continue;
            if (p.name && !address) id += verify::GuidText(p.name->guid);
            text += at + id +
                    (p.Type() == 0x001F ? ":001F='" + p.Text() + "'\n"
                                        : ":0003=" + std::to_string(p.Integer()) + "\n");
        }
        if (!item.members.empty()) text += at + std::to_string(item.members.size()) + " members\n";
        for (const verify::ListMember& m : item.members) {
            text += at + "member '" + m.displayName + "' " + m.addressType + " " + m.address;
            if (m.kind == verify::ListMember::Kind::StoreItem)
                text += " -> " + Hex(m.entryId.at(20), 2) + " " + names[m.item];
            text += "\n";
        }
    }
    return text;
}

class BinaryRunsTest : public ::testing::Test {
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
        RunCommand("umount " + Quote((dir_ / "out").string()) + " 2>/dev/null");
    }

    // The script's exit status, stdout and stderr.
    Exported Shell(const std::string& script) const {
        const std::string tool = Program("tarvelle-export");
        // Without privileges to drop, the run is unprivileged already.
        const std::string nobody =
            ::geteuid() == 0 ? "setpriv --reuid 65534 --regid 65534 --clear-groups " : "";
        const std::string prelude =
            "cd " + Quote(dir_.string()) + " || exit 99; D='prefix/" + kData +
            "'; t() { timeout 60 " + tool + " \"$@\"; }; t_nobody() { timeout 60 " + nobody + tool +
            " \"$@\"; }; w() { WINEPREFIX=$PWD/$1 HOME=$PWD t --out-dir out; }; v() { timeout 60 " +
            Program("tarvelle-verify") + " \"$@\"; }; py() { " TARVELLE_PYTHON " \"$@\"; }; ";
        const int status = RunCommand("/bin/sh -c " + Quote(prelude + script) + " >" +
                                      Quote((dir_ / "stdout.txt").string()) + " 2>" +
                                      Quote((dir_ / "stderr.txt").string()))
                               .status;
        return {status, ReadAll(dir_ / "stdout.txt"), ReadAll(dir_ / "stderr.txt")};
    }

    // Runs tarvelle-export (with the test's own Wine prefix) and reads back what it wrote.
    Exported Export(const std::string& args) {
        const fs::path outDir = dir_ / ("out" + std::to_string(++runs_));
        Exported e =
            Shell("WINEPREFIX=$PWD/prefix HOME=$PWD t " + args + " --out-dir " + Quote(outDir));
        const std::set<std::string> psts = Psts(outDir);
        if (psts.size() != 1) return e;
        e.pst = *psts.begin();
        EXPECT_THAT(e.err, EndsWith(e.pst + "\n"));  // the path comes last
        e.listing = Listing(Checked(e.pst, true));
        // The strict Python checker, where the development material is at hand.
        const fs::path checker = tarvelle::fakes::SharedDir() / "tools/pstwalk.py";
        if (!fs::exists(checker)) return e;
        const auto check =
            RunCommand(TARVELLE_PYTHON " " + Quote(checker) + " check " + Quote(e.pst));
        EXPECT_EQ(check.status, 0) << check.out;
        return e;
    }

    // All that `tool` (readpst, pffexport) writes into the folder $o from the file.
    std::string ReadBack(const std::string& tool, const std::string& pst) {
        const fs::path o = dir_ / ("read" + std::to_string(++runs_));
        const auto r =
            RunCommand("o=" + Quote(o) + " && mkdir \"$o\" && " + tool + " " + Quote(pst));
        EXPECT_EQ(r.status, 0) << r.out;
        return tarvelle::fakes::ReadTree(o);
    }

    const tarvelle::fakes::TempDir temp_{"tarvelle-runs-"};
    const fs::path dir_ = temp_.path();
    int runs_ = 0;
};

class HostileRunsTest : public BinaryRunsTest, public ::testing::WithParamInterface<Row> {};

std::string LastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text.substr(text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1);
}

TEST_P(HostileRunsTest, EndsCleanlyWithTheRightStatus) {
    const Row& row = GetParam();
    const Exported r = Shell(row.script);
    if (r.status == 77) GTEST_SKIP() << "cannot mount a small filesystem here";
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_THAT(r.err, HasSubstr(row.err));
    EXPECT_THAT(r.out, HasSubstr(row.out));

    // Every .pst in the folder is one a run printed as its own, last on its stderr.
    const std::set<std::string> psts = Psts(dir_ / "out");
    std::set<std::string> printed;
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
        const auto items =
            std::ranges::count_if(Checked(pst, r.status == 0).items, [](const auto& i) {
                return i.messageClass == "IPM.Contact" || i.messageClass == "IPM.DistList";
            });
        const int want = row.items == kAsSaid ? ItemsKeptInMessage(r.err) : row.items;
        EXPECT_TRUE(row.items == -1 || items == want) << items << "\n" << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileRunsTest, ::testing::ValuesIn(kRows));

// The log between "Reinitiating Outlook Connection..." and "Finished...".
std::vector<std::string> RunLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    EXPECT_EQ(lines.empty() ? "" : lines.back(), "Finished...");
    const auto start = std::find(lines.begin(), lines.end(), "Reinitiating Outlook Connection...");
    if (start == lines.end() || lines.back() != "Finished...") return lines;
    return {start + 1, lines.end() - 1};
}

struct BookRow {
    const char* what;
    std::string book;                  // under tests/data/books, or its text; empty: default mode
    std::vector<std::string> log;      // the whole run between its first and last line
    std::vector<std::string> listing;  // lines of the listing
    std::vector<std::string> vcards;   // in readpst's vCards
    std::optional<std::string> twin;   // a book exported the same way
    std::vector<std::string> pff;      // in pffexport's item texts
};

TEST_F(BinaryRunsTest, EveryBookExportsWhatEudoraReadsInIt) {
    // Eudora's data folder in the Wine prefix holds the books of tests/data/books/data-folder.
    fs::copy(kBooks / "data-folder", dir_ / "prefix" / kData, fs::copy_options::recursive);
    // clang-format off
    const std::vector<BookRow> rows = {
        {"note fields in their contact properties; a list's note after its name", "typical/NNdbase.txt", {},
         {"Priya Morgan|0x3A06:001F='Priya'", "Priya Morgan|0x3A11:001F='Morgan'", "Priya Morgan|0x8005:001F='Morgan, Priya'",
          "Priya Morgan|0x3A4F:001F='pmorgan'", "Priya Morgan|0x3A09:001F='+1 555 0142'", "Priya Morgan|0x3A17:001F='Buyer'",
          "Priya Morgan|0x3A16:001F='Harbor Supplies'", "Priya Morgan|0x1000:001F='Met at the spring fair.'",
          "Priya Morgan|0x8080:001F='Priya Morgan'",
          // A home mailing address: parts, whole text, and the mailing copy.
          "Tom Reyes|0x3A5D:001F='48 Alder Lane\r\nUnit 3'", "Tom Reyes|0x3A59:001F='Portland'", "Tom Reyes|0x3A5C:001F='OR'",
          "Tom Reyes|0x3A5B:001F='97201'", "Tom Reyes|0x3A5A:001F='USA'", "Tom Reyes|0x8022:0003=1", "Tom Reyes|0x3A27:001F='Portland'",
          "Tom Reyes|0x801A:001F='48 Alder Lane\r\nUnit 3\r\nPortland, OR 97201\r\nUSA'",
          "Tom Reyes|0x3A15:001F='48 Alder Lane\r\nUnit 3\r\nPortland, OR 97201\r\nUSA'",
          // Work address, phones, web page, three e-mail addresses.
          "Nadia Quinn|0x8045:001F='7 Harbour Road\r\nFloor 2'", "Nadia Quinn|0x8046:001F='Boston'", "Nadia Quinn|0x8047:001F='MA'",
          "Nadia Quinn|0x8048:001F='02110'", "Nadia Quinn|0x8022:0003=2", "Nadia Quinn|0x3A08:001F='617-555-0120'",
          "Nadia Quinn|0x3A24:001F='617-555-0121'", "Nadia Quinn|0x3A1C:001F='555-0133'", "Nadia Quinn|0x3A1F:001F='555-0188 (cell)'",
          "Nadia Quinn|0x3A50:001F='http://www.example.com/~nadia'", "Nadia Quinn|0x8093:001F='nadia.quinn@home.example'",
          "Nadia Quinn|0x8092:001F='SMTP'", "Nadia Quinn|0x8090:001F='Nadia Quinn'", "Nadia Quinn|0x80A3:001F='nq@formerjob.example'",
          "Nadia Quinn|0x8029:0003=7", "design-team|0x1000:001F='design-team\r\nMonthly review list.\r\nAsk Nadia before adding people.'"},
         {"\nN:Morgan;Priya;", "TEL;TYPE=home,voice:+1 555 0142", "ORG:Harbor Supplies", "NOTE:Met at the spring fair.",
          "ADR;TYPE=home:;;48 Alder Lane\\nUnit 3;Portland;OR;97201;USA", "ADR;TYPE=work:;;7 Harbour Road\\nFloor 2;Boston;MA;02110",
          "EMAIL:nq@formerjob.example", "TEL;TYPE=cell,voice:555-0133"},
         {}, {"Email address 2:\t\t\tnadia.quinn@home.example", "Business fax number:\t\t\t617-555-0121", "Locality:\t\t\t\tBoston"}},
        {"edited by hand: comment, indented line, capitals, tabs", "hand-edited/NNdbase.txt",
         {"Skipped line 1: not a nickname line", "Creating Contact : 1 - ann", "Skipped line 3: not a nickname line",
          "Creating Contact : 2 - BOB", "Creating Contact : 3 - carol", "+ Creating Group : team", "     - Saved 3 Members in Group...",
          "Skipped line 8: not a nickname line"},
         {"0x3A09:001F='555-0101'"}, {"EMAIL:carol@example.org"}},
        {"Eudora for Mac: Mac Roman, CR line ends, no extension", "mac/Eudora Nicknames",
         {"Creating Contact : 1 - rene", "+ Creating Group : Team Qu\u00e9bec", "     - Saved 2 Members in Group..."},
         {"0x8080:001F='Ren\u00e9 C\u00f4t\u00e9'", "0x8053:001F='Team Qu\u00e9bec'", "0x3A16:001F='Universit\u00e9 Laval'"},
         {"ORG:Universit\u00e9 Laval"}},
        {"a data folder's main book picked by hand; its extra books in folders of their own", "data-folder/NNdbase.txt",
         {"Creating Contact : 1 - me", "+ Creating Group : everyone", "     ! Unknown nickname kept as an address: nobody",
          "     - Saved 4 Members in Group...", "Reading address book : Club", "Creating Contact : 2 - club-chair",
          "Reading address book : Work", "+ Creating Group : work-friends", "     - Saved 2 Members in Group..."},
         {"Club|IPM.Contact|club-chair|0x3A4F:001F='club-chair'", "Work|IPM.DistList|", "Contacts|IPM.DistList|everyone|4 members\n",
          "member 'work-friends' MAPIPDL  -> B4 work-friends", "member 'club-chair' SMTP chair@example.org -> C3 club-chair"},
         {"EMAIL:chair@example.org"}, ""},
        {"the old <nick> layout", "old-layout/NNdbase.txt",
         {"Creating Contact : 1 - ana", "+ Creating Group : choir", "     - Saved 3 Members in Group..."},
         {"0x1000:001F='Ana Ruiz, Lisbon office'"}, {"EMAIL:ana.ruiz@example.org"}, "old-layout-twin/NNdbase.txt"},
        {"addresses typed with a name before them (UTF-8 without a mark)", "typed-names/NNdbase.txt",
         {"Creating Contact : 1 - quoted", "Creating Contact : 2 - plain"},
         {"0x8080:001F='Ren\u00e9e O'Brien'", "0x8083:001F='renee@example.ie'", "0x8080:001F='John Plain'", "0x8083:001F='john.plain@example.com'"},
         {"EMAIL:renee@example.ie", "EMAIL:john.plain@example.com"}},
        {"Windows-1252 accents, a mailbox-copy member", "windows-1252/NNdbase.txt", {},
         {"0x3001:001F='In\u00e8s A\u00f1\u00f3n'", "0x3A27:001F='Sevilla'",
          // an unquoted nickname of two words is a member, not an address
          "member 'In\u00e8s A\u00f1\u00f3n' SMTP ines.anon@example.es -> C3 In\u00e8s A\u00f1\u00f3n",
          "member 'Jens K\u00f6hler' SMTP jens.koehler@example.de -> C3 Jens K\u00f6hler",
          "member 'S\u00f8ren \u00c5g\u00e5rd' SMTP soren@example.dk\n", "IPM.Contact|Studio project team|0x3001:001F='Studio project team'"},
         {"N:K\u00f6hler;Jens;"}},
        {"an importer's book: blank lines, repeated fields", "importer/NNdbase.txt", {},
         {"0x3A16:001F='Ellis Marine'", "0x3A17:001F='Owner'", "member 'Mark R. Ellis Jr.' SMTP mark.ellis@example.com -> C3 Mark R. Ellis Jr.",
          "member 'Rita_Ng2' SMTP rita.ng@other.example -> C3 Rita_Ng2"},
         {"EMAIL:rita.ng@other.example"}},
    };
    // clang-format on
    for (const BookRow& row : rows) {
        SCOPED_TRACE(row.what);
        fs::create_directories(dir_ / "book");
        const fs::path book = row.book.find('\n') == std::string::npos
                                  ? kBooks / row.book
                                  : fs::path(temp_.Write("book/NNdbase.txt", row.book));
        const Exported e = Export(row.book.empty() ? "" : "--file " + Quote(book));
        ASSERT_EQ(e.status, 0) << e.out << e.err;
        EXPECT_TRUE(row.log.empty() || RunLines(e.out) == row.log) << e.out;
        ExpectAll(e.listing, row.listing);
        ExpectAll(ReadBack("readpst -q -r -cv -8 -o \"$o\"", e.pst), row.vcards);
        if (!row.pff.empty())
            ExpectAll(ReadBack("pffexport -m items -f text -q -t \"$o/x\"", e.pst), row.pff);
        if (!row.twin) continue;
        const Exported twin =
            Export(row.twin->empty() ? "" : "--file " + Quote(kBooks / *row.twin));
        EXPECT_EQ(twin.out, e.out);
        EXPECT_EQ(twin.listing, e.listing);
    }
}

}  // namespace

#endif  // _WIN32
