// evalmotion as the playback loop calls it: one item's nine channels on a 20-key
// spline motion, at frames that walk through every segment.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "lws/motion.h"

namespace {

void BM_EvalMotion20KeySpline(benchmark::State &state) {
  MotionKey keys[20];
  for (int i = 0; i < 20; i++) {
    keys[i].frame = 15 * i;
    for (int c = 0; c < 9; c++) keys[i].values[c] = (float)((i * 37 + c * 11) % 23) - 11.0f;
    keys[i].tension = 0.1f * (i % 3);
    keys[i].continuity = -0.1f * (i % 2);
    keys[i].bias = 0.05f * (i % 4);
  }
  LwsMotion lws{keys, 20, 2};
  Motion motion;
  if (!getlwsmotion(&lws, &motion, 1.0f)) {
    state.SkipWithError("motion refused");
    return;
  }
  Pose pose;
  int frame = 0;
  for (auto _ : state) {
    evalmotion(&motion, &pose, (double)frame);
    benchmark::DoNotOptimize(pose);
    // One scene frame per call, wrapping a little past the last key so that the repeat
    // is exercised as well.
    frame = frame == 300 ? 1 : frame + 1;
  }
  state.SetItemsProcessed(state.iterations());
  free(motion.keys);
}
BENCHMARK(BM_EvalMotion20KeySpline);

}  // namespace
