#pragma once
#include <optional>
#include <string>
#include <vector>

#include "print/PageOutput.h"
#include "print/Printing.h"

namespace kr {

class TFactorCatalogue;

inline constexpr const char* LibraryPrintTitle = "Kestrune Library";

// Why the margins leave no room for a line of the list (MarginRefusal), or
// nothing when they do.
std::optional<QString> LibraryPrintRefusal(TPrintSurface& surface, const TPageSetup& setup);

// Prints the selected list, name and SG of each code in list order, on one
// page; a code the catalogue lacks leaves its line empty. `fileName` is the
// footer's text ("None" for a list never saved). Prints nothing and returns
// false when LibraryPrintRefusal() has a reason.
bool PrintLibrary(TPrintSurface& surface, const std::vector<std::string>& codes, const TFactorCatalogue& catalogue,
                  const std::string& fileName, const TPageSetup& setup);

// The library printout as a job; `catalogue` must outlive the job.
TPrintJob LibraryPrintJob(std::vector<std::string> codes, const TFactorCatalogue& catalogue, std::string fileName,
                          const TPageSetup& setup);

} // namespace kr
