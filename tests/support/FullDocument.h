#pragma once
#include <string>
#include <vector>

#include "core/Readings.h"

namespace kr::test {

// A document the meter can hold no more of: 625 readings, each with its own
// date and time (k minutes after 1 March 2026 08:00, k = 0..624), species,
// moisture and note, every meter file commented, and `noteLines` notes.
inline void fillFullDocument(TFile& doc, int noteLines = 80)
{
    static const char* const species[] = {"Red Oak", "Douglas Fir", "Southern Pine", "Tasmanian Oak", "Jarrah",
                                          "Spotted Gum", "Radiata Pine", "Hard Maple"};
    doc.Clear();
    doc.SetDateStamp(ComposeDateTime(EncodeDate(2026, 3, 1), EncodeTime(7, 0, 0, 0)));
    for (int f = 1; f <= TFile::FileCount; ++f) {
        doc.SetComment(f, "Room " + std::to_string(f));
        for (int r = 1; r <= TSubFile::RecordCount; ++r) {
            const int k = (f - 1) * TSubFile::RecordCount + (r - 1);
            TReading& reading = doc.GetReading(f, r);
            reading.SetSpecies(species[k % 8]);
            reading.SetSGApplies(1);
            reading.SetSG(0.40L + (k % 30) / 100.0L);
            reading.SetMoisture(6.0L + (k % 190) / 10.0L);
            reading.SetTemperature(12 + k % 20);
            reading.SetDateTime(ComposeDateTime(EncodeDate(2026, 3, 1 + k / 720),
                                                EncodeTime(8 + (k % 720) / 60, k % 60, 0, 0)));
            doc.SetNote(f, r, k % 5 == 0 ? "checked twice" : "");
        }
    }
    std::vector<std::string> notes;
    for (int i = 1; i <= noteLines; ++i)
        notes.push_back("Note line " + std::to_string(i) + ": moisture taken at 20 mm depth, pins across the grain.");
    doc.SetNotes(notes);
}

} // namespace kr::test
