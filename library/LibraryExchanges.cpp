#include "library/LibraryExchanges.h"

#include <QDir>
#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>

#include "core/Errors.h"
#include "core/Mtlutils.h"
#include "meter/Wait.h"
#include "platform/ErrorReport.h"
#include "platform/SerialTransport.h"
#include "platform/Prompts.h"
#include "platform/Text.h"
#include "settings/Appglob.h"
#include "settings/IniFile.h"

namespace kr {

namespace {

using namespace std::chrono_literals;

// The lines of a whole library reply: the echo, the species, the wall-and-roof entries.
constexpr std::size_t LibraryReplyLines = 1 + TLibraryExchanges::SpeciesCount + TLibraryExchanges::WallRoofCount;
constexpr std::chrono::milliseconds ExtraErasePause = 1500ms;
constexpr std::chrono::milliseconds CharacterGap = 5ms;

TOutcomeMessage notSent(const std::string& reason, MsgKind kind = MsgKind::Error)
{
    return {kind, library_text::NotSent + reason, library_text::HelpUpload};
}

// The SG digits of a species line (characters 15-16) as a number, if they are one.
std::optional<int> SgDigits(const std::string& line)
{
    std::string_view digits = std::string_view(line).substr(std::min<std::size_t>(line.size(), 14), 2);
    while (!digits.empty() && digits.front() == ' ')
        digits.remove_prefix(1);
    if (digits.empty())
        return std::nullopt;
    int value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty())
            text += separator;
        text += part;
    }
    return text;
}

// Turns the library buttons back on however the exchange ends.
class ButtonsOff {
public:
    explicit ButtonsOff(TLibraryExchanges& exchanges) : exchanges(exchanges)
    {
        emit exchanges.SetLibraryButtonsEnabled(false);
    }
    ~ButtonsOff() { emit exchanges.SetLibraryButtonsEnabled(true); }
    ButtonsOff(const ButtonsOff&) = delete;
    ButtonsOff& operator=(const ButtonsOff&) = delete;

private:
    TLibraryExchanges& exchanges;
};

} // namespace

TLibraryExchanges::TLibraryExchanges(TMeterExchanges& meterExchanges, TFactorCatalogue& factors, QObject* parent)
    : QObject(parent), exchanges(meterExchanges), link(meterExchanges.Link()), catalogue(factors),
      wallRoof(DefaultWallRoofEntries())
{
    // An exception must not unwind through the event loop, and the download
    // must come to an end whatever happened.
    connect(&link.TimGotLibraryData, &QTimer::timeout, this, [this] {
        if (!runHandler([this] { TimGotLibraryDataTimer(); })) {
            download.outcome = TLibraryDownloadOutcome::NoResponse;
            downloading = false;
        }
    });
}

const TLibraryExchanges::TWallRoofEntries& TLibraryExchanges::DefaultWallRoofEntries()
{
    static const TWallRoofEntries defaults = {
        "Set User SG   50", "Plaster       25", "Brick         25", "Drywall       25",
        "PVC           25", "Mod. Bitumen  38", "BUR           50",
    };
    return defaults;
}

void TLibraryExchanges::ResetWallRoofEntries()
{
    wallRoof = DefaultWallRoofEntries();
    wallRoofOrigin = WallRoofOrigin::Defaults;
    wallRoofFile.clear();
}

void TLibraryExchanges::TakeWallRoofEntries(const TWallRoofEntries& entries, const std::string& file)
{
    wallRoof = entries;
    wallRoofOrigin = WallRoofOrigin::ListFile;
    wallRoofFile = file;
}

// ---- Library download --------------------------------------------------------

