// The readings core's reference figures: importing a full download, saving
// and loading a full data file, exporting a full document.
//
//   bench_core [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Mtlutils.h"
#include "core/Readings.h"

using namespace kr;

namespace {

const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// 625 record lines as the meter sends them, CR included.
std::vector<std::string> meterLines()
{
    std::vector<std::string> lines;
    for (int f = 1; f <= 25; ++f) {
        for (int r = 1; r <= 25; ++r) {
            char line[96];
            std::snprintf(line, sizeof line, "%02d %02d %02d-%s-%02d %02d:%02d %2d %-13s  %02d %d.%d\r", f, r,
                          1 + (f + r) % 28, months[(f * r) % 12], (f + 20) % 100, (f + r) % 24, (f * r) % 60,
                          (f * 3 + r) % 40 - 5, ("SPECIES" + std::to_string(f * 25 + r)).c_str(), 30 + (r % 50),
                          5 + (f + r) % 30, r % 10);
            lines.emplace_back(line);
        }
    }
    return lines;
}

// Every reading in use, a comment on every meter file, a note on every
// fifth reading and some free notes.
void fillFullDocument(TFile& doc)
{
    doc.ImportMeterLines(meterLines());
    for (int f = 1; f <= 25; ++f) {
        doc.SetComment(f, "Meter file " + std::to_string(f) + ": joists on the north side, ground floor");
        for (int r = 1; r <= 25; r += 5)
            doc.SetNote(f, r, "checked twice, knot near the probe point " + std::to_string(r));
    }
    std::vector<std::string> notes;
    for (int i = 0; i < 20; ++i)
        notes.push_back("Site note " + std::to_string(i) + ": readings taken after two dry days, heating off.");
    doc.SetNotes(notes);
}

std::string tempFile()
{
    return (std::filesystem::temp_directory_path() / "kr_bench_core.krx").string();
}

void BM_ImportMeterLines(benchmark::State& state)
{
    const std::vector<std::string> lines = meterLines();
    TKRFile doc;
    for (auto _ : state) {
        doc.ImportMeterLines(lines);
        benchmark::DoNotOptimize(doc.CountUsed(25));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
}
BENCHMARK(BM_ImportMeterLines);

void BM_SaveToFileThenLoadFromFile(benchmark::State& state)
{
    TKRFile doc;
    fillFullDocument(doc);
    TKRFile back;
    const std::string name = tempFile();
    for (auto _ : state) {
        doc.SaveToFile(name);
        back.LoadFromFile(name);
        benchmark::DoNotOptimize(back.CountUsed(25));
    }
    std::filesystem::remove(name);
}
BENCHMARK(BM_SaveToFileThenLoadFromFile);

// The same round trip without the disk: what the save and load cost in CPU
// apart from writing, syncing and reading the file.
void BM_SaveToText(benchmark::State& state)
{
    TKRFile doc;
    fillFullDocument(doc);
    for (auto _ : state) {
        std::string text = doc.SaveToText();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(doc.SaveToText().size()));
}
BENCHMARK(BM_SaveToText);

void BM_LoadFromFile(benchmark::State& state)
{
    TKRFile doc;
    fillFullDocument(doc);
    const std::string name = tempFile();
    doc.SaveToFile(name);
    TKRFile back;
    for (auto _ : state) {
        back.LoadFromFile(name);
        benchmark::DoNotOptimize(back.CountUsed(25));
    }
    std::filesystem::remove(name);
}
BENCHMARK(BM_LoadFromFile);

void BM_ExportText(benchmark::State& state)
{
    TKRFile doc;
    fillFullDocument(doc);
    for (auto _ : state) {
        std::vector<std::string> lines;
        doc.ExportText(lines, state.range(0) != 0);
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_ExportText)->Arg(1)->Arg(0);

} // namespace

BENCHMARK_MAIN();
