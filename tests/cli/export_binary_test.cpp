// The built tarvelle-export run as a user runs it: books as people and Eudora versions wrote them
// (tests/data/books), default mode through Wine's registry, members naming other entries,
// each file read back by our verifier and by readpst and pffexport. Exit statuses, failing runs
// and tarvelle-verify's own report are in hostile_runs_binary_test.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
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

struct Exported {
    int status = -1;
    std::string out;  // the log
    std::string err;  // messages, and the file's path last
    fs::path pst;
    verify::StoreContents contents;
    std::string listing;  // see Listing
};

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
    for (const verify::Item& item : contents.items) {
        const verify::Property* p = item.Find(0x3001001F);
        names[item.nid] = p ? p->Text() : "?";
    }
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

class ExportBinary : public ::testing::Test {
  protected:
    // Eudora's registry entry in a Wine prefix of the test's own, its data folder `folder` on
    // drive C: (a link to `driveC`).
    void RegisterDataFolder(const fs::path& driveC, const std::string& folder) {
        fs::create_directories(dir_.path() / "prefix/dosdevices");
        fs::create_directory_symlink(driveC, dir_.path() / "prefix/dosdevices/c:");
        std::ofstream(dir_.path() / "prefix/user.reg", std::ios::binary)
            << "WINE REGISTRY Version 2\n\n"
               "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1796592664\n"
               "\"Current\"=\"C:\\\\Eudora\\\\Eudora.exe C:\\\\"
            << folder << " C:\\\\" << folder << "\\\\Eudora.ini\"\n";
    }

    // Runs the tool (with WINEPREFIX and HOME the test's own) and reads back what it wrote.
    Exported Export(const std::string& args) {
        const fs::path outDir = dir_.path() / ("out" + std::to_string(++runs_));
        const fs::path err = dir_.path() / "stderr.txt";
        const auto r = RunCommand("WINEPREFIX=" + Quote(dir_.path() / "prefix") +
                                  " HOME=" + Quote(dir_.path()) + " " + Program("tarvelle-export") +
                                  " " + args + " --out-dir " + Quote(outDir) + " 2>" + Quote(err));
        Exported e;
        e.status = r.status;
        e.out = r.out;
        e.err = ReadAll(err);
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(outDir, ec)) {
            if (entry.path().extension() == ".pst") e.pst = entry.path();
        }
        if (e.pst.empty()) return e;
        EXPECT_THAT(e.err, EndsWith(e.pst.string() + "\n"));  // the path comes last
        e.contents = verify::ReadStore(e.pst);
        std::string findings;
        for (const auto& f : e.contents.report.Findings()) findings += f.ToString() + "\n";
        EXPECT_EQ(e.contents.report.Errors(), 0u) << findings;
        e.listing = Listing(e.contents);
        CrossCheck(e.pst);
        return e;
    }

    // The strict Python checker, where the development material is at hand.
    static void CrossCheck(const fs::path& pst) {
        const fs::path checker = tarvelle::fakes::SharedDir() / "tools/pstwalk.py";
        if (!fs::exists(checker)) return;
        const auto check = RunCommand(std::string(TARVELLE_PYTHON) + " " + Quote(checker) +
                                      " check " + Quote(pst));
        EXPECT_EQ(check.status, 0) << check.out;
    }

    // readpst's vCards, one per contact.
    std::string Vcards(const fs::path& pst) {
        const fs::path cards = dir_.path() / ("readpst" + std::to_string(++runs_));
        fs::create_directories(cards);
        const auto r = RunCommand("readpst -q -r -cv -8 -o " + Quote(cards) + " " + Quote(pst));
        EXPECT_EQ(r.status, 0) << r.out;
        return tarvelle::fakes::ReadTree(cards);
    }

    std::string Write(const fs::path& relative, const std::string& bytes) {
        const fs::path path = dir_.path() / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    tarvelle::fakes::TempDir dir_{"tarvelle-export-"};
    int runs_ = 0;
};

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

