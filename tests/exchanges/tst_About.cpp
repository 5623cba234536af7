#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QPushButton>
#include <QtTest>

#include "platform/SerialTransport.h"
#include "platform/ui/ShellOpen.h"
#include "shell/About.h"
#include "shell/Progress.h"
#include "tests/exchanges/ExchangeRig.h"

using namespace kr;
using namespace kr::test;

namespace {

// What the about box showed at the moments that matter.
struct Watch {
    QString whenShown;
    QString whenAnswered;
    bool visibleWhenAnswered = false;
    qint64 answeredAfterMs = -1;
};

// About1Click as the main window runs it: request, then the box modally.
// The box is closed with its OK button once the answer has arrived.
Watch showAbout(ExchangeRig& r, TfmAbout& about)
{
    Watch w;
    QElapsedTimer clock;
    auto c = QObject::connect(&r.exchanges, &TMeterExchanges::SerialNoChanged, &about, [&] {
        w.whenAnswered = about.lblSerialNo->text();
        w.visibleWhenAnswered = about.isVisible();
        w.answeredAfterMs = clock.elapsed();
        QTimer::singleShot(0, about.btnOK, [&about] { QTest::mouseClick(about.btnOK, Qt::LeftButton); });
    });
    QTimer::singleShot(0, &about, [&] { w.whenShown = about.lblSerialNo->text(); });
    clock.start();
    r.exchanges.RequestSerialNo();
    about.exec();
    QObject::disconnect(c);
    return w;
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void aboutBoxShowsItsTexts()
    {
        TfmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.size(), QSize(298, 249));
        QCOMPARE(about.lblSerialNo->text(), QStringLiteral("lblSerialNo"));
        QCOMPARE(about.lblSerialCaption->text(), QStringLiteral("Serial Number of Meter:"));
        QCOMPARE(about.lblVersionCaption->text(), QStringLiteral("Software Version:"));
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("lblSerialNo")), about.lblSerialNo);
        about.lblVersion->clear();
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.lblVersion->text(), QStringLiteral("1.0.9"));
        QVERIFY(about.btnOK->font().bold());
        QVERIFY(about.btnOK->hasFocus());
        QVERIFY(about.btnOK->isDefault());

        // Every text fits: no label is narrower or lower than its text needs,
        // and all of them lie inside the box.
        for (QLabel* l : about.findChildren<QLabel*>()) {
            const QRect inBox(l->mapTo(&about, QPoint(0, 0)), l->size());
            QVERIFY2(about.rect().contains(inBox), qPrintable(l->objectName()));
            QVERIFY2(l->width() >= l->sizeHint().width() || l->wordWrap(), qPrintable(l->objectName()));
            QVERIFY2(l->height() >= l->minimumSizeHint().height(), qPrintable(l->objectName()));
        }
        about.grab().save(QStringLiteral("about.png"));  // in the test's build folder, to look at
        about.close();
    }

    void serialNumberArrivesWhileTheBoxIsOpen()
    {
        ExchangeRig r({}, TMeterLink::DefaultQuietInterval);
        QVERIFY(r.start());
        TfmAbout about;
        QObject::connect(&r.exchanges, &TMeterExchanges::SerialNoChanged, &about, &TfmAbout::SetSerialNo);

        const Watch first = showAbout(r, about);
        QCOMPARE(first.whenShown, QStringLiteral("lblSerialNo"));
        QCOMPARE(first.whenAnswered, QStringLiteral("KR-417263\r"));
        QVERIFY(first.visibleWhenAnswered);
        QVERIFY(first.answeredAfterMs >= 500);

        // Opened again, it shows the earlier number until the new answer.
        const Watch second = showAbout(r, about);
        QCOMPARE(second.whenShown, QStringLiteral("KR-417263\r"));
        QCOMPARE(second.whenAnswered, QStringLiteral("KR-417263\r"));
        QVERIFY(r.prompts.asked().isEmpty());
    }

    void withoutAMeterTheBoxSaysSoAfterHalfASecond()
    {
        ExchangeRig r({}, TMeterLink::DefaultQuietInterval);
        qputenv("KR_PORT_7", "/nonexistent/kr-port");
        TfmAbout about;
        QObject::connect(&r.exchanges, &TMeterExchanges::SerialNoChanged, &about, &TfmAbout::SetSerialNo);
        const Watch w = showAbout(r, about);
        QCOMPARE(w.whenAnswered, QStringLiteral("Failed to get serial number"));
        QVERIFY(w.answeredAfterMs >= 500);
        QCOMPARE(about.lblVersion->text(), QStringLiteral("1.0.9"));
        QVERIFY(r.prompts.asked().isEmpty());
    }

    void linkLabelsGlowAndOpen()
    {
        TfmAbout about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        TLinkLabel* link = about.lblMakerLink;
        QVERIFY(link->font().underline());
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::blue));
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
        QApplication::sendEvent(link, &enter);
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::red));
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(link, &leave);
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(Qt::blue));

        QStringList opened;
        int beeps = 0;
        bool succeed = true;
        setShellOpener([&](const QString& a) {
            opened << a;
            return succeed;
        });
        setShellBeeper([&] { ++beeps; });
        QTest::mouseClick(link, Qt::LeftButton);
        QCOMPARE(opened, QStringList{QString::fromLatin1(TfmAbout::MakerAddress)});
        QCOMPARE(beeps, 0);
        succeed = false;
        QTest::mouseClick(about.lblAuthorLink, Qt::LeftButton);
        QCOMPARE(opened.last(), QString::fromLatin1(TfmAbout::AuthorAddress));
        QCOMPARE(beeps, 1);
        setShellOpener({});
        setShellBeeper({});
    }

    // ---- The progress window during a download ----------------------------

    void progressWindowIsModalDuringTheRecordsStep()
    {
        ExchangeRig r;
        QVERIFY(r.start());
        TfmProgress fm;
        r.link.setProgress(&fm);
        QString modalTitle;
        QWidget* modal = nullptr;
        QObject::connect(&r.link.transport(), &SerialTransport::received, [&] {
            if (r.link.TimGotDataRecords.isActive() && !modal) {
                modal = QApplication::activeModalWidget();
                modalTitle = fm.windowTitle();
            }
        });
        QVERIFY(r.download());
        QCOMPARE(modal, static_cast<QWidget*>(&fm));
        QCOMPARE(modalTitle, QStringLiteral("Downloading Data from KR"));
        QVERIFY(!fm.isVisible());
        QCOMPARE(fm.percent(), 100);
        QCOMPARE(usedReadings(r.host.document), 40);
    }

    // Closing the real window, or Esc, is the exchange's Cancel: nothing is
    // kept, and nothing reaches the document from the rest of the reply.
    void closingTheProgressWindowByHandCancels_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("close box") << false;
        QTest::newRow("Esc") << true;
    }
    void closingTheProgressWindowByHandCancels()
    {
        QFETCH(bool, escape);
        SimMeter::Options o;
        o.faults = QStringList{QStringLiteral("trickle=30@4")};
        ExchangeRig r(o);
        QVERIFY(r.start());
        r.host.document.GetReading(3, 4).SetSpecies("kept");
        r.host.document.ClearModified();
        TfmProgress fm;
        r.link.setProgress(&fm);
        bool closed = false;
        QObject::connect(&r.link.transport(), &SerialTransport::received, [&] {
            if (r.link.TimGotDataRecords.isActive() && !closed && fm.isVisible()) {
                closed = true;
                QTimer::singleShot(0, &fm, [&fm, escape] {
                    if (escape)
                        QTest::keyClick(&fm, Qt::Key_Escape);
                    else
                        fm.close();
                });
            }
        });
        QVERIFY(r.download());
        QVERIFY(closed);
        QVERIFY(!fm.isVisible());
        QCOMPARE(r.exchanges.LastDownloadOutcome().kind, TDownloadOutcome::Cancelled);
        QCOMPARE(r.host.document.GetSpecies(3, 4), std::string("kept"));
        QTRY_VERIFY_WITH_TIMEOUT(!r.exchanges.Busy(), 10000);
        QCOMPARE(r.host.document.GetSpecies(3, 4), std::string("kept"));
        QCOMPARE(r.host.refreshCount, 0);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_About.moc"
