// How Eudora's command line splits into pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eudora/DataFolder.h"

namespace tarvelle::eudora {
namespace {

using Pieces = std::vector<std::string>;

TEST(SplitCommandLine, CutsAtEverySingleSpace) {
    EXPECT_EQ(SplitCommandLine("a b c"), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(SplitCommandLine("a  b"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(SplitCommandLine(" a b"), (Pieces{"", "a", "b"}));
    EXPECT_EQ(SplitCommandLine("a "), (Pieces{"a", ""}));
    EXPECT_EQ(SplitCommandLine(" "), (Pieces{"", ""}));
    EXPECT_EQ(SplitCommandLine("word"), (Pieces{"word"}));
    EXPECT_TRUE(SplitCommandLine("").empty());
    // Tabs are not separators.
    EXPECT_EQ(SplitCommandLine("a\tb c"), (Pieces{"a\tb", "c"}));
}

TEST(SplitCommandLine, KeepsQuotedPiecesWholeWithoutQuotes) {
    EXPECT_EQ(SplitCommandLine(R"("C:\Program Files\Eudora.exe" "C:\My Data\Eudora" x.ini)"),
              (Pieces{R"(C:\Program Files\Eudora.exe)", R"(C:\My Data\Eudora)", "x.ini"}));
    EXPECT_EQ(SplitCommandLine(R"(exe "C:\My Data")"), (Pieces{"exe", R"(C:\My Data)"}));
    EXPECT_EQ(SplitCommandLine(R"(exe "")"), (Pieces{"exe", ""}));
    // Spacing around quoted pieces follows the single-space rule.
    EXPECT_EQ(SplitCommandLine(R"("a b"  c)"), (Pieces{"a b", "", "c"}));
    EXPECT_EQ(SplitCommandLine(R"( "a b")"), (Pieces{"", "a b"}));
}

TEST(SplitCommandLine, TreatsOtherQuotesAsOrdinaryCharacters) {
    // No closing quote: the quote stays, the text splits as usual.
    EXPECT_EQ(SplitCommandLine(R"(exe "C:\My Data)"), (Pieces{"exe", R"("C:\My)", "Data"}));
    // A quote inside a piece.
    EXPECT_EQ(SplitCommandLine(R"(exe C:\a"b c")"), (Pieces{"exe", R"(C:\a"b)", R"(c")"}));
    // A closing quote not followed by a space or the end does not close a piece.
    EXPECT_EQ(SplitCommandLine(R"(exe "a b"c d)"), (Pieces{"exe", R"("a)", R"(b"c)", "d"}));
}

// What the lookup makes of whole registry values, and what it shows, is tested over Wine's real
// hive files (tests/platform/registry_test.cpp).

}  // namespace
}  // namespace tarvelle::eudora
