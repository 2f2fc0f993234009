#include "driver/options.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "input/reader.h"

namespace {

const char* const kDescription =
    "Locates a disease mutation on a short chromosomal region by Markov chain Monte\n"
    "Carlo over the genealogy of the patients' chromosomes. PARAMFILE holds the run\n"
    "settings, the marker map, control haplotype counts and the patients' haplotypes\n"
    "or genotypes. The results go to PREFIX.dat, .log, .sig, .hap, .hin, .hpf, .mat,\n"
    ".tre and .summary.json, where PREFIX is the parameter file's path unless -o\n"
    "names another.";

const char* const kFooter =
    "While it runs, type 9 and Enter to pause and open the menu (step sizes,\n"
    "acceptance proportions, stop with results saved). Ctrl-C stops the same way;\n"
    "a second Ctrl-C ends the program at once.\n"
    "\n"
    "See the README and mutloc(1) for the parameter file and the output files.";

// The run lengths, checked as the reader checks the file's entries, and the
// output prefix, which must name files rather than a folder; "" when fine.
std::string optionProblem(const CLI::App& app, const RunOptions& options) {
  const RunLength& length = options.runLength;
  const std::pair<const char*, std::string> checks[] = {
      {"--chains", app.count("--chains") ? chainsProblem(length.chains) : ""},
      {"--burn-in", app.count("--burn-in") ? burnInProblem(length.burnIn) : ""},
      {"--iterations", app.count("--iterations") ? iterationsProblem(length.iterations) : ""}};
  for (const auto& [name, problem] : checks)
    if (!problem.empty()) return std::string(name) + ": " + problem;
  const std::string& prefix = options.prefix;
  struct stat info;
  if (!prefix.empty() && (prefix.back() == '/' || (stat(prefix.c_str(), &info) == 0 && S_ISDIR(info.st_mode))))
    return "-o " + prefix + " is a folder; the outputs are named PREFIX.dat, PREFIX.log, ..., so give a prefix "
           "such as " + (prefix.back() == '/' ? prefix : prefix + "/") + "run1.";
  return "";
}

}  // namespace

