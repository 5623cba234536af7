#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTableView>
#include <QtTest>

#include "library/ui/MeterSetup.h"
#include "mainwindow/DataGrid.h"
#include "mainwindow/Main.h"
#include "settings/Appglob.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;

namespace {

// The access letter of a caption ("Save &As..." gives 'a'), or none.
QChar accessLetter(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption.at(i) != QLatin1Char('&'))
            continue;
        if (caption.at(i + 1) != QLatin1Char('&'))
            return caption.at(i + 1).toLower();
        ++i;
    }
    return {};
}

// Every menu of the bar with its entries' captions, and the bar itself.
QList<QPair<QString, QStringList>> menusOf(QWidget* window)
{
    QList<QPair<QString, QStringList>> menus;
    QStringList titles;
    for (QAction* m : window->findChild<QMenuBar*>()->actions()) {
        titles << m->text();
        QStringList entries;
        for (QAction* a : m->menu()->actions())
            if (!a->isSeparator())
                entries << a->text();
        menus.append({m->text(), entries});
    }
    menus.prepend({QStringLiteral("menu bar"), titles});
    return menus;
}

} // namespace

class TestKeyboard : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(test::programHome().isValid()); }
    void init()
    {
        prompts = std::make_unique<test::ScriptedPrompts>();
        TfmMain::Options o;
        o.openPort = false;
        window = std::make_unique<TfmMain>(o);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup()
    {
        window->Document().ClearModified();
        window.reset();
        prompts.reset();
    }

    void everyMenuEntryHasItsOwnLetter_data();
    void everyMenuEntryHasItsOwnLetter();
    void everyButtonHasAMenuEntry_data();
    void everyButtonHasAMenuEntry();
    void tabLeavesTheBox_data();
    void tabLeavesTheBox();
    void copiedCells_data();
    void copiedCells();
    void ctrlCCopiesTheChosenCellsAsDrawn();

private:
    TfmMeterSetup* editor() { return window->MeterSetup(); }

    std::unique_ptr<test::ScriptedPrompts> prompts;
    std::unique_ptr<TfmMain> window;
};

void TestKeyboard::everyMenuEntryHasItsOwnLetter_data()
{
    QTest::addColumn<bool>("inEditor");
    QTest::newRow("main window") << false;
    QTest::newRow("library editor") << true;
}

// The recent files carry their numbers as letters and are left out.
void TestKeyboard::everyMenuEntryHasItsOwnLetter()
{
    QFETCH(bool, inEditor);
    QWidget* w = inEditor ? static_cast<QWidget*>(editor()) : window.get();
    for (const auto& [menu, captions] : menusOf(w)) {
        QSet<QChar> seen;
        for (const QString& caption : captions) {
            const QChar letter = accessLetter(caption);
            QVERIFY2(!letter.isNull(), qPrintable(menu + ": " + caption + " has no access letter"));
            QVERIFY2(!seen.contains(letter), qPrintable(menu + ": " + caption + " shares its letter"));
            seen.insert(letter);
        }
    }
}

// A button that takes no focus is reached by a menu entry running the same
// command; the entry is enabled while the button is.
void TestKeyboard::everyButtonHasAMenuEntry_data()
{
    QTest::addColumn<bool>("inEditor");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("entry");
    const QList<std::array<const char*, 2>> main = {
        {"btnOpen", "Open1"},        {"btnSave", "SaveAs1"},      {"btnClipboard", "Clipboard1"},
        {"btnDownload", "Download1"}, {"btnSetup", "MeterList1"}, {"btnClearKRM", "Erase1"},
        {"btnPrint", "Print1"},      {"btnGlance", "Glance1"},    {"btnHelp", "Contents1"},
    };
    for (const auto& [button, entry] : main)
        QTest::newRow(button) << false << button << entry;
    const QList<std::array<const char*, 2>> library = {
        {"BtnLoad", "Open1"},    {"BtnSave", "SaveAs1"},   {"BtnReceive", "Receive1"},       {"BtnSend", "Send1"},
        {"BtnPrint", "Print1"},  {"BtnExit", "Exit1"},     {"BtnHelp", "Contents1"},         {"btnAddItem", "Add1"},
        {"btnRemoveItem", "Remove1"},
    };
    for (const auto& [button, entry] : library)
        QTest::newRow(button) << true << button << entry;
}

