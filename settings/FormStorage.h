#pragma once
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "settings/WindowFit.h"

namespace kr {

// Sections of kr.ini that hold window layout.
inline constexpr const char* MainLayoutSection = "setup";
inline constexpr const char* MainGridSection = "setup\\TfmMaindgData";
inline constexpr const char* RecentFilesSection = "setup\\TfmMain.MRUManager1";
inline constexpr const char* SetupLayoutSection = "TfmSetup";

// The window placement as stored: the numbers of the Windows placement
// record. On other systems the adapters fill it from the window's normal
// (restored) geometry and state; see ui/WindowLayout.h.
struct WindowPlacement {
    int Flags = 0;   // 2: restores to maximised (minimised from a maximised state)
    int ShowCmd = 1; // 1 normal, 2 minimised, 3 maximised
    int MinX = -1, MinY = -1, MaxX = -1, MaxY = -1;
    // Normal rectangle; right and bottom lie just outside, as in a Windows RECT.
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

inline constexpr int RestoreToMaximizedFlag = 2;

enum class WindowShow { Normal, Minimized, Maximized };

// ShowCmd as read back: 1, 5 or 9 normal; 2, 6 or 7 minimised; 3 maximised;
// anything else normal.
WindowShow showFromShowCmd(int showCmd);
int showCmdFrom(WindowShow show);

struct ScreenInfo {
    int width = 1024;
    int height = 768;
    int pixelsPerInch = 96;
};

// "(1024x768)": the suffix of the screen-size placement keys.
std::string screenSizeSuffix(const ScreenInfo& screen);
// "%d,%d,%d,%d".
std::string formatFour(int a, int b, int c, int d);
// Reads "%d,%d,%d,%d"; a missing or unreadable number keeps its default.
std::array<int, 4> parseFour(std::string_view text, const std::array<int, 4>& defaults);

// What a restore decided about the placement.
struct PlacementDecision {
    int Flags = 0;
    // The normal rectangle to apply, when the stored one passed the gates.
    std::optional<WindowPlacement> rect;
    WindowShow show = WindowShow::Normal;
    bool restoreToMaximized = false;
};

// Writes "Flags", "ShowCmd", "PixelsPerInch", then "MinMaxPos" and "NormPos",
// each under the screen-size key first and then the plain key.
void writePlacement(IniFile& ini, const std::string& section, const WindowPlacement& placement,
                    const ScreenInfo& screen);

// Reads the placement back. The stored rectangle is used only when a
// "MinMaxPos" or "NormPos" text was found (screen-size key first, then plain),
// it was stored at the current pixels per inch, and its left lies left of its
// right and its top above its bottom. Missing numbers of "NormPos" default to
// the current rectangle.
PlacementDecision readPlacement(const IniFile& ini, const std::string& section, const WindowPlacement& current,
                                const ScreenInfo& screen);

// Grid column widths: "Item0", "Item1", ... in the grid's own section.
void writeColumnWidths(IniFile& ini, const std::string& section, const std::vector<int>& widths);
// Each width read with the current one as default; a negative stored width is ignored.
void readColumnWidths(const IniFile& ini, const std::string& section, std::vector<int>& widths);

// The recent-files list: "Item_0", "User_0", ... most recent first, at most ten.
struct RecentEntry {
    std::string name; // Windows-1252
    int user = 1;
    bool operator==(const RecentEntry&) const = default;
};
inline constexpr int RecentFilesCapacity = 10;
// Erases the whole section, then writes the entries. A user value of 0 is
// stored by leaving its key out; names holding a line break cannot be stored
// and are left out.
void writeRecentFiles(IniFile& ini, const std::string& section, const std::vector<RecentEntry>& entries);
// Reads the entries from index 9 down to 0, each non-empty name put at the
// top, which rebuilds the stored order.
std::vector<RecentEntry> readRecentFiles(const IniFile& ini, const std::string& section);

// The stored print font: the seven properties of the platform's font record
// in the order they are stored.
enum class FontPitch { Default, Variable, Fixed };
struct FontStyle {
    bool bold = false, italic = false, underline = false, strikeOut = false;
    bool operator==(const FontStyle&) const = default;
};

struct StoredFont {
    int Charset = 1;     // 1: the default character set
    int Color = 0;       // 0x00BBGGRR; negative: a system colour
    int Height = -11;    // negative: character height in pixels
    std::string Name = "Arial";
    FontPitch Pitch = FontPitch::Default;
    int Size = 8;        // points
    FontStyle Style;

    // Size and height describe the same thing: setting one recomputes the
    // other at the given pixels per inch.
    void setSize(int points, int pixelsPerInch);
    void setHeight(int height, int pixelsPerInch);

    bool operator==(const StoredFont&) const = default;
};

const char* pitchName(FontPitch pitch);
std::optional<FontPitch> parsePitch(std::string_view text);
// "[fsBold,fsItalic]"; "[]" for a plain font.
std::string styleText(const FontStyle& style);
std::optional<FontStyle> parseStyle(std::string_view text);

// Keys prefix + "Charset", "Color", "Height", "Name", "Pitch", "Size", "Style",
// e.g. prefix "lblPrinterFont_Font".
void writeFont(IniFile& ini, const std::string& section, const std::string& prefix, const StoredFont& font);
// Each key read with the current value as default; texts that do not read
// (an unknown style name, a size below 1) leave that property as it was.
void readFont(const IniFile& ini, const std::string& section, const std::string& prefix, StoredFont& font,
              int pixelsPerInch);

// A window's form storage: the placement keys, then the components attached
// to it (grid widths, recent files) in the order they attached, then the
// stored properties. The window calls Restore() each time it is shown (not
// on the show that follows un-minimising, which Qt reports as spontaneous) and
// Save() when it closes; SaveOnDestroy() from its destructor covers a window
// that went without a close.
class FormStorage {
public:
    // One stored piece: how it writes itself and reads itself back.
    struct Piece {
        std::function<void(IniFile&)> save;
        std::function<void(const IniFile&)> restore;
    };

    FormStorage(QString iniPath, std::string section);

    const std::string& section() const { return sectionName; }
    IniFile& ini() { return file; }

    // The setup dialog's storage writes its placement but never applies it.
    bool applyPlacement = true;
    // Where the placement comes from and goes to; the screen it is on.
    std::function<WindowPlacement()> currentPlacement;
    std::function<void(const PlacementDecision&)> placeWindow;
    std::function<ScreenInfo()> screen;

    void attach(Piece component);
    void storeProperty(Piece property);

    // Returns false when the stored "FormVersion" is negative: nothing is
    // restored, and the window's layout is then never saved either.
    bool Restore();
    // Writes the layout, if it was restored since the last save, in one
    // write of the file. Raises FileError when that fails.
    void Save();
    // The save of a window destroyed without a close ("Visible" = 1). Never
    // raises; returns the failure message if the write failed.
    std::optional<std::string> SaveOnDestroy();

    bool restored() const { return wasRestored; }
    // Whether the last restore placed the window from the file; a window that
    // normally opens centred stays where the file put it.
    bool placedFromFile() const { return rectApplied; }

private:
    void save(bool destroying);

    IniFile file;
    std::string sectionName;
    std::vector<Piece> components;
    std::vector<Piece> properties;
    bool wasRestored = false;
    bool rectApplied = false;
};

} // namespace kr
