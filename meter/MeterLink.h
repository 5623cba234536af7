#pragma once
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "meter/LineCollector.h"
#include "meter/ProgressSink.h"

namespace kr {

class SerialTransport;

// What the exchanges report when the meter did not answer.
inline constexpr const char* NoResponseMessage =
    "There has been no response from the KR.\r\nCheck the connections and make sure the unit is switched on.";

// Outcome of the data download; the erase waits on it.
enum TCommState : int { csIdle = 0, csWaiting = 1, csFinished = 2, csNoResponse = 3 };
// Outcome of the serial-number request.
enum TSerialState : int { ssWaiting = 0, ssFailed = 1, ssFound = 2 };

// The one connection to the meter and the state its exchanges share. The
// main window owns one. Its state fields are the exchanges' own: code outside
// meter/ learns how an exchange ended from its outcome (meter/Outcomes.h).
//
// An exchange that expects a reply calls StartExchange() with its quiet timer
// and its command. Every collected line restarts whichever quiet timers run,
// so a timer fires once the meter has been quiet for quietInterval(). The
// exchange connects its handler to its timer's timeout() and begins that
// handler with BeginQuietTimer().
class TMeterLink : public QObject {
    Q_OBJECT
public:
    static constexpr int DefaultQuietInterval = 500;

    // On the real serial port.
    explicit TMeterLink(QObject* parent = nullptr);
    // On the given transport (the link owns it).
    explicit TMeterLink(std::unique_ptr<SerialTransport> transport, QObject* parent = nullptr);
    // On a real port whose number lives elsewhere (the window's settings),
    // so that a changed setting is the port the next open takes.
    explicit TMeterLink(int& portNumber, QObject* parent = nullptr);
    ~TMeterLink() override;

    TLineCollector PckLibrary;
    std::vector<std::string> ReplyLines;   // Windows-1252, each still ending in its CR
    bool GotData = false;
private:
    int ownPortNumber = 0;
    // Without a number from elsewhere the link keeps its own: bound here, once
    // the link exists, never named by a delegating constructor before then.
    TMeterLink(std::unique_ptr<SerialTransport> transport, int* portNumber, QObject* parent);

public:
    int& PortNumber;                        // 0: ask the user when the port opens
    TCommState CommState = csIdle;
    TSerialState SerialState = ssWaiting;
    bool BackingUp = false;
    bool NoData = false;

    // Single-shot, stopped until an exchange starts them.
    QTimer TimGotSummaryData;
    QTimer TimGotDataRecords;
    QTimer TimGotLibraryData;
    QTimer timGotSerialNo;

    // Tests shorten the quiet interval; the program keeps 500 ms.
    void setQuietInterval(int ms);
    int quietInterval() const { return quiet; }

    // The progress display; a silent one until the window program sets its own.
    void setProgress(ProgressSink* sink);
    ProgressSink& progress() { return *sink; }

    SerialTransport& transport() { return *port; }

    // Opens port PortNumber; with 0 the user picks a port in "Select Port".
    // Raises KrError with the port's error text.
    void Open();
    // The start-up open: any failure leaves the port closed without a word.
    bool OpenSilently();
    void Close();
    // Close, take the new number, open. Raises KrError like Open().
    void Reopen(int number);
    bool IsOpen() const;

    // Queues the bytes exactly as they are, opening a closed port first.
    // Raises KrError with the port's error text, nothing queued, when the port
    // cannot be opened or the output buffer cannot take the text.
    void Send(const std::string& text);

    void Arm() { PckLibrary.Arm(); }
    void Disarm() { PckLibrary.Disarm(); }

    enum class SendFailure { Raise, Ignore };
    // The common start of an exchange: arm, empty ReplyLines, GotData false,
    // Send, run afterSend (e.g. setting up the progress display), start the
    // quiet timer. Callers reset their own state value first. When Send fails
    // with SendFailure::Raise the collector is disarmed again, no timer starts
    // and the error goes to the caller; with Ignore the timer starts anyway,
    // so the exchange ends as unanswered.
    void StartExchange(QTimer& quietTimer, const std::string& command,
                       const std::function<void()>& afterSend = {},
                       SendFailure onFailure = SendFailure::Raise);

    // The common start of a quiet timer's handler: stop the timer, disarm,
    // close the progress display (not for timGotSerialNo), let pending events
    // run once. Returns GotData: false means the meter did not answer.
    bool BeginQuietTimer(QTimer& quietTimer);
    // The lines of the last reply, read-only, for exchanges built outside
    // this folder (the library's).
    const std::vector<std::string>& Reply() const { return ReplyLines; }
    // Whether the reply BeginQuietTimer last ended stopped part-way through a
    // line: bytes without their carriage return were still being collected.
    bool ReplyCutShort() const { return replyCut; }

    // A collected line: restarts the running quiet timers, keeps the line,
    // steps the progress display, sets GotData.
    void PckLibraryStringPacket(const std::string& line);

signals:
    // The line went away under an open port; the port is closed by now.
    void LineLost(const QString& reason);

private:
    void setUpTimer(QTimer& timer, const char* name);

    std::unique_ptr<SerialTransport> port;
    NullProgress silent;
    ProgressSink* sink = &silent;
    int quiet = DefaultQuietInterval;
    bool replyCut = false;
};

} // namespace kr
