#include "tools/cli/MeterCommands.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <algorithm>
#include <cstdio>

#include "core/Errors.h"
#include "core/Readings.h"
#include "meter/Exchanges.h"
#include "meter/MeterLink.h"
#include "meter/PortProbe.h"
#include "meter/Wait.h"
#include "platform/PortMap.h"
#include "platform/SerialTransport.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "tools/cli/ArchiveCommands.h"
#include "tools/cli/CliPrompts.h"
#include "tools/cli/Commands.h"
#include "tools/cli/MeterSession.h"

namespace kr::cli {

namespace {

// How long queued bytes may take to leave for the line before we give up.
constexpr int DrainTimeoutMs = 5000;

QString nativeName(const std::string& path) { return fromNativePath(path); }

} // namespace

// --device reaches a device through the port map's own override, as port 1;
// otherwise the port given, or the one in kr.ini as the window program uses it.
int portNumberFor(const Invocation& inv)
{
    if (!inv.device.isEmpty()) {
        qputenv("KR_PORT_1", inv.device.toLocal8Bit());
        return 1;
    }
    if (inv.port != 0)
        return inv.port;
    return ReadSettings().PortNumber;
}

bool open(MeterSession& s, const Invocation& inv, CliPrompts& prompts)
{
    s.link.PortNumber = portNumberFor(inv);
    try {
        s.link.Open();
        return true;
    } catch (const KrError& e) {
        prompts.print(fromCp1252(e.what()));
        return false;
    }
}

bool drained(MeterSession& s)
{
    auto* serial = dynamic_cast<QtSerialTransport*>(&s.link.transport());
    if (!serial)
        return true;
    // A port lost on the way has dropped what it held: that is not drained.
    return WaitUntil([serial] { return !serial->isOpen() || serial->pendingOutput() == 0; }, DrainTimeoutMs)
        && serial->isOpen();
}

int runDownload(const Invocation& inv, CliPrompts& prompts)
{
    if (outputRefused(inv, prompts))
        return ExitUsage;
    MeterSession s;
    if (!open(s, inv, prompts))
        return ExitMeter;
    bool ended = false;
    QObject::connect(&s.exchanges, &TMeterExchanges::DownloadEnded, [&ended] { ended = true; });
    s.exchanges.btnDownloadClick();
    WaitUntil([&ended] { return ended; });

    // The outcome's own message has been shown; what follows is about the file.
    const TDownloadOutcome& got = s.exchanges.LastDownloadOutcome();
    switch (got.kind) {
    case TDownloadOutcome::Received:
    case TDownloadOutcome::Partial: break;
    case TDownloadOutcome::Empty:
        prompts.print(QStringLiteral("Nothing was written to %1.").arg(inv.output));
        return ExitOk;
    case TDownloadOutcome::Declined:
    case TDownloadOutcome::Cancelled: return s.interrupted() ? ExitInterrupted : ExitRefused;
    case TDownloadOutcome::NoAnswer:
    case TDownloadOutcome::Unreadable:
    case TDownloadOutcome::SendFailed: return ExitMeter;
    }
    // A short download is not saved unasked: the file would look complete
    // and would replace one that may be.
    const bool complete = got.kind == TDownloadOutcome::Received;
    if (!complete && !inv.partial) {
        prompts.print(QStringLiteral("Nothing was written to %1 (--partial saves what arrived).").arg(inv.output));
        return ExitMeter;
    }
    try {
        s.host.Document().SaveToFile(toNativePath(inv.output));
    } catch (const KrError& e) {
        prompts.print(fromCp1252(e.what()));
        return ExitFile;
    }
    if (complete)
        prompts.print(QStringLiteral("%1 readings saved to %2.").arg(got.readings).arg(inv.output));
    else
        prompts.print(QStringLiteral("Incomplete download: %1 readings saved to %2; the KR announced %3.")
                          .arg(got.readings)
                          .arg(inv.output)
                          .arg(got.announced));
    if (inv.archive || inv.archiveDb) {
        TArchive::Source source;
        source.kind = TArchive::Source::Download;
        source.port = PortMap::describe(s.link.PortNumber);
        source.completeness = complete ? QStringLiteral("complete")
                                       : QStringLiteral("%1 of %2 readings").arg(got.readings).arg(got.announced);
        source.when = QDateTime::currentDateTime();
        if (!keepInArchive(inv, s.host.Document(), source, prompts))
            return ExitFile;
    }
    return ExitOk;
}

int runErase(const Invocation& inv, CliPrompts& prompts)
{
    MeterSession s;
    // Without --yes the question is answered Cancel before anything is sent,
    // so the port is not even opened.
    if (inv.yes && !open(s, inv, prompts))
        return ExitMeter;
    if (inv.yes)
        prompts.print(QStringLiteral("Backing up the KR's data before erasing it."));
    const TEraseOutcome erase = s.exchanges.EraseMeter();
    switch (erase.kind) {
    case TEraseOutcome::Declined:
        prompts.print(QStringLiteral("Not erased: erasing deletes all data from the KR; give --yes to confirm."));
        return ExitRefused;
    case TEraseOutcome::Cancelled: return s.interrupted() ? ExitInterrupted : ExitRefused;
    case TEraseOutcome::Empty: return ExitOk;
    case TEraseOutcome::NotSafe: return ExitRefused;
    case TEraseOutcome::Erased:
        if (!drained(s)) {
            prompts.print(QStringLiteral("The erase command did not leave for the KR in time. The backup is in %1.")
                              .arg(nativeName(erase.backupPath)));
            return ExitMeter;
        }
        prompts.print(QStringLiteral("Backed up into %1; the KR has been told to erase its data.")
                          .arg(nativeName(erase.backupPath)));
        if (inv.archive || inv.archiveDb) {
            TArchive::Source source;
            source.kind = TArchive::Source::Backup;
            source.path = nativeName(erase.backupPath);
            QFile backup(source.path);
            if (backup.open(QIODevice::ReadOnly))
                source.content = backup.readAll();
            source.port = PortMap::describe(s.link.PortNumber);
            source.when = QDateTime::currentDateTime();
            // The backup holds what the KR held; the session's document does not any more.
            TKRFile held;
            try {
                held.LoadFromFile(erase.backupPath);
            } catch (const KrError& e) {
                prompts.print(fromCp1252(e.what()));
                return ExitFile;
            }
            if (!keepInArchive(inv, held, source, prompts))
                return ExitFile;
        }
        return ExitOk;
    case TEraseOutcome::NoAnswer:
    case TEraseOutcome::SendFailed:
    case TEraseOutcome::Busy: break;
    }
    return ExitMeter;
}

int runSerial(const Invocation& inv, CliPrompts& prompts)
{
    MeterSession s;
    if (!open(s, inv, prompts))
        return ExitMeter;
    s.exchanges.RequestSerialNo();
    WaitUntil([&s] { return s.exchanges.SerialNoOutcome().kind != TSerialOutcome::Pending; });
    if (s.exchanges.SerialNoOutcome().kind != TSerialOutcome::Found) {
        prompts.print(fromCp1252(s.exchanges.SerialNoText()));
        return ExitMeter;
    }
    const QByteArray out = fromCp1252(s.exchanges.SerialNoOutcome().serial).toUtf8() + '\n';
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stdout);
    return std::fflush(stdout) == 0 ? ExitOk : ExitFile;
}

