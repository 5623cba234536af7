#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QMenuBar>
#include <QTableView>
#include <QtTest>

#include "library/ui/MeterSetup.h"
#include "mainwindow/DataGrid.h"
#include "mainwindow/Main.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;

// The main window and the library editor without the mouse.
class TestKeyboard : public QObject {
    Q_OBJECT
    test::ScriptedPrompts prompts;
    std::unique_ptr<TfmMain> main;
    QWidget* window(bool editor) { return editor ? static_cast<QWidget*>(main->MeterSetup()) : main.get(); }

private slots:
    void init()
    {
        test::programHome();
        main = std::make_unique<TfmMain>(TfmMain::Options{0, false, {}});
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    }

    // Each menu, and the bar, gives every entry a letter of its own; each
    // button that takes no focus has a menu entry, enabled as the button is.
    void everyCommandHasALetter_data()
    {
        QTest::addColumn<bool>("editor");
        QTest::addColumn<QStringList>("buttons");   // button, then its entry
        QTest::newRow("main window") << false
            << QStringList{"btnOpen", "Open1", "btnSave", "SaveAs1", "btnClipboard", "Clipboard1", "btnDownload",
                           "Download1", "btnSetup", "MeterList1", "btnClearKRM", "Erase1", "btnPrint", "Print1",
                           "btnGlance", "Glance1", "btnHelp", "Contents1"};
        QTest::newRow("library editor") << true
            << QStringList{"BtnLoad", "Open1", "BtnSave", "SaveAs1", "BtnReceive", "Receive1", "BtnSend", "Send1",
                           "BtnPrint", "Print1", "BtnExit", "Exit1", "BtnHelp", "Contents1", "btnAddItem", "Add1",
                           "btnRemoveItem", "Remove1"};
    }
    void everyCommandHasALetter()
    {
        QFETCH(bool, editor);
        QFETCH(QStringList, buttons);
        auto* bar = window(editor)->findChild<QMenuBar*>();
        QList<QList<QAction*>> menus{bar->actions()};
        for (QAction* m : bar->actions())
            menus << m->menu()->actions();
        QStringList inMenus;
        for (const auto& entries : menus) {
            QSet<QKeySequence> letters;
            for (QAction* a : entries) {
                const QKeySequence letter = QKeySequence::mnemonic(a->text());
                QVERIFY2(a->isSeparator() || (!letter.isEmpty() && !letters.contains(letter)), qPrintable(a->text()));
                letters << letter;
                inMenus << a->objectName();
            }
        }
        for (qsizetype i = 0; i < buttons.size(); i += 2) {
            auto* button = window(editor)->findChild<QAbstractButton*>(buttons[i]);
            auto* entry = window(editor)->findChild<QAction*>(buttons[i + 1]);
            QVERIFY2(button && entry && inMenus.contains(buttons[i + 1]), qPrintable(buttons[i]));
            QCOMPARE(entry->isEnabled(), button->isEnabled());
        }
    }

    // Tab moves on instead of typing a tab or going from cell to cell.
    void tabLeavesTheBox_data()
    {
        QTest::addColumn<bool>("editor");
        QTest::addColumn<QString>("name");
        QTest::newRow("user notes") << false << "memMemo";
        QTest::newRow("grid") << false << "dgData";
        QTest::newRow("library notes") << true << "memNotes";
    }
    void tabLeavesTheBox()
    {
        QFETCH(bool, editor);
        QFETCH(QString, name);
        QWidget* w = window(editor);
        w->setWindowModality(Qt::NonModal);
        w->show();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto* box = w->findChild<QWidget*>(name);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Tab);
        QVERIFY(!box->hasFocus());
    }

    // Texts are drawn by position: with a column dragged to the front, the
    // copy still follows what is drawn, left to right, rows by line feeds; a
    // tab in a text cannot split its cell.
    void ctrlCCopiesTheCellsAsDrawn()
    {
        test::fillSample(main->Document());
        main->Document().SetNote(1, 2, "a\tb");
        main->RefreshDocumentView();
        QTableView* grid = main->dgData;
        QHeaderView* header = grid->horizontalHeader();
        header->moveSection(header->visualIndex(5), 0);
        for (int row = 0; row < 2; ++row)
            for (int position : {0, 6})
                grid->selectionModel()->select(grid->model()->index(row, header->logicalIndex(position)),
                                               QItemSelectionModel::Select);
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        const auto drawn = [this](int row, int position) {
            return grid::cellText(main->Document(), 1, row, position, true);
        };
        QCOMPARE(QApplication::clipboard()->text(), drawn(1, 0) + "\t\n" + drawn(2, 0) + "\ta b");
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_Keyboard.moc"
