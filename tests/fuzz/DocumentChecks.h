#pragma once
// Data-file checks shared by the data file and meter line targets.
#include <string>
#include <string_view>

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

// A record as a save keeps it: line breaks become blanks, and two things
// that cannot survive their fixed columns are left out. A year below 1000 is
// written with fewer than four digits, which the four-column year then reads
// with trailing blanks and refuses; a number of more than four digits before
// the point is written in scientific notation, which its eight columns may
// cut short. Neither comes from the meter or a file the program wrote.
inline std::string keptRecord(const TReading& reading, const TReading& original)
{
    std::string record = reading.GetRecordText();
    for (char& c : record)
        if (c == '\r' || c == '\n')
            c = ' ';
    int year = 0, month = 0, day = 0;
    DecodeDate(original.GetDateTime(), year, month, day);
    if (year < 1000)
        record.replace(17, 20, 20, ' ');
    const std::string originalRecord = original.GetRecordText();
    for (std::size_t column : {37, 45}) {    // SG and moisture, eight columns each
        const std::string_view field = std::string_view(originalRecord).substr(column, 8);
        if (field.find('E') != std::string_view::npos && field.back() != ' ')
            record.replace(column, 8, 8, ' ');
    }
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
            // A species of spaces only stays a reading, padded to its field:
            // the file keeps that it is blank, not how many spaces it had.
            const bool blank = x.IsUsed() && x.GetSpecies().find_first_not_of(' ') == std::string::npos;
            if (blank)
                FUZZ_CHECK(y.IsUsed() && y.GetSpecies().find_first_not_of(' ') == std::string::npos);
            else
                FUZZ_CHECK(x.GetSpecies() == y.GetSpecies());
            FUZZ_CHECK(x.GetNote() == y.GetNote());
            FUZZ_CHECK(x.GetSGApplies() == y.GetSGApplies());
            FUZZ_CHECK(x.GetTemperature() == y.GetTemperature());
            FUZZ_CHECK(keptRecord(x, x) == keptRecord(y, x));
        }
    }
    FUZZ_CHECK(a.GetNotes() == b.GetNotes());
}

} // namespace kr::fuzz
