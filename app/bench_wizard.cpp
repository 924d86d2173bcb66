// Benchmark: a large book exported through the wizard's run (offscreen) against the
// command-line export of the same book. Prints both times and their ratio (target <= 1.5).
//   bench_wizard [NICKNAMES]     (default 100000; build type Release or RelWithDebInfo)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/AppServices.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "app/Look.h"
#include "app/Wizard.h"
#include "bench/BookGenerator.h"
#include "platform/PstStoreSession.h"

namespace {

using namespace tarvelle::app;

class ScriptedServices : public AppServices {
  public:
    BoxResult ShowMessage(QWidget*, const std::string&, const std::string&, BoxIcon,
                          BoxButtons buttons) override {
        return buttons == BoxButtons::Ok ? BoxResult::Ok : BoxResult::No;
    }
    std::string PickFolder(QWidget*, const std::string&) override { return folder; }
    std::string PickFile(QWidget*, const std::string&, const std::string&) override { return file; }
    void OpenDocument(const std::string&) override {}
    void ExitProcess() override {}

    std::string folder;
    std::string file;
};

double Seconds(const QElapsedTimer& timer) { return timer.nsecsElapsed() / 1e9; }

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

    // The command-line export of the same book.
    const QString cliTool = QStringLiteral(TARVELLE_BINARY_DIR "/tarvelle-export");
    double cliSeconds = -1;
    if (QFile::exists(cliTool)) {
        QDir(work.path()).mkdir(QStringLiteral("cli"));
        QProcess cli;
        cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        cli.start(cliTool, {QStringLiteral("--file"), book, QStringLiteral("--out-dir"),
                            work.filePath(QStringLiteral("cli"))});
        cli.waitForFinished(-1);
        cliSeconds = Seconds(timer);
        cli.readAllStandardOutput();
        std::printf("command line: %.2f s (exit %d)\n", cliSeconds, cli.exitCode());
    } else {
        std::printf("command line: %s not built\n", qPrintable(cliTool));
    }

    // The wizard: pick the book (the page's line check), Next, Start, the folder.
    QTemporaryDir prefix;  // no Eudora: the page opens on choosing a file
    qputenv("WINEPREFIX", prefix.path().toLocal8Bit());
    QDir(work.path()).mkdir(QStringLiteral("gui"));
    ScriptedServices services;
    services.file = book.toStdString();
    services.folder = work.filePath(QStringLiteral("gui")).toStdString();
    auto sessions = tarvelle::platform::MakePstSessionFactory();
    Wizard wizard(services, *sessions);
    wizard.ShowMainPage();
    FrmMain& main = wizard.MainPage();
    QElapsedTimer check;
    check.start();
    main.BrowseAndCheck();
    const double checkSeconds = Seconds(check);
    main.findChild<QPushButton*>(QStringLiteral("CmdNextFrmMain"))->click();
    FrmStatusConversion& status = wizard.StatusPage();
    QElapsedTimer run;
    run.start();
    status.StartExporting();
    const double runSeconds = Seconds(run);
    const QString log = status.LogText();
    const bool finished = log.endsWith(QStringLiteral("Finished...\r\n"));
    std::printf("wizard log: %lld lines\n",
                static_cast<long long>(log.count(QStringLiteral("\r\n"))));
    std::printf("wizard file check: %.2f s\n", checkSeconds);
    std::printf("wizard export run: %.2f s (%s)\n", runSeconds,
                finished ? "finished" : "NOT finished");
    if (cliSeconds > 0) {
        std::printf("ratio wizard run / command line: %.2f (target <= 1.5)\n",
                    runSeconds / cliSeconds);
        std::printf("ratio wizard check + run / command line: %.2f\n",
                    (checkSeconds + runSeconds) / cliSeconds);
    }
    return finished ? 0 : 1;
}
