#pragma once
#include <QList>
#include <QString>
#include <functional>

namespace kr {

// Help topics by context number, as the program asks for them.
namespace help_topic {
inline constexpr int Contents = 0;
inline constexpr int LibraryUpload = 902;    // the upload's failure message
inline constexpr int LibraryEdit = 1001;     // the library editor's help button
inline constexpr int SystemSetup = 1200;     // the setup dialog's help button
inline constexpr int Glance = 1300;          // "Readings at a glance"
inline constexpr int Archive = 1400;         // the archive window
inline constexpr int Inspection = 1500;      // the inspection report window
inline constexpr int ListFull = 9001;        // "The list is full. ..."
inline constexpr int AlreadyAdded = 9002;    // "This item has already been added."
inline constexpr int NothingChosen = 9003;   // "You have not selected an item ..."
inline constexpr int SaveList = 9004;        // the editor's save prompts
} // namespace help_topic

// The help pages are resources in this folder ("qrc:/help/..." as URLs).
inline constexpr const char* HelpFolder = ":/help/";

// The page of a topic, a file name in HelpFolder such as "setup.html": the
// contents page for topic 0 and for any topic without a page of its own.
QString helpPageFor(int topic);
// Every topic with a page of its own, the contents first.
QList<int> helpTopics();

// Whoever shows help: the help window in the window program (installed by
// platform/ui), a recorder in tests. Code without widgets asks through
// showHelp. With no handler installed a request is dropped, as a help file
// that cannot be found is not reported.
using HelpHandler = std::function<void(int topic)>;
void setHelpHandler(HelpHandler handler);
void showHelp(int topic);

} // namespace kr
