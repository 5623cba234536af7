#include "library/List.h"

#include <QFileInfo>
#include <algorithm>

#include "core/Errors.h"
#include "library/ListFile.h"
#include "platform/Help.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/FileFolders.h"

namespace kr {

namespace {

MsgButton warn(const char* text, MsgButtons buttons, int helpTopic)
{
    return showMessage(MsgKind::Warning, fromCp1252(text), buttons, helpTopic);
}

FileDialogRequest listDialog(const char* title)
{
    FileDialogRequest r;
    r.title = QString::fromLatin1(title);
    r.filters = {QStringLiteral("Library Lists (*.lst)")};
    r.defaultSuffix = QStringLiteral("lst");
    return r;
}

} // namespace

TLibraryList::TLibraryList(TFactorCatalogue& items) : catalogue(items) {}

void TLibraryList::FormCreate()
{
    groups = catalogue.Groups();
    groupText = AllGroups;
    cbGroupsChange(groupText);
}

void TLibraryList::FormShow() { Clear(); }

void TLibraryList::Clear()
{
    selected.clear();
    notes.clear();
    savedNotes.clear();
    fileName = NoFileName;
    ClearChanged();
}

void TLibraryList::cbGroupsChange(const std::string& text)
{
    groupText = text;
    available.clear();
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TItem& item = catalogue.Item(i);
        if (text == AllGroups || item.GetGroup() == text)
            available.push_back(item.GetCode());
    }
}

void TLibraryList::AddSelectedItem(std::optional<int> row)
{
    if (!row || *row < 0 || *row >= int(available.size())) {
        warn(list_text::NothingChosen, mbOK | mbHelp, help_topic::NothingChosen);
        return;
    }
    if (int(selected.size()) >= MaxItems) {
        warn(list_text::Full, mbOK | mbHelp, help_topic::ListFull);
        return;
    }
    const std::string& code = available[std::size_t(*row)];
    if (std::find(selected.begin(), selected.end(), code) != selected.end()) {
        warn(list_text::AlreadyAdded, mbOK | mbHelp, help_topic::AlreadyAdded);
        return;
    }
    // Kept in order of name; rows the catalogue does not know are passed over.
    const TItem* item = catalogue.FindByCode(code);
    const std::string name = item ? item->GetName() : std::string();
    auto at = std::find_if(selected.begin(), selected.end(), [&](const std::string& other) {
        const TItem* o = catalogue.FindByCode(other);
        return o && o->GetName() > name;
    });
    selected.insert(at, code);
    SetChanged();
}

void TLibraryList::RemoveSelectedItem(std::optional<int> row)
{
    if (!row || *row < 0 || *row >= int(selected.size()))
        return;
    selected.erase(selected.begin() + *row);
    SetChanged();
}

QString TLibraryList::CountText() const { return QString::number(selected.size()) + QStringLiteral(" items"); }

QString TLibraryList::Caption() const
{
    if (fileName == NoFileName)
        return QStringLiteral("Library Edit");
    return QStringLiteral("Library Edit  [") + fromNativePath(fileName) + QLatin1Char(']');
}

TLibraryList::Row TLibraryList::RowFor(const std::string& code) const
{
    // Names are fields of 16 characters; their padding shows as nothing.
    if (const TItem* item = catalogue.FindByCode(code))
        return {fromCp1252(item->GetName()).trimmed(), fromCp1252(item->DisplaySG()), true};
    return {fromCp1252(code) + QLatin1Char(' ') + QString::fromLatin1(list_text::NotInCatalogue), QString(), false};
}

void TLibraryList::SaveListFile()
{
    // The entries first: when they cannot be written, the list file stays
    // as it was rather than going without them.
    if (wallRoofHolder) {
        if (const QString why = WallRoofWriteRefusal(fileName); !why.isEmpty())
            throw FileError(toCp1252(why));
        WriteWallRoofFile(WallRoofPathFor(fileName), wallRoofHolder->WallRoofEntries());
    }
    WriteListFile(fileName, selected, notes);
    ClearChanged();
    savedNotes = notes;
}

void TLibraryList::LoadListFile() { Take(fileName, ReadListFile(fileName)); }

void TLibraryList::Take(const std::string& path, const ListFileContents& file)
{
    fileName = path;
    selected = file.codes;
    notes = file.notes;
    savedNotes = notes;
    ClearChanged();
    if (!wallRoofHolder)
        return;
    const std::string companion = WallRoofPathFor(path);
    if (companion.empty())
        return;
    try {
        if (const auto entries = ReadWallRoofFile(companion))
            wallRoofHolder->TakeWallRoofEntries(*entries, companion);
    } catch (const FileError& e) {
        showMessage(MsgKind::Warning, fromCp1252(e.what()) +
                                          QStringLiteral("\r\nThe wall and roof entries stay as they were."));
    }
}

bool TLibraryList::AskForName()
{
    FileDialogRequest r = listDialog("Save KR Library List");
    r.fileName = fileName == NoFileName ? QStringLiteral("*.lst") : QFileInfo(fromNativePath(fileName)).fileName();
    const auto chosen = askSaveFile(r);
    if (!chosen || chosen->path.isEmpty())
        return false;
    QString why = WriteRefusal(chosen->path);
    if (why.isEmpty() && wallRoofHolder)
        why = WallRoofWriteRefusal(toNativePath(chosen->path));
    if (!why.isEmpty()) {
        showMessage(MsgKind::Warning, why);
        return false;
    }
    fileName = toNativePath(chosen->path);
    SaveListFile();
    return true;
}

bool TLibraryList::OpenAFile()
{
    const auto chosen = askOpenFile(listDialog("Open KR Library List"));
    if (!chosen || chosen->path.isEmpty())
        return false;
    // Read first: a file that cannot be read leaves the list as it was.
    const std::string path = toNativePath(chosen->path);
    Take(path, ReadListFile(path));
    return true;
}

TLibraryList::Answer TLibraryList::AskToSave(bool offerCancelWhenNamed)
{
    if (!IsChanged())
        return Answer::Go;
    if (fileName == NoFileName) {
        const MsgButton a = warn(list_text::SaveUnnamed, mbYes | mbNo | mbCancel | mbHelp, help_topic::SaveList);
        if (a == mbNo)
            return Answer::Go;
        return a == mbYes && AskForName() ? Answer::Go : Answer::Stop;
    }
    const MsgButtons buttons = mbYes | mbNo | mbHelp | (offerCancelWhenNamed ? mbCancel : mbNone);
    const MsgButton a = showMessage(MsgKind::Warning, fromCp1252(list_text::SaveNamed) + fromNativePath(fileName) +
                                                          QLatin1Char('?'),
                                    buttons, help_topic::SaveList);
    if (a == mbYes) {
        SaveListFile();
        return Answer::Go;
    }
    return a == mbNo ? Answer::Go : Answer::Stop;
}

void TLibraryList::New1Click()
{
    if (AskToSave(false) == Answer::Go)
        Clear();
}

void TLibraryList::Open1Click()
{
    if (AskToSave(false) == Answer::Go)
        OpenAFile();
}

void TLibraryList::Save1Click()
{
    if (fileName == NoFileName)
        SaveAs1Click();
    else
        SaveListFile();
}

void TLibraryList::SaveAs1Click() { AskForName(); }

bool TLibraryList::FormCloseQuery() { return AskToSave(true) == Answer::Go; }

} // namespace kr
