// Catalogue lines and whole catalogues (Factors.dat, Added.dat): items keep their field
// lengths, the SG prints as a number with two decimals, and the file reader
// reads what the text reader reads.
#include <cctype>

#include "core/Errors.h"
#include "core/Regional.h"
#include "library/ItemObj.h"
#include "tests/fuzz/FuzzSupport.h"

using namespace kr;

namespace {

void checkItem(const TItem& item)
{
    FUZZ_CHECK(item.GetCode().size() <= TItem::CodeLength);
    FUZZ_CHECK(item.GetName().size() <= TItem::NameLength);
    FUZZ_CHECK(item.GetDescription().size() <= TItem::DescriptionLength);
    FUZZ_CHECK(item.GetGroup().size() <= TItem::GroupLength);
    // "-" and digits, the separator, two decimals.
    const std::string sg = item.FormatSG();
    const std::size_t first = !sg.empty() && sg[0] == '-' ? 1 : 0;
    FUZZ_CHECK(sg.size() >= first + 4 && sg[sg.size() - 3] == regional().decimalSeparator);
    for (std::size_t i = first; i < sg.size(); ++i)
        FUZZ_CHECK(i == sg.size() - 3 || std::isdigit(static_cast<unsigned char>(sg[i])));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = fuzz::bytes(data, size);

    TItem line;
    line.LoadFromLine(text);
    checkItem(line);

    TFactorCatalogue fromText;
    fromText.LoadFromText(text);
    for (int i = 0; i < fromText.Count(); ++i)
        checkItem(fromText.Item(i));
    FUZZ_CHECK(fromText.NextAddedCode().size() == TItem::CodeLength);
    FUZZ_CHECK(fromText.Groups().front() == "All");
    if (fromText.Count() > 0) {
        const TItem& first = fromText.Item(0);
        FUZZ_CHECK(fromText.FindByCode(first.GetCode()) == &first);
        FUZZ_CHECK(fromText.FindByMeterName(first.GetName()) == &first);
    }

    static const std::string path = fuzz::scratchPath("Factors.dat");
    fuzz::writeScratch(path, text);
    TFactorCatalogue fromFile;
    try {
        fromFile.LoadCatalogue(path);
    } catch (const FileError&) {
        FUZZ_CHECK(fromFile.Count() == 0);
        return 0;
    }
    FUZZ_CHECK(fromFile.Count() == fromText.Count());

    // The same file as the user catalogue: each code once, and a species
    // taken from a meter is found again under its code.
    TFactorCatalogue added;
    added.LoadAdded(path);
    FUZZ_CHECK(added.Count() <= fromText.Count());
    const std::string key = text.substr(0, TItem::MeterNameLength);
    const TFactorCatalogue::TSpecies species = added.TakeSpecies(key, 0.5);
    FUZZ_CHECK(species.code.size() == TItem::CodeLength);
    FUZZ_CHECK(added.FindSpecies(key, 0.5) && !added.TakeSpecies(key, 0.5).added);
    return 0;
}
