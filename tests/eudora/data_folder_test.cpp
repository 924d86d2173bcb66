// How Eudora's command line splits into pieces. What the lookup makes of whole registry values,
// and what it shows, is tested over Wine's real hive files (tests/platform/registry_test.cpp).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "eudora/DataFolder.h"

namespace tarvelle::eudora {
namespace {

using Pieces = std::vector<std::string>;

TEST(SplitCommandLine, CutsAtEverySingleSpaceKeepingQuotedPiecesWhole) {
    const std::pair<std::string, Pieces> rows[] = {
        // clang-format off
        {"a b c", {"a", "b", "c"}}, {"a  b", {"a", "", "b"}}, {" a b", {"", "a", "b"}},
        {"a ", {"a", ""}}, {" ", {"", ""}}, {"word", {"word"}}, {"", {}},
        {"a\tb c", {"a\tb", "c"}},  // tabs are not separators
        // Quoted pieces lose their quotes; spacing around them follows the single-space rule.
        {R"("C:\Program Files\Eudora.exe" "C:\My Data\Eudora" x.ini)", {R"(C:\Program Files\Eudora.exe)", R"(C:\My Data\Eudora)", "x.ini"}},
        {R"(exe "C:\My Data")", {"exe", R"(C:\My Data)"}}, {R"(exe "")", {"exe", ""}},
        {R"("a b"  c)", {"a b", "", "c"}}, {R"( "a b")", {"", "a b"}},
        // Other quotes are ordinary characters: unclosed, inside a piece, or not followed by a
        // space or the end.
        {R"(exe "C:\My Data)", {"exe", R"("C:\My)", "Data"}},
        {R"(exe C:\a"b c")", {"exe", R"(C:\a"b)", R"(c")"}}, {R"(exe "a b"c d)", {"exe", R"("a)", R"(b"c)", "d"}},
        // clang-format on
    };
    for (const auto& [line, pieces] : rows) EXPECT_EQ(SplitCommandLine(line), pieces) << line;
}

}  // namespace
}  // namespace tarvelle::eudora
