// Real books read through the text-file layer and parsed line by line, as the export run does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "eudora/Nicknames.h"
#include "platform/Codepage.h"
#include "platform/TextFile.h"

namespace tarvelle {
namespace {

// Each nickname of the book as "C name: address (display)" for a contact or
// "G name: member, member (display)" for a group; every line must be one Eudora reads.
std::vector<std::string> Nicknames(const std::string& path) {
    SCOPED_TRACE(path);
    std::vector<std::string> out;
    auto reader = platform::DefaultTextFileOpener().Open(path);
    while (!reader->AtEndOfStream()) {
        const std::string line = reader->ReadLine();
        EXPECT_TRUE(eudora::IsAddressBookLine(line)) << line;
        if (!eudora::IsNicknameLine(line)) continue;
        const eudora::ParsedNickname parsed = eudora::ParseNicknameLine(line);
        EXPECT_TRUE(parsed.paired) << line;
        const bool group = parsed.kind == eudora::NicknameKind::Group;
        std::string text = (group ? "G " : "C ") + parsed.name + ":";
        const auto addresses = group ? eudora::SplitMembers(parsed.addressText)
                                     : std::vector{eudora::ParseAddress(parsed.addressText)};
        for (const auto& a : addresses) {
            text += (&a == &addresses[0] ? " " : ", ") + a.address;
            if (!a.displayName.empty()) text += " (" + a.displayName + ")";
        }
        out.push_back(text);
    }
    return out;
}

std::string Book(const std::string& name) {
    return std::string(TARVELLE_SOURCE_DIR) + "/tests/data/books/" + name + "/NNdbase.txt";
}

using Lines = std::vector<std::string>;

TEST(NicknameBooksTest, SampleBooksGiveTheirNicknamesAndAddresses) {
    const bool ansi1252 = platform::DecodeAnsi("\xE9") == "\xC3\xA9";
    const struct {
        std::string book;
        Lines nicknames;
    } books[] = {
        // clang-format off
        {"typical", {"C pmorgan: priya.morgan@example.com", "C Tom Reyes: tom.reyes@example.org", "C nadia: nadia@example.com (Nadia Quinn)",
                     "G cousins: aunt@example.net, uncle@example.net, cousin@example.com", "C leo: leo@example.com",
                     "G design-team: pmorgan, Tom Reyes, nadia, ivy@example.com", "C digest: digest@lists.example.com (Weekly Digest)",
                     "C ivy: ivy@example.com (Ivy Chen)"}},
        // The second item of studio-team files a copy in a mailbox: one address is left.
        {"windows-1252", {"C In\u00e8s A\u00f1\u00f3n: ines.anon@example.es", "C k\u00f6hler: jens.koehler@example.de",
                          "C am\u00e9lie: ad@example.fr (Am\u00e9lie Dufresne)",
                          "G voisins: In\u00e8s A\u00f1\u00f3n, k\u00f6hler, soren@example.dk (S\u00f8ren \u00c5g\u00e5rd)",
                          "C studio-team: lena@studio.example"}},
        {"importer", {"C Mark_Ellis: mark.ellis@example.com", "C Rita_Ng: rita.ng@example.com", "C Rita_Ng2: rita.ng@other.example",
                      "G Reading_Group: Mark_Ellis, Rita_Ng, Rita_Ng2"}},
        {"utf8-bom", {"C laerke: laerke@example.dk (L\u00e6rke \u00d8stergaard)", "C mats: m\u00e4ts@example.se"}},
        // clang-format on
    };
    for (const auto& b : books) {
        if (b.book == "windows-1252" && !ansi1252) continue;
        EXPECT_EQ(Nicknames(Book(b.book)), b.nicknames) << b.book;
    }
}

TEST(NicknameBooksTest, BundledExampleBook) {
    if (platform::DecodeAnsi("\xE9") != "\xC3\xA9") GTEST_SKIP() << "ANSI code page is not 1252";
    const Lines n = Nicknames(std::string(TARVELLE_SOURCE_DIR) + "/examples/NNdbase.txt");
    ASSERT_EQ(n.size(), 22u);
    EXPECT_EQ(std::count_if(n.begin(), n.end(), [](auto& s) { return s[0] == 'C'; }), 19);
    EXPECT_EQ(n[2], "C chloe: chloe.martin@example.fr (Chlo\u00e9 Martin)");
    EXPECT_EQ(n[6], "C G\u00fcnter Vogel: guenter.vogel@example.de");
    EXPECT_EQ(n.back(),
              "G project-falcon: anna.becker@example.com (Anna Becker), "
              "ben.ortiz@example.org (Ortiz, Ben), kwame.mensah@example.org (Kwame Mensah)");
}

}  // namespace
}  // namespace tarvelle
