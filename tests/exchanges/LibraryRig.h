#pragma once
#include <string>
#include <vector>

#include "library/LibraryExchanges.h"
#include "tests/exchanges/ExchangeRig.h"

namespace kr::test {

// The library exchanges on the exchange rig, with a catalogue that holds a
// whole library ("Wood 01" .. "Wood 31") the meter does not have yet.

// A catalogue line: code, name, description, SG and group in their columns.
inline QByteArray catalogueLine(const QByteArray& code, const QByteArray& name, const QByteArray& sg)
{
    return code.leftJustified(8) + name.leftJustified(16) + name.leftJustified(32) + sg.leftJustified(8) + "Hardwood\r\n";
}

// "Wood 01" .. "Wood 31" with codes W0000001 .. and SG 0.41 ..; the first has
// a 16-character name that the meter knows by its first 13.
inline QByteArray woodCatalogue()
{
    QByteArray text = catalogueLine("W0000001", "Pau Marfim Extra", "0.5");
    for (int i = 2; i <= 31; ++i)
        text += catalogueLine("W" + QByteArray::number(i).rightJustified(7, '0'),
                              "Wood " + QByteArray::number(i).rightJustified(2, '0'), "0." + QByteArray::number(40 + i));
    return text + catalogueLine("IPE00001", "Ipe", "1.06");
}

inline std::vector<std::string> woodCodes()
{
    std::vector<std::string> codes;
    for (int i = 1; i <= 31; ++i)
        codes.push_back("W" + QByteArray::number(i).rightJustified(7, '0').toStdString());
    return codes;
}

inline QStringList stateLines(const QByteArray& state, const char* key)
{
    QStringList lines;
    for (const QByteArray& line : state.split('\n'))
        if (line.startsWith(key))
            lines << QString::fromLatin1(line);
    return lines;
}

// Also counts the steps since the last set-up.
struct CountingProgress : RecordingProgress {
    int steps = 0;
    // Since the last set-up: steps taken while Cancel could stop the
    // exchange, and why it could not at the last step.
    int stepsWithCancel = 0;
    std::string whyNotAtLastStep;
    void SetUpProgress(int maximum, int step, const std::string& caption) override
    {
        steps = 0;
        stepsWithCancel = 0;
        RecordingProgress::SetUpProgress(maximum, step, caption);
    }
    void StepProgress() override
    {
        ++steps;
        stepsWithCancel += cancel ? 1 : 0;
        whyNotAtLastStep = whyNot;
        RecordingProgress::StepProgress();
    }
};

struct LibraryRig : ExchangeRig {
    CountingProgress countedProgress;
    TFactorCatalogue catalogue;
    TLibraryExchanges library{exchanges, catalogue};
    QList<bool> buttons;

    explicit LibraryRig(SimMeter::Options options = {}, const QByteArray& factors = woodCatalogue())
        : ExchangeRig(std::move(options))
    {
        catalogue.LoadFromText(factors.toStdString());
        library.SetFolder(home.path());
        link.setProgress(&countedProgress);
        QObject::connect(&library, &TLibraryExchanges::SetLibraryButtonsEnabled, [this](bool on) { buttons << on; });
    }
    const TItem& item(const std::string& code) const
    {
        static const TItem none;
        const TItem* found = catalogue.FindByCode(code);
        return found ? *found : none;
    }
};

inline SimMeter::Options stateOf(const QByteArray& text, QStringList faults = {})
{
    SimMeter::Options o;
    o.stateText = text;
    o.faults = std::move(faults);
    return o;
}

} // namespace kr::test
