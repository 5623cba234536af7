#include "print/PrintJobs.h"

#include <QDir>
#include <QFileInfo>

#include "platform/Text.h"

namespace kr {

std::array<bool, TFile::FileCount> DataPrintMarks(bool allFiles, int currentFile)
{
    std::array<bool, TFile::FileCount> marks{};
    if (allFiles)
        marks.fill(true);
    else if (currentFile >= 1 && currentFile <= TFile::FileCount)
        marks[std::size_t(currentFile - 1)] = true;
    return marks;
}

TDataPrintOptions DataPrintOptionsFor(const TPageSetup& page, bool allFiles, int currentFile, bool centigrade)
{
    TDataPrintOptions options;
    static_cast<TPageSetup&>(options) = page;
    options.marks = DataPrintMarks(allFiles, currentFile);
    options.centigrade = centigrade;
    return options;
}

QString PdfNameFor(const std::string& fileName, const QString& untitled)
{
    // The document and the library list both say "None" until saved.
    if (fileName == TFile::NoFileName)
        return untitled;
    const QFileInfo file(fromNativePath(fileName));
    return file.dir().filePath(file.completeBaseName() + QStringLiteral(".pdf"));
}

} // namespace kr
