#include "print/PageOutput.h"

#include <QDir>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(QStringLiteral("Cannot create the file %1.\r\n%2").arg(shown, file.errorString()));
    bool drawn = false;
    {
        QPdfWriter writer(&file);
        writer.setResolution(PdfResolution);
        writer.setPageLayout(layout);
        writer.setCreator(QStringLiteral("KR"));
        if (std::optional<QString> why = JobRefusal(job, writer)) {
            file.cancelWriting();
            return {TPdfResult::Refused, *why};
        }
        drawn = RenderJob(job, writer);
    }
    if (!drawn) {
        file.cancelWriting();
        return failed(QStringLiteral("Cannot write the PDF file %1.").arg(shown));
    }
    if (!file.commit())
        return failed(QStringLiteral("Cannot write the file %1.\r\n%2").arg(shown, file.errorString()));
    return {};
}

} // namespace kr
