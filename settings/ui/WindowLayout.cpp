#include "settings/ui/WindowLayout.h"

#include "core/Cp1252.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QPalette>
#include <QScreen>
#include <QTableView>
#include <QWidget>
#include <cmath>

namespace kr {

namespace {

QScreen* screenFor(const QWidget* window)
{
    QScreen* s = window ? window->screen() : nullptr;
    return s ? s : QGuiApplication::primaryScreen();
}

Area areaOf(const QRect& r) { return Area{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

// The frame a window manager puts around `window`; before its first show a
// window has none yet, and takes the one around `like` as the best guess.
QMargins frameOf(const QWidget* window, const QWidget* like)
{
    const QRect f = window->frameGeometry();
    const QRect g = window->geometry();
    const QMargins m(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    return m.isNull() && like && like != window ? frameOf(like, nullptr) : m;
}

// Sets the window's frame to `frame`: its size without the frame, its position
// with it.
void setFrame(QWidget* window, const Area& frame, const QMargins& margins)
{
    window->resize(QSize(frame.width(), frame.height()).shrunkBy(margins));
    window->move(frame.left, frame.top);
}

std::vector<Area> workAreas()
{
    std::vector<Area> out;
    // The primary screen first: an unreachable window is brought back there.
    QList<QScreen*> screens = QGuiApplication::screens();
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        screens.removeAll(primary);
        screens.prepend(primary);
    }
    for (const QScreen* s : screens) {
        out.push_back(areaOf(s->availableGeometry()));
    }
    return out;
}

} // namespace

WindowPlacement placementOf(const QWidget* window)
{
    WindowPlacement p;
    QRect normal = window->normalGeometry();
    if (!normal.isValid())
        normal = window->geometry();
    p.Left = normal.x();
    p.Top = normal.y();
    p.Right = normal.x() + normal.width();
    p.Bottom = normal.y() + normal.height();
    const Qt::WindowStates state = window->windowState();
    const bool maximized = state & (Qt::WindowMaximized | Qt::WindowFullScreen);
    if (state & Qt::WindowMinimized) {
        p.ShowCmd = showCmdFrom(WindowShow::Minimized);
        p.Flags = maximized ? RestoreToMaximizedFlag : 0;
    } else {
        p.ShowCmd = showCmdFrom(maximized ? WindowShow::Maximized : WindowShow::Normal);
    }
    return p;
}

ScreenInfo screenOf(const QWidget* window)
{
    ScreenInfo info;
    if (const QScreen* s = screenFor(window)) {
        info.width = s->geometry().width();
        info.height = s->geometry().height();
        info.pixelsPerInch = int(std::lround(s->logicalDotsPerInch()));
    }
    return info;
}

void applyPlacement(QWidget* window, const PlacementDecision& d)
{
    if (d.rect) {
        const WindowPlacement& r = *d.rect;
        // The frame too must fit, or the title bar could lie out of reach.
        const QMargins m = frameOf(window, nullptr);
        const Area a = fitOnScreens(Area{r.Left - m.left(), r.Top - m.top(), r.Right + m.right(), r.Bottom + m.bottom()},
                                    workAreas());
        const QRect inside(a.left + m.left(), a.top + m.top(), a.width() - m.left() - m.right(),
                           a.height() - m.top() - m.bottom());
        const bool fixedSize = window->minimumSize() == window->maximumSize();
        if (fixedSize)
            window->move(a.left, a.top);
        else
            window->setGeometry(inside);
    }
    Qt::WindowStates state = window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    switch (d.show) {
    case WindowShow::Minimized:
        state |= Qt::WindowMinimized;
        if (d.restoreToMaximized)
            state |= Qt::WindowMaximized;
        break;
    case WindowShow::Maximized:
        state |= Qt::WindowMaximized;
        break;
    case WindowShow::Normal:
        break;
    }
    if (state != window->windowState())
        window->setWindowState(state);
}

void placeBeside(QWidget* window, const QWidget* anchor)
{
    const QScreen* s = screenFor(anchor);
    if (!s)
        return;
    const QMargins margins = frameOf(window, anchor);
    const QSize wanted = window->size().grownBy(margins);
    setFrame(window, besideArea(areaOf(anchor->frameGeometry()), wanted.width(), wanted.height(),
                                areaOf(s->availableGeometry())),
             margins);
}

void resizeToFit(QWidget* window, const QSize& wanted)
{
    const QWidget* parent = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    const QScreen* s = screenFor(parent ? parent : window);
    if (!s)
        return;
    const QMargins margins = frameOf(window, parent);
    QRect frame(QPoint(), wanted.grownBy(margins));
    frame.moveCenter(parent && parent->isVisible() ? parent->frameGeometry().center()
                                                   : s->availableGeometry().center());
    setFrame(window, fitToArea(areaOf(frame), areaOf(s->availableGeometry())), margins);
}

std::vector<int> columnWidthsOf(const QTableView* grid)
{
    const QHeaderView* header = grid->horizontalHeader();
    std::vector<int> widths;
    for (int visual = 0; visual < header->count(); ++visual)
        widths.push_back(header->sectionSize(header->logicalIndex(visual)));
    return widths;
}

void setColumnWidths(QTableView* grid, const std::vector<int>& widths)
{
    QHeaderView* header = grid->horizontalHeader();
    // Stored widths apply as they are, even below the style's usual minimum.
    for (size_t i = 0; i < widths.size() && int(i) < header->count(); ++i)
        if (widths[i] >= 0 && widths[i] < header->minimumSectionSize())
            header->setMinimumSectionSize(widths[i]);
    for (int visual = 0; visual < header->count() && size_t(visual) < widths.size(); ++visual)
        header->resizeSection(header->logicalIndex(visual), widths[size_t(visual)]);
}

QFont toQFont(const StoredFont& f)
{
    QFont font(QString::fromStdString(cp1252ToUtf8(f.Name)));
    if (f.Size >= 1)
        font.setPointSize(f.Size);
    font.setBold(f.Style.bold);
    font.setItalic(f.Style.italic);
    font.setUnderline(f.Style.underline);
    font.setStrikeOut(f.Style.strikeOut);
    if (f.Pitch == FontPitch::Fixed) {
        font.setFixedPitch(true);
        font.setStyleHint(QFont::TypeWriter);
    } else if (f.Pitch == FontPitch::Variable) {
        font.setFixedPitch(false);
    }
    return font;
}

StoredFont fromQFont(const QFont& font, const StoredFont& base, int pixelsPerInch)
{
    StoredFont f = base;
    f.Name = utf8ToCp1252(font.family().toStdString());
    if (font.pointSizeF() > 0)
        f.setSize(int(std::lround(font.pointSizeF())), pixelsPerInch);
    else if (font.pixelSize() > 0)
        f.setHeight(-font.pixelSize(), pixelsPerInch);
    f.Style.bold = font.bold();
    f.Style.italic = font.italic();
    f.Style.underline = font.underline();
    f.Style.strikeOut = font.strikeOut();
    return f;
}

QColor toQColor(int color)
{
    // Negative values name system colours; for a font that is the text colour.
    if (color < 0)
        return QGuiApplication::palette().color(QPalette::WindowText);
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

int fromQColor(const QColor& color) { return color.red() | (color.green() << 8) | (color.blue() << 16); }

WindowLayout::WindowLayout(QWidget* w, const QString& iniPath, std::string section)
    : window(w), store(iniPath, std::move(section))
{
    store.currentPlacement = [this] { return placementOf(window); };
    store.placeWindow = [this](const PlacementDecision& d) { applyPlacement(window, d); };
    store.screen = [this] { return screenOf(window); };
}

void WindowLayout::attachColumnWidths(QTableView* grid, const std::string& section)
{
    store.attach(FormStorage::Piece{
        [grid, section](IniFile& ini) { writeColumnWidths(ini, section, columnWidthsOf(grid)); },
        [grid, section](const IniFile& ini) {
            std::vector<int> widths = columnWidthsOf(grid);
            readColumnWidths(ini, section, widths);
            setColumnWidths(grid, widths);
        }});
}

void WindowLayout::attachRecentFiles(const std::string& section, const std::function<std::vector<RecentEntry>()>& get,
                                     const std::function<void(const std::vector<RecentEntry>&)>& set)
{
    store.attach(FormStorage::Piece{
        [section, get](IniFile& ini) { writeRecentFiles(ini, section, get()); },
        [section, set](const IniFile& ini) { set(readRecentFiles(ini, section)); }});
}

void WindowLayout::storeInteger(const std::string& component, const std::string& property, const std::function<int()>& get,
                                const std::function<void(int)>& set)
{
    const std::string key = component + "_" + property;
    store.storeProperty(FormStorage::Piece{
        [this, key, get](IniFile& ini) { ini.writeInteger(store.section(), key, get()); },
        [this, key, get, set](const IniFile& ini) { set(ini.readInteger(store.section(), key, get())); }});
}

void WindowLayout::storeFont(const std::string& component, const std::string& property,
                             const std::function<StoredFont()>& get, const std::function<void(const StoredFont&)>& set)
{
    const std::string prefix = component + "_" + property;
    store.storeProperty(FormStorage::Piece{
        [this, prefix, get](IniFile& ini) { writeFont(ini, store.section(), prefix, get()); },
        [this, prefix, get, set](const IniFile& ini) {
            StoredFont f = get();
            const ScreenInfo s = store.screen ? store.screen() : ScreenInfo{};
            readFont(ini, store.section(), prefix, f, s.pixelsPerInch);
            set(f);
        }});
}

std::optional<std::string> WindowLayout::Save()
{
    try {
        store.Save();
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

} // namespace kr
