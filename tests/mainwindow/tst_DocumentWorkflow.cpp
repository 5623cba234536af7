#include <QTemporaryDir>
#include <QtTest>

#include "core/AtomicFile.h"
#include "core/Errors.h"
#include "core/Readings.h"
#include "mainwindow/DocumentWorkflow.h"
#include "settings/Appglob.h"
#include "settings/FileFolders.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;
using kr::test::ScriptedPrompts;

namespace {

// Stands in for the main window: counts refreshes, clears the modified mark
// as the real refresh does, and records the cursor changes.
class FakeView : public DocumentView {
public:
    explicit FakeView(TFile& d) : doc(d) {}
    void RefreshDocumentView() override
    {
        ++refreshes;
        doc.ClearModified();
        events << QStringLiteral("refresh");
    }
    void SetBusy(bool busy) override { events << (busy ? QStringLiteral("busy") : QStringLiteral("normal")); }
    TFile& doc;
    int refreshes = 0;
    QStringList events;
};

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDocumentWorkflow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openShowsItsDialog();
    void openLoadsRemembersAndRefreshes();
    void openCancelledChangesNothing();
    void failedOpenRestoresCursorAndLeavesListAndViewAlone();
    void namedPromptAnswers_data();
    void namedPromptAnswers();
    void namedPromptOnBackupWritesToTheBackup();
    void unnamedPromptNoDiscardsCancelStops();
    void unnamedPromptYesAsksForANameAndRemembersIt();
    void unnamedPromptOverwriteCancelStops();
    void failingSaveInPromptStopsTheOpen();
    void saveWritesNamedFileSilently();
    void saveNeverWritesOverABackup();
    void saveAsAsksBeforeOverwriting();
    void saveAsRefusesTheProgramsOwnFiles();
    void failedSaveKeepsNameModifiedAndList();
    void recentClickLoadsWithoutReordering();
    void recentClickCancelledKeepsDocument();
    void closeAsksOnlyWhenModified();
    void saveDialogStartsWhereTheLastFileWasOpened();

private:
    QString path(const QString& name) const { return dir->filePath(name); }
    // A small data file on disk made by the document itself.
    QString makeDataFile(const QString& name, const std::string& comment);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<TKRFile> doc;
    std::unique_ptr<TRecentFiles> mru;
    std::unique_ptr<FakeView> view;
    std::unique_ptr<TDocumentWorkflow> flow;
    std::unique_ptr<ScriptedPrompts> prompts;
};

void TestDocumentWorkflow::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    doc = std::make_unique<TKRFile>();
    mru = std::make_unique<TRecentFiles>();
    view = std::make_unique<FakeView>(*doc);
    // The program's folder is a folder of its own, as an installed copy's is.
    home = std::make_unique<QTemporaryDir>();
    qputenv("KR_HOME", home->path().toUtf8());
    InitAppglob();
    flow = std::make_unique<TDocumentWorkflow>(*doc, *mru, *view);
    prompts = std::make_unique<ScriptedPrompts>();
}

void TestDocumentWorkflow::cleanup()
{
    failNextAtomicWrite(WriteResult::Ok);
    if (qEnvironmentVariableIsSet("KR_HOME")) {
        qunsetenv("KR_HOME");
        InitAppglob();
    }
    prompts.reset();
    flow.reset();
}

QString TestDocumentWorkflow::makeDataFile(const QString& name, const std::string& comment)
{
    TKRFile other;
    other.SetComment(1, comment);
    other.SaveToFile(path(name).toStdString());
    return path(name);
}

void TestDocumentWorkflow::openShowsItsDialog()
{
    prompts->answerOpen(std::nullopt);
    flow->btnOpenClick();
    QCOMPARE(prompts->asked().size(), 1);
    const auto& r = prompts->asked().first().file;
    QCOMPARE(prompts->asked().first().what, ScriptedPrompts::Asked::Open);
    QCOMPARE(r.title, QStringLiteral("Open Data File"));
    QCOMPARE(r.filters, QStringList({"KR Data Files (*.krx)", "KR Backup Files (*.bak)"}));
    QCOMPARE(r.defaultSuffix, QStringLiteral("krx"));
}

void TestDocumentWorkflow::openLoadsRemembersAndRefreshes()
{
    const QString file = makeDataFile("a.krx", "first");
    prompts->answerOpen(file);
    flow->btnOpenClick();
    QCOMPARE(doc->GetComment(1), std::string("first"));
    QCOMPARE(QString::fromStdString(doc->GetFileName()), file);
    QCOMPARE(mru->Items(), QStringList{file});
    QCOMPARE(view->events, QStringList({"busy", "normal", "refresh"}));
    QVERIFY(!doc->IsModified());
    QCOMPARE(prompts->unexpected(), 0);
}

