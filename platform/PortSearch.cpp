#include "platform/PortSearch.h"

namespace kr {

namespace {
PortSearchFactory& factory()
{
    static PortSearchFactory installed;
    return installed;
}
} // namespace

void setPortSearchFactory(PortSearchFactory f) { factory() = std::move(f); }

std::unique_ptr<PortSearch> makePortSearch() { return factory() ? factory()() : nullptr; }

} // namespace kr
