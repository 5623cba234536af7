#pragma once
#include "platform/Prompts.h"

namespace kr {

// The window program's prompts: message boxes, file dialogs and "Select Port",
// each over the active window. The program installs them at start with setPrompts.
class WidgetPrompts final : public Prompts {
public:
    MsgButton message(const MessageRequest& request) override;
    std::optional<FileDialogResult> openFile(const FileDialogRequest& request) override;
    std::optional<FileDialogResult> saveFile(const FileDialogRequest& request) override;
    std::optional<int> selectPort(const QList<PortChoice>& ports) override;
    std::optional<QString> password(const QString& title, const QString& text) override;
};

} // namespace kr
