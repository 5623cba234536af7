// "wallroof.ini": the seven values sent to the meter always fill exactly their
// seven 16-character slots, each the file's value where it has one.
#include <QCoreApplication>

#include "settings/IniFile.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/LibraryRig.h"

using namespace kr;

namespace {

constexpr const char* Keys[TLibraryExchanges::WallRoofCount][2] = {
    {"USERDEF", "USERDEF"},    {"WALLROOF", "WALLROOF1"}, {"WALLROOF", "WALLROOF2"}, {"WALLROOF", "WALLROOF3"},
    {"WALLROOF", "WALLROOF4"}, {"WALLROOF", "WALLROOF5"}, {"WALLROOF", "WALLROOF6"},
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static test::LibraryRig rig;
    static const bool placed = [] {
        rig.library.SetFolder(QString::fromStdString(fuzz::scratchFolder().string()));
        return true;
    }();
    (void)placed;
    const std::string text = fuzz::bytes(data, size);
    fuzz::writeScratch(fuzz::scratchPath(TLibraryExchanges::WallRoofFileName), text);

    const std::string sent = rig.library.WallRoofText();
    constexpr std::size_t slot = TLibraryExchanges::RecordLength;
    FUZZ_CHECK(sent.size() == TLibraryExchanges::WallRoofCount * slot);
    if (size >= 65536)
        return 0;
    for (int i = 0; i < TLibraryExchanges::WallRoofCount; ++i) {
        std::string expected = profile::read(text, Keys[i][0], Keys[i][1])
                                   .value_or(TLibraryExchanges::DefaultWallRoofEntries()[std::size_t(i)]);
        expected.resize(slot, ' ');
        FUZZ_CHECK(sent.compare(std::size_t(i) * slot, slot, expected) == 0);
    }
    return 0;
}
