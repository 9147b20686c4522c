#include <cstdlib>

#include "lws/motion.h"
#include "testutil.h"

namespace {

struct K {
  int frame;
  float x;
  int linear = 0;
};

// A runtime motion built through getlwsmotion, as the scene loader builds it. Keys given
// as K carry the values on x and -x on y, so that every channel is exercised.
struct Built {
  Motion motion;
  explicit Built(std::vector<MotionKey> keys, int endbehavior = 0) {
    LwsMotion lws{keys.data(), (int32_t)keys.size(), endbehavior};
    EXPECT_EQ(getlwsmotion(&lws, &motion, 1.0f), 1);
  }
  Built(std::initializer_list<K> keys, int endbehavior = 0) : Built(line(keys), endbehavior) {}
  ~Built() { free(motion.keys); }
  static std::vector<MotionKey> line(std::initializer_list<K> keys) {
    std::vector<MotionKey> k;
    for (const K &s : keys) k.push_back({.values = {s.x, -s.x}, .linear = s.linear, .frame = s.frame});
    return k;
  }
  Pose at(double f) const {
    Pose p;
    evalmotion(&motion, &p, f);
    return p;
  }
  float x(double f) const {
    const Pose p = at(f);
    EXPECT_EQ(p.values[1], -p.values[0]);
    return p.values[0];
  }
};

// Values between keys worked out apart from this code, from the published
// Kochanek-Bartels tangents (each weight halved, times 2 n_i / (n_i-1 + n_i) for uneven
// spacing; an end key's one tangent is its half-sum of weights times the chord) and the
// Hermite basis. Keys 0, 10, 25, 30 are unevenly spaced; frames 4, 17.5, 22 and 28 fall
// in the first, the interior (twice) and the last segment. Per-key (T, C, B) below.
TEST(Motion, TensionContinuityBiasBetweenKeys) {
  struct Case {
    const char *what;
    float tcb[4][3];
    double expect[4];
  } cases[] = {
      {"tension", {{0.5f, 0, 0}, {-0.5f, 0, 0}, {0.25f, 0, 0}, {0.75f, 0, 0}},
       {4.009600, 7.309375, 4.595200, 8.932000}},
      {"continuity", {{0, -0.5f, 0}, {0, 0.5f, 0}, {0, 0.25f, 0}, {0, -0.75f, 0}},
       {5.113600, 7.384375, 4.326400, 7.996000}},
      {"bias", {{0, 0, 0.5f}, {0, 0, -0.25f}, {0, 0, 0.75f}, {0, 0, -0.5f}},
       {4.960000, 7.796875, 5.440000, 7.828000}},
      {"all three",
       {{0.25f, -0.5f, 0.5f}, {-0.5f, 0.25f, -0.25f}, {0.5f, 0.75f, 0.25f}, {-0.25f, -0.5f, 0.75f}},
       {4.546000, 7.017578, 4.318000, 7.064500}},
  };
  const int frames[4] = {0, 10, 25, 30};
  const float xs[4] = {0, 10, 4, 12};
  const double at[4] = {4, 17.5, 22, 28};
  for (const Case &c : cases) {
    std::vector<MotionKey> keys;
    for (int i = 0; i < 4; i++)
      keys.push_back({.values = {xs[i], 0, -2 * xs[i]}, .frame = frames[i], .tension = c.tcb[i][0],
                      .continuity = c.tcb[i][1], .bias = c.tcb[i][2]});
    const Built m(keys);
    for (int j = 0; j < 4; j++) {
      const Pose p = m.at(at[j]);
      // The float result of a double computation: a few ulps of values near 10.
      EXPECT_NEAR(p.values[0], c.expect[j], 1e-5) << c.what << " at frame " << at[j];
      EXPECT_NEAR(p.values[2], -2 * c.expect[j], 2e-5) << c.what << " at frame " << at[j];
    }
  }
}

TEST(Motion, SplinePassesThroughEveryKey) {
  unsigned seed = 3;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (int)((seed >> 8) % 1000);
  };
  for (int round = 0; round < 20; round++) {
    std::vector<MotionKey> keys(2 + round % 6);
    int frame = next() % 20 - 10;
    for (MotionKey &k : keys) {
      k.frame = frame;
      frame += 1 + next() % 15;
      for (float &v : k.values) v = (float)(next() - 500) / 10.0f;
      k.linear = next() % 3 == 0;
      k.tension = (float)(next() % 200 - 100) / 100.0f;
      k.continuity = (float)(next() % 200 - 100) / 100.0f;
      k.bias = (float)(next() % 200 - 100) / 100.0f;
    }
    const Built m(keys);
    for (const MotionKey &k : keys) {
      const Pose p = m.at(k.frame);
      for (int c = 0; c < 9; c++) EXPECT_NEAR(p.values[c], k.values[c], 1e-4f) << "frame " << k.frame;
    }
  }
}

