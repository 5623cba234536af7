#pragma once
// The library's exchanges without a meter: the link is never opened.
#include "library/ItemObj.h"
#include "library/LibraryExchanges.h"
#include "meter/Exchanges.h"
#include "meter/MeterLink.h"

namespace kr::test {

struct LibraryRig {
    TMeterLink link;
    TStandaloneHost host;
    TMeterExchanges exchanges{link, host};
    TFactorCatalogue catalogue;
    TLibraryExchanges library{exchanges, catalogue};
};

} // namespace kr::test
