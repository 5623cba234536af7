#pragma once
#include <optional>
#include "platform/Prompts.h"

namespace kr {

// "Select Port": asked when the configured port number is 0.
std::optional<int> runSelectPortDialog(const QList<PortChoice>& ports);

} // namespace kr
