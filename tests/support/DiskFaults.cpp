#include "tests/support/DiskFaults.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace kr::test {

FolderFiles folderFiles(const QString& folder)
{
    FolderFiles files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name)) {
        QFile f(dir.filePath(name));
        files.insert(name, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>"));
    }
    return files;
}

QString describe(const FolderFiles& files)
{
    QStringList parts;
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        parts << QStringLiteral("%1 (%2 bytes)").arg(it.key()).arg(it.value().size());
    return parts.join(QStringLiteral(", "));
}

void sweepDiskFaults(const QString& folder, const std::function<void()>& reset, const std::function<QString()>& write,
                     const std::function<void(const DiskFaultRun&)>& check)
{
    reset();
    armDiskFault(0);
    const QString cleanMessage = write();
    const int steps = diskOpsSinceArmed();
    const FolderFiles clean = folderFiles(folder);
    QVERIFY2(cleanMessage.isEmpty(), qPrintable(cleanMessage));
    QVERIFY2(steps > 0, "the write took no disk steps the seam sees");

    for (int n = 1; n <= steps; ++n) {
        reset();
        const FolderFiles before = folderFiles(folder);
        armDiskFault(n);
        DiskFaultRun run;
        run.n = n;
        run.message = write();
        run.op = failedDiskOp();
        armDiskFault(0);
        const FolderFiles after = folderFiles(folder);
        const QString where = QStringLiteral("step %1 of %2 (kind %3): ").arg(n).arg(steps).arg(int(run.op));
        QVERIFY2(run.op != DiskOp::None, qPrintable(where + "the fault was not reached"));
        if (run.op == DiskOp::FolderSync) {
            QVERIFY2(run.message.isEmpty(), qPrintable(where + run.message));
            QVERIFY2(describe(after) == describe(clean),
                     qPrintable(where + describe(after) + " instead of " + describe(clean)));
        } else {
            QVERIFY2(!run.message.isEmpty(), qPrintable(where + "no message"));
            QVERIFY2(after == before, qPrintable(where + describe(after) + " instead of " + describe(before)));
        }
        check(run);
        if (QTest::currentTestFailed()) {
            qWarning("%s", qPrintable(where + run.message));
            return;
        }
    }
}

std::function<void(const DiskFaultRun&)> saysOnFailure(const QString& expected)
{
    return [expected](const DiskFaultRun& run) {
        if (!run.message.isEmpty())
            QCOMPARE(run.message, expected);
    };
}

SmallFileSystem::SmallFileSystem(int kib) : mountPoint(dir.path() + QStringLiteral("/small"))
{
    if (!dir.isValid() || !QDir().mkpath(mountPoint)) {
        reason = QStringLiteral("no temporary folder to mount on");
        return;
    }
    QProcess mount;
    mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          QStringLiteral("size=%1k").arg(kib), QStringLiteral("tmpfs"), mountPoint});
    isMounted = mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0;
    if (!isMounted)
        reason = QStringLiteral("a small tmpfs cannot be mounted here (needs root): ") +
                 QString::fromLocal8Bit(mount.readAllStandardError()).trimmed() + mount.errorString();
}

SmallFileSystem::~SmallFileSystem()
{
    // Unmounted before the temporary folder goes.
    if (isMounted)
        QProcess::execute(QStringLiteral("umount"), {mountPoint});
}

bool SmallFileSystem::makeReadOnly()
{
    return isMounted
        && QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,ro"), mountPoint}) == 0;
}

bool SmallFileSystem::fill()
{
    QFile filler(filePath(QStringLiteral("filler")));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    // The last page may still take a few bytes.
    for (int i = 0; i < block.size() && filler.write("f", 1) == 1; ++i) {
    }
    filler.close();
    QFile probe(filePath(QStringLiteral("filler")));
    return probe.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered) && probe.write("f", 1) != 1;
}

} // namespace kr::test
