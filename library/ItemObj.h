#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace kr {

// One species of the library: what the catalogue lists and the meter carries.
// Texts are Windows-1252 bytes, cut silently to their field's length.
class TItem {
public:
    static constexpr std::size_t CodeLength = 8;
    static constexpr std::size_t NameLength = 16;
    static constexpr std::size_t DescriptionLength = 32;
    static constexpr std::size_t GroupLength = 16;
    // What the meter knows of a name.
    static constexpr std::size_t MeterNameLength = 13;

    TItem() = default;

    void SetCode(const std::string& text);
    void SetName(const std::string& text);
    void SetDescription(const std::string& text);
    void SetGroup(const std::string& text);
    void SetSG(double value) { SG = value; }
    const std::string& GetCode() const { return Code; }
    const std::string& GetName() const { return Name; }
    const std::string& GetDescription() const { return Description; }
    const std::string& GetGroup() const { return Group; }
    double GetSG() const { return SG; }

    // Fills the item from one catalogue line of fixed columns; a number that
    // does not read stops there silently (SG 0, group empty).
    void LoadFromLine(const std::string& line);
    // The item as one catalogue line of 80 columns (no line end), the SG with
    // two decimals and a point, as LoadFromLine reads it back.
    std::string FormatLine() const;
    // The SG with two decimals and the regional separator, rounded to two
    // significant digits and at most two decimals, whichever keeps fewer.
    // This is also what the upload sends as the SG's digits.
    std::string FormatSG() const;
    // The SG as the user is shown it: two decimals, as the catalogue has it
    // (1.05 stays 1.05 where FormatSG gives 1.10).
    std::string DisplaySG() const;

private:
    std::string Code = "00000000";
    std::string Name;
    std::string Description;
    double SG = 0;
    std::string Group;
};

// The factor catalogue: every species the user can pick, in file order,
// followed by those library downloads added: the user catalogue's, then this
// run's. "Factors.dat" is only read; the user catalogue keeps the added
// species for good, so a code in a saved list means the same species in
// every run.
class TFactorCatalogue {
public:
    static constexpr const char* FileName = "Factors.dat";
    // The user catalogue beside kr.ini, in the same layout.
    static constexpr const char* AddedFileName = "Added.dat";
    // The group of items a library download adds.
    static constexpr const char* AddedGroup = "Added";

    // A species as a meter holds it, and the item that stands for it.
    struct TSpecies {
        std::string code;
        bool added = false;   // a new item, made for it just now
    };

    // Reads the catalogue file; raises FileError ("Cannot open file %s")
    // when it is missing or unreadable, leaving the catalogue empty.
    void LoadCatalogue(const std::string& path);
    // One item per line of the text (CR LF, LF or CR; the text ends at a NUL).
    void LoadFromText(const std::string& text);

    // The first item whose code is exactly `code`, or nullptr.
    const TItem* FindByCode(const std::string& code) const;
    // The first item whose name, cut to 13 characters, equals `key` exactly.
    // Both are compared as the meter holds names, padded with spaces to 13,
    // so a catalogue "Beech" is found by the meter's "Beech        ".
    const TItem* FindByMeterName(const std::string& key) const;
    // The same among the catalogue's own items (not in the group "Added").
    const TItem* FindListedByMeterName(const std::string& key) const;
    // The first item whose meter name is `key` and whose SG text is that of
    // `sg`, so an upload of it would send the meter's own record; or nullptr.
    const TItem* FindSpecies(const std::string& key, double sg) const;
    // FindSpecies's item, or else a new one appended (group "Added", the next
    // added code, name and description `key`) for SaveAdded to keep.
    TSpecies TakeSpecies(const std::string& key, double sg);
    int Count() const { return int(items.size()); }
    const TItem& Item(int index) const { return items[std::size_t(index)]; }
    void Append(const TItem& item) { items.push_back(item); }
    // The code for the next item a download adds: 10000000 plus a running
    // number, on from the highest such code held (in either file, whatever its
    // group), so a code is never given twice. Always 8 digits: "100000" and two
    // digits up to 99, "1000" and four up to 9999, and so on.
    std::string NextAddedCode() const;

    // Reads the user catalogue at `path` and appends its items whose codes are
    // not held yet; the species added from now on are kept there. A missing
    // file holds none. Raises FileError when it cannot be read: nothing is then
    // written to it in this run, and added species last for the run only.
    void LoadAdded(const std::string& path);
    // Reads the user catalogue again for what another run kept meanwhile, so
    // its codes are not given again; a no-op without a readable one. Raises
    // FileError as LoadAdded.
    void RefreshAdded();
    // Writes the user catalogue (atomically) when species were added since it
    // was last written. Raises FileError saying why they were not kept.
    void SaveAdded();
    // "All", then every non-empty group in order of first appearance.
    std::vector<std::string> Groups() const;

private:
    enum class AddedStore { None, Ready, Unreadable };
    std::vector<TItem> items;
    AddedStore addedStore = AddedStore::None;
    std::string addedPath;
    // The user catalogue's text as last read or written, and the lines of
    // the species added since.
    std::string addedText;
    std::string addedLines;
};

} // namespace kr
