#include "eudora/Notes.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvelle::eudora {
namespace {

TEST(NoteLine, NicknameIsReadAsOnAliasLines) {
    // Expected: "nickname|text", or "-" for a line that is no note or names nothing.
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"note jsmith <name:John Smith>Met at the fair.", "jsmith|<name:John Smith>Met at the fair."},
        {"note \"Mary Jones\" <primary:home>", "Mary Jones|<primary:home>"}, {"note   bob    free text  ", "bob|free text"},
        {"note \"a b\"<city:X>", "a b|<city:X>"},  // text right after the quote
        {"note \"ann rest", "ann|rest"}, {"note carol", "carol|"},  // unclosed: up to the next space
        // The keyword is matched as on alias lines.
        {"alias bob bob@example.com", "-"}, {" note bob text", "-"}, {"notes bob text", "-"}, {"note", "-"}, {"note ", "-"},
        {"note \"\" text", "-"}, {"note \" \" text", "-"},
        // clang-format on
    };
    for (const auto& [line, expected] : rows) {
        const auto parsed = ParseNoteLine(line);
        EXPECT_EQ(parsed ? parsed->nickname + "|" + parsed->text : "-", expected) << line;
    }
}

// The note's fields in their registered order as "<tag:value>", then "|" and the free text.
std::string Describe(const Note& note) {
    std::string text;
    for (std::size_t i = 0; i < kNoteFieldCount; ++i) {
        const auto field = static_cast<NoteField>(i);
        if (note.Field(field))
            text += "<" + std::string(NoteFieldTag(field)) + ":" + *note.Field(field) + ">";
    }
    return text + "|" + note.freeText;
}

TEST(NoteText, FieldsAndFreeTextAndLineBreaksAsCrLf) {
    const std::pair<std::string, std::string> rows[] = {
        // clang-format off
        {"<title:Buyer><company:Acme Widgets><phone:+1 555 0100><last:Smith><first:John><name:John Smith>Met at the 2003 trade fair.",
         "<name:John Smith><first:John><last:Smith><phone:+1 555 0100><title:Buyer><company:Acme Widgets>|Met at the 2003 trade fair."},
        // The first occurrence wins, in any case; repetitions leave no text (Eudora's importer
        // writes phone and address twice).
        {"Golf.\x03<phone:555-0100><address:1 Main St\x03Unit 2><PHONE:555-9999><address:elsewhere>[Dept] Sales\x03\x03",
         "<address:1 Main St\x03Unit 2><phone:555-0100>|Golf.\x03[Dept] Sales\x03\x03"},
        {"Call <bp:Y> soon <picture:file:///x.jpg><no colon><>and<name:Ann>.",
         "<name:Ann>|Call <bp:Y> soon <picture:file:///x.jpg><no colon><>and."},
        // Nested brackets belong to the value; a stray '>' ends a field early; an unclosed '<' is text.
        {"<name:Ann <the boss> Lee><web:<http://x.example/>>tail", "<name:Ann <the boss> Lee><web:<http://x.example/>>|tail"},
        {"<city:a>b><zip:1>", "<city:a><zip:1>|b>"},
        {"x < y <city:Oslo> end <state:", "<city:Oslo>|x < y  end <state:"},
        // Values are kept as stored: no trimming, later colons included, empty ones present.
        {"<web: http://a.example:8080/ ><fax:><state:IL>", "<state:IL><fax:><web: http://a.example:8080/ >|"},
        {"", "|"},
        // clang-format on
    };
    for (const auto& [text, fields] : rows)
        EXPECT_EQ(Describe(ParseNoteText(text)), fields) << text;
    EXPECT_EQ(DecodeLineBreaks("12 Elm Street\x03"
                               "Apt 4B\x03\x03"),
              "12 Elm Street\r\nApt 4B\r\n\r\n");
}

TEST(NoteText, EveryRegisteredTagIsAFieldWhateverItsCase) {
    for (std::size_t i = 0; i < kNoteFieldCount; ++i) {
        const auto field = static_cast<NoteField>(i);
        std::string tag(NoteFieldTag(field));
        ASSERT_EQ(NoteFieldFromTag(tag), field) << tag;
        tag[0] = static_cast<char>(tag[0] - 'a' + 'A');
        const Note note = ParseNoteText("<" + tag + ":v" + std::to_string(i) + ">");
        EXPECT_EQ(note.Field(field), "v" + std::to_string(i)) << tag;
        EXPECT_EQ(note.freeText, "") << tag;
    }
    for (const char* tag : {"notes", "address3", ""}) EXPECT_FALSE(NoteFieldFromTag(tag)) << tag;
}

TEST(NoteText, HugeLinesOfBracketsStayLinear) {
    // Every '<' unbalanced: scanning each one to the end of the line would never finish.
    const std::string opens(2'000'000, '<');
    EXPECT_EQ(Describe(ParseNoteText(opens + "<city:X>")), "<city:X>|" + opens);
    std::string mixed;
    for (int i = 0; i < 200'000; ++i) mixed += "<a<b:";
    EXPECT_EQ(Describe(ParseNoteText(mixed + "<zip:1>")), "<zip:1>|" + mixed);
}

}  // namespace
}  // namespace tarvelle::eudora
