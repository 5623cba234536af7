// Meter record lines, cut at carriage returns as the line collector hands
// them on: what imports saves to a data file that opens again to the same readings.
#include "tests/fuzz/DocumentChecks.h"

using namespace kr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TKRFile imported;
    try {
        imported.ImportMeterLines(fuzz::splitAfter(fuzz::bytes(data, size), '\r'));
    } catch (const KrError&) {
        return 0;
    }
    const std::string saved = imported.SaveToText();
    TKRFile reopened;
    FUZZ_CHECK(fuzz::loadDocument(reopened, saved));
    FUZZ_CHECK(DateTimeToFileText(reopened.GetDateStamp()) == DateTimeToFileText(imported.GetDateStamp()));
    for (int i = 1; i <= TFile::FileCount; ++i)
        for (int j = 1; j <= TSubFile::RecordCount; ++j) {
            const TReading& original = imported.GetReading(i, j);
            FUZZ_CHECK(fuzz::keptRecord(reopened.GetReading(i, j), original) == fuzz::keptRecord(original, original));
        }
    return 0;
}
