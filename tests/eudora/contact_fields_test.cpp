#include <gtest/gtest.h>

#include <optional>

#include "eudora/ContactFields.h"

namespace tarvelle::eudora {
namespace {

ContactFields Map(std::string_view noteText, std::string_view nickname = "nick",
                  std::string_view addressDisplayName = {}) {
    const Note note = ParseNoteText(noteText);
    return MapContactFields(nickname, &note, addressDisplayName);
}

TEST(ContactFields, NamesAndDisplayNameSources) {
    // Expected: "given|middle|surname / full name / e-mail display name or -".
    const struct {
        std::string_view note, aliasDisplay, expected;
    } cases[] = {
        // clang-format off
        {"<first:John><last:Smith><name:John Smith>", "", "John||Smith / John Smith / John Smith"},
        {"<first:Dave><last:Brown>", "Dave B.", "Dave||Brown / Dave Brown / Dave Brown"},
        {"<last:Brown><name: >", "", "||Brown / Brown / Brown"},
        // `first` and `last` win over `name`, which is shown as written.
        {"<first:John Q. Dr.><last:Smith><name:John Q. Smith Dr.>", "", "John Q. Dr.||Smith / John Q. Smith Dr. / John Q. Smith Dr."},
        // `name` alone is taken apart; "Surname, Given" is shown given name first.
        {"<name:Smith, John Paul>", "", "John|Paul|Smith / John Paul Smith / John Paul Smith"},
        {"<name: John  Paul Smith >", "", "John|Paul|Smith / John  Paul Smith / John  Paul Smith"},
        {"<name:Cher>", "", "Cher|| / Cher / Cher"},
        // No name in the note: the alias line's display part names the address only.
        {"free text", "Dave Brown", "|| /  / Dave Brown"},
        {"free text", "  ", "|| /  / -"},
        {"", "", "|| /  / -"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const ContactFields f = Map(c.note, "nick", c.aliasDisplay);
        EXPECT_EQ(f.name.given + "|" + f.name.middle + "|" + f.name.surname + " / " + f.fullName +
                      " / " + f.emailDisplayName.value_or("-"),
                  c.expected)
            << c.note;
    }

    const ContactFields none = MapContactFields("bob", nullptr, "Bob B");
    EXPECT_EQ(none.nickname, "bob");
    EXPECT_EQ(none.emailDisplayName, "Bob B");
    EXPECT_FALSE(none.body);
    EXPECT_EQ(none.mailing, MailingAddress::None);
    EXPECT_EQ(none.Mailing(), nullptr);
    EXPECT_FALSE(MapContactFields("bob", nullptr).emailDisplayName);
}

TEST(ContactFields, PrimaryChoosesTheMailingSet) {
    const std::string both = "<city:Home Town><city2:Work Town>";
    EXPECT_EQ(Map(both).mailing, MailingAddress::Home);
    EXPECT_EQ(Map(both + "<primary:WORK>").mailing, MailingAddress::Work);
    EXPECT_EQ(Map(both + "<primary:home>").mailing, MailingAddress::Home);
    // `primary` naming a set without a postal address falls back to the one that has it.
    EXPECT_EQ(Map("<primary:work><zip:1234>").mailing, MailingAddress::Home);
    EXPECT_EQ(Map("<primary:home><country2:Norway>").mailing, MailingAddress::Work);
    EXPECT_EQ(Map("<primary:home><phone:1>").mailing, MailingAddress::None);
    EXPECT_EQ(Map("<primary:office>" + both).mailing, MailingAddress::Home);
}

TEST(ContactFields, FullPostalTextWithPartsMissing) {
    EXPECT_EQ((PostalAddress{{}, "Oslo", {}, {}, {}}).FullText(), "Oslo");
    EXPECT_EQ((PostalAddress{{}, {}, "IL", "62704", {}}).FullText(), "IL 62704");
    EXPECT_EQ((PostalAddress{{}, "Oslo", {}, "0150", "Norway"}).FullText(), "Oslo, 0150\r\nNorway");
    EXPECT_EQ((PostalAddress{"Main St", {}, {}, {}, "USA"}).FullText(), "Main St\r\nUSA");
    EXPECT_EQ(
        (PostalAddress{"12 Elm St\r\nApt 4B", "Springfield", "IL", "62704", "USA"}).FullText(),
        "12 Elm St\r\nApt 4B\r\nSpringfield, IL 62704\r\nUSA");
    EXPECT_EQ(PostalAddress{}.FullText(), "");
    EXPECT_TRUE(PostalAddress{}.Empty());
}

TEST(ContactFields, WhatHasNoPropertyGoesToTheNotes) {
    const ContactFields c =
        Map("Old friend.\x03<otheremail:a@x.example, \"Doe, B\" <b@x.example>\x03 c@x.example,"
            "\"C Home\" <d@x.example>><otherphone:111\x03\x03 222 \x03"
            "333><otherweb:w1\x03w2>"
            "<mobile:m1><mobile2:m2><name:Ann>");
    ASSERT_EQ(c.otherEmails.size(), 2u);
    EXPECT_EQ(c.otherEmails[0].address, "a@x.example");
    EXPECT_EQ(c.otherEmails[0].displayName, "Ann");
    EXPECT_EQ(c.otherEmails[1].address, "b@x.example");
    EXPECT_EQ(c.otherEmails[1].displayName, "Doe, B");  // its own display part first
    EXPECT_EQ(c.otherPhone, "111");
    EXPECT_EQ(c.mobilePhone, "m1");
    EXPECT_EQ(c.body,
              "Old friend.\r\n\r\n"
              "Work mobile: m2\r\n"
              "Other e-mail: c@x.example\r\n"
              "Other e-mail: C Home <d@x.example>\r\n"
              "Other phone: 222\r\n"
              "Other phone: 333\r\n"
              "Other web page: w1\r\n"
              "Other web page: w2");

    // Without a display name anywhere, an address names itself; a lone work mobile is the mobile.
    const ContactFields bare = Map("<otheremail:z@x.example><mobile2:m2>");
    ASSERT_EQ(bare.otherEmails.size(), 1u);
    EXPECT_EQ(bare.otherEmails[0].displayName, "z@x.example");
    EXPECT_EQ(bare.mobilePhone, "m2");
    EXPECT_FALSE(bare.body);
    // Free text first, as Eudora's importer writes it: the trailing line breaks go, inner ones
    // stay.
    EXPECT_EQ(Map("Golf on Fridays.\x03<phone:1>[Work Department] Purchasing\x03\x03").body,
              "Golf on Fridays.\r\n[Work Department] Purchasing");
}

TEST(ContactFields, BlankValuesSetNothingAndTextIsTrimmed) {
    const ContactFields c = Map("<fax: ><phone:\x03><title>  <company:  Acme \x03>  \x03 ");
    EXPECT_FALSE(c.homeFax);
    EXPECT_FALSE(c.homePhone);
    EXPECT_FALSE(c.title);
    EXPECT_EQ(c.company, "Acme");
    EXPECT_EQ(c.body, "<title>");  // not a field: it has no colon
}

TEST(ContactFields, FromAnEntryOfTheBooks) {
    AddressBooks books;
    const std::size_t main = books.AddBook("NNdbase");
    books.AddLine(main, 1, "alias carol \"Carol White\" <carol@example.com>");
    books.AddLine(main, 2, "alias dave dave@example.com (Dave Brown)");
    books.AddLine(main, 3, "note dave <first:David><last:Brown>");
    books.AddLine(main, 4, "note ghost <phone:555>");
    books.Resolve();
    const auto& entries = books.Entries();
    ASSERT_EQ(entries.size(), 3u);

    const ContactFields carol = MapEntryFields(books, entries[0]);
    EXPECT_EQ(carol.emailAddress, "carol@example.com");
    EXPECT_EQ(carol.emailDisplayName, "Carol White");
    EXPECT_EQ(carol.nickname, "carol");

    const ContactFields dave = MapEntryFields(books, entries[1]);
    EXPECT_EQ(dave.emailAddress, "dave@example.com");
    EXPECT_EQ(dave.emailDisplayName, "David Brown");  // the note wins over the alias line

    const ContactFields ghost = MapEntryFields(books, entries[2]);
    EXPECT_EQ(ghost.emailAddress, "");
    EXPECT_EQ(ghost.homePhone, "555");
    EXPECT_FALSE(ghost.emailDisplayName);
}

TEST(DistListBody, NameThenNoteTextThenFields) {
    EXPECT_EQ(DistListBody("bob-list", std::nullopt), "bob-list");
    EXPECT_EQ(DistListBody(" my team", ParseNoteText("")), " my team");

    const Note team = ParseNoteText(
        "Weekly status list.\x03"
        "Ask Carol before adding people.\x03");
    EXPECT_EQ(DistListBody("work-team", team),
              "work-team\r\nWeekly status list.\r\nAsk Carol before adding people.");

    const Note family = ParseNoteText("<name:The Family>");
    EXPECT_EQ(DistListBody("family", family), "family\r\nName: The Family");

    const Note both = ParseNoteText(
        "<phone:555>Budget \xE2\x82\xAC"
        "500.<name:Amigos>");
    EXPECT_EQ(DistListBody("amigos", both),
              "amigos\r\nBudget \xE2\x82\xAC"
              "500.\r\n\r\nName: Amigos\r\nPhone: 555");
}

}  // namespace
}  // namespace tarvelle::eudora
