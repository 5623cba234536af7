// The archive window on a real archive file beside kr.ini: its boxes reach
// the search, a download opens as a new unsaved document, jobs and removal.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include "archive/Archive.h"
#include "core/Readings.h"
#include "mainwindow/ArchiveModels.h"
#include "mainwindow/ArchiveWindow.h"
#include "mainwindow/DocumentWorkflow.h"
#include "mainwindow/Main.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "tests/mainwindow/ArchiveFixture.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/MoistureSample.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestFiles.h"

using namespace kr;

namespace {

QString archivePath() { return test::MainOverArchive::archivePath(); }

// A download of Oak readings (meter file 2, "Hall floor", one with a note)
// and a drywall reading; and a data file of two Jarrah readings in November.
void fillArchive()
{
    TArchive archive(archivePath());
    TKRFile download;
    test::putMoistures(download, 2, {8.5L, 10, 12});
    download.SetComment(2, "Hall floor");
    download.SetNote(2, 1, "by the door");
    test::putReference(download, 4, "Drywall", {15});
    TArchive::Source meter;
    meter.kind = TArchive::Source::Download;
    meter.meter = QStringLiteral("KR-00417");
    meter.when = QDateTime(QDate(2026, 3, 5), QTime(9, 30));
    archive.Keep(download, meter);

    TKRFile file;
    test::putMoistures(file, 1, {14, 16});
    for (int rec = 1; rec <= 2; ++rec) {
        file.GetReading(1, rec).SetSpecies("Jarrah");
        file.GetReading(1, rec).SetDateTime(EncodeDate(2025, 11, 2) + EncodeTime(14, rec, 0, 0));
    }
    TArchive::Source data;
    data.path = QStringLiteral("/jobs/b.krx");
    data.content = "b";
    data.when = QDateTime(QDate(2025, 11, 3), QTime(8, 0));
    archive.Keep(file, data);
}

int rowOf(TArchiveSourcesModel& sources, const QString& kind)
{
    for (int r = 0; r < sources.rowCount(); ++r)
        if (sources.KindName(r) == kind)
            return r;
    return -1;
}

} // namespace

class TestArchiveWindow : public QObject, test::MainOverArchive {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(test::programHome().isValid()); }
    void init();
    void cleanup();
    void typingSearchesOncePaused();
    void filtersReachTheQuery_data();
    void filtersReachTheQuery();
    void readingsShowAsTheGridDoes();
    void readingsAreReadAsTheListScrolls();
    void searchingKeepsTheColumnsAsTheUserMadeThem();
    void statisticsFollowTheChosenDownload();
    void openAsDocumentGivesAnUntitledModifiedDocument();
    void assigningToANewJobShowsInTheJobFilter();
    void removeAsksFirst();
    void unusableArchiveIsToldOnceAndNotOpened();

private:
    TfmArchive& open();
};

void TestArchiveWindow::init() { QVERIFY(start()); }

void TestArchiveWindow::cleanup() { QCOMPARE(stop(), 0); }

TfmArchive& TestArchiveWindow::open()
{
    fillArchive();
    main->Archive1->trigger();
    auto* window = main->findChild<TfmArchive*>();
    Q_ASSERT(window);
    return *window;
}

// Each key does not search; a pause does, once.
void TestArchiveWindow::typingSearchesOncePaused()
{
    TfmArchive& w = open();
    QVERIFY(w.isVisible() && !w.isModal());
    QCOMPARE(w.lblCount->text(), QStringLiteral("6 readings"));
    QTest::keyClicks(w.edSearch, QStringLiteral("hall"));
    QVERIFY(w.tiSearch.isActive());
    QCOMPARE(w.lblCount->text(), QStringLiteral("6 readings"));
    QTRY_COMPARE(w.lblCount->text(), QStringLiteral("3 readings"));
}

void TestArchiveWindow::filtersReachTheQuery_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("species");
    QTest::addColumn<QDate>("since");
    QTest::addColumn<QDate>("until");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<int>("found");
    const QDate any;
    const double open = -1;
    QTest::newRow("meter file comment") << "HALL FLOOR" << "" << any << any << open << open << 3;
    QTest::newRow("reading note") << "door" << "" << any << any << open << open << 1;
    QTest::newRow("species in the days") << "" << "jarr" << QDate(2025, 11, 2) << QDate(2025, 11, 2) << open << open
                                         << 2;
    QTest::newRow("species outside them") << "" << "oak" << QDate(2025, 11, 1) << QDate(2025, 11, 30) << open << open
                                          << 0;
    QTest::newRow("moisture, ends included") << "" << "" << any << any << 10.0 << 14.0 << 3;
    QTest::newRow("moisture from") << "" << "" << any << any << 15.0 << open << 2;
}

