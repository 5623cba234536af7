#pragma once
#include <initializer_list>
#include <string>

#include "core/Mtlutils.h"
#include "core/Readings.h"

namespace kr::test {

// Puts readings of the given moistures into a meter file from slot `first`
// on: species, SG, a date and a temperature as the meter would store them.
inline void putMoistures(TFile& doc, int file, std::initializer_list<long double> moistures, int first = 1)
{
    int rec = first;
    for (long double mc : moistures) {
        TReading& r = doc.GetReading(file, rec);
        r.SetSpecies("Oak");
        r.SetSG(0.67L);
        r.SetSGApplies(1);
        r.SetMoisture(mc);
        r.SetTemperature(18 + rec % 5);
        r.SetDateTime(EncodeDate(2026, 3, 5) + EncodeTime(9, rec, 0, 0));
        ++rec;
    }
}

// Readings on one of the meter's reference scales: a scale name and no SG.
inline void putReference(TFile& doc, int file, const std::string& scale, std::initializer_list<long double> values,
                         int first = 1)
{
    putMoistures(doc, file, values, first);
    for (int rec = first; rec < first + int(values.size()); ++rec) {
        doc.GetReading(file, rec).SetSpecies(scale);
        doc.GetReading(file, rec).SetSG(0);
        doc.GetReading(file, rec).SetSGApplies(0);
    }
}

// A site as the glance window shows it: a subfloor (file 2) mostly above a
// 6-9 % range with one missed reading (0), the flooring (file 5) mostly
// inside it, and one reading on its own (file 9).
inline void fillGlanceSample(TFile& doc)
{
    doc.Clear();
    doc.SetComment(2, "Subfloor, living room");
    putMoistures(doc, 2, {11.2L, 12.4L, 10.8L, 0, 13.1L, 11.9L, 12.2L, 10.5L, 11.7L, 12.8L, 9.4L, 11.1L});
    doc.SetComment(5, "Oak boards, delivered Monday");
    putMoistures(doc, 5, {7.8L, 8.2L, 8.9L, 7.4L, 9.6L, 8.1L, 7.9L, 5.6L, 8.4L, 8.8L, 7.7L, 8.0L, 8.3L, 9.2L, 7.6L});
    putMoistures(doc, 9, {14.5L});
    doc.ClearModified();
}

} // namespace kr::test
