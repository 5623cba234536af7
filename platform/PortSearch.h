#pragma once
#include <QList>
#include <QObject>
#include <functional>
#include <memory>

namespace kr {

// Looking for the meter among the serial ports, as the port dialogs see it:
// the dialogs live below the meter layer, which does the asking.
class PortSearch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Asks the ports in this order, one at a time, and stops at the first
    // one where a KR answers. Returns at once; finished() tells the end.
    virtual void start(const QList<int>& numbers) = 0;
    // Stops asking; finished() follows with no port.
    virtual void cancel() = 0;

signals:
    void asking(int number);
    // The port where a KR answered, 0 when none did or the search was cancelled.
    void finished(int number);
};

using PortSearchFactory = std::function<std::unique_ptr<PortSearch>()>;

// The program installs how a search is made; without one the dialogs offer none.
void setPortSearchFactory(PortSearchFactory factory);
std::unique_ptr<PortSearch> makePortSearch();

} // namespace kr
