#include "meter/LineCollector.h"

#include <chrono>

namespace kr {

namespace {
std::int64_t steadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
} // namespace

TLineCollector::TLineCollector(Clock c) : clock(c ? std::move(c) : Clock(steadyMs)) {}

void TLineCollector::Arm()
{
    if (!armed) {
        buffer.clear();
        head = scanned = 0;
        afterCr = false;
    }
    armed = true;
    since = clock();
}

void TLineCollector::Disarm()
{
    armed = false;
    buffer.clear();
    head = scanned = 0;
    afterCr = false;
}

bool TLineCollector::expired() const { return clock() - since >= SelfDisarmMs; }

bool TLineCollector::Enabled() const { return armed && !expired(); }

void TLineCollector::feed(std::string_view bytes)
{
    if (!armed)
        return;
    if (expired()) {
        Disarm();
        return;
    }
    // The line feed of a CR LF pair may come in the next chunk.
    if (afterCr && !bytes.empty()) {
        afterCr = false;
        if (bytes.front() == '\n')
            bytes.remove_prefix(1);
    }
    buffer.append(bytes);
    // A handler that lets events run may bring more bytes: they are appended
    // above and cut into lines by the loop below, in order.
    if (delivering)
        return;
    delivering = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{delivering};

    while (armed) {
        const std::size_t cr = buffer.find('\r', scanned);
        if (cr == std::string::npos) {
            scanned = buffer.size();
            break;
        }
        std::string line = buffer.substr(head, cr + 1 - head);
        head = scanned = cr + 1;
        if (head < buffer.size()) {
            if (buffer[head] == '\n')
                head = scanned = head + 1;
        } else {
            afterCr = true;
        }
        since = clock();
        if (const std::size_t zero = line.find('\0'); zero != std::string::npos)
            line.resize(zero);
        if (onLine)
            onLine(line);
    }
    compact();
}

void TLineCollector::compact()
{
    if (head == 0)
        return;
    if (head == buffer.size()) {
        buffer.clear();
        head = scanned = 0;
    } else if (head > 4096 && head * 2 > buffer.size()) {
        buffer.erase(0, head);
        scanned -= head;
        head = 0;
    }
}

} // namespace kr
