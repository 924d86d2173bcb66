#include "wizard/AboutBox.h"

#include "wizard/Menus.h"
#include "wizard/Wizard.h"

namespace tarvelle::wizard {

std::string AboutBox::SiteAddress() { return WebAddress({}); }

std::string AboutBox::HelpAddress() { return WebAddress(kProductPath); }

void AboutBox::OnSiteLink() { wizard_.OpenLink(kHomePath); }

void AboutBox::OnHelpLink() { wizard_.OpenLink(kProductPath); }

}  // namespace tarvelle::wizard
