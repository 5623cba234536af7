#pragma once
#include <optional>
#include <string>
#include <vector>

#include "library/ItemObj.h"
#include "library/LibraryExchanges.h"
#include "meter/Exchanges.h"
#include "meter/MeterLink.h"

namespace kr {

class TArchiveKeeper;

// The main window's meter commands, without its widgets: the one link to the
// meter, its exchanges, the species catalogue and the library exchanges the
// editor drives. A command given while an exchange runs is ignored; each
// exchange tells its own outcome, so nothing here reports.
class TMeterCommands {
public:
    // The port number lives in the window's settings, so that a changed
    // setting is the port the next open takes. With a keeper, every download
    // that brought readings and every erase backup go to the archive.
    TMeterCommands(int& portNumber, TDocumentHost& host, TArchiveKeeper* keeper = nullptr);
    ~TMeterCommands();
    TMeterCommands(const TMeterCommands&) = delete;
    TMeterCommands& operator=(const TMeterCommands&) = delete;

    TMeterLink& Link() { return link; }
    TMeterExchanges& Exchanges() { return exchanges; }
    TLibraryExchanges& Library() { return library; }
    TFactorCatalogue& Catalogue() { return catalogue; }
    bool Busy() const { return exchanges.Busy(); }
    // Closing now would cut an exchange short.
    bool Running() const { return exchanges.Running(); }

    void Download();
    void Erase();
    void RequestSerialNo();
    // Lets events run until the serial-number request ends (timeoutMs at
    // most); how it ended. None at once when none was asked.
    TSerialOutcome::Kind WaitForSerialNo(int timeoutMs = 10000);
    // Asks the meter for its serial number and tells what came back.
    void ShowSerialNo();
    // Asks for the meter on the port with that number and tells the outcome.
    void TestPort(int number);
    // The shipped catalogue, then the species added from meters; a missing
    // one is reported and the editor works without it.
    void LoadCatalogues();
    // The meter's 31 codes, or nothing when the download failed (told).
    std::optional<std::vector<std::string>> ReceiveLibrary();
    void SendLibrary(const std::vector<std::string>& codes);

private:
    void keepInArchive(TArchiveKeeper& keeper, TDocumentHost& host);
    QString knownMeter() const;

    TMeterLink link;
    TMeterExchanges exchanges;
    TFactorCatalogue catalogue;
    TLibraryExchanges library;
};

} // namespace kr
