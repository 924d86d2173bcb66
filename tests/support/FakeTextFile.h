// A text-file opener double: serves preset lines, and can fail the open or a read part-way.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/TextFile.h"

namespace tarvelle::fakes {

class FakeTextFileOpener : public platform::TextFileOpener {
  public:
    std::vector<std::string> lines;
    bool failOpen = false;
    std::ptrdiff_t failAfter = -1;  // lines read before ReadLine throws; -1 = never
    std::string cause = "Input/output error";

    using platform::TextFileOpener::Open;
    std::unique_ptr<platform::TextReader> Open(const std::string&,
                                               platform::TextEncoding) override {
        if (failOpen) throw platform::TextFileError(cause);
        return std::make_unique<Reader>(*this);
    }

  private:
    // Reads the opener's lines as they are when read.
    struct Reader : platform::TextReader {
        explicit Reader(const FakeTextFileOpener& opener) : f(opener) {}
        bool AtEndOfStream() override { return next >= f.lines.size() && f.failAfter < 0; }
        std::string ReadLine() override {
            if (f.failAfter >= 0 && next >= static_cast<std::size_t>(f.failAfter))
                throw platform::TextFileError(f.cause);
            if (next >= f.lines.size()) throw platform::TextFileError("read past the end");
            return f.lines[next++];
        }
        platform::TextEncoding Encoding() const override { return platform::TextEncoding::Ansi; }
        const FakeTextFileOpener& f;
        std::size_t next = 0;
    };
};

}  // namespace tarvelle::fakes
