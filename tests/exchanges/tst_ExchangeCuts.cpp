// Every exchange with the meter with the line pulled, or a reply cut, at a
// sweep of byte offsets into each reply: each one ends, tells the user once,
// and leaves the document, the backups and the meter as they should be.
#include <QtTest>
#include <functional>

#include "tests/exchanges/LibraryRig.h"

using namespace kr;
using namespace kr::test;

namespace {

enum class Exchange { Download, Erase, SerialNo, PortTest, LibraryDownload, Upload };

// Twelve readings in meter files 1 and 2, every record line 48 bytes with its CR.
QByteArray twelveReadings()
{
    QByteArray text;
    for (int i = 0; i < 12; ++i)
        text.append("reading ")
            .append(i < 8 ? "1 " : "2 ")
            .append(QByteArray::number(i < 8 ? i + 1 : i - 7))
            .append(" 2026-03-05 09:12 20 |Red Oak| 63 12.5\n");
    return text;
}

// The replies of that meter in bytes, echo line included.
constexpr int Echo = 3;                        // "$3\r"
constexpr int SummaryLine = 6;                 // "FF:NN\r", one per meter file
constexpr int SummaryBytes = Echo + 25 * SummaryLine;
constexpr int RecordLine = 48;
constexpr int RecordsBytes = Echo + 12 * RecordLine;
constexpr int SerialBytes = Echo + 10;         // "KR-100200\r"
constexpr int LibraryLine = 17;
constexpr int LibraryBytes = Echo + 38 * LibraryLine;

// Offsets into a reply: every one through the echo and just past it, the
// first line's middle and end, `stride` steps through the rest, the last two.
QList<int> sweep(int firstLine, int total, int stride)
{
    QList<int> at{0, 1, 2, Echo, Echo + 1, Echo + firstLine / 2, Echo + firstLine - 1, Echo + firstLine};
    for (int i = 1; i < stride; ++i)
        at << Echo + firstLine + (total - Echo - firstLine) * i / stride;
    return at << total - 1 << total;
}

QString dropAt(int offset, char key)
{
    return QStringLiteral("drop-after=%1@%2").arg(offset).arg(QLatin1Char(key));
}

// What the user is told, by the start of each text.
const QString NoResponse = QStringLiteral("There has been no response from the KR.");
const QString PortGone = QStringLiteral("Cannot open serial port COM7");
const QString Lost = QStringLiteral("The connection to the KR was lost during the download.");
const QString NotErasedLost =
    QStringLiteral("The KR has not been erased: the connection to the KR was lost during the download");
const QString Erased = ExchangeRig::ErasedMark;
const QString NotSent = QString::fromLatin1(library_text::NotSent);

// The meter's library as its state file lists it, species then wall and roof.
QStringList libraryIn(const QByteArray& state)
{
    return stateLines(state, "species ") + stateLines(state, "wallroof ");
}

// The same lines for a library upload text of 38 entries.
QStringList libraryLines(const std::string& text)
{
    QStringList lines;
    for (std::size_t i = 0; i < TLibraryExchanges::UploadLength; i += TLibraryExchanges::RecordLength)
        lines << QLatin1String(i < 31 * TLibraryExchanges::RecordLength ? "species |" : "wallroof |") +
                     QString::fromLatin1(text.substr(i, TLibraryExchanges::RecordLength)) + QLatin1Char('|');
    return lines;
}

// Runs `pull` once the upload has sent `after` characters.
struct PullingProgress : RecordingProgress {
    std::function<void()> pull;
    int after = 0;
    int sent = 0;
    bool uploading = false;
    void SetUpProgress(int maximum, int step, const std::string& caption) override
    {
        uploading = caption == library_text::Uploading;
        RecordingProgress::SetUpProgress(maximum, step, caption);
    }
    void StepProgress() override
    {
        RecordingProgress::StepProgress();
        if (uploading && ++sent == after && pull)
            pull();
    }
};

void row(Exchange exchange, const QString& fault, const QStringList& shown, int outcome, int pullAfter = 0)
{
    static const char* const names[] = {"download", "erase", "serial number", "port test", "library download",
                                        "library upload"};
    const QString name = QLatin1String(names[int(exchange)]) + QLatin1Char(' ') +
                         (pullAfter ? QStringLiteral("pulled after %1 of 608 characters").arg(pullAfter) : fault);
    QTest::newRow(qPrintable(name)) << int(exchange) << fault << shown << outcome << pullAfter;
}

} // namespace

