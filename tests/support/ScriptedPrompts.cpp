#include "tests/support/ScriptedPrompts.h"

namespace kr::test {

ScriptedPrompts::ScriptedPrompts()
{
    setPrompts(this);
}

ScriptedPrompts::~ScriptedPrompts() { setPrompts(nullptr); }

namespace {
std::optional<FileDialogResult> fileAnswer(std::optional<QString> path, int filterIndex)
{
    if (!path)
        return std::nullopt;
    return FileDialogResult{*path, filterIndex};
}
} // namespace

void ScriptedPrompts::answerOpen(std::optional<QString> path, int filterIndex)
{
    openAnswers.push_back(fileAnswer(std::move(path), filterIndex));
}

void ScriptedPrompts::answerSave(std::optional<QString> path, int filterIndex)
{
    saveAnswers.push_back(fileAnswer(std::move(path), filterIndex));
}

MsgButton ScriptedPrompts::message(const MessageRequest& request)
{
    log.append({Asked::Message, request, {}, {}});
    if (onMessage)
        onMessage(request);
    if (messageAnswers.empty()) {
        ++unexpectedCount;
        return (request.buttons & mbCancel) ? mbCancel : mbOK;
    }
    const MsgButton b = messageAnswers.front();
    messageAnswers.pop_front();
    return b;
}

std::optional<FileDialogResult> ScriptedPrompts::openFile(const FileDialogRequest& request)
{
    log.append({Asked::Open, {}, request, {}});
    if (openAnswers.empty()) {
        ++unexpectedCount;
        return std::nullopt;
    }
    auto a = openAnswers.front();
    openAnswers.pop_front();
    return a;
}

std::optional<FileDialogResult> ScriptedPrompts::saveFile(const FileDialogRequest& request)
{
    log.append({Asked::Save, {}, request, {}});
    if (saveAnswers.empty()) {
        ++unexpectedCount;
        return std::nullopt;
    }
    auto a = saveAnswers.front();
    saveAnswers.pop_front();
    return a;
}

std::optional<int> ScriptedPrompts::selectPort(const QList<PortChoice>& ports)
{
    log.append({Asked::SelectPort, {}, {}, ports});
    if (portAnswers.empty()) {
        ++unexpectedCount;
        return std::nullopt;
    }
    auto a = portAnswers.front();
    portAnswers.pop_front();
    return a;
}

QStringList ScriptedPrompts::messageTexts() const
{
    QStringList texts;
    for (const auto& a : log)
        if (a.what == Asked::Message)
            texts << a.message.text;
    return texts;
}

QList<MessageRequest> ScriptedPrompts::messages() const
{
    QList<MessageRequest> list;
    for (const auto& a : log)
        if (a.what == Asked::Message)
            list << a.message;
    return list;
}

std::optional<QString> ScriptedPrompts::password(const QString& title, const QString& text)
{
    MessageRequest asked;
    asked.title = title;
    asked.text = text;
    log.append({Asked::Password, asked, {}, {}});
    if (passwordAnswers.empty()) {
        ++unexpectedCount;
        return std::nullopt;
    }
    auto a = passwordAnswers.front();
    passwordAnswers.pop_front();
    return a;
}

bool ScriptedPrompts::allAnswered() const
{
    return messageAnswers.empty() && openAnswers.empty() && saveAnswers.empty() && portAnswers.empty()
        && passwordAnswers.empty();
}

void ScriptedPrompts::clear()
{
    log.clear();
    unexpectedCount = 0;
}

} // namespace kr::test
