// A text-file opener double: serves preset lines, and can fail the open or a read part-way.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/TextFile.h"

namespace tarvelle::fakes {

class FakeTextReader : public platform::TextReader {
  public:
    FakeTextReader(std::vector<std::string> lines, std::ptrdiff_t failAfter, std::string cause)
        : lines_(std::move(lines)), failAfter_(failAfter), cause_(std::move(cause)) {}
    bool AtEndOfStream() override { return next_ >= lines_.size() && failAfter_ < 0; }
    std::string ReadLine() override {
        if (failAfter_ >= 0 && next_ >= static_cast<std::size_t>(failAfter_)) {
            throw platform::TextFileError(cause_);
        }
        if (next_ >= lines_.size()) throw platform::TextFileError("read past the end");
        return lines_[next_++];
    }
    platform::TextEncoding Encoding() const override { return platform::TextEncoding::Ansi; }

  private:
    std::vector<std::string> lines_;
    std::ptrdiff_t failAfter_;
    std::string cause_;
    std::size_t next_ = 0;
};

class FakeTextFileOpener : public platform::TextFileOpener {
  public:
    std::vector<std::string> lines;
    bool failOpen = false;
    std::ptrdiff_t failAfter = -1;  // lines read before ReadLine throws; -1 = never
    std::string cause = "Input/output error";
    std::vector<std::string> opened;  // paths asked for

    using platform::TextFileOpener::Open;
    std::unique_ptr<platform::TextReader> Open(const std::string& path,
                                               platform::TextEncoding) override {
        opened.push_back(path);
        if (failOpen) throw platform::TextFileError(cause);
        return std::make_unique<FakeTextReader>(lines, failAfter, cause);
    }
};

}  // namespace tarvelle::fakes
