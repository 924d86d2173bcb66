// The built tarvelle-export writing whole Eudora books into a real .pst: note fields, members
// that name other entries, and the extra books of a data folder, read back by the strict
// checker's reader, readpst and pffexport.
#ifndef _WIN32

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ShellText.h"

namespace {

namespace fs = std::filesystem;
using tarvelle::fakes::Quote;
using tarvelle::fakes::ReadAll;
using ::testing::HasSubstr;

std::string ReadTree(const fs::path& root) {
    std::string text;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file()) text += ReadAll(it->path());
    }
    return text;
}

struct Shelled {
    int status = -1;
    std::string out;
};

// One message as read_books.py prints it, kept as its JSON text: the checks look for the exact
// "key": value pairs, which keeps them readable without a JSON library.
struct Message {
    std::string folder;
    std::string json;
    long nid = 0;

    bool Has(const std::string& key, const std::string& jsonValue) const {
        return json.find("\"" + key + "\": " + jsonValue) != std::string::npos;
    }
};

class BooksBinaryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tarvelle-books-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        if (!HasFailure()) fs::remove_all(dir_, ec);
    }

    Shelled Shell(const std::string& command) const {
        const fs::path out = dir_ / "shell.txt";
        const int raw = std::system(
            ("/bin/sh -c " + Quote(command + " >" + Quote(out.string()) + " 2>&1")).c_str());
        Shelled r;
        if (WIFEXITED(raw)) r.status = WEXITSTATUS(raw);
        r.out = ReadAll(out);
        return r;
    }

    // Runs the tool (with `env` before it) and returns the .pst it wrote; the log goes to `log`.
    fs::path Export(const std::string& args, std::string* log = nullptr,
                    const std::string& env = "") {
        const fs::path outDir = dir_ / ("out" + std::to_string(++runs_));
        const Shelled r =
            Shell(env + " " + Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-export") + " " +
                  args + " --out-dir " + Quote(outDir.string()));
        EXPECT_EQ(r.status, 0) << r.out;
        if (log != nullptr) *log = r.out;
        fs::path pst;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(outDir, ec)) {
            if (e.path().extension() == ".pst") pst = e.path();
        }
        if (pst.empty()) return pst;
        const Shelled check = Shell(Quote(std::string(TARVELLE_BINARY_DIR) + "/tarvelle-verify") +
                                    " " + Quote(pst.string()));
        EXPECT_EQ(check.status, 0) << check.out;
        return pst;
    }

    // Every message of the file, by display name.
    std::map<std::string, Message> Messages(const fs::path& pst) const {
        const Shelled r =
            Shell(std::string(TARVELLE_PYTHON) + " " +
                  Quote(std::string(TARVELLE_SOURCE_DIR) + "/tests/cli/read_books.py") + " " +
                  Quote(std::string(TARVELLE_SHARED_DIR) + "/tools") + " " + Quote(pst.string()));
        EXPECT_EQ(r.status, 0) << r.out;
        std::map<std::string, Message> messages;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            Message m;
            m.json = line;
            m.nid = std::stol(line.substr(line.find("\"nid\": ") + 7));
            const auto folder = line.find("\"folder\": \"") + 11;
            m.folder = line.substr(folder, line.find('"', folder) - folder);
            const auto name = line.find("\"T3001\": \"") + 10;
            messages[line.substr(name, line.find('"', name) - name)] = m;
        }
        return messages;
    }

    // The decoded members of a list, as read_books.py prints them.
    static std::string Members(const Message& m) {
        const auto at = m.json.find("\"members\": ");
        return at == std::string::npos ? std::string() : m.json.substr(at + 11);
    }

    std::string WriteFile(const fs::path& relative, const std::string& bytes) const {
        const fs::path path = dir_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path dir_;
    int runs_ = 0;
};

