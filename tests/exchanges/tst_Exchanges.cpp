#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include "core/AtomicFile.h"
#include "meter/Exchanges.h"
#include "platform/SerialTransport.h"
#include "tests/exchanges/ExchangeRig.h"

using namespace kr;
using namespace kr::test;

namespace {

const QString NoResponse = QString::fromLatin1(NoResponseMessage);
const QString NotErased = QString::fromLatin1(exchange_text::NotErased);

SimMeter::Options withFaults(QStringList faults)
{
    SimMeter::Options o;
    o.faults = std::move(faults);
    return o;
}

// Summaries that lose their count lines, so that the meter looks empty; the
// rig's quiet interval is 100 ms.
void lostCountRows()
{
    QTest::newRow("pause after the echo") << "gap=120@3";
    QTest::newRow("long pause after the echo") << "gap=400@3";
    QTest::newRow("pause after every echo") << "gap=120";
    QTest::newRow("trickle") << "trickle=104@3";
    QTest::newRow("echo only") << "short-summary=1";
}

SimMeter::Options emptyMeter()
{
    SimMeter::Options o;
    o.emptyMeter = true;
    return o;
}

// A small file system as the program's folder, so that a backup cannot fit.
// Needs root; unmounted again however the test ends.
struct TinyFileSystem {
    QString path;
    bool mounted = false;
    explicit TinyFileSystem(const QString& dir) : path(dir)
    {
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              QStringLiteral("size=16k"), QStringLiteral("tmpfs"), dir});
        mounted = mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0;
    }
    ~TinyFileSystem()
    {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {path});
    }
};

} // namespace

class TestExchanges : public QObject {
    Q_OBJECT
private slots:
    // ---- Data download ----------------------------------------------------

    void fullDownloadFillsTheDocumentAndShowsIt()
    {
        ExchangeRig r;
        QVERIFY2(r.start(), qPrintable(r.sim->errorString()));
        r.host.document.GetReading(25, 25).SetSpecies("left over");
        QVERIFY(r.download());

        const TKRFile& doc = r.host.document;
        QCOMPARE(usedReadings(doc), 40);
        QVERIFY(!doc.GetReading(25, 25).IsUsed());
        const TReading& first = doc.GetReading(1, 1);
        QCOMPARE(first.GetSpecies(), std::string("Red Oak      "));
        QCOMPARE(first.GetMoistureText(), std::string("8.9"));
        QCOMPARE(first.GetSGText(), std::string("0.63"));
        QCOMPARE(first.GetTemperature(), 20);
        QCOMPARE(first.GetDateTimeText(), std::string("05/03/2026 09:12:00"));

        QCOMPARE(r.host.refreshCount, 1);
        // Not saved anywhere yet: a close or an open must ask.
        QVERIFY(r.host.document.IsModified());
        QCOMPARE(r.exchanges.LastDownloadOutcome().kind, TDownloadOutcome::Received);
        QCOMPARE(r.exchanges.LastDownloadOutcome().readings, 40);
        QCOMPARE(r.exchanges.LastDownloadOutcome().announced, 40);
        // Disabled while the command went out, enabled as soon as it had.
        QCOMPARE(r.host.enabledCalls, (QList<bool>{false, true}));
        QCOMPARE(r.progress.captions, QStringList(2, QStringLiteral("Downloading Data from KR")));
        QCOMPARE(r.progress.maxima, (QList<int>{0, 40}));
        QCOMPARE(r.progress.modalShows, 1);
        QCOMPARE(r.progress.stepsWhileModal, 41);
        QCOMPARE(r.progress.state.percent, 100);
        QVERIFY(r.prompts.asked().isEmpty());
        QCOMPARE(r.commandsSeen(), (QStringList{QStringLiteral("$3"), QStringLiteral("$4")}));
    }