void TestDocumentWorkflow::openCancelledChangesNothing()
{
    doc->SetComment(2, "keep");
    doc->ClearModified();
    prompts->answerOpen(std::nullopt);
    flow->btnOpenClick();
    QCOMPARE(doc->GetComment(2), std::string("keep"));
    QVERIFY(view->events.isEmpty());
    QVERIFY(mru->IsEmpty());
}

void TestDocumentWorkflow::failedOpenRestoresCursorAndLeavesListAndViewAlone()
{
    const QString good = makeDataFile("good.krx", "kept");
    doc->LoadFromFile(good.toStdString());
    doc->SetNotes({"my notes"});
    QFile bad(path("bad.krx"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    // A good first line and comment, then a broken record: read part-way.
    bad.write(TKRFile().SaveToText().substr(0, 19).c_str());
    bad.write("\r\nnew comment\r\nnot a record\r\n");
    bad.close();
    prompts->answer(mbNo);
    prompts->answerOpen(path("bad.krx"));
    QVERIFY_THROWS_EXCEPTION(KrError, flow->btnOpenClick());
    QCOMPARE(view->events, QStringList({"busy", "normal"}));
    QVERIFY(mru->IsEmpty());
    // The document is exactly as it was: name, contents, notes and mark.
    QCOMPARE(QString::fromStdString(doc->GetFileName()), good);
    QCOMPARE(doc->GetComment(1), std::string("kept"));
    QCOMPARE(doc->GetNotes(), std::vector<std::string>{"my notes"});
    QVERIFY(doc->IsModified());

    prompts->answer(mbNo);
    prompts->answerOpen(path("missing.krx"));
    QVERIFY_THROWS_EXCEPTION(FileError, flow->btnOpenClick());
    QCOMPARE(view->refreshes, 0);
}

void TestDocumentWorkflow::namedPromptAnswers_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("goesOn");
    QTest::addColumn<bool>("written");
    QTest::newRow("Yes saves") << int(mbYes) << true << true;
    QTest::newRow("No discards") << int(mbNo) << true << false;
    QTest::newRow("Cancel stops") << int(mbCancel) << false << false;
}

void TestDocumentWorkflow::namedPromptAnswers()
{
    QFETCH(int, answer);
    QFETCH(bool, goesOn);
    QFETCH(bool, written);
    const QString file = makeDataFile("named.krx", "old");
    doc->LoadFromFile(file.toStdString());
    doc->SetComment(1, "new");
    prompts->answer(MsgButton(answer));
    QCOMPARE(flow->QuerySaveChanges(), goesOn);
    const auto box = prompts->messages().value(0);
    QCOMPARE(box.kind, MsgKind::Warning);
    QCOMPARE(box.text, QStringLiteral("Do you wish to save the changes to \n\r") + file + "?");
    QCOMPARE(box.buttons, mbYes | mbNo | mbCancel);
    TKRFile reread;
    reread.LoadFromFile(file.toStdString());
    QCOMPARE(reread.GetComment(1), std::string(written ? "new" : "old"));
    QCOMPARE(doc->IsModified(), !written);
    // Nothing about the name is asked and the list is not touched here.
    QCOMPARE(prompts->asked().size(), 1);
    QVERIFY(mru->IsEmpty());
    QCOMPARE(view->refreshes, 0);
}

void TestDocumentWorkflow::namedPromptOnBackupWritesToTheBackup()
{
    const QString bak = makeDataFile("data1.bak", "backup");
    doc->LoadFromFile(bak.toStdString());
    doc->SetComment(1, "edited");
    prompts->answer(mbYes);
    QVERIFY(flow->QuerySaveChanges());
    TKRFile reread;
    reread.LoadFromFile(bak.toStdString());
    QCOMPARE(reread.GetComment(1), std::string("edited"));
}

void TestDocumentWorkflow::unnamedPromptNoDiscardsCancelStops()
{
    doc->SetModified();
    prompts->answer(mbNo);
    QVERIFY(flow->QuerySaveChanges());
    prompts->answer(mbCancel);
    QVERIFY(!flow->QuerySaveChanges());
    QCOMPARE(prompts->messageTexts(),
             QStringList({"Do you wish to save these changes?", "Do you wish to save these changes?"}));
    QCOMPARE(prompts->messages().first().buttons, mbYes | mbNo | mbCancel);
    QCOMPARE(prompts->asked().size(), 2);
}

void TestDocumentWorkflow::unnamedPromptYesAsksForANameAndRemembersIt()
{
    doc->SetComment(3, "three");
    prompts->answer(mbYes);
    prompts->answerSave(path("new.krx"));
    QVERIFY(flow->QuerySaveChanges());
    const auto& save = prompts->asked().at(1).file;
    QCOMPARE(save.title, QStringLiteral("Save Data File"));
    QCOMPARE(save.filters, QStringList{"KR data files (*.krx)"});
    QCOMPARE(save.defaultSuffix, QStringLiteral("krx"));
    QVERIFY(QFile::exists(path("new.krx")));
    QCOMPARE(mru->Items(), QStringList{path("new.krx")});
    QVERIFY(!doc->IsModified());
    QCOMPARE(view->refreshes, 0);

    // The save dialog cancelled: the caller is told to stop.
    doc->SetModified();
    doc->SetFileName(TFile::NoFileName);
    prompts->answer(mbYes);
    prompts->answerSave(std::nullopt);
    QVERIFY(!flow->QuerySaveChanges());
}

void TestDocumentWorkflow::unnamedPromptOverwriteCancelStops()
{
    const QString existing = makeDataFile("there.krx", "theirs");
    const QByteArray before = fileBytes(existing);
    doc->SetComment(1, "mine");
    prompts->answer(mbYes);
    prompts->answerSave(existing);
    prompts->answer(mbCancel);
    QVERIFY(!flow->QuerySaveChanges());
    QCOMPARE(prompts->messageTexts().last(), QStringLiteral("This file already exists, do you wish to overwrite?"));
    QCOMPARE(prompts->messages().last().buttons, mbYes | mbCancel);
    QCOMPARE(prompts->messages().last().kind, MsgKind::Warning);
    QCOMPARE(fileBytes(existing), before);
    QVERIFY(mru->IsEmpty());

    prompts->answer(mbYes);
    prompts->answerSave(existing);
    prompts->answer(mbYes);
    QVERIFY(flow->QuerySaveChanges());
    QVERIFY(fileBytes(existing) != before);
}

void TestDocumentWorkflow::failingSaveInPromptStopsTheOpen()
{
    const QString file = makeDataFile("keep.krx", "on disk");
    doc->LoadFromFile(file.toStdString());
    doc->SetComment(1, "unsaved");
    const QByteArray before = fileBytes(file);
    prompts->answer(mbYes);
    failNextAtomicWrite(WriteResult::WriteFailed);
    QVERIFY_THROWS_EXCEPTION(FileError, flow->btnOpenClick());
    // No open dialog was shown and nothing was loaded.
    QCOMPARE(prompts->asked().size(), 1);
    QCOMPARE(doc->GetComment(1), std::string("unsaved"));
    QVERIFY(doc->IsModified());
    QCOMPARE(QString::fromStdString(doc->GetFileName()), file);
    QCOMPARE(fileBytes(file), before);
}

void TestDocumentWorkflow::saveWritesNamedFileSilently()
{
    const QString file = makeDataFile("mine.krx", "a");
    doc->LoadFromFile(file.toStdString());
    doc->SetComment(1, "b");
    flow->Save1Click();
    QVERIFY(prompts->asked().isEmpty());
    TKRFile reread;
    reread.LoadFromFile(file.toStdString());
    QCOMPARE(reread.GetComment(1), std::string("b"));
    QCOMPARE(mru->Items(), QStringList{file});
    QCOMPARE(view->refreshes, 1);
}

void TestDocumentWorkflow::saveNeverWritesOverABackup()
{
    const QString bak = makeDataFile("data2.BAK", "backup");
    const QByteArray before = fileBytes(bak);
    doc->LoadFromFile(bak.toStdString());
    doc->SetComment(1, "changed");
    prompts->answerSave(std::nullopt);
    flow->Save1Click();
    QCOMPARE(prompts->asked().size(), 1);
    QCOMPARE(prompts->asked().first().what, ScriptedPrompts::Asked::Save);
    QCOMPARE(fileBytes(bak), before);
    QCOMPARE(view->refreshes, 0);

    prompts->answerSave(path("copy.krx"));
    flow->Save1Click();
    QCOMPARE(fileBytes(bak), before);
    QCOMPARE(QString::fromStdString(doc->GetFileName()), path("copy.krx"));
    QCOMPARE(mru->Items(), QStringList{path("copy.krx")});
    QCOMPARE(view->refreshes, 1);
}

void TestDocumentWorkflow::saveAsAsksBeforeOverwriting()
{
    const QString existing = makeDataFile("exists.krx", "theirs");
    const QByteArray before = fileBytes(existing);
    prompts->answerSave(existing);
    prompts->answer(mbCancel);
    flow->SaveAs1Click();
    QCOMPARE(fileBytes(existing), before);
    QCOMPARE(view->refreshes, 0);

    prompts->answerSave(path("fresh.krx"));
    flow->SaveAs1Click();
    QCOMPARE(prompts->messageTexts().size(), 1); // no question for a new file
    QVERIFY(QFile::exists(path("fresh.krx")));
    QCOMPARE(view->refreshes, 1);
}

void TestDocumentWorkflow::saveAsRefusesTheProgramsOwnFiles()
{
    qputenv("KR_HOME", dir->path().toUtf8());   // undone by cleanup()
    InitAppglob();
    doc->SetComment(1, "unsaved");
    prompts->answerSave(path("data4.bak"));
    flow->SaveAs1Click();
    QCOMPARE(prompts->messageTexts(),
             QStringList{path("data4.bak") + " is one of the program's own files (data4.bak); nothing was written."});
    QVERIFY(!QFile::exists(path("data4.bak")));
    QVERIFY(doc->IsModified());
    QVERIFY(mru->IsEmpty());
}

void TestDocumentWorkflow::failedSaveKeepsNameModifiedAndList()
{
    const QString file = makeDataFile("stay.krx", "x");
    doc->LoadFromFile(file.toStdString());
    doc->SetComment(1, "y");
    failNextAtomicWrite(WriteResult::RenameFailed);
    QVERIFY_THROWS_EXCEPTION(FileError, flow->Save1Click());
    QVERIFY(doc->IsModified());
    QCOMPARE(QString::fromStdString(doc->GetFileName()), file);
    QVERIFY(mru->IsEmpty());
    QCOMPARE(view->refreshes, 0);

    // The dialog's folder is kept already, so the one write that fails is the save.
    rememberFolderOf(path("other.krx"));
    prompts->answerSave(path("other.krx"));
    failNextAtomicWrite(WriteResult::CreateFailed);
    QVERIFY_THROWS_EXCEPTION(FileError, flow->SaveAs1Click());
    QCOMPARE(QString::fromStdString(doc->GetFileName()), file);
    QVERIFY(!QFile::exists(path("other.krx")));
}

void TestDocumentWorkflow::recentClickLoadsWithoutReordering()
{
    const QString a = makeDataFile("a.krx", "A");
    const QString b = makeDataFile("b.krx", "B");
    mru->Add(a);
    mru->Add(b);
    flow->MRUManager1Click(a);
    QCOMPARE(doc->GetComment(1), std::string("A"));
    QCOMPARE(mru->Items(), QStringList({b, a}));
    QCOMPARE(view->events, QStringList{"refresh"});
    QVERIFY(prompts->asked().isEmpty());
}

void TestDocumentWorkflow::recentClickCancelledKeepsDocument()
{
    const QString a = makeDataFile("a.krx", "A");
    doc->SetComment(1, "mine");
    prompts->answer(mbCancel);
    flow->MRUManager1Click(a);
    QCOMPARE(doc->GetComment(1), std::string("mine"));
    QCOMPARE(view->refreshes, 0);
}

void TestDocumentWorkflow::closeAsksOnlyWhenModified()
{
    QVERIFY(flow->FormCloseQuery());
    QVERIFY(prompts->asked().isEmpty());
    doc->SetModified();
    prompts->answer(mbCancel);
    QVERIFY(!flow->FormCloseQuery());
    prompts->answer(mbNo);
    QVERIFY(flow->FormCloseQuery());
}

// The save dialogs start where the last file was chosen, also by Open.
void TestDocumentWorkflow::saveDialogStartsWhereTheLastFileWasOpened()
{
    QVERIFY(QDir(dir->path()).mkdir(QStringLiteral("jobs")));
    prompts->answerOpen(makeDataFile(QStringLiteral("jobs/a.krx"), "a"));
    flow->btnOpenClick();
    prompts->answerSave(std::nullopt);
    flow->SaveAs1Click();
    QCOMPARE(QDir(prompts->asked().last().file.directory), QDir(path(QStringLiteral("jobs"))));
}

QTEST_GUILESS_MAIN(TestDocumentWorkflow)
#include "tst_DocumentWorkflow.moc"
