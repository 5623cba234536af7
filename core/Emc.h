#pragma once
#include <string>

namespace kr {

// The moisture content wood settles at in air of a given temperature and
// relative humidity (% of its oven-dry weight), from the Forest Products
// Laboratory's sorption equation (the Hailwood-Horrobin form with Simpson's
// coefficients), the equation the Wood Handbook's table of EMC is made from.
struct TEmc {
    double percent = 0;
    std::string refusal;  // why there is no value; empty when there is one
    bool Known() const { return refusal.empty(); }
};

// The range the equation was fitted over.
constexpr double EmcLowestCelsius = -1;
constexpr double EmcHighestCelsius = 100;
constexpr double EmcHighestHumidity = 98;

TEmc EquilibriumMoisture(double celsius, double humidityPercent);

inline double CelsiusOf(double fahrenheit) { return (fahrenheit - 32) * 5 / 9; }

} // namespace kr
