#include "mainwindow/TargetBand.h"

#include <QAreaSeries>
#include <QLineSeries>
#include <QPen>

#include "platform/Text.h"

namespace kr {

namespace {

const QColor BandColour(120, 200, 130, 90);

QLineSeries* edge(double y, double from, double to)
{
    auto* line = new QLineSeries;
    line->append(from, y);
    line->append(to, y);
    line->setPen(QPen(Qt::NoPen));
    return line;
}

} // namespace

QAreaSeries* TargetBand(const MoistureRange& range, double from, double to)
{
    QLineSeries* upper = edge(double(range.high), from, to);
    QLineSeries* lower = edge(double(range.low), from, to);
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

} // namespace kr
