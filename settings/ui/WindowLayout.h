#pragma once
#include <QColor>
#include <QFont>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/FormStorage.h"

class QTableView;
class QWidget;

namespace kr {

// How Qt windows map onto the stored placement values:
// - NormPos is the window's normal (restored) geometry, QWidget::normalGeometry():
//   left, top, left + width, top + height (right and bottom just outside, as a
//   Windows RECT).
// - ShowCmd is 3 when maximised (or full screen), 2 when minimised, else 1;
//   Flags is 2 when a minimised window will come back maximised, else 0.
// - MinMaxPos has no Qt counterpart: written as -1,-1,-1,-1, read but unused.
// - PixelsPerInch is the screen's logical dots per inch, rounded; the
//   screen-size suffix uses the screen's full size in device-independent pixels.
WindowPlacement placementOf(const QWidget* window);
ScreenInfo screenOf(const QWidget* window);
// Applies a restore's decision: the rectangle (moved and shrunk to fit the
// work area of the screen it lands on; a window of fixed size is only moved),
// then the show state.
void applyPlacement(QWidget* window, const PlacementDecision& decision);
// Opens `window` beside `anchor` instead of over it (see besideArea), shrunk
// to the anchor's screen when it would not fit.
void placeBeside(QWidget* window, const QWidget* anchor);
// Gives `window` the wanted size, or less where its screen is smaller, centred
// over its parent window (or on the screen without one).
void resizeToFit(QWidget* window, const QSize& wanted);

// Grid column widths by column position: Item0 is the leftmost column shown.
std::vector<int> columnWidthsOf(const QTableView* grid);
void setColumnWidths(QTableView* grid, const std::vector<int>& widths);

// The stored font and Qt's. Character set and colour have no QFont
// counterpart: they stay as stored in the StoredFont.
QFont toQFont(const StoredFont& font);
StoredFont fromQFont(const QFont& font, const StoredFont& base, int pixelsPerInch);
QColor toQColor(int color);
int fromQColor(const QColor& color);

// A window's stored layout, wired to the window's widgets. The window calls
// Restore() at the start of its show handling (every show), Save() once its
// close is allowed, and SaveOnDestroy() from its destructor. A window that
// opens centred centres itself only when !placedFromFile(). Failures come
// back as the message to report; the window closes all the same.
class WindowLayout {
public:
    WindowLayout(QWidget* window, const QString& iniPath, std::string section);

    FormStorage& storage() { return store; }

    // The setup dialog writes its placement but never applies it.
    void setPlacementApplied(bool applied) { store.applyPlacement = applied; }
    // Tests and odd set-ups may fix the screen the layout sees.
    void setScreen(std::function<ScreenInfo()> screen) { store.screen = std::move(screen); }

    void attachColumnWidths(QTableView* grid, const std::string& section);
    void attachRecentFiles(const std::string& section, const std::function<std::vector<RecentEntry>()>& get,
                           const std::function<void(const std::vector<RecentEntry>&)>& set);
    // An integer property stored as component + "_" + property.
    void storeInteger(const std::string& component, const std::string& property, const std::function<int()>& get,
                      const std::function<void(int)>& set);
    // A font property stored as seven keys component + "_" + property + sub-property.
    void storeFont(const std::string& component, const std::string& property, const std::function<StoredFont()>& get,
                   const std::function<void(const StoredFont&)>& set);

    bool Restore() { return store.Restore(); }
    bool placedFromFile() const { return store.placedFromFile(); }
    std::optional<std::string> Save();
    std::optional<std::string> SaveOnDestroy() { return store.SaveOnDestroy(); }

private:
    QWidget* window;
    FormStorage store;
};

} // namespace kr
