#include "settings/FormStorage.h"

#include <algorithm>
#include <cmath>

namespace kr {

namespace {

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool sameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return low(x) == low(y);
           });
}

// Multiplies then divides with rounding to nearest, as the platform's MulDiv.
int mulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const double r = std::round(double(number) * double(numerator) / double(denominator));
    if (r > 2147483647.0 || r < -2147483648.0)
        return -1;
    return int(r);
}

// Reads a placement text under the screen-size key, then under the plain key.
std::optional<std::string> readSized(const IniFile& ini, const std::string& section, const std::string& key,
                                     const std::string& suffix)
{
    if (auto v = ini.read(section, key + suffix))
        return v;
    return ini.read(section, key);
}

// The largest size the font dialogs offer; anything above is a damaged value.
constexpr int MaxFontSize = 1638;

constexpr const char* styleNames[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};

bool* styleFlag(FontStyle& s, int i)
{
    switch (i) {
    case 0:
        return &s.bold;
    case 1:
        return &s.italic;
    case 2:
        return &s.underline;
    default:
        return &s.strikeOut;
    }
}

} // namespace

WindowShow showFromShowCmd(int showCmd)
{
    switch (showCmd) {
    case 2:
    case 6:
    case 7:
        return WindowShow::Minimized;
    case 3:
        return WindowShow::Maximized;
    default:
        return WindowShow::Normal;
    }
}

int showCmdFrom(WindowShow show)
{
    switch (show) {
    case WindowShow::Minimized:
        return 2;
    case WindowShow::Maximized:
        return 3;
    case WindowShow::Normal:
        break;
    }
    return 1;
}

std::string screenSizeSuffix(const ScreenInfo& screen)
{
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on
    // "literal" + std::string.
    std::string suffix = "(";
    suffix += std::to_string(screen.width);
    suffix += 'x';
    suffix += std::to_string(screen.height);
    suffix += ')';
    return suffix;
}

std::string formatFour(int a, int b, int c, int d)
{
    return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c) + "," + std::to_string(d);
}

