#pragma once
#include <QStringList>
#include <cstdio>

#include "platform/Prompts.h"

namespace kr::cli {

// The program's message boxes as lines on standard error. Questions are
// answered from the command line's flags, never from standard input: with
// --yes the box gets OK (or Yes), otherwise Cancel (or No). A question is
// not printed, since nobody was asked it; the command says what it does. File dialogs and
// the port chooser are cancelled: a command line names its files and port.
class CliPrompts final : public Prompts {
public:
    explicit CliPrompts(bool yes, std::FILE* out = stderr) : yes(yes), out(out) {}

    MsgButton message(const MessageRequest& request) override;
    std::optional<FileDialogResult> openFile(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> saveFile(const FileDialogRequest& request) override;
    std::optional<int> selectPort(const QList<PortChoice>& ports) override;

    // Every text shown so far, in order.
    const QStringList& shown() const { return texts; }
    // Whether a box of this kind has been shown.
    bool any(MsgKind kind) const;

    // Prints one message as the program's own text (CR LF inside becomes a line break).
    void print(const QString& text);

private:
    bool yes;
    std::FILE* out;
    QStringList texts;
    QList<MsgKind> kinds;
};

} // namespace kr::cli
