// How paths and text from outside (a book, the registry, the system) appear in messages and log
// lines: on one line, with nothing a terminal would act on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvelle::exporter {

// Characters of book or registry text shown before it is cut.
inline constexpr std::size_t kShownTextLimit = 1000;

// Text without control characters (bytes below 0x20, DEL, U+0080 to U+009F) that does not start
// with a double quote is shown as it is. Any other text is shown in double quotes, with \t, \n,
// \r, \\ and \" for tab, line feed, carriage return, backslash and double quote and \xNN for each
// byte of any other control character, so that it can be read back exactly. Never shortened.
std::string ShownPath(std::string_view path);

// As ShownPath, after cutting the text to kShownTextLimit characters; "…" follows a cut text.
std::string ShownText(std::string_view text);

}  // namespace tarvelle::exporter
