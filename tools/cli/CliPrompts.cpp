#include "tools/cli/CliPrompts.h"

namespace kr::cli {

namespace {

// More than one button: the box asks something.
// Help beside OK does not make a box a question.
bool isQuestion(MsgButtons buttons)
{
    buttons &= ~mbHelp;
    return (buttons & (buttons - 1)) != 0;
}

} // namespace

MsgButton CliPrompts::message(const MessageRequest& request)
{
    const MsgButtons b = request.buttons;
    // Nobody is asked: the flags answer, and the command says what it does.
    if (!isQuestion(b))
        print(request.text);
    texts << request.text;
    kinds << request.kind;
    if (yes) {
        if (b & mbOK)
            return mbOK;
        if (b & mbYes)
            return mbYes;
    }
    if (b & mbCancel)
        return mbCancel;
    if (b & mbNo)
        return mbNo;
    return (b & mbOK) ? mbOK : mbCancel;
}

std::optional<FileDialogResult> CliPrompts::openFile(const FileDialogRequest&) { return std::nullopt; }

std::optional<FileDialogResult> CliPrompts::saveFile(const FileDialogRequest&) { return std::nullopt; }

std::optional<int> CliPrompts::selectPort(const QList<PortChoice>&)
{
    print(QStringLiteral("No serial port is set: give --port N or --device PATH."));
    return std::nullopt;
}

bool CliPrompts::any(MsgKind kind) const { return kinds.contains(kind); }

void CliPrompts::print(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace('\r', '\n');
    // Bytes from files and the meter can reach a message; keep them off the terminal.
    for (QChar& c : t)
        if ((c.unicode() < 0x20 && c != '\n') || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
            c = '?';
    const QByteArray bytes = t.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), out);
    std::fflush(out);
}

} // namespace kr::cli
