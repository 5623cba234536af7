#pragma once
#include <QString>

#include "tools/guide/GuideText.h"

namespace kr::guide {

struct PdfOptions {
    QString version;    // the program's version, on the cover and in the footer
    QString baseDir;    // where the guide's image paths start
};

struct PdfResult {
    bool ok = false;
    int pages = 0;
    QString message;    // what went wrong, or notes such as a font stand-in
};

// Lays the guide out on A4 pages: a cover (a page of its own, or a title
// block on the first page with "Cover: block"), a contents page when
// "Contents: yes", then the text with a running head and a footer with the
// page number. Real text in embedded fonts; written whole or not at all.
PdfResult writeGuidePdf(const Guide& guide, const QString& outPath, const PdfOptions& options);

} // namespace kr::guide
