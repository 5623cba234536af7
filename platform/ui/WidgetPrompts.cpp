#include "platform/ui/WidgetPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <algorithm>
#include <memory>

#include "platform/ui/SelectPortDialog.h"

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

} // namespace

MsgButton WidgetPrompts::message(const MessageRequest& r)
{
    QMessageBox box(iconFor(r.kind), r.title.isEmpty() ? defaultTitle(r.kind) : r.title, r.text,
                    QMessageBox::NoButton, QApplication::activeWindow());
    for (const auto& m : buttonMap)
        if (r.buttons & m.ours)
            box.addButton(m.qt);
    // Help closes the box like any other button and is returned to the
    // caller; there is no help viewer yet to show the topic.
    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    for (const auto& m : buttonMap)
        if (m.qt == pressed)
            return m.ours;
    return answerWhenClosed(r.buttons);
}

std::optional<FileDialogResult> WidgetPrompts::openFile(const FileDialogRequest& r)
{
    return runFileDialog(r, QFileDialog::AcceptOpen);
}

std::optional<FileDialogResult> WidgetPrompts::saveFile(const FileDialogRequest& r)
{
    return runFileDialog(r, QFileDialog::AcceptSave);
}

std::optional<int> WidgetPrompts::selectPort(const QList<PortChoice>& ports) { return runSelectPortDialog(ports); }

} // namespace kr
