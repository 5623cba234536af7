// The library download and upload against the simulated meter: what the
// editor gets, what the meter receives and keeps, and every refusal.
#include <QtTest>
#include <algorithm>
#include <limits>

#include "core/AtomicFile.h"
#include "library/LibraryExchanges.h"
#include "tests/exchanges/LibraryRig.h"

using namespace kr;
using namespace kr::test;

namespace {

const QString NotSent = QString::fromLatin1(library_text::NotSent);

// A meter holding these 16-character species entries (the rest "Species NN"),
// its own wall-and-roof entries, and `readings`.
QByteArray meterWith(const QList<QByteArray>& first, const QByteArray& readings = {})
{
    QByteArray text = "serial KR-100200\n";
    for (int i = 0; i < 31; ++i)
        text += "species |"
            + (i < first.size() ? first[i] : ("Species " + QByteArray::number(i + 10)).leftJustified(13) + " 50") + "|\n";
    for (int i = 0; i < 7; ++i)
        text += "wallroof |" + ("Roof " + QByteArray::number(i + 1)).leftJustified(13) + " 3" + QByteArray::number(i) + "|\n";
    return text + readings;
}

} // namespace

class TestLibraryExchanges : public QObject {
    Q_OBJECT
private slots:
    // ---- Download ---------------------------------------------------------

    void downloadTakesCatalogueItemsByNameAndAddsTheRest()
    {
        LibraryRig r(stateOf(meterWith({"Pau Marfim Ex 50", "Wood 02       61"})),
                     catalogueLine("AAAAAAAA", "Wood 02", "0.61") + woodCatalogue());
        QVERIFY(r.start());
        const TLibraryDownload got = r.library.BtnReceiveClick();

        QCOMPARE(got.outcome, TLibraryDownloadOutcome::Received);
        QCOMPARE(int(got.codes.size()), 31);
        QCOMPARE(got.codes[0], std::string("W0000001"));
        // The first of two names alike in 13 characters whose SG is the meter's.
        QCOMPARE(got.codes[1], std::string("AAAAAAAA"));
        QCOMPARE(r.item("AAAAAAAA").FormatSG(), std::string("0.61"));
        QCOMPARE(got.codes[2], std::string("10000001"));
        QCOMPARE(got.codes[30], std::string("10000029"));
        QCOMPARE(int(got.added.size()), 29);
        QCOMPARE(r.catalogue.Count(), 33 + 29);
        const TItem& added = r.item("10000001");
        QCOMPARE(added.GetName(), std::string("Species 12   "));
        QCOMPARE(added.GetDescription(), std::string("Species 12   "));
        QCOMPARE(added.FormatSG(), std::string("0.50"));
        QCOMPARE(added.GetGroup(), std::string("Added"));
        QCOMPARE(r.library.WallRoofEntries()[0], std::string("Roof 1        30"));
        QCOMPARE(r.library.WallRoofEntries()[6], std::string("Roof 7        36"));

        QCOMPARE(r.buttons, (QList<bool>{false, true}));
        QCOMPARE(r.countedProgress.captions, QStringList{QStringLiteral("Downloading library from KR")});
        QCOMPARE(r.countedProgress.maxima, QList<int>{38});
        QCOMPARE(r.countedProgress.modalShows, 1);
        QVERIFY(r.prompts.asked().isEmpty());
        QCOMPARE(r.commandsSeen(), QStringList{QStringLiteral("$2")});
    }

    void crLfLineEndsReadAsCarriageReturns()
    {
        LibraryRig r(stateOf(meterWith({"Pau Marfim Ex 50"}), {QStringLiteral("crlf")}));
        QVERIFY(r.start());
        const TLibraryDownload got = r.library.BtnReceiveClick();
        QCOMPARE(got.outcome, TLibraryDownloadOutcome::Received);
        QCOMPARE(got.codes[0], std::string("W0000001"));
        QCOMPARE(int(got.codes.size()), 31);
        QCOMPARE(r.library.WallRoofEntries()[6], std::string("Roof 7        36"));
        QVERIFY(r.prompts.messages().isEmpty());
    }

