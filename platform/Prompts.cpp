#include "platform/Prompts.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

namespace kr {

namespace {

// Where no prompts were installed nobody is there to answer: the text goes to
// the log and every box is closed unanswered, every dialog cancelled.
class UnattendedPrompts final : public Prompts {
public:
    MsgButton message(const MessageRequest& r) override
    {
        qWarning("%s: %s", qUtf8Printable(r.title.isEmpty() ? defaultTitle(r.kind) : r.title),
                 qUtf8Printable(r.text));
        return answerWhenClosed(r.buttons);
    }
    std::optional<FileDialogResult> openFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<FileDialogResult> saveFile(const FileDialogRequest&) override { return std::nullopt; }
    std::optional<int> selectPort(const QList<PortChoice>&) override { return std::nullopt; }
};

Prompts* current = nullptr;

} // namespace

Prompts& prompts()
{
    static UnattendedPrompts unattended;
    return current ? *current : unattended;
}

void setPrompts(Prompts* p) { current = p; }

MsgButton answerWhenClosed(MsgButtons buttons)
{
    return (buttons & mbCancel) ? mbCancel : (buttons & mbNo) ? mbNo : mbOK;
}

QString defaultTitle(MsgKind kind)
{
    switch (kind) {
    case MsgKind::Warning: return QStringLiteral("Warning");
    case MsgKind::Error: return QStringLiteral("Error");
    case MsgKind::Information: return QStringLiteral("Information");
    case MsgKind::Confirmation: return QStringLiteral("Confirm");
    case MsgKind::Plain: break;
    }
    return QStringLiteral("KR");
}

MsgButton showMessage(MsgKind kind, const QString& text, MsgButtons buttons, int helpTopic)
{
    MessageRequest r;
    r.kind = kind;
    r.text = text;
    r.buttons = buttons;
    r.helpTopic = helpTopic;
    return prompts().message(r);
}

bool refuseCloseWhileBusy(bool busy)
{
    if (busy)
        showMessage(MsgKind::Warning, QStringLiteral("The KR is busy. Wait until the exchange has ended, or press "
                                                     "Cancel in its progress window, before closing."));
    return busy;
}

bool mayReplace(const QString& path)
{
    return !QFileInfo::exists(path)
        || showMessage(MsgKind::Confirmation,
                       QStringLiteral("%1 already exists.\r\nDo you want to replace it?").arg(QDir::toNativeSeparators(path)),
                       mbYes | mbNo) == mbYes;
}

} // namespace kr