class TestExchangeCuts : public QObject {
    Q_OBJECT
private slots:
    // `outcome`: for a download the readings in the document afterwards (-1:
    // the document as it was); for an erase whether the meter was erased; for
    // the library download whether it was taken; for an upload whether the
    // meter holds the new library (else the old one, never a mixture).
    void cutExchangeEndsAndSaysWhatHappened_data()
    {
        QTest::addColumn<int>("exchange");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("pullAfter");

        using E = Exchange;
        // A summary that stopped before its first count has not said the meter is empty.
        for (int n : sweep(SummaryLine, SummaryBytes, 3))
            row(E::Download, dropAt(n, '3'), {n < Echo + SummaryLine ? NoResponse : PortGone}, -1);
        row(E::Download, QStringLiteral("cut=2@3"), {NoResponse}, -1);
        for (int n : sweep(RecordLine, RecordsBytes, 4))
            row(E::Download, dropAt(n, '4'), {n < Echo ? NoResponse : Lost}, n < Echo ? -1 : (n - Echo) / RecordLine);
        row(E::Download, QStringLiteral("cut=4@4"), {QStringLiteral("The KR's readings stopped part-way")}, 2);

        for (int n : {0, Echo + 2})
            row(E::Erase, dropAt(n, '3'), {NoResponse}, 0);
        row(E::Erase, dropAt(Echo + SummaryLine, '3'),
            {QStringLiteral("The KR has not been erased: the KR could not be reached.\r\n") + PortGone}, 0);
        row(E::Erase, dropAt(0, '4'), {NoResponse}, 0);
        for (int n : {Echo, 200, RecordsBytes})
            row(E::Erase, dropAt(n, '4'), {NotErasedLost}, 0);
        row(E::Erase, QStringLiteral("cut=5@4"),
            {QStringLiteral("The KR has not been erased: the KR's readings stopped part-way")}, 0);
        for (int n = 0; n < 4; ++n)
            row(E::Erase, dropAt(n, '*'), {Erased}, 1);

        const QString serialFailed = QStringLiteral("Failed to get serial number");
        for (int n = 0; n <= SerialBytes; ++n)
            row(E::SerialNo, dropAt(n, '5'), {n < SerialBytes ? serialFailed : QStringLiteral("KR-100200")}, 0);
        row(E::SerialNo, QStringLiteral("cut=2@5"), {serialFailed}, 0);
        for (int n : {0, 2, Echo, 7, SerialBytes - 1, SerialBytes})
            row(E::PortTest, dropAt(n, '5'),
                {n < SerialBytes ? QStringLiteral("Failed to find KR on Communications Port 7")
                                 : QStringLiteral("Found KR on Communications Port 7")},
                0);

        const QString tooFew = QStringLiteral("Not enough data has been received.");
        for (int n : sweep(LibraryLine, LibraryBytes, 3))
            row(E::LibraryDownload, dropAt(n, '2'),
                n < Echo ? QStringList{NoResponse} : n < LibraryBytes ? QStringList{tooFew} : QStringList{},
                n == LibraryBytes);
        row(E::LibraryDownload, QStringLiteral("cut=20@2"), {tooFew}, 0);

        // The upload's one message tells of the erase before it.
        const QString cutShort = Erased + QStringLiteral("\r\nThe library stopped part-way");
        for (int n : {0, Echo + 2})
            row(E::Upload, dropAt(n, '3'), {NotSent + QStringLiteral("the KR did not answer.")}, 0);
        row(E::Upload, dropAt(0, '4'), {NotSent + QStringLiteral("the KR did not answer.")}, 0);
        row(E::Upload, dropAt(100, '4'), {NotSent + QStringLiteral("its readings could not be backed up, so")}, 0);
        for (int n : {0, 3})
            row(E::Upload, dropAt(n, '*'), {cutShort}, 0);
        row(E::Upload, dropAt(0, '6'),
            {Erased + QStringLiteral("\r\nThe library was sent to the KR: 31 species.")}, 1);
        for (int k : {1, 300})
            row(E::Upload, QString(), {cutShort}, 0, k);
    }
    void cutExchangeEndsAndSaysWhatHappened()
    {
        QFETCH(int, exchange);
        QFETCH(QString, fault);
        QFETCH(QStringList, shown);
        QFETCH(int, outcome);
        QFETCH(int, pullAfter);
        // The port is a link that the simulator removes when the line is
        // pulled: opening it again must not reach a terminal number that
        // another simulator has been given since.
        QTemporaryDir linkDir;
        const QString port = linkDir.filePath(QStringLiteral("kr-port"));
        LibraryRig r(stateOf(meterState(twelveReadings()), fault.isEmpty() ? QStringList() : QStringList{fault})
                         .linkAt(port));
        PullingProgress progress;
        r.link.setProgress(&progress);
        // The simulator closes its end a little after the last byte it sent:
        // the quiet time must outlast that on a busy machine.
        r.link.setQuietInterval(200);
        r.library.SetNoExtraErase(true);
        QVERIFY(r.start());
        qputenv("KR_PORT_7", QFile::encodeName(port));
        const QByteArray before = r.sim->readState();
        r.host.document.GetReading(3, 4).SetSpecies("kept");
        auto askedFirst = [&](const char* question) {
            QStringList told = r.prompts.messageTexts();
            if (told.isEmpty() || told.takeFirst() != QLatin1String(question))
                told.prepend(QStringLiteral("(no question)"));
            return told;
        };

        QStringList told;
        switch (Exchange(exchange)) {
        case Exchange::Download: {
            QVERIFY(r.download());
            told = r.prompts.messageTexts();
            const bool untouched = outcome < 0;
            QCOMPARE(r.host.document.GetSpecies(3, 4) == "kept", untouched);
            QCOMPARE(usedReadings(r.host.document), untouched ? 1 : outcome);
            break;
        }
        case Exchange::Erase:
            r.prompts.answer(mbOK);
            r.exchanges.btnClearKRMClick();
            told = r.marked(askedFirst(exchange_text::EraseQuestion));
            if (outcome)
                QVERIFY(r.sim->waitForExit());
            QCOMPARE(r.slotsInUse(), outcome ? QStringList{QStringLiteral("data1.bak")} : QStringList());
            QCOMPARE(r.host.document.GetSpecies(3, 4), std::string("kept"));
            break;
        case Exchange::SerialNo: {
            QSignalSpy changed(&r.exchanges, &TMeterExchanges::SerialNoChanged);
            r.exchanges.RequestSerialNo();
            QVERIFY(changed.wait(5000));
            // The about box shows the text; no message box is asked.
            told = r.prompts.messageTexts() << changed.first().first().toString();
            break;
        }
        case Exchange::PortTest:
            QCOMPARE(r.exchanges.btnTestClick(ExchangeRig::Port).kind == TPortTestOutcome::Found,
                     shown.first().startsWith(QLatin1String("Found")));
            told = r.prompts.messageTexts();
            break;
        case Exchange::LibraryDownload: {
            const int items = r.catalogue.Count();
            const TLibraryDownload got = r.library.BtnReceiveClick();
            told = r.prompts.messageTexts();
            QCOMPARE(got.outcome == TLibraryDownloadOutcome::Received, bool(outcome));
            if (!outcome) {
                QCOMPARE(r.catalogue.Count(), items);
                QCOMPARE(r.library.WallRoofEntries(), TLibraryExchanges::DefaultWallRoofEntries());
            }
            break;
        }
        case Exchange::Upload: {
            progress.after = pullAfter;
            // The meter has taken the erase before its line is pulled: the
            // pull is to cut the library, not to race the erase.
            progress.pull = [&] {
                r.sim->waitForLog(QStringLiteral("state saved"));
                r.sim->stop();
            };
            r.prompts.answer(mbOK);
            const TLibraryUploadOutcome result = r.library.BtnSendClick(woodCodes()).outcome;
            told = r.marked(askedFirst(exchange_text::EraseQuestion));
            QCOMPARE(result == TLibraryUploadOutcome::Sent, bool(outcome));
            if (outcome)
                QVERIFY(r.sim->waitForExit());
            r.sim->stop();
            const std::string sent = r.library.SpeciesRecords(woodCodes()).text + r.library.WallRoofText();
            QCOMPARE(libraryIn(r.sim->readState()), outcome ? libraryLines(sent) : libraryIn(before));
            break;
        }
        }

        QCOMPARE(told.size(), shown.size());
        for (qsizetype i = 0; i < told.size(); ++i)
            QVERIFY2(told[i].startsWith(shown[i]), qPrintable(told[i]));
        r.sim->stop();
        // The meter keeps its readings unless it was told to erase them.
        const bool erased = !told.filter(Erased).isEmpty();
        QCOMPARE(stateLines(r.sim->readState(), "reading ").size(), erased ? 0 : 12);
    }

