// The options that change how a run samples: which moves it makes, how the
// chains start, whether they are heated, tuned or on streams of their own.
// The command line fills them; a checkpoint holds them as "name=value" words,
// so that a resumed run samples as the run it continues did.
#pragma once

#include <array>
#include <string>
#include <utility>

#include "model/priors.h"

// The moves a run makes beyond those of every run.
struct MoveOptions {
  bool gibbs = false;        // allele full conditionals; location moves that redraw crossed loci
  bool localMoves = false;   // one-node time moves, neighbour exchanges, whole-tree scaling
  // The genealogy move without the Hastings term of its fold, as runs before
  // the term was added made it: it samples ages too young, and is kept only
  // to reproduce their results.
  bool symmetricGenealogy = false;
  // Genotypes: an individual's phase at all its heterozygous markers drawn
  // from its full conditional (part of --gibbs) instead of flipped at random.
  bool gibbsPhase = false;

  // Every option above with the word a checkpoint names it by ("gibbs" is
  // written "gibbs=1"), in the order the words are written.
  template <typename Self>
  static auto flags(Self& o) {
    using Flag = std::pair<const char*, decltype(&o.gibbs)>;
    return std::array{Flag{"gibbs", &o.gibbs}, Flag{"local", &o.localMoves}, Flag{"symmetric", &o.symmetricGenealogy},
                      Flag{"phase", &o.gibbsPhase}};
  }
};

struct SamplingOptions {
  bool streams = false;       // every chain draws from a random stream of its own
  MoveOptions moves;
  int heated = 0;             // heated companions per chain
  double hottest = 0;         // the power of the hottest companion (with heated > 0)
  bool smartStart = false;    // starting genealogies built from the data
  bool overdispersed = false; // starting points spread deliberately apart
  bool tune = false;          // step sizes adapted during burn-in, then frozen
  // A model option: a patient chromosome may be sporadic (its alleles drawn
  // from the population), with a share of such chromosomes that has a Beta
  // prior or is fixed.
  bool sporadic = false;
  SporadicPrior sporadicPrior;

  // The start and tuning options with their words, as MoveOptions::flags.
  template <typename Self>
  static auto startFlags(Self& o) {
    using Flag = std::pair<const char*, decltype(&o.tune)>;
    return std::array{Flag{"smart", &o.smartStart}, Flag{"overdispersed", &o.overdispersed}, Flag{"tune", &o.tune}};
  }

  // Any option that helps the chains mix (the summary says so).
  bool mixing() const { return moves.gibbs || moves.localMoves || heated > 0; }

  // The options as "name=value" words, those left at their defaults omitted:
  // streams, the moves, heating, start and tuning, then the sporadic
  // chromosomes.
  std::string toWords() const;
  // The options the words name; other words (the seed's) are passed over.
  static SamplingOptions fromWords(const std::string& words);
};

// The value of the word "name=value" among words, or "" when there is none.
std::string wordValue(const std::string& words, const std::string& name);
