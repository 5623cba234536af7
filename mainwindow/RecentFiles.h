#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

namespace kr {

// The recently used data files, newest first, at most ten. Names are compared
// without regard to letter case, so the same file opened under two spellings
// keeps one entry.
class TRecentFiles {
public:
    static constexpr int Capacity = 10;

    // Moves an existing entry (any letter case) to the top, or puts a new one
    // there and drops the oldest beyond the capacity.
    void Add(const QString& fileName);
    void Clear();

    const QStringList& Items() const { return items; }
    int Count() const { return int(items.size()); }
    bool IsEmpty() const { return items.isEmpty(); }

    // The menu caption of entry i (0-based): accelerator 1..9, then A for the
    // tenth, a space, then the full path with '&' doubled so it shows as typed.
    static QString MenuCaption(int index, const QString& fileName);

    // Replaces the whole list (as read back from the settings file), newest
    // first; entries past the capacity are dropped.
    void Assign(const QStringList& names);

    // An entry as kr.ini keeps it: Windows-1252 bytes when the name has a
    // Windows-1252 form, as the Windows program writes it; otherwise a UTF-8
    // byte-order mark followed by the name in UTF-8, so no name comes back
    // as '?'. NameFromStored reads both forms back exactly.
    static std::string StoredName(const QString& fileName);
    static QString NameFromStored(const std::string& stored);

    // Called after every change of the list (to rebuild the menu).
    std::function<void()> onChanged;

private:
    void changed();
    QStringList items;
};

} // namespace kr
