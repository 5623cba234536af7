#pragma once
#include <QByteArray>
#include <QJsonValue>
#include <string>

#include "core/Mtlutils.h"

namespace kr {

class TFile;

// The document in forms other tools read, the same bytes from the window's
// "Export..." and from kr-cli convert. All results are UTF-8.

// One row per reading in use after a header row; ISO 8601 date-times, "."
// decimals, RFC 4180 quoting, CR LF line ends.
std::string csvText(const TFile& doc);

// The whole document: date stamp, notes and all 25 meter files.
QByteArray jsonText(const TFile& doc);

// The pieces the two renderings share, open for the tests.
// "2026-03-05T14:07:00", or empty for a value outside years 1..9999.
std::string isoDateTime(TDateTime value);
// The value with at most `decimals` decimals and 4 significant digits (the
// data file's rounding), "." as separator, trailing zeros dropped; empty when
// the value is not a finite number.
std::string plainNumber(long double value, int decimals);
// plainNumber as a JSON number; null where that text is empty.
QJsonValue jsonNumber(long double value, int decimals);
// A field quoted as RFC 4180 says when it holds a comma, quote, CR or LF.
std::string csvField(const std::string& utf8);

} // namespace kr
