#include <QtTest>

#include "mainwindow/RecentFiles.h"
#include "settings/FormStorage.h"
#include "tests/support/TestFiles.h"

using kr::TRecentFiles;

class TestRecentFiles : public QObject {
    Q_OBJECT
private slots:
    void newestFirst();
    void sameNameInAnyCaseKeepsOneEntryAtTheTop();
    void eleventhFileDropsTheOldest();
    void menuCaptions_data();
    void menuCaptions();
    void assignKeepsOrderAndCapacity();
    void everyChangeIsAnnounced();
    void entriesReopenExactlyFromKrIni_data();
    void entriesReopenExactlyFromKrIni();
};

void TestRecentFiles::newestFirst()
{
    TRecentFiles mru;
    mru.Add("/d/a.krx");
    mru.Add("/d/b.krx");
    mru.Add("/d/c.krx");
    QCOMPARE(mru.Items(), QStringList({"/d/c.krx", "/d/b.krx", "/d/a.krx"}));
}

void TestRecentFiles::sameNameInAnyCaseKeepsOneEntryAtTheTop()
{
    TRecentFiles mru;
    mru.Add("/d/One.krx");
    mru.Add("/d/two.krx");
    mru.Add("/D/ONE.KRX");
    QCOMPARE(mru.Count(), 2);
    QCOMPARE(mru.Items().first().toLower(), QStringLiteral("/d/one.krx"));
    mru.Add("/d/two.krx");
    QCOMPARE(mru.Items().first(), QStringLiteral("/d/two.krx"));
    QCOMPARE(mru.Count(), 2);
}

void TestRecentFiles::eleventhFileDropsTheOldest()
{
    TRecentFiles mru;
    for (int i = 1; i <= 11; ++i)
        mru.Add(QStringLiteral("/d/f%1.krx").arg(i));
    QCOMPARE(mru.Count(), 10);
    QCOMPARE(mru.Items().first(), QStringLiteral("/d/f11.krx"));
    QCOMPARE(mru.Items().last(), QStringLiteral("/d/f2.krx"));
    QVERIFY(!mru.Items().contains("/d/f1.krx"));
    // Re-adding one that is still in the list drops nothing.
    mru.Add("/d/f2.krx");
    QCOMPARE(mru.Count(), 10);
    QCOMPARE(mru.Items().last(), QStringLiteral("/d/f3.krx"));
}

void TestRecentFiles::menuCaptions_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("caption");
    QTest::newRow("first") << 0 << "/d/a.krx" << "&1 /d/a.krx";
    QTest::newRow("ninth") << 8 << "/d/i.krx" << "&9 /d/i.krx";
    QTest::newRow("tenth is A") << 9 << "/d/j.krx" << "&A /d/j.krx";
    QTest::newRow("ampersand shows as typed") << 2 << "/d/R&D.krx" << "&3 /d/R&&D.krx";
}

void TestRecentFiles::menuCaptions()
{
    QFETCH(int, index);
    QFETCH(QString, path);
    QFETCH(QString, caption);
    QCOMPARE(TRecentFiles::MenuCaption(index, path), caption);
}

void TestRecentFiles::assignKeepsOrderAndCapacity()
{
    QStringList names;
    for (int i = 0; i < 12; ++i)
        names << QStringLiteral("/d/%1.krx").arg(i);
    TRecentFiles mru;
    mru.Add("/d/stale.krx");
    mru.Assign(names);
    QCOMPARE(mru.Items(), names.mid(0, 10));
}

void TestRecentFiles::everyChangeIsAnnounced()
{
    TRecentFiles mru;
    int changes = 0;
    mru.onChanged = [&] { ++changes; };
    mru.Add("/a");
    mru.Add("/A");
    mru.Clear();
    mru.Assign({"/b"});
    QCOMPARE(changes, 4);
}

void TestRecentFiles::entriesReopenExactlyFromKrIni_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("stored"); // the value's bytes in kr.ini
    QTest::newRow("Windows-1252 stays Windows-1252")
        << QString::fromUtf16(u"/d/caf\u00E9.krx") << QByteArray("/d/caf\xE9.krx");
    QTest::newRow("Polish l with stroke")
        << QString::fromUtf16(u"/d/\u0142\u00F3d\u017A.krx") << QByteArray("\xEF\xBB\xBF/d/\xC5\x82\xC3\xB3" "d\xC5\xBA.krx");
    QTest::newRow("Cyrillic") << QString::fromUtf16(u"/d/\u0436.krx") << QByteArray("\xEF\xBB\xBF/d/\xD0\xB6.krx");
    QTest::newRow("Japanese") << QString::fromUtf16(u"/d/\u65E5.krx") << QByteArray("\xEF\xBB\xBF/d/\xE6\x97\xA5.krx");
    // Windows-1252 whose bytes would read as the UTF-8 mark.
    QTest::newRow("looks like the mark")
        << QString::fromUtf16(u"\u00EF\u00BB\u00BF.krx") << QByteArray("\xEF\xBB\xBF\xC3\xAF\xC2\xBB\xC2\xBF.krx");
}

void TestRecentFiles::entriesReopenExactlyFromKrIni()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, stored);
    QTemporaryDir dir;
    kr::IniFile ini(dir.filePath("kr.ini"));
    kr::writeRecentFiles(ini, kr::RecentFilesSection, {{TRecentFiles::StoredName(name), 1}});
    QVERIFY2(kr::test::readFile(ini.path()).contains("Item_0=" + stored + "\r\n"), kr::test::readFile(ini.path()).constData());

    const std::vector<kr::RecentEntry> back = kr::readRecentFiles(kr::IniFile(ini.path()), kr::RecentFilesSection);
    QCOMPARE(back.size(), std::size_t(1));
    QCOMPARE(TRecentFiles::NameFromStored(back.front().name), name);
}

QTEST_GUILESS_MAIN(TestRecentFiles)
#include "tst_RecentFiles.moc"
