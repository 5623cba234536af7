// kr-guide: turns a user guide written in docs/guide into a PDF.
//
//     kr-guide [--version V] GUIDE.txt OUT.pdf
//
// Image paths in the guide start at the guide's own folder. Exit status 0
// when the PDF was written, 1 for wrong usage, 2 when the guide cannot be
// read or laid out; the old PDF then stays as it was.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>
#include <cstdio>

#include "tools/guide/GuidePdf.h"
#include "tools/guide/GuideText.h"

namespace {

int usage()
{
    std::fputs("usage: kr-guide [--version V] GUIDE OUT.pdf\n", stderr);
    return 1;
}

void say(const QString& text) { std::fprintf(stderr, "kr-guide: %s\n", qPrintable(text)); }

// A build machine often has no XDG_RUNTIME_DIR; Qt's note about it is no
// news to whoever reads the build log. Everything else is passed on.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    std::fprintf(stderr, "%s%s\n", type >= QtWarningMsg ? "kr-guide: " : "", qPrintable(message));
}

} // namespace

int main(int argc, char** argv)
{
    // Fonts need a GUI application; a build machine has no display.
    qInstallMessageHandler(quietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QStringList args = QCoreApplication::arguments().mid(1);
    QString version;
    if (args.size() >= 2 && args.first() == QLatin1String("--version")) {
        version = args.at(1);
        args = args.mid(2);
    }
    if (args.size() != 2)
        return usage();
    const QString input = args.at(0);
    const QString output = args.at(1);

    QFile in(input);
    if (!in.open(QIODevice::ReadOnly)) {
        say(QStringLiteral("cannot read %1: %2").arg(input, in.errorString()));
        return 2;
    }
    QString why;
    const auto guide = kr::guide::parseGuide(QString::fromUtf8(in.readAll()), &why);
    if (!guide) {
        say(QStringLiteral("%1: %2").arg(input, why));
        return 2;
    }
    kr::guide::PdfOptions options;
    options.version = version;
    options.baseDir = QFileInfo(input).absolutePath();
    const kr::guide::PdfResult result = kr::guide::writeGuidePdf(*guide, output, options);
    if (!result.ok) {
        say(QStringLiteral("%1: %2").arg(input, result.message));
        return 2;
    }
    if (!result.message.isEmpty())
        say(result.message);
    return 0;
}
