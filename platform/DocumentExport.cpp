#include "platform/DocumentExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/Cp1252.h"
#include "core/Readings.h"

namespace kr {

namespace {

constexpr int FileCount = TFile::FileCount;
constexpr int RecordCount = TSubFile::RecordCount;

QString qText(const std::string& cp1252) { return QString::fromStdString(cp1252ToUtf8(cp1252)); }

// The meter pads species to 13 characters; tools want the name alone.
std::string withoutTrailingSpaces(std::string text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// ---- convert ---------------------------------------------------------------------

QJsonValue jsonDateTime(TDateTime value)
{
    const std::string text = isoDateTime(value);
    return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text));
}

QJsonObject jsonReading(const TReading& reading, int recNo)
{
    QJsonObject o;
    o.insert("record", recNo);
    o.insert("dateTime", jsonDateTime(reading.GetDateTime()));
    o.insert("temperatureC", reading.GetTemperature());
    o.insert("species", qText(withoutTrailingSpaces(reading.GetSpecies())));
    o.insert("sg", reading.GetSGApplies() == 1 ? jsonNumber(reading.GetSG(), 2) : QJsonValue());
    o.insert("moisture", jsonNumber(reading.GetMoisture(), 2));
    o.insert("note", qText(reading.GetNote()));
    return o;
}

} // namespace

std::string csvText(const TFile& doc)
{
    std::string out = "file,record,dateTime,temperatureC,species,sg,moisture,note,fileComment\r\n";
    for (int n = 1; n <= FileCount; ++n) {
        for (int r = 1; r <= RecordCount; ++r) {
            const TReading& reading = doc.GetReading(n, r);
            if (!reading.IsUsed())
                continue;
            const std::array<std::string, 9> fields = {
                std::to_string(n),
                std::to_string(r),
                isoDateTime(reading.GetDateTime()),
                std::to_string(reading.GetTemperature()),
                cp1252ToUtf8(withoutTrailingSpaces(reading.GetSpecies())),
                reading.GetSGApplies() == 1 ? plainNumber(reading.GetSG(), 2) : std::string(),
                plainNumber(reading.GetMoisture(), 2),
                cp1252ToUtf8(reading.GetNote()),
                cp1252ToUtf8(doc.GetComment(n)),
            };
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (i > 0)
                    out += ',';
                out += csvField(fields[i]);
            }
            out += "\r\n";
        }
    }
    return out;
}

QByteArray jsonText(const TFile& doc)
{
    QJsonArray notes;
    for (const auto& line : doc.GetNotes())
        notes.append(qText(line));
    QJsonArray files;
    for (int n = 1; n <= FileCount; ++n) {
        QJsonArray readings;
        for (int r = 1; r <= RecordCount; ++r)
            if (doc.GetReading(n, r).IsUsed())
                readings.append(jsonReading(doc.GetReading(n, r), r));
        QJsonObject file;
        file.insert("number", n);
        file.insert("comment", qText(doc.GetComment(n)));
        file.insert("readings", readings);
        files.append(file);
    }
    QJsonObject root;
    root.insert("dateStamp", jsonDateTime(doc.GetDateStamp()));
    root.insert("notes", notes);
    root.insert("files", files);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::string isoDateTime(TDateTime value)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDate(value, year, month, day);
    if (year < 1 || year > 9999)
        return {};
    DecodeTime(value, hour, minute, second, msec);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute,
                  second);
    return buffer;
}

std::string plainNumber(long double value, int decimals)
{
    if (!std::isfinite(value))
        return {};
    std::string text = FormatFixed4(value, decimals, '.');
    if (text.find_first_of("Ee") != std::string::npos || text.find('.') == std::string::npos)
        return text;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    // Built rather than assigned: GCC 12 misreads assigning a literal here under the sanitizers.
    if (text == "-0")
        return std::string(1, '0');
    return text;
}

QJsonValue jsonNumber(long double value, int decimals)
{
    const std::string text = plainNumber(value, decimals);
    return text.empty() ? QJsonValue() : QJsonValue(QString::fromStdString(text).toDouble());
}

std::string csvField(const std::string& utf8)
{
    if (utf8.find_first_of(",\"\r\n") == std::string::npos)
        return utf8;
    std::string out = "\"";
    for (char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

} // namespace kr
