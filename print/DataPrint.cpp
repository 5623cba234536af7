#include "print/DataPrint.h"

#include "platform/Text.h"
#include "print/Printing.h"

namespace kr {

namespace {

int lineHeight(const TPrintSurface& s) { return s.TextHeight(QStringLiteral("X")); }

void draw(TPrintSurface& s, TTextAlign align, int x, int y, const QString& text)
{
    s.SetAlign(align);
    s.TextOut(x, y, text);
}

} // namespace

TDataColumns DataColumns(const TPrintSurface& s, int left)
{
    auto w = [&s](const char* text) { return s.TextWidth(QString::fromLatin1(text)); };
    TDataColumns c;
    c.file = left + w("  XX");
    c.rec = c.file + w("  XXXXX");
    c.date = c.rec + w(" XX");
    c.temp = c.date + w("38 September 8888 HH:MM:SS  XXX");
    c.species = c.temp + w("  ");
    c.sg = c.species + w("XXXXXXXXXXXXX  XXX");
    c.mc = c.sg + w(" XXX.X%");
    c.notes = c.mc + w("XX");
    return c;
}

std::optional<QString> DataPrintRefusal(TPrintSurface& s, const TDataPrintOptions& o)
{
    const TPrintFont before = s.Font();
    s.SetFont(o.font);
    // A line runs to the moisture column (the notes may run on); the page
    // must hold four lines below its header, or no slot would ever print.
    const TReportRoom room{QStringLiteral("the readings"), DataColumns(s, 0).mc, 4 * lineHeight(s)};
    s.SetFont(before);
    return MarginRefusal(s, o, room);
}

bool PrintData(TPrintSurface& s, const TFile& doc, const TDataPrintOptions& o)
{
    if (DataPrintRefusal(s, o))
        return false;
    s.SetFont(o.font);
    s.SetAlign(TTextAlign::LeftTop);
    const TPageGeometry p = PageGeometry(s, o);
    const int h = lineHeight(s);
    const TDataColumns c = DataColumns(s, p.left);
    const QString title = QString::fromLatin1(DataPrintTitle);
    const QString name = fromNativePath(doc.GetFileName());
    int page = 1;
    auto header = [&] { return p.top + PrintPageHeader(s, p.width, p.left, p.top, title); };
    auto footer = [&] { PrintPageFooter(s, p.pageWidth, 0, p.pageHeight - p.bottom, name, page, o.now); };
    auto newPage = [&] {
        footer();
        s.NewPage();
        ++page;
    };
    const int readingsEnd = p.pageHeight - p.bottom - 4 * h;

    std::array<bool, TFile::FileCount + 1> headed{};
    int f = 1;
    int r = 1;
    int y = 0;
    while (f <= TFile::FileCount) {
        y = header();
        while (y < readingsEnd && f <= TFile::FileCount) {
            const TReading& reading = doc.GetReading(f, r);
            if (reading.IsUsed() && o.marks[std::size_t(f - 1)]) {
                // The heading goes before the file's first printed reading,
                // whichever record that is.
                if (!headed[std::size_t(f)]) {
                    headed[std::size_t(f)] = true;
                    y += h;
                    draw(s, TTextAlign::LeftTop, c.date, y, fromCp1252(doc.GetComment(f)));
                    y += h;
                    draw(s, TTextAlign::RightTop, c.file, y, QStringLiteral("File"));
                    draw(s, TTextAlign::RightTop, c.rec, y, QStringLiteral("Rec."));
                    draw(s, TTextAlign::LeftTop, c.date, y, QStringLiteral("Date/Time"));
                    draw(s, TTextAlign::RightTop, c.temp, y, o.centigrade ? QStringLiteral("\u00B0C") : QStringLiteral("\u00B0F"));
                    draw(s, TTextAlign::LeftTop, c.species, y, QStringLiteral("Species"));
                    draw(s, TTextAlign::RightTop, c.sg, y, QStringLiteral("SG"));
                    draw(s, TTextAlign::RightTop, c.mc, y, QStringLiteral("MC"));
                    draw(s, TTextAlign::LeftTop, c.notes, y, QStringLiteral("Notes"));
                    y += h;
                }
                draw(s, TTextAlign::RightTop, c.file, y, QString::number(f));
                draw(s, TTextAlign::RightTop, c.rec, y, QString::number(r));
                draw(s, TTextAlign::LeftTop, c.date, y, fromCp1252(reading.GetDateTimeText()));
                draw(s, TTextAlign::RightTop, c.temp, y, fromCp1252(reading.GetTemperatureText(o.centigrade)));
                draw(s, TTextAlign::LeftTop, c.species, y, fromCp1252(reading.GetSpecies()));
                draw(s, TTextAlign::RightTop, c.sg, y, fromCp1252(reading.GetSGText()));
                draw(s, TTextAlign::RightTop, c.mc, y, fromCp1252(reading.GetMoistureText()));
                draw(s, TTextAlign::LeftTop, c.notes, y, fromCp1252(reading.GetNote()));
                y += h;
            }
            if (++r > TSubFile::RecordCount) {
                r = 1;
                ++f;
            }
        }
        if (f <= TFile::FileCount)
            newPage();
    }

    // The notes stop above the bottom margin too, as the readings do.
    y += 3 * h;
    const auto& notes = doc.GetNotes();
    std::size_t next = 0;
    for (;;) {
        while (y < readingsEnd && next < notes.size()) {
            draw(s, TTextAlign::LeftTop, c.rec, y, fromCp1252(notes[next++]));
            y += h;
        }
        if (next >= notes.size())
            break;
        newPage();
        y = header();
    }
    footer();
    s.SetAlign(TTextAlign::LeftTop);
    return true;
}

TPrintJob DataPrintJob(const TFile& doc, const TDataPrintOptions& options)
{
    TPrintJob job;
    job.refusal = [options](TPrintSurface& s) { return DataPrintRefusal(s, options); };
    job.draw = [&doc, options](TPrintSurface& s) { PrintData(s, doc, options); };
    return job;
}

} // namespace kr
