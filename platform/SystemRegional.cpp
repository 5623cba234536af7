#include "platform/SystemRegional.h"

#include <QLocale>

#include "core/Cp1252.h"

#if defined(__unix__) || defined(__APPLE__)
#include <langinfo.h>
#include <clocale>
#if defined(__APPLE__)
#include <xlocale.h>
#endif
#define KR_POSIX_LOCALE 1
#endif

namespace kr {

namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A separator character in Windows-1252; anything that has no single-byte
// form falls back to the given default.
char singleChar(const std::string& utf8, char fallback)
{
    const std::string cp = utf8ToCp1252(utf8);
    return cp.size() == 1 && cp[0] != '?' ? cp[0] : fallback;
}

// Letters that are not format codes must be quoted in the picture notation.
void appendLiteral(std::string& picture, const std::string& text)
{
    std::string letters;
    auto flush = [&] {
        if (!letters.empty())
            picture += '"' + letters + '"';
        letters.clear();
    };
    for (char c : text) {
        if (isAsciiLetter(c)) {
            letters += c;
        } else {
            flush();
            picture += c;
        }
    }
    flush();
}

// Drops separators that only led up to a left-out part (time zone).
void trimTrailingBlank(std::string& picture)
{
    while (!picture.empty() && picture.back() == ' ')
        picture.pop_back();
}

// The first non-letter, non-digit character following the hour in a time
// picture, which is the time separator.
char timeSeparatorOf(const std::string& picture)
{
    const auto hour = picture.find_first_of("hH");
    if (hour == std::string::npos)
        return ':';
    for (std::size_t i = hour; i < picture.size(); ++i) {
        const char c = picture[i];
        if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != ' ' && c != '"')
            return c;
    }
    return ':';
}

// In the picture, the time separator is written as ':'.
std::string withColonSeparator(const std::string& picture, char separator)
{
    if (separator == ':')
        return picture;
    std::string out;
    bool quoted = false;
    for (char c : picture) {
        if (c == '"')
            quoted = !quoted;
        out += !quoted && c == separator ? ':' : c;
    }
    return out;
}

std::string timePictureFromPosix(const std::string& fmt)
{
    std::string picture;
    std::string literal;
    auto flushLiteral = [&] {
        appendLiteral(picture, literal);
        literal.clear();
    };
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 == fmt.size()) {
            literal += fmt[i];
            continue;
        }
        char code = fmt[++i];
        if ((code == 'E' || code == 'O') && i + 1 < fmt.size())
            code = fmt[++i];
        if (code == '%') {
            literal += '%';
            continue;
        }
        flushLiteral();
        switch (code) {
        case 'H': case 'I': picture += "hh"; break;
        case 'k': case 'l': picture += "h"; break;
        case 'M': picture += "nn"; break;
        case 'S': picture += "ss"; break;
        case 'p': case 'P': picture += "AMPM"; break;
        case 'T': picture += "hh:nn:ss"; break;
        case 'R': picture += "hh:nn"; break;
        case 'r': picture += "hh:nn:ss AMPM"; break;
        default: trimTrailingBlank(picture); break;  // time zone and the like: left out
        }
    }
    flushLiteral();
    trimTrailingBlank(picture);
    return picture.empty() ? "hh:nn:ss" : picture;
}

char dateSeparatorFromPosix(const std::string& fmt)
{
    for (std::size_t i = 0; i + 1 < fmt.size(); ++i) {
        if (fmt[i] != '%')
            continue;
        char code = fmt[++i];
        if (code == 'D')
            return '/';
        if (code == 'F')
            return '-';
        if ((code == 'E' || code == 'O') && i + 1 < fmt.size())
            code = fmt[++i];
        if (i + 1 < fmt.size() && fmt[i + 1] != '%' && !isAsciiLetter(fmt[i + 1]))
            return singleChar(std::string(1, fmt[i + 1]), '/');
    }
    return '/';
}

