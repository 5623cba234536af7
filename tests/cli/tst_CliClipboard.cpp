// kr-cli export against the window program's own "Copy to clipboard": the
// same data file opened in the main window, copied, and the clipboard's text
// compared byte for byte with what kr-cli prints.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "CliRunner.h"
#include "core/Readings.h"
#include "core/Regional.h"
#include "mainwindow/Main.h"
#include "platform/ui/Clipboard.h"
#include "platform/SystemRegional.h"
#include "platform/Text.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;

namespace {

const char* const Locale = "C.UTF-8";

TDateTime at(int y, int mo, int d, int h, int mi)
{
    return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, 0, 0));
}

void put(TFile& doc, int f, int r, const std::string& species, int sgApplies, long double mc, int temp,
         TDateTime when, const std::string& note)
{
    TReading& reading = doc.GetReading(f, r);
    reading.SetSpecies(species);
    reading.SetSGApplies(sgApplies);
    reading.SetSG(0.61L);
    reading.SetMoisture(mc);
    reading.SetTemperature(temp);
    reading.SetDateTime(when);
    doc.SetNote(f, r, note);
}

} // namespace

class TestCliClipboard : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString file;

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        qputenv("KR_HOME", QDir(home.path()).absolutePath().toUtf8());
        // The regional settings kr-cli will read in its own process.
        RegionalSettings r = readSystemRegional();
        r.shortDateFormat = "dd/mm/yyyy";
        setRegional(r);

        TKRFile doc;
        doc.SetDateStamp(at(2026, 4, 1, 9, 30));
        doc.SetComment(2, "Caf\xE9 floor \x93" "east\x94");
        put(doc, 2, 1, "Walnut", 1, 11.25L, 23, at(2026, 4, 1, 10, 0), "by the door");
        put(doc, 2, 7, "Teak", 0, 60, 35, at(2026, 4, 2, 0, 0), "");
        put(doc, 9, 3, "Fir", 1, 7.05L, -9, at(1998, 6, 30, 23, 59), "\xA7 4, \x80 12");
        doc.SetNotes({"Invoice 7", "", "\xBD done"});
        file = home.filePath("window.krx");
        doc.SaveToFile(file.toStdString());
    }

    void exportEqualsTheWindowsClipboard_data()
    {
        QTest::addColumn<bool>("centigrade");
        QTest::addColumn<bool>("cp1252");
        QTest::newRow("C, UTF-8") << true << false;
        QTest::newRow("F, UTF-8") << false << false;
        QTest::newRow("C, cp1252") << true << true;
        QTest::newRow("F, cp1252") << false << true;
    }
    void exportEqualsTheWindowsClipboard()
    {
        QFETCH(bool, centigrade);
        QFETCH(bool, cp1252);

        test::ScriptedPrompts prompts;
        TfmMain::Options options;
        options.openPort = false;
        TfmMain window(options);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        prompts.answerOpen(file);
        QTest::mouseClick(window.btnOpen, Qt::LeftButton);
        QCOMPARE(window.Document().GetFileName(), file.toStdString());
        window.settings.Centigrade = centigrade;
        setClipboardText(QStringLiteral("something else"));
        QTest::mouseClick(window.btnClipboard, Qt::LeftButton);
        const QString clipboard = clipboardText();
        QVERIFY(clipboard.contains(QStringLiteral("Caf\u00E9 floor \u201C" "east\u201D")));

        QStringList args{"export", file};
        if (!centigrade)
            args << "--fahrenheit";
        if (cp1252)
            args << "--encoding" << "cp1252";
        const auto r = test::runCli(args, {}, QString::fromLatin1(Locale));
        QCOMPARE(r.status, 0);
        const QByteArray expected =
            cp1252 ? QByteArray::fromStdString(toCp1252(clipboard)) : clipboard.toUtf8();
        QCOMPARE(r.out, expected);
        window.Document().ClearModified();
    }
};

int main(int argc, char** argv)
{
    // kr-cli runs under this locale; the window here must see the same one.
    qputenv("LC_ALL", Locale);
    qputenv("LANG", Locale);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestCliClipboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_CliClipboard.moc"
