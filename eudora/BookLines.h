// A book's lines as the index and the export read them, in either of the layouts Eudora wrote.
//
// Since Eudora 4 a book holds one nickname or note per line ("alias NICK ADDRESSES",
// "note NICK TEXT"). Older books, which start with a line "<nick>", hold blocks instead: a line
// "<nick>" starts the nickname's address lines, each with one or more addresses; when the next
// "<...>" line names the same nickname, it starts the nickname's note lines. A block ends at the
// next line starting with '<'. A content line starting with '>' loses that '>' (how such a book
// keeps a content line that starts with '<').
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "eudora/Nicknames.h"

namespace tarvelle::eudora {

struct BookLine {
    enum class Kind {
        Line,     // a line of the alias/note layout: classify it with IsNicknameLine, IsNoteLine
        Aliases,  // an old-layout address block, its lines joined with ", " as one alias line
        Note,     // an old-layout note block, its lines joined with 0x03 (a stored line break)
        Stray,    // an old-layout line outside any block, or a '<' line that names no nickname
    };
    Kind kind = Kind::Line;
    int number = 0;             // the line it starts at, numbered from 1
    std::string_view nickname;  // Aliases and Note: the name between '<' and '>'
    std::string_view text;      // Line: the line itself; Aliases and Note: the joined content
};

// True when a book starting with this line is in the old layout: the line is "<nick>". Any
// other first line, even one starting with '<' ("<!-- ... -->"), leaves the book in the alias/note
// layout, so that a book edited by hand is never read as blocks it does not hold.
bool IsOldLayout(std::string_view firstLine);

// The name of an old-layout line "<nick>" (trailing blanks allowed; no '<' or '>' inside the
// name, which does not start with '/', '!' or '?' as markup does; spaces around it removed), or
// nothing for any other line.
std::optional<std::string_view> OldLayoutTag(std::string_view line);

// Turns a book's lines, in order, into BookLines. A line of the alias/note layout comes out as
// soon as it goes in; an old-layout block once the line after it (or End) shows it is complete.
class BookLineReader {
  public:
    // The next line of the book, without its terminator. The first line decides the layout.
    void Add(std::string line);
    // After the last line: completes the last block.
    void End();
    // The next complete line, or nullptr when none is waiting. The line stays valid until the
    // next call to Add, End or Next.
    const BookLine* Next();

  private:
    struct Ready {
        BookLine::Kind kind;
        int number;
        std::string nickname;
        std::string text;
    };
    void AddOld(std::string line);
    void CloseBlock();

    int lines_ = 0;
    bool oldLayout_ = false;
    std::vector<Ready> ready_;
    std::size_t next_ = 0;
    BookLine current_;
    // The old-layout block being read.
    bool inBlock_ = false;
    bool noteBlock_ = false;
    int blockLine_ = 0;
    std::string blockName_;
    std::string content_;
    std::size_t blankNoteLines_ = 0;  // kept back: only blank lines between note lines count
};

// The nickname an Aliases line or an alias line of the other layout gives (ParseNickname,
// ParseNicknameLine).
ParsedNickname ParseBookAlias(const BookLine& line);

}  // namespace tarvelle::eudora