void TestKeyboard::everyButtonHasAMenuEntry()
{
    QFETCH(bool, inEditor);
    QFETCH(QString, button);
    QFETCH(QString, entry);
    QWidget* w = inEditor ? static_cast<QWidget*>(editor()) : window.get();
    auto* b = w->findChild<QAbstractButton*>(button);
    QVERIFY(b);
    QAction* action = nullptr;
    for (QMenu* m : w->findChild<QMenuBar*>()->findChildren<QMenu*>())
        for (QAction* a : m->actions())
            if (a->objectName() == entry)
                action = a;
    QVERIFY2(action, qPrintable(entry + " is in no menu"));
    QVERIFY(!accessLetter(action->text()).isNull());
    QCOMPARE(action->isEnabled(), b->isEnabled());
}

// Tab moves on to the next control instead of typing a tab or moving from
// cell to cell; the box keeps its text.
void TestKeyboard::tabLeavesTheBox_data()
{
    QTest::addColumn<bool>("inEditor");
    QTest::addColumn<QString>("name");
    QTest::newRow("user notes") << false << "memMemo";
    QTest::newRow("grid") << false << "dgData";
    QTest::newRow("library notes") << true << "memNotes";
}

void TestKeyboard::tabLeavesTheBox()
{
    QFETCH(bool, inEditor);
    QFETCH(QString, name);
    QWidget* w = inEditor ? static_cast<QWidget*>(editor()) : window.get();
    if (inEditor) {
        editor()->setModal(false);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto* box = w->findChild<QWidget*>(name);
    QVERIFY(box);
    box->setFocus(Qt::OtherFocusReason);
    QVERIFY(box->hasFocus());
    QTest::keyClick(box, Qt::Key_Tab);
    QVERIFY2(!box->hasFocus(), qPrintable(name + " kept the focus"));
    if (auto* text = qobject_cast<QPlainTextEdit*>(box))
        QVERIFY(text->toPlainText().isEmpty());
    if (inEditor)
        w->hide();
}

void TestKeyboard::copiedCells_data()
{
    QTest::addColumn<QList<QPoint>>("cells");   // x: row, y: position
    QTest::addColumn<QString>("expected");
    QTest::newRow("one cell") << QList<QPoint>{{2, 3}} << "r2p3";
    QTest::newRow("rows and columns in any order")
        << QList<QPoint>{{3, 5}, {2, 5}, {3, 1}, {2, 1}} << "r2p1\tr2p5\nr3p1\tr3p5";
    QTest::newRow("a gap stays an empty cell") << QList<QPoint>{{1, 1}, {1, 2}, {2, 2}} << "r1p1\tr1p2\n\tr2p2";
    QTest::newRow("tabs and line breaks in a text") << QList<QPoint>{{4, 6}, {4, 0}} << "r4p0\ta b c";
}

void TestKeyboard::copiedCells()
{
    QFETCH(QList<QPoint>, cells);
    QFETCH(QString, expected);
    std::vector<grid::CellAt> at;
    for (const QPoint& c : cells)
        at.push_back({c.x(), c.y()});
    const QString text = grid::cellsText(at, [](int row, int position) {
        return position == 6 ? QStringLiteral("a\tb\nc") : QStringLiteral("r%1p%2").arg(row).arg(position);
    });
    QCOMPARE(text, expected);
}

// The grid draws its texts by position, so with a column dragged to the
// front the copy still follows what is drawn, left to right.
void TestKeyboard::ctrlCCopiesTheChosenCellsAsDrawn()
{
    test::fillSample(window->Document());
    window->RefreshDocumentView();
    QTableView* grid = window->dgData;
    QHeaderView* header = grid->horizontalHeader();
    header->moveSection(header->visualIndex(5), 0);
    for (int row = 0; row < 2; ++row)
        for (int position = 0; position < 2; ++position)
            grid->selectionModel()->select(grid->model()->index(row, header->logicalIndex(position)),
                                           QItemSelectionModel::Select);
    grid->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    const auto drawn = [this](int row, int position) {
        return grid::cellText(window->Document(), 1, row, position, true);
    };
    QCOMPARE(QApplication::clipboard()->text(),
             drawn(1, 0) + "\t" + drawn(1, 1) + "\n" + drawn(2, 0) + "\t" + drawn(2, 1));
}

QTEST_MAIN(TestKeyboard)
#include "tst_Keyboard.moc"