TEST_F(BooksBinaryTest, SampleBooksKeepEveryNoteFieldWhereItBelongs) {
    const std::string samples = std::string(TARVELLE_SHARED_DIR) + "/eudora-samples/";
    for (const char* sample :
         {"01-typical", "03-cp1252-accents", "07-eudora-importer-style", "08-utf8-bom-lf"}) {
        SCOPED_TRACE(sample);
        const fs::path pst = Export("--file " + Quote(samples + sample + "/NNdbase.txt"));
        ASSERT_FALSE(pst.empty());
        EXPECT_FALSE(Messages(pst).empty());
    }

    const fs::path pst = Export("--file " + Quote(samples + "01-typical/NNdbase.txt"));
    ASSERT_FALSE(pst.empty());
    auto messages = Messages(pst);
    // The note's names (display name, given name, surname, file-as, the address's display name)
    // and the nickname; home phone, title, company, notes.
    const Message& john = messages["John Smith"];
    EXPECT_TRUE(john.Has("T3A06", "\"John\""));
    EXPECT_TRUE(john.Has("T3A11", "\"Smith\""));
    EXPECT_TRUE(john.Has("A8005", "\"Smith, John\""));
    EXPECT_TRUE(john.Has("T3A4F", "\"jsmith\""));
    EXPECT_TRUE(john.Has("T3A09", "\"+1 555 0100\""));
    EXPECT_TRUE(john.Has("T3A17", "\"Buyer\""));
    EXPECT_TRUE(john.Has("T3A16", "\"Acme Widgets\""));
    EXPECT_TRUE(john.Has("T1000", "\"Met at the 2003 trade fair.\""));
    EXPECT_TRUE(john.Has("A8080", "\"John Smith\""));
    // A home mailing address: parts, whole text, and the mailing copy.
    const Message& mary = messages["Mary Jones"];
    EXPECT_TRUE(mary.Has("T3A5D", "\"12 Elm Street\\r\\nApt 4B\""));
    EXPECT_TRUE(mary.Has("T3A59", "\"Springfield\""));
    EXPECT_TRUE(mary.Has("T3A5C", "\"IL\""));
    EXPECT_TRUE(mary.Has("T3A5B", "\"62704\""));
    EXPECT_TRUE(mary.Has("T3A5A", "\"USA\""));
    EXPECT_TRUE(
        mary.Has("A801A", "\"12 Elm Street\\r\\nApt 4B\\r\\nSpringfield, IL 62704\\r\\nUSA\""));
    EXPECT_TRUE(mary.Has("A8022", "1"));
    EXPECT_TRUE(mary.Has("T3A27", "\"Springfield\""));
    EXPECT_TRUE(
        mary.Has("T3A15", "\"12 Elm Street\\r\\nApt 4B\\r\\nSpringfield, IL 62704\\r\\nUSA\""));
    // Work set, phones, web page, three e-mail addresses and the provider list.
    const Message& carol = messages["Carol White"];
    EXPECT_TRUE(carol.Has("A8045", "\"1 Corporate Way\\r\\nSuite 200\""));
    EXPECT_TRUE(carol.Has("A8046", "\"Metropolis\""));
    EXPECT_TRUE(carol.Has("A8047", "\"NY\""));
    EXPECT_TRUE(carol.Has("A8048", "\"10001\""));
    EXPECT_TRUE(carol.Has("A8022", "2"));
    EXPECT_TRUE(carol.Has("T3A08", "\"212-555-0100\""));
    EXPECT_TRUE(carol.Has("T3A24", "\"212-555-0101\""));
    EXPECT_TRUE(carol.Has("T3A1C", "\"555-0177\""));
    EXPECT_TRUE(carol.Has("T3A1F", "\"555-0123 (cell)\""));
    EXPECT_TRUE(carol.Has("T3A50", "\"http://www.example.com/~carol\""));
    EXPECT_TRUE(carol.Has("A8093", "\"carol.white@home.example\""));
    EXPECT_TRUE(carol.Has("A8092", "\"SMTP\""));
    EXPECT_TRUE(carol.Has("A8090", "\"Carol White\""));
    EXPECT_TRUE(carol.Has("A80A3", "\"cw@oldjob.example\""));
    EXPECT_TRUE(carol.Has("A8028", "[0, 1, 2]"));
    EXPECT_TRUE(carol.Has("A8029", "7"));
    EXPECT_THAT(carol.json, HasSubstr("\"A8095\": \"00000000812B1FA4"));
    // A list's note follows its name.
    EXPECT_TRUE(messages["work-team"].Has(
        "T1000", "\"work-team\\r\\nWeekly status list.\\r\\nAsk Carol before adding people.\""));

    // readpst's vCards.
    const fs::path vcards = dir_ / "readpst";
    fs::create_directories(vcards);
    ASSERT_EQ(
        Shell("readpst -r -cv -8 -o " + Quote(vcards.string()) + " " + Quote(pst.string())).status,
        0);
    const std::string cards = ReadTree(vcards);
    EXPECT_THAT(cards, HasSubstr("\nN:Smith;John;"));
    EXPECT_THAT(cards, HasSubstr("TEL;TYPE=home,voice:+1 555 0100"));
    EXPECT_THAT(cards, HasSubstr("ORG:Acme Widgets"));
    EXPECT_THAT(cards, HasSubstr("NOTE:Met at the 2003 trade fair."));
    EXPECT_THAT(cards,
                HasSubstr("ADR;TYPE=home:;;12 Elm Street\\nApt 4B;Springfield;IL;62704;USA"));
    EXPECT_THAT(cards,
                HasSubstr("ADR;TYPE=work:;;1 Corporate Way\\nSuite 200;Metropolis;NY;10001"));
    EXPECT_THAT(cards, HasSubstr("EMAIL:cw@oldjob.example"));
    EXPECT_THAT(cards, HasSubstr("TEL;TYPE=cell,voice:555-0177"));

    // pffexport's item texts.
    const fs::path pff = dir_ / "pff";
    ASSERT_EQ(
        Shell("pffexport -m items -f text -q -t " + Quote(pff.string()) + " " + Quote(pst.string()))
            .status,
        0);
    const std::string items = ReadTree(fs::path(pff.string() + ".export"));
    EXPECT_THAT(items, HasSubstr("Email address 2:\t\t\tcarol.white@home.example"));
    EXPECT_THAT(items, HasSubstr("Business fax number:\t\t\t212-555-0101"));
    EXPECT_THAT(items, HasSubstr("Locality:\t\t\t\tMetropolis"));
}

