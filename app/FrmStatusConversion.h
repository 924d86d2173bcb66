// The conversion progress page: starts the export run and shows its Progress log.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>

#include "app/EventPump.h"
#include "export/ExportHost.h"

class QGroupBox;
class QPlainTextEdit;
class QPushButton;

namespace tarvelle::exporter {
class Exporter;
}

namespace tarvelle::app {

class Wizard;

class FrmStatusConversion : public QMainWindow, public exporter::ExportHost {
  public:
    explicit FrmStatusConversion(Wizard& wizard);
    ~FrmStatusConversion() override;

    // Runs once, on first use: the log's first two lines.
    void Load();
    void ShowPage();
    // Start Exporting: one export run on this thread. A press during a run is ignored.
    void StartExporting();
    bool Exporting() const { return exporting_; }

    // The Progress log: every line ends in CR LF.
    QString LogText();

    // ExportHost
    void AppendLog(std::string_view line) override;
    void ProcessEvents() override;
    exporter::MessageResult ShowMessage(std::string_view title, std::string_view text,
                                        exporter::MessageIcon icon,
                                        exporter::MessageButtons buttons) override;
    std::string BrowseForFolder(std::string_view title) override;
    exporter::SelectedSource GetSelectedSource() override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void Back();
    void KeepNewestLineInView();
    // Writes the lines appended since the last flush into the log control.
    void FlushLog();

    Wizard& wizard_;
    EventPump pump_;
    std::unique_ptr<exporter::Exporter> exporter_;
    bool shownOnce_ = false;
    bool exporting_ = false;
    // Lines appended but not yet in the control. The window shows the log only when it
    // processes events, so lines gathered in between are written in one insertion then.
    QString pendingLog_;

    QGroupBox* frame1_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QPushButton* cmdStart_ = nullptr;
    QPushButton* cmdBack_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
};

}  // namespace tarvelle::app
