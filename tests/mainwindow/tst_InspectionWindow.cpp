// The inspection report's window on a real archive beside kr.ini: what it
// reports on, and the findings it shows of a job and of the document.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QtTest>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "mainwindow/InspectionWindow.h"
#include "mainwindow/Main.h"
#include "print/ui/PrinterChoice.h"
#include "settings/Appglob.h"
#include "tests/mainwindow/ArchiveFixture.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/ScriptedPrompts.h"

using namespace kr;

namespace {

QString archivePath() { return test::MainOverArchive::archivePath(); }

// A download of the subfloor and the oak boards on 5 and 7 March 2026, both
// in the job "Mill Road", with the site's air (21 °C, 50 % RH) on the 7th:
// the subfloor settles (9.0 then 9.2 %), the boards still dry out.
void keepDownload(TArchive& archive, int day, long double subfloor, long double boards)
{
    TKRFile doc;
    test::putMoistures(doc, 1, {subfloor, subfloor});
    test::putMoistures(doc, 2, {boards, boards});
    doc.SetComment(1, "Subfloor");
    doc.SetComment(2, "Oak boards");
    for (int f = 1; f <= 2; ++f)
        for (int r = 1; r <= 2; ++r)
            doc.GetReading(f, r).SetDateTime(EncodeDate(2026, 3, day) + EncodeTime(9, r, 0, 0));
    TArchive::Source source;
    source.kind = TArchive::Source::Download;
    source.meter = QStringLiteral("KR-00417");
    source.when = QDateTime(QDate(2026, 3, day), QTime(10, 0));
    archive.Assign(archive.Keep(doc, source).sourceId, 0, QStringLiteral("Mill Road"));
}

void fillArchive()
{
    TArchive archive(archivePath());
    archive.SaveJob({0, QStringLiteral("Mill Road"), QStringLiteral("12 Mill Road"), {}, {}, 0, 0});
    keepDownload(archive, 5, 9.0L, 12.5L);
    keepDownload(archive, 7, 9.2L, 10.5L);
    archive.AddConditions(QStringLiteral("Mill Road"), {0, QDateTime(QDate(2026, 3, 7), QTime(9, 0)), 21, 50, {}});
}

QStringList locations(const TfmInspection& w)
{
    QStringList texts;
    for (int i = 0; i < w.lstLocations->count(); ++i)
        texts << w.lstLocations->item(i)->text();
    return texts;
}

} // namespace

class TestInspectionWindow : public QObject, test::MainOverArchive {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(test::programHome().isValid()); }
    void init();
    void cleanup();
    void jobShowsItsFindings();
    void documentShowsItsMeterFiles();
    void withoutAnArchiveOnlyTheDocument();

private:
    TfmInspection& open();
};

void TestInspectionWindow::init() { QVERIFY(start()); }

void TestInspectionWindow::cleanup() { QCOMPARE(stop(), 0); }

TfmInspection& TestInspectionWindow::open()
{
    main->InspectionReport1->trigger();
    auto* window = main->findChild<TfmInspection*>();
    Q_ASSERT(window);
    return *window;
}

void TestInspectionWindow::jobShowsItsFindings()
{
    fillArchive();
    TfmInspection& w = open();
    QVERIFY(w.isVisible() && !w.isModal());
    QVERIFY(w.rbJob->isChecked() && w.rbJob->isEnabled());
    QCOMPARE(w.cbJob->currentText(), QStringLiteral("Mill Road"));
    QCOMPARE(w.lbTarget->text(), QStringLiteral("Target 7.2-11.2 % from 21 \u00b0C, 50 % RH (EMC 9.2 %)"));
    QVERIFY(w.btnConditions->isEnabled());  // a job's air is added from here
    QCOMPARE(locations(w), QStringList({"Subfloor: stable", "Oak boards: not yet stable"}));
    QVERIFY(w.lstLocations->item(1)->toolTip().startsWith(QStringLiteral("Not yet stable")));
    QCOMPARE(w.lbChart->pixmap().size(), w.lbChart->size());
    const QString comparisons = w.txtComparisons->toPlainText();
    QVERIFY2(comparisons.startsWith(QStringLiteral("Subfloor and Oak boards")), qPrintable(comparisons));
    QVERIFY2(comparisons.contains(QStringLiteral("05/03/2026")) && comparisons.contains(QStringLiteral("07/03/2026")),
             qPrintable(comparisons));

    // To a PDF file, named after the job.
    printerChoice().Choose(TPrinterChoice::PdfEntry);
    const QString pdf = test::programHome().filePath("inspection.pdf");
    QFile::remove(pdf);
    prompts->answerSave(pdf);
    QTest::mouseClick(w.btnPrint, Qt::LeftButton);
    QCOMPARE(prompts->asked().last().file.fileName, QStringLiteral("Mill Road report.pdf"));
    QVERIFY(test::readFile(pdf).startsWith("%PDF"));

    // Asked again, the same window reads the archive's jobs anew.
    TArchive(archivePath()).SaveJob({0, QStringLiteral("Elm Street"), {}, {}, {}, 0, 0});
    main->InspectionReport1->trigger();
    QCOMPARE(main->findChildren<TfmInspection*>().size(), 1);
    QCOMPARE(w.cbJob->count(), 2);
}

// A copy of the document as it was when chosen; "Meter file 3" has no comment.
void TestInspectionWindow::documentShowsItsMeterFiles()
{
    fillArchive();
    test::fillSample(main->Document());
    main->RefreshDocumentView();
    TfmInspection& w = open();
    w.rbDocument->setChecked(true);
    QCOMPARE(w.lbDocument->text(), QStringLiteral("(Untitled)"));
    QCOMPARE(w.Data()->name, QStringLiteral("Untitled"));
    QCOMPARE(locations(w), QStringList({"Ground floor, north room: not yet stable", "Meter file 3: not yet stable"}));
    QCOMPARE(w.txtComparisons->toPlainText(), QLatin1String(NoComparisonsText));
    QVERIFY(w.lbTarget->text().contains(QStringLiteral("the target range of the settings")));
    QVERIFY(!w.btnConditions->isEnabled());
    QVERIFY(w.Data()->docs.front().get() != &main->Document());
}

void TestInspectionWindow::withoutAnArchiveOnlyTheDocument()
{
    TfmInspection& w = open();
    QVERIFY(w.rbDocument->isChecked());
    QVERIFY(!w.rbJob->isEnabled() && !w.cbJob->isEnabled());
    QVERIFY(w.rbJob->toolTip().contains(QStringLiteral("no readings archive")));
    QVERIFY(w.lstLocations->count() == 0 && w.Data());
}

QTEST_MAIN(TestInspectionWindow)
#include "tst_InspectionWindow.moc"
