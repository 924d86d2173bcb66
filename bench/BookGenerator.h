// Address books of any size, shaped like a large one Eudora for Windows wrote: Windows-1252 with
// CR LF line ends; nine nicknames in ten are contacts (three in five with a note of fields and
// free text, some accented names, a few without an address), one in ten a group of 2 to 30
// members, two in five of them nicknames of contacts written without quotes. Nicknames come in
// random order, so many groups name contacts defined after them. The same count and seed always
// give the same bytes. All people and addresses are invented.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace tarvelle::bench {

class BookGenerator {
  public:
    explicit BookGenerator(std::uint64_t seed = 20240501) : state_(seed) {}

    std::string Generate(std::uint32_t nicknames) {
        const std::uint32_t groups = (nicknames + 5) / 10;
        std::vector<std::string> blocks;  // a nickname's alias line and its note line
        std::vector<std::string> contacts;
        for (std::uint32_t i = 0; i + groups < nicknames; ++i) {
            const Person p = RandomPerson();
            const std::string nick = Nickname(p);
            std::string block;
            if (Chance(5)) {
                block = "alias " + Quoted(nick) + " \r\n";  // only a note names this person
            } else {
                block = "alias " + Quoted(nick) + " " + AddressForm(p, Email(p)) + "\r\n";
                contacts.push_back(nick);
            }
            if (Chance(600)) block += "note " + Quoted(nick) + " " + ContactNote(p) + "\r\n";
            blocks.push_back(std::move(block));
        }
        static const char* const kGroupNames[] = {"team",   "list",     "club",     "project",
                                                  "family", "Board of", "Class of", "friends"};
        for (std::uint32_t i = 0; i < groups; ++i) {
            const std::string base = Pick(kGroupNames);
            const std::string nick = Unique(
                base + (base.find(' ') == std::string::npos ? "-" : " ") + std::to_string(i));
            const std::string separator = Chance(300) ? ", " : ",";
            std::string block = "alias " + Quoted(nick) + " ";
            for (std::uint32_t m = 0, count = 2 + Next(29); m < count; ++m) {
                if (m > 0) block += separator;
                if (!contacts.empty() && Chance(400)) {
                    block += contacts[Next(static_cast<std::uint32_t>(contacts.size()))];
                } else {
                    const Person p = RandomPerson();
                    block += AddressForm(p, Email(p));
                }
            }
            block += "\r\n";
            if (Chance(300)) {
                block += "note " + Quoted(nick) + " <name:" + nick + ">" +
                         (Chance(500) ? "Mailing list.\003Do not reply-all." : "") + "\r\n";
            }
            blocks.push_back(std::move(block));
        }
        for (std::size_t i = blocks.size(); i > 1; --i) {
            std::swap(blocks[i - 1], blocks[Next(static_cast<std::uint32_t>(i))]);
        }
        std::string book;
        for (const std::string& block : blocks) book += block;
        return book;
    }

  private:
    struct Name {
        const char* text;   // Windows-1252
        const char* ascii;  // for e-mail addresses
    };
    struct Person {
        Name first;
        Name last;
    };