std::array<int, 4> parseFour(std::string_view text, const std::array<int, 4>& defaults)
{
    std::array<int, 4> out = defaults;
    for (size_t i = 0; i < 4 && !text.empty(); ++i) {
        const size_t comma = text.find(',');
        const std::string_view part = trimmed(text.substr(0, comma));
        if (const auto n = profile::parseInteger(part))
            out[i] = *n;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return out;
}

void writePlacement(IniFile& ini, const std::string& section, const WindowPlacement& p, const ScreenInfo& screen)
{
    const std::string suffix = screenSizeSuffix(screen);
    const std::string minMax = formatFour(p.MinX, p.MinY, p.MaxX, p.MaxY);
    const std::string norm = formatFour(p.Left, p.Top, p.Right, p.Bottom);
    ini.writeInteger(section, "Flags", p.Flags);
    ini.writeInteger(section, "ShowCmd", p.ShowCmd);
    ini.writeInteger(section, "PixelsPerInch", screen.pixelsPerInch);
    ini.writeString(section, "MinMaxPos" + suffix, minMax);
    ini.writeString(section, "MinMaxPos", minMax);
    ini.writeString(section, "NormPos" + suffix, norm);
    ini.writeString(section, "NormPos", norm);
}

PlacementDecision readPlacement(const IniFile& ini, const std::string& section, const WindowPlacement& current,
                                const ScreenInfo& screen)
{
    PlacementDecision d;
    d.Flags = ini.readInteger(section, "Flags", current.Flags);
    const std::string suffix = screenSizeSuffix(screen);
    const auto minMax = readSized(ini, section, "MinMaxPos", suffix);
    const auto norm = readSized(ini, section, "NormPos", suffix);
    const int ppi = ini.readInteger(section, "PixelsPerInch", screen.pixelsPerInch);
    if ((minMax || norm) && ppi == screen.pixelsPerInch) {
        WindowPlacement p = current;
        p.Flags = d.Flags;
        if (minMax) {
            const auto mm = parseFour(*minMax, {current.MinX, current.MinY, current.MaxX, current.MaxY});
            p.MinX = mm[0];
            p.MinY = mm[1];
            p.MaxX = mm[2];
            p.MaxY = mm[3];
        }
        if (norm) {
            const auto r = parseFour(*norm, {current.Left, current.Top, current.Right, current.Bottom});
            p.Left = r[0];
            p.Top = r[1];
            p.Right = r[2];
            p.Bottom = r[3];
        }
        // A rectangle with no width or no height would leave a window that
        // cannot be seen or grabbed.
        if (p.Left < p.Right && p.Top < p.Bottom)
            d.rect = p;
    }
    d.show = showFromShowCmd(ini.readInteger(section, "ShowCmd", 0));
    d.restoreToMaximized = (d.Flags & RestoreToMaximizedFlag) != 0;
    return d;
}

void writeColumnWidths(IniFile& ini, const std::string& section, const std::vector<int>& widths)
{
    for (size_t i = 0; i < widths.size(); ++i)
        ini.writeInteger(section, "Item" + std::to_string(i), widths[i]);
}

void readColumnWidths(const IniFile& ini, const std::string& section, std::vector<int>& widths)
{
    for (size_t i = 0; i < widths.size(); ++i) {
        const int w = ini.readInteger(section, "Item" + std::to_string(i), widths[i]);
        if (w >= 0)
            widths[i] = w;
    }
}

void writeRecentFiles(IniFile& ini, const std::string& section, const std::vector<RecentEntry>& entries)
{
    ini.eraseSection(section);
    int index = 0;
    for (const RecentEntry& e : entries) {
        if (index >= RecentFilesCapacity)
            break;
        if (e.name.empty() || e.name.find_first_of("\r\n") != std::string::npos
            || e.name.find('\0') != std::string::npos)
            continue;
        const std::string n = std::to_string(index++);
        ini.writeString(section, "Item_" + n, profile::quoteIfEnclosed(e.name));
        if (e.user != 0)
            ini.writeInteger(section, "User_" + n, e.user);
    }
}

std::vector<RecentEntry> readRecentFiles(const IniFile& ini, const std::string& section)
{
    std::vector<RecentEntry> out;
    for (int i = RecentFilesCapacity - 1; i >= 0; --i) {
        const std::string n = std::to_string(i);
        const std::string name = ini.readString(section, "Item_" + n, "");
        const int user = ini.readInteger(section, "User_" + n, 0);
        if (!name.empty())
            out.insert(out.begin(), RecentEntry{name, user});
    }
    return out;
}

void StoredFont::setSize(int points, int pixelsPerInch)
{
    Size = points;
    Height = -mulDiv(points, pixelsPerInch, 72);
}

void StoredFont::setHeight(int height, int pixelsPerInch)
{
    Height = height;
    Size = mulDiv(height < 0 ? -height : height, 72, pixelsPerInch);
}

const char* pitchName(FontPitch pitch)
{
    switch (pitch) {
    case FontPitch::Variable:
        return "fpVariable";
    case FontPitch::Fixed:
        return "fpFixed";
    case FontPitch::Default:
        break;
    }
    return "fpDefault";
}

std::optional<FontPitch> parsePitch(std::string_view text)
{
    text = trimmed(text);
    for (FontPitch p : {FontPitch::Default, FontPitch::Variable, FontPitch::Fixed})
        if (sameText(text, pitchName(p)))
            return p;
    return std::nullopt;
}

std::string styleText(const FontStyle& style)
{
    FontStyle s = style;
    std::string out = "[";
    for (int i = 0; i < 4; ++i) {
        if (!*styleFlag(s, i))
            continue;
        if (out.size() > 1)
            out += ',';
        out += styleNames[i];
    }
    return out + "]";
}

std::optional<FontStyle> parseStyle(std::string_view text)
{
    text = trimmed(text);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']')
        return std::nullopt;
    text = trimmed(text.substr(1, text.size() - 2));
    FontStyle style;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view name = trimmed(text.substr(0, comma));
        bool known = false;
        for (int i = 0; i < 4; ++i)
            if (sameText(name, styleNames[i]))
                *styleFlag(style, i) = known = true;
        if (!known)
            return std::nullopt;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return style;
}

