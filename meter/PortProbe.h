#pragma once
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "meter/MeterLink.h"
#include "platform/PortSearch.h"

namespace kr {

class SerialTransport;

// What one port said when asked for the serial number.
struct TPortAnswer {
    enum class Outcome { Meter, NoAnswer, InUse, Failed };
    int number = 0;
    Outcome outcome = Outcome::NoAnswer;
    std::string serialNumber;   // Windows-1252, without its carriage return (Meter)
    QString reason;             // why the port could not be opened (InUse, Failed)
};

// Finds the meter: asks each port in turn for its serial number ("$5", judged
// as the serial-number request judges it), on a connection of its own per
// port, never the program's link. A port that cannot be opened, or that
// another program holds, is passed over without a word on the wire.
class TPortProbe final : public PortSearch {
    Q_OBJECT
public:
    using TransportFactory = std::function<std::unique_ptr<SerialTransport>()>;

    explicit TPortProbe(QObject* parent = nullptr);
    ~TPortProbe() override;

    // Real serial ports unless set (tests).
    void setTransportFactory(TransportFactory factory);
    // How long a port may stay quiet before it counts as not answering.
    void setQuietInterval(int ms) { quiet = ms; }

    // Stops at the first port where a KR answers.
    void start(const QList<int>& numbers) override;
    // Asks every port.
    void startEvery(const QList<int>& numbers);
    void cancel() override;

    bool Running() const { return running; }
    // Lets events run until the search has ended.
    void WaitForEnd();
    const QList<TPortAnswer>& Answers() const { return results; }
    std::optional<int> Found() const;

signals:
    void answered(const kr::TPortAnswer& answer);

private:
    struct Session;
    void begin(const QList<int>& numbers, bool firstOnly);
    void next();
    void judge(int number);
    void finish(int number);

    TransportFactory makeTransport;
    std::unique_ptr<Session> session;
    QList<int> queue;
    QList<TPortAnswer> results;
    int quiet = TMeterLink::DefaultQuietInterval;
    bool stopAtFirst = true;
    bool running = false;
};

} // namespace kr