    std::uint32_t Next(std::uint32_t below) {
        state_ = state_ * 6364136223846793005u + 1442695040888963407u;
        return static_cast<std::uint32_t>((state_ >> 33) % below);
    }
    bool Chance(std::uint32_t perMille) { return Next(1000) < perMille; }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Next(N)];
    }

    Person RandomPerson() {
        static const Name kFirst[] = {
            {"James", "james"},     {"Mary", "mary"},       {"John", "john"},
            {"Linda", "linda"},     {"Robert", "robert"},   {"Susan", "susan"},
            {"Michael", "michael"}, {"Karen", "karen"},     {"David", "david"},
            {"Nancy", "nancy"},     {"Daniel", "daniel"},   {"Helen", "helen"},
            {"Paul", "paul"},       {"Ruth", "ruth"},       {"Kevin", "kevin"},
            {"Laura", "laura"},     {"Brian", "brian"},     {"Emily", "emily"},
            {"George", "george"},   {"Dorothy", "dorothy"}, {"Edward", "edward"},
            {"Amy", "amy"}};
        static const Name kLast[] = {{"Smith", "smith"},    {"Johnson", "johnson"},
                                     {"Brown", "brown"},    {"Garcia", "garcia"},
                                     {"Miller", "miller"},  {"Davis", "davis"},
                                     {"Wilson", "wilson"},  {"Taylor", "taylor"},
                                     {"Moore", "moore"},    {"Martin", "martin"},
                                     {"Lee", "lee"},        {"Perez", "perez"},
                                     {"White", "white"},    {"Clark", "clark"},
                                     {"Lewis", "lewis"},    {"Walker", "walker"},
                                     {"Young", "young"},    {"King", "king"},
                                     {"Hill", "hill"},      {"Green", "green"},
                                     {"O'Brien", "obrien"}, {"Van der Berg", "vanderberg"}};
        static const Name kFirstAccented[] = {
            {"Jos\xE9", "jose"},     {"Zo\xEB", "zoe"},       {"Fran\xE7oise", "francoise"},
            {"J\xFCrgen", "jurgen"}, {"S\xF8ren", "soren"},   {"In\xE8s", "ines"},
            {"Bj\xF6rn", "bjorn"},   {"\xC5ngela", "angela"}, {"\xC9lodie", "elodie"}};
        static const Name kLastAccented[] = {
            {"N\xFA\361ez", "nunez"},    {"M\xFCller", "muller"},  {"Br\xE9tigny", "bretigny"},
            {"\330degaard", "odegaard"}, {"K\xF6hler", "kohler"},  {"Gon\347alves", "goncalves"},
            {"\xC5str\xF6m", "astrom"},  {"Strau\xDF", "strauss"}, {"\x8Cuvrard", "oeuvrard"}};
        if (Chance(80)) {
            return {Pick(kFirstAccented), Chance(700) ? Pick(kLastAccented) : Pick(kLast)};
        }
        return {Pick(kFirst), Pick(kLast)};
    }

    // Nicknames are unique without regard to case; a taken one gets a number.
    std::string Unique(const std::string& base) {
        std::string nick = base;
        for (int& n = taken_[Lower(base)]; !used_.insert(Lower(nick)).second;) {
            nick = base + std::to_string(++n + 1);
        }
        return nick;
    }
    static std::string Lower(std::string text) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return text;
    }
    static std::string Quoted(const std::string& nick) {
        return nick.find(' ') == std::string::npos ? nick : "\"" + nick + "\"";
    }

    std::string Nickname(const Person& p) {
        const std::uint32_t style = Next(100);
        if (style < 45) return Unique(std::string(1, p.first.ascii[0]) + p.last.ascii);
        if (style < 75) return Unique(std::string(p.first.text) + " " + p.last.text);
        if (style < 90) return Unique(std::string(p.first.ascii) + "." + p.last.ascii);
        return Unique(p.first.text);
    }

    std::string Email(const Person& p) {
        static const char* const kDomains[] = {"example.com",  "example.org",  "example.net",
                                               "mail.example", "corp.example", "uni.example.edu",
                                               "isp.test",     "post.test"};
        std::string local;
        switch (Next(3)) {
            case 0:
                local = std::string(p.first.ascii) + "." + p.last.ascii;
                break;
            case 1:
                local = std::string(1, p.first.ascii[0]) + p.last.ascii;
                break;
            default:
                local = std::string(p.last.ascii) + std::to_string(1 + Next(99));
                break;
        }
        return local + "@" + Pick(kDomains);
    }

    // As people write addresses: bare, with a quoted display name, or with a comment.
    std::string AddressForm(const Person& p, const std::string& address) {
        const std::uint32_t form = Next(100);
        if (form < 70) return address;
        const std::string name = std::string(p.first.text) + " " + p.last.text;
        if (form < 92) {
            const std::string shown =
                Chance(200) ? std::string(p.last.text) + ", " + p.first.text : name;
            return "\"" + shown + "\" <" + address + ">";
        }
        return address + " (" + name + ")";
    }

    std::string ContactNote(const Person& p) {
        static const char* const kCities[] = {"Springfield", "Metropolis", "M\xE1laga",
                                              "M\xFCnchen",  "Z\xFCrich",  "Qu\351bec"};
        static const char* const kStates[] = {"IL", "NY", "CA", "BY", "ZH", "QC"};
        static const char* const kStreets[] = {"Elm", "Oak", "Main", "Mill"};
        static const char* const kCountries[] = {"USA",     "Germany", "Espa\361a",
                                                 "Schweiz", "Canada",  "France"};
        static const char* const kTitles[] = {"Buyer", "Director", "Engineer", "R&D Manager"};
        static const char* const kCompanies[] = {"Acme Widgets", "Example Corp", "Globex",
                                                 "M\xFCller & S\xF6hne GmbH"};
        static const char* const kTexts[] = {
            "Met at the trade fair.", "Prefers phone calls.", "Budget \200500.",
            "Call before 18:00 \x96 office closes early.", "\x93VIP\x94 customer."};
        std::vector<std::pair<std::string, std::string>> fields;
        const std::string first = p.first.text;
        const std::string last = p.last.text;
        if (Chance(900))
            fields.emplace_back("name", Chance(200) ? last + ", " + first : first + " " + last);
        if (Chance(600)) {
            fields.emplace_back("first", first);
            fields.emplace_back("last", last);
        }
        if (Chance(500)) fields.emplace_back("phone", "+1 555 " + Digits(4));
        if (Chance(250)) fields.emplace_back("mobile", "555-" + Digits(4));
        if (Chance(300)) {
            fields.emplace_back("address", std::to_string(1 + Next(999)) + " " + Pick(kStreets) +
                                               " Street\003Apt " + std::to_string(1 + Next(40)));
            fields.emplace_back("city", Pick(kCities));
            fields.emplace_back("state", Pick(kStates));
            fields.emplace_back("zip", Digits(5));
            fields.emplace_back("country", Pick(kCountries));
        }
        if (Chance(200)) {
            fields.emplace_back("company", Pick(kCompanies));
            fields.emplace_back("title", Pick(kTitles));
            fields.emplace_back("phone2", "212-555-" + Digits(4));
        }
        if (Chance(100)) fields.emplace_back("otheremail", Email(p) + "\x03" + Email(p));
        if (Chance(100))
            fields.emplace_back("web", "http://www.example.com/~" + std::string(p.last.ascii));
        if (Chance(150)) fields.emplace_back("primary", Chance(500) ? "home" : "work");
        // Eudora puts a new field first, so their order varies from note to note.
        for (std::size_t i = fields.size(); i > 1; --i) {
            std::swap(fields[i - 1], fields[Next(static_cast<std::uint32_t>(i))]);
        }
        std::string note;
        for (const auto& [tag, value] : fields) note += "<" + tag + ":" + value + ">";
        if (Chance(200)) {
            note += Pick(kTexts);
            if (Chance(300)) note += std::string("\x03") + Pick(kTexts);
        }
        return note;
    }

    std::string Digits(int count) {
        std::string digits;
        for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + Next(10));
        return digits;
    }

    std::uint64_t state_;
    std::unordered_set<std::string> used_;
    std::unordered_map<std::string, int> taken_;  // numbers given to a nickname so far
};

}  // namespace tarvelle::bench
