#include "platform/ui/WidgetPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QShortcut>
#include <algorithm>
#include <memory>

#include "platform/Help.h"
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
    result.filterIndex = static_cast<int>(std::max<qsizetype>(0, r.filters.indexOf(dialog->selectedNameFilter())));
    return result;
}

// Help shows the box's topic and leaves the box open for the answer, as a
// Windows message box's Help button does: it is never the answer itself.
// QMessageBox closes on every button, so Help's click is taken from the box.
// F1 does the same.
void keepOpenForHelp(QMessageBox& box, QAbstractButton& help, int topic)
{
    QObject::disconnect(&help, &QAbstractButton::clicked, nullptr, nullptr);
    QObject::connect(&help, &QAbstractButton::clicked, &box, [topic] { showHelp(topic); });
    auto* f1 = new QShortcut(QKeySequence::HelpContents, &box);
    QObject::connect(f1, &QShortcut::activated, &box, [topic] { showHelp(topic); });
}

} // namespace

MsgButton WidgetPrompts::message(const MessageRequest& r)
{
    QMessageBox box(iconFor(r.kind), r.title.isEmpty() ? defaultTitle(r.kind) : r.title, r.text,
                    QMessageBox::NoButton, QApplication::activeWindow());
    for (const auto& m : buttonMap)
        if (r.buttons & m.ours)
            box.addButton(m.qt);
    for (const auto& m : buttonMap)
        if (r.defaultButton == m.ours && (r.buttons & m.ours))
            box.setDefaultButton(m.qt);
    if (QAbstractButton* help = box.button(QMessageBox::Help))
        keepOpenForHelp(box, *help, r.helpTopic);
    if (!r.details.isEmpty())
        box.setDetailedText(r.details);
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

std::optional<QString> WidgetPrompts::password(const QString& title, const QString& text)
{
    bool ok = false;
    const QString typed = QInputDialog::getText(QApplication::activeWindow(), title, text, QLineEdit::Password, {}, &ok);
    if (!ok)
        return std::nullopt;
    return typed;
}

} // namespace kr
