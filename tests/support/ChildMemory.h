#pragma once
#include <QString>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/TestFiles.h"

namespace kr::test {

// Runs `work` in a child process of its own, so that its peak memory is
// measured alone. Empty when the work returned true and the child's peak
// resident memory stayed under `maxBytes` (not checked where
// PeakMemoryMeaningful says it means nothing); otherwise what went wrong,
// for QVERIFY2.
inline QString runInChildWithinMemory(const std::function<bool()>& work, qint64 maxBytes)
{
    const pid_t child = fork();
    if (child < 0)
        return QStringLiteral("fork failed");
    if (child == 0) {
        bool ok = false;
        try {
            ok = work();
        } catch (...) {
            ok = false;   // a throw fails the work rather than aborting the child
        }
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        return QStringLiteral("wait4 failed");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return QStringLiteral("the work failed in the child (wait status %1)").arg(status);
    const qint64 peak = qint64(usage.ru_maxrss) * 1024;
    if (PeakMemoryMeaningful && peak >= maxBytes)
        return QStringLiteral("peak memory %1 MB, not under %2 MB").arg(peak >> 20).arg(maxBytes >> 20);
    return {};
}

} // namespace kr::test