TLibraryDownload TLibraryExchanges::BtnReceiveClick()
{
    std::optional<TMeterExchanges::TWireClaim> claim = exchanges.ClaimWire();
    if (!claim) {
        TLibraryDownload busy;
        busy.outcome = TLibraryDownloadOutcome::Busy;
        return busy;
    }
    const ButtonsOff buttons(*this);
    download = {};
    cancelled = false;
    try {
        RequestLibrary();
    } catch (const KrError& e) {
        download.outcome = TLibraryDownloadOutcome::SendFailed;
        download.error = e.what();
    }
    // A progress display that does not wait leaves the waiting to us. A
    // cancelled download still waits for the meter to fall quiet, so that the
    // rest of its reply cannot reach the next exchange.
    WaitUntil([this] { return !downloading; });
    Tell(MessageFor(download));
    return download;
}

void TLibraryExchanges::RequestLibrary()
{
    ProgressSink& progress = link.progress();
    link.StartExchange(link.TimGotLibraryData, "$2", [&] {
        progress.SetUpProgress(int(LibraryReplyLines) - 1, 1, library_text::Downloading);
        progress.SetCancel([this, &progress] {
            cancelled = true;
            progress.Close();
        });
    });
    downloading = true;
    progress.ShowModal();
}

void TLibraryExchanges::TimGotLibraryDataTimer()
{
    struct Ended {
        bool& downloading;
        ~Ended() { downloading = false; }
    } ended{downloading};
    link.progress().SetCancel({});
    const bool got = link.BeginQuietTimer(link.TimGotLibraryData);
    if (cancelled)
        download.outcome = TLibraryDownloadOutcome::Cancelled;
    else if (link.Reply().size() < LibraryReplyLines)
        download.outcome = got ? TLibraryDownloadOutcome::TooFewLines : TLibraryDownloadOutcome::NoResponse;
    else
        TakeLibraryReply();
}

void TLibraryExchanges::TakeLibraryReply()
{
    std::vector<std::string> lines(link.Reply().begin() + 1, link.Reply().begin() + LibraryReplyLines);
    for (std::string& line : lines)
        if (!line.empty() && line.back() == '\r')
            line.pop_back();

    // What another run kept meanwhile comes first, so its codes are not given again.
    try {
        catalogue.RefreshAdded();
    } catch (const KrError&) {
        // Nothing is then written to it; SaveAdded says so if a species is added.
    }
    TLibraryDownload result;
    result.outcome = TLibraryDownloadOutcome::Received;
    for (int i = 0; i < SpeciesCount; ++i)
        TakeSpecies(lines[std::size_t(i)], result);
    for (int i = 0; i < WallRoofCount; ++i)
        wallRoof[std::size_t(i)] = lines[std::size_t(SpeciesCount + i)].substr(0, RecordLength);
    wallRoofOrigin = WallRoofOrigin::Download;
    wallRoofFile.clear();
    try {
        catalogue.SaveAdded();
    } catch (const KrError& e) {
        result.notKept = e.what();
    }
    download = result;
}

void TLibraryExchanges::TakeSpecies(const std::string& line, TLibraryDownload& result)
{
    const std::string key = line.substr(0, TItem::MeterNameLength);
    const std::optional<int> digits = SgDigits(line);
    TItem meter;
    meter.SetSG(digits.value_or(0) / 100.0);
    const double sg = meter.GetSG();
    const TItem* listed = catalogue.FindListedByMeterName(key);
    // Copied: taking the species may append to the catalogue.
    const std::string listedSG = listed ? listed->FormatSG() : std::string();
    const bool listedAgrees = [&] {
        const TItem* same = catalogue.FindSpecies(key, sg);
        return same && same->GetGroup() != TFactorCatalogue::AddedGroup;
    }();
    const TFactorCatalogue::TSpecies species = catalogue.TakeSpecies(key, sg);
    result.codes.push_back(species.code);
    if (species.added && !listed)
        result.added.push_back(species.code);
    if (!digits)
        result.unreadableSG.push_back(TrimTrailingSpaces(key));
    else if (listed && !listedAgrees)
        result.differing.push_back({TrimTrailingSpaces(key), meter.FormatSG(), listedSG});
}

