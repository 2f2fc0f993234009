// The pause menu driven through standard input, word by word, on whole runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// Runs far longer than any menu session; only choice 6 (or a signal) ends it
// early. Without progress lines standard output holds only the menu.
ParamSpec longRun(int chains) {
  ParamSpec p;
  p.chromosomes = 20;
  p.patients = "12 1 1\n8 2 2\n";
  p.chains = chains;
  p.burnIn = 100;
  p.iterations = 1000000;
  p.updates = "0 1000 1 1 1";
  return p;
}

const std::string kHeader = "\n\n\nAdjust parameters for: (current value)\tAcceptance proportions for each chain.\n";
const std::string kTerminating = "\nProgram will now be terminated, with data saved to output files\n";

RunResult runWithInput(const ScratchDir& dir, const ParamSpec& p, const std::string& words) {
  dir.write("p.txt", p.text());
  return runMutloc(dir, {"p.txt"}, words, 120);
}

// The values shown by the "Current value" prompts, in order.
std::vector<std::string> promptedValues(const std::string& out) {
  static const std::regex prompt("\nCurrent value: ([0-9.]+)\nNew value ?:");
  std::vector<std::string> values;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), prompt); it != std::sregex_iterator(); ++it)
    values.push_back((*it)[1]);
  return values;
}

// A stop from the menu writes every output file; the histograms hold one block
// (20 bars and a level line) per chain when sampling had started, and are
// empty with one line saying so otherwise.
void expectStoppedWithAllFiles(const ScratchDir& dir, const RunResult& run, int chains, bool sampled) {
  EXPECT_EQ(run.status, 0) << run.out;
  const size_t writing = run.out.find("Writing files...");
  ASSERT_NE(writing, std::string::npos) << run.out;
  EXPECT_LT(run.out.find(kTerminating), writing);
  EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
  for (const auto& ext : kOutputExtensions) EXPECT_TRUE(dir.exists("p.txt" + ext)) << ext;
  for (const char* ext : {".log", ".dat", ".hap", ".mat"}) EXPECT_NE(dir.read(std::string("p.txt") + ext), "") << ext;
  for (const char* ext : {".sig", ".tre"}) {
    const std::string text = dir.read(std::string("p.txt") + ext);
    EXPECT_EQ(occurrences(text, "99% = "), sampled ? chains : 0) << ext;
    EXPECT_EQ(occurrences(text, "\n"), sampled ? chains * 21 : 0) << ext;
  }
  std::string lower = run.out;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(occurrences(lower, "no samples"), sampled ? 0 : 1) << run.out;
}

TEST(Menu, OnlyNineOpensItAndItShowsStepSizesWithOneProportionPerChain) {
  ScratchDir dir;
  ParamSpec p = longRun(3);
  p.iterate = "0 1 0 0";
  const RunResult run = runWithInput(dir, p, "9a x 10 99 09 7 99 a 0 9 6\n");
  const std::string pauseError = "\nError!enter 9 to pause.\n";
  EXPECT_EQ(occurrences(run.out, pauseError), 4) << run.out;
  EXPECT_LT(run.out.rfind(pauseError), run.out.find(kHeader));
  EXPECT_EQ(occurrences(run.out, "\nERROR,try again\n\a\a"), 3) << run.out;
  EXPECT_EQ(occurrences(run.out, kHeader), 5) << run.out;
  EXPECT_EQ(occurrences(run.out, "\nProgram resuming...\n"), 1) << run.out;
  const std::string f = "[0-9]+\\.[0-9]{6}";
  const std::string three = "\t" + f + "\t" + f + "\t" + f;
  const std::regex menu(
      "\n\n\nAdjust parameters for: \\(current value\\)\tAcceptance proportions for each chain\\.\n"
      "1\\) Tree\t\t\t 0\\.100000" + three + "\n"
      "2\\) Mutation location\t 0\\.010000" + three + "\tMutation location set to \"Don't iterate\"\n"
      "3\\) Root node alleles\t 0\\.500000" + three + "\n"
      "4\\) Internal node alleles 0\\.500000" + three + "\tInternal nodes set to \"Don't iterate\"\n"
      "5\\) Allele frequencies\t 0\\.100000" + three + "\tAllele frequencies set to \"Don't iterate\"\n"
      "6\\) Terminate program and save data\n0\\) Return to program execution\n\n"
      "Choose \\(1,2,3,4,5,6, or 0\\):" + kTerminating);
  EXPECT_TRUE(std::regex_search(run.out, menu)) << run.out;
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
}

