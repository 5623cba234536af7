#include "mainwindow/TargetBand.h"

#include <QAreaSeries>
#include <QChart>
#include <QFont>
#include <QLineSeries>
#include <QPen>

#include "platform/Text.h"

namespace kr {

namespace {

const QColor BandColour(120, 200, 130, 90);

QLineSeries* edge(double moisture, double from, double to, Qt::Orientation direction)
{
    auto* line = new QLineSeries;
    if (direction == Qt::Horizontal) {
        line->append(from, moisture);
        line->append(to, moisture);
    } else {
        line->append(moisture, from);
        line->append(moisture, to);
    }
    line->setPen(QPen(Qt::NoPen));
    return line;
}

} // namespace

QAreaSeries* TargetBand(const MoistureRange& range, double from, double to, Qt::Orientation direction)
{
    // The area is the outline of one edge and back along the other, so a
    // standing band is a rectangle just as a lying one is.
    QLineSeries* upper = edge(double(range.high), from, to, direction);
    QLineSeries* lower = edge(double(range.low), from, to, direction);
    auto* band = new QAreaSeries(upper, lower);
    // The area does not own its edges: they go with it.
    upper->setParent(band);
    lower->setParent(band);
    band->setName(QStringLiteral("Target range %1 to %2 %")
                      .arg(fromCp1252(MoistureFigureText(range.low)), fromCp1252(MoistureFigureText(range.high))));
    band->setColor(BandColour);
    band->setBorderColor(BandColour.darker(130));
    return band;
}

QChart* NewMoistureChart(const QString& objectName, const QFont& windowFont)
{
    auto* chart = new QChart;
    chart->setObjectName(objectName);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setMargins(QMargins(4, 4, 4, 4));
    QFont titleFont = windowFont;
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    return chart;
}

} // namespace kr
