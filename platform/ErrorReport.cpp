#include "platform/ErrorReport.h"

#include <exception>
#include <new>

#include "core/Errors.h"
#include "platform/Prompts.h"
#include "platform/Text.h"

namespace kr {

QString currentExceptionText()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        // Our own messages and most library texts are plain ASCII or
        // Windows-1252; reading them as such never fails.
        return fromCp1252(e.what());
    } catch (...) {
        return QStringLiteral("Unknown error");
    }
}

void showErrorReport(const QString& text)
{
    MessageRequest r;
    r.kind = MsgKind::Error;
    r.text = text;
    r.buttons = mbOK;
    r.title = QStringLiteral("KR");
    prompts().message(r);
}

bool runHandler(const std::function<void()>& handler)
{
    try {
        handler();
        return true;
    } catch (...) {
        const QString text = currentExceptionText();
        // A failure while showing the report must not take the program down.
        try {
            showErrorReport(text);
        } catch (...) {
        }
        return false;
    }
}

} // namespace kr
