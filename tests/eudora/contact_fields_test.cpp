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
    EXPECT_EQ(none.nickname + "|" + none.emailDisplayName.value_or("-"), "bob|Bob B");
    EXPECT_TRUE(!none.body && none.mailing == MailingAddress::None && none.Mailing() == nullptr);
    EXPECT_FALSE(MapContactFields("bob", nullptr).emailDisplayName);
}

TEST(ContactFields, LineBreaksInsideAFieldAreKeptAndAtItsEdgesDropped) {
    const ContactFields f =
        Map("<phone:\x03 555\x03\x03"
            "123 \x03><fax:\x03\x03><title:\tHead\x03of IT\r\n>"
            "<company:Acme>");
    EXPECT_EQ(f.homePhone, "555\r\n\r\n123");
    EXPECT_EQ(f.homeFax, std::nullopt) << "only line breaks: no value";
    EXPECT_EQ(f.title, "Head\r\nof IT");
    EXPECT_EQ(f.company, "Acme");
    EXPECT_EQ(DecodeLineBreaks("\x03"
                               "a\x03\x03"
                               "b\x03"),
              "\r\na\r\n\r\nb\r\n");
    EXPECT_EQ(DecodeLineBreaks("plain"), "plain");
}

TEST(ContactFields, PrimaryChoosesTheMailingSetAndPostalTextLeavesOutMissingParts) {
    const std::string both = "<city:Home Town><city2:Work Town>";
    // `primary` naming a set without a postal address falls back to the one that has it.
    // clang-format off
    const std::pair<std::string, MailingAddress> rows[] = {
        {both, MailingAddress::Home}, {both + "<primary:WORK>", MailingAddress::Work},
        {both + "<primary:home>", MailingAddress::Home}, {"<primary:work><zip:1234>", MailingAddress::Home},
        {"<primary:home><country2:Norway>", MailingAddress::Work}, {"<primary:home><phone:1>", MailingAddress::None},
        {"<primary:office>" + both, MailingAddress::Home}};
    // clang-format on
    for (const auto& [note, mailing] : rows) EXPECT_EQ(Map(note).mailing, mailing) << note;
    // clang-format off
    const std::pair<PostalAddress, std::string> texts[] = {
        {{{}, "Oslo", {}, {}, {}}, "Oslo"}, {{{}, {}, "IL", "62704", {}}, "IL 62704"},
        {{{}, "Oslo", {}, "0150", "Norway"}, "Oslo, 0150\r\nNorway"}, {{"Main St", {}, {}, {}, "USA"}, "Main St\r\nUSA"},
        {{"12 Elm St\r\nApt 4B", "Springfield", "IL", "62704", "USA"}, "12 Elm St\r\nApt 4B\r\nSpringfield, IL 62704\r\nUSA"},
        {{}, ""}};
    // clang-format on
    for (const auto& [address, text] : texts) EXPECT_EQ(address.FullText(), text) << text;
    EXPECT_TRUE(PostalAddress{}.Empty());
}

TEST(ContactFields, WhatHasNoPropertyGoesToTheNotes) {
    const ContactFields c =
        Map("Old friend.\x03<otheremail:a@x.example, \"Doe, B\" <b@x.example>\x03 c@x.example,"
            "\"C Home\" <d@x.example>><otherphone:111\x03\x03 222 \x03"
            "333><otherweb:w1\x03w2>"
            "<mobile:m1><mobile2:m2><name:Ann>");
    ASSERT_EQ(c.otherEmails.size(), 2u);
    // Its own display part first, else the contact's name.
    EXPECT_EQ(c.otherEmails[0].address + c.otherEmails[0].displayName, "a@x.exampleAnn");
    EXPECT_EQ(c.otherEmails[1].address + c.otherEmails[1].displayName, "b@x.exampleDoe, B");
    EXPECT_EQ(c.otherPhone, "111");
    EXPECT_EQ(c.mobilePhone, "m1");
    EXPECT_EQ(c.body,
              "Old friend.\r\n\r\nWork mobile: m2\r\nOther e-mail: c@x.example\r\n"
              "Other e-mail: C Home <d@x.example>\r\nOther phone: 222\r\nOther phone: 333\r\n"
              "Other web page: w1\r\nOther web page: w2");

    // Without a display name anywhere, an address names itself; a lone work mobile is the mobile.
    const ContactFields bare = Map("<otheremail:z@x.example><mobile2:m2>");
    ASSERT_EQ(bare.otherEmails.size(), 1u);
    EXPECT_EQ(bare.otherEmails[0].displayName + bare.mobilePhone.value_or("-"), "z@x.examplem2");
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
    int n = 0;
    // clang-format off
    for (const char* line : {"alias carol \"Carol White\" <carol@example.com>", "alias dave dave@example.com (Dave Brown)",
                             "note dave <first:David><last:Brown>", "note ghost <phone:555>"})
        books.AddLine(main, ++n, line);
    // clang-format on
    books.Resolve();
    ASSERT_EQ(books.Entries().size(), 3u);
    // "nickname address display-name home-phone"; the note's name wins over the alias line's.
    // clang-format off
    const char* expected[] = {"carol carol@example.com Carol White -", "dave dave@example.com David Brown -",
                              "ghost  - 555"};
    // clang-format on
    for (std::size_t i = 0; i < 3; ++i) {
        const ContactFields f = MapEntryFields(books, books.Entries()[i]);
        EXPECT_EQ(f.nickname + " " + f.emailAddress + " " + f.emailDisplayName.value_or("-") + " " +
                      f.homePhone.value_or("-"),
                  expected[i]);
    }
}

TEST(DistListBody, NameThenNoteTextThenFields) {
    EXPECT_EQ(DistListBody("bob-list", std::nullopt), "bob-list");
    EXPECT_EQ(DistListBody(" my team", ParseNoteText("")), " my team");

    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"Weekly status list.\x03" "Ask Carol before adding people.\x03", "\r\nWeekly status list.\r\nAsk Carol before adding people."},
        {"<name:The Family>", "\r\nName: The Family"},
        {"<phone:555>Budget \xE2\x82\xAC" "500.<name:Amigos>", "\r\nBudget \xE2\x82\xAC" "500.\r\n\r\nName: Amigos\r\nPhone: 555"}};
    // clang-format on
    for (const auto& [note, body] : rows)
        EXPECT_EQ(DistListBody("list", ParseNoteText(note)), "list" + body);
}

}  // namespace
}  // namespace tarvelle::eudora
