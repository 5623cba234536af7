// Times the PDF of a full document: 625 readings, every meter file commented,
// a note on every fifth reading and 80 lines of notes (a page of them).
//
//   kr-print-bench [--runs N] [--cli PATH]
//
// "kr-cli" is the whole command as a user runs it (start, load, draw, write);
// "in-process" is the drawing and writing alone.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

#include "core/Regional.h"
#include "print/DataPrint.h"
#include "print/PainterSurface.h"
#include "tests/support/FullDocument.h"

using namespace kr;

namespace {

void report(const char* what, QList<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-11s median %7.1f ms   min %7.1f ms   max %7.1f ms   (%lld runs)\n", what, ms[ms.size() / 2],
                ms.first(), ms.last(), static_cast<long long>(ms.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int runs = 10;
    QString cli = QStringLiteral(KR_CLI_PATH);
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--runs")
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--cli")
            cli = args[i + 1];
    }

    QTemporaryDir dir;
    TKRFile doc;
    test::fillFullDocument(doc);
    const QString input = dir.filePath("full.krx");
    doc.SaveToFile(input.toStdString());

    QList<double> whole, drawn;
    int pages = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start(cli, {"--home", dir.path(), "print", input, "-o", dir.filePath("cli.pdf")});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            std::fprintf(stderr, "kr-cli failed: %s\n", p.readAllStandardError().constData());
            return 1;
        }
        whole << double(t.nsecsElapsed()) / 1e6;

        TDataPrintOptions options;
        options.marks.fill(true);
        t.restart();
        if (WritePdf(DataPrintJob(doc, options), dir.filePath("own.pdf"), PdfPageLayout()).outcome != TPdfResult::Written)
            return 1;
        drawn << double(t.nsecsElapsed()) / 1e6;
    }
    QProcess info;
    info.start("pdfinfo", {dir.filePath("cli.pdf")});
    if (info.waitForFinished()) {
        const QString text = QString::fromUtf8(info.readAllStandardOutput());
        const auto at = text.indexOf("Pages:");
        if (at >= 0)
            pages = text.mid(at + 6).section('\n', 0, 0).trimmed().toInt();
    }
    std::printf("full document: 625 readings, 80 note lines, %d pages\n", pages);
    report("kr-cli", whole);
    report("in-process", drawn);
    return 0;
}
