// The File and Help menus both wizard pages carry, and every web link of the program.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelle::wizard {

// Link paths below the web site's base address.
inline constexpr std::string_view kGuidePath = "/tarvelle/guide.html";
inline constexpr std::string_view kHomePath = "/";
inline constexpr std::string_view kProductPath = "/tarvelle/";

// The full address of a path on the product's web site.
std::string WebAddress(std::string_view path);

enum class MenuCommand { OpenAddressBook, Exit, ProductGuide, About, Website, OtherProducts };

// A menu entry; one without a command is a separator line. Captions use the mnemonic form the
// toolkits share: "&" marks the access key, "&&" stands for an ampersand.
struct MenuEntry {
    std::string_view name;
    std::string caption;
    std::optional<MenuCommand> command;
};

struct Menu {
    std::string_view name;
    std::string_view caption;
    std::vector<MenuEntry> entries;
};

enum class PageKind { Selection, Progress };

// The menu bar of a page, menus and entries in order. The pages name their separators apart.
std::vector<Menu> PageMenus(PageKind page);

}  // namespace tarvelle::wizard
