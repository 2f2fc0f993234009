#include "driver/options.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace {

const char* const kDescription =
    "Locates a disease mutation on a short chromosomal region by Markov chain Monte\n"
    "Carlo over the genealogy of the patients' chromosomes. PARAMFILE holds the run\n"
    "settings, the marker map, control haplotype counts and the patients' haplotypes\n"
    "or genotypes. The results go to PREFIX.dat, .log, .sig, .hap, .hin, .hpf, .mat\n"
    "and .tre, where PREFIX is the parameter file's path unless -o names another.";

const char* const kFooter =
    "While it runs, type 9 and Enter to pause and open the menu (step sizes,\n"
    "acceptance proportions, stop with results saved). Ctrl-C stops the same way;\n"
    "a second Ctrl-C ends the program at once.\n"
    "\n"
    "See the README and mutloc(1) for the parameter file and the output files.";

}  // namespace

int parseOptions(int argc, char** argv, RunOptions& options) {
  CLI::App app{kDescription, "mutloc"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("mutloc ") + MUTLOC_VERSION);
  app.add_option("PARAMFILE", options.paramFile, "The parameter file");
  app.add_option("-o,--output", options.prefix, "Name the outputs PREFIX.dat, PREFIX.log, ...")
      ->type_name("PREFIX");
  app.add_option("--seed", options.seed, "Seed instead of the file's: 0 (from the clock) or -1 ... -2147483647")
      ->type_name("N")
      ->check(CLI::Range(-2147483647L, 0L));
  app.add_flag("--check", options.check, "Read and check everything, say what the run would do, write nothing");
  app.add_flag("-q,--quiet", options.quiet, "No per-chain screen lines and no progress line");
  app.add_flag("--no-menu", options.noMenu, "Do not read standard input (for batch jobs)");
  app.add_option("--checkpoint-every", options.checkpointEvery,
                 "Write PREFIX.ckpt every N iterations and at a safe stop")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  app.add_flag("--streams", options.streams,
               "Every chain draws from a random stream of its own (PCG64, one stream per chain)");
  app.add_option("--threads", options.threads, "Update the chains side by side on N threads (implies --streams)")
      ->type_name("N")
      ->check(CLI::Range(1, 256));
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
  return -1;
}
