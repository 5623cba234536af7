#include <QtTest>

#include "core/Regional.h"
#include "print/AcclimationChart.h"

using namespace kr;

namespace {

const TDateTime Day = EncodeDate(2026, 3, 2);

TLocationVisit visit(TDateTime when, double mean, double min, double max)
{
    TLocationVisit v;
    v.when = when;
    v.figures.count = 5;
    v.figures.mean = mean;
    v.figures.min = min;
    v.figures.max = max;
    return v;
}

// Three visits over four days, the target from a room at EMC 9.2 then 9.6.
TAcclimationChart sample()
{
    TAcclimationChart c;
    c.title = QStringLiteral("Subfloor");
    c.visits = {visit(Day + 0.6, 13.1, 11.8, 14.6), visit(Day + 2.4, 11.4, 10.5, 12.2),
                visit(Day + 4.5, 10.3, 9.9, 10.9)};
    c.target = {7.2L, 11.2L};
    c.emc = {{Day + 0.6, 9.2}, {Day + 2.4, 9.6}};
    return c;
}

struct TDrawn {
    QImage image;
    TAcclimationChartLayout layout;
};

TDrawn draw(const TAcclimationChart& chart, QSize size, int dpi)
{
    TDrawn d{QImage(size, QImage::Format_RGB32), {}};
    d.image.setDotsPerMeterX(qRound(dpi / 0.0254));
    d.image.setDotsPerMeterY(qRound(dpi / 0.0254));
    d.image.fill(Qt::white);
    QPainter painter(&d.image);
    QFont font;
    font.setPointSizeF(9);
    DrawAcclimationChart(painter, QRectF(QPointF(0, 0), size), chart, font);
    d.layout = AcclimationChartLayout(&d.image, QRectF(QPointF(0, 0), size), chart, font);
    return d;
}

bool green(QRgb c) { return qGreen(c) > qRed(c) + 15 && qGreen(c) > qBlue(c) + 15; }
bool blue(QRgb c) { return qBlue(c) > qRed(c) + 60; }

} // namespace

class TestAcclimationChart : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { setRegional(RegionalSettings{}); }

    void sizes_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("dpi");
        QTest::newRow("small") << QSize(500, 200) << 96;
        QTest::newRow("window") << QSize(500, 220) << 96;
        QTest::newRow("page") << QSize(2000, 800) << 300;
    }
    // The band spans the target's heights across the plot's whole width, and
    // time runs left to right with the dots at the means.
    void sizes()
    {
        QFETCH(QSize, size);
        QFETCH(int, dpi);
        const TAcclimationChart chart = sample();
        const TDrawn d = draw(chart, size, dpi);
        const TAcclimationChartLayout& l = d.layout;
        const double high = l.y(11.2), low = l.y(7.2);
        for (int x : {int(l.plot.left()) + 3, int(l.plot.right()) - 3}) {
            QList<int> rows;
            for (int y = 0; y < size.height(); ++y)
                if (green(d.image.pixel(x, y)))
                    rows << y;
            QVERIFY(!rows.isEmpty());
            QVERIFY2(rows.first() >= high - 3 && rows.last() <= low + 3, qPrintable(QString::number(x)));
            QVERIFY(rows.last() - rows.first() > (low - high) * 0.9);
        }
        double previous = l.plot.left();
        for (const TLocationVisit& v : chart.visits) {
            const double x = l.x(v.when);
            QVERIFY(x > previous);
            previous = x;
            QVERIFY(blue(d.image.pixel(int(x), int(l.y(double(v.figures.mean))))));
            QVERIFY(blue(d.image.pixel(int(x), int(l.y(double(v.figures.max + v.figures.mean) / 2)))));
        }
        // To look at: KR_CHART_PNG=/tmp/chart.png keeps the page and, as
        // chart-small.png, the window's image.
        const QString png = qEnvironmentVariable("KR_CHART_PNG");
        const QString small = QString(png).replace(QStringLiteral(".png"), QStringLiteral("-small.png"));
        if (!png.isEmpty() && QByteArray(QTest::currentDataTag()) != "small")
            d.image.save(size.width() < 1000 ? small : png);
    }

    void scale_data()
    {
        QTest::addColumn<QList<double>>("visitMeans");  // each with min 0.5 below, max 0.5 above
        QTest::addColumn<double>("at");                 // days after the first visit for every later one
        QTest::newRow("one visit") << QList<double>{8.0} << 0.0;
        QTest::newRow("same time") << QList<double>{8.0, 9.0, 12.0} << 0.0;
        QTest::newRow("wide") << QList<double>{3.0, 60.0} << 30.0;
        QTest::newRow("near zero") << QList<double>{0.6, 1.0} << 1.0;
    }
    // 4 to 8 whole-point labels cover every figure and the target; the time
    // axis always has a width.
    void scale()
    {
        QFETCH(QList<double>, visitMeans);
        QFETCH(double, at);
        TAcclimationChart chart;
        for (int i = 0; i < visitMeans.size(); ++i)
            chart.visits.push_back(visit(Day + i * at, visitMeans[i], visitMeans[i] - 0.5, visitMeans[i] + 0.5));
        chart.visits.back().figures.min = chart.visits.back().figures.max = chart.visits.back().figures.mean;
        const TAcclimationChartLayout l = draw(chart, QSize(500, 200), 96).layout;
        const double labels = (l.high - l.low) / l.step + 1;
        QVERIFY2(labels >= 4 && labels <= 8, qPrintable(QString::number(labels)));
        QVERIFY(l.low >= 0 && l.low <= 6 && l.high >= 9);
        for (double m : visitMeans)
            QVERIFY(l.low < m - 0.5 && l.high > m + 0.5);
        QVERIFY(l.from < Day && l.to > Day + at * (visitMeans.size() - 1));
    }

    void emptyChartSaysSo()
    {
        TAcclimationChart chart;
        chart.title = QStringLiteral("Subfloor");
        const QImage image = AcclimationChartImage(chart, QSize(400, 200), QFont());
        int inked = 0;
        for (int y = 50; y < 150; ++y)
            for (int x = 100; x < 300; ++x)
                inked += qGray(image.pixel(x, y)) < 128;
        QVERIFY(inked > 20);  // "No readings" in the middle
    }
};

QTEST_MAIN(TestAcclimationChart)
#include "tst_acclimation_chart.moc"
