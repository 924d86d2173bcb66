// What the verifier found in a file: one finding per defect, with where it is, and the counts
// of what the file holds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvelle::pst::verify {

// The file cannot be read as a PST at all (missing, unreadable, too short).
class ReadError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
// An ANSI (97-2002) file or another format version this verifier does not read.
class NotUnicodeError : public ReadError {
  public:
    using ReadError::ReadError;
};

enum class Severity : std::uint8_t { Warning, Error };

// Where a finding is: a node, a block, a page or other place in the file, or the header.
struct Location {
    enum class Kind : std::uint8_t { File, Header, Nid, Bid, Offset };
    Kind kind = Kind::File;
    std::uint64_t value = 0;

    static Location File() { return {}; }
    static Location Header() { return {Kind::Header, 0}; }
    static Location Node(std::uint32_t nid) { return {Kind::Nid, nid}; }
    static Location Block(std::uint64_t bid) { return {Kind::Bid, bid}; }
    static Location At(std::uint64_t offset) { return {Kind::Offset, offset}; }
    std::string ToString() const;  // "NID 0x21", "BID 0x1A4", "offset 0x4400", "header"
};

struct Finding {
    Severity severity = Severity::Error;
    Location location;
    std::string message;
    // "error: NID 0x21: text" / "warning: offset 0x4400: text".
    std::string ToString() const;
};

struct Counts {
    std::size_t folders = 0;
    std::size_t contacts = 0;
    std::size_t lists = 0;
    std::size_t members = 0;  // of all lists together
};

class Report {
  public:
    // Findings beyond this many are counted but not kept (a scrambled file finds one per block).
    static constexpr std::size_t kMaxKept = 10000;

    void Add(Severity severity, Location location, std::string message);
    void Error(Location location, std::string message) {
        Add(Severity::Error, location, std::move(message));
    }
    void Warning(Location location, std::string message) {
        Add(Severity::Warning, location, std::move(message));
    }

    const std::vector<Finding>& Findings() const { return findings_; }
    std::size_t Errors() const { return errors_; }
    std::size_t Warnings() const { return warnings_; }
    // Findings counted but not kept.
    std::size_t Dropped() const { return errors_ + warnings_ - findings_.size(); }

    Counts counts;

    // "NAME: 7 folders, 12 contacts, 4 lists, 31 members, 0 errors, 0 warnings".
    std::string Summary(const std::string& name) const;

  private:
    std::vector<Finding> findings_;
    std::size_t errors_ = 0;
    std::size_t warnings_ = 0;
};

// "0x" and upper-case hex digits.
std::string Hex(std::uint64_t value);
// A property tag as eight digits: "0x3001001F".
std::string TagText(std::uint32_t tag);

}  // namespace tarvelle::pst::verify