TEST(Motion, EndBehaviour) {
  // x equals the frame along the whole span, so a frame's value shows where it went.
  Built hold({{0, 0, 1}, {60, 60, 1}}, 1);
  Built repeat({{0, 0, 1}, {60, 60, 1}}, 2);
  // Frame 119 is the last frame of the second pass.
  for (double f : {60.0, 61.0, 500.0}) EXPECT_EQ(hold.x(f), 60.0f) << f;
  const double repeats[][2] = {{61, 1}, {120, 0}, {130, 10}, {130.5, 10.5}, {119, 59}, {179.5, 59.5}};
  for (const auto &r : repeats) EXPECT_EQ(repeat.x(r[0]), (float)r[1]) << r[0];
  // No end behaviour, or a fraction just past the last key: the last key, never a
  // segment beyond it.
  Built none({{0, 0}, {30, 5}, {60, 60}}, 0);
  for (double f : {61.0, 1e6}) EXPECT_EQ(none.x(f), 60.0f) << f;
  EXPECT_EQ(std::pair(hold.x(60.5), repeat.x(60.5)), std::pair(60.0f, 60.0f));
  // One key holds everywhere, whatever the end behaviour.
  Built one({{7, 3}}, 2);
  EXPECT_EQ(one.motion.framespan, 0);
  for (double f : {-100.0, 0.0, 7.0, 7.5, 1000.0}) EXPECT_EQ(one.x(f), 3.0f);
}

using MotionCopy = FolderTest;

TEST_F(MotionCopy, ScalesPositionsOnly) {
  MotionKey k[2] = {{.values = {1, 2, 3, 90, 10, 5, 2, 2, 2}, .frame = 5, .tension = 0.5f}, {.frame = 65}};
  LwsMotion lws{k, 2, 2};
  Motion m;
  ASSERT_EQ(getlwsmotion(&lws, &m, 2.0f), 1);
  EXPECT_NE(m.keys, k);  // a private copy
  EXPECT_EQ(std::vector<float>(m.keys[0].values, m.keys[0].values + 9),
            std::vector<float>({2, 4, 6, 90, 10, 5, 2, 2, 2}));
  EXPECT_EQ(std::vector<float>({m.keys[0].tension, (float)m.keys[1].frame, (float)m.numkeys, (float)m.framespan,
                                (float)m.endbehavior}), std::vector<float>({0.5f, 65, 2, 60, 2}));
  EXPECT_EQ(k[0].values[0], 1);  // the reader's keys are untouched
  free(m.keys);
}

TEST_F(MotionCopy, RefusesMotionsItCannotEvaluate) {
  MotionKey k[3];
  struct Case {
    int frames[3];
    int numkeys;
  } cases[] = {
      {{0, 0, 0}, 0},      // no keys
      {{0, 0, 0}, -2},     // a negative count
      {{0, 20, 10}, 3},    // out of order
      {{0, 10, 10}, 3},    // two keys on one frame
      {{-2000000000, 0, 2000000000}, 3},  // differences beyond 32 bits
  };
  for (const Case &c : cases) {
    for (int i = 0; i < 3; i++) k[i].frame = c.frames[i];
    LwsMotion lws{k, c.numkeys, 1};
    Motion m;
    m.numkeys = 77;
    EXPECT_EQ(getlwsmotion(&lws, &m, 1.0f), 0);
    EXPECT_EQ(m.keys, nullptr);  // unfilled
    EXPECT_EQ(m.numkeys, 77);
  }
  LwsMotion nokeys{nullptr, 3, 1};
  Motion m;
  EXPECT_EQ(getlwsmotion(&nokeys, &m, 1.0f), 0);
  EXPECT_EQ(m.keys, nullptr);
  // Each refusal says why in the log.
  fflush(errorlog);
  EXPECT_GT(ftell(errorlog), 0);
}

}  // namespace
