// The run-parameter record and the global tables the parameter reader fills.
#pragma once

#include <atomic>
#include <string>
#include <vector>

// Allele frequencies of one chain: rows by allele label 0 .. maxAllele, one
// column per locus (0-based).
struct FrequencyTable {
  int loci = 0;                // columns
  std::vector<double> cells;   // row-major, label * loci + locus
  double& operator()(int label, int locus) { return cells[static_cast<size_t>(label) * loci + locus]; }
  double operator()(int label, int locus) const { return cells[static_cast<size_t>(label) * loci + locus]; }
};

// A double shared with the control thread: every read and write is atomic, yet
// the record that holds it stays copyable.
struct SharedDouble {
  std::atomic<double> value{0};
  SharedDouble(double v = 0) : value(v) {}
  SharedDouble(const SharedDouble& other) : value(other.load()) {}
  SharedDouble& operator=(const SharedDouble& other) {
    store(other.load());
    return *this;
  }
  SharedDouble& operator=(double v) {
    store(v);
    return *this;
  }
  double load() const { return value.load(std::memory_order_relaxed); }
  void store(double v) { value.store(v, std::memory_order_relaxed); }
};

struct ParameterSet {
  int dataAsGenotypes = 0;             // 1: patient rows are unphased genotypes
  int geneticModel = 0;                // genotypes: 0 one leaf per individual, 1 one leaf per chromosome
  int readOld = 0;                     // start chain 0 from "inmat.txt"
  // The five step sizes are changed by the control thread while the sampler reads them.
  SharedDouble adjTree;                // step of the node-time and mutation-age proposals
  SharedDouble adjRecDist;             // step of the mutation-location proposal
  SharedDouble adjRoot;                // redraw probability of a root allele
  SharedDouble adjInternal;            // redraw probability of an internal-node allele
  SharedDouble adjFreq;                // step of the allele-frequency proposal
  long iterations = 0;                 // sampling iterations after burn-in
  long burnIn = 0;                     // burn-in iterations
  int numChrom = 0;                    // leaves of every genealogy
  std::vector<double> mutLocation;     // current mutation location per chain
  std::vector<double> mutAge;          // current mutation age per chain
  double mutAgeLow = 0;                // lower bound of the mutation age
  double mutAgeHigh = 0;               // upper bound of the mutation age
  double curMutAge = 0;                // age in force for the chain being updated
  double growthRate = 0;               // population growth rate r
  double propSampled = 0;              // proportion of the population sampled K
  int fileUpdate = 0;                  // ".dat" report interval (0: last iteration only)
  int screenUpdate = 0;                // screen report interval (0: last iteration only)
  int storeProps = 0;                  // write acceptance proportions to ".dat"
  int storePopHaplotypes = 0;          // tally population haplotypes (".hpf")
  int storeIndHaplotypes = 0;          // tally haplotypes per individual (".hin")
  double alphaLevel = 0;               // tail mass of the first credible region
  int histBars = 0;                    // histogram bars
  int numChains = 0;                   // chains run side by side
  int numLoci = 0;                     // marker loci
  std::vector<FrequencyTable> alleleFreq;      // current allele frequencies per chain
  std::vector<double> mapDist;                 // marker positions, index 1 .. numLoci (index 0 holds 0)
  int iterRoot = 0;                    // sample the ancestral haplotype
  int iterAge = 0;                     // sample the mutation age
  int iterLocation = 0;                // sample the mutation location
  int iterFreq = 0;                    // sample the allele frequencies
  int starGenealogy = 0;               // start from a star genealogy
  std::vector<std::vector<int>> rootHaplotype;  // ancestral allele per chain and locus
  int flipAllLoci = 0;                 // moves act on every locus instead of one
  double simMutLoc = 0;                // mutation location of simulated data
  int runSimulation = 0;               // simulate the patient data
  long randomSeed = 0;                 // 0: seed from the clock; negative: fixed seed
  int useSeqWeights = 0;               // weight the location prior by sequence segments
  std::vector<double> segStart;        // start of each sequence segment, ascending
  std::vector<double> segWeight;       // weight of each segment
  double mutLocLow = 0;                // lower bound of the mutation location
  double mutLocHigh = 0;               // upper bound of the mutation location
};

extern ParameterSet pset;                   // the run's settings and per-chain state
extern std::vector<int> maxall;             // highest allele label per locus
extern std::vector<std::vector<int>> normmat;  // control count by allele label and locus
extern double segweights[3];                // weight of exon, intron, non-gene sequence
extern int numsegs;                         // entries of segStart and segWeight

// Patient table filled by the reader: at most 1000 rows of 100 numbers.
constexpr int kPatientRows = 1000;
constexpr int kPatientColumns = 100;
using PatientTable = std::vector<std::vector<int>>;
PatientTable makePatientTable();

// Largest allele label of either data table; labels index the frequency rows.
constexpr int kMaxAlleleLabel = 498;

// The current value of a step size, read as a whole.
inline double stepSize(const SharedDouble& step) { return step.load(); }
