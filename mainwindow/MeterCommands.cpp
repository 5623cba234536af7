#include "mainwindow/MeterCommands.h"

#include <QCoreApplication>

#include "mainwindow/ArchiveKeeper.h"
#include "meter/Wait.h"
#include "platform/ErrorReport.h"
#include "platform/PortMap.h"
#include "platform/Text.h"
#include "settings/Appglob.h"

namespace kr {

TMeterCommands::TMeterCommands(int& portNumber, TDocumentHost& host, TArchiveKeeper* keeper)
    : link(portNumber), exchanges(link, host), library(exchanges, catalogue)
{
    library.SetNoExtraErase(NdArgumentGiven(QCoreApplication::arguments()));
    if (keeper)
        keepInArchive(*keeper, host);
}

void TMeterCommands::keepInArchive(TArchiveKeeper& keeper, TDocumentHost& host)
{
    // An erase's own download is kept as the backup it becomes, before the
    // erase command goes.
    QObject::connect(&exchanges, &TMeterExchanges::DownloadEnded, &exchanges, [this, &keeper, &host] {
        if (!exchanges.DownloadIsBackup())
            keeper.KeepDownload(host.Document(), exchanges.LastDownloadOutcome(), knownMeter(),
                                PortMap::describe(link.PortNumber));
    });
    exchanges.SetBackupWritten([this, &keeper](const std::string& path) {
        keeper.KeepBackup(fromNativePath(path), knownMeter(), PortMap::describe(link.PortNumber));
    });
}

// The serial number the meter gave when last asked; empty when never asked or unanswered.
QString TMeterCommands::knownMeter() const
{
    const TSerialOutcome& serial = exchanges.SerialNoOutcome();
    return serial.kind == TSerialOutcome::Found ? fromCp1252(serial.serial) : QString();
}

TMeterCommands::~TMeterCommands() { link.Close(); }

void TMeterCommands::Download()
{
    runHandler([this] { exchanges.btnDownloadClick(); });
}

void TMeterCommands::Erase()
{
    runHandler([this] { exchanges.btnClearKRMClick(); });
}

void TMeterCommands::RequestSerialNo()
{
    runHandler([this] { exchanges.RequestSerialNo(); });
}

TSerialOutcome::Kind TMeterCommands::WaitForSerialNo(int timeoutMs)
{
    // The request always ends on its quiet timer; the limit only guards
    // against an editor shown while something else holds the wire.
    WaitUntil([this] { return exchanges.SerialNoOutcome().kind != TSerialOutcome::Pending; }, timeoutMs);
    return exchanges.SerialNoOutcome().kind;
}

void TMeterCommands::ShowSerialNo()
{
    if (Busy())
        return;
    RequestSerialNo();
    WaitForSerialNo();
    Tell(MessageFor(exchanges.SerialNoOutcome()));
}

void TMeterCommands::TestPort(int number)
{
    runHandler([this, number] { exchanges.btnTestClick(number); });
}

void TMeterCommands::LoadCatalogues()
{
    runHandler([this] { catalogue.LoadCatalogue(toNativePath(FactorsFilePath())); });
    runHandler([this] { catalogue.LoadAdded(toNativePath(AddedFilePath())); });
}

std::optional<std::vector<std::string>> TMeterCommands::ReceiveLibrary()
{
    TLibraryDownload got = library.BtnReceiveClick();
    if (got.outcome != TLibraryDownloadOutcome::Received)
        return std::nullopt;
    return std::move(got.codes);
}

void TMeterCommands::SendLibrary(const std::vector<std::string>& codes)
{
    library.BtnSendClick(codes);
}

} // namespace kr
