#include "eudora/Notes.h"

#include <gtest/gtest.h>

namespace tarvelle::eudora {
namespace {

std::string FieldOr(const Note& note, NoteField field, std::string fallback = "<absent>") {
    return note.Field(field).value_or(fallback);
}

TEST(NoteLine, NicknameIsReadAsOnAliasLines) {
    auto plain = ParseNoteLine("note jsmith <name:John Smith>Met at the fair.");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->nickname, "jsmith");
    EXPECT_EQ(plain->text, "<name:John Smith>Met at the fair.");

    auto quoted = ParseNoteLine("note \"Mary Jones\" <primary:home>");
    ASSERT_TRUE(quoted);
    EXPECT_EQ(quoted->nickname, "Mary Jones");
    EXPECT_EQ(quoted->text, "<primary:home>");

    // Extra spaces around the nickname and the text do not change either.
    auto spaced = ParseNoteLine("note   bob    free text  ");
    ASSERT_TRUE(spaced);
    EXPECT_EQ(spaced->nickname, "bob");
    EXPECT_EQ(spaced->text, "free text");

    // Text may follow a closing quote directly.
    auto tight = ParseNoteLine("note \"a b\"<city:X>");
    ASSERT_TRUE(tight);
    EXPECT_EQ(tight->nickname, "a b");
    EXPECT_EQ(tight->text, "<city:X>");

    // A quote that never closes: the nickname runs to the next space, quotes removed.
    auto open = ParseNoteLine("note \"ann rest");
    ASSERT_TRUE(open);
    EXPECT_EQ(open->nickname, "ann");
    EXPECT_EQ(open->text, "rest");

    auto bare = ParseNoteLine("note carol");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->nickname, "carol");
    EXPECT_EQ(bare->text, "");
}

TEST(NoteLine, LinesThatAreNotNotesOrNameNothing) {
    EXPECT_FALSE(ParseNoteLine("alias bob bob@example.com"));
    EXPECT_FALSE(ParseNoteLine(" note bob text"));  // the keyword is matched as alias lines are
    EXPECT_FALSE(ParseNoteLine("notes bob text"));
    EXPECT_FALSE(ParseNoteLine("note"));
    EXPECT_FALSE(ParseNoteLine("note "));
    EXPECT_FALSE(ParseNoteLine("note \"\" text"));
    EXPECT_FALSE(ParseNoteLine("note \" \" text"));
}

TEST(NoteText, FieldsAndFreeTextOfTheSampleBook) {
    const Note note = ParseNoteText(
        "<title:Buyer><company:Acme Widgets><phone:+1 555 0100><last:Smith><first:John>"
        "<name:John Smith>Met at the 2003 trade fair.");
    EXPECT_EQ(FieldOr(note, NoteField::Title), "Buyer");
    EXPECT_EQ(FieldOr(note, NoteField::Company), "Acme Widgets");
    EXPECT_EQ(FieldOr(note, NoteField::Phone), "+1 555 0100");
    EXPECT_EQ(FieldOr(note, NoteField::Last), "Smith");
    EXPECT_EQ(FieldOr(note, NoteField::First), "John");
    EXPECT_EQ(FieldOr(note, NoteField::Name), "John Smith");
    EXPECT_EQ(note.freeText, "Met at the 2003 trade fair.");
    EXPECT_FALSE(note.Field(NoteField::Address));
    EXPECT_FALSE(note.Empty());
}

TEST(NoteText, EveryRegisteredTagIsAFieldWhateverItsCase) {
    for (std::size_t i = 0; i < kNoteFieldCount; ++i) {
        const auto field = static_cast<NoteField>(i);
        std::string tag(NoteFieldTag(field));
        ASSERT_EQ(NoteFieldFromTag(tag), field) << tag;
        tag[0] = static_cast<char>(tag[0] - 'a' + 'A');
        const Note note = ParseNoteText("<" + tag + ":v" + std::to_string(i) + ">");
        EXPECT_EQ(FieldOr(note, field), "v" + std::to_string(i)) << tag;
        EXPECT_EQ(note.freeText, "") << tag;
    }
    EXPECT_FALSE(NoteFieldFromTag("notes"));
    EXPECT_FALSE(NoteFieldFromTag("address3"));
    EXPECT_FALSE(NoteFieldFromTag(""));
}

