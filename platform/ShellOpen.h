// Opens an address (a web page, a document) with the user's default handler.
#pragma once

#include <string>

namespace tarvelle::platform {

// Hands `target` to the desktop's "open" action and returns at once, without waiting for the
// browser. An empty target does nothing. Failures are silent: no browser, a refused address or a
// missing opener leave no trace.
void OpenDocument(const std::string& target);

}  // namespace tarvelle::platform