TEST(Menu, NewStepSizesAreCheckedAgainstTheirBoundsAndShownAgain) {
  ScratchDir dir;
  // Pairs of a menu line and a new value; each prompt shows the value before.
  const std::string words =
      "9 1 10 1 10.5 1 -1 1 1.2.3 1 . 1 1e1 1 10 "  // tree: 0 .. 10
      "3 1 3 1.5 3 0 "                              // root alleles: 0 .. 1, prompt without a blank
      "4 1.5 4 1 "                                  // internal alleles: their own out-of-range text
      "5 1.0001 5 0 "                               // allele frequencies: 0 .. 1
      "2 0.5 2 0.75 2 0.8 2 x "                     // location: 0 .. the width of its interval
      "3 x 5 x 6\n";
  ParamSpec p = longRun(1);
  p.map = "0 1";
  p.bounds = "0.25 1";  // width 0.75
  const RunResult run = runWithInput(dir, p, words);
  EXPECT_EQ(promptedValues(run.out),
            (std::vector<std::string>{"0.100000", "10.000000", "10.000000", "10.000000", "1.200000", "0.000000",
                                      "0.000000", "0.500000", "1.000000", "1.000000", "0.500000", "0.500000",
                                      "0.100000", "0.100000", "0.010000", "0.500000", "0.750000", "0.750000",
                                      "0.000000", "0.000000"}));
  EXPECT_EQ(occurrences(run.out, "\nNew value :"), 4);
  // -1, 1e1 and three times x.
  EXPECT_EQ(occurrences(run.out, "\nError! You should enter a number.\n"), 5);
  EXPECT_EQ(occurrences(run.out, "\\n\n\n\nn\n*******Value out of range, try again*******\n\a\a"), 1);
  // 10.5, 1.5 on line 3, 1.0001 and 0.8.
  EXPECT_EQ(occurrences(run.out, "\n\n\n\n\n\n*******Value out of range, try again*******\n\a\a"), 4);
  // Only the allele frequencies are not iterated in this run: one note per menu.
  EXPECT_EQ(occurrences(run.out, "Don't iterate"), occurrences(run.out, kHeader));
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
}

TEST(Menu, WordsLongerThanTheirBuffersChangeNothing) {
  ScratchDir dir;
  const std::string digits(300, '1');
  const std::string letters(300, 'a');
  const RunResult run = runWithInput(dir, longRun(1), letters + " 9 " + letters + " 1 " + digits + " 1 x 6\n");
  EXPECT_EQ(run.status, 0) << run.out;
  const std::vector<std::string> values = promptedValues(run.out);
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(values.back(), "0.100000");
  EXPECT_TRUE(endsWithFinished(run.out)) << run.out;
}

TEST(Menu, StopDuringBurnInWritesEveryFileButNoHistogram) {
  ScratchDir dir;
  ParamSpec p = longRun(2);
  p.burnIn = 100000000;
  p.iterations = 10;
  expectStoppedWithAllFiles(dir, runWithInput(dir, p, "9 6\n"), 2, false);
}

// A long run with progress every 1000 iterations, started with its input
// left open for the test to type into.
LiveRun startLongRun(const ScratchDir& dir, int chains) {
  ParamSpec p = longRun(chains);
  p.updates = "1000 1000 1 1 1";
  dir.write("p.txt", p.text());
  return startMutloc(dir, {"p.txt"});
}

TEST(Menu, StopAfterSamplingStartedWritesEveryFile) {
  ScratchDir dir;
  LiveRun live = startLongRun(dir, 2);
  ASSERT_TRUE(waitForOutput(live, "\n2000 "));
  sendInput(live, "9 6\n");
  expectStoppedWithAllFiles(dir, finish(live, 120), 2, true);
  EXPECT_NE(dir.read("p.txt.hpf"), "");
  EXPECT_NE(dir.read("p.txt.hin"), "");
}

TEST(Menu, EndOfInputWithTheMenuOpenLetsTheRunGoOn) {
  ScratchDir dir;
  LiveRun live = startLongRun(dir, 1);
  sendInput(live, "9 1\n");
  ASSERT_TRUE(waitForOutput(live, "New value: "));
  close(live.input);
  live.input = -1;
  // Progress lines return only when the sampler is no longer held; the
  // iteration in progress when the menu opened may still print one.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::string out;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    out = dir.read(".stdout");
  } while (occurrences(out.substr(out.find("New value: ")), "000 ") < 2 && std::chrono::steady_clock::now() < deadline);
  EXPECT_GE(occurrences(out.substr(out.find("New value: ")), "000 "), 2) << out;
  sendSignal(live, SIGINT);
  const RunResult run = finish(live, 120);
  EXPECT_EQ(run.status, 128 + SIGINT) << run.out;
}

}  // namespace
