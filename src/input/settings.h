// The run settings: everything the parameter file holds and the tables derived
// from it. Filled once by the reader; read-only (const) from then on.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

// Patient rows as the reader accepts them: at most 1000 rows of 100 numbers.
constexpr int kPatientRows = 1000;
constexpr int kPatientColumns = 100;
// Largest allele label of either data table; labels index the frequency rows.
constexpr int kMaxAlleleLabel = 498;
// Every chain holds frequency tables and genealogies.
constexpr int kMaxChains = 1000;
// A starting location or age (or a simulated location) the file gives as
// this is drawn at random.
constexpr double kRandomValue = -99;

// The run lengths a command line gives instead of the file's entries
// "#chains", "Burn-in iteration" and "Iterations" (0: the file's).
struct RunLength {
  long chains = 0;
  long burnIn = 0;
  long iterations = 0;
};

// Allele frequencies: rows by allele label 0 .. maxAllele, one column per
// locus (0-based).
struct FrequencyTable {
  int loci = 0;               // columns
  std::vector<double> cells;  // row-major, label * loci + locus
  double& operator()(int label, int locus) { return cells[static_cast<size_t>(label) * loci + locus]; }
  double operator()(int label, int locus) const { return cells[static_cast<size_t>(label) * loci + locus]; }
  // Column of one locus: frequencies of labels 0.. at a stride of `loci`.
  const double* column(int locus) const { return &cells[static_cast<size_t>(locus)]; }
};

// With genotype data: one leaf per individual (the carrier chromosome, the
// other chromosome drawn from the population), or one leaf per chromosome.
enum class GeneticModel { OneLeafPerIndividual = 0, TwoLeavesPerIndividual = 1 };

// The five proposal step sizes, as the parameter file gives them.
struct StepSizes {
  double tree = 0;      // node-time and mutation-age step
  double location = 0;  // mutation-location step (Morgans)
  double root = 0;      // redraw probability of a root allele
  double internal = 0;  // redraw probability of an internal-node allele
  double freq = 0;      // allele-frequency step
};

// Sequence segments that weight the location prior.
struct SequenceSegments {
  std::array<double, 3> weights = {0, 0, 0};  // exon, intron, non-gene (also outside every segment)
  std::vector<double> start;                  // start of each segment, ascending
  std::vector<double> weight;                 // weight of each segment
  std::vector<char> letters;                  // e, i or n, as read (for the echo)
  bool fromAnnotation = false;                // built from an annotation file ("exons.txt" lists them)
  int count() const { return static_cast<int>(start.size()); }
};

// What the reader derives from the control and patient tables.
struct AlleleTables {
  std::vector<int> highestLabel;               // highest allele label per locus
  std::vector<std::vector<int>> controlCount; // control count by allele label and locus
  int maxAllele = 0;                     // highest label anywhere
  int largest = 0;                       // largest highestLabel value
  FrequencyTable startFrequencies;       // every chain's starting allele frequencies
};

struct RunSettings {
  bool genotypes = false;              // patient rows are unphased genotypes
  GeneticModel geneticModel = GeneticModel::OneLeafPerIndividual;
  bool readOld = false;                // start chain 0 from "inmat.txt"
  long fileSeed = 0;                   // "Use fixed random seed": 0 clock, negative fixed
  int numChrom = 0;                    // leaves of every genealogy
  int numLoci = 0;                     // marker loci L
  std::vector<double> mapDist;         // marker positions, index 1 .. L (index 0 holds 0)
  bool runSimulation = false;          // simulate the patient data
  double simMutLoc = 0;                // mutation location of simulated data (kRandomValue: random)
  double mutLocLow = 0;                // bounds of the mutation location
  double mutLocHigh = 0;
  int numChains = 0;
  double startLocation = 0;            // starting location of every chain, kRandomValue: random
  double growthRate = 0;               // population growth rate r
  double propSampled = 0;              // proportion of the population sampled K
  bool iterRoot = false;               // sample the ancestral haplotype
  bool iterAge = false;                // sample the mutation age
  bool iterLocation = false;           // sample the mutation location
  bool iterFreq = false;               // sample the allele frequencies
  bool flipAllLoci = false;            // allele moves act on every locus instead of one
  StepSizes steps;                     // starting step sizes
  long burnIn = 0;
  long iterations = 0;
  int screenUpdate = 0;                // screen report interval (0: last iteration only)
  int fileUpdate = 0;                  // ".dat" report interval (0: last iteration only)
  // Switches the file allows any non-negative value for (the echo shows it).
  int storeProps = 0;                  // write acceptance proportions to ".dat"
  int storePopHaplotypes = 0;          // tally population haplotypes (".hpf")
  int storeIndHaplotypes = 0;          // tally haplotypes per individual (".hin")
  int histBars = 0;
  double alphaLevel = 0;               // tail mass of the first credible region
  double startAge = 0;                 // starting mutation age, kRandomValue: random
  double mutAgeLow = 0;                // bounds of the mutation age
  double mutAgeHigh = 0;
  bool starGenealogy = false;          // start from a star genealogy
  std::vector<int> rootHaplotype;      // "Loci for the root"
  std::vector<std::vector<int>> patientRows;  // patient rows as read; empty when the data are simulated
  bool useSeqWeights = false;
  SequenceSegments segments;
  AlleleTables alleles;

  bool genotypesModel0() const { return genotypes && geneticModel == GeneticModel::OneLeafPerIndividual; }
  bool genotypesModel1() const { return genotypes && geneticModel == GeneticModel::TwoLeavesPerIndividual; }
  bool storesProps() const { return storeProps != 0; }
  bool storesPopHaplotypes() const { return storePopHaplotypes != 0; }
  bool storesIndHaplotypes() const { return storeIndHaplotypes != 0; }
};
