#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

#include "print/Surface.h"

class QPageLayout;
class QPagedPaintDevice;

namespace kr {

// A printout as the output side sees it: what may refuse it before any page
// is started, and what draws its pages.
struct TPrintJob {
    // Why the job must not start, measured on the surface; nothing when it may.
    std::function<std::optional<QString>(TPrintSurface&)> refusal;
    std::function<void(TPrintSurface&)> draw;
};

// The refusal measured on the device without starting a job on it.
std::optional<QString> JobRefusal(const TPrintJob& job, QPagedPaintDevice& device);

// Draws the job's pages on the device (a printer, a preview, a PDF writer);
// false when painting could not start there.
bool RenderJob(const TPrintJob& job, QPagedPaintDevice& device);

// Writes the job's pages as a PDF file at PdfResolution with the layout
// given. The file is written whole beside the target and then put in its
// place, so a refusal or a failure leaves an older file untouched.
struct TPdfResult {
    enum Outcome { Written, Refused, Failed } outcome = Written;
    QString message;   // for the user, when not written
};
TPdfResult WritePdf(const TPrintJob& job, const QString& path, const QPageLayout& layout);
// The same pages as the bytes of a PDF file, or why there are none.
std::variant<QByteArray, TPdfResult> MakePdf(const TPrintJob& job, const QPageLayout& layout);

} // namespace kr
