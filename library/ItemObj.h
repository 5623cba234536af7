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
// followed by those a library download added during the run.
class TFactorCatalogue {
public:
    static constexpr const char* FileName = "Factors.dat";
    // The group of items a library download adds.
    static constexpr const char* AddedGroup = "Added";

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
    int Count() const { return int(items.size()); }
    const TItem& Item(int index) const { return items[std::size_t(index)]; }
    void Append(const TItem& item) { items.push_back(item); }
    // The code for the next item a download adds: "100000" and two digits,
    // on from the highest such code already held, so codes never repeat.
    std::string NextAddedCode() const;
    // "All", then every non-empty group in order of first appearance.
    std::vector<std::string> Groups() const;

private:
    std::vector<TItem> items;
};

} // namespace kr
