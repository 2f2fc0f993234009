#include "results/summary.h"

#include "sampler/chainiteration.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "results/histogram.h"

namespace {

using Json = nlohmann::ordered_json;

// The centre of the fullest bar of the histogram the run writes (the first
// such bar on a tie).
double histogramMode(const std::vector<double>& values, int bars) {
  HistogramBars histogram;
  for (double v : values) histogram.widen(v);
  histogram.startCounting(bars);
  for (double v : values) histogram.count(v);
  const auto& counts = histogram.counts();
  const int best = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  return histogram.low() + best * histogram.width() + histogram.width() / 2;
}

QuantitySummary::Estimates estimatesOf(std::vector<double> values, int bars) {
  QuantitySummary::Estimates e;
  if (values.empty()) {
    e.median = e.mean = e.mode = e.low = e.high = std::nan("");
    return e;
  }
  double sum = 0;
  for (double v : values) sum += v;
  e.mean = sum / static_cast<double>(values.size());
  e.mode = histogramMode(values, bars);
  std::sort(values.begin(), values.end());
  e.median = quantileOfSorted(values, 0.5);
  e.low = quantileOfSorted(values, 0.025);
  e.high = quantileOfSorted(values, 0.975);
  return e;
}

// A number, or null when it is not finite.
Json number(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

Json estimatesJson(const QuantitySummary::Estimates& e) {
  return Json{{"median", number(e.median)},
              {"mean", number(e.mean)},
              {"mode", number(e.mode)},
              {"interval95", Json::array({number(e.low), number(e.high)})}};
}

// A location's estimates in base pairs (rounded to whole base pairs).
Json basePairsJson(const QuantitySummary::Estimates& e, const MarkerTable& markers) {
  auto at = [&](double morgans) {
    return std::isfinite(morgans) ? Json(std::llround(basePairsAt(markers, morgans))) : Json(nullptr);
  };
  return Json{{"median", at(e.median)},
              {"mean", at(e.mean)},
              {"mode", at(e.mode)},
              {"interval95", Json::array({at(e.low), at(e.high)})}};
}

Json quantityJson(const QuantitySummary& q, const MarkerTable* markers) {
  Json pooled = estimatesJson(q.pooled);
  pooled["rhat"] = number(q.diagnostics.rhat);
  pooled["ess_bulk"] = number(q.diagnostics.essBulk);
  pooled["ess_tail"] = number(q.diagnostics.essTail);
  if (markers) pooled["base_pairs"] = basePairsJson(q.pooled, *markers);
  Json chains = Json::array();
  for (const auto& e : q.chains) {
    chains.push_back(estimatesJson(e));
    if (markers) chains.back()["base_pairs"] = basePairsJson(e, *markers);
  }
  Json out{{"pooled", pooled}, {"chains", chains}};
  if (markers) out["chromosome"] = markers->markers.front().chromosome;
  return out;
}

void addSporadic(Json& summary, const SporadicSummary& sporadic) {
  summary["sporadic_share"] =
      sporadic.fixedShare >= 0 ? Json{{"fixed", sporadic.fixedShare}} : quantityJson(sporadic.share, nullptr);
  Json rows = Json::array();
  for (const FounderRow& row : sporadic.rows) {
    Json entry{{"row", row.row}, {"chromosomes", row.chromosomes}};
    if (sporadic.genotypes) {
      // Genotypes as the two alleles of each marker.
      Json genotype = Json::array();
      for (size_t k = 0; k + 1 < row.alleles.size(); k += 2)
        genotype.push_back(Json::array({row.alleles[k], row.alleles[k + 1]}));
      entry["genotype"] = genotype;
    } else {
      entry["haplotype"] = row.alleles;
    }
    entry["probability"] = number(row.probability);
    if (sporadic.pairs) entry["both_founder"] = number(row.both);
    Json chains = Json::array();
    for (double p : row.chains) chains.push_back(number(p));
    entry["chains"] = chains;
    rows.push_back(entry);
  }
  summary["founder_probability"] = rows;
}

Json roundsJson(const RoundsReport& r) {
  return Json{{"target_rhat", r.targetRhat},       {"target_ess", r.targetEss}, {"max_iterations", r.maxIterations},
              {"target_reached", r.reached},       {"iterations", r.iterations}, {"rounds", r.rounds},
              {"ended_by", r.endedBy}};
}

}  // namespace

std::string roundsLine(const RoundsReport& r) {
  std::ostringstream out;
  out << "mutloc: ";
  if (r.reached) {
    out << "target reached (R-hat at most " << r.targetRhat << ", ESS at least " << r.targetEss << ") after "
        << r.iterations << " sampling iterations in " << r.rounds << (r.rounds == 1 ? " round" : " rounds") << ".\n";
    return out.str();
  }
  out << "warning: the target (R-hat at most " << r.targetRhat << ", ESS at least " << r.targetEss
      << ") was not reached: the run ended ";
  if (r.endedBy == "max-time")
    out << "at --max-time";
  else if (r.endedBy == "max-iterations")
    out << "at --max-iterations " << r.maxIterations;
  else
    out << "when it was stopped";
  out << " after " << r.iterations << " sampling iterations.\n";
  return out.str();
}

namespace {

bool converged(const Diagnostics& d) { return d.rhat <= 1.01 && d.essBulk >= 400; }

std::string line(const char* name, const QuantitySummary& q) {
  std::ostringstream out;
  out.precision(4);
  const auto& p = q.pooled;
  out << "  " << name << ": median " << p.median << ", mean " << p.mean << ", mode of the histogram " << p.mode
      << ", equal-tailed 95% " << p.low << " .. " << p.high << "; R-hat " << q.diagnostics.rhat << ", ESS bulk "
      << std::lround(q.diagnostics.essBulk) << ", tail " << std::lround(q.diagnostics.essTail) << "\n";
  return out.str();
}

// The location's pooled estimates in base pairs, when there is a table.
std::string basePairsLine(const QuantitySummary& q, const MarkerTable* markers) {
  if (!markers) return "";
  auto at = [&](double morgans) {
    return std::isfinite(morgans) ? std::to_string(std::llround(basePairsAt(*markers, morgans))) : std::string("nan");
  };
  const auto& p = q.pooled;
  return "  location on chromosome " + markers->markers.front().chromosome + ": median " + at(p.median) +
         ", mode of the histogram " + at(p.mode) + ", equal-tailed 95% " + at(p.low) + " .. " + at(p.high) +
         " (base pairs)\n";
}

// What the estimates are, for whoever reads the file without the README.
Json definitionsJson() {
  return Json{{"interval95", "equal-tailed 95 % interval: the 2.5 % and 97.5 % quantiles of the draws"},
              {"mode", "mode of the histogram: the centre of the fullest bar, with the run's number of bars over "
                       "the range of the draws"}};
}

Json completionJson(const RunCompletion& c) {
  Json out{{"completed", c.completed}, {"iterations_done", c.iterationsDone},
           {"iterations_planned", c.iterationsPlanned}};
  if (!c.completed) out["stopped_by"] = c.stoppedBy;
  if (!c.resumeCommand.empty()) out["resume_command"] = c.resumeCommand;
  return out;
}

// The warning for intervals that meet a location bound, or "".
std::string boundWarning(const QuantitySummary& location, const SummaryContext& context) {
  const std::vector<BoundContact> contacts = intervalsAtBounds(location, context);
  std::string text;
  for (const char* bound : {"lower", "upper"}) {
    std::string which;
    for (const BoundContact& c : contacts)
      if (c.bound == bound) which += (which.empty() ? "" : ", ") + c.interval;
    if (which.empty()) continue;
    const double at = std::string(bound) == "lower" ? context.locationLow : context.locationHigh;
    std::ostringstream line;
    line.precision(6);
    line << "mutloc: warning: the 95% interval of the location (" << which << ") reaches the " << bound
         << " bound, " << at;
    if (context.markers) line << " (base pair " << std::llround(basePairsAt(*context.markers, at)) << ")";
    line << ", within one histogram bar: the mutation may lie outside the region; widen the region (the location "
            "bounds, or mutloc-prepare's --region) and run again.\n";
    text += line.str();
  }
  return text;
}

}  // namespace

void addSamplerRecords(SummaryContext& context, const std::vector<Chain>& chains, const MoveContext& ctx,
                       long lastIteration, const Tempering& tempering, const Tuner* tuner,
                       const std::vector<StepSet*>& steps) {
  context.acceptance.assign(kMoveKinds, std::vector<double>());
  for (const Chain& chain : chains) {
    const auto values = acceptanceProportions(chain, ctx, lastIteration);
    for (int kind = 0; kind < kMoveKinds; kind++) context.acceptance[kind].push_back(values[kind]);
  }
  if (tempering.active()) {
    context.ladder = tempering.ladder();
    for (int c = 0; c < static_cast<int>(chains.size()); c++) {
      std::vector<double> pairs;
      for (int i = 0; i < tempering.levels(); i++) {
        const long proposed = tempering.proposed(c, i);
        pairs.push_back(proposed > 0 ? static_cast<double>(tempering.acceptedSwaps(c, i)) / proposed : 0);
      }
      context.swapAcceptance.push_back(pairs);
    }
  }
  if (tuner) {
    for (StepSet* level : steps) {
      std::vector<std::pair<std::string, double>> named;
      const auto tuned = Tuner::valuesOf(*level);
      for (int k = 0; k < Tuner::kSteps; k++) named.emplace_back(Tuner::names()[k], tuned[k]);
      context.tunedSteps.push_back(named);
    }
  }
}

QuantitySummary summarise(const ChainDraws& draws, int histBars) {
  QuantitySummary q;
  std::vector<double> pooled;
  for (const auto& chain : draws) {
    q.chains.push_back(estimatesOf(chain, histBars));
    pooled.insert(pooled.end(), chain.begin(), chain.end());
  }
  q.pooled = estimatesOf(pooled, histBars);
  q.diagnostics = diagnose(draws);
  return q;
}

std::vector<BoundContact> intervalsAtBounds(const QuantitySummary& location, const SummaryContext& context) {
  std::vector<BoundContact> contacts;
  const double bar = (context.locationHigh - context.locationLow) / std::max(1, context.histBars);
  if (!(bar > 0)) return contacts;
  auto check = [&](const QuantitySummary::Estimates& e, const std::string& name) {
    if (e.low - context.locationLow <= bar) contacts.push_back({name, "lower"});
    if (context.locationHigh - e.high <= bar) contacts.push_back({name, "upper"});
  };
  if (std::isfinite(location.pooled.low)) check(location.pooled, "pooled");
  for (size_t c = 0; c < location.chains.size(); c++)
    if (std::isfinite(location.chains[c].low)) check(location.chains[c], "chain " + std::to_string(c + 1));
  return contacts;
}

std::string summaryJson(const QuantitySummary& location, const QuantitySummary& age, const SummaryContext& context,
                        long drawsUsed) {
  static const char* const kMoves[kMoveKinds] = {"genealogy", "location", "root", "internal", "frequencies"};
  Json acceptance;
  for (int kind = 0; kind < kMoveKinds; kind++) {
    Json perChain = Json::array();
    for (double v : context.acceptance[kind]) perChain.push_back(number(v));
    acceptance[kMoves[kind]] = perChain;
  }
  Json summary = Json::object();
  if (drawsUsed > 0) {
    summary["location"] = quantityJson(location, context.markers);
    summary["age"] = quantityJson(age, nullptr);
  } else {
    // Estimates of nothing would be nulls that read like results.
    summary["no_draws"] = "no samples were drawn: the run stopped after " +
                          std::to_string(context.completion.iterationsDone) +
                          " iterations, within the burn-in, so the location and age have no estimates";
  }
  summary["acceptance"] = acceptance;
  summary["seed"] = context.seed;
  summary["seconds"] = context.seconds;
  summary["draws_per_chain"] = context.drawsPerChain;
  summary["draws_used"] = drawsUsed;
  if (!context.ladder.empty())
    summary["tempering"] = Json{{"ladder", context.ladder}, {"swap_acceptance", context.swapAcceptance}};
  if (context.rounds) summary["until_converged"] = roundsJson(*context.rounds);
  if (context.sporadic) addSporadic(summary, *context.sporadic);
  if (!context.tunedSteps.empty()) {
    Json levels = Json::array();
    for (const auto& steps : context.tunedSteps) {
      Json level = Json::object();
      for (const auto& [name, value] : steps) level[name] = value;
      levels.push_back(level);
    }
    summary["tuned_steps"] = levels;
  }
  if (drawsUsed > 0) {
    summary["definitions"] = definitionsJson();
    Json contacts = Json::array();
    for (const BoundContact& c : intervalsAtBounds(location, context))
      contacts.push_back(Json{{"interval", c.interval}, {"bound", c.bound}});
    summary["location_at_bound"] = contacts;
  }
  summary.update(completionJson(context.completion));
  return summary.dump(2) + "\n";
}

void writeSummaryLines(std::ostream& err, const QuantitySummary& location, const QuantitySummary& age,
                       const SummaryContext& context) {
  err << "mutloc: summary over " << location.chains.size() << (location.chains.size() == 1 ? " chain" : " chains")
        << ", " << context.drawsPerChain << " draws each:\n"
        << line("location", location) << basePairsLine(location, context.markers) << line("age", age)
        << (context.sporadic && context.sporadic->fixedShare < 0 ? line("sporadic share", context.sporadic->share)
                                                                 : "");
  if (context.rounds) err << roundsLine(*context.rounds);
  for (const auto& [name, q] : {std::pair{"location", &location}, std::pair{"age", &age}}) {
    if (converged(q->diagnostics) || !std::isfinite(q->diagnostics.rhat)) continue;
    std::ostringstream warning;
    warning.precision(3);
    warning << "mutloc: warning: the " << name << "'s R-hat is " << q->diagnostics.rhat << " and its bulk ESS "
            << std::lround(q->diagnostics.essBulk)
            << " (aim: R-hat at most 1.01, ESS at least 400); the chains have not mixed: "
            << (context.mixingOptions ? "run longer or run more chains.\n"
                                      : "run longer, run more chains, or use the mixing options (see the README).\n");
    err << warning.str();
  }
  err << boundWarning(location, context);
}
