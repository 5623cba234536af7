#pragma once
#include <QByteArray>
#include <QMap>
#include <QString>
#include <QTemporaryDir>
#include <functional>

#include "core/AtomicFile.h"

namespace kr::test {

// Every file in a folder, hidden ones too, with its bytes.
using FolderFiles = QMap<QString, QByteArray>;
FolderFiles folderFiles(const QString& folder);
// Names and sizes, for a failure message.
QString describe(const FolderFiles& files);

// One write run with its n-th disk step failing.
struct DiskFaultRun {
    int n = 0;
    DiskOp op = DiskOp::None;
    QString message; // what the user was told; empty when the write went through
};

// Runs `write` once on a sound disk to count its low-level steps, then once
// for every n with the n-th step failing; `reset` puts the starting files
// back before each run, and `write` returns the message shown (empty: none).
// For every failed step other than the folder sync after the rename, a
// message must be shown and `folder` must be exactly as before: old files
// byte for byte, no temporary file, nothing lost. A failed folder sync comes
// after the new file is in place, so that write must end as the clean one
// did: the same files of the same sizes (a document may hold the time).
// `check` then judges the message and anything else of the path's own.
void sweepDiskFaults(const QString& folder, const std::function<void()>& reset, const std::function<QString()>& write,
                     const std::function<void(const DiskFaultRun&)>& check);

// A check for sweepDiskFaults: a failed write said exactly `expected`.
std::function<void(const DiskFaultRun&)> saysOnFailure(const QString& expected);

// A small tmpfs mounted on a temporary folder for as long as the object
// lives. Mounting needs root; whyNot() says why it did not happen.
class SmallFileSystem {
public:
    explicit SmallFileSystem(int kib);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return isMounted; }
    QString whyNot() const { return reason; }
    QString path() const { return mountPoint; }
    QString filePath(const QString& name) const { return mountPoint + QLatin1Char('/') + name; }
    // Writes a file named "filler" until the file system refuses more; true
    // when it is full.
    bool fill();
    // Makes the file system read-only; true when it is.
    bool makeReadOnly();

private:
    QTemporaryDir dir;
    QString mountPoint;
    bool isMounted = false;
    QString reason;
};

} // namespace kr::test
