#include "print/PageOutput.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>

#include "core/AtomicFile.h"
#include "print/PainterSurface.h"

namespace kr {

std::optional<QString> JobRefusal(const TPrintJob& job, QPagedPaintDevice& device)
{
    if (!job.refusal)
        return std::nullopt;
    TPainterSurface measure(nullptr, device);
    return job.refusal(measure);
}

bool RenderJob(const TPrintJob& job, QPagedPaintDevice& device)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    TPainterSurface surface(&painter, device);
    if (job.draw)
        job.draw(surface);
    return painter.end();
}

TPdfResult WritePdf(const TPrintJob& job, const QString& path, const QPageLayout& layout)
{
    auto failed = [](const QString& message) { return TPdfResult{TPdfResult::Failed, message}; };
    const QString shown = QDir::toNativeSeparators(path);
    // The pages are made in memory and written like every other file, so a
    // full disk is reported and leaves an older file as it was.
    QBuffer pages;
    pages.open(QIODevice::WriteOnly);
    bool drawn = false;
    {
        QPdfWriter writer(&pages);
        writer.setResolution(PdfResolution);
        writer.setPageLayout(layout);
        writer.setCreator(QStringLiteral("KR"));
        if (std::optional<QString> why = JobRefusal(job, writer))
            return {TPdfResult::Refused, *why};
        drawn = RenderJob(job, writer);
    }
    if (!drawn)
        return failed(QStringLiteral("Cannot write the PDF file %1.").arg(shown));
    const QByteArray& bytes = pages.data();
    switch (writeFileAtomically(QFile::encodeName(path).toStdString(),
                                std::string_view(bytes.constData(), std::size_t(bytes.size())))) {
    case WriteResult::Ok:
        return {};
    case WriteResult::WriteFailed:
        return failed(QStringLiteral("Cannot write the file %1.").arg(shown));
    case WriteResult::CreateFailed:
    case WriteResult::RenameFailed:
        break;
    }
    return failed(QStringLiteral("Cannot create the file %1.").arg(shown));
}

} // namespace kr