    // Every other fault the simulated meter can put into the two replies:
    // a download says at most one thing, an erase exactly one after its
    // question, and a meter that was not erased keeps every reading.
    void everyFaultIsToldOnce_data()
    {
        QTest::addColumn<bool>("erase");
        QTest::addColumn<QString>("fault");
        for (const char* fault : {"silent@3", "silent@4", "no-cr@3", "no-cr@4", "gap@3", "gap@4", "crlf", "nul=2@3",
                                  "nul=2@4", "garble=3", "cut=3@3", "cut=3@4", "more-lines=2", "fewer-lines=2",
                                  "short-summary=2", "trickle=150@4"})
            for (bool erase : {false, true})
                QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(erase ? "erase" : "download", fault)))
                    << erase << QString::fromLatin1(fault);
    }
    void everyFaultIsToldOnce()
    {
        QFETCH(bool, erase);
        QFETCH(QString, fault);
        ExchangeRig r(stateOf(meterState(twelveReadings()), {fault}));
        QVERIFY(r.start());
        if (erase) {
            r.prompts.answer(mbOK);
            r.exchanges.EraseMeter();
            QCOMPARE(r.prompts.messages().size(), 2);
        } else {
            QVERIFY(r.download());
            QVERIFY2(r.prompts.messages().size() <= 1, qPrintable(r.prompts.messageTexts().join(" | ")));
        }
        const bool erased = r.prompts.messageTexts().contains(r.erasedInto(1));
        QTRY_VERIFY_WITH_TIMEOUT(!r.exchanges.Busy(), 5000);
        if (erased)
            QVERIFY(r.sim->waitForLog(QStringLiteral("state saved")));
        r.sim->stop();
        QCOMPARE(stateLines(r.sim->readState(), "reading ").size(), erased ? 0 : 12);
    }
};

QTEST_GUILESS_MAIN(TestExchangeCuts)
#include "tst_ExchangeCuts.moc"