namespace {

QString probeText(const TPortAnswer& a)
{
    switch (a.outcome) {
    case TPortAnswer::Outcome::Meter: return QStringLiteral("KR ") + fromCp1252(a.serialNumber);
    case TPortAnswer::Outcome::NoAnswer: return QStringLiteral("no answer");
    case TPortAnswer::Outcome::InUse: return QStringLiteral("in use by another program");
    case TPortAnswer::Outcome::Failed: break;
    }
    return QStringLiteral("cannot be opened (%1)").arg(QString(a.reason).replace(QStringLiteral("\r\n"), QStringLiteral(" ")));
}

} // namespace

int runPorts(const Invocation& inv, CliPrompts& prompts)
{
    const QList<PortChoice> ports = PortMap::existingPorts();
    QList<int> numbers;
    qsizetype deviceWidth = 0;
    for (const PortChoice& p : ports) {
        numbers << p.number;
        deviceWidth = std::max(deviceWidth, p.device.size());
    }
    QHash<int, TPortAnswer> answers;
    if (inv.probe) {
        TPortProbe probe;
        if (TerminalProgress::isTerminal(stderr))
            QObject::connect(&probe, &PortSearch::asking, [&prompts](int n) {
                prompts.print(QStringLiteral("Asking %1...").arg(PortMap::describe(n)));
            });
        probe.startEvery(numbers);
        probe.WaitForEnd();
        for (const TPortAnswer& a : probe.Answers())
            answers.insert(a.number, a);
    }
    QString out;
    for (const PortChoice& p : ports) {
        const QString details = PortMap::details(p);
        QString line = QStringLiteral("%1  %2  %3")
                           .arg(PortMap::displayName(p.number), -6)
                           .arg(p.device, -int(deviceWidth))
                           .arg(details.isEmpty() ? QStringLiteral("-") : details);
        if (const auto a = answers.constFind(p.number); a != answers.cend())
            line += QStringLiteral("  ") + probeText(*a);
        out += line + '\n';
    }
    const QByteArray bytes = out.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    if (std::fflush(stdout) != 0)
        return ExitFile;
    if (ports.isEmpty())
        prompts.print(QStringLiteral("No serial ports were found."));
    if (!inv.probe)
        return ExitOk;
    for (const TPortAnswer& a : answers)
        if (a.outcome == TPortAnswer::Outcome::Meter)
            return ExitOk;
    prompts.print(QStringLiteral("No KR answered on any port."));
    return ExitMeter;
}

} // namespace kr::cli
