// Default mode of the command-line tool: where Eudora keeps the default address book.
#pragma once

#include <optional>
#include <ostream>

#include "export/ExportHost.h"

namespace tarvelle::cli {

// Looks up Eudora's data folder. On success the source names that folder (default book); on
// failure the reason has been written to `err` as "Title: text" lines and nothing is returned.
std::optional<exporter::SelectedSource> FindDefaultSource(std::ostream& err);

}  // namespace tarvelle::cli
