// The archive's import: whatever opens as a data file is kept once and comes
// back out of the archive as the same document.
#include <QCoreApplication>
#include <QFileInfo>

#include "archive/Archive.h"
#include "tests/fuzz/DocumentChecks.h"

using namespace kr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TArchive archive(QString::fromStdString(fuzz::scratchPath("archive.sqlite")));
    const std::string text = fuzz::bytes(data, size);
    TKRFile first;
    if (!fuzz::loadDocument(first, text))
        return 0;
    TArchive::Source source;
    source.content = QByteArray::fromStdString(text);
    TArchive::Kept kept;
    try {
        kept = archive.Keep(first, source);
    } catch (const ArchiveError& e) {
        // Refused with a reason: only values no meter or file of ours holds.
        FUZZ_CHECK(QString::fromStdString(e.what()).contains(QStringLiteral("no meter gives")));
        return 0;
    }
    if (kept.already)
        return 0;
    TKRFile second;
    archive.Export(kept.sourceId, second);
    // What was kept: every reading in use, comments and notes; an empty
    // record's leftovers and the document's stamp are no readings.
    second.SetDateStamp(first.GetDateStamp());
    for (int f = 1; f <= TFile::FileCount; ++f)
        for (int slot = 1; slot <= TSubFile::RecordCount; ++slot) {
            TReading& x = first.GetReading(f, slot);
            FUZZ_CHECK(x.IsUsed() == second.GetReading(f, slot).IsUsed());
            if (!x.IsUsed())
                second.GetReading(f, slot).SetRecordText(x.GetRecordText());
        }
    fuzz::expectSameDocument(first, second);
    FUZZ_CHECK(archive.Keep(first, source).already);
    return 0;
}
