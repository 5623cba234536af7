#pragma once
#include <QList>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "platform/Prompts.h"

namespace kr::test {

// Answers the program's prompts from queues and records every one asked.
// It installs itself with setPrompts while it lives: declare one in the test.
class ScriptedPrompts final : public Prompts {
public:
    struct Asked {
        enum Kind { Message, Open, Save, SelectPort, Password } what;
        MessageRequest message;
        FileDialogRequest file;
        QList<PortChoice> ports;
    };

    ScriptedPrompts();
    ~ScriptedPrompts() override;

    // Queue answers, taken in order. An unexpected prompt (empty queue) is
    // recorded and answered with Cancel / nothing, and counts in unexpected().
    void answer(MsgButton button) { messageAnswers.push_back(button); }
    void answerOpen(std::optional<QString> path, int filterIndex = 0);
    void answerSave(std::optional<QString> path, int filterIndex = 0);
    void answerPort(std::optional<int> number) { portAnswers.push_back(number); }
    void answerPassword(std::optional<QString> typed) { passwordAnswers.push_back(std::move(typed)); }
    // Runs when a message box is asked, before it is answered (e.g. to look at the window).
    std::function<void(const MessageRequest&)> onMessage;

    MsgButton message(const MessageRequest& request) override;
    std::optional<FileDialogResult> openFile(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> saveFile(const FileDialogRequest& request) override;
    std::optional<int> selectPort(const QList<PortChoice>& ports) override;
    std::optional<QString> password(const QString& title, const QString& text) override;

    const QList<Asked>& asked() const { return log; }
    QStringList messageTexts() const;
    QList<MessageRequest> messages() const;
    int unexpected() const { return unexpectedCount; }
    bool allAnswered() const;
    void clear();

private:
    std::deque<MsgButton> messageAnswers;
    std::deque<std::optional<FileDialogResult>> openAnswers, saveAnswers;
    std::deque<std::optional<int>> portAnswers;
    std::deque<std::optional<QString>> passwordAnswers;
    QList<Asked> log;
    int unexpectedCount = 0;
};

} // namespace kr::test
