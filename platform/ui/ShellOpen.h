#pragma once
#include <QString>
#include <functional>

namespace kr {

// Asks the desktop to open a web address or a document with its own viewer;
// when it cannot, it beeps and returns false.
bool shellOpen(const QString& addressOrPath);

// Tests put their own opener (returns success) and beeper in; empty puts
// the desktop's back.
void setShellOpener(std::function<bool(const QString&)> opener);
void setShellBeeper(std::function<void()> beeper);

} // namespace kr
