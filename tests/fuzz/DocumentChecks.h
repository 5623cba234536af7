#pragma once
// Data-file checks shared by the data file and meter line targets.
#include <string>

#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "core/Readings.h"
#include "tests/fuzz/FuzzSupport.h"

namespace kr::fuzz {

// Opens the bytes as a data file through the scratch file; false when the
// reader refuses them with a message.
inline bool loadDocument(TFile& doc, const std::string& text)
{
    static const std::string path = scratchPath("document.krx");
    writeScratch(path, text);
    try {
        doc.LoadFromFile(path);
    } catch (const KrError&) {
        return false;
    }
    return true;
}

// A year below 1000 is written with fewer than four digits, which the fixed
// four-column year of a record then reads with trailing blanks and refuses:
// such a date, found only in a file the program did not write, does not
// survive a save. The rest of its record must.
inline std::string withoutOldDate(std::string record, const TReading& original)
{
    int year = 0, month = 0, day = 0;
    DecodeDate(original.GetDateTime(), year, month, day);
    if (year < 1000)
        record.replace(17, 20, 20, ' ');
    return record;
}

// Everything a data file holds, each field as the file carries it: texts as
// they are, numbers and times as the record writes them.
inline void expectSameDocument(const TFile& a, const TFile& b)
{
    FUZZ_CHECK(DateTimeToFileText(a.GetDateStamp()) == DateTimeToFileText(b.GetDateStamp()));
    for (int i = 1; i <= TFile::FileCount; ++i) {
        FUZZ_CHECK(a.GetComment(i) == b.GetComment(i));
        for (int j = 1; j <= TSubFile::RecordCount; ++j) {
            const TReading& x = a.GetReading(i, j);
            const TReading& y = b.GetReading(i, j);
            // Trailing spaces are trimmed only from texts of two or more
            // characters, so a record cut right after a one-space species
            // keeps it, while the saved record pads it to 16 and loses it.
            // Only a file the program did not write holds such a record.
            if (!(x.GetSpecies() == " " && y.GetSpecies().empty()))
                FUZZ_CHECK(x.GetSpecies() == y.GetSpecies());
            FUZZ_CHECK(x.GetNote() == y.GetNote());
            FUZZ_CHECK(x.GetSGApplies() == y.GetSGApplies());
            FUZZ_CHECK(x.GetTemperature() == y.GetTemperature());
            FUZZ_CHECK(withoutOldDate(x.GetRecordText(), x) == withoutOldDate(y.GetRecordText(), x));
        }
    }
    FUZZ_CHECK(a.GetNotes() == b.GetNotes());
}

} // namespace kr::fuzz