void TestArchiveWindow::filtersReachTheQuery()
{
    QFETCH(QString, text);
    QFETCH(QString, species);
    QFETCH(QDate, since);
    QFETCH(QDate, until);
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(int, found);
    TfmArchive& w = open();
    w.edSearch->setText(text);
    w.edSpecies->setText(species);
    w.chkSince->setChecked(since.isValid());
    w.edSince->setDate(since);
    w.chkUntil->setChecked(until.isValid());
    w.edUntil->setDate(until);
    w.spnLow->setValue(low);
    w.spnHigh->setValue(high);
    w.Search();
    QCOMPARE(w.Readings().rowCount(), found);
    QCOMPARE(w.lblCount->text(), found == 1 ? QStringLiteral("1 reading") : QStringLiteral("%1 readings").arg(found));
}

// Date and time as the grid writes them, the user's scale, no SG on a scale.
void TestArchiveWindow::readingsShowAsTheGridDoes()
{
    main->settings.Centigrade = false;
    TfmArchive& w = open();
    w.edSearch->setText(QStringLiteral("drywall"));
    w.Search();
    QCOMPARE(w.Readings().rowCount(), 1);
    TKRFile doc;
    test::putReference(doc, 4, "Drywall", {15});
    const TReading& kept = doc.GetReading(4, 1);
    const auto text = [&w](int column) { return w.Readings().index(0, column).data().toString(); };
    QCOMPARE(text(TArchive::RTaken), fromCp1252(kept.GetDateTimeText()));
    QCOMPARE(text(TArchive::RTemperature), fromCp1252(kept.GetTemperatureText(false)));
    QCOMPARE(w.Readings().headerData(TArchive::RTemperature, Qt::Horizontal).toString(), QStringLiteral("\u00B0F"));
    QCOMPARE(text(TArchive::RSG), QString());
    QCOMPARE(text(TArchive::RMoisture), fromCp1252(kept.GetMoistureText()));
}