    void realPaceDownloadEndsHalfASecondAfterTheLastLine()
    {
        SimMeter::Options o;
        o.fast = false;
        ExchangeRig r(o, TMeterLink::DefaultQuietInterval);
        QVERIFY(r.start());
        QElapsedTimer clock;
        qint64 lastBytes = 0, dataFired = 0, bytes = 0;
        QObject::connect(&r.link.transport(), &SerialTransport::received, [&](const QByteArray& b) {
            lastBytes = clock.elapsed();
            bytes += b.size();
        });
        QObject::connect(&r.link.TimGotDataRecords, &QTimer::timeout, [&] { dataFired = clock.elapsed(); });
        clock.start();
        QVERIFY(r.download(30000));
        QCOMPARE(usedReadings(r.host.document), 40);
        QVERIFY2(dataFired - lastBytes >= 499, qPrintable(QString::number(dataFired - lastBytes)));
        // Both replies cross the line at 4800 baud (10 bits a character), and
        // each is followed by its quiet half second.
        const double wireMs = double(bytes) * 10.0 / 4.8;
        QVERIFY2(dataFired >= 0.95 * wireMs + 1000, qPrintable(QStringLiteral("%1 ms for %2 bytes").arg(dataFired).arg(bytes)));
    }

    void crLfRepliesAreReadAsCarriageReturns()
    {
        ExchangeRig r(withFaults({QStringLiteral("crlf")}));
        QVERIFY(r.start());
        QVERIFY(r.download());
        QCOMPARE(usedReadings(r.host.document), 40);
        QCOMPARE(r.exchanges.LastDownloadOutcome().kind, TDownloadOutcome::Received);
        QVERIFY(r.prompts.messages().isEmpty());
        r.prompts.answer(mbOK);
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Erased);
    }

    void emptyMeterHasNoDataToDownload()
    {
        ExchangeRig r(emptyMeter());
        QVERIFY(r.start());
        r.host.document.GetReading(3, 4).SetSpecies("kept");
        QVERIFY(r.download());
        QCOMPARE(r.prompts.messageTexts(), QStringList{QStringLiteral("There is no data to download.")});
        QCOMPARE(r.prompts.messages().first().kind, MsgKind::Information);
        QCOMPARE(r.prompts.messages().first().buttons, MsgButtons(mbOK));
        QCOMPARE(r.exchanges.LastDownloadOutcome().kind, TDownloadOutcome::Empty);
        QCOMPARE(r.host.document.GetSpecies(3, 4), std::string("kept"));
        QCOMPARE(r.host.refreshCount, 0);
        QCOMPARE(r.progress.modalShows, 0);
        // The data command confirms what the summary said.
        QCOMPARE(r.commandsSeen(), (QStringList{QStringLiteral("$3"), QStringLiteral("$4")}));
    }

    // A summary whose count lines came too late, or not at all, reads as an
    // empty meter; the data command must show otherwise before anything is said.
    void aSummaryThatLostItsCountsIsNoEmptyMeter_data()
    {
        QTest::addColumn<QString>("fault");
        lostCountRows();
    }
    void aSummaryThatLostItsCountsIsNoEmptyMeter()
    {
        QFETCH(QString, fault);
        ExchangeRig r(withFaults({fault}));
        QVERIFY(r.start());
        QVERIFY(r.download());
        QVERIFY(!r.prompts.messageTexts().contains(QStringLiteral("There is no data to download.")));
        QVERIFY(r.exchanges.LastDownloadOutcome().kind != TDownloadOutcome::Empty);
        QCOMPARE(r.prompts.messages().size(), r.exchanges.LastDownloadOutcome().kind == TDownloadOutcome::Received ? 0 : 1);
    }

    void unansweredStepLeavesTheDocument_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<bool>("noData");
        QTest::newRow("no answer to $3") << "silent@3" << QStringList{QStringLiteral("$3")} << false;
        QTest::newRow("no answer to $4") << "silent@4" << QStringList{QStringLiteral("$3"), QStringLiteral("$4")}
                                         << false;
    }
    void unansweredStepLeavesTheDocument()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, commands);
        ExchangeRig r(withFaults({fault}));
        QVERIFY(r.start());
        r.host.document.GetReading(3, 4).SetSpecies("kept");
        QVERIFY(r.download());
        QCOMPARE(r.prompts.messageTexts(), QStringList{NoResponse});
        QCOMPARE(r.prompts.messages().first().kind, MsgKind::Error);
        QCOMPARE(r.exchanges.LastDownloadOutcome().kind, TDownloadOutcome::NoAnswer);
        QCOMPARE(r.host.document.GetSpecies(3, 4), std::string("kept"));
        QCOMPARE(r.host.refreshCount, 0);
        QCOMPARE(r.commandsSeen(), commands);
    }

    void garbledRecordLineEndsTheDownloadWithItsError()
    {
        // Line 5 of the reply is the fourth record: three readings come before it.
        ExchangeRig r(withFaults({QStringLiteral("garble=5")}));
        QVERIFY(r.start());
        QVERIFY(r.download());
        const QString why = fromCp1252(r.exchanges.LastDownloadOutcome().detail);
        QVERIFY2(why.contains(QStringLiteral("is not a valid integer value")), qPrintable(why));
        QCOMPARE(r.exchanges.LastDownloadOutcome().kind, TDownloadOutcome::Partial);
        QVERIFY(!r.exchanges.LastDownloadOutcome().linesRead);
        // One message: what happened and what to do.
        QCOMPARE(r.prompts.messages().size(), 1);
        QCOMPARE(r.prompts.messages().first().kind, MsgKind::Error);
        QVERIFY(r.prompts.messageTexts().first().endsWith(QLatin1String(exchange_text::RepeatDownload)));
        QCOMPARE(usedReadings(r.host.document), 3);
        QCOMPARE(r.host.refreshCount, 1);
    }

    void lineCountDiffersFromTheSummary_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("readings");
        QTest::addColumn<int>("steps");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("shortfall");
        // The three more are repeats of earlier lines: nothing is missing.
        QTest::newRow("three more") << "more-lines=3" << 40 << 44 << 100 << "";
        QTest::newRow("three fewer") << "fewer-lines=3" << 37 << 38 << 95
                                     << "Only 37 of the 40 readings the KR announced arrived.";
    }
    void lineCountDiffersFromTheSummary()
    {
        QFETCH(QString, fault);
        QFETCH(int, readings);
        QFETCH(int, steps);
        QFETCH(int, percent);
        ExchangeRig r(withFaults({fault}));
        QVERIFY(r.start());
        QVERIFY(r.download());
        QCOMPARE(usedReadings(r.host.document), readings);
        QCOMPARE(r.progress.maxima.last(), 40);
        QCOMPARE(r.progress.state.ProgressTotal, steps);
        QCOMPARE(r.progress.state.percent, percent);
        QFETCH(QString, shortfall);
        QCOMPARE(r.exchanges.LastDownloadOutcome().kind, shortfall.isEmpty() ? TDownloadOutcome::Received : TDownloadOutcome::Partial);
        QCOMPARE(r.prompts.messageTexts(),
                 shortfall.isEmpty() ? QStringList() : QStringList{shortfall + "\r\n" + exchange_text::RepeatDownload});
    }

    void saveQuestionComesBeforeADownloadIntoAChangedDocument_data()
    {
        QTest::addColumn<bool>("modified");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("queries");
        QTest::addColumn<bool>("downloads");
        QTest::newRow("unchanged: no question") << false << false << 0 << true;
        QTest::newRow("changed, go on") << true << true << 1 << true;
        QTest::newRow("changed, cancelled") << true << false << 1 << false;
    }
    void saveQuestionComesBeforeADownloadIntoAChangedDocument()
    {
        QFETCH(bool, modified);
        QFETCH(bool, answer);
        QFETCH(int, queries);
        QFETCH(bool, downloads);
        ExchangeRig r;
        QVERIFY(r.start());
        r.host.document.SetComment(2, "mine");
        if (!modified)
            r.host.document.ClearModified();
        r.host.queryAnswer = answer;
        QCOMPARE(r.download(), downloads);
        QCOMPARE(r.host.queries, queries);
        QCOMPARE(r.host.enabledCalls, (QList<bool>{false, true}));
        QCOMPARE(r.host.document.GetComment(2), downloads ? std::string() : std::string("mine"));
        QCOMPARE(r.commandsSeen().isEmpty(), !downloads);
    }

    // ---- Erase with backup ------------------------------------------------

    void eraseBacksUpIntoSlotOneThenErases()
    {
        ExchangeRig r;
        QVERIFY(r.start());
        r.host.document.SetComment(1, "on screen");
        r.prompts.answer(mbOK);
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Erased);

        QCOMPARE(r.prompts.messages().size(), 2);
        const MessageRequest ask = r.prompts.messages().first();
        QCOMPARE(ask.text, QStringLiteral("This will delete all data from the KR.  Are you sure you want to continue"));
        QCOMPARE(ask.kind, MsgKind::Warning);
        QCOMPARE(ask.buttons, MsgButtons(mbOK | mbCancel));
        QCOMPARE(ask.defaultButton, mbCancel);
        QCOMPARE(r.prompts.messages().last().text, r.erasedInto(1));
        QCOMPARE(r.progress.captions, QStringList(2, QStringLiteral("Backing up Data from KR before deleting")));
        QCOMPARE(r.slotsInUse(), QStringList{QStringLiteral("data1.bak")});

        TKRFile backup;
        backup.LoadFromFile(toNativePath(r.slotPath(1)));
        QCOMPARE(usedReadings(backup), 40);
        QCOMPARE(backup.GetSpecies(1, 1), std::string("Red Oak"));

        // The document on screen kept its contents and was shown again.
        QCOMPARE(r.host.document.GetComment(1), std::string("on screen"));
        QCOMPARE(usedReadings(r.host.document), 0);
        QCOMPARE(r.host.refreshCount, 1);
        // Its unsaved comment is still unsaved: a later close must ask.
        QVERIFY(r.host.document.IsModified());
        QCOMPARE(r.commandsSeen(), (QStringList{QStringLiteral("$3"), QStringLiteral("$4"), QStringLiteral("$*#")}));
        QVERIFY(r.sim->waitForLog(QStringLiteral("state saved")));
        QCOMPARE(r.readingsInMeter(), 0);
    }

    void eraseFillsTheLowestFreeSlot_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<int>("written");
        QTest::newRow("only slot 2 in use") << QList<int>{2} << 1;
        QTest::newRow("slots 1 to 3") << QList<int>{1, 2, 3} << 4;
        QTest::newRow("gap at 5") << QList<int>{1, 2, 3, 4, 6, 7} << 5;
        QTest::newRow("slots 1 to 8") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8} << 9;
    }
    void eraseFillsTheLowestFreeSlot()
    {
        QFETCH(QList<int>, before);
        QFETCH(int, written);
        ExchangeRig r;
        QVERIFY(r.start());
        r.fillSlots(before);
        r.prompts.answer(mbOK);
        const TEraseOutcome erase = r.exchanges.EraseMeter();
        QCOMPARE(erase.kind, TEraseOutcome::Erased);
        QCOMPARE(erase.backupPath, toNativePath(r.slotPath(written)));
        QCOMPARE(erase.readings, 40);
        for (int n : before)
            QCOMPARE(r.slotText(n), QStringLiteral("slot %1").arg(n));
        TKRFile backup;
        backup.LoadFromFile(toNativePath(r.slotPath(written)));
        QCOMPARE(usedReadings(backup), 40);
        QCOMPARE(r.slotsInUse().size(), before.size() + 1);
        // A document without changes is not made to look changed.
        QVERIFY(!r.host.document.IsModified());
    }

    void eraseRotatesTheSlotsWhenNineAreInUse_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QStringList>("after");   // slot 1..8 marker texts afterwards, "" for none
        QTest::newRow("all nine") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}
                                  << QStringList{"slot 2", "slot 3", "slot 4", "slot 5", "slot 6", "slot 7",
                                                 "slot 8", "slot 9"};
        QTest::newRow("slot 9 with slot 3 empty") << QList<int>{1, 2, 4, 5, 6, 7, 8, 9}
                                                  << QStringList{"slot 2", "", "slot 4", "slot 5", "slot 6",
                                                                 "slot 7", "slot 8", "slot 9"};
    }
    void eraseRotatesTheSlotsWhenNineAreInUse()
    {
        QFETCH(QList<int>, before);
        QFETCH(QStringList, after);
        ExchangeRig r;
        QVERIFY(r.start());
        r.fillSlots(before);
        r.prompts.answer(mbOK);
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Erased);
        for (int n = 1; n <= 8; ++n)
            QCOMPARE(r.slotText(n), after[n - 1]);
        TKRFile newest;
        newest.LoadFromFile(toNativePath(r.slotPath(9)));
        QCOMPARE(usedReadings(newest), 40);
        // Nothing else is left behind in the folder.
        QCOMPARE(r.slotsInUse().size(), after.size() - after.count(QString()) + 1);
        QCOMPARE(r.commandsSeen().last(), QStringLiteral("$*#"));
    }

    void eraseCancelledDoesNothing()
    {
        ExchangeRig r;
        QVERIFY(r.start());
        r.prompts.answer(mbCancel);
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Declined);
        QCOMPARE(r.prompts.messages().size(), 1);
        QCOMPARE(r.host.refreshCount, 0);
        QVERIFY(r.slotsInUse().isEmpty());
        QVERIFY(r.commandsSeen().isEmpty());
    }

    void eraseWithoutDataTellsWhy_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("outcome");
        QTest::newRow("meter holds nothing") << true << QString() << QStringList{QStringLiteral("No data to erase")}
                                             << QStringList{QStringLiteral("$3"), QStringLiteral("$4")}
                                             << int(TEraseOutcome::Empty);
        QTest::newRow("no answer to $3") << false << "silent@3" << QStringList{NoResponse}
                                         << QStringList{QStringLiteral("$3")} << int(TEraseOutcome::NoAnswer);
        QTest::newRow("no answer to $4") << false << "silent@4" << QStringList{NoResponse}
                                         << QStringList{QStringLiteral("$3"), QStringLiteral("$4")}
                                         << int(TEraseOutcome::NoAnswer);
    }
    void eraseWithoutDataTellsWhy()
    {
        QFETCH(bool, empty);
        QFETCH(QString, fault);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, commands);
        QFETCH(int, outcome);
        SimMeter::Options o = withFaults(fault.isEmpty() ? QStringList() : QStringList{fault});
        o.emptyMeter = empty;
        ExchangeRig r(o);
        QVERIFY(r.start());
        r.fillSlots({1, 2, 3, 4, 5, 6, 7, 8, 9});
        r.prompts.answer(mbOK);
        QCOMPARE(int(r.exchanges.EraseMeter().kind), outcome);
        QStringList texts = r.prompts.messageTexts();
        texts.removeFirst();
        QCOMPARE(texts, messages);
        QCOMPARE(r.host.refreshCount, 1);
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(r.slotText(n), QStringLiteral("slot %1").arg(n));
        QCOMPARE(r.commandsSeen(), commands);
    }

    // A pause after a reply's echo, at lengths around the rig's 100 ms quiet
    // interval, and summaries that lose their counts: whether the reply is cut
    // or kept, the meter is erased only with every reading in a backup that
    // reads back the same.
    void pauseAfterAnEchoNeverErasesWithoutABackup_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char* key : {"3", "4"})
            for (int ms : {80, 95, 100, 105, 120, 300})
                QTest::newRow(qPrintable(QStringLiteral("%1 ms after $%2").arg(ms).arg(QLatin1String(key))))
                    << QStringLiteral("gap=%1:1@%2").arg(ms).arg(QLatin1String(key));
        lostCountRows();
    }
    void pauseAfterAnEchoNeverErasesWithoutABackup()
    {
        QFETCH(QString, fault);
        ExchangeRig r(withFaults({fault}));
        QVERIFY(r.start());
        r.prompts.answer(mbOK);
        const TEraseOutcome erase = r.exchanges.EraseMeter();
        QVERIFY(erase.kind != TEraseOutcome::Empty);
        // The question, then one message.
        QCOMPARE(r.prompts.messages().size(), 2);
        const bool erased = r.commandsSeen().contains(QStringLiteral("$*#"));
        QCOMPARE(erased, erase.kind == TEraseOutcome::Erased);
        QCOMPARE(r.readingsInMeter(), erased ? 0 : 40);
        if (erased) {
            TKRFile backup;
            backup.LoadFromFile(toNativePath(r.slotPath(1)));
            QCOMPARE(backup.CountReadings(), 40);
        }
    }

    void eraseNeverSendsWithoutACompleteBackup_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("writeFault");
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QString>("reason");
        const QList<int> none;
        const QList<int> all{1, 2, 3, 4, 5, 6, 7, 8, 9};
        const int ok = int(WriteResult::Ok);
        QTest::newRow("file cannot be created") << "" << int(WriteResult::CreateFailed) << none
                                                << "the backup could not be written to ";
        QTest::newRow("write fails") << "" << int(WriteResult::WriteFailed) << none
                                     << "the backup could not be written to ";
        QTest::newRow("rename fails") << "" << int(WriteResult::RenameFailed) << none
                                      << "the backup could not be written to ";
        QTest::newRow("write fails, nine slots") << "" << int(WriteResult::WriteFailed) << all
                                                 << "the backup could not be written to ";
        QTest::newRow("garbled record line") << "garble=5" << ok << none
                                             << "a reading sent by the KR could not be read (";
        QTest::newRow("garbled line, nine slots") << "garble=2" << ok << all
                                                  << "a reading sent by the KR could not be read (";
        QTest::newRow("fewer lines than announced") << "fewer-lines=2" << ok << none
                                                    << "only 38 of the 40 readings the KR announced arrived";
        QTest::newRow("line pulled mid-reply") << "drop-after=400@4" << ok << none
                                               << "the connection to the KR was lost during the download";
        QTest::newRow("summary and data cut mid-line") << "cut=3@3 cut=7@4" << ok << none
                                                       << "the KR's count of its readings stopped part-way";
        QTest::newRow("short summary, data cut mid-line") << "short-summary=2 cut=7@4" << ok << none
                                                          << "the KR's readings stopped part-way";
        QTest::newRow("short summary") << "short-summary=2" << ok << none << "40 readings arrived where the KR";
    }
    void eraseNeverSendsWithoutACompleteBackup()
    {
        QFETCH(QString, fault);
        QFETCH(int, writeFault);
        QFETCH(QList<int>, before);
        QFETCH(QString, reason);
        ExchangeRig r(withFaults(fault.split(QLatin1Char(' '), Qt::SkipEmptyParts)));
        QVERIFY(r.start());
        r.fillSlots(before);
        const QStringList filesBefore = r.slotsInUse();
        r.prompts.answer(mbOK);
        failNextAtomicWrite(WriteResult(writeFault));
        const TEraseOutcome erase = r.exchanges.EraseMeter();
        failNextAtomicWrite(WriteResult::Ok);

        QCOMPARE(erase.kind, TEraseOutcome::NotSafe);
        const MessageRequest told = r.prompts.messages().last();
        QCOMPARE(told.kind, MsgKind::Error);
        QVERIFY2(told.text.startsWith(NotErased + reason), qPrintable(told.text));
        QCOMPARE(r.prompts.messages().size(), 2);
        QCOMPARE(r.slotsInUse(), filesBefore);
        for (int n : before)
            QCOMPARE(r.slotText(n), QStringLiteral("slot %1").arg(n));
        QCOMPARE(r.host.refreshCount, 1);
        QVERIFY(erase.backupPath.empty());
        // The meter still holds every reading.
        QCOMPARE(r.readingsInMeter(), 40);
        if (r.sim->isRunning())
            QVERIFY(!r.commandsSeen().contains(QStringLiteral("$*#")));
        else
            QVERIFY(!r.sim->commands().contains(QStringLiteral("$*#")));
    }

    void eraseTakesBlankSpeciesAndRepeatedLines()
    {
        SimMeter::Options o;
        o.stateText = meterState("reading 01 01 2026-03-05 14:07 20 |Red Oak| 63 12.5\n"
                                 "reading 01 02 2026-03-05 14:08 20 |             | 63 12.5\n"
                                 "reading 02 01 2026-03-05 14:09 21 |Beech| 64 14.0 twice\n");
        ExchangeRig r(o);
        QVERIFY(r.start());
        r.prompts.answer(mbOK);
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Erased);
        QCOMPARE(r.slotsInUse(), QStringList{QStringLiteral("data1.bak")});
        TKRFile backup;
        backup.LoadFromFile(toNativePath(r.slotPath(1)));
        QCOMPARE(backup.CountReadings(), 3);
        QVERIFY(r.sim->waitForLog(QStringLiteral("state saved")));
        QCOMPARE(r.readingsInMeter(), 0);
    }

    void editsDuringAnEraseStayMarked()
    {
        ExchangeRig r;
        QVERIFY(r.start());
        r.prompts.answer(mbOK);
        QObject::connect(&r.link.TimGotSummaryData, &QTimer::timeout, [&] { r.host.document.SetComment(1, "typed"); });
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Erased);
        QVERIFY(r.host.document.IsModified());
    }

    void eraseOnAFullFileSystemKeepsTheMeter()
    {
        ExchangeRig r;
        const QString tiny = r.home.filePath(QStringLiteral("tiny"));
        QVERIFY(QDir().mkpath(tiny));
        TinyFileSystem fs(tiny);
        if (!fs.mounted)
            QSKIP("a small file system cannot be mounted here (needs root)");
        QVERIFY(r.start());
        r.exchanges.SetBackupFolder(toNativePath(tiny));
        r.prompts.answer(mbOK);
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::NotSafe);
        QCOMPARE(r.prompts.messageTexts().last(),
                 NotErased + QStringLiteral("the backup could not be written to ") + tiny +
                     QStringLiteral("/data1.bak."));
        QVERIFY(QDir(tiny).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QVERIFY(!r.commandsSeen().contains(QStringLiteral("$*#")));
        QCOMPARE(r.readingsInMeter(), 40);
    }

    void eraseButtonReportsAnUnreachableMeter()
    {
        ExchangeRig r;
        qputenv("KR_PORT_7", "/nonexistent/kr-port");
        r.prompts.answer(mbOK);
        r.host.document.SetComment(1, "mine");
        r.exchanges.btnClearKRMClick();
        QCOMPARE(r.prompts.messageTexts().size(), 2);
        QVERIFY2(r.prompts.messageTexts().last().startsWith(NotErased + QStringLiteral("the KR could not be reached.\r\n")),
                 qPrintable(r.prompts.messageTexts().last()));
        QCOMPARE(r.prompts.messages().last().kind, MsgKind::Error);
        QCOMPARE(r.host.refreshCount, 1);
        QCOMPARE(r.host.document.GetComment(1), std::string("mine"));
        QVERIFY(!r.exchanges.Busy());
    }

    void downloadIsRefusedWhileAnEraseWaits()
    {
        ExchangeRig r;
        QVERIFY(r.start());
        r.prompts.answer(mbOK);
        bool refused = false;
        QObject::connect(&r.link.TimGotSummaryData, &QTimer::timeout, [&] {
            if (r.exchanges.Busy())
                refused = !r.exchanges.btnDownloadClick();
        });
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Erased);
        QVERIFY(refused);
        QVERIFY(r.host.enabledCalls.isEmpty());
    }

    void otherMeterCommandsWaitForTheDownload()
    {
        ExchangeRig r;
        QVERIFY(r.start());
        QSignalSpy ended(&r.exchanges, &TMeterExchanges::DownloadEnded);
        QVERIFY(r.exchanges.btnDownloadClick());
        QVERIFY(r.exchanges.Busy());
        QVERIFY(!r.exchanges.btnDownloadClick());
        r.exchanges.RequestSerialNo();
        QCOMPARE(r.exchanges.btnTestClick(ExchangeRig::Port).kind, TPortTestOutcome::Busy);
        QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Busy);
        QVERIFY(ended.wait(10000));
        QVERIFY(!r.exchanges.Busy());
        QVERIFY(r.prompts.asked().isEmpty());
        QCOMPARE(r.commandsSeen(), (QStringList{QStringLiteral("$3"), QStringLiteral("$4")}));
    }

    // Cancel at each wait before the erase command: nothing is kept, the
    // meter is not erased, and the rest of the reply cannot reach the next
    // exchange.
    void cancelBeforeTheEraseCommandChangesNothing_data()
    {
        QTest::addColumn<bool>("erase");
        QTest::addColumn<bool>("inDataStep");
        QTest::addColumn<QStringList>("commands");
        const QStringList summary{QStringLiteral("$3")}, both{QStringLiteral("$3"), QStringLiteral("$4")};
        QTest::newRow("download, summary") << false << false << summary;
        QTest::newRow("download, records") << false << true << both;
        QTest::newRow("erase, summary") << true << false << summary;
        QTest::newRow("erase, records") << true << true << both;
    }
    void cancelBeforeTheEraseCommandChangesNothing()
    {
        QFETCH(bool, erase);
        QFETCH(bool, inDataStep);
        QFETCH(QStringList, commands);
        ExchangeRig r;
        QVERIFY(r.start());
        r.host.document.GetReading(3, 4).SetSpecies("kept");
        r.host.document.ClearModified();
        r.progress.onShow = [&](bool modal) {
            if (modal == inDataStep)
                QTimer::singleShot(0, [&] { QVERIFY(r.progress.cancel); r.progress.pressCancel(); });
        };
        if (erase) {
            r.prompts.answer(mbOK);
            QCOMPARE(r.exchanges.EraseMeter().kind, TEraseOutcome::Cancelled);
            QCOMPARE(r.prompts.messageTexts().last(), NotErased + exchange_text::EraseCancelled);
        } else {
            QVERIFY(r.download());
            QCOMPARE(r.exchanges.LastDownloadOutcome().kind, TDownloadOutcome::Cancelled);
            QCOMPARE(r.prompts.messageTexts(), QStringList{exchange_text::DownloadCancelled});
        }
        QVERIFY(!r.progress.cancel);
        QCOMPARE(r.host.document.GetSpecies(3, 4), std::string("kept"));
        QVERIFY(r.slotsInUse().isEmpty());
        // The rest of the reply is dropped before the next command; closing
        // the program meanwhile cuts nothing short.
        QVERIFY(r.exchanges.Busy());
        QVERIFY(!r.exchanges.Running());
        QTRY_VERIFY_WITH_TIMEOUT(!r.exchanges.Busy(), 5000);
        QCOMPARE(r.commandsSeen(), commands);
        QCOMPARE(r.readingsInMeter(), 40);
    }

    // ---- Serial number and port test --------------------------------------

    void serialNumber_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state");
        const int found = TSerialOutcome::Found, none = TSerialOutcome::NoAnswer;
        QTest::newRow("found") << "" << "KR-417263\r" << found;
        QTest::newRow("refused") << "serial-refused" << "Failed to get serial number" << none;
        QTest::newRow("absent") << "silent" << "Failed to get serial number" << none;
        QTest::newRow("echo only") << "fewer-lines=1@5" << "Failed to get serial number" << none;
    }
    void serialNumber()
    {
        QFETCH(QString, fault);
        QFETCH(QString, text);
        QFETCH(int, state);
        ExchangeRig r(withFaults(fault.isEmpty() ? QStringList() : QStringList{fault}));
        QVERIFY(r.start());
        QCOMPARE(r.exchanges.SerialNoText(), std::string("lblSerialNo"));
        QSignalSpy changed(&r.exchanges, &TMeterExchanges::SerialNoChanged);
        r.exchanges.RequestSerialNo();
        QCOMPARE(r.exchanges.SerialNoOutcome().kind, TSerialOutcome::Pending);
        QVERIFY(changed.wait(5000));
        QCOMPARE(changed.first().first().toString(), text);
        QCOMPARE(int(r.exchanges.SerialNoOutcome().kind), state);
        QCOMPARE(fromCp1252(r.exchanges.SerialNoText()), text);
        QVERIFY(r.prompts.asked().isEmpty());
        // The progress display is left alone by this exchange.
        QCOMPARE(r.progress.closes, 0);
    }

    void serialNumberOfAPortThatWillNotOpenFailsQuietly()
    {
        ExchangeRig r;
        qputenv("KR_PORT_7", "/nonexistent/kr-port");
        QSignalSpy changed(&r.exchanges, &TMeterExchanges::SerialNoChanged);
        r.exchanges.RequestSerialNo();
        QVERIFY(changed.wait(5000));
        QCOMPARE(changed.first().first().toString(), QStringLiteral("Failed to get serial number"));
        QVERIFY(r.prompts.asked().isEmpty());
    }

    void portTest_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("meter answers") << "" << true << int(MsgKind::Information)
                                       << "Found KR on Communications Port 7";
        QTest::newRow("meter silent") << "silent" << false << int(MsgKind::Error)
                                      << "Failed to find KR on Communications Port 7\r\n"
                                         "Check connections and ensure KR is switched on.";
    }
    void portTest()
    {
        QFETCH(QString, fault);
        QFETCH(bool, found);
        QFETCH(int, kind);
        QFETCH(QString, text);
        ExchangeRig r(withFaults(fault.isEmpty() ? QStringList() : QStringList{fault}));
        QVERIFY(r.start());
        r.link.PortNumber = 3;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(r.exchanges.btnTestClick(ExchangeRig::Port).kind == TPortTestOutcome::Found, found);
        if (!found)
            QVERIFY(clock.elapsed() >= 100);
        QCOMPARE(r.link.PortNumber, ExchangeRig::Port);
        QVERIFY(r.link.IsOpen());
        QCOMPARE(r.prompts.messageTexts(), QStringList{text});
        QCOMPARE(int(r.prompts.messages().first().kind), kind);
    }

    void portTestOnAPortThatWillNotOpen()
    {
        ExchangeRig r;
        qputenv("KR_PORT_7", "/nonexistent/kr-port");
        QSignalSpy changed(&r.exchanges, &TMeterExchanges::SerialNoChanged);
        QCOMPARE(r.exchanges.btnTestClick(ExchangeRig::Port).kind, TPortTestOutcome::OpenFailed);
        QCOMPARE(r.prompts.messages().size(), 1);
        QCOMPARE(r.prompts.messages().first().kind, MsgKind::Error);
        QVERIFY(!r.prompts.messageTexts().first().startsWith(QStringLiteral("Failed to find")));
        QCOMPARE(changed.size(), 0);
        QVERIFY(!r.link.timGotSerialNo.isActive());
    }
};

QTEST_GUILESS_MAIN(TestExchanges)
#include "tst_Exchanges.moc"
