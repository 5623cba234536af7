#pragma once
#include <QByteArray>
#include <string>

#include "core/Mtlutils.h"
#include "platform/DocumentExport.h"

namespace kr {
class TFile;
}

namespace kr::cli {

// The ways kr-cli shows a data document besides the clipboard export. All
// results are UTF-8.

// A readable table: every meter file that holds readings (fileNumber 0) or
// the one meter file asked for, then the notes. Numbers and dates as the
// window shows them (regional settings).
std::string showText(const TFile& doc, int fileNumber, bool centigrade);

// The export renderings (csvText, jsonText and their pieces) are the window
// program's too.
using kr::csvField;
using kr::csvText;
using kr::isoDateTime;
using kr::jsonText;
using kr::plainNumber;

} // namespace kr::cli