// Qt's notation: H/HH 24-hour, h/hh hours, m/mm minutes, s/ss, AP/ap, t zone;
// in the picture the AM/PM token itself makes the hours 12-hour ones.
std::string timePictureFromQt(const std::string& fmt)
{
    std::string picture;
    std::string literal;
    auto flushLiteral = [&] {
        appendLiteral(picture, literal);
        literal.clear();
    };
    std::size_t i = 0;
    while (i < fmt.size()) {
        const char c = fmt[i];
        if (c == '\'') {
            const auto close = fmt.find('\'', i + 1);
            literal += fmt.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
            i = close == std::string::npos ? fmt.size() : close + 1;
            continue;
        }
        std::size_t n = 1;
        while (i + n < fmt.size() && fmt[i + n] == c)
            ++n;
        if ((c == 'a' || c == 'A') && i + 1 < fmt.size() && (fmt[i + 1] == 'p' || fmt[i + 1] == 'P')) {
            flushLiteral();
            picture += "AMPM";
            i += 2;
            continue;
        }
        if (c == 'H' || c == 'h' || c == 'm' || c == 's') {
            flushLiteral();
            const std::string code = c == 'm' ? "n" : c == 's' ? "s" : "h";
            picture += n >= 2 ? code + code : code;
        } else if (c == 't' || c == 'z') {
            flushLiteral();
            trimTrailingBlank(picture);
        } else {
            literal.append(n, c);
        }
        i += n;
    }
    flushLiteral();
    trimTrailingBlank(picture);
    return picture.empty() ? "hh:nn:ss" : picture;
}

char dateSeparatorFromQt(const std::string& fmt)
{
    bool afterField = false;
    for (char c : fmt) {
        if (c == 'd' || c == 'M' || c == 'y') {
            afterField = true;
        } else if (afterField && c != '\'') {
            return singleChar(std::string(1, c), '/');
        }
    }
    return '/';
}

RegionalSettings finish(char decimal, char dateSep, const std::string& picture, const std::string& am,
                        const std::string& pm)
{
    RegionalSettings r;
    r.decimalSeparator = decimal;
    r.dateSeparator = dateSep;
    r.timeSeparator = timeSeparatorOf(picture);
    r.longTimeFormat = withColonSeparator(picture, r.timeSeparator);
    r.timeAMString = am.empty() ? "AM" : utf8ToCp1252(am);
    r.timePMString = pm.empty() ? "PM" : utf8ToCp1252(pm);
    r.shortDateFormat = "dd/mm/yyyy";
    return r;
}

} // namespace

RegionalSettings regionalFromPosix(const std::string& radix, const std::string& dateFormat,
                                   const std::string& timeFormat, const std::string& amText,
                                   const std::string& pmText)
{
    return finish(singleChar(radix, '.'), dateSeparatorFromPosix(dateFormat), timePictureFromPosix(timeFormat),
                  amText, pmText);
}

RegionalSettings regionalFromQt(const std::string& decimalPoint, const std::string& shortDateFormat,
                                const std::string& longTimeFormat, const std::string& amText,
                                const std::string& pmText)
{
    return finish(singleChar(decimalPoint, '.'), dateSeparatorFromQt(shortDateFormat),
                  timePictureFromQt(longTimeFormat), amText, pmText);
}

RegionalSettings readSystemRegional()
{
#if defined(KR_POSIX_LOCALE)
    // A private locale object: neither depends on nor changes the process locale.
    locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc)
        loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "C", static_cast<locale_t>(nullptr));
    if (loc) {
        RegionalSettings r =
            regionalFromPosix(nl_langinfo_l(RADIXCHAR, loc), nl_langinfo_l(D_FMT, loc), nl_langinfo_l(T_FMT, loc),
                              nl_langinfo_l(AM_STR, loc), nl_langinfo_l(PM_STR, loc));
        freelocale(loc);
        return r;
    }
#endif
    const QLocale system = QLocale::system();
    return regionalFromQt(system.decimalPoint().toStdString(), system.dateFormat(QLocale::ShortFormat).toStdString(),
                          system.timeFormat(QLocale::LongFormat).toStdString(), system.amText().toStdString(),
                          system.pmText().toStdString());
}

void applySystemRegional() { setRegional(readSystemRegional()); }

} // namespace kr
