#include <QTemporaryDir>
#include <QtTest>

#include "archive/ArchiveQueue.h"
#include "core/Readings.h"
#include "mainwindow/ArchiveKeeper.h"
#include "mainwindow/DocumentWorkflow.h"
#include "platform/Text.h"
#include "tests/support/ArchiveRows.h"
#include "tests/support/PgServer.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using namespace kr::test;

namespace {

class QuietView : public DocumentView {
public:
    void RefreshDocumentView() override {}
    void SetBusy(bool) override {}
};

void fillOneReading(TKRFile& doc)
{
    doc.ImportMeterLines({"01 01 05-Mar-26 09:12 20 Red Oak        63 8.9\r"});
}

TDownloadOutcome received()
{
    TDownloadOutcome got;
    got.kind = TDownloadOutcome::Received;
    got.readings = 1;
    return got;
}

int sourcesIn(const ArchiveLocation& at) { return TArchive(at).SourceCount(); }

} // namespace

class TestArchiveKeeper : public QObject {
    Q_OBJECT
private slots:
    // kr.ini and the queue beside it in a folder of the test's own.
    void initTestCase() { QVERIFY(programHome().isValid()); }

    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        archive = dir->filePath(QStringLiteral("archive.sqlite"));
    }

    // Opened or saved, the file lands as the bytes on disk; a backup by its name.
    void fileCommandsKeepTheFileAsItIsOnDisk_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::newRow("open") << "open" << "site.krx" << "file";
        QTest::newRow("open backup") << "open" << "data3.bak" << "backup";
        QTest::newRow("save as") << "save as" << "site.krx" << "file";
    }
    void fileCommandsKeepTheFileAsItIsOnDisk()
    {
        QFETCH(QString, command);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        ScriptedPrompts prompts;
        const QString file = dir->filePath(name);
        TKRFile doc;
        fillOneReading(doc);
        if (command == QLatin1String("open"))
            doc.SaveToFile(toNativePath(file));
        TRecentFiles recent;
        QuietView view;
        TDocumentWorkflow flow(doc, recent, view);
        TArchiveKeeper keeper(archive, [] { return true; });
        flow.fileDone = [&](const QString& f) { keeper.KeepFile(doc, f); };
        if (command == QLatin1String("open")) {
            prompts.answerOpen(file);
            flow.btnOpenClick();
        } else {
            prompts.answerSave(file);
            flow.SaveAs1Click();
        }
        QCOMPARE(archiveSources(archive),
                 QStringList{kind + "||||" + name + "|" + QString::number(readFile(file).size())});
        QCOMPARE(prompts.unexpected(), 0);
    }

    void switchOffKeepsNothing()
    {
        ScriptedPrompts prompts;
        const QString file = dir->filePath(QStringLiteral("data1.bak"));
        TKRFile doc;
        fillOneReading(doc);
        doc.SaveToFile(toNativePath(file));
        TArchiveKeeper keeper(archive, [] { return false; });
        TDownloadOutcome got;
        got.kind = TDownloadOutcome::Received;
        got.readings = 1;
        keeper.KeepDownload(doc, got, {}, QStringLiteral("COM1"));
        keeper.KeepFile(doc, file);
        keeper.KeepBackup(file, {}, QStringLiteral("COM1"));
        QVERIFY(!QFileInfo::exists(archive));
        QVERIFY(prompts.asked().isEmpty());
    }

    // Only readings are worth a source: a download that brought none keeps nothing.
    void downloadSourceSaysHowCompleteItIs_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("readings");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("complete") << int(TDownloadOutcome::Received) << 1 << QStringList{"download|KR-1|COM2|complete||"};
        QTest::newRow("short") << int(TDownloadOutcome::Partial) << 1
                               << QStringList{"download|KR-1|COM2|the KR's readings stopped part-way through a line||"};
        QTest::newRow("no readings") << int(TDownloadOutcome::Partial) << 0 << QStringList{};
        QTest::newRow("empty meter") << int(TDownloadOutcome::Empty) << 0 << QStringList{};
    }
    void downloadSourceSaysHowCompleteItIs()
    {
        QFETCH(int, kind);
        QFETCH(int, readings);
        QFETCH(QStringList, kept);
        ScriptedPrompts prompts;
        TArchiveKeeper keeper(archive, [] { return true; });
        TDownloadOutcome got;
        got.kind = TDownloadOutcome::Kind(kind);
        got.readings = readings;
        if (got.kind == TDownloadOutcome::Partial)
            got.detail = "the KR's readings stopped part-way through a line";
        TKRFile doc;
        fillOneReading(doc);
        keeper.KeepDownload(doc, got, QStringLiteral("KR-1"), QStringLiteral("COM2"));
        QCOMPARE(archiveSources(archive), kept);
    }

    // Cancel stops before the file after the one being read; the files done so far stay imported.
    void importStopsBetweenFilesWhenCancelled()
    {
        TKRFile doc;
        fillOneReading(doc);
        for (const char* name : {"a.krx", "b.krx", "data1.bak"}) {
            doc.SetComment(1, name);
            doc.SaveToFile(toNativePath(dir->filePath(QLatin1String(name))));
        }
        QVERIFY(writeFile(dir->filePath(QStringLiteral("notes.txt")), "not a data file"));
        TArchiveImport import(ArchiveLocation::File(archive), {dir->path()});
        QSignalSpy finished(&import, &TArchiveImport::Finished);
        // On the import's thread, so that the cancel comes right after the first file.
        connect(
            &import, &TArchiveImport::Progress, &import,
            [&import](int done, int) {
                if (done == 1)
                    import.Cancel();
            },
            Qt::DirectConnection);
        import.Start();
        QVERIFY(finished.wait(10000));
        QVERIFY(import.WasCancelled());
        QCOMPARE(import.Summary().Sentence(), QStringLiteral("2 files: 2 imported, 0 already in the archive."));
        QCOMPARE(archiveSources(archive).size(), 2);
    }

    // A team archive out of reach: said once, and every keep of the run
    // waits in the queue beside kr.ini. Sent later, all of it reaches the
    // server, and keeps go there again once it answers.
    void aLostServerQueuesAndSendsLater()
    {
        ScriptedPrompts prompts;
        prompts.answer(mbOK);
        QVERIFY(pgCommand({QStringLiteral("DROP DATABASE IF EXISTS keeper_lost"),
                           QStringLiteral("CREATE DATABASE keeper_lost")}));
        const ArchiveLocation live = pgLocation(QStringLiteral("keeper_lost"));
        ArchiveLocation at = live;
        at.host = dir->filePath(QStringLiteral("no server here"));
        TArchiveKeeper keeper([&at] { return at; }, [] { return true; });
        // A download is known again by its time, meter and port: these come
        // within a second, so each from a meter of its own.
        TKRFile doc;
        fillOneReading(doc);
        keeper.KeepDownload(doc, received(), QStringLiteral("KR-1"), QStringLiteral("COM1"));
        doc.SetComment(1, "Hall");
        keeper.KeepDownload(doc, received(), QStringLiteral("KR-2"), QStringLiteral("COM1"));
        QCOMPARE(prompts.messageTexts().size(), 1);
        QVERIFY2(prompts.messageTexts()[0].contains(QStringLiteral("Nothing is lost")), qPrintable(prompts.messageTexts()[0]));
        QVERIFY(keeper.GaveUp());
        QCOMPARE(sourcesIn(ArchiveLocation::File(ArchiveQueuePath())), 2);

        // Kept while the queue is on its way: it waits for the next sending.
        TArchiveSend send(live);
        QSignalSpy finished(&send, &TArchiveSend::Finished);
        send.Start();
        doc.SetComment(1, "Attic");
        keeper.KeepDownload(doc, received(), QStringLiteral("KR-3"), QStringLiteral("COM1"));
        QVERIFY(finished.wait(30000));
        QVERIFY2(send.Error().isEmpty(), qPrintable(send.Error()));
        QCOMPARE(send.Copied().sources, 2);
        QCOMPARE(sourcesIn(live), 2);
        QVERIFY(ArchiveQueueWaits());
        TArchive team(live);
        QCOMPARE(SendQueue(team).sources, 1);
        QVERIFY(!ArchiveQueueWaits());

        at = live;
        doc.SetComment(1, "Porch");
        keeper.KeepDownload(doc, received(), QStringLiteral("KR-4"), QStringLiteral("COM1"));
        QCOMPARE(sourcesIn(live), 4);
        QCOMPARE(prompts.messageTexts().size(), 1);
    }

    // A server that wants a password asks for it until it takes one, and
    // that one opens it for the rest of the run; Cancel gives up.
    void aPasswordIsAskedForAndKeptForTheRun()
    {
        QVERIFY(pgCommand({QStringLiteral("DROP DATABASE IF EXISTS keeper_password"),
                           QStringLiteral("DROP ROLE IF EXISTS kr_password"),
                           QStringLiteral("CREATE ROLE kr_password LOGIN PASSWORD 'secret'"),
                           QStringLiteral("CREATE DATABASE keeper_password OWNER kr_password")}));
        ArchiveLocation at = pgLocation(QStringLiteral("keeper_password"));
        at.user = QStringLiteral("kr_password");
        ScriptedPrompts prompts;
        prompts.answerPassword(QStringLiteral("wrong"));
        prompts.answerPassword(QStringLiteral("secret"));
        QCOMPARE(DescribeArchive(at).section(QLatin1Char(','), 1), QStringLiteral(" archive layout 4, 0 readings."));
        QCOMPARE(prompts.asked().size(), 2);
        QVERIFY(prompts.asked()[1].message.text.contains(QStringLiteral("password authentication failed")));
        QCOMPARE(sourcesIn(at), 0);
        QCOMPARE(prompts.asked().size(), 2);

        at.database = QStringLiteral("postgres");
        prompts.answerPassword(std::nullopt);
        QVERIFY_THROWS_EXCEPTION(ArchivePasswordNeeded, OpenArchiveAsking(at));
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString archive;
};

QTEST_MAIN(TestArchiveKeeper)
#include "tst_ArchiveKeeper.moc"