int parseOptions(int argc, char** argv, RunOptions& options) {
  SamplingOptions& sampling = options.sampling;
  options.commandLine.assign(argv, argv + argc);
  CLI::App app{kDescription, "mutloc"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("mutloc ") + MUTLOC_VERSION);
  app.add_option("PARAMFILE", options.paramFile, "The parameter file");
  app.add_option("-o,--output", options.prefix, "Name the outputs PREFIX.dat, PREFIX.log, ...")
      ->type_name("PREFIX");
  app.add_option("--seed", options.seed, "Seed instead of the file's: 0 (from the clock) or -1 ... -2147483647")
      ->type_name("N")
      ->check(CLI::Range(-2147483647L, 0L));
  app.add_option("--chains", options.runLength.chains, "Run N chains instead of the file's \"#chains\"")
      ->type_name("N");
  app.add_option("--burn-in", options.runLength.burnIn, "N burn-in iterations instead of the file's")->type_name("N");
  app.add_option("--iterations", options.runLength.iterations, "N sampling iterations instead of the file's")
      ->type_name("N");
  app.add_flag("--check", options.check, "Read and check everything, say what the run would do, write nothing");
  app.add_flag("-q,--quiet", options.quiet, "No per-chain screen lines and no progress line");
  app.add_flag("--no-menu", options.noMenu, "Do not read standard input (for batch jobs)");
  app.add_option("--checkpoint-every", options.checkpointEvery,
                 "Write PREFIX.ckpt every N iterations and at a safe stop")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  app.add_flag("--streams", sampling.streams,
               "Every chain draws from a random stream of its own (PCG64, one stream per chain)");
  app.add_option("--threads", options.threads, "Update the chains side by side on N threads (implies --streams)")
      ->type_name("N")
      ->check(CLI::Range(1, 256));
  app.add_flag("--gibbs", sampling.moves.gibbs,
               "Draw internal and ancestral alleles from their full conditionals; location moves redraw the alleles "
               "at the markers they cross");
  app.add_flag("--local-moves", sampling.moves.localMoves,
               "Add one-node time moves, neighbour exchanges and a scaling of the whole genealogy");
  app.add_flag("--symmetric-genealogy", sampling.moves.symmetricGenealogy,
               "Leave the Hastings term out of the genealogy move, as runs before it was added did (ages come out "
               "too young; only to reproduce their results)");
  // Kept so that scripts written when the term was an option keep working.
  app.add_flag("--exact-genealogy", options.exactGenealogy, "Accepted and ignored: the genealogy move always has its Hastings term")
      ->group("");
  app.add_option("--heated", sampling.heated, "Give every chain K heated companions that swap states with it")
      ->type_name("K")
      ->check(CLI::Range(1, 32));
  app.add_option("--hottest", sampling.hottest,
                 "Power of the tree likelihood in the hottest companion (default 0.9^K: the ladder's powers 0.9 apart)")
      ->type_name("B")
      ->check(CLI::Range(1e-6, 1.0));
  app.add_flag("--smart-start", sampling.smartStart, "Start from genealogies built from the data");
  app.add_flag("--overdispersed", sampling.overdispersed, "With --smart-start: start the chains at deliberately different points");
  app.add_flag("--tune", sampling.tune, "Adapt the step sizes during burn-in, then freeze them");
  app.add_flag("--mix", options.mix, "The recommended mixing options (see the README)");
  app.add_flag("--until-converged", options.rounds.on,
               "After the burn-in, sample in rounds until the chains agree (see --target-rhat, --target-ess) or a "
               "limit is reached (--max-iterations, --max-time)");
  app.add_option("--target-rhat", options.rounds.targetRhat,
                 "With --until-converged: stop when every R-hat is at most X (default 1.01)")
      ->type_name("X")
      ->check(CLI::Range(1.0, 10.0));
  app.add_option("--target-ess", options.rounds.targetEss,
                 "With --until-converged: and every bulk and tail ESS at least N (default 400)")
      ->type_name("N")
      ->check(CLI::Range(1.0, 1e9));
  app.add_option("--max-iterations", options.rounds.maxIterations,
                 "With --until-converged: at most N sampling iterations (default 1000000)")
      ->type_name("N")
      ->check(CLI::Range(1L, 1000000000L));
  app.add_option("--max-time", options.rounds.maxSeconds,
                 "With --until-converged: stop after this much wall time, in seconds or with a unit (90m, 12h, "
                 "2d; default 24h; 0: no limit)")
      ->type_name("TIME")
      ->transform(CLI::AsNumberWithUnit(std::map<std::string, double>{{"s", 1}, {"m", 60}, {"h", 3600}, {"d", 86400}},
                                        CLI::AsNumberWithUnit::CASE_SENSITIVE))
      ->check(CLI::Range(0.0, 1e9));
  app.add_flag("--sporadic", sampling.sporadic,
               "Let every patient chromosome be sporadic, its alleles drawn from the population rather than "
               "descended from the founder (a model option, not part of --mix)");
  std::vector<double> prior;
  CLI::Option* priorOption =
      app.add_option("--sporadic-prior", prior, "With --sporadic: a Beta(A, B) prior of the share of sporadic "
                                                "chromosomes (default 1 1, uniform)")
          ->type_name("A B")
          ->expected(2)
          ->check(CLI::Range(1e-3, 1e6));
  app.add_option("--sporadic-share", sampling.sporadicPrior.fixedShare,
                 "With --sporadic: the share of sporadic chromosomes fixed at P instead of sampled")
      ->type_name("P")
      ->check(CLI::Validator(
          [](std::string& text) {
            // With every chromosome sporadic nothing would locate the mutation.
            const double p = std::strtod(text.c_str(), nullptr);
            return p >= 0 && p < 1 ? std::string() : "P must lie in [0, 1): " + text;
          },
          "in [0, 1)"))
      ->excludes(priorOption);
  app.add_option("--resume", options.resume, "Continue the run saved in PREFIX.ckpt (give PARAMFILE too)")
      ->type_name("CKPT");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error);
    std::cerr << "mutloc: " << error.what() << "\nRun mutloc --help for the options." << std::endl;
    return 2;
  }
  options.seedGiven = app.count("--seed") > 0;
  if (const std::string problem = optionProblem(app, options); !problem.empty()) {
    std::cerr << "mutloc: " << problem << "\nRun mutloc --help for the options." << std::endl;
    return 2;
  }
  if (app.count("--hottest") > 0 && sampling.heated == 0) {
    std::cerr << "mutloc: --hottest needs --heated\nRun mutloc --help for the options." << std::endl;
    return 2;
  }
  if ((app.count("--sporadic-prior") > 0 || app.count("--sporadic-share") > 0) && !sampling.sporadic) {
    std::cerr << "mutloc: " << (app.count("--sporadic-prior") > 0 ? "--sporadic-prior" : "--sporadic-share")
              << " needs --sporadic\nRun mutloc --help for the options." << std::endl;
    return 2;
  }
  if (!prior.empty()) {
    sampling.sporadicPrior.a = prior[0];
    sampling.sporadicPrior.b = prior[1];
  }
  // The spread-out starts are places for the built genealogies.
  if (sampling.overdispersed && !sampling.smartStart && !options.mix) {
    std::cerr << "mutloc: --overdispersed needs --smart-start\nRun mutloc --help for the options." << std::endl;
    return 2;
  }
  for (const char* limit : {"--target-rhat", "--target-ess", "--max-iterations", "--max-time"})
    if (app.count(limit) > 0 && !options.rounds.on) {
      std::cerr << "mutloc: " << limit << " needs --until-converged\nRun mutloc --help for the options." << std::endl;
      return 2;
    }
  // Each step of the default ladder lowers the power by a tenth: on 40
  // chromosomes and 12 markers about half the swaps between neighbours are
  // accepted then, while below a power of about 0.5 the cold end stops
  // swapping (the alleles of a heated genealogy fit the data much worse).
  if (app.count("--hottest") == 0 && sampling.heated > 0) sampling.hottest = std::pow(0.9, sampling.heated);
  if (options.mix) {
    sampling.moves.gibbs = sampling.moves.localMoves = true;
    sampling.smartStart = sampling.overdispersed = sampling.tune = true;
    if (options.threads == 0) options.threads = 2;
  }
  // The whole-phase draw came with --gibbs later: a word of its own keeps
  // the checkpoints of earlier --gibbs runs resuming as they ran. It does not
  // know sporadic chromosomes: with --sporadic the phases move one marker at
  // a time, through the branch terms that do.
  sampling.moves.gibbsPhase = sampling.moves.gibbs && !sampling.sporadic;
  // With the default allele moves the internal alleles do not follow their
  // children: a chromosome that once looks sporadic against a parent of
  // other alleles stays so, and the chains end with nearly every chromosome
  // sporadic (share 0.99 on the simulated example).
  if (sampling.sporadic && !sampling.moves.gibbs) {
    std::cerr << "mutloc: --sporadic needs --gibbs (or --mix)\nRun mutloc --help for the options." << std::endl;
    return 2;
  }
  sampling.streams = sampling.streams || options.threads > 0 || sampling.heated > 0;
  return -1;
}
