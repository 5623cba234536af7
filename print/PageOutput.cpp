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

std::variant<QByteArray, TPdfResult> MakePdf(const TPrintJob& job, const QPageLayout& layout)
{
    QBuffer pages;
    pages.open(QIODevice::WriteOnly);
    bool drawn = false;
    {
        QPdfWriter writer(&pages);
        writer.setResolution(PdfResolution);
        writer.setPageLayout(layout);
        writer.setCreator(QStringLiteral("KR"));
        if (std::optional<QString> why = JobRefusal(job, writer))
            return TPdfResult{TPdfResult::Refused, *why};
        drawn = RenderJob(job, writer);
    }
    if (!drawn)
        return TPdfResult{TPdfResult::Failed, QStringLiteral("The PDF pages could not be drawn.")};
    return pages.data();
}

TPdfResult WritePdf(const TPrintJob& job, const QString& path, const QPageLayout& layout)
{
    auto failed = [](const QString& message) { return TPdfResult{TPdfResult::Failed, message}; };
    const QString shown = QDir::toNativeSeparators(path);
    // The pages are made in memory and written like every other file, so a
    // full disk is reported and leaves an older file as it was.
    const std::variant<QByteArray, TPdfResult> made = MakePdf(job, layout);
    if (const auto* notMade = std::get_if<TPdfResult>(&made))
        return notMade->outcome == TPdfResult::Refused ? *notMade
                                                       : failed(QStringLiteral("Cannot write the PDF file %1.").arg(shown));
    const QByteArray& bytes = std::get<QByteArray>(made);
    switch (writeFileAtomically(QFile::encodeName(path).toStdString(),
                                std::string_view(bytes.constData(), std::size_t(bytes.size())))) {
    case WriteResult::Ok:
        return {};
    case WriteResult::WriteFailed:
        return failed(QStringLiteral("Cannot write the file %1.").arg(shown));
    case WriteResult::NotAFile:
        return failed(QStringLiteral("%1 is not a regular file; nothing was written.").arg(shown));
    case WriteResult::CreateFailed:
    case WriteResult::RenameFailed:
        break;
    }
    return failed(QStringLiteral("Cannot create the file %1.").arg(shown));
}

} // namespace kr