TEST_F(ExportBinary, EveryBookExportsWhatEudoraReadsInIt) {
    RegisterDataFolder(kBooks, "data-folder");
    const std::vector<BookRow> rows = {
        {"note fields in their contact properties; a list's note after its name",
         "typical/NNdbase.txt",
         {},
         {"Priya Morgan|0x3A06:001F='Priya'", "Priya Morgan|0x3A11:001F='Morgan'",
          "Priya Morgan|0x8005:001F='Morgan, Priya'", "Priya Morgan|0x3A4F:001F='pmorgan'",
          "Priya Morgan|0x3A09:001F='+1 555 0142'", "Priya Morgan|0x3A17:001F='Buyer'",
          "Priya Morgan|0x3A16:001F='Harbor Supplies'",
          "Priya Morgan|0x1000:001F='Met at the spring fair.'",
          "Priya Morgan|0x8080:001F='Priya Morgan'",
          // A home mailing address: parts, whole text, and the mailing copy.
          "Tom Reyes|0x3A5D:001F='48 Alder Lane\r\nUnit 3'", "Tom Reyes|0x3A59:001F='Portland'",
          "Tom Reyes|0x3A5C:001F='OR'", "Tom Reyes|0x3A5B:001F='97201'",
          "Tom Reyes|0x3A5A:001F='USA'",
          "Tom Reyes|0x801A:001F='48 Alder Lane\r\nUnit 3\r\nPortland, OR 97201\r\nUSA'",
          "Tom Reyes|0x8022:0003=1", "Tom Reyes|0x3A27:001F='Portland'",
          "Tom Reyes|0x3A15:001F='48 Alder Lane\r\nUnit 3\r\nPortland, OR 97201\r\nUSA'",
          // Work address, phones, web page, three e-mail addresses.
          "Nadia Quinn|0x8045:001F='7 Harbour Road\r\nFloor 2'", "Nadia Quinn|0x8046:001F='Boston'",
          "Nadia Quinn|0x8047:001F='MA'", "Nadia Quinn|0x8048:001F='02110'",
          "Nadia Quinn|0x8022:0003=2", "Nadia Quinn|0x3A08:001F='617-555-0120'",
          "Nadia Quinn|0x3A24:001F='617-555-0121'", "Nadia Quinn|0x3A1C:001F='555-0133'",
          "Nadia Quinn|0x3A1F:001F='555-0188 (cell)'",
          "Nadia Quinn|0x3A50:001F='http://www.example.com/~nadia'",
          "Nadia Quinn|0x8093:001F='nadia.quinn@home.example'", "Nadia Quinn|0x8092:001F='SMTP'",
          "Nadia Quinn|0x8090:001F='Nadia Quinn'", "Nadia Quinn|0x80A3:001F='nq@formerjob.example'",
          "Nadia Quinn|0x8029:0003=7",
          "design-team|0x1000:001F='design-team\r\nMonthly review list.\r\nAsk Nadia before "
          "adding people.'"},
         {"\nN:Morgan;Priya;", "TEL;TYPE=home,voice:+1 555 0142", "ORG:Harbor Supplies",
          "NOTE:Met at the spring fair.",
          "ADR;TYPE=home:;;48 Alder Lane\\nUnit 3;Portland;OR;97201;USA",
          "ADR;TYPE=work:;;7 Harbour Road\\nFloor 2;Boston;MA;02110", "EMAIL:nq@formerjob.example",
          "TEL;TYPE=cell,voice:555-0133"},
         {},
         {"Email address 2:\t\t\tnadia.quinn@home.example",
          "Business fax number:\t\t\t617-555-0121", "Locality:\t\t\t\tBoston"}},
        {"members naming nicknames: written later, a list, itself, a cycle, nothing",
         "alias ann ann@example.com\r\nnote ann <name:Ann Lee>\r\n"
         "alias all ann, \"big bob\", kids, all, nobody\r\n"
         "alias \"Big Bob\" bob@example.com\r\nalias kids all, ANN\r\n",
         {"Creating Contact : 1 - ann", "+ Creating Group : all",
          "     ! Unknown nickname kept as an address: nobody",
          "     - Saved 5 Members in Group...", "Creating Contact : 2 - Big Bob",
          "+ Creating Group : kids", "     - Saved 2 Members in Group..."},
         {"IPM.DistList|all|5 members\n"
          "Contacts|IPM.DistList|all|member 'Ann Lee' SMTP ann@example.com -> C3 Ann Lee\n"
          "Contacts|IPM.DistList|all|member 'Big Bob' SMTP bob@example.com -> C3 Big Bob\n"
          "Contacts|IPM.DistList|all|member 'kids' MAPIPDL  -> B4 kids\n"
          "Contacts|IPM.DistList|all|member 'all' SMTP all\n"
          "Contacts|IPM.DistList|all|member 'nobody' SMTP nobody\n",
          "IPM.DistList|kids|2 members\n"
          "Contacts|IPM.DistList|kids|member 'all' MAPIPDL  -> B4 all\n"
          "Contacts|IPM.DistList|kids|member 'Ann Lee' SMTP ann@example.com -> C3 Ann Lee\n"},
         {}},
        {"edited by hand: comment, indented line, capitals, tabs",
         "hand-edited/NNdbase.txt",
         {"Skipped line 1: not a nickname line", "Creating Contact : 1 - ann",
          "Skipped line 3: not a nickname line", "Creating Contact : 2 - BOB",
          "Creating Contact : 3 - carol", "+ Creating Group : team",
          "     - Saved 3 Members in Group...", "Skipped line 8: not a nickname line"},
         {"0x3A09:001F='555-0101'"},
         {"EMAIL:carol@example.org"}},
        {"Eudora for Mac: Mac Roman, CR line ends, no extension",
         "mac/Eudora Nicknames",
         {"Creating Contact : 1 - rene", "+ Creating Group : Team Qu\u00e9bec",
          "     - Saved 2 Members in Group..."},
         {"0x8080:001F='Ren\u00e9 C\u00f4t\u00e9'", "0x8053:001F='Team Qu\u00e9bec'",
          "0x3A16:001F='Universit\u00e9 Laval'"},
         {"ORG:Universit\u00e9 Laval"}},
        {"a data folder's main book picked by hand; its extra books in folders of their own",
         "data-folder/NNdbase.txt",
         {"Creating Contact : 1 - me", "+ Creating Group : everyone",
          "     ! Unknown nickname kept as an address: nobody",
          "     - Saved 4 Members in Group...", "Reading address book : Club",
          "Creating Contact : 2 - club-chair", "Reading address book : Work",
          "+ Creating Group : work-friends", "     - Saved 2 Members in Group..."},
         {"Club|IPM.Contact|club-chair|0x3A4F:001F='club-chair'", "Work|IPM.DistList|",
          "member 'work-friends' MAPIPDL  -> B4 work-friends",
          "member 'club-chair' SMTP chair@example.org -> C3 club-chair"},
         {"EMAIL:chair@example.org"},
         ""},
        {"the old <nick> layout",
         "old-layout/NNdbase.txt",
         {"Creating Contact : 1 - ana", "+ Creating Group : choir",
          "     - Saved 3 Members in Group..."},
         {"0x1000:001F='Ana Ruiz, Lisbon office'"},
         {"EMAIL:ana.ruiz@example.org"},
         "old-layout-twin/NNdbase.txt"},
        {"addresses typed with a name before them (UTF-8 without a mark)",
         "typed-names/NNdbase.txt",
         {"Creating Contact : 1 - quoted", "Creating Contact : 2 - plain"},
         {"0x8080:001F='Ren\u00e9e O'Brien'", "0x8083:001F='renee@example.ie'",
          "0x8080:001F='John Plain'", "0x8083:001F='john.plain@example.com'"},
         {"EMAIL:renee@example.ie", "EMAIL:john.plain@example.com"}},
        {"Windows-1252 accents, a mailbox-copy member",
         "windows-1252/NNdbase.txt",
         {},
         {"0x3001:001F='In\u00e8s A\u00f1\u00f3n'", "0x3A27:001F='Sevilla'",
          // an unquoted nickname of two words is a member, not an address
          "member 'In\u00e8s A\u00f1\u00f3n' SMTP ines.anon@example.es -> C3 In\u00e8s "
          "A\u00f1\u00f3n",
          "member 'Jens K\u00f6hler' SMTP jens.koehler@example.de -> C3 Jens K\u00f6hler",
          "member 'S\u00f8ren \u00c5g\u00e5rd' SMTP soren@example.dk\n",
          "IPM.Contact|Studio project team|0x3001:001F='Studio project team'"},
         {"N:K\u00f6hler;Jens;"}},
        {"an importer's book: blank lines, repeated fields",
         "importer/NNdbase.txt",
         {},
         {"0x3A16:001F='Ellis Marine'", "0x3A17:001F='Owner'",
          "member 'Mark R. Ellis Jr.' SMTP mark.ellis@example.com -> C3 Mark R. Ellis Jr.",
          "member 'Rita_Ng2' SMTP rita.ng@other.example -> C3 Rita_Ng2"},
         {"EMAIL:rita.ng@other.example"}},
    };
    for (const BookRow& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path book = row.book.find('\n') == std::string::npos
                                  ? kBooks / row.book
                                  : fs::path(Write("book/NNdbase.txt", row.book));
        const Exported e = Export(row.book.empty() ? "" : "--file " + Quote(book));
        ASSERT_EQ(e.status, 0) << e.out << e.err;
        if (!row.log.empty()) {
            EXPECT_EQ(RunLines(e.out), row.log);
        }
        for (const std::string& text : row.listing) EXPECT_THAT(e.listing, HasSubstr(text));
        const std::string vcards = Vcards(e.pst);
        for (const std::string& text : row.vcards) EXPECT_THAT(vcards, HasSubstr(text));
        if (!row.pff.empty()) {
            const fs::path pff = dir_.path() / "pff";
            const auto r =
                RunCommand("pffexport -m items -f text -q -t " + Quote(pff) + " " + Quote(e.pst));
            ASSERT_EQ(r.status, 0) << r.out;
            const std::string items = tarvelle::fakes::ReadTree(pff.string() + ".export");
            for (const std::string& text : row.pff) EXPECT_THAT(items, HasSubstr(text));
        }
        if (!row.twin) continue;
        const Exported twin =
            Export(row.twin->empty() ? "" : "--file " + Quote(kBooks / *row.twin));
        EXPECT_EQ(twin.out, e.out);
        EXPECT_EQ(twin.listing, e.listing);
    }
}

}  // namespace

#endif  // _WIN32
