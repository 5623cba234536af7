// The glance window's target range, comparison limit and room margins in
// kr.ini, and the inspector's name for reports.
#include <QTemporaryDir>
#include <QTest>

#include "settings/GlanceSettings.h"
#include "settings/IniFile.h"
#include "settings/ReportSettings.h"
#include "tests/support/TestFiles.h"

using namespace kr;

class TestGlanceSettings : public QObject {
    Q_OBJECT

private slots:
    void brokenValuesFallBackToDefaults_data();
    void brokenValuesFallBackToDefaults();
    void writtenIntoItsOwnSectionAndReadBack_data();
    void writtenIntoItsOwnSectionAndReadBack();
    void inspectorComesBackAsTyped_data();
    void inspectorComesBackAsTyped();
};

void TestGlanceSettings::brokenValuesFallBackToDefaults_data()
{
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("limit");
    QTest::addColumn<double>("below");
    QTest::addColumn<double>("above");

    QTest::newRow("absent") << QByteArray() << 6.0 << 9.0 << 4.0 << 2.0 << 2.0;
    QTest::newRow("stored") << QByteArray("Low=7.5\r\nHigh=10\r\nLimit=2.5\r\nRoomBelow=1.5\r\nRoomAbove=3\r\n")
                            << 7.5 << 10.0 << 2.5 << 1.5 << 3.0;
    // 0 is a value, not a missing one: a range from 0 and a limit of 0 stay.
    QTest::newRow("zero stored") << QByteArray("Low=0\r\nHigh=0\r\nLimit=0\r\nRoomBelow=0\r\nRoomAbove=0\r\n")
                                 << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
    QTest::newRow("not numbers") << QByteArray("Low=dry\r\nHigh=\r\nLimit=4,5\r\nRoomBelow=1,5\r\nRoomAbove=\r\n")
                                 << 6.0 << 9.0 << 4.0 << 2.0 << 2.0;
    QTest::newRow("out of bounds") << QByteArray("Low=-1\r\nHigh=250\r\nLimit=-3\r\nRoomBelow=-1\r\nRoomAbove=101\r\n")
                                   << 6.0 << 9.0 << 4.0 << 2.0 << 2.0;
    // One bad end leaves the other as stored, unless they then cross.
    QTest::newRow("one end bad") << QByteArray("Low=x\r\nHigh=8\r\n") << 6.0 << 8.0 << 4.0 << 2.0 << 2.0;
    QTest::newRow("ends crossed") << QByteArray("Low=12\r\nHigh=8\r\nLimit=3\r\n") << 6.0 << 9.0 << 3.0 << 2.0 << 2.0;
}

void TestGlanceSettings::brokenValuesFallBackToDefaults()
{
    QFETCH(QByteArray, section);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kr.ini"));
    QVERIFY(test::writeFile(path, ("[General]\r\nLow=1\r\n[Glance]\r\n" + section).toStdString()));
    const GlanceSettings s = ReadGlanceSettings(IniFile(path));
    QTEST(double(s.range.low), "low");
    QTEST(double(s.range.high), "high");
    QTEST(double(s.limit), "limit");
    QTEST(s.room.below, "below");
    QTEST(s.room.above, "above");
}

void TestGlanceSettings::writtenIntoItsOwnSectionAndReadBack_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<double>("limit");
    QTest::addColumn<double>("below");
    QTest::addColumn<double>("above");
    QTest::addColumn<QByteArray>("section");
    QTest::newRow("decimals") << 6.5 << 8.25 << 3.0 << 1.5 << 2.5
                              << QByteArray("Low=6.5\r\nHigh=8.25\r\nLimit=3\r\nRoomBelow=1.5\r\nRoomAbove=2.5\r\n");
    QTest::newRow("zeros") << 0.0 << 0.0 << 0.0 << 0.0 << 0.0
                           << QByteArray("Low=0\r\nHigh=0\r\nLimit=0\r\nRoomBelow=0\r\nRoomAbove=0\r\n");
}

void TestGlanceSettings::writtenIntoItsOwnSectionAndReadBack()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(double, limit);
    QFETCH(double, below);
    QFETCH(double, above);
    QFETCH(QByteArray, section);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kr.ini"));
    const std::string before = "[Communications]\r\nPort=3\r\n[General]\r\nCentigrade=1\r\n";
    QVERIFY(test::writeFile(path, before));
    IniFile ini(path);
    GlanceSettings s;
    s.range = {low, high};
    s.limit = limit;
    s.room = {below, above};
    WriteGlanceSettings(ini, s);
    QCOMPARE(test::readFileString(path), before + "\r\n[Glance]\r\n" + section.toStdString());
    QCOMPARE(ReadGlanceSettings(ini), s);
}

void TestGlanceSettings::inspectorComesBackAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("readBack");
    QTest::newRow("Windows-1252 letters") << QStringLiteral("Zo\u00eb \u00c5ngstr\u00f6m")
                                          << QByteArray("Zo\xEB \xC5ngstr\xF6m") << QStringLiteral("Zo\u00eb \u00c5ngstr\u00f6m");
    QTest::newRow("beyond Windows-1252") << QStringLiteral("\u0141ukasz") << QByteArray("\xEF\xBB\xBF\xC5\x81ukasz")
                                         << QStringLiteral("\u0141ukasz");
    QTest::newRow("in quotes") << "'Doc' Smith'" << QByteArray("\"'Doc' Smith'\"") << "'Doc' Smith'";
    QTest::newRow("blanks around") << "  Ann Lee " << QByteArray("Ann Lee") << "Ann Lee";
    QTest::newRow("none") << "" << QByteArray() << "";
}

void TestGlanceSettings::inspectorComesBackAsTyped()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, stored);
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("kr.ini")));
    QCOMPARE(ReadInspector(ini), QString());
    WriteInspector(ini, name);
    QCOMPARE(test::readFileString(ini.path()), "[Report]\r\nInspector=" + stored.toStdString() + "\r\n");
    QTEST(ReadInspector(ini), "readBack");
}

QTEST_GUILESS_MAIN(TestGlanceSettings)
#include "tst_glancesettings.moc"
