#include "meter/MeterLink.h"

#include <QCoreApplication>

#include "core/Errors.h"
#include "platform/PortMap.h"
#include "platform/Prompts.h"
#include "platform/SerialTransport.h"
#include "platform/Text.h"

namespace kr {

TMeterLink::TMeterLink(QObject* parent) : TMeterLink(std::make_unique<QtSerialTransport>(), parent) {}

TMeterLink::TMeterLink(std::unique_ptr<SerialTransport> transport, QObject* parent)
    : TMeterLink(std::move(transport), nullptr, parent)
{
}

TMeterLink::TMeterLink(int& portNumber, QObject* parent)
    : TMeterLink(std::make_unique<QtSerialTransport>(), &portNumber, parent)
{
}

TMeterLink::TMeterLink(std::unique_ptr<SerialTransport> transport, int* portNumber, QObject* parent)
    : QObject(parent), PortNumber(portNumber ? *portNumber : ownPortNumber), port(std::move(transport))
{
    setUpTimer(TimGotSummaryData, "TimGotSummaryData");
    setUpTimer(TimGotDataRecords, "TimGotDataRecords");
    setUpTimer(TimGotLibraryData, "TimGotLibraryData");
    setUpTimer(timGotSerialNo, "timGotSerialNo");
    PckLibrary.setOnLine([this](const std::string& line) { PckLibraryStringPacket(line); });
    connect(port.get(), &SerialTransport::received, this,
            [this](const QByteArray& bytes) { PckLibrary.feed(std::string_view(bytes.constData(), size_t(bytes.size()))); });
    connect(port.get(), &SerialTransport::lineLost, this, &TMeterLink::LineLost);
}

TMeterLink::~TMeterLink()
{
    for (QTimer* t : {&TimGotSummaryData, &TimGotDataRecords, &TimGotLibraryData, &timGotSerialNo})
        t->stop();
    port->close();
}

void TMeterLink::setUpTimer(QTimer& timer, const char* name)
{
    timer.setObjectName(QString::fromLatin1(name));
    timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early, which would cut replies short.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(quiet);
}

void TMeterLink::setQuietInterval(int ms)
{
    quiet = ms;
    for (QTimer* t : {&TimGotSummaryData, &TimGotDataRecords, &TimGotLibraryData, &timGotSerialNo})
        t->setInterval(ms);
}

void TMeterLink::setProgress(ProgressSink* s) { sink = s ? s : &silent; }

void TMeterLink::Open()
{
    int number = PortNumber;
    if (number == 0) {
        // Closed first, so that looking for the meter from the dialog may ask our port too.
        port->close();
        const std::optional<int> chosen = prompts().selectPort(PortMap::existingPorts());
        if (!chosen)
            throw KrError("No serial port was chosen.");
        number = *chosen;
    }
    if (!port->open(number))
        throw KrError(toCp1252(port->errorString()));
}

bool TMeterLink::OpenSilently()
{
    try {
        Open();
        return true;
    } catch (const KrError&) {
        return false;
    }
}

void TMeterLink::Close() { port->close(); }

void TMeterLink::Reopen(int number)
{
    Close();
    PortNumber = number;
    Open();
}

bool TMeterLink::IsOpen() const { return port->isOpen(); }

void TMeterLink::Send(const std::string& text)
{
    if (!port->isOpen())
        Open();
    if (!port->write(QByteArray(text.data(), qsizetype(text.size()))))
        throw KrError(toCp1252(port->errorString()));
}

void TMeterLink::StartExchange(QTimer& quietTimer, const std::string& command,
                               const std::function<void()>& afterSend, SendFailure onFailure)
{
    Arm();
    ReplyLines.clear();
    GotData = false;
    try {
        Send(command);
    } catch (const KrError&) {
        if (onFailure == SendFailure::Raise) {
            // No timer will end this exchange, so nothing may collect for it.
            Disarm();
            throw;
        }
    }
    if (afterSend)
        afterSend();
    quietTimer.start();
}

bool TMeterLink::BeginQuietTimer(QTimer& quietTimer)
{
    quietTimer.stop();
    replyCut = PckLibrary.pending() > 0;
    Disarm();
    if (&quietTimer != &timGotSerialNo)
        progress().Close();
    QCoreApplication::processEvents();
    return GotData;
}

void TMeterLink::PckLibraryStringPacket(const std::string& line)
{
    for (QTimer* t : {&TimGotLibraryData, &TimGotDataRecords, &TimGotSummaryData, &timGotSerialNo})
        if (t->isActive())
            t->start();
    ReplyLines.push_back(line);
    progress().StepProgress();
    GotData = true;
}

} // namespace kr
