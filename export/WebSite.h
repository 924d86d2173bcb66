// The product's web site: every link and help address is formed from this one base.
#pragma once

#include <string_view>

namespace tarvelle::exporter {

inline constexpr std::string_view kWebSiteBase = "https://tarvelle.example";

}  // namespace tarvelle::exporter
