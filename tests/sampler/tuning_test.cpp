#include <gtest/gtest.h>

#include "sampler/chainiteration.h"
#include "sampler/tuning.h"
#include "support/runsetup.h"

namespace {

// An age range narrower than the steps the tuner likes: the age proposal
// reflects once at each bound, so the tuned tree step must not outgrow the
// range. Without the cap the step grew past 3.5 here and about a sixth of
// the ages fell outside [50, 52].
TEST(Tuning, TheTreeStepNeverOutgrowsANarrowAgeRange) {
  ParamSpec p;
  p.age = 51;
  p.ageBounds = "50 52";
  p.adjust = "2 0.01 0.5 0.5 0.1";
  p.burnIn = 20000;
  const auto run = setUpRun(p.text());
  const RunSettings& s = run->settings;
  ASSERT_TRUE(s.iterAge);
  Chain& chain = run->chain();
  const MoveContext ctx = run->context();
  Tuner tuner(SamplingOptions{}, ctx);
  const std::vector<Chain*> records{&chain};
  const std::vector<StepSet*> steps{&run->control};
  for (long t = 0; t < s.burnIn; t++) {
    updateChain(chain, ctx);
    ASSERT_GE(chain.mutAge, 50.0) << "iteration " << t;
    ASSERT_LE(chain.mutAge, 52.0) << "iteration " << t;
    tuner.update(t, records, steps);
  }
  EXPECT_LE(run->control.tree.load(), 2.0);
}

}  // namespace
