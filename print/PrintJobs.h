#pragma once
#include <QString>
#include <array>
#include <string>

#include "core/Readings.h"
#include "print/DataPrint.h"

namespace kr {

// The meter files a data printout takes: every one, or only the one shown
// (1..FileCount; any other number marks none).
std::array<bool, TFile::FileCount> DataPrintMarks(bool allFiles, int currentFile);

// The data printout's options as the Print dialog leaves them.
TDataPrintOptions DataPrintOptionsFor(const TPageSetup& page, bool allFiles, int currentFile, bool centigrade);

// The PDF file offered for a printout of a document or a list: beside it,
// named after it with ".pdf"; `untitled` for one never saved.
QString PdfNameFor(const std::string& fileName, const QString& untitled);

} // namespace kr
