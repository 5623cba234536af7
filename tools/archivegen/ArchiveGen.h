#pragma once
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

namespace kr {

class TFile;

// A firm's worth of full data files for measuring the readings archive: each
// file is a meter downloaded when full (25 meter files of 25 readings), kept
// in <out>/<inspector>/<year>/. The same seed and count give the same bytes.
struct ArchiveGenOptions {
    int files = 10000;
    std::uint64_t seed = 1;
    QString out;
    int inspectors = 20;
    int firstYear = 2016;
    int years = 10;
};

// A species a reading can carry: the catalogue's wood with its SG, or a
// reference scale (no SG).
struct GenSpecies {
    std::string name;
    double sg = 0;
    bool reference = false;
};

struct ArchiveGenSummary {
    int files = 0;
    int backups = 0;  // data1.bak copies of a data file, as an erase leaves them
    long long readings = 0;  // in all files written, backups included
};

// The wood species of a factor catalogue (as the meter holds their names)
// followed by the meter's reference scales.
std::vector<GenSpecies> SpeciesFromCatalogue(const std::string& catalogueText);

// Fills `doc` as data file `index` of the set. Exposed so the bench and the
// tests can make one without writing a tree.
void FillGeneratedDocument(TFile& doc, const ArchiveGenOptions& options, const std::vector<GenSpecies>& species,
                           int index);

// Writes the whole set; raises the core's FileError when a file cannot be written.
ArchiveGenSummary GenerateArchiveFiles(const ArchiveGenOptions& options, const std::vector<GenSpecies>& species);

} // namespace kr
