#include "core/Regional.h"

namespace kr {

namespace {
RegionalSettings& current()
{
    static RegionalSettings settings;
    return settings;
}
} // namespace

const RegionalSettings& regional() { return current(); }

void setRegional(const RegionalSettings& settings) { current() = settings; }

} // namespace kr
