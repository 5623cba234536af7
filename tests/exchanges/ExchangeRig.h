#pragma once
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <utility>

#include "core/Regional.h"
#include "meter/Exchanges.h"
#include "meter/MeterLink.h"
#include "platform/SerialTransport.h"
#include "platform/Text.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/SimMeter.h"

namespace kr::test {

// A progress display that records what the exchanges asked of it; ShowModal
// runs an event loop until Close(), like the real window.
class RecordingProgress : public ProgressSink {
public:
    QStringList captions;
    QList<int> maxima;
    ProgressState state;
    int modalShows = 0;
    int closes = 0;
    int stepsWhileModal = 0;
    // What Cancel would do now, and why it cannot when it cannot.
    std::function<void()> cancel;
    std::string whyNot;
    // Called as the display shows (true: modally), before it waits.
    std::function<void(bool modal)> onShow;

    void SetUpProgress(int maximum, int step, const std::string& caption) override
    {
        captions << fromCp1252(caption);
        maxima << maximum;
        state.setUp(maximum, step);
    }
    void StepProgress() override
    {
        state.stepOnce();
        if (loop)
            ++stepsWhileModal;
    }
    void ShowModal() override
    {
        ++modalShows;
        if (onShow)
            onShow(true);
        QEventLoop l;
        loop = &l;
        l.exec();
        loop = nullptr;
    }
    void ShowModeless() override
    {
        if (onShow)
            onShow(false);
    }
    void SetCancel(const std::function<void()>& onCancel, const std::string& why) override
    {
        cancel = onCancel;
        whyNot = why;
    }
    // As the window's button does: taken out first, asked once.
    void pressCancel()
    {
        if (auto handler = std::exchange(cancel, nullptr))
            handler();
    }
    void Close() override
    {
        ++closes;
        if (loop)
            loop->quit();
    }

private:
    QEventLoop* loop = nullptr;
};

// The document host as a test sees it: what was refreshed, enabled, asked.
class RecordingHost : public TStandaloneHost {
public:
    QList<bool> enabledCalls;
    int queries = 0;
    bool queryAnswer = true;

    bool QuerySaveChanges() override
    {
        ++queries;
        return queryAnswer;
    }
    void SetDownloadEnabled(bool enabled) override
    {
        enabledCalls << enabled;
        TStandaloneHost::SetDownloadEnabled(enabled);
    }
};

// The real serial transport, noting when each write was queued by the
// program's clock: pacing is measured where the program paces, not where a
// progress step or another process happened to see it.
class StampedTransport final : public SerialTransport {
public:
    QList<qint64> writeNs;

    StampedTransport()
    {
        clock.start();
        connect(&real, &SerialTransport::received, this, &SerialTransport::received);
        connect(&real, &SerialTransport::lineLost, this, &SerialTransport::lineLost);
    }
    bool open(int number) override { return real.open(number); }
    void close() override { real.close(); }
    bool isOpen() const override { return real.isOpen(); }
    int number() const override { return real.number(); }
    bool write(const QByteArray& bytes) override
    {
        writeNs << clock.nsecsElapsed();
        return real.write(bytes);
    }
    void flush() override { real.flush(); }
    QString errorString() const override { return real.errorString(); }
    PortProblem problem() const override { return real.problem(); }

private:
    QtSerialTransport real;
    QElapsedTimer clock;
};

// One simulated meter on its own pseudo-terminal, reached as port 7, with a
// link, a host, the exchanges, scripted prompts and a backup folder.
struct ExchangeRig {
    static constexpr int Port = 7;

    ScriptedPrompts prompts;
    QTemporaryDir home;
    std::unique_ptr<SimMeter> sim;
    StampedTransport* wire = new StampedTransport;
    TMeterLink link{std::unique_ptr<SerialTransport>(wire)};
    RecordingHost host;
    RecordingProgress progress;
    TMeterExchanges exchanges{link, host};

    explicit ExchangeRig(SimMeter::Options options = {}, int quietMs = 100)
        : sim(std::make_unique<SimMeter>(std::move(options)))
    {
        setRegional(RegionalSettings{});
        link.setQuietInterval(quietMs);
        link.setProgress(&progress);
        link.PortNumber = Port;
        exchanges.SetBackupFolder(toNativePath(home.path()));
    }
    ~ExchangeRig() { qunsetenv("KR_PORT_7"); }

    bool start()
    {
        if (!sim->start())
            return false;
        qputenv("KR_PORT_7", sim->devicePath().toLocal8Bit());
        return true;
    }

    // Runs a download from the button to its end.
    bool download(int timeoutMs = 20000)
    {
        QSignalSpy ended(&exchanges, &TMeterExchanges::DownloadEnded);
        if (!exchanges.btnDownloadClick())
            return false;
        return ended.wait(timeoutMs);
    }

    // The commands the meter has seen, made certain by a last "$5" that it
    // must have received after anything sent before.
    QStringList commandsSeen()
    {
        QSignalSpy done(&exchanges, &TMeterExchanges::SerialNoChanged);
        exchanges.RequestSerialNo();
        done.wait(5000);
        sim->waitForLog(QStringLiteral("cmd $5"));
        QStringList seen = sim->commands();
        if (!seen.isEmpty() && seen.last() == QLatin1String("$5"))
            seen.removeLast();
        return seen;
    }

    QString slotPath(int n) const { return home.filePath(QStringLiteral("data%1.bak").arg(n)); }
    // The erase's report, naming the backup in slot n by its full path.
    QString erasedInto(int n) const
    {
        return QStringLiteral("The readings were saved to ") + QDir::toNativeSeparators(slotPath(n)) +
               QStringLiteral(", and the KR was told to erase them.");
    }
    // Tables are written before the rig's folder exists, so they say
    // ErasedMark where the report names data1.bak.
    static inline const QString ErasedMark = QStringLiteral("(saved to data1.bak and erased)");
    QStringList marked(QStringList told) const
    {
        told.replaceInStrings(erasedInto(1), ErasedMark);
        return told;
    }
    // Slot files with a marker text, so that moves can be followed.
    void fillSlots(const QList<int>& numbers)
    {
        for (int n : numbers) {
            QFile f(slotPath(n));
            f.open(QIODevice::WriteOnly);
            f.write(QStringLiteral("slot %1").arg(n).toLatin1());
        }
    }
    QString slotText(int n) const
    {
        QFile f(slotPath(n));
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    }
    QStringList slotsInUse() const
    {
        QStringList names = QDir(home.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        return names;
    }
    int readingsInMeter() const { return int(sim->readState().count("\nreading ")); }
};

inline int usedReadings(const TFile& doc) { return doc.CountReadings(); }

// A whole state file for the simulated meter holding just `readings`
// ("reading FILE REC YYYY-MM-DD HH:MM TEMP |SPECIES| SG MOISTURE" lines).
inline QByteArray meterState(const QByteArray& readings)
{
    QByteArray text = "serial KR-100200\n";
    for (int i = 0; i < 31; ++i)
        text += "species |" + QByteArray("Species ").append(QByteArray::number(i + 10)).leftJustified(13) + " 50|\n";
    for (int i = 0; i < 7; ++i)
        text += "wallroof |" + QByteArray("Wall ").append(QByteArray::number(i + 10)).leftJustified(13) + " 40|\n";
    return text + readings;
}

} // namespace kr::test