// Told once the whole list is in, in one box, so a bad line never stops it half-way.
TOutcomeMessage EditorOpeningMessage(TSerialOutcome::Kind serial)
{
    if (serial != TSerialOutcome::NoAnswer)
        return {};
    return {MsgKind::Information, library_text::NoMeterAtOpening};
}

TOutcomeMessage MessageFor(const TLibraryDownload& result)
{
    switch (result.outcome) {
    case TLibraryDownloadOutcome::Received: break;
    case TLibraryDownloadOutcome::NoResponse: return {MsgKind::Error, NoResponseMessage};
    case TLibraryDownloadOutcome::TooFewLines: return {MsgKind::Error, library_text::NotEnoughData};
    case TLibraryDownloadOutcome::SendFailed: return {MsgKind::Error, result.error};
    case TLibraryDownloadOutcome::Cancelled: return {MsgKind::Information, library_text::DownloadCancelled};
    case TLibraryDownloadOutcome::None:
    case TLibraryDownloadOutcome::Busy: return {};
    }
    const std::string& notKept = result.notKept;
    std::vector<std::string> paragraphs;
    if (!result.differing.empty()) {
        const std::size_t n = result.differing.size();
        std::string text = std::to_string(n);
        text += n == 1 ? " species on the KR has an SG that differs from the catalogue; it is kept as the KR has it:"
                       : " species on the KR have an SG that differs from the catalogue; they are kept as the KR "
                         "has them:";
        // One species a line: a meter may differ in most of its 31.
        for (const TSgDifference& d : result.differing)
            text += "\r\n" + d.name + " " + d.meterSG + " (catalogue " + d.catalogueSG + ")";
        paragraphs.push_back(text);
    }
    if (!result.unreadableSG.empty()) {
        std::string text = "The SG the KR sent for ";
        text += Joined(result.unreadableSG, ", ");
        text += " is not a number; these species are listed with an SG of 0, which the KR cannot take.";
        paragraphs.push_back(text);
    }
    if (!notKept.empty()) {
        std::string text = "The species added to the catalogue are known for this run only: in a later run, a list "
                           "saved with them may find other species under their codes, or none.\r\n";
        text += notKept;
        paragraphs.push_back(text);
    }
    if (paragraphs.empty())
        return {};
    const bool warn = !result.unreadableSG.empty() || !notKept.empty();
    return {warn ? MsgKind::Warning : MsgKind::Information, Joined(paragraphs, "\r\n\r\n")};
}

// ---- Library upload ----------------------------------------------------------

TLibraryUpload TLibraryExchanges::BtnSendClick(const std::vector<std::string>& selected)
{
    std::optional<TMeterExchanges::TWireClaim> claim = exchanges.ClaimWire();
    if (!claim)
        return {};
    const ButtonsOff buttons(*this);
    TLibraryUpload upload = Upload(selected, *claim);
    Tell(MessageFor(upload));
    return upload;
}

TLibraryUpload TLibraryExchanges::Upload(const std::vector<std::string>& selected,
                                                     const TMeterExchanges::TWireClaim& claim)
{
    using U = TLibraryUploadOutcome;
    if (selected.size() < std::size_t(SpeciesCount))
        return {U::TooFew, std::to_string(selected.size()), {}};
    // Refused before the meter is touched: once erased, it could not have
    // its old library back.
    const TSpeciesRecords records = SpeciesRecords(selected);
    if (!records.problems.empty())
        return {U::Refused, Joined(records.problems, "\r\n"), {}};
    const TEraseOutcome erase = exchanges.EraseMeter(claim);
    switch (erase.kind) {
    case TEraseOutcome::Erased:
    case TEraseOutcome::Empty:   // nothing to lose: the erase is a formality
    {
        TLibraryUpload sent = SendLibrary(records.text + WallRoofText());
        sent.backupPath = erase.backupPath;
        return sent;
    }
    case TEraseOutcome::Declined: return {U::Declined, {}, {}};
    case TEraseOutcome::Cancelled: return {U::Cancelled, {}, {}};
    case TEraseOutcome::NoAnswer: return {U::NoResponse, {}, {}};
    case TEraseOutcome::NotSafe: return {U::NotSafe, erase.detail, {}};
    case TEraseOutcome::SendFailed: return {U::SendFailed, erase.detail, erase.backupPath};
    case TEraseOutcome::Busy: break;
    }
    return {U::Busy, {}, {}};
}

