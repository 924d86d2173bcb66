// A whole export driven through the Qt wizard: pick a book, Next, Start, a folder. The new .pst
// is final when the run says so: tarvelle-verify finds no error and no warning, and the file is
// no larger than the command-line tool's export of the same book.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "WizardTestSupport.h"
#include "app/FrmMain.h"
#include "app/FrmStatusConversion.h"
#include "platform/PstStoreSession.h"

using namespace tarvelle::app;
using namespace tarvelle::app::testing;

namespace {

// The one .pst in `folder`.
QString OnlyPst(const QString& folder) {
    const QFileInfoList made = QDir(folder).entryInfoList({QStringLiteral("*.pst")});
    return made.size() == 1 ? made[0].filePath() : QString();
}

}  // namespace

class WholeExportTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { InstallApplicationLook(); }

    void bookThroughTheWizardGivesAFinalFile() {
        const QString book = QStringLiteral(TARVELLE_SOURCE_DIR "/examples/NNdbase.txt");
        auto sessions = tarvelle::platform::MakePstSessionFactory();
        QtWizard qt(*sessions, std::nullopt);  // no Eudora: the page opens on choosing a file
        QTemporaryDir out;
        qt.services.folder = QDir::toNativeSeparators(out.path()).toStdString();
        qt.services.files.push_back(book.toStdString());

        qt.wizard.ShowSelection();
        FrmMain& main = MainWindow(qt.wizard);
        QTest::mouseClick(Child<QPushButton>(main, "CmdWABBrowse"), Qt::LeftButton);
        QTest::mouseClick(Child<QPushButton>(main, "CmdNextFrmMain"), Qt::LeftButton);
        FrmStatusConversion& status = StatusWindow(qt.wizard);
        QVERIFY(status.isVisible());
        qt.services.messages.clear();
        QTest::mouseClick(Child<QPushButton>(status, "CmdNextFrmMain"), Qt::LeftButton);

        // The completion box, and nothing else.
        QCOMPARE(qt.services.messages.size(), size_t{1});
        QCOMPARE(qt.services.messages[0].title, std::string("Export Complete"));
        QCOMPARE(qt.services.messages[0].text, std::string("Address Book Export Complete !"));
        const QStringList lines = status.LogText().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.last(), QString());  // the last line ends in CR LF as well
        QCOMPARE(
            lines.mid(2, 7),
            (QStringList{"Looking for file saving location...", "Checking Outlook Components...",
                         "Successfully located required components.",
                         "Creating Outlook Personal Storage File...",
                         "Applying Personal Folders Naming...", "Initializing default folders...",
                         "Reinitiating Outlook Connection..."}));
        QCOMPARE(lines[lines.size() - 2], QStringLiteral("Finished..."));

        const QString pst = OnlyPst(out.path());
        QVERIFY(
            QFileInfo(pst).fileName().startsWith(QStringLiteral("Eudora Address Book Created-")));

        // The command-line tool's export of the same book.
        QTemporaryDir cliOut;
        QProcess cli;
        cli.start(QStringLiteral(TARVELLE_BINARY_DIR "/tarvelle-export"),
                  {QStringLiteral("--file"), book, QStringLiteral("--out-dir"), cliOut.path()});
        QVERIFY(cli.waitForFinished(120000));
        QCOMPARE(cli.exitCode(), 0);
        const QString cliPst = OnlyPst(cliOut.path());
        QVERIFY(!cliPst.isEmpty());
        QVERIFY2(QFileInfo(pst).size() <= QFileInfo(cliPst).size(),
                 qPrintable(QStringLiteral("wizard %1 bytes, command line %2 bytes")
                                .arg(QFileInfo(pst).size())
                                .arg(QFileInfo(cliPst).size())));

        QProcess check;
        check.start(QStringLiteral(TARVELLE_BINARY_DIR "/tarvelle-verify"), {pst});
        QVERIFY(check.waitForFinished(120000));
        const QByteArray report = check.readAllStandardOutput() + check.readAllStandardError();
        QVERIFY2(check.exitCode() == 0, report.constData());
        QVERIFY2(report.contains(" 0 errors, 0 warnings"), report.constData());
    }
};

QTEST_MAIN(WholeExportTest)
#include "whole_export_test.moc"
