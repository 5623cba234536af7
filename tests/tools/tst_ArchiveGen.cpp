// kr-archive-gen: full data files that load, a backup holding its file's
// readings, and the same files again for the same seed.
#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "core/Readings.h"
#include "platform/Text.h"
#include "tests/support/TestFiles.h"

using namespace kr;

namespace {

// The files the generator wrote, by path below `dir`, with their bytes.
QMap<QString, QByteArray> generate(const QString& dir, int files, int seed)
{
    QProcess gen;
    gen.start(qEnvironmentVariable("KR_BUILD_DIR") + QStringLiteral("/tools/kr-archive-gen"),
              {"--files", QString::number(files), "--seed", QString::number(seed), "--out", dir});
    if (!gen.waitForFinished(60000) || gen.exitStatus() != QProcess::NormalExit || gen.exitCode() != 0)
        qWarning() << "kr-archive-gen failed:" << gen.readAllStandardError();
    QMap<QString, QByteArray> found;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        found.insert(QDir(dir).relativeFilePath(path), test::readFile(path));
    }
    return found;
}

} // namespace

class TestArchiveGen : public QObject {
    Q_OBJECT
private slots:
    void writesFullDocumentsThatLoad()
    {
        QTemporaryDir out;
        const QMap<QString, QByteArray> files = generate(out.path(), 3, 7);
        QCOMPARE(files.size(), 4);  // the second file has its backup
        QStringList data, backups;
        for (const QString& name : files.keys())
            (name.endsWith(QStringLiteral(".krx")) ? data : backups) << name;
        QCOMPARE(data.size(), 3);
        QCOMPARE(backups.size(), 1);
        QVERIFY2(backups[0].endsWith(QStringLiteral("/data1.bak")), qPrintable(backups[0]));

        std::vector<std::unique_ptr<TKRFile>> docs;
        for (const QString& name : files.keys()) {
            docs.push_back(std::make_unique<TKRFile>());
            docs.back()->LoadFromFile(toNativePath(out.filePath(name)));
            QCOMPARE(docs.back()->CountReadings(), 625);
        }
        // The backup holds the readings of data file 1, as the meter had them.
        const TKRFile& backup = *docs[std::size_t(files.keys().indexOf(backups[0]))];
        const TKRFile* original = nullptr;
        for (const QString& name : data)
            if (name.endsWith(QStringLiteral(" 00001.krx")))
                original = docs[std::size_t(files.keys().indexOf(name))].get();
        QVERIFY(original != nullptr);
        for (int f = 1; f <= TFile::FileCount; ++f)
            for (int r = 1; r <= TSubFile::RecordCount; ++r) {
                QCOMPARE(backup.GetReading(f, r).GetDateTime(), original->GetReading(f, r).GetDateTime());
                QCOMPARE(backup.GetSpecies(f, r), original->GetSpecies(f, r));
                QCOMPARE(backup.GetMoistureText(f, r), original->GetMoistureText(f, r));
            }
    }

    void sameSeedSameFiles()
    {
        QTemporaryDir a, b, c;
        const QMap<QString, QByteArray> first = generate(a.path(), 3, 7);
        QVERIFY(!first.isEmpty());
        QVERIFY(first == generate(b.path(), 3, 7));
        const QMap<QString, QByteArray> other = generate(c.path(), 3, 8);
        QCOMPARE(other.keys(), first.keys());
        QVERIFY(other != first);
    }
};

QTEST_GUILESS_MAIN(TestArchiveGen)
#include "tst_ArchiveGen.moc"
