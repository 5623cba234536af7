#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "core/Regional.h"
#include "library/ItemObj.h"
#include "library/List.h"
#include "library/ui/MeterSetup.h"
#include "settings/Appglob.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/TestFiles.h"

using namespace kr;
using namespace kr::test;

namespace {

// One catalogue line in the file's fixed columns.
std::string line(const char* code, const char* name, const char* sg, const char* group)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "%-8s%-16s%-32s%-8s%-16s", code, name, name, sg, group);
    return std::string(buf) + "\r\n";
}

std::string catalogueText()
{
    std::string text = line("HW000001", "Red Oak", "0.56", "Hardwoods") + line("HW000002", "Ash", "0.55", "Hardwoods") +
                       line("SW000001", "Pine", "0.42", "Softwoods") + line("HW000003", "Red Oak", "0.63", "Hardwoods");
    for (int i = 0; i < 30; ++i)
        text += line(("XX0000" + std::to_string(10 + i)).c_str(), ("Filler " + std::to_string(10 + i)).c_str(), "0.50",
                     "Others");
    return text;
}

QStringList rows(const QListWidget* box)
{
    QStringList names;
    for (int i = 0; i < box->count(); ++i)
        names << box->item(i)->text();
    return names;
}

// A double click as a mouse makes it: a click, then the double click.
void doubleClick(QListWidget* box, int row)
{
    const QPoint at = box->visualItemRect(box->item(row)).center();
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

// The library list editor driven as a user drives it: clicks, double clicks
// and the file commands, with scripted answers to its questions.
class TestMeterSetup : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        setRegional(RegionalSettings{});
        catalogue = std::make_unique<TFactorCatalogue>();
        catalogue->LoadFromText(catalogueText());
        list = std::make_unique<TLibraryList>(*catalogue);
        window = std::make_unique<TfmMeterSetup>(*list, TMeterSetupHooks{});
        prompts = std::make_unique<ScriptedPrompts>();
    }
    void cleanup()
    {
        window.reset();
        prompts.reset();
        if (qEnvironmentVariableIsSet("KR_HOME")) {
            qunsetenv("KR_HOME");
            InitAppglob();
        }
    }

    void addKeepsNameOrderAndWarns()
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents();
        doubleClick(window->lbAvailable, 0);
        window->lbAvailable->setCurrentRow(1);
        QTest::mouseClick(window->btnAddItem, Qt::LeftButton);
        QCOMPARE(rows(window->lbSelected).join(","), QStringLiteral("Ash,Red Oak"));
        // A second item of the same name goes after the first.
        window->lbAvailable->setCurrentRow(3);
        window->AddSelectedItem();
        QCOMPARE(list->Selected(), (std::vector<std::string>{"HW000002", "HW000001", "HW000003"}));
        QCOMPARE(window->lblItemCount->text(), QStringLiteral("3 items"));
        QVERIFY(list->IsChanged());

        window->lbAvailable->setCurrentRow(1);
        window->AddSelectedItem();
        window->lbAvailable->clearSelection();
        window->AddSelectedItem();
        for (int row = 4; row < 33; ++row) {
            window->lbAvailable->setCurrentRow(row);
            window->AddSelectedItem();
        }
        QCOMPARE(list->Selected().size(), std::size_t(31));
        const QList<MessageRequest> told = prompts->messages();
        QCOMPARE(told.size(), 3);
        QCOMPARE(told[0].text, QStringLiteral("This item has already been added."));
        QCOMPARE(told[0].helpTopic, 9002);
        QCOMPARE(told[1].text, QStringLiteral("You have not selected an item to copy to the list."));
        QCOMPARE(told[1].helpTopic, 9003);
        QCOMPARE(told[2].text,
                 QStringLiteral("The list is full.  There is a limit of 31 items that can be add to the meter."));
        QCOMPARE(told[2].helpTopic, 9001);
        QCOMPARE(told[2].buttons, MsgButtons(mbOK | mbHelp));

        doubleClick(window->lbSelected, 0);
        QCOMPARE(list->Selected().size(), std::size_t(30));
        QCOMPARE(list->Selected().front(), std::string("XX000010"));
    }

    void groupChooserFiltersTheCatalogue()
    {
        QStringList groups;
        for (int i = 0; i < window->cbGroups->count(); ++i)
            groups << window->cbGroups->itemText(i).trimmed();
        QCOMPARE(groups, (QStringList{"All", "Hardwoods", "Softwoods", "Others"}));
        QCOMPARE(window->cbGroups->currentText(), QStringLiteral("All"));
        // Groups are compared exactly, padding included, as the catalogue holds them.
        window->cbGroups->setCurrentIndex(2);
        QCOMPARE(rows(window->lbAvailable), QStringList{"Pine"});
        window->cbGroups->setEditText(QStringLiteral("Nothing"));
        QCOMPARE(window->lbAvailable->count(), 0);
        // Species a download added show under "All", which is not among the groups.
        TItem added;
        added.SetCode(catalogue->NextAddedCode());
        added.SetName("Teak");
        added.SetGroup(TFactorCatalogue::AddedGroup);
        catalogue->Append(added);
        window->cbGroups->setEditText(QStringLiteral("All"));
        QCOMPARE(rows(window->lbAvailable).last(), QStringLiteral("Teak"));
        QCOMPARE(window->cbGroups->findText(QStringLiteral("Added")), -1);
    }

    void unknownCodeShowsItselfAndIsKept()
    {
        list->ReplaceSelected({"HW000002", "ZZ999999"});
        window->Refresh();
        QCOMPARE(rows(window->lbSelected), (QStringList{"Ash", "ZZ999999 (not in the catalogue)"}));
    }

    void fileCommandsAskAsTheTableSays()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("mine.lst"));
        // Save with no file yet is Save As.
        list->ReplaceSelected({"HW000002"});
        window->memNotes->setPlainText(QStringLiteral("first\nsecond"));
        prompts->answerSave(path);
        window->Save1->trigger();
        QCOMPARE(prompts->asked().last().file.title, QStringLiteral("Save KR Library List"));
        QCOMPARE(prompts->asked().last().file.fileName, QStringLiteral("*.lst"));
        QCOMPARE(shownTitle(*window), QStringLiteral("Library Edit  [") + path + QLatin1Char(']'));
        QVERIFY(!list->IsChanged());
        QCOMPARE(readFile(path), QByteArray("HW000002\r\n") + QByteArray(30, '\0').replace('\0', "\r\n") +
                                     "first\r\nsecond\r\n");

        // Named and changed: New asks Yes/No/Help; No clears.
        window->memNotes->appendPlainText(QStringLiteral("third"));
        QCOMPARE(shownTitle(*window), QStringLiteral("Library Edit  [") + path + QStringLiteral("]*"));
        prompts->answer(mbNo);
        window->New1->trigger();
        QCOMPARE(prompts->messages().last().text,
                 QStringLiteral("Do you wish to save the changes to \n\r") + path + QLatin1Char('?'));
        QCOMPARE(prompts->messages().last().buttons, MsgButtons(mbYes | mbNo | mbHelp));
        QCOMPARE(prompts->messages().last().helpTopic, 9004);
        QCOMPARE(shownTitle(*window), QStringLiteral("Library Edit"));
        QVERIFY(list->Selected().empty());
        QVERIFY(window->memNotes->toPlainText().isEmpty());

        // Unnamed and changed: closing asks Yes/No/Cancel/Help; Cancel keeps it open.
        window->show();
        list->ReplaceSelected({"SW000001"});
        list->SetChanged();
        prompts->answer(mbCancel);
        QVERIFY(!window->close());
        QCOMPARE(prompts->messages().last().text, QStringLiteral("Do you wish to save these changes?"));
        // Open after answering No: the saved file comes back.
        prompts->answer(mbNo);
        prompts->answerOpen(path);
        QTest::mouseClick(window->BtnLoad, Qt::LeftButton);
        QCOMPARE(list->Selected(), std::vector<std::string>{"HW000002"});
        QCOMPARE(window->memNotes->toPlainText(), QStringLiteral("first\nsecond"));
        QVERIFY(window->close());
        QCOMPARE(prompts->unexpected(), 0);
    }

    void saveAsRefusesTheProgramsOwnFiles()
    {
        QTemporaryDir home;
        qputenv("KR_HOME", home.path().toUtf8());   // undone by cleanup()
        InitAppglob();
        const QString ini = home.filePath(QStringLiteral("kr.ini"));
        QVERIFY(writeFile(ini, "[General]\r\n"));
        list->SetChanged();
        prompts->answerSave(ini);
        window->SaveAs1->trigger();
        QCOMPARE(prompts->messageTexts(),
                 QStringList{ini + " is one of the program's own files (kr.ini); nothing was written."});
        QCOMPARE(readFile(ini), QByteArray("[General]\r\n"));
        QVERIFY(list->IsChanged());
    }

    void showingResetsAndReadsTheMeter()
    {
        int resets = 0;
        window->Hooks().resetWallRoof = [&] { ++resets; };
        window->Hooks().meterAnswer = [] { return TSerialOutcome::Found; };
        window->Hooks().receive = [] { return std::optional<std::vector<std::string>>({"SW000001", "HW000002"}); };
        list->ReplaceSelected({"HW000001"});
        list->SetChanged();
        window->show();
        QTRY_COMPARE(rows(window->lbSelected), (QStringList{"Pine", "Ash"}));
        QCOMPARE(resets, 1);
        QCOMPARE(shownTitle(*window), QStringLiteral("Library Edit"));
        QVERIFY(window->BtnReceive->isEnabled());
    }

    // Opening with no meter says so once and stays open; an answer says nothing.
    void openingTellsOnlyWhenNoMeterAnswered_data()
    {
        QTest::addColumn<int>("serial");
        QTest::addColumn<QStringList>("told");
        QTest::newRow("no answer") << int(TSerialOutcome::NoAnswer)
                                   << QStringList{"No KR answered, so its library was not loaded.\r\n"
                                                  "The list can still be edited, opened and saved."};
        QTest::newRow("found") << int(TSerialOutcome::Found) << QStringList{};
    }
    void openingTellsOnlyWhenNoMeterAnswered()
    {
        QFETCH(int, serial);
        QFETCH(QStringList, told);
        window->Hooks().meterAnswer = [serial] { return TSerialOutcome::Kind(serial); };
        window->show();
        QTest::qWait(50);
        QCOMPARE(prompts->messageTexts(), told);
        QVERIFY(window->isVisible());
    }

private:
    std::unique_ptr<TFactorCatalogue> catalogue;
    std::unique_ptr<TLibraryList> list;
    std::unique_ptr<TfmMeterSetup> window;
    std::unique_ptr<ScriptedPrompts> prompts;
};

QTEST_MAIN(TestMeterSetup)
#include "tst_MeterSetup.moc"
