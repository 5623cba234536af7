#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/Help.h"

namespace kr {

// The program's message boxes, file dialogs and port chooser all go through
// this one seam, so that tests can answer them from a script.

enum class MsgKind { Warning, Error, Information, Confirmation, Plain };

enum MsgButton : int {
    mbNone = 0,
    mbYes = 1 << 0,
    mbNo = 1 << 1,
    mbOK = 1 << 2,
    mbCancel = 1 << 3,
    mbAbort = 1 << 4,
    mbRetry = 1 << 5,
    mbIgnore = 1 << 6,
    mbHelp = 1 << 7,
};
using MsgButtons = int;

struct MessageRequest {
    MsgKind kind = MsgKind::Plain;
    QString text;
    MsgButtons buttons = mbOK;
    int helpTopic = 0;   // one of help_topic's; 0: none
    MsgButton defaultButton = mbNone;   // what Enter presses; mbNone: the first button
    QString title;       // empty: the kind's own title ("Warning", "Error", "Information", "Confirm")
    QString details;     // shown on request under the text (a list of files); empty: none
};

struct FileDialogRequest {
    QString title;
    QStringList filters;       // e.g. "KR data files (*.krx)"
    int filterIndex = 0;       // 0-based, the filter chosen at first
    QString defaultSuffix;     // without the dot
    QString fileName;          // proposed name
    QString directory;         // starting folder
};

struct FileDialogResult {
    QString path;
    int filterIndex = 0;       // the filter the user ended on
};

struct PortChoice {
    int number = 0;
    QString device;            // shown beside the number
    // What the system says of the device; empty where it says nothing
    // (pseudo-terminals, devices named by KR_PORT_<N>).
    QString description = {};  // e.g. "FT232R USB UART"
    QString manufacturer = {};
    QString serialNumber = {};
    int vendorId = -1;         // USB ids; -1 when not a USB device
    int productId = -1;
};

class Prompts {
public:
    virtual ~Prompts() = default;
    // Shows a message box; returns the button pressed, or answerWhenClosed()
    // when the box was closed otherwise. Help is never the answer: it shows
    // the box's help topic and leaves the box open.
    virtual MsgButton message(const MessageRequest& request) = 0;
    // Open / save dialogs: nothing when cancelled. The save dialog never asks
    // about overwriting itself; callers ask where the program's rules say so.
    virtual std::optional<FileDialogResult> openFile(const FileDialogRequest& request) = 0;
    virtual std::optional<FileDialogResult> saveFile(const FileDialogRequest& request) = 0;
    // The "Select Port" dialog: the chosen port's number, nothing on Cancel.
    virtual std::optional<int> selectPort(const QList<PortChoice>& ports) = 0;
    // Asks for a password, its characters hidden: nothing on Cancel. Where
    // nobody can type one (the default), nothing.
    virtual std::optional<QString> password(const QString& title, const QString& text)
    {
        (void)title;
        (void)text;
        return std::nullopt;
    }
};

// The prompts in force, installed by the program: message boxes in the window
// program (platform/ui), the terminal in kr-cli, a script in tests. Not owned;
// nullptr uninstalls. With none installed, messages go to the log (qWarning)
// and are answered as closed boxes, dialogs as cancelled.
Prompts& prompts();
void setPrompts(Prompts* prompts);

// The answer of a box closed without pressing a button: Cancel when offered,
// else No when offered, else OK.
MsgButton answerWhenClosed(MsgButtons buttons);

// Title of a kind's box: "Warning", "Error", "Information", "Confirm" or "KR".
QString defaultTitle(MsgKind kind);

// Shorthands for the common boxes.
MsgButton showMessage(MsgKind kind, const QString& text, MsgButtons buttons = mbOK, int helpTopic = 0);
// A window closed while an exchange with the meter runs would cut it short and
// could leave a backup half-written or the meter half-erased. When busy, says
// so in a warning box and returns true: the caller then stays open.
bool refuseCloseWhileBusy(bool busy);
// For outputs other than data files (PDF, export): true when `path` is free,
// or when the user agrees to replace the file there.
bool mayReplace(const QString& path);

} // namespace kr
