#pragma once
#include <QString>
#include <array>
#include <optional>

#include "core/Readings.h"
#include "print/PageOutput.h"
#include "print/Printing.h"

namespace kr {

// What a data printout needs besides the document.
struct TDataPrintOptions : TPageSetup {
    std::array<bool, TFile::FileCount> marks{};   // the meter files to print
    bool centigrade = true;
};

// The x of each column of the data printout.
struct TDataColumns {
    int file = 0, rec = 0, date = 0, temp = 0, species = 0, sg = 0, mc = 0, notes = 0;
};
TDataColumns DataColumns(const TPrintSurface& surface, int left);

// Why the margins leave no room for a line of readings (MarginRefusal), or
// nothing when they do.
std::optional<QString> DataPrintRefusal(TPrintSurface& surface, const TDataPrintOptions& options);

// Prints the marked meter files and the notes onto the surface, which is on
// its first page; a new page is started for each further page. Prints nothing
// and returns false when DataPrintRefusal() has a reason.
bool PrintData(TPrintSurface& surface, const TFile& doc, const TDataPrintOptions& options);

// The data printout as a job for a printer, a preview or a PDF file; `doc`
// must outlive the job.
TPrintJob DataPrintJob(const TFile& doc, const TDataPrintOptions& options);

inline constexpr const char* DataPrintTitle = "Varnel Kestrune";

} // namespace kr
