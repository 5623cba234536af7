// The site conditions dialog: the EMC as the air is typed, in either scale,
// and each Add kept in the archive at once.
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include "archive/Archive.h"
#include "mainwindow/ConditionsDialog.h"

using namespace kr;

class TestConditionsDialog : public QObject {
    Q_OBJECT
private slots:
    void addsTheAirWithItsEmc_data()
    {
        QTest::addColumn<bool>("centigrade");
        QTest::addColumn<double>("temperature");
        QTest::addColumn<double>("kept");  // Celsius
        QTest::newRow("Celsius") << true << 21.0 << 21.0;
        QTest::newRow("Fahrenheit") << false << 69.8 << 21.0;
    }
    void addsTheAirWithItsEmc()
    {
        QFETCH(bool, centigrade);
        QFETCH(double, temperature);
        QFETCH(double, kept);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("archive.sqlite"));
        TArchive(path).SaveJob({0, QStringLiteral("Smith house"), {}, {}, {}, 0, 0});

        TfmConditions dialog(ArchiveLocation::File(path), QStringLiteral("Smith house"), centigrade);
        QSignalSpy changed(&dialog, &TfmConditions::Changed);
        dialog.edTemp->setValue(temperature);
        dialog.edRh->setValue(50);
        QCOMPARE(dialog.lbEmc->text(), QStringLiteral("EMC 9.2 %"));
        dialog.edWhen->setDateTime(QDateTime(QDate(2026, 3, 5), QTime(9, 30, 45)));
        dialog.edNote->setText(QStringLiteral("heating on"));
        QTest::mouseClick(dialog.btnAdd, Qt::LeftButton);

        QCOMPARE(changed.count(), 1);
        QCOMPARE(dialog.grid->rowCount(), 1);
        QCOMPARE(dialog.grid->item(0, 3)->text(), QStringLiteral("EMC 9.2 %"));
        QVERIFY(dialog.edNote->text().isEmpty());
        const std::vector<TArchive::SiteConditions> all = TArchive(path).Conditions(QStringLiteral("Smith house"));
        QCOMPARE(all.size(), std::size_t(1));
        QCOMPARE(all[0].when, QDateTime(QDate(2026, 3, 5), QTime(9, 30)));
        QVERIFY(std::abs(all[0].celsius - kept) < 0.01);
        QCOMPARE(all[0].note, QStringLiteral("heating on"));
    }
};

QTEST_MAIN(TestConditionsDialog)
#include "tst_ConditionsDialog.moc"
