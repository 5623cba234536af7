// The shipped catalogue and its source table (Factors-sources.csv) hold the
// same figures: every species has an entry, and its SG is the recorded source
// value rounded half up to two decimals.
#include <QFile>
#include <QHash>
#include <QTest>

#include "library/ItemObj.h"

using namespace kr;

namespace {

struct Entry {
    QString sg;     // the figure the table says the catalogue carries
    QString source;
    QString value;  // empty when no source covers the species
};

// Hundredths of a decimal text of at most four decimals, halves rounded up
// as the table rounds; -1 for anything else.
int hundredths(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value < 0 || text.section('.', 1).size() > 4)
        return -1;
    return (qRound(value * 10000) + 50) / 100;
}

} // namespace

Q_DECLARE_METATYPE(Entry)

class TestCatalogueSources : public QObject {
    Q_OBJECT

private slots:
    void everySpeciesCarriesItsSourceValue_data();
    void everySpeciesCarriesItsSourceValue();
};

void TestCatalogueSources::everySpeciesCarriesItsSourceValue_data()
{
    QFile table(QStringLiteral(KR_FACTORS_SOURCES));
    QVERIFY(table.open(QIODevice::ReadOnly | QIODevice::Text));
    QCOMPARE(table.readLine().trimmed(), QByteArray("code,name,sg,source,value,count"));
    QHash<QString, Entry> entries;
    while (!table.atEnd()) {
        const QString line = QString::fromLatin1(table.readLine().trimmed());
        const QStringList f = line.split(',');
        QVERIFY2(f.size() == 6 && !entries.contains(f[0]), qPrintable(line));
        entries.insert(f[0], {f[2], f[3], f[4]});
    }

    TFactorCatalogue catalogue;
    catalogue.LoadCatalogue(KR_FACTORS_FILE);
    QStringList unknown = entries.keys();
    for (int i = 0; i < catalogue.Count(); ++i)
        unknown.removeOne(QString::fromStdString(catalogue.Item(i).GetCode()));
    QVERIFY2(unknown.isEmpty(), qPrintable("not in the catalogue: " + unknown.join(' ')));

    QTest::addColumn<int>("sg");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<Entry>("entry");
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TItem& it = catalogue.Item(i);
        const QString code = QString::fromStdString(it.GetCode());
        QTest::newRow(qPrintable(code + ' ' + QString::fromStdString(it.GetName()).trimmed()))
            << qRound(it.GetSG() * 100) << entries.contains(code) << entries.value(code);
    }
}

void TestCatalogueSources::everySpeciesCarriesItsSourceValue()
{
    QFETCH(int, sg);
    QFETCH(bool, listed);
    QFETCH(Entry, entry);
    QVERIFY2(listed, "no entry in the source table");
    QCOMPARE(hundredths(entry.sg), sg);
    if (entry.value.isEmpty())
        QCOMPARE(entry.source, QStringLiteral("none in the reference data"));
    else
        QCOMPARE(hundredths(entry.value), sg);
}

QTEST_GUILESS_MAIN(TestCatalogueSources)
#include "tst_CatalogueSources.moc"
