#include "eudora/BookLines.h"

namespace tarvelle::eudora {

std::optional<std::string_view> OldLayoutTag(std::string_view line) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.size() < 3 || line.front() != '<' || line.back() != '>') return std::nullopt;
    std::string_view name = line.substr(1, line.size() - 2);
    // End tags, declarations and comments are markup, never a nickname.
    if (name.find_first_of("<>") != std::string_view::npos || name.starts_with('/') ||
        name.starts_with('!') || name.starts_with('?')) {
        return std::nullopt;
    }
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.empty()) return std::nullopt;
    return name;
}

bool IsOldLayout(std::string_view firstLine) { return OldLayoutTag(firstLine).has_value(); }

void BookLineReader::Add(std::string line) {
    if (next_ == ready_.size()) {
        ready_.clear();
        next_ = 0;
    }
    ++lines_;
    if (lines_ == 1) oldLayout_ = IsOldLayout(line);
    if (oldLayout_) {
        AddOld(std::move(line));
        return;
    }
    ready_.push_back({BookLine::Kind::Line, lines_, {}, std::move(line)});
}

void BookLineReader::AddOld(std::string line) {
    if (line.starts_with('<')) {
        const auto tag = OldLayoutTag(line);
        // The same name right after its own block: that block's notes follow.
        const bool note = tag && inBlock_ && *tag == blockName_;
        CloseBlock();
        if (!tag) {
            ready_.push_back({BookLine::Kind::Stray, lines_, {}, {}});
            return;
        }
        inBlock_ = true;
        noteBlock_ = note;
        blockLine_ = lines_;
        blockName_ = std::string(*tag);
        return;
    }
    if (!inBlock_) {
        if (!IsBlankLine(line)) ready_.push_back({BookLine::Kind::Stray, lines_, {}, {}});
        return;
    }
    std::string_view content = line;
    if (content.starts_with('>')) content.remove_prefix(1);
    if (IsBlankLine(content)) {
        if (noteBlock_ && !content_.empty()) ++blankNoteLines_;
        return;
    }
    if (!content_.empty()) {
        if (noteBlock_) {
            content_.append(blankNoteLines_ + 1, '\x03');
        } else {
            content_ += ", ";
        }
    }
    blankNoteLines_ = 0;
    content_ += content;
}

void BookLineReader::CloseBlock() {
    if (inBlock_ && !(noteBlock_ && content_.empty())) {
        ready_.push_back({noteBlock_ ? BookLine::Kind::Note : BookLine::Kind::Aliases, blockLine_,
                          blockName_, std::move(content_)});
    }
    inBlock_ = false;
    content_.clear();
    blankNoteLines_ = 0;
}

void BookLineReader::End() {
    if (next_ == ready_.size()) {
        ready_.clear();
        next_ = 0;
    }
    CloseBlock();
}

const BookLine* BookLineReader::Next() {
    if (next_ == ready_.size()) return nullptr;
    const Ready& r = ready_[next_++];
    current_ = BookLine{r.kind, r.number, r.nickname, r.text};
    return &current_;
}

ParsedNickname ParseBookAlias(const BookLine& line) {
    if (line.kind == BookLine::Kind::Aliases) return ParseNickname(line.nickname, line.text);
    return ParseNicknameLine(line.text);
}

}  // namespace tarvelle::eudora
