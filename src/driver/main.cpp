#include <cstdio>
#include <cstring>

#include "driver/run.h"

namespace {

const char* const kUsage =
    "Usage: mutloc PARAMFILE\n"
    "\n"
    "Locates a disease mutation on a short chromosomal region by Markov chain Monte\n"
    "Carlo over the genealogy of the patients' chromosomes. PARAMFILE holds the run\n"
    "settings, the marker map, control haplotype counts and the patients' haplotypes\n"
    "or genotypes. The results go to PARAMFILE.dat, .log, .sig, .hap, .hin, .hpf,\n"
    "PARAMFILE.mat and .tre.\n"
    "\n"
    "While it runs, type 9 and Enter to pause and open the menu (step sizes,\n"
    "acceptance proportions, stop with results saved). Ctrl-C stops the same way;\n"
    "a second Ctrl-C ends the program at once.\n"
    "\n"
    "  mutloc --help      this text\n"
    "  mutloc --version   the program's version\n"
    "\n"
    "See the README and mutloc(1) for the parameter file and the output files.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("mutloc %s\n", MUTLOC_VERSION);
    return 0;
  }
  return runProgram(argc, argv);
}
