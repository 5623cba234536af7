#pragma once
#include <QList>
#include <QString>
#include <stdexcept>

#include "print/Surface.h"

namespace kr::test {

// A print surface that records what is drawn. Text extents are fixed so that
// tests need no fonts: every character is a tenth of the point size times the
// resolution wide, and the text is as high as its points at the resolution.
class RecordingSurface : public TPrintSurface {
public:
    struct Call {
        enum Kind { Text, Image, Page } kind = Text;
        int x = 0;
        int y = 0;
        QString text;           // Text: the text
        TPrintFont font;        // Text: the font in force
        TTextAlign align = TTextAlign::LeftTop;
        int width = 0;          // Image: its size
        int height = 0;
    };

    // Thrown by the page that would go past maxPages: a printout that never
    // ends fails its test instead of hanging it.
    struct TooManyPages : std::runtime_error {
        TooManyPages() : std::runtime_error("the printout went on past the page limit") {}
    };

    int pageWidth = 4800;
    int pageHeight = 6600;
    int dpi = 600;
    int maxPages = 1000;
    QList<Call> calls;

    TPrintFont Font() const override { return font; }
    void SetFont(const TPrintFont& f) override { font = f; }
    TTextAlign Align() const override { return align; }
    void SetAlign(TTextAlign a) override { align = a; }
    int CharWidth() const { return font.points * dpi / 720; }
    int TextWidth(const QString& text) const override { return int(text.size()) * CharWidth(); }
    int TextHeight(const QString&) const override { return font.points * dpi / 72; }
    void TextOut(int x, int y, const QString& text) override
    {
        Call c = at(Call::Text, x, y);
        c.text = text;
        c.font = font;
        c.align = align;
        calls.append(c);
    }
    bool DrawImage(int x, int y, const QImage& image) override
    {
        Call c = at(Call::Image, x, y);
        c.width = image.width();
        c.height = image.height();
        calls.append(c);
        return true;
    }
    void NewPage() override
    {
        if (++pages > maxPages)
            throw TooManyPages();
        calls.append(at(Call::Page, 0, 0));
    }
    int PageWidth() const override { return pageWidth; }
    int PageHeight() const override { return pageHeight; }
    int DpiX() const override { return dpi; }
    int DpiY() const override { return dpi; }

    QList<Call> texts() const
    {
        QList<Call> found;
        for (const Call& c : calls)
            if (c.kind == Call::Text)
                found.append(c);
        return found;
    }

private:
    static Call at(Call::Kind kind, int x, int y)
    {
        Call c;
        c.kind = kind;
        c.x = x;
        c.y = y;
        return c;
    }

    TPrintFont font;
    TTextAlign align = TTextAlign::LeftTop;
    int pages = 1;
};

} // namespace kr::test
