#include "platform/Prompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <memory>

#include "platform/SelectPortDialog.h"

namespace kr {

namespace {

QMessageBox::Icon iconFor(MsgKind kind)
{
    switch (kind) {
    case MsgKind::Warning: return QMessageBox::Warning;
    case MsgKind::Error: return QMessageBox::Critical;
    case MsgKind::Information: return QMessageBox::Information;
    case MsgKind::Confirmation: return QMessageBox::Question;
    case MsgKind::Plain: break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonMap {
    MsgButton ours;
    QMessageBox::StandardButton qt;
};
constexpr ButtonMap buttonMap[] = {
    {mbYes, QMessageBox::Yes},     {mbNo, QMessageBox::No},         {mbOK, QMessageBox::Ok},
    {mbCancel, QMessageBox::Cancel}, {mbAbort, QMessageBox::Abort}, {mbRetry, QMessageBox::Retry},
    {mbIgnore, QMessageBox::Ignore}, {mbHelp, QMessageBox::Help},
};

QFileDialog* makeFileDialog(const FileDialogRequest& r, QFileDialog::AcceptMode mode)
{
    auto* dialog = new QFileDialog(QApplication::activeWindow(), r.title, r.directory);
    dialog->setAcceptMode(mode);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setNameFilters(r.filters);
    if (r.filterIndex >= 0 && r.filterIndex < r.filters.size())
        dialog->selectNameFilter(r.filters.at(r.filterIndex));
    dialog->setDefaultSuffix(r.defaultSuffix);
    if (!r.fileName.isEmpty())
        dialog->selectFile(r.fileName);
    if (mode == QFileDialog::AcceptOpen)
        dialog->setFileMode(QFileDialog::ExistingFile);
    return dialog;
}

std::optional<FileDialogResult> runFileDialog(const FileDialogRequest& r, QFileDialog::AcceptMode mode)
{
    std::unique_ptr<QFileDialog> dialog(makeFileDialog(r, mode));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    FileDialogResult result;
    result.path = dialog->selectedFiles().constFirst();
    result.filterIndex = std::max<qsizetype>(0, r.filters.indexOf(dialog->selectedNameFilter()));
    return result;
}

class WidgetPrompts final : public Prompts {
public:
    MsgButton message(const MessageRequest& r) override
    {
        QMessageBox box(iconFor(r.kind), r.title.isEmpty() ? defaultTitle(r.kind) : r.title, r.text,
                        QMessageBox::NoButton, QApplication::activeWindow());
        for (const auto& m : buttonMap)
            if (r.buttons & m.ours)
                box.addButton(m.qt);
        // Help shows the topic's help without closing the box, as the help viewer would.
        box.exec();
        const auto pressed = box.standardButton(box.clickedButton());
        for (const auto& m : buttonMap)
            if (m.qt == pressed)
                return m.ours;
        return (r.buttons & mbCancel) ? mbCancel : (r.buttons & mbNo) ? mbNo : mbOK;
    }
    std::optional<FileDialogResult> openFile(const FileDialogRequest& r) override
    {
        return runFileDialog(r, QFileDialog::AcceptOpen);
    }
    std::optional<FileDialogResult> saveFile(const FileDialogRequest& r) override
    {
        return runFileDialog(r, QFileDialog::AcceptSave);
    }
    std::optional<int> selectPort(const QList<PortChoice>& ports) override
    {
        return runSelectPortDialog(ports);
    }
};

Prompts* current = nullptr;

} // namespace

Prompts& prompts()
{
    static WidgetPrompts widgets;
    return current ? *current : widgets;
}

void setPrompts(Prompts* p) { current = p; }

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

} // namespace kr
