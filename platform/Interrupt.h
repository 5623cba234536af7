#pragma once
#include <QObject>
#include <memory>

class QSocketNotifier;

namespace kr {

// While it lives, Ctrl+C (SIGINT) no longer ends the program: it becomes the
// signal interrupted(), delivered in the event loop, so a running exchange can
// be stopped cleanly. The handler in force before comes back when the watch
// goes. Interrupts that arrive before the loop has delivered the last one come
// as one delivery. Watches nest (the newest hears the interrupts) and must end
// in the reverse order of their start.
class InterruptWatch : public QObject {
    Q_OBJECT
public:
    explicit InterruptWatch(QObject* parent = nullptr);
    ~InterruptWatch() override;
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // An interrupt has been delivered since the watch started.
    bool wasInterrupted() const { return interruptedOnce; }

signals:
    void interrupted();

private slots:
    void deliver();

private:
    struct Previous;
    std::unique_ptr<Previous> previous;
    InterruptWatch* outer = nullptr;
    QSocketNotifier* notifier = nullptr;
    bool interruptedOnce = false;
};

} // namespace kr