TEST_F(BooksBinaryTest, NicknameMembersBecomeWrappedEntryIdsOfTheItems) {
    const std::string book = WriteFile("book/NNdbase.txt",
                                       "alias ann ann@example.com\r\n"
                                       "note ann <name:Ann Lee>\r\n"
                                       "alias all ann, \"big bob\", kids, all, nobody\r\n"
                                       "alias \"Big Bob\" bob@example.com\r\n"
                                       "alias kids all, ANN\r\n");
    std::string log;
    const fs::path pst = Export("--file " + Quote(book), &log);
    ASSERT_FALSE(pst.empty());
    EXPECT_THAT(log, HasSubstr("+ Creating Group : all\n"
                               "     ! Unknown nickname kept as an address: nobody\n"
                               "     - Saved 5 Members in Group...\n"));
    auto messages = Messages(pst);
    ASSERT_EQ(messages.size(), 4u);
    const long ann = messages["Ann Lee"].nid;
    const long bob = messages["Big Bob"].nid;
    const long kids = messages["kids"].nid;
    const long all = messages["all"].nid;
    // 0xC3 (195): a contact by its Email1; 0xB4 (180): a personal list. A list naming itself
    // and a word naming nothing are one-off members.
    EXPECT_EQ(Members(messages["all"]),
              "[[195, " + std::to_string(ann) + ", \"Ann Lee\", \"SMTP\", \"ann@example.com\"], " +
                  "[195, " + std::to_string(bob) +
                  ", \"Big Bob\", \"SMTP\", \"bob@example.com\"], " + "[180, " +
                  std::to_string(kids) + ", \"kids\", \"MAPIPDL\", \"\"], " +
                  "[null, null, \"all\", \"SMTP\", \"all\"], " +
                  "[null, null, \"nobody\", \"SMTP\", \"nobody\"]]}");
    // The cycle all -> kids -> all is stored once each way.
    EXPECT_EQ(Members(messages["kids"]),
              "[[180, " + std::to_string(all) + ", \"all\", \"MAPIPDL\", \"\"], [195, " +
                  std::to_string(ann) + ", \"Ann Lee\", \"SMTP\", \"ann@example.com\"]]}");
}

