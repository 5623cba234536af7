// Data files: whatever opens saves to bytes that open again to the same document.
#include "tests/fuzz/DocumentChecks.h"

using namespace kr;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TKRFile first;
    if (!fuzz::loadDocument(first, fuzz::bytes(data, size)))
        return 0;
    const std::string saved = first.SaveToText();
    TKRFile second;
    FUZZ_CHECK(fuzz::loadDocument(second, saved));
    fuzz::expectSameDocument(first, second);
    return 0;
}
