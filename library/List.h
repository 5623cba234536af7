#pragma once
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "library/ItemObj.h"
#include "library/ListFile.h"
#include "library/WallRoofFile.h"

namespace kr {

// The library list editor without its window: the selected list of at most
// 31 codes with its notes and file, the group filter over the catalogue, and
// the file commands with their questions (through kr::prompts()).
class TLibraryList {
public:
    static constexpr int MaxItems = 31;
    static constexpr const char* NoFileName = "None";
    static constexpr const char* AllGroups = "All";

    explicit TLibraryList(TFactorCatalogue& catalogue);

    TFactorCatalogue& Catalogue() { return catalogue; }
    // Whose wall-and-roof entries a saved list keeps beside its file
    // ("F.wallroof" for "F.lst") and an opened one hands back; none: lists
    // are saved and opened without them.
    void SetWallRoofHolder(TWallRoofHolder* holder) { wallRoofHolder = holder; }

    // Builds the group list and the available list once the catalogue is loaded.
    void FormCreate();
    // The editor is shown: an empty, unnamed, unchanged list.
    void FormShow();

    // Group filter: "All" first, then the catalogue's groups as they were at creation.
    const std::vector<std::string>& Groups() const { return groups; }
    const std::string& GroupText() const { return groupText; }
    // Any change of the chooser's text, typed or picked: rebuilds the available list.
    void cbGroupsChange(const std::string& text);
    const std::vector<std::string>& Available() const { return available; }

    const std::vector<std::string>& Selected() const { return selected; }
    // The download's result replaces the list; file, notes and changed state stay.
    void ReplaceSelected(const std::vector<std::string>& codes) { selected = codes; }

    // Add the available row (0-based; nothing: no row chosen), with its three warnings.
    void AddSelectedItem(std::optional<int> availableRow);
    void RemoveSelectedItem(std::optional<int> selectedRow);

    // The notes as the box shows them, lines separated by "\n" (Windows-1252).
    const std::string& Notes() const { return notes; }
    void SetNotes(const std::string& text) { notes = text; }

    const std::string& FileName() const { return fileName; }
    bool IsChanged() const { return changed || notes != savedNotes; }
    void SetChanged() { changed = true; }
    void ClearChanged() { changed = false; }

    // "12 items" and "Library Edit" or "Library Edit  [path]".
    QString CountText() const;
    QString Caption() const;

    // File commands. Save writes to the open file (as Save As without one);
    // a failed write throws FileError and leaves the list changed.
    void New1Click();
    void Open1Click();
    void Save1Click();
    void SaveAs1Click();
    // True when the window may close.
    bool FormCloseQuery();

    // Also write and read the wall-and-roof file beside the list, when there
    // is a holder. A broken one is told about and its entries left alone.
    void SaveListFile();
    void LoadListFile();

    // The row text of a code: the item's name and SG text; a code the
    // catalogue lacks is shown as itself with a word of explanation.
    struct Row {
        QString name;
        QString sg;
        bool known = true;
    };
    Row RowFor(const std::string& code) const;

private:
    enum class Answer { Go, Stop };
    // The save question before New, Open or close; Go when the command may go on.
    Answer AskToSave(bool offerCancelWhenNamed);
    // The save dialog; false when the user backed out.
    bool AskForName();
    bool OpenAFile();
    void Take(const std::string& path, const ListFileContents& file);
    void Clear();

    TFactorCatalogue& catalogue;
    TWallRoofHolder* wallRoofHolder = nullptr;
    std::vector<std::string> groups;
    std::string groupText = AllGroups;
    std::vector<std::string> available;
    std::vector<std::string> selected;
    std::string notes;
    std::string savedNotes;
    std::string fileName = NoFileName;
    bool changed = false;
};

namespace list_text {
inline constexpr const char* NothingChosen = "You have not selected an item to copy to the list.";
inline constexpr const char* Full = "The list is full.  There is a limit of 31 items that can be add to the meter.";
inline constexpr const char* AlreadyAdded = "This item has already been added.";
inline constexpr const char* SaveNamed = "Do you wish to save the changes to \n\r";
inline constexpr const char* SaveUnnamed = "Do you wish to save these changes?";
inline constexpr const char* NotInCatalogue = "(not in the catalogue)";
} // namespace list_text

} // namespace kr
