#include "wizard/Menus.h"

#include "export/WebSite.h"

namespace tarvelle::wizard {

std::string WebAddress(std::string_view path) {
    std::string address(exporter::kWebSiteBase);
    address += path;
    return address;
}

std::vector<Menu> PageMenus(PageKind page) {
    const bool selection = page == PageKind::Selection;
    // An '&' in the address would mark an access key: doubled, it stays an ampersand.
    std::string website = "Website : ";
    for (char c : exporter::kWebSiteBase) {
        website += c;
        if (c == '&') website += '&';
    }
    return {
        {"mnuFile",
         "File",
         {{"mnuOpen", "Open Address Book...", MenuCommand::OpenAddressBook},
          {selection ? "mnusep3" : "mnusep1", {}, std::nullopt},
          {"mnuExit", "E&xit", MenuCommand::Exit}}},
        {"mnuHelp",
         "&Help",
         {{"mnuguide", "Product Guide", MenuCommand::ProductGuide},
          {"mnuAbout", "About...", MenuCommand::About},
          {selection ? "mnusep" : "mnusep3", {}, std::nullopt},
          {"mnuWebsite", website, MenuCommand::Website},
          {"mnuOtherProducts", "Other Pro&ducts", MenuCommand::OtherProducts}}},
    };
}

}  // namespace tarvelle::wizard