TEST_F(BooksBinaryTest, ExtraBooksOfTheDataFolderGetTheirOwnContactsFolders) {
    const fs::path prefix = dir_ / "wine prefix";
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("../drive_c", prefix / "dosdevices" / "c:");
    const fs::path data = "wine prefix/drive_c/Mail/Eudora";
    WriteFile(data / "NNdbase.txt", "alias me me@example.com\r\nalias both w, c\r\n");
    WriteFile(data / "Nickname/Work.txt", "alias w w@example.com\r\nnote w <company:Acme>\r\n");
    WriteFile(data / "Nickname/Club.nnt", "alias c c@example.com\r\nalias crew c, me\r\n");
    WriteFile(data / "Nickname/notes.doc", "alias x x@example.com\r\n");
    std::ofstream(prefix / "user.reg", std::ios::binary)
        << "WINE REGISTRY Version 2\n\n"
           "[Software\\\\Qualcomm\\\\Eudora\\\\CommandLine] 1796592664\n"
           R"("Current"="C:\\Eudora\\Eudora.exe C:\\Mail\\Eudora C:\\Mail\\Eudora\\Eudora.ini")"
           "\n";
    std::string log;
    const fs::path pst =
        Export("", &log, "WINEPREFIX=" + Quote(prefix.string()) + " HOME=" + Quote(dir_.string()));
    ASSERT_FALSE(pst.empty()) << log;
    EXPECT_THAT(log, HasSubstr("Creating Contact : 1 - me\n+ Creating Group : both\n"
                               "     - Saved 2 Members in Group...\n"
                               "Reading address book : Club\nCreating Contact : 2 - c\n"
                               "+ Creating Group : crew\n     - Saved 2 Members in Group...\n"
                               "Reading address book : Work\nCreating Contact : 3 - w\n"
                               "Finished...\n"));
    auto messages = Messages(pst);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages["me"].folder, "Contacts");
    EXPECT_EQ(messages["both"].folder, "Contacts");
    EXPECT_EQ(messages["c"].folder, "Club");
    EXPECT_EQ(messages["crew"].folder, "Club");
    EXPECT_EQ(messages["w"].folder, "Work");
    EXPECT_TRUE(messages["w"].Has("T3A16", "\"Acme\""));
    EXPECT_THAT(Members(messages["both"]), HasSubstr("[195, " + std::to_string(messages["w"].nid)));
    EXPECT_THAT(Members(messages["both"]), HasSubstr("[195, " + std::to_string(messages["c"].nid)));
    EXPECT_THAT(Members(messages["crew"]),
                HasSubstr("[195, " + std::to_string(messages["me"].nid)));

    const Shelled tree = Shell(std::string(TARVELLE_PYTHON) + " " +
                               Quote(std::string(TARVELLE_SHARED_DIR) + "/tools/pstwalk.py") +
                               " tree " + Quote(pst.string()));
    EXPECT_EQ(tree.status, 0) << tree.out;
    std::size_t contactFolders = 0;
    for (auto at = tree.out.find("class='IPF.Contact'"); at != std::string::npos;
         at = tree.out.find("class='IPF.Contact'", at + 1)) {
        ++contactFolders;
    }
    EXPECT_EQ(contactFolders, 3u) << tree.out;
}

}  // namespace

#endif  // _WIN32
