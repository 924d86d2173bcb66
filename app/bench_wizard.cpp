// Benchmark: a large book exported through the wizard (offscreen) against the command-line export
// of the same book. Both sides do the same work: the address-book check, the export run, and the
// close of the new file (committed, trimmed, closed); the command line's time also holds the
// program's start and end. Three rounds, the sides taking turns; prints each round and the
// medians' ratio (target <= 1.5).
//   bench_wizard [NICKNAMES]     (default 100000; build type Release or RelWithDebInfo)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/Look.h"
#include "app/QtViews.h"
#include "bench/BookGenerator.h"
#include "platform/PstStoreSession.h"
#include "platform/Registry.h"
#include "wizard/ProgressPage.h"
#include "wizard/SelectionPage.h"

namespace {

using namespace tarvelle::app;
using namespace tarvelle::wizard;

class ScriptedServices : public Services {
  public:
    BoxResult ShowMessage(WindowHandle, const std::string&, const std::string&, BoxIcon,
                          BoxButtons buttons) override {
        return buttons == BoxButtons::Ok ? BoxResult::Ok : BoxResult::No;
    }
    std::string PickFolder(WindowHandle, const std::string&) override { return folder; }
    std::string PickFile(WindowHandle, const std::vector<FileFilter>&) override { return file; }
    void OpenDocument(const std::string&) override {}
    void ProcessPendingEvents() override { QApplication::processEvents(); }
    void ExitProcess() override {}

    std::string folder;
    std::string file;
};

constexpr int kRounds = 3;

double Seconds(const QElapsedTimer& timer) { return timer.nsecsElapsed() / 1e9; }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    InstallApplicationLook();

    QTemporaryDir work;
    const QString book = work.filePath(QStringLiteral("NNdbase.txt"));
    {
        QFile file(book);
        const std::string bytes =
            tarvelle::bench::BookGenerator().Generate(static_cast<std::uint32_t>(count));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
                static_cast<qint64>(bytes.size())) {
            std::fprintf(stderr, "cannot write the book\n");
            return 1;
        }
    }
    std::printf("book: %d nicknames, %lld bytes\n", count,
                static_cast<long long>(QFile(book).size()));

    const QString cliTool = QStringLiteral(TARVELLE_BINARY_DIR "/tarvelle-export");
    if (!QFile::exists(cliTool)) {
        std::printf("command line: %s not built\n", qPrintable(cliTool));
        return 1;
    }
    QTemporaryDir prefix;  // no Eudora: the selection page opens on choosing a file
    qputenv("WINEPREFIX", prefix.path().toLocal8Bit());
    const QString cliOut = work.filePath(QStringLiteral("cli"));
    const QString guiOut = work.filePath(QStringLiteral("gui"));

    // The two sides take turns, so a change in the machine's load falls on both alike.
    std::vector<double> cliTimes;
    std::vector<double> guiTimes;
    bool finished = true;
    for (int round = 1; round <= kRounds; ++round) {
        QDir(cliOut).removeRecursively();
        QDir(guiOut).removeRecursively();
        QDir().mkpath(cliOut);
        QDir().mkpath(guiOut);

        // The command line: start, check, export, close, end.
        QProcess cli;
        cli.setStandardOutputFile(QProcess::nullDevice());
        cli.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        cli.start(cliTool, {QStringLiteral("--file"), book, QStringLiteral("--out-dir"), cliOut});
        cli.waitForFinished(-1);
        cliTimes.push_back(Seconds(timer));
        finished = finished && cli.exitCode() == 0;

        // The wizard: Browse (the check), Next, Start, the folder; the run ends with the file
        // closed.
        ScriptedServices services;
        services.file = book.toStdString();
        services.folder = guiOut.toStdString();
        auto sessions = tarvelle::platform::MakePstSessionFactory();
        tarvelle::platform::PlatformRegistry registry;
        QtViews views;
        Wizard wizard(services, *sessions, registry, views);
        wizard.ShowSelection();
        FrmMain& main = MainWindow(wizard);
        timer.start();
        main.findChild<QPushButton*>(QStringLiteral("CmdWABBrowse"))->click();
        const double check = Seconds(timer);
        main.findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain"))->click();
        FrmStatusConversion& status = StatusWindow(wizard);
        timer.start();
        status.findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain"))->click();
        guiTimes.push_back(check + Seconds(timer));
        finished = finished && status.LogText().endsWith(QStringLiteral("Finished...\r\n"));

        std::printf("round %d: command line %.2f s, wizard %.2f s (check %.2f s);", round,
                    cliTimes.back(), guiTimes.back(), check);
        // The same book gives files of about the same size when both are closed alike.
        for (const QString& out : {cliOut, guiOut}) {
            for (const QFileInfo& file : QDir(out).entryInfoList({QStringLiteral("*.pst")})) {
                std::printf(" %.1f MB", static_cast<double>(file.size()) / 1e6);
            }
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    const double cliMedian = Median(cliTimes);
    const double guiMedian = Median(guiTimes);
    std::printf("median: command line %.2f s, wizard check + run %.2f s\n", cliMedian, guiMedian);
    std::printf("ratio wizard / command line: %.2f (target <= 1.5)%s\n", guiMedian / cliMedian,
                finished ? "" : "; a run did NOT finish");
    return finished ? 0 : 1;
}
