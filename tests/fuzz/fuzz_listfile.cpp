// Library list files: what reads writes back to text that reads the same,
// and the file reader reads what the text reader reads.
#include "core/Errors.h"
#include "library/ListFile.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kr;

namespace {
bool same(const ListFileContents& a, const ListFileContents& b) { return a.codes == b.codes && a.notes == b.notes; }
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = fuzz::bytes(data, size);
    const ListFileContents parsed = ParseListText(text);
    FUZZ_CHECK(parsed.codes.size() <= std::size_t(ListFileCodeLines));
    for (const std::string& code : parsed.codes)
        FUZZ_CHECK(code.size() == 8);
    FUZZ_CHECK(same(ParseListText(FormatListText(parsed.codes, parsed.notes)), parsed));

    static const std::string path = fuzz::scratchPath("list.lst");
    fuzz::writeScratch(path, text);
    try {
        FUZZ_CHECK(same(ReadListFile(path), parsed));
    } catch (const FileError&) {
        FUZZ_CHECK(!"a list file that fits in memory is read");
    }
    return 0;
}
