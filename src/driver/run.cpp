#include "driver/run.h"

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "menu/menu.h"
#include "core/binaryio.h"
#include "core/failure.h"
#include "core/random.h"
#include "driver/checkpoint.h"
#include "driver/memory.h"
#include "driver/outputs.h"
#include "driver/pool.h"
#include "driver/rounds.h"
#include "driver/runloop.h"
#include "genealogy/treestore.h"
#include "input/annotation.h"
#include "input/echo.h"
#include "input/reader.h"
#include "results/haplotypes.h"
#include "results/histogram.h"
#include "results/samples.h"
#include "results/summary.h"
#include "results/trace.h"
#include "sampler/chainsetup.h"
#include "sampler/smartstart.h"
#include "sampler/tempering.h"
#include "sampler/tuning.h"
#include "sampler/chainiteration.h"

namespace {

std::string signalName(int signal) {
  switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    default: return "signal " + std::to_string(signal);
  }
}

// A word as a shell reads it back: quoted when it holds anything but plain
// characters.
std::string shellWord(const std::string& word) {
  if (!word.empty() && word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./=:,+") ==
                           std::string::npos)
    return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The command that continues a stopped run from its checkpoint: the program
// and its arguments as given, with --resume CHECKPOINT first (an earlier
// --resume and --check left out).
std::string resumeCommand(const RunOptions& options, const std::string& checkpoint) {
  const std::vector<std::string>& given = options.commandLine;
  std::string command = shellWord(given.empty() ? std::string("mutloc") : given[0]) + " --resume " + shellWord(checkpoint);
  for (size_t i = 1; i < given.size(); i++) {
    if (given[i] == "--check" || given[i].rfind("--resume=", 0) == 0) continue;
    if (given[i] == "--resume") {
      i++;
      continue;
    }
    command += " " + shellWord(given[i]);
  }
  return command;
}

// The run lengths as a checkpoint's words ("chains=5 burn-in=100"), those not
// given left out.
std::string runLengthWords(const RunLength& length) {
  std::string words;
  for (const auto& [name, value] : {std::pair{"chains", length.chains}, std::pair{"burn-in", length.burnIn},
                                    std::pair{"iterations", length.iterations}})
    if (value > 0) words += (words.empty() ? "" : " ") + std::string(name) + "=" + std::to_string(value);
  return words;
}

// The lengths given, and where one is not, the one a checkpoint's words carry.
RunLength givenOrCarried(const RunLength& given, const std::string& words) {
  auto carried = [&words](long value, const char* name) {
    return value > 0 ? value : std::strtol(wordValue(words, name).c_str(), nullptr, 10);
  };
  return RunLength{carried(given.chains, "chains"), carried(given.burnIn, "burn-in"),
                   carried(given.iterations, "iterations")};
}

// The whole parameter file; false when it cannot be read.
bool readWholeFile(const std::string& name, std::string& text) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Chains on two or more threads, with no companions to swap with, run ahead
// of each other for up to 8 iterations, as long as the copies the reports
// read stay within 64 MiB; otherwise (and on one thread) they meet after
// every iteration.
int aheadSteps(const RunSettings& s, int threads, int heated) {
  if (threads < 2 || heated > 0 || s.numChains < 2) return 1;
  const double perIteration = s.numChains * chainBytes(s);
  return static_cast<int>(std::clamp(std::floor(64.0 * (1 << 20) / perIteration), 1.0, 8.0));
}

// Everything a run owns from its parameter file to its last file.
class Run {
 public:
  Run(const RunOptions& options, SharedControl& control, const std::string& paramText)
      : options_(options), control_(control), paramText_(paramText), names_(options.outputPrefix()) {}

  int fresh();
  int resume();
  // Closes every output; a status of 0 becomes 1 (with its message) when a
  // file could not be written completely.
  int close(int status);

 private:
  // Reads the parameter file, with the run lengths given in place of its own.
  void readSettings(const RunLength& length);
  // The chains' starting state (the parameter echo, the "Rootstate" report
  // and the smart start's values go to log).
  ChainSetup startChains(long shownSeed, std::ostream& log);
  // Opens every output of a fresh run and writes the ".log" text and "exons.txt".
  void openFreshOutputs(const std::string& logText);
  void checkRunMemory(int heated) const;
  // With --sporadic: refuses runs whose leaves are not the patient rows, and
  // makes the founder tallies.
  void prepareSporadic();
  void prepareSampler(std::vector<Chain>& chains, long seed);
  RunRecords records(std::vector<Chain>& chains);
  void checkOutputs(bool resuming);
  void checkDiskRoom(long samplingIterationsLeft);
  int checkOnly(const ChainSetup& setUp);
  // Bytes of PREFIX.samples per sampling iteration.
  double sampleBytes() const { return settings_.numChains * (sampling_.sporadic ? 3 : 2) * sizeof(double); }
  int iterate(ChainSetup& setup, long firstIteration);
  void updateAll(std::vector<Chain>& chains, const MoveContext& ctx);
  void advance(std::vector<Chain>& chains, const MoveContext& ctx, std::vector<std::vector<Chain>>& views, int steps);
  int poolThreads(int heated) const;
  int poolThreads() const { return poolThreads(sampling_.heated); }
  void writeCheckpointAt(long t, std::vector<Chain>& chains);
  void writeResults(std::vector<Chain>& chains, const SweepEnd& end);
  void writeSummary(const std::vector<Chain>& chains, const SweepEnd& end, const MoveContext& ctx,
                    const RunCompletion& completion);
  RunCompletion completionOf(const SweepEnd& end) const;
  void reportStop(const RunCompletion& completion) const;
  // The draws the summary and the rounds' test read: every chain's first
  // `count` samples, thinned evenly to at most a million in all.
  SampleFile::Draws summaryDraws(long count);
  // The sampling iterations the run may do: "Iterations", or in rounds the
  // most --max-iterations allows.
  long samplingAllowed() const { return rounds_.on ? std::max(rounds_.maxIterations, 1L) : settings_.iterations; }
  // The plan's hooks for a run in rounds: the test after each round, the
  // time limit.
  void planRounds(SweepPlan& plan, long firstIteration);
  long afterRound(long t);
  void writeFounderTable(const std::vector<FounderRow>& rows);
  CheckpointIdentity identity() const;
  // The sampling options given, the whole-phase draw kept only for genotype
  // data: haplotype runs keep the words (and checkpoints) they had before it.
  SamplingOptions givenSampling() const;
  // The step sets of every temperature: the cold chains', then the companions'.
  std::vector<StepSet*> allSteps();

  const RunOptions& options_;
  SharedControl& control_;
  const std::string& paramText_;
  OutputNames names_;
  RunSettings settings_;
  SamplingOptions sampling_;  // given, or (resuming) the checkpoint's
  std::string samplingWords_;  // as the checkpoints hold them
  RoundRule rounds_;           // given, or (resuming) the checkpoint's
  int roundsDone_ = 0;
  bool reachedAtRound_ = false;
  bool timeEnded_ = false;
  // The random streams: the set-up's minimal-standard stream (every chain's
  // too unless they have streams of their own), the chains' own PCG64
  // streams, their companions', and one per chain for the swaps.
  std::vector<Random> setupStream_ = std::vector<Random>(1);
  std::vector<Random> chainStreams_, companionStreams_, swapStreams_;
  std::vector<StepSet> levelSteps_;  // the step sizes of temperatures 1..K
  Tempering tempering_;
  std::unique_ptr<Tuner> tuner_;
  std::unique_ptr<ChainPool> pool_;
  OutputFiles files_;
  std::unique_ptr<SampleFile> samples_;
  std::unique_ptr<TraceReport> trace_;
  HaplotypeTallies tallies_;
  std::unique_ptr<FounderTally> founders_;  // with --sporadic
  long checkpointEvery_ = 0;
  bool checkpointWritten_ = false;
  long seed_ = 0;  // the seed the run started from
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

SamplingOptions Run::givenSampling() const {
  SamplingOptions given = options_.sampling;
  if (!settings_.genotypes) given.moves.gibbsPhase = false;
  return given;
}

void Run::readSettings(const RunLength& length) {
  std::istringstream in(paramText_);
  settings_ = readParameterFile(in);
  applyRunLength(settings_, length);
  // Before anything of the run's size is allocated. Heated companions are
  // copies of their chains, and a check run copies every record for its
  // timed iterations.
  checkRunMemory(options_.sampling.heated);
  tallies_ = makeHaplotypeTallies(settings_);
  control_.prepare(settings_);
}

void Run::checkRunMemory(int heated) const {
  const bool checkpoints = options_.checkpointEvery > 0 || !options_.resume.empty();
  // Chains running ahead keep copies of themselves for the reports.
  const int copies = (1 + heated) * (options_.check ? 2 : 1) + aheadSteps(settings_, poolThreads(heated), heated) - 1;
  checkMemory(settings_, estimateMemory(settings_, copies, checkpoints), availableMemory());
}

CheckpointIdentity Run::identity() const {
  CheckpointIdentity id;
  id.version = MUTLOC_VERSION;
  id.paramHash = fnv1a64(paramText_.data(), paramText_.size());
  id.samplingOptions = samplingWords_;
  if (options_.seedGiven) id.requiredOptions.push_back("seed=" + std::to_string(options_.seed));
  std::istringstream given(runLengthWords(options_.runLength) + " " + givenSampling().toWords() + " " +
                           options_.rounds.toWords());
  for (std::string word; given >> word;) id.requiredOptions.push_back(word);
  return id;
}

// The streams, companions and tuning the sampling options ask for, around
// chains that are set up (or shaped for a checkpoint).
void Run::prepareSampler(std::vector<Chain>& chains, long seed) {
  const int M = settings_.numChains;
  const int K = sampling_.heated;
  if (sampling_.streams) {
    // The chains start as in any run and draw from PCG64 stream 1 + c from
    // the first iteration on; companions and swaps have streams after them.
    chainStreams_.clear();
    for (int c = 0; c < M; c++) chainStreams_.push_back(Random::pcgStream(seed, 1 + c));
    for (Chain& chain : chains) chain.rng = &chainStreams_[chain.index];
    companionStreams_.clear();
    for (int i = 0; i < M * K; i++) companionStreams_.push_back(Random::pcgStream(seed, 1 + M + i));
    swapStreams_.clear();
    if (K > 0)
      for (int c = 0; c < M; c++) swapStreams_.push_back(Random::pcgStream(seed, 1 + M + M * K + c));
    // Chains side by side must not change a shared step size on the way:
    // the two that a kernel may lower are lowered here, once.
    const double width = settings_.mutLocHigh - settings_.mutLocLow;
    if (control_.location.load() > width) {
      control_.location = width;
      std::cout << "Adjustment level for recdist is too large. It has been changed to" << width
                << ", the size of the interval specified." << std::endl;
    }
    if (control_.freq.load() > 1) control_.freq = 1.0;
  }
  levelSteps_.assign(K, static_cast<const StepSet&>(control_));
  if (K > 0) tempering_ = Tempering(chains, sampling_, companionStreams_, swapStreams_, levelSteps_);
}

std::vector<StepSet*> Run::allSteps() {
  std::vector<StepSet*> steps = {&control_};
  for (StepSet& level : levelSteps_) steps.push_back(&level);
  return steps;
}

RunRecords Run::records(std::vector<Chain>& chains) {
  return RunRecords{{&setupStream_, &chainStreams_, &companionStreams_, &swapStreams_},
                    control_,
                    levelSteps_,
                    *trace_,
                    tallies_,
                    chains,
                    tempering_,
                    tuner_.get(),
                    founders_.get()};
}

// Every file the run will write must be writable before any is touched, and
// none may be the parameter file (a parameter file named run.dat with -o run).
void Run::checkOutputs(bool resuming) {
  std::vector<std::string> written(std::begin(names_.files), std::end(names_.files));
  for (const std::string& name : {names_.samples, names_.summary, names_.checkpoint, names_.checkpoint + ".tmp"})
    written.push_back(name);
  if (founders_) written.push_back(names_.founders);
  if (settings_.segments.fromAnnotation) written.push_back(names_.exons);
  for (const std::string& name : written)
    if (sameFile(name, options_.paramFile))
      throw failLine("The output " + name + " is the parameter file " + options_.paramFile + "; choose another -o.");
  auto requireWritable = [](const std::string& name) {
    if (!canWrite(name)) throw RunFailure{1, name + " can't be opened.\n", whyNotWritable(name)};
  };
  for (int f = 0; f < kOutputFiles; f++)
    if (!(resuming && f == Log)) requireWritable(names_.files[f]);
  requireWritable(names_.samples);
  requireWritable(names_.summary);
  if (founders_) requireWritable(names_.founders);
  if (checkpointEvery_ > 0) requireWritable(names_.checkpoint);
  if (!resuming && settings_.segments.fromAnnotation && !canWrite(names_.exons))
    throw RunFailure{-1, names_.exons + " is currently open\n"};
}

void Run::checkDiskRoom(long samplingIterationsLeft) {
  // In rounds the length is not known: room for the most the run may do.
  const double needed = static_cast<double>(samplingIterationsLeft) * sampleBytes();
  const long long available = freeBytesFor(names_.samples);
  if (available >= 0 && needed > static_cast<double>(available))
    throw failLine(names_.samples + " would need about " + bytesText(needed) + " for the sampled values; the disk has " +
                   bytesText(static_cast<double>(available)) + " free." +
                   (rounds_.on ? " A smaller --max-iterations bounds it." : ""));
}

// Threads beyond the number of records (chains and companions) would only wait.
int Run::poolThreads(int heated) const {
  const int records = settings_.numChains * (1 + heated);
  return std::max(1, std::min(options_.threads, records));
}

// Every record's moves for one iteration: in chain order on the one shared
// stream, or side by side on the pool.
void Run::updateAll(std::vector<Chain>& chains, const MoveContext& ctx) {
  std::vector<Chain*> all = tempering_.records(chains);
  pool_->run(static_cast<int>(all.size()), [&](int i) { updateChain(*all[i], ctx); });
  if (tempering_.active()) tempering_.proposeSwaps(chains);
}

// Each chain's moves for a stretch of iterations, side by side on the pool,
// each chain as far ahead as it goes; a copy of every chain after each
// iteration for the reports.
void Run::advance(std::vector<Chain>& chains, const MoveContext& ctx, std::vector<std::vector<Chain>>& views,
                  int steps) {
  pool_->runSequences(static_cast<int>(chains.size()), steps, [&](int c, int k) {
    updateChain(chains[c], ctx);
    views[k][c] = chains[c];
    return brokenTerm(chains[c]).name == nullptr;
  });
}

int Run::checkOnly(const ChainSetup& setUp) {
  const RunSettings& s = settings_;
  checkOutputs(false);
  checkDiskRoom(samplingAllowed());
  const long total = s.burnIn + samplingAllowed();
  // A few iterations on a copy of the chains, for the time per iteration.
  ChainSetup copy = setUp;
  std::vector<Random> streams = chainStreams_;
  if (sampling_.streams)
    for (Chain& chain : copy.chains) chain.rng = &streams[chain.index];
  const MoveContext ctx = moveContextOf(s, control_, copy, sampling_.moves);
  Tempering tempering = tempering_;
  std::vector<Chain*> all = tempering.records(copy.chains);
  if (!pool_) pool_ = std::make_unique<ChainPool>(poolThreads());
  const auto start = std::chrono::steady_clock::now();
  long timed = 0;
  double seconds = 0;
  while (timed < total && (timed < 3 || seconds < 1.0)) {
    if (sampling_.streams)
      pool_->run(static_cast<int>(all.size()), [&](int i) { updateChain(*all[i], ctx); });
    else
      for (Chain& chain : copy.chains) updateChain(chain, ctx);
    timed++;
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  const char* data = !s.genotypes ? "haplotype data" : s.genotypesModel0() ? "genotype data, genetic model 0"
                                                                           : "genotype data, genetic model 1";
  std::cout << "mutloc: " << options_.paramFile << " can start: " << data << ", " << s.numChrom
            << " leaves, " << s.numLoci << " loci; " << s.numChains << (s.numChains == 1 ? " chain" : " chains")
            << "; " << s.burnIn << " burn-in and " << s.iterations << " sampling iterations";
  if (rounds_.on)
    std::cout << " in the first round, then more until every R-hat is at most " << rounds_.targetRhat
              << " and every ESS at least " << rounds_.targetEss << " (at most " << rounds_.maxIterations
              << " sampling iterations" << (options_.rounds.maxSeconds > 0 ? ", " + clockText(options_.rounds.maxSeconds) : "")
              << ")";
  std::cout << ".\n";
  if (!samplingWords_.empty()) std::cout << "Sampling options: " << samplingWords_ << "\n";
  std::cout << "Outputs:";
  for (const std::string& name : names_.files) std::cout << " " << name;
  if (s.segments.fromAnnotation) std::cout << " " << names_.exons;
  std::cout << " " << names_.summary;
  if (founders_) std::cout << " " << names_.founders;
  std::cout << "\nDuring the run: " << names_.samples << " (" << (rounds_.on ? "at most about " : "about ")
            << bytesText(static_cast<double>(samplingAllowed()) * sampleBytes()) << ")";
  if (checkpointEvery_ > 0) std::cout << ", " << names_.checkpoint;
  std::cout << "\nEstimated run time: " << (rounds_.on ? "at most about " : "about ")
            << clockText(seconds / timed * total) << " (from " << timed << " timed iterations).\n";
  const bool checkpoints = checkpointEvery_ > 0 || !options_.resume.empty();
  const int copies = 1 + sampling_.heated + aheadSteps(s, poolThreads(), sampling_.heated) - 1;
  std::cout << "Estimated memory: about " << bytesText(estimateMemory(s, copies, checkpoints).total()) << ".\n";
  std::cout << "Nothing was written." << std::endl;
  return 0;
}

void Run::writeFounderTable(const std::vector<FounderRow>& rows) {
  std::ofstream out;
  if (!openOutput(out, names_.founders)) throw failLine(names_.founders + " can't be opened.");
  ::writeFounderTable(out, rows, settings_, settings_.numChains);
  out.close();
  if (out.fail()) throw failLine(writeFailure(names_.founders));
}

void Run::prepareSporadic() {
  if (!sampling_.sporadic) return;
  const RunSettings& s = settings_;
  // The founder probabilities are reported per patient row, which needs the
  // rows placed on the leaves as the set-up places them.
  if (s.runSimulation)
    throw failLine("--sporadic needs patient data: with \"Run simulation\" 1 every chain simulates data of its own.");
  if (s.readOld)
    throw failLine("--sporadic cannot start from inmat.txt (\"Read old file\" 1): its leaves are not tied to the "
                   "patient rows.");
  founders_ = std::make_unique<FounderTally>(s, s.numChains);
}

void Run::writeCheckpointAt(long t, std::vector<Chain>& chains) {
  files_.out[Dat].flush();
  if (!files_.out[Dat]) throw failLine(writeFailure(names_.files[Dat]));
  CheckpointPosition position;
  position.iteration = t;
  position.datLength = static_cast<uint64_t>(files_.out[Dat].tellp());
  position.samplesLength = samples_->flush();
  position.checkpointEvery = checkpointEvery_;
  RunRecords all = records(chains);
  writeCheckpoint(names_.checkpoint, identity(), position, all);
  checkpointWritten_ = true;
}

int Run::iterate(ChainSetup& setup, long firstIteration) {
  const MoveContext ctx = moveContextOf(settings_, control_, setup, sampling_.moves);
  if (sampling_.streams) pool_ = std::make_unique<ChainPool>(poolThreads());
  control_.menuReady.store(true);
  trace_->setQuiet(options_.quiet);
  SweepPlan plan;
  plan.firstIteration = firstIteration;
  plan.samples = samples_.get();
  plan.founders = founders_.get();
  plan.checkpointEvery = checkpointEvery_;
  plan.tempering = &tempering_;
  if (rounds_.on) planRounds(plan, firstIteration);
  plan.checkpoint = [&](long t) { writeCheckpointAt(t, setup.chains); };
  const int ahead = aheadSteps(settings_, poolThreads(), sampling_.heated);
  if (sampling_.streams && ahead > 1) {
    plan.aheadSteps = ahead;
    plan.advance = [&](std::vector<Chain>& chains, std::vector<std::vector<Chain>>& views, int steps) {
      advance(chains, ctx, views, steps);
    };
    // The tuner reads every chain's acceptances and sets the steps they share.
    if (tuner_)
      plan.meetAfter = [this](long t) {
        return t < settings_.burnIn && ((t + 1) % Tuner::kBatch == 0 || t == settings_.burnIn - 1);
      };
  } else if (sampling_.streams) {
    plan.update = [&](std::vector<Chain>& chains) { updateAll(chains, ctx); };
  }
  if (tuner_) {
    const std::vector<StepSet*> steps = allSteps();
    plan.afterIteration = [this, steps, &setup](long t) {
      tuner_->update(t, tempering_.records(setup.chains), steps);
      if (t != settings_.burnIn - 1) return;
      for (size_t level = 0; level < steps.size(); level++)
        std::cerr << "mutloc: tuned steps" << (steps.size() > 1 ? " of temperature " + std::to_string(level) : "")
                  << ": " << Tuner::describe(*steps[level]) << std::endl;
    };
  }
  const SweepEnd end = runSweeps(setup.chains, ctx, *trace_, tallies_, plan);
  writeResults(setup.chains, end);
  const RunCompletion completion = completionOf(end);
  writeSummary(setup.chains, end, ctx, completion);
  // The samples and the checkpoint serve only a run that can still go on.
  if (!end.stopped || !checkpointWritten_) {
    samples_->remove();
    if (!end.stopped) std::remove(names_.checkpoint.c_str());
  }
  // A term that broke fails the run once what it had is written.
  if (!end.failure.empty()) throw failLine(end.failure);
  if (!end.stopped) return 0;
  reportStop(completion);
  // A stop by a signal is no finished run: scripts and workflow engines read
  // the status as the shell reports a signal's end.
  const int signal = control_.stopSignal.load();
  return signal != 0 ? 128 + signal : 0;
}

RunCompletion Run::completionOf(const SweepEnd& end) const {
  RunCompletion c;
  c.completed = !end.stopped;
  c.iterationsDone = end.failure.empty() ? end.lastIteration + 1 : end.lastIteration + 2;
  // In rounds the plan is known only at the end: a finished run did what it
  // planned; a stopped one could have gone on to --max-iterations.
  c.iterationsPlanned = rounds_.on && c.completed ? c.iterationsDone : settings_.burnIn + samplingAllowed();
  if (c.completed) return c;
  const int signal = control_.stopSignal.load();
  c.stoppedBy = !end.failure.empty() ? "failure" : signal == 0 ? "menu" : signalName(signal);
  if (checkpointWritten_ && end.failure.empty()) c.resumeCommand = resumeCommand(options_, names_.checkpoint);
  return c;
}

// One line on standard error: where the run stopped, and how it goes on.
void Run::reportStop(const RunCompletion& c) const {
  std::cerr << "mutloc: the run was stopped " << (c.stoppedBy == "menu" ? "from the menu" : "by " + c.stoppedBy)
            << " after iteration " << c.iterationsDone << " of " << c.iterationsPlanned
            << (c.iterationsDone <= settings_.burnIn ? " (in the burn-in)" : "")
            << "; the files hold what it had drawn. ";
  if (!c.resumeCommand.empty())
    std::cerr << "Continue it with: " << c.resumeCommand << std::endl;
  else
    std::cerr << "It cannot be continued: a run with --checkpoint-every N can." << std::endl;
}

void Run::planRounds(SweepPlan& plan, long firstIteration) {
  const RunSettings& s = settings_;
  const long sampled = std::max(0L, firstIteration - s.burnIn);
  roundsDone_ = rounds_.roundsDone(sampled, s.iterations);
  plan.total = s.burnIn + rounds_.roundEnd(sampled, s.iterations);
  plan.roundEnded = [this](long t) { return afterRound(t); };
  const double limit = options_.rounds.maxSeconds;
  if (limit > 0)
    plan.timeUp = [this, limit] {
      timeEnded_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count() >= limit;
      return timeEnded_;
    };
}

// The test at the end of a round: the pooled R-hat and effective sample
// sizes of the samples so far, as the summary computes them.
long Run::afterRound(long t) {
  const RunSettings& s = settings_;
  const long sampled = t + 1 - s.burnIn;
  const SampleFile::Draws draws = summaryDraws(sampled);
  const RoundVerdict verdict = judgeRound(draws.locations, draws.ages, s.iterLocation, s.iterAge, rounds_);
  roundsDone_++;
  reachedAtRound_ = verdict.reached;
  const bool last = verdict.reached || sampled >= rounds_.maxIterations;
  const long next = last ? t + 1 : s.burnIn + rounds_.roundEnd(sampled, s.iterations);
  std::ostringstream note;
  note << "; after round " << roundsDone_ << ": location " << diagnosticsText(verdict.location) << "; age "
       << diagnosticsText(verdict.age);
  if (!options_.quiet)
    std::cerr << "mutloc: round " << roundsDone_ << " ended at " << sampled << " sampling iterations: location "
              << diagnosticsText(verdict.location) << "; age " << diagnosticsText(verdict.age) << "; "
              << (verdict.reached ? "target reached."
                  : last          ? "--max-iterations reached."
                                  : "going on to " + std::to_string(next - s.burnIn) + ".")
              << std::endl;
  trace_->setNote(note.str());
  return next;
}

// At most a million draws in all are kept for the diagnostics, evenly spaced
// in every chain, so that memory stays bounded however long the run.
constexpr long kSummaryDraws = 1000000;

SampleFile::Draws Run::summaryDraws(long count) {
  return samples_->readDraws(std::max(0L, count), std::max(1000L, kSummaryDraws / settings_.numChains));
}

// The summaries of the end of a run, from chain 0 and every chain's samples.
void Run::writeResults(std::vector<Chain>& chains, const SweepEnd& end) {
  const RunSettings& s = settings_;
  std::cout << "\nWriting files...\n" << std::endl;
  const long count = end.lastIteration - s.burnIn + 1;
  if (count > 0)
    samples_->writeHistograms(count, s.histBars, s.alphaLevel, files_.out[Sig], files_.out[Tre]);
  else
    std::cout << "No samples were drawn: the run stopped during burn-in, so the histograms are empty." << std::endl;
  const TreeMatrix& tree = chains[0].tree;
  if (s.storesPopHaplotypes()) {
    tallyPopulationHaplotypes(tallies_, tree);
    writePopulationHaplotypes(tallies_, tree, files_.out[Hpf]);
  }
  writeFinalHaplotypes(tree, files_.out[Hap]);
  if (s.storesIndHaplotypes()) {
    tallyIndividualHaplotypes(tallies_, tree);
    writeIndividualHaplotypes(tallies_, tree, files_.out[Hin]);
  }
  writeGenealogy(tree, chains[0].rootHaplotype, files_.out[Mat]);
}

void Run::writeSummary(const std::vector<Chain>& chains, const SweepEnd& end, const MoveContext& ctx,
                       const RunCompletion& completion) {
  const RunSettings& s = settings_;
  const long count = end.lastIteration - s.burnIn + 1;
  SummaryContext context;
  context.completion = completion;
  if (s.iterLocation) {
    context.locationLow = s.mutLocLow;
    context.locationHigh = s.mutLocHigh;
  }
  context.seed = seed_;
  context.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  context.drawsPerChain = std::max(0L, count);
  context.mixingOptions = sampling_.mixing();
  // A prepared parameter file has its marker table beside it: locations in
  // base pairs too. A table that cannot be used costs a warning only.
  const MarkerTableRead table = findMarkerTable(options_.paramFile);
  std::string fault = table.warning;
  if (table.table && fault.empty())
    fault = checkAgainstMap(*table.table, std::vector<double>(s.mapDist.begin() + 1, s.mapDist.end()),
                            options_.paramFile + ".markers.tsv");
  if (table.table && fault.empty()) context.markers = &*table.table;
  if (!fault.empty()) std::cerr << "mutloc: " << fault << std::endl;
  context.histBars = s.histBars;
  // The counters include every iteration that ran: after a broken term, also
  // the iteration that broke it, whose samples are left out.
  const long lastIteration = end.failure.empty() ? end.lastIteration : end.lastIteration + 1;
  addSamplerRecords(context, chains, ctx, lastIteration, tempering_, tuner_.get(), allSteps());
  const SampleFile::Draws draws = summaryDraws(count);
  const QuantitySummary location = summarise(draws.locations, s.histBars);
  const QuantitySummary age = summarise(draws.ages, s.histBars);
  RoundsReport rounds;
  if (rounds_.on) {
    rounds.targetRhat = rounds_.targetRhat;
    rounds.targetEss = rounds_.targetEss;
    rounds.maxIterations = rounds_.maxIterations;
    rounds.reached = judgeRound(draws.locations, draws.ages, s.iterLocation, s.iterAge, rounds_).reached;
    rounds.iterations = std::max(0L, count);
    rounds.rounds = roundsDone_;
    rounds.endedBy = end.stopped ? "stop" : timeEnded_ ? "max-time" : reachedAtRound_ ? "target" : "max-iterations";
    context.rounds = &rounds;
  }
  SporadicSummary sporadic;
  if (founders_) {
    sporadic.fixedShare = sampling_.sporadicPrior.fixedShare;
    if (!sampling_.sporadicPrior.fixed()) sporadic.share = summarise(draws.shares, s.histBars);
    sporadic.rows = founders_->rows(s);
    sporadic.genotypes = s.genotypes;
    sporadic.pairs = s.genotypesModel1();
    context.sporadic = &sporadic;
    writeFounderTable(sporadic.rows);
  }
  const long used = draws.locations.empty() ? 0 : static_cast<long>(draws.locations[0].size());
  std::ofstream out;
  if (!openOutput(out, names_.summary)) throw failLine(names_.summary + " can't be opened.");
  out << summaryJson(location, age, context, used);
  out.close();
  if (out.fail()) throw failLine(writeFailure(names_.summary));
  if (used > 0)
    writeSummaryLines(std::cerr, location, age, context);
  else if (context.rounds)  // ended in the burn-in (--max-time, a stop): still say so
    std::cerr << roundsLine(*context.rounds);
}

int Run::fresh() {
  readSettings(options_.runLength);
  const RunSettings& s = settings_;
  sampling_ = givenSampling();
  const long shownSeed = options_.seedGiven ? options_.seed : s.fileSeed;
  long seed = shownSeed;
  if (seed == 0) {
    seed = seedFromClock();
    std::cerr << "mutloc: seed " << seed << " drawn from the clock; repeat with --seed " << seed << std::endl;
  }
  setupStream_[0] = Random(static_cast<int32_t>(seed));
  seed_ = seed;
  samplingWords_ = "seed=" + std::to_string(seed);
  rounds_ = options_.rounds;
  for (const std::string& words : {runLengthWords(options_.runLength), sampling_.toWords(), rounds_.toWords()})
    if (!words.empty()) samplingWords_ += " " + words;
  checkpointEvery_ = options_.checkpointEvery;
  prepareSporadic();
  // Everything that may reject the run happens before any file is touched;
  // the ".log" text waits in memory until then.
  std::ostringstream log;
  ChainSetup setup = startChains(shownSeed, log);
  // A stop signalled before the first iteration ends the run before any
  // output is opened: there is nothing to write yet.
  stopIfAsked(&control_.stopRequested);
  prepareSampler(setup.chains, seed);
  if (sampling_.tune)
    tuner_ = std::make_unique<Tuner>(sampling_, moveContextOf(s, control_, setup, sampling_.moves));
  if (options_.check) return checkOnly(setup);
  checkOutputs(false);
  checkDiskRoom(samplingAllowed());
  openFreshOutputs(log.str());
  return iterate(setup, 0);
}

ChainSetup Run::startChains(long shownSeed, std::ostream& log) {
  const RunSettings& s = settings_;
  const StartingValues start = drawStartingValues(s, setupStream_[0]);
  writeParameterEcho(log, s, shownSeed, start.locations, start.ages);
  ChainSetup setup = setupChains(s, start, setupStream_[0], control_, log, &control_.stopRequested);
  if (sampling_.sporadic) enableSporadic(setup.chains, s, sampling_.sporadicPrior);
  if (sampling_.smartStart) {
    smartStart(setup.chains, s, sampling_, setupStream_[0], &control_.stopRequested);
    // The echo above shows the values drawn first; the chains start here.
    log << "Starting values of the built genealogies (--smart-start)\nMutation location\n";
    for (const Chain& chain : setup.chains) log << chain.mutLocation << " ";
    log << "\nMutation age\n";
    for (const Chain& chain : setup.chains) log << chain.mutAge << " ";
    log << "\n";
  }
  return setup;
}

void Run::openFreshOutputs(const std::string& logText) {
  const RunSettings& s = settings_;
  // A checkpoint left by an earlier run into these outputs no longer matches
  // them: resumed, it would splice that run's state onto this one's files.
  std::remove(names_.checkpoint.c_str());
  std::remove((names_.checkpoint + ".tmp").c_str());
  for (int f = 0; f < kOutputFiles; f++)
    if (!openOutput(files_.out[f], names_.files[f])) throw failLine(names_.files[f] + " can't be opened.");
  // Whole on disk at once: a run killed later, and continued from a
  // checkpoint, keeps it.
  files_.out[Log] << logText << std::flush;
  if (!files_.out[Log]) throw failLine(writeFailure(names_.files[Log]));
  if (s.segments.fromAnnotation) {
    std::ofstream exons;
    if (!openOutput(exons, names_.exons)) throw RunFailure{-1, names_.exons + " is currently open\n"};
    exons << segmentEntriesText(s.segments.start, s.segments.letters);
    exons.close();
    if (exons.fail()) throw failLine(names_.exons + " could not be written.");
  }
  samples_ = std::make_unique<SampleFile>(names_.samples, s.numChains, sampling_.sporadic);
  samples_->open();
  trace_ = std::make_unique<TraceReport>(s, files_.out[Dat], names_.files[Dat]);
}

int Run::resume() {
  const std::string& path = options_.resume;
  const std::string suffix = ".ckpt";
  if (path.size() <= suffix.size() || path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0)
    throw failLine(path + " is not named PREFIX.ckpt; give the checkpoint the run wrote.");
  const std::string prefix = path.substr(0, path.size() - suffix.size());
  if (!options_.prefix.empty() && options_.prefix != prefix)
    throw failLine("--resume " + path + " continues the run into " + prefix + "; -o " + options_.prefix +
                   " names other outputs.");
  names_ = OutputNames(prefix);
  // The checkpoint's run lengths hold unless the command line repeats them
  // (other values are refused with the other sampling options).
  readSettings(givenOrCarried(options_.runLength, peekSamplingOptions(path)));
  const RunSettings& s = settings_;
  const CheckpointPosition header = readCheckpointHeader(path, identity(), s);
  samplingWords_ = header.samplingOptions;
  sampling_ = SamplingOptions::fromWords(samplingWords_);
  rounds_ = RoundRule::fromWords(samplingWords_);
  rounds_.maxSeconds = options_.rounds.maxSeconds;
  if (sampling_.heated > options_.sampling.heated) checkRunMemory(sampling_.heated);
  const std::string seedText = wordValue(samplingWords_, "seed");
  seed_ = std::strtol(seedText.c_str(), nullptr, 10);
  prepareSporadic();
  std::vector<Chain> chains = makeChains(s, setupStream_[0], control_, &control_.stopRequested);
  if (sampling_.sporadic) enableSporadic(chains, s, sampling_.sporadicPrior);
  prepareSampler(chains, seed_);
  ChainSetup shaped = setupOf(s, chains);
  if (sampling_.tune) tuner_ = std::make_unique<Tuner>(sampling_, moveContextOf(s, control_, shaped, sampling_.moves));
  trace_ = std::make_unique<TraceReport>(s, files_.out[Dat], names_.files[Dat]);
  RunRecords all = records(chains);
  const CheckpointPosition position = readCheckpoint(path, identity(), s, all);
  stopIfAsked(&control_.stopRequested);
  checkpointEvery_ = options_.checkpointEvery > 0 ? options_.checkpointEvery : position.checkpointEvery;
  checkOutputs(true);
  for (const auto& [name, length] : {std::pair{names_.files[Dat], position.datLength},
                                     std::pair{names_.samples, position.samplesLength}})
    if (fileBytes(name) < static_cast<long long>(length))
      throw failLine(name + " is shorter than the checkpoint records; the run cannot be resumed.");
  const long sampled = std::max(0L, position.iteration + 1 - s.burnIn);
  checkDiskRoom(samplingAllowed() - sampled);
  if (options_.check) {
    std::cout << "mutloc: " << path << " can be resumed at iteration " << position.iteration + 1 << " of "
              << (rounds_.on ? "at most " : "") << s.burnIn + samplingAllowed() << ".\nNothing was written."
              << std::endl;
    return 0;
  }

  for (int f = 0; f < kOutputFiles; f++) {
    if (f == Log) continue;
    const bool keep = f == Dat;
    if (!openOutput(files_.out[f], names_.files[f], keep, position.datLength))
      throw failLine(names_.files[f] + " can't be opened.");
  }
  samples_ = std::make_unique<SampleFile>(names_.samples, s.numChains, sampling_.sporadic);
  samples_->open(true, position.samplesLength);
  ChainSetup setup = setupOf(s, std::move(chains));
  return iterate(setup, position.iteration + 1);
}

int Run::close(int status) {
  const std::string failed = files_.closeAll(names_);
  if ((status == 0 || status > 128) && !failed.empty()) {
    std::cout << writeFailure(failed) << std::endl;
    status = 1;
  }
  return status;
}

}  // namespace

int runProgram(const RunOptions& options) {
  SharedControl control;
  int rc = pthread_mutex_init(&control.pauseMutex, nullptr);
  if (rc != 0) {
    std::fprintf(stderr, "Mutex initialization failed: %s\n", std::strerror(rc));
    return 1;
  }
  pthread_t controlThread;
  const bool menu = !options.noMenu && !options.check;
  if (menu) {
    rc = startControlThread(&controlThread, control);
    if (rc != 0) {
      std::fprintf(stderr, "Thread creation failure: %s\n", std::strerror(rc));
      return 1;
    }
  }
  installStopSignals(control);
  auto shutDown = [&](int status) {
    restoreStopSignals();
    if (menu) stopControlThread(controlThread, control);
    pthread_mutex_destroy(&control.pauseMutex);
    return status;
  };
  std::cout.precision(4);

  std::string paramText;
  if (options.paramFile.empty() || !readWholeFile(options.paramFile, paramText)) {
    const int error = errno;
    std::cout << "You haven't opened the input file yet." << std::endl;
    if (options.paramFile.empty())
      std::cerr << "mutloc: no parameter file was given.\nUsage: mutloc [OPTIONS] PARAMFILE (mutloc --help for the "
                   "options)"
                << std::endl;
    else
      std::cerr << "mutloc: cannot read the parameter file " << options.paramFile << ": " << std::strerror(error)
                << "." << std::endl;
    return shutDown(1);
  }
  Run run(options, control, paramText);
  int status = 0;
  try {
    status = options.resume.empty() ? run.fresh() : run.resume();
  } catch (const RunFailure& failure) {
    std::cout << failure.message << std::flush;
    if (!failure.reason.empty()) std::cerr << "mutloc: " << failure.reason << std::endl;
    // A signal during the set-up stops the run before any file is touched;
    // its status says a signal stopped it, as for a stop later on.
    const int signal = control.stopSignal.load();
    const bool stoppedInSetup = failure.message == std::string(kStoppedDuringSetup) + "\n";
    return shutDown(run.close(stoppedInSetup && signal != 0 ? 128 + signal : failure.status));
  } catch (const std::bad_alloc&) {
    std::cout << "Not enough memory for this run." << std::endl;
    return shutDown(run.close(1));
  } catch (const std::length_error&) {
    std::cout << "Not enough memory for this run." << std::endl;
    return shutDown(run.close(1));
  } catch (const std::exception& unexpected) {
    // For example no thread could be started for --threads.
    std::cout << "The run failed: " << unexpected.what() << std::endl;
    return shutDown(run.close(1));
  }
  status = shutDown(run.close(status));
  if (status == 0 && !options.check) std::cout << "Finished" << std::flush;
  return status;
}
