#include "meter/PortProbe.h"

#include <QTimer>

#include "meter/Exchanges.h"
#include "meter/Wait.h"
#include "platform/SerialTransport.h"

namespace kr {

// One port's own link and the exchange that asks it; gone before the next port.
struct TPortProbe::Session {
    TMeterLink link;
    TStandaloneHost host;
    TMeterExchanges exchanges{link, host};
    explicit Session(std::unique_ptr<SerialTransport> transport) : link(std::move(transport)) {}
};

TPortProbe::TPortProbe(QObject* parent)
    : PortSearch(parent), makeTransport([] { return std::make_unique<QtSerialTransport>(); })
{
}

TPortProbe::~TPortProbe() = default;

void TPortProbe::setTransportFactory(TransportFactory factory) { makeTransport = std::move(factory); }

void TPortProbe::start(const QList<int>& numbers) { begin(numbers, true); }

void TPortProbe::startEvery(const QList<int>& numbers) { begin(numbers, false); }

void TPortProbe::begin(const QList<int>& numbers, bool firstOnly)
{
    if (running)
        return;
    queue = numbers;
    results.clear();
    stopAtFirst = firstOnly;
    running = true;
    next();
}

void TPortProbe::cancel()
{
    if (running)
        finish(0);
}

void TPortProbe::WaitForEnd()
{
    WaitUntil([this] { return !running; });
}

std::optional<int> TPortProbe::Found() const
{
    for (const TPortAnswer& a : results)
        if (a.outcome == TPortAnswer::Outcome::Meter)
            return a.number;
    return std::nullopt;
}

void TPortProbe::next()
{
    session.reset();
    if (!running)
        return;
    if (queue.isEmpty())
        return finish(0);
    const int number = queue.takeFirst();
    emit asking(number);
    if (!running)
        return;   // cancelled by whoever watched
    session = std::make_unique<Session>(makeTransport());
    session->link.PortNumber = number;
    session->link.setQuietInterval(quiet);
    SerialTransport& port = session->link.transport();
    if (!port.open(number)) {
        TPortAnswer a{number, port.problem() == PortProblem::InUse ? TPortAnswer::Outcome::InUse
                                                                   : TPortAnswer::Outcome::Failed,
                      {}, port.errorString()};
        results.append(a);
        emit answered(a);
        // Through the event loop, so that a long list of dead ports still lets the user cancel.
        QTimer::singleShot(0, this, [this] { next(); });
        return;
    }
    // Queued: the session goes once its exchange has returned.
    connect(&session->exchanges, &TMeterExchanges::SerialNoChanged, this, [this, number] { judge(number); },
            Qt::QueuedConnection);
    session->exchanges.RequestSerialNo();
}

void TPortProbe::judge(int number)
{
    if (!running || !session)
        return;
    TPortAnswer a{number, TPortAnswer::Outcome::NoAnswer, {}, {}};
    if (session->link.SerialState == ssFound) {
        a.outcome = TPortAnswer::Outcome::Meter;
        a.serialNumber = session->exchanges.SerialNoText();
        while (!a.serialNumber.empty() && (a.serialNumber.back() == '\r' || a.serialNumber.back() == '\n'))
            a.serialNumber.pop_back();
    }
    session.reset();
    results.append(a);
    emit answered(a);
    if (!running)
        return;
    if (a.outcome == TPortAnswer::Outcome::Meter && stopAtFirst)
        return finish(number);
    next();
}

void TPortProbe::finish(int number)
{
    running = false;
    queue.clear();
    session.reset();
    emit finished(number);
}

} // namespace kr