TLibraryUpload TLibraryExchanges::SendLibrary(const std::string& text)
{
    ProgressSink& progress = link.progress();
    progress.SetUpProgress(int(text.size()), 1, library_text::Uploading);
    // A half-sent library is worse than a finished one.
    progress.SetCancel({}, library_text::CannotStop);
    progress.ShowModeless();
    struct Hide {
        ProgressSink& progress;
        ~Hide()
        {
            progress.SetCancel({});
            progress.Close();
        }
    } hide{progress};
    try {
        TPacer pacer;
        auto sendNow = [&](const std::string& bytes) {
            link.Send(bytes);
            link.transport().flush();
            pacer.Sent();
        };
        if (!noExtraErase) {
            sendNow("$*#");
            pacer.WaitPast(ExtraErasePause);
        }
        sendNow("$6");
        for (char c : text) {
            pacer.WaitPast(CharacterGap);
            sendNow(std::string(1, c));
            progress.StepProgress();
        }
    } catch (const KrError& e) {
        return {TLibraryUploadOutcome::CutShort, e.what(), {}};
    }
    return {TLibraryUploadOutcome::Sent, {}, {}};
}

TOutcomeMessage MessageFor(const TLibraryUpload& upload)
{
    using U = TLibraryUploadOutcome;
    const std::string& detail = upload.detail;
    // The erase before the library is told with it, in the same box.
    TEraseOutcome erase;
    erase.kind = TEraseOutcome::Erased;
    erase.backupPath = upload.backupPath;
    const std::string erased = upload.backupPath.empty() ? std::string() : MessageFor(erase).text + "\r\n";
    switch (upload.outcome) {
    case U::Sent:
        // The meter does not acknowledge the library; without this the upload would end without a word.
        return {MsgKind::Information,
                erased + library_text::Sent + std::to_string(TLibraryExchanges::SpeciesCount) + " species."};
    case U::TooFew:
        return {MsgKind::Error, "There are only " + detail + " species in the library list.  You must select 31 species.",
                library_text::HelpUpload};
    case U::Refused:
        return notSent("the list holds species it cannot take.\r\n" + detail +
                       "\r\nNothing has been sent; the KR keeps its data and its library.");
    case U::Declined:
    case U::Busy: return {};
    case U::Cancelled:
        return notSent("it was cancelled before the KR was erased; the KR keeps its data and its library.",
                       MsgKind::Information);
    case U::NotSafe:
        return notSent("its readings could not be backed up, so it keeps them and its old library.\r\n" +
                       Sentence(detail.ends_with('.') ? detail.substr(0, detail.size() - 1) : detail));
    case U::NoResponse:
        return notSent("the KR did not answer.\r\nCheck the connections and make sure the unit is switched on.");
    case U::SendFailed:
        return notSent("the KR could not be reached to erase it.\r\n" + detail +
                       (upload.backupPath.empty() ? std::string()
                                                  : "\r\nThe backup is in " + toCp1252(fromNativePath(upload.backupPath)) + "."));
    case U::CutShort:
        return {MsgKind::Error, erased + library_text::CutShort + " (" + detail + ").", library_text::HelpUpload};
    }
    return {};
}