// A full meter's 625 readings: the list holds what was scrolled to, the count all.
void TestArchiveWindow::readingsAreReadAsTheListScrolls()
{
    {
        TArchive archive(archivePath());
        TKRFile full;
        for (int f = 1; f <= TFile::FileCount; ++f)
            test::putMoistures(full, f, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
        archive.Keep(full, TArchive::Source{});
    }
    TfmArchive& w = open();
    QCOMPARE(w.lblCount->text(), QStringLiteral("631 readings"));
    const int first = w.Readings().rowCount();
    QVERIFY(first > 0 && first < 631);
    w.tvReadings->scrollToBottom();
    QTRY_VERIFY(w.Readings().rowCount() > first);
    while (w.Readings().canFetchMore({}))
        w.Readings().fetchMore({});
    QCOMPARE(w.Readings().rowCount(), 631);
}

void TestArchiveWindow::searchingKeepsTheColumnsAsTheUserMadeThem()
{
    TfmArchive& w = open();
    w.tvReadings->setColumnWidth(TArchive::RSpecies, 321);
    w.tvSources->setColumnWidth(TArchive::SMeter, 123);
    w.edSpecies->setText(QStringLiteral("oak"));
    w.Search();
    QCOMPARE(w.tvReadings->columnWidth(TArchive::RSpecies), 321);
    QCOMPARE(w.tvSources->columnWidth(TArchive::SMeter), 123);
    QVERIFY(w.tvReadings->isColumnHidden(TArchive::RId) && w.tvSources->isColumnHidden(TArchive::SId));
}

// A line per wood species and All; the scale under its own heading.
void TestArchiveWindow::statisticsFollowTheChosenDownload()
{
    TfmArchive& w = open();
    w.tabs->setCurrentIndex(1);
    const auto species = [](const std::vector<TArchive::Figures>& lines) {
        QStringList names;
        for (const TArchive::Figures& f : lines)
            names << f.species;
        return names;
    };
    QCOMPARE(species(w.Figures().Wood()), QStringList({"Jarrah", "Oak", ""}));
    QCOMPARE(species(w.Figures().Reference()), QStringList{"Drywall"});
    QCOMPARE(w.Figures().index(3, 0).data().toString(), QStringLiteral("Reference scales"));
    w.SelectSource(rowOf(w.Sources(), QStringLiteral("download")));
    QCOMPARE(species(w.Figures().Wood()), QStringList({"Oak", ""}));
    QCOMPARE(w.Figures().Wood().back().count, 3);
}

void TestArchiveWindow::openAsDocumentGivesAnUntitledModifiedDocument()
{
    TfmArchive& w = open();
    main->Document().SetModified();
    w.SelectSource(rowOf(w.Sources(), QStringLiteral("download")));
    QCOMPARE(w.lblCount->text(), QStringLiteral("4 readings in the chosen download"));
    prompts->answer(mbNo);
    QTest::mouseClick(w.btnOpenDocument, Qt::LeftButton);
    QCOMPARE(prompts->messageTexts(), QStringList{workflow_text::SaveChangesUnnamed});
    const TFile& doc = main->Document();
    QCOMPARE(doc.GetFileName(), std::string(TFile::NoFileName));
    QVERIFY(doc.IsModified());
    QCOMPARE(doc.CountUsed(2), 3);
    QCOMPARE(doc.GetComment(2), std::string("Hall floor"));
    QCOMPARE(doc.GetNote(2, 1), std::string("by the door"));
    QVERIFY(test::shownTitle(*main).endsWith(QStringLiteral("[None]*")));
    // Closing it asks to save it.
    prompts->answer(mbCancel);
    QVERIFY(!main->close());
}

void TestArchiveWindow::assigningToANewJobShowsInTheJobFilter()
{
    TfmArchive& w = open();
    w.SelectSource(rowOf(w.Sources(), QStringLiteral("download")));
    bool asked = false;
    test::onNextModal(
        [](QWidget* modal) {
            auto* dialog = qobject_cast<TfmAssignJob*>(modal);
            QVERIFY(dialog);
            QCOMPARE(dialog->cbFiles->count(), 3);  // the whole download, meter files 2 and 4
            dialog->cbFiles->setCurrentIndex(dialog->cbFiles->findData(2));
            dialog->rbNew->setChecked(true);
            QVERIFY(!dialog->btnOK->isEnabled());
            dialog->edName->setText(QStringLiteral("Mill Road"));
            dialog->edSite->setText(QStringLiteral("12 Mill Road"));
            QTest::mouseClick(dialog->btnOK, Qt::LeftButton);
        },
        &asked, 20, this);
    QTest::mouseClick(w.btnAssign, Qt::LeftButton);
    QVERIFY(asked);
    const int job = w.cbJob->findData(QStringLiteral("Mill Road"));
    QVERIFY(job > 0);
    w.cbJob->setCurrentIndex(job);
    w.Search();
    QCOMPARE(w.lblCount->text(), QStringLiteral("3 readings"));
    // The site is found by the search text too.
    w.cbJob->setCurrentIndex(0);
    w.edSearch->setText(QStringLiteral("12 mill"));
    w.Search();
    QCOMPARE(w.lblCount->text(), QStringLiteral("3 readings"));
}

void TestArchiveWindow::removeAsksFirst()
{
    TfmArchive& w = open();
    const int row = rowOf(w.Sources(), QStringLiteral("data file"));
    w.SelectSource(row);
    prompts->answer(mbNo);
    QTest::mouseClick(w.btnRemove, Qt::LeftButton);
    QCOMPARE(prompts->messageTexts(),
             QStringList{QStringLiteral("Remove this data file and the 2 readings only it holds from the archive?")});
    QCOMPARE(prompts->messages().front().defaultButton, mbNo);
    QCOMPARE(w.Sources().rowCount(), 2);
    prompts->answer(mbYes);
    QTest::mouseClick(w.btnRemove, Qt::LeftButton);
    QCOMPARE(w.Sources().rowCount(), 1);
    QCOMPARE(w.lblCount->text(), QStringLiteral("4 readings"));
    QCOMPARE(w.Archive().ReadingCount(), 4);
}

// A file that is no archive: one message, no window; asked again, the same.
void TestArchiveWindow::unusableArchiveIsToldOnceAndNotOpened()
{
    QVERIFY(test::writeFile(archivePath(), "not an archive at all"));
    prompts->answer(mbOK);
    main->Archive1->trigger();
    QCOMPARE(prompts->messages().size(), 1);
    QCOMPARE(prompts->messages().front().kind, MsgKind::Error);
    QVERIFY(prompts->messageTexts().front().contains(QStringLiteral("is not a readings archive")));
    QVERIFY(!main->findChild<TfmArchive*>());
    QCOMPARE(test::readFile(archivePath()), QByteArray("not an archive at all"));

    QVERIFY(QFile::remove(archivePath()));
    main->Archive1->trigger();
    main->Archive1->trigger();
    QCOMPARE(main->findChildren<TfmArchive*>().size(), 1);
    QCOMPARE(prompts->messages().size(), 1);
}

QTEST_MAIN(TestArchiveWindow)
#include "tst_ArchiveWindow.moc"
