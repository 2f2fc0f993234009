// SIGINT or SIGTERM while the chains are set up ends the run at once: no file
// has been opened yet, and none is.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "support/e2e.h"
#include "support/runsetup.h"

namespace {

TEST(SetupStop, ASignalDuringSetUpEndsTheRunWithinASecondTouchingNoFile) {
  // Twenty chains of 20000 leaves: about half a second of set-up each.
  ParamSpec p;
  p.chromosomes = 20000;
  p.patients = "19999 1 1\n1 2 2\n";
  p.chains = 20;
  for (int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    ScratchDir dir;
    dir.write("p.txt", p.text());
    dir.write("p.txt.dat", "earlier results\n");
    LiveRun live = startMutloc(dir, {"p.txt"});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto signalled = std::chrono::steady_clock::now();
    sendSignal(live, signal);
    const RunResult run = finish(live, 60);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    EXPECT_EQ(run.status, 128 + signal);
    EXPECT_EQ(run.out, "No samples were drawn: the run stopped during set-up.\n");
    // One second of the program's own; the rest for slow sanitizer builds.
    EXPECT_LT(seconds, 2.0);
    EXPECT_EQ(dir.read("p.txt.dat"), "earlier results\n");
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path)) files++;
    EXPECT_EQ(files, 2u);
  }
}

}  // namespace