TLibraryExchanges::TSpeciesRecords TLibraryExchanges::SpeciesRecords(const std::vector<std::string>& selected) const
{
    TSpeciesRecords records;
    const std::size_t count = std::min(selected.size(), std::size_t(SpeciesCount));
    for (std::size_t i = 0; i < count; ++i) {
        auto entryProblem = [&](const char* what, const char* tail) {
            records.problems.push_back("Entry " + std::to_string(i + 1) + what + selected[i] + tail);
        };
        const TItem* item = catalogue.FindByCode(selected[i]);
        if (!item) {
            entryProblem(": the catalogue holds no species with the code ", ".");
            continue;
        }
        std::string name = item->GetName().substr(0, TItem::MeterNameLength);
        // The meter shows only these characters: blanks there name nothing.
        if (name.find_first_not_of(' ') == std::string::npos) {
            entryProblem(": the species with the code ", " has no name.");
            continue;
        }
        // The meter keeps two digits after the point: 0.00 to 0.99.
        const std::string sg = item->FormatSG();
        const bool tooLarge = sg.size() != 4 || sg[0] != '0';
        // No wood has an SG of 0.00: it comes from a catalogue line whose number did not read.
        if (tooLarge || sg.compare(2, 2, "00") == 0) {
            std::string problem = TrimTrailingSpaces(item->GetName());
            problem += ": its SG of ";
            problem += item->DisplaySG();
            problem += tooLarge ? " is more than the KR can hold (0.99 at most)."
                                : " is not one the KR can use (0.01 at least).";
            records.problems.push_back(problem);
            continue;
        }
        name.resize(TItem::MeterNameLength, ' ');
        records.text += name;
        records.text += ' ';
        records.text.append(sg, 2, 2);
    }
    return records;
}

std::string TLibraryExchanges::WallRoofText() const
{
    const bool listOwn = wallRoofOrigin == WallRoofOrigin::ListFile;
    const IniFile ini(WallRoofFile());
    std::string text;
    for (int i = 0; i < WallRoofCount; ++i) {
        const TWallRoofKey& k = WallRoofKeys[std::size_t(i)];
        std::string value = listOwn ? wallRoof[std::size_t(i)]
                                    : ini.read(k.section, k.key).value_or(wallRoof[std::size_t(i)]);
        // Any other length would shift every later entry in the meter.
        value.resize(RecordLength, ' ');
        text += value;
    }
    return text;
}

QString TLibraryExchanges::WallRoofSource() const
{
    if (wallRoofOrigin == WallRoofOrigin::ListFile)
        return QStringLiteral("Wall and roof entries from %1.").arg(fromNativePath(wallRoofFile));
    const IniFile ini(WallRoofFile());
    int fromIni = 0;
    for (const TWallRoofKey& k : WallRoofKeys)
        if (ini.read(k.section, k.key))
            ++fromIni;
    const bool downloaded = wallRoofOrigin == WallRoofOrigin::Download;
    const QString rest = downloaded ? QStringLiteral("the KR's last download") : QStringLiteral("the defaults");
    const QString iniPath = QDir::toNativeSeparators(ini.path());
    if (fromIni == WallRoofCount)
        return QStringLiteral("Wall and roof entries from %1.").arg(iniPath);
    if (fromIni > 0)
        return QStringLiteral("Wall and roof entries from %1 (%2 of %3) and %4.")
            .arg(iniPath)
            .arg(fromIni)
            .arg(WallRoofCount)
            .arg(rest);
    return downloaded ? QStringLiteral("Wall and roof entries from %1.").arg(rest)
                      : QStringLiteral("Wall and roof entries: %1.").arg(rest);
}

QString TLibraryExchanges::WallRoofFile() const
{
    const QString name = QString::fromLatin1(WallRoofFileName);
    return folder.isEmpty() ? DataFilePath(name) : QDir(folder).filePath(name);
}

bool NdArgumentGiven(const QStringList& arguments)
{
    return arguments.size() > 1 && arguments.at(1).toUpper() == QLatin1String("ND");
}

} // namespace kr
