// The About box: the product's name, a notice line, and links to the web site and the help page.
// Modeless and without an owner: it never blocks a page or an export.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tarvelle::wizard {

class Wizard;

// The fixed texts of the box; the two link labels show SiteAddress() and HelpAddress().
struct AboutTexts {
    std::string_view title = "About - Tarvelle ";
    std::string_view label6 = "Tarvelle ";
    std::string_view notice = "Moves Eudora address books into new Outlook files.";
    std::string_view label2 = "Website :";
    std::string_view label5 = "Help       :";
    std::string_view siteTip = "Author's Website";
    std::string_view helpTip = "Product Help Page";
    std::string_view okButton = "OK";
    std::string_view cancelButton = "Cancel";
};
inline constexpr AboutTexts kAboutTexts;

class AboutView {
  public:
    virtual ~AboutView() = default;
    // Loads and shows the box (centred), or brings it to the front when it is shown already.
    virtual void Show() = 0;
    // Unloads the box: its window closes; the next Show loads it afresh.
    virtual void Close() = 0;
};

class AboutBox {
  public:
    explicit AboutBox(Wizard& wizard) : wizard_(wizard) {}
    AboutBox(const AboutBox&) = delete;
    AboutBox& operator=(const AboutBox&) = delete;

    void Attach(std::unique_ptr<AboutView> view) { view_ = std::move(view); }
    AboutView& View() { return *view_; }

    static std::string SiteAddress();
    static std::string HelpAddress();

    void Show() { view_->Show(); }

    // The user's actions. OK, Cancel (and the close box, which the view handles alone) close
    // the box and touch nothing else; the links keep it open.
    void OnOk() { view_->Close(); }
    void OnCancel() { view_->Close(); }
    void OnSiteLink();
    void OnHelpLink();

  private:
    Wizard& wizard_;
    std::unique_ptr<AboutView> view_;
};

}  // namespace tarvelle::wizard