TEST(NoteText, FirstOccurrenceWinsAndRepetitionsLeaveNoText) {
    // Eudora's own importer writes phone and address twice.
    const Note note = ParseNoteText(
        "Golf on Fridays.\x03<phone:555-0100><address:1 Main St\x03Unit 2><PHONE:555-9999>"
        "<address:elsewhere>[Work Department] Purchasing\x03\x03");
    EXPECT_EQ(FieldOr(note, NoteField::Phone), "555-0100");
    EXPECT_EQ(FieldOr(note, NoteField::Address), "1 Main St\x03Unit 2");
    EXPECT_EQ(note.freeText, "Golf on Fridays.\x03[Work Department] Purchasing\x03\x03");
}

TEST(NoteText, UnknownBracketsStayInTheFreeText) {
    const Note note =
        ParseNoteText("Call <bp:Y> soon <picture:file:///x.jpg><no colon><>and<name:Ann>.");
    EXPECT_EQ(note.freeText, "Call <bp:Y> soon <picture:file:///x.jpg><no colon><>and.");
    EXPECT_EQ(FieldOr(note, NoteField::Name), "Ann");
}

TEST(NoteText, NestedBracketsBelongToTheValue) {
    const Note note = ParseNoteText("<name:Ann <the boss> Lee><web:<http://x.example/>>tail");
    EXPECT_EQ(FieldOr(note, NoteField::Name), "Ann <the boss> Lee");
    EXPECT_EQ(FieldOr(note, NoteField::Web), "<http://x.example/>");
    EXPECT_EQ(note.freeText, "tail");
}

TEST(NoteText, UnbalancedBrackets) {
    // A stray '>' ends the field early; the rest is free text.
    const Note early = ParseNoteText("<city:a>b><zip:1>");
    EXPECT_EQ(FieldOr(early, NoteField::City), "a");
    EXPECT_EQ(FieldOr(early, NoteField::Zip), "1");
    EXPECT_EQ(early.freeText, "b>");

    // A '<' that never closes is text, and fields after it are still found.
    const Note open = ParseNoteText("x < y <city:Oslo> end <state:");
    EXPECT_EQ(FieldOr(open, NoteField::City), "Oslo");
    EXPECT_FALSE(open.Field(NoteField::State));
    EXPECT_EQ(open.freeText, "x < y  end <state:");
}

TEST(NoteText, HugeLinesOfBracketsStayLinear) {
    // Every '<' unbalanced: scanning each one to the end of the line would never finish.
    const std::string opens(2'000'000, '<');
    const Note allOpen = ParseNoteText(opens + "<city:X>");
    EXPECT_EQ(allOpen.Field(NoteField::City), "X");
    EXPECT_EQ(allOpen.freeText, opens);

    std::string mixed;
    for (int i = 0; i < 200'000; ++i) mixed += "<a<b:";
    mixed += "<zip:1>";
    const Note nested = ParseNoteText(mixed);
    EXPECT_EQ(nested.Field(NoteField::Zip), "1");
    EXPECT_EQ(nested.freeText.size(), mixed.size() - 7);
}

TEST(NoteText, ValuesAreKeptAsStored) {
    // No trimming, colons after the first belong to the value, an empty value is present.
    const Note note = ParseNoteText("<web: http://a.example:8080/ ><fax:><state:IL>");
    EXPECT_EQ(FieldOr(note, NoteField::Web), " http://a.example:8080/ ");
    EXPECT_EQ(FieldOr(note, NoteField::Fax), "");
    EXPECT_FALSE(note.NonEmpty(NoteField::Fax));
    EXPECT_EQ(note.NonEmpty(NoteField::State), "IL");
    EXPECT_FALSE(note.Empty());
    EXPECT_TRUE(ParseNoteText("").Empty());
}

TEST(NoteText, LineBreaksDecodeToCrLf) {
    EXPECT_EQ(DecodeLineBreaks("12 Elm Street\x03"
                               "Apt 4B"),
              "12 Elm Street\r\nApt 4B");
    EXPECT_EQ(DecodeLineBreaks("\x03\x03"), "\r\n\r\n");
    EXPECT_EQ(DecodeLineBreaks("plain"), "plain");
}

}  // namespace
}  // namespace tarvelle::eudora
