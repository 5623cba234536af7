#include "core/Emc.h"

#include <cmath>
#include <cstdio>

namespace kr {

namespace {

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

TEmc EquilibriumMoisture(double celsius, double humidityPercent)
{
    TEmc emc;
    if (!std::isfinite(celsius) || celsius < EmcLowestCelsius || celsius > EmcHighestCelsius)
        emc.refusal = "the equilibrium moisture is known from " + number(EmcLowestCelsius) + " to " +
                      number(EmcHighestCelsius) + " \u00b0C (30 to 212 \u00b0F); " +
                      (std::isfinite(celsius) ? number(celsius) + " \u00b0C is outside that" : "no temperature was given");
    else if (!std::isfinite(humidityPercent) || humidityPercent < 0 || humidityPercent > EmcHighestHumidity)
        emc.refusal = "the equilibrium moisture is known for a relative humidity from 0 to " + number(EmcHighestHumidity) +
                      " %; " +
                      (std::isfinite(humidityPercent) ? number(humidityPercent) + " % is outside that"
                                                      : "no humidity was given");
    if (!emc.Known())
        return emc;
    const double t = celsius;
    const double w = 349 + 1.29 * t + 0.0135 * t * t;
    const double k = 0.805 + 0.000736 * t - 0.00000273 * t * t;
    const double k1 = 6.27 - 0.00938 * t - 0.000303 * t * t;
    const double k2 = 1.91 + 0.0407 * t - 0.000293 * t * t;
    const double kh = k * humidityPercent / 100;
    emc.percent = 1800 / w * (kh / (1 - kh) + (k1 * kh + 2 * k1 * k2 * kh * kh) / (1 + k1 * kh + k1 * k2 * kh * kh));
    return emc;
}

} // namespace kr