void writeFont(IniFile& ini, const std::string& section, const std::string& prefix, const StoredFont& font)
{
    ini.writeInteger(section, prefix + "Charset", font.Charset);
    ini.writeInteger(section, prefix + "Color", font.Color);
    ini.writeInteger(section, prefix + "Height", font.Height);
    ini.writeString(section, prefix + "Name", profile::quoteIfEnclosed(font.Name));
    ini.writeString(section, prefix + "Pitch", pitchName(font.Pitch));
    ini.writeInteger(section, prefix + "Size", font.Size);
    ini.writeString(section, prefix + "Style", styleText(font.Style));
}

void readFont(const IniFile& ini, const std::string& section, const std::string& prefix, StoredFont& font,
              int pixelsPerInch)
{
    font.Charset = ini.readInteger(section, prefix + "Charset", font.Charset);
    font.Color = ini.readInteger(section, prefix + "Color", font.Color);
    const int height = ini.readInteger(section, prefix + "Height", font.Height);
    if (height != 0 && height != font.Height) {
        StoredFont probe = font;
        probe.setHeight(height, pixelsPerInch);
        if (probe.Size >= 1 && probe.Size <= MaxFontSize)
            font = probe;
    }
    const std::string name = ini.readString(section, prefix + "Name", font.Name);
    if (!name.empty())
        font.Name = name;
    if (const auto pitch = parsePitch(ini.readString(section, prefix + "Pitch", pitchName(font.Pitch))))
        font.Pitch = *pitch;
    // The size comes after the height and wins over it, as when the
    // properties are assigned in their stored order.
    const int size = ini.readInteger(section, prefix + "Size", font.Size);
    if (size >= 1 && size <= MaxFontSize && size != font.Size)
        font.setSize(size, pixelsPerInch);
    if (const auto style = parseStyle(ini.readString(section, prefix + "Style", styleText(font.Style))))
        font.Style = *style;
}

FormStorage::FormStorage(QString iniPath, std::string section) : file(std::move(iniPath)), sectionName(std::move(section))
{
}

void FormStorage::attach(Piece component) { components.push_back(std::move(component)); }

void FormStorage::storeProperty(Piece property) { properties.push_back(std::move(property)); }

bool FormStorage::Restore()
{
    if (file.readInteger(sectionName, "FormVersion", 0) < 0)
        return false;
    rectApplied = false;
    if (applyPlacement && currentPlacement && placeWindow) {
        const ScreenInfo s = screen ? screen() : ScreenInfo{};
        const PlacementDecision d = readPlacement(file, sectionName, currentPlacement(), s);
        rectApplied = d.rect.has_value();
        placeWindow(d);
    }
    for (const Piece& c : components)
        if (c.restore)
            c.restore(file);
    for (const Piece& p : properties)
        if (p.restore)
            p.restore(file);
    wasRestored = true;
    return true;
}

void FormStorage::Save() { save(false); }

std::optional<std::string> FormStorage::SaveOnDestroy()
{
    try {
        save(true);
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

void FormStorage::save(bool destroying)
{
    if (!wasRestored)
        return;
    // Whatever happens below, this layout has had its one save.
    wasRestored = false;
    // One write: the recent files are erased and written again, and a
    // failing disk must not keep only the erasing.
    file.writeTogether([&] {
        file.writeInteger(sectionName, "FormVersion", 0);
        const WindowPlacement p = currentPlacement ? currentPlacement() : WindowPlacement{};
        writePlacement(file, sectionName, p, screen ? screen() : ScreenInfo{});
        file.writeBool(sectionName, "Visible", destroying);
        for (const Piece& c : components)
            if (c.save)
                c.save(file);
        for (const Piece& p2 : properties)
            if (p2.save)
                p2.save(file);
    });
}

} // namespace kr
