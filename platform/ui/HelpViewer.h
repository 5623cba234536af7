#pragma once
#include <QWidget>

class QTextBrowser;
class QToolButton;

namespace kr {

// The help window "KR Help": the help pages in a browser with Back, Forward
// and Contents. There is one, made on first use; it never keeps the program
// running and stays usable while a modal dialog or message box is open.
class HelpViewer final : public QWidget {
    Q_OBJECT
public:
    static HelpViewer& instance();

    // Opens the window at the topic's page (0 and unknown topics: the
    // contents) and brings it to the front.
    void showHelpTopic(int topic);

    QTextBrowser* browser() const { return pages; }

private:
    explicit HelpViewer(QWidget* parent = nullptr);
    void placeFirstTime();
    void stayUsableOverModalWindow();

    QTextBrowser* pages = nullptr;
    QToolButton* btnBack = nullptr;
    QToolButton* btnForward = nullptr;
    QToolButton* btnContents = nullptr;
    bool placed = false;
};

// Makes the help window the program's help handler (platform/Help.h), so
// that every help button and "Contents" opens it. Called once at start.
void installHelpViewer();

} // namespace kr
