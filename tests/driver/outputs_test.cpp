// Output that cannot be written, the informational options, and the progress
// line on standard error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

// A full disk stands behind every name linked to /dev/full: writes succeed
// into the stream's buffer and fail when it is flushed.
TEST(WriteFailure, AFullDiskEndsTheRunWithTheFileNamedAndStatusOne) {
  for (const std::string ext : {".dat", ".sig", ".mat", ".log"}) {
    ScratchDir dir;
    dir.write("p.txt", ParamSpec{}.text());
    ASSERT_EQ(symlink("/dev/full", dir.file("p.txt" + ext).c_str()), 0);
    const RunResult run = runMutloc(dir, {"p.txt"});
    EXPECT_EQ(run.status, 1) << ext;
    EXPECT_NE(run.out.find("Could not write p.txt" + ext + " "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Finished"), std::string::npos) << ext;
  }
}

TEST(Options, HelpAndVersionAloneAnswerAndSucceed) {
  ScratchDir dir;
  const RunResult help = runMutloc(dir, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: mutloc [OPTIONS] [PARAMFILE]"), std::string::npos) << help.out;
  for (const char* option : {"--output", "--seed", "--check", "--quiet", "--no-menu", "--checkpoint-every", "--resume"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
  const RunResult version = runMutloc(dir, {"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("mutloc ") + MUTLOC_VERSION + "\n");
}

TEST(Progress, OneLinePerScreenReportOnStandardError) {
  ScratchDir dir;
  ParamSpec params;
  params.burnIn = 20;
  params.iterations = 30;
  params.updates = "10 10 1 1 0";
  dir.write("p.txt", params.text());
  const RunResult run = runMutloc(dir, {"p.txt"});
  ASSERT_EQ(run.status, 0);
  // Screen reports at 0, 10, ..., 40 and the last iteration 49.
  int lines = 0;
  for (size_t at = 0; (at = run.err.find("mutloc: iteration ", at)) != std::string::npos; at++) lines++;
  EXPECT_EQ(lines, 6) << run.err;
  EXPECT_NE(run.err.find("mutloc: iteration 10 of 50 (burn-in), "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("mutloc: iteration 49 of 50 (sampling), "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(" remaining\n"), std::string::npos);
  EXPECT_EQ(run.out.find("mutloc: iteration"), std::string::npos) << "standard output keeps its layout";
}

}  // namespace