    void secondDownloadNumbersNewSpeciesOnFromTheFirst()
    {
        LibraryRig r;
        QVERIFY(r.start());
        QCOMPARE(r.library.BtnReceiveClick().codes[0], std::string("10000001"));
        // The sample meter's species are "Red Oak", "White Oak"... "Larch": all
        // new to the catalogue, "Ipe" by its SG.
        SimMeter other(stateOf(meterWith({"White Oak     68", "Larch         55"})));
        QVERIFY(other.start());
        r.link.Close();
        qputenv("KR_PORT_7", other.devicePath().toLocal8Bit());

        const TLibraryDownload second = r.library.BtnReceiveClick();
        QCOMPARE(second.outcome, TLibraryDownloadOutcome::Received);
        QCOMPARE(second.codes[0], std::string("10000002"));   // added by the first
        QCOMPARE(second.codes[1], std::string("10000031"));
        QCOMPARE(second.codes[2], std::string("10000032"));
        QCOMPARE(r.item("10000032").GetName(), std::string("Species 12   "));
        QCOMPARE(r.catalogue.FindByCode("10000001")->GetName(), std::string("Red Oak      "));
    }

    // The meter's SG stays unless the user picks another item: a species the
    // catalogue lists with another SG is kept as the meter has it, and said.
    void meterSgOtherThanTheCatalogueIsKept_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<std::string>("code");   // the item taken
        QTest::addColumn<std::string>("sg");     // its SG text
        QTest::addColumn<QString>("told");       // empty: nothing is said
        const QString one = QStringLiteral("1 species on the KR has an SG that differs from the catalogue; "
                                           "it is kept as the KR has it:\r\n%1");
        QTest::newRow("same SG") << QByteArray("Wood 02       61") << std::string("AAAAAAAA") << std::string("0.61")
                                 << QString();
        QTest::newRow("SG of the second alike") << QByteArray("Wood 02       42") << std::string("W0000002")
                                                << std::string("0.42") << QString();
        QTest::newRow("catalogue 0.5") << QByteArray("Pau Marfim Ex 50") << std::string("W0000001")
                                       << std::string("0.50") << QString();
        QTest::newRow("other SG") << QByteArray("Wood 02       99") << std::string("10000001") << std::string("0.99")
                                  << one.arg("Wood 02 0.99 (catalogue 0.61)");
        QTest::newRow("0.01 apart") << QByteArray("Pau Marfim Ex 51") << std::string("10000001")
                                    << std::string("0.51") << one.arg("Pau Marfim Ex 0.51 (catalogue 0.50)");
    }
    void meterSgOtherThanTheCatalogueIsKept()
    {
        QFETCH(QByteArray, record);
        QFETCH(std::string, code);
        QFETCH(QString, told);
        LibraryRig r(stateOf(meterWith({record})), catalogueLine("AAAAAAAA", "Wood 02", "0.61") + woodCatalogue());
        QVERIFY(r.start());
        const TLibraryDownload got = r.library.BtnReceiveClick();
        QCOMPARE(got.codes[0], code);
        QTEST(r.item(code).FormatSG(), "sg");
        QCOMPARE(r.prompts.messageTexts(), told.isEmpty() ? QStringList() : QStringList{told});
        if (!told.isEmpty())
            QCOMPARE(r.prompts.messages().first().kind, MsgKind::Information);
        QCOMPARE(r.item("AAAAAAAA").FormatSG(), std::string("0.61"));
        QCOMPARE(r.item("W0000001").FormatSG(), std::string("0.50"));
    }

    void unreadableSgDigitsAreToldOnceAfterTheWholeList()
    {
        LibraryRig r(stateOf(meterWith({"Odd One       x5", "Even One      42", "Odd Two         ",
                                        "Wood 03       50", "Wood 04       50", "Wood 05       x5"})));
        QVERIFY(r.start());
        const TLibraryDownload got = r.library.BtnReceiveClick();
        QCOMPARE(got.outcome, TLibraryDownloadOutcome::Received);
        QCOMPARE(int(got.codes.size()), 31);
        QCOMPARE(got.unreadableSG, (std::vector<std::string>{"Odd One", "Odd Two", "Wood 05"}));
        QCOMPARE(r.item(got.codes[0]).GetSG(), 0.0);
        QCOMPARE(r.item(got.codes[1]).FormatSG(), std::string("0.42"));
        QCOMPARE(r.item(got.codes[2]).GetSG(), 0.0);
        QCOMPARE(r.item(got.codes[5]).GetSG(), 0.0);
        QCOMPARE(int(got.added.size()), 28);
        // Both in one box, after the whole list.
        QCOMPARE(r.prompts.messages().size(), 1);
        const MessageRequest told = r.prompts.messages().first();
        QCOMPARE(told.kind, MsgKind::Warning);
        QCOMPARE(told.text, QStringLiteral("2 species on the KR have an SG that differs from the catalogue; they are "
                                           "kept as the KR has them:\r\nWood 03 0.50 (catalogue 0.43)\r\nWood 04 0.50 "
                                           "(catalogue 0.44)\r\n\r\nThe SG the KR sent for Odd One, Odd Two, Wood 05 "
                                           "is not a number; these species are listed with an SG of 0, which the "
                                           "KR cannot take."));
    }

    void downloadShortOrUnansweredChangesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");
        QTest::newRow("20 lines") << "short-library=20" << int(TLibraryDownloadOutcome::TooFewLines)
                                  << "Not enough data has been received.  Check connections.";
        QTest::newRow("38 lines") << "short-library=38" << int(TLibraryDownloadOutcome::TooFewLines)
                                  << "Not enough data has been received.  Check connections.";
        QTest::newRow("silent") << "silent" << int(TLibraryDownloadOutcome::NoResponse)
                                << QString::fromLatin1(NoResponseMessage);
    }
    void downloadShortOrUnansweredChangesNothing()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        LibraryRig r(stateOf(meterWith({}), {fault}));
        QVERIFY(r.start());
        const TLibraryDownload got = r.library.BtnReceiveClick();
        QCOMPARE(int(got.outcome), outcome);
        QVERIFY(got.codes.empty());
        QCOMPARE(r.catalogue.Count(), 32);
        QCOMPARE(r.library.WallRoofEntries(), TLibraryExchanges::DefaultWallRoofEntries());
        QCOMPARE(r.prompts.messageTexts(), QStringList{message});
        QCOMPARE(r.buttons, (QList<bool>{false, true}));
    }

    // ---- Upload -----------------------------------------------------------

    void uploadSendsTheLibraryOnceTheMeterIsSafe_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<bool>("nd");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("told");   // after the erase question
        const QString erased = ExchangeRig::ErasedMark;
        const QString sent = QStringLiteral("The library was sent to the KR: 31 species.");
        QTest::newRow("readings backed up") << false << false << QStringList{"$3", "$4", "$*#", "$*#", "$6"}
                                            << QStringList{erased + "\r\n" + sent};
        QTest::newRow("ND") << false << true << QStringList{"$3", "$4", "$*#", "$6"}
                            << QStringList{erased + "\r\n" + sent};
        // Nothing failed: no "No data to erase" on the way.
        QTest::newRow("no readings") << true << false << QStringList{"$3", "$4", "$*#", "$6"} << QStringList{sent};
    }
    void uploadSendsTheLibraryOnceTheMeterIsSafe()
    {
        QFETCH(bool, empty);
        QFETCH(bool, nd);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, told);
        SimMeter::Options o;
        o.emptyMeter = empty;
        LibraryRig r(o);
        QVERIFY(r.start());
        r.library.SetNoExtraErase(nd);
        r.prompts.answer(mbOK);
        r.prompts.answer(mbOK);
        QCOMPARE(r.library.BtnSendClick(woodCodes()).outcome, TLibraryUploadOutcome::Sent);

        QTRY_VERIFY_WITH_TIMEOUT(r.sim->readState().contains("species |Pau Marfim Ex 50|"), 5000);
        const QByteArray state = r.sim->readState();
        QCOMPARE(stateLines(state, "species ").first(), QStringLiteral("species |Pau Marfim Ex 50|"));
        QCOMPARE(stateLines(state, "species ").last(), QStringLiteral("species |Wood 31       71|"));
        QCOMPARE(stateLines(state, "wallroof ").first(), QStringLiteral("wallroof |Set User SG   50|"));
        QCOMPARE(stateLines(state, "reading ").size(), 0);
        QCOMPARE(r.slotsInUse().size(), empty ? 0 : 1);

        // Each character is queued more than 5 ms after the one before by the
        // program's clock. The simulator's log sees them through another
        // process's scheduling, so it is asked only for the pace as a whole.
        QCOMPARE(r.countedProgress.steps, 608);
        const QList<qint64>& written = r.wire->writeNs;
        QVERIFY(written.size() > 608);
        qint64 smallest = std::numeric_limits<qint64>::max();
        for (qsizetype i = written.size() - 608; i < written.size(); ++i)
            smallest = std::min(smallest, written[i] - written[i - 1]);
        QVERIFY2(smallest > 5000000, qPrintable(QString::number(smallest)));
        const QList<SimMeter::Received> bytes = r.sim->received();
        const qsizetype six = bytes.size() - 609;
        QCOMPARE(bytes[six].byte, '6');
        QList<double> gaps;
        for (qsizetype i = six + 1; i < bytes.size(); ++i)
            gaps << bytes[i].ms - bytes[i - 1].ms;
        std::sort(gaps.begin(), gaps.end());
        QVERIFY2(gaps[304] > 5.0, qPrintable(QString::number(gaps[304])));
        QVERIFY(bytes.last().ms - bytes[six].ms > 608 * 5.0);
        // The meter's clock stamps bytes as they arrive, a little after they
        // left: the 1.5 s pause may look up to a few ms shorter there.
        if (!nd)
            QVERIFY2(bytes[six - 1].ms - bytes[six - 2].ms > 1450,
                     qPrintable(QString::number(bytes[six - 1].ms - bytes[six - 2].ms)));
        QCOMPARE(r.countedProgress.captions.last(), QStringLiteral("Uploading Library to KR"));
        // A half-sent library is worse than a finished one: no Cancel, and the window says why.
        QCOMPARE(r.countedProgress.stepsWithCancel, 0);
        QCOMPARE(r.countedProgress.whyNotAtLastStep, std::string(library_text::CannotStop));
        QCOMPARE(r.countedProgress.maxima.last(), 608);
        QCOMPARE(r.countedProgress.state.ProgressTotal, 608);
        QCOMPARE(r.buttons, (QList<bool>{false, true}));
        QCOMPARE(r.commandsSeen(), commands);
        QCOMPARE(r.marked(r.prompts.messageTexts().mid(1)), told);
        QCOMPARE(r.prompts.messages().last().kind, MsgKind::Information);
    }

    void uploadRefusedSendsNothing_data()
    {
        QTest::addColumn<int>("entry");          // replaced, or -1: the list loses its last entry
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("told");
        QTest::addColumn<int>("help");
        QTest::newRow("30 entries") << -1 << "" << int(mbNone) << int(TLibraryUploadOutcome::TooFew)
                                    << "There are only 30 species in the library list.  You must select 31 species." << 902;
        QTest::newRow("SG 1.06") << 4 << "IPE00001" << int(mbNone) << int(TLibraryUploadOutcome::Refused)
                                 << "Ipe: its SG of 1.06 is more than the KR can hold" << 902;
        QTest::newRow("unknown code") << 30 << "ZZZZZZZZ" << int(mbNone) << int(TLibraryUploadOutcome::Refused)
                                      << "Entry 31: the catalogue holds no species with the code ZZZZZZZZ." << 902;
        QTest::newRow("erase declined") << 0 << "W0000001" << int(mbCancel) << int(TLibraryUploadOutcome::Declined)
                                         << "This will delete all data from the KR." << 0;
    }
    void uploadRefusedSendsNothing()
    {
        QFETCH(int, entry);
        QFETCH(QString, code);
        QFETCH(int, answer);
        QFETCH(int, outcome);
        QFETCH(QString, told);
        QFETCH(int, help);
        LibraryRig r;
        QVERIFY(r.start());
        const QByteArray before = r.sim->readState();
        std::vector<std::string> codes = woodCodes();
        if (entry < 0)
            codes.pop_back();
        else
            codes[std::size_t(entry)] = code.toStdString();
        if (answer != mbNone)
            r.prompts.answer(MsgButton(answer));
        QCOMPARE(int(r.library.BtnSendClick(codes).outcome), outcome);

        QCOMPARE(r.prompts.messages().size(), 1);
        const MessageRequest shown = r.prompts.messages().first();
        QVERIFY2(shown.text.contains(told), qPrintable(shown.text));
        QCOMPARE(shown.helpTopic, help);
        if (answer == mbNone)
            QCOMPARE(shown.buttons, MsgButtons(mbOK | mbHelp));
        QCOMPARE(r.buttons, (QList<bool>{false, true}));
        QVERIFY(r.commandsSeen().isEmpty());
        QCOMPARE(r.sim->readState(), before);
    }

    void uploadStopsUnlessTheMeterDataIsSafe_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("writeFault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("backup cannot be written") << "" << int(WriteResult::WriteFailed)
                                                  << int(TLibraryUploadOutcome::NotSafe) << QStringList{"$3", "$4"};
        QTest::newRow("meter silent") << "silent" << int(WriteResult::Ok) << int(TLibraryUploadOutcome::NoResponse)
                                      << QStringList{"$3"};
        QTest::newRow("records unanswered") << "silent@4" << int(WriteResult::Ok)
                                            << int(TLibraryUploadOutcome::NoResponse) << QStringList{"$3", "$4"};
        // The counts come after the quiet interval: the summary looks empty.
        QTest::newRow("pause after the summary's echo") << "gap=120@3" << int(WriteResult::Ok)
                                                        << int(TLibraryUploadOutcome::NotSafe) << QStringList{"$3", "$4"};
        // Nothing counted, then the records came after the quiet interval:
        // two bare echoes are not an empty meter.
        QTest::newRow("bare summary, pause after the data's echo")
            << "short-summary=1 gap=120@4" << int(WriteResult::Ok) << int(TLibraryUploadOutcome::NotSafe)
            << QStringList{"$3", "$4"};
    }
    void uploadStopsUnlessTheMeterDataIsSafe()
    {
        QFETCH(QString, fault);
        QFETCH(int, writeFault);
        QFETCH(int, outcome);
        QFETCH(QStringList, commands);
        LibraryRig r(stateOf(meterWith({}, "reading 1 1 2026-03-05 09:12 20 |Red Oak| 63 8.9\n"),
                             fault.split(QLatin1Char(' '), Qt::SkipEmptyParts)));
        QVERIFY(r.start());
        const QByteArray before = r.sim->readState();
        for (int i = 0; i < 3; ++i)
            r.prompts.answer(mbOK);
        failNextAtomicWrite(WriteResult(writeFault));
        QCOMPARE(int(r.library.BtnSendClick(woodCodes()).outcome), outcome);
        failNextAtomicWrite(WriteResult::Ok);

        // The question, then the upload's one message.
        QCOMPARE(r.prompts.messages().size(), 2);
        const MessageRequest told = r.prompts.messages().last();
        QVERIFY2(told.text.startsWith(NotSent), qPrintable(told.text));
        QCOMPARE(told.helpTopic, 902);
        QCOMPARE(r.commandsSeen(), commands);
        QCOMPARE(r.sim->readState(), before);
        QVERIFY(r.slotsInUse().isEmpty());
    }

    // Cancel while the KR is read: the library download takes nothing, the
    // upload erases and sends nothing.
    void cancelWhileTheKrIsRead_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<QStringList>("commands");
        QTest::newRow("library download") << false << QStringList{"$2"};
        QTest::newRow("upload, during the backup") << true << QStringList{"$3", "$4"};
    }
    void cancelWhileTheKrIsRead()
    {
        QFETCH(bool, upload);
        QFETCH(QStringList, commands);
        LibraryRig r(stateOf(meterWith({}, "reading 1 1 2026-03-05 09:12 20 |Red Oak| 63 8.9\n")));
        QVERIFY(r.start());
        const QByteArray before = r.sim->readState();
        const int items = r.catalogue.Count();
        r.countedProgress.onShow = [&](bool modal) {
            if (modal)
                QTimer::singleShot(0, [&] { r.countedProgress.pressCancel(); });
        };
        if (upload) {
            r.prompts.answer(mbOK);
            QCOMPARE(r.library.BtnSendClick(woodCodes()).outcome, TLibraryUploadOutcome::Cancelled);
        } else {
            QCOMPARE(r.library.BtnReceiveClick().outcome, TLibraryDownloadOutcome::Cancelled);
            QCOMPARE(r.catalogue.Count(), items);
            QCOMPARE(r.library.WallRoofEntries(), TLibraryExchanges::DefaultWallRoofEntries());
        }
        QCOMPARE(r.prompts.messages().last().kind, MsgKind::Information);
        QTRY_VERIFY_WITH_TIMEOUT(!r.exchanges.Busy(), 5000);
        QCOMPARE(r.commandsSeen(), commands);
        QCOMPARE(r.sim->readState(), before);
        QVERIFY(r.slotsInUse().isEmpty());
    }

    void libraryAndOtherCommandsWaitForEachOther()
    {
        LibraryRig r;
        QVERIFY(r.start());
        QSignalSpy ended(&r.exchanges, &TMeterExchanges::DownloadEnded);
        QVERIFY(r.exchanges.btnDownloadClick());
        QCOMPARE(r.library.BtnReceiveClick().outcome, TLibraryDownloadOutcome::Busy);
        QCOMPARE(r.library.BtnSendClick(woodCodes()).outcome, TLibraryUploadOutcome::Busy);
        QVERIFY(ended.wait(10000));

        bool othersRefused = false;
        QTimer::singleShot(0, [&] {
            othersRefused = r.exchanges.Busy() && !r.exchanges.btnDownloadClick()
                && r.exchanges.EraseMeter().kind == TEraseOutcome::Busy
                && r.library.BtnSendClick(woodCodes()).outcome == TLibraryUploadOutcome::Busy;
        });
        QCOMPARE(r.library.BtnReceiveClick().outcome, TLibraryDownloadOutcome::Received);
        QVERIFY(othersRefused);
        QVERIFY(!r.exchanges.Busy());
        QCOMPARE(r.buttons, (QList<bool>{false, true}));
        QCOMPARE(r.commandsSeen(), (QStringList{"$3", "$4", "$2"}));
    }
};

QTEST_GUILESS_MAIN(TestLibraryExchanges)
#include "tst_LibraryExchanges.moc"
