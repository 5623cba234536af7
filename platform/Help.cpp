#include "platform/Help.h"

#include <utility>

namespace kr {

namespace {

struct TopicPage {
    int topic;
    const char* page;
};

constexpr TopicPage topicPages[] = {
    {help_topic::Contents, "index.html"},
    {help_topic::SystemSetup, "setup.html"},
    {help_topic::LibraryEdit, "library-editor.html"},
    {help_topic::Glance, "glance.html"},
    {help_topic::Archive, "archive.html"},
    {help_topic::Inspection, "inspection.html"},
    {help_topic::ListFull, "list-full.html"},
    {help_topic::AlreadyAdded, "already-added.html"},
    {help_topic::NothingChosen, "nothing-chosen.html"},
    {help_topic::SaveList, "save-list.html"},
    {help_topic::LibraryUpload, "upload-failed.html"},
};

HelpHandler& handler()
{
    static HelpHandler installed;
    return installed;
}

} // namespace

QString helpPageFor(int topic)
{
    for (const TopicPage& t : topicPages)
        if (t.topic == topic)
            return QLatin1String(t.page);
    return QLatin1String(topicPages[0].page);
}

QList<int> helpTopics()
{
    QList<int> topics;
    for (const TopicPage& t : topicPages)
        topics << t.topic;
    return topics;
}

void setHelpHandler(HelpHandler h) { handler() = std::move(h); }

void showHelp(int topic)
{
    if (handler())
        handler()(topic);
}

} // namespace kr
