// The card's frame beyond its defaults: larger frames (scale), 32-bit colour and drawing
// shared among workers. Each must leave the card's own drawing intact: pixels only
// inside the frame, edges where the geometry puts them, the same bits however the rows
// are shared.
#include <sched.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "cardtest.h"

namespace {

// A frame with guard rows and columns around it, pre-filled with a pattern no drawing
// produces by chance.
struct GuardedTarget : MemoryFrame {
  static constexpr int guard = 13;
  GuardedTarget(int w, int h, int scale, int format)
      : MemoryFrame(w + 2 * guard, h + 2 * guard, scale, format, 0xA5A5, 0xA5A5A5A5u, 0x5A5A) {
    const size_t origin = (size_t)guard * target.stride + guard;
    target.color += origin;
    target.color32 += origin;
    target.depth += origin;
    target.width = w;
    target.height = h;
  }
  int inside(int i) const {
    int x = i % target.stride - guard, y = i / target.stride - guard;
    return x >= 0 && y >= 0 && x < target.width && y < target.height;
  }
};

const CardCombine iterated = {GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_NONE, GR_COMBINE_LOCAL_ITERATED,
                             GR_COMBINE_OTHER_NONE, 0};
const CardState additive{.color = iterated, .rgbsrc = GR_BLEND_ONE, .rgbdst = GR_BLEND_ONE};

// The states the system draws with (each has a span routine) and one only the
// reference path covers.
std::vector<CardState> drawingstates() {
  const CardState tex{.depthmode = GR_DEPTHBUFFER_WBUFFER, .depthmask = 1,
                      .color = {GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
                                GR_COMBINE_OTHER_TEXTURE, 0},
                      .texcombine = GR_TEXTURECOMBINE_DECAL};
  CardState glass = tex;
  glass.alpha = iterated;
  glass.rgbsrc = GR_BLEND_SRC_ALPHA;
  glass.rgbdst = GR_BLEND_ONE_MINUS_SRC_ALPHA;
  CardState behind = glass;
  behind.depthfunc = GR_CMP_GEQUAL;
  return {CardState{.color = iterated}, additive, tex, glass, behind};
}

uint32_t smoothtexel(int level, int s, int t) {
  return 0xC0000000u | (uint32_t)((s << level) & 255) << 16 | (uint32_t)((t << level) & 255) << 8 | 0x60;
}

// Triangles over every edge and corner of a 48 x 36 frame (in the card's 640 x 480
// pixels), and slivers along the right and bottom edges.
const float crossing[][6] = {
    {-10, -5, 30, -8, 20, 20},     {40, -5, 60, 20, 30, 15},     {10, 30, 50, 45, -5, 40},
    {-100, -100, 200, -50, -50, 200}, {47.9f, -3, 48.1f, -3, 48.05f, 40}, {-4, 35.9f, 60, 35.95f, 60, 36.1f},
    {-2000, 10, 3000, 12, 20, 14}};

TEST(CardFrame, NothingIsDrawnOutsideTheFrame) {
  TestTexture tt;
  tt.make(GR_LOD_64, GR_LOD_1, 1, 1, smoothtexel);
  const std::vector<CardState> states = drawingstates();
  for (int lanes : {4, 8})
    for (int scale : {1, 2, 4})
      for (int format : {16, 32})
        for (int bands : {1, 3})
          for (int reference : {0, 1}) {
            if (cardspanlanes(lanes) != lanes) continue;  // no AVX2 here
            GuardedTarget g(48 * scale, 36 * scale, scale, format);
            g.target.bands = bands;
            g.target.bandrows = 5;
            for (int band = 0; band < bands; band++) {
              g.target.band = band;
              for (const CardState &st : states)
                for (const auto &c : crossing) {
                  GrVertex v[3] = {vtx(c[0], c[1], 300, 20, 90, 200, 0.5f, 0, 0),
                                   vtx(c[2], c[3], 10, 250, 90, 100, 0.25f, 300, 40),
                                   vtx(c[4], c[5], 90, 20, 255, 30, 0.125f, 20, 500)};
                  carddrawtriangle(&st, &tt.tex, &g.target, &v[0], &v[1], &v[2], reference);
                }
            }
            SCOPED_TRACE(testing::Message() << "lanes " << lanes << " scale " << scale << " format " << format
                                            << " shares " << bands << " reference " << reference);
            int drawn = 0;
            for (size_t i = 0; i < g.color.size(); i++) {
              if (g.inside((int)i)) {
                drawn += format == 16 ? g.color[i] != 0xA5A5 : g.color32[i] != 0xA5A5A5A5u;
                continue;
              }
              ASSERT_TRUE(g.color[i] == 0xA5A5 && g.color32[i] == 0xA5A5A5A5u && g.depth[i] == 0x5A5A)
                  << "written outside at " << i;
            }
            EXPECT_GT(drawn, g.target.width * g.target.height / 2);
          }
  cardspanlanes(8);
}

// A fan of uneven triangles round an off-centre point, on a 1/16 grid so that the snap
// keeps its corners.
std::vector<GrVertex> fan() {
  std::vector<GrVertex> v = {vtx(50.3125f, 49.6875f, 1, 1, 1)};
  const float angles[] = {0, 0.4f, 1.1f, 1.3f, 2.2f, 2.9f, 3.3f, 4.0f, 4.6f, 5.1f, 5.9f, 6.2831853f};
  for (float a : angles)
    v.push_back(vtx(std::round((50 + 41 * std::cos(a)) * 16) / 16, std::round((50 + 37 * std::sin(a)) * 16) / 16, 1, 1, 1));
  return v;
}

// At scale N every pixel of a fan is drawn once and no pixel twice, and its edges lie
// where the geometry times N puts them: pixels whose centres are more than 1/8 of a
// scaled pixel (the 1/16 snap of two corners) inside are drawn, as far outside are not.
TEST(CardFrame, ScaledFanCoversEachPixelOnceWithEdgesInPlace) {
  const std::vector<GrVertex> v = fan();
  for (int scale : {1, 2, 4}) {
    // Additive 1,1,1 on black in 32-bit colour: a pixel's value counts its drawings.
    MemoryFrame ct(100 * scale, 100 * scale, scale, 32);
    for (size_t i = 1; i + 1 < v.size(); i++) carddrawtriangle(&additive, nullptr, &ct.target, &v[0], &v[i], &v[i + 1], 0);
    for (int y = 0; y < ct.target.height; y++)
      for (int x = 0; x < ct.target.width; x++) {
        uint32_t p = ct.color32[(size_t)y * ct.target.width + x];
        ASSERT_TRUE(p == 0 || p == 0x010101) << "drawn more than once at " << x << "," << y << " scale " << scale;
        double px = (x + 0.5) / scale, py = (y + 0.5) / scale, inside = 1e9;
        for (size_t i = 1; i + 1 < v.size(); i++) {
          double ex = v[i + 1].x - v[i].x, ey = v[i + 1].y - v[i].y;
          inside = std::min(inside, ((px - v[i].x) * ey - (py - v[i].y) * ex) / std::sqrt(ex * ex + ey * ey) * -scale);
        }
        ASSERT_TRUE(std::abs(inside) <= 0.125 || p == (inside > 0 ? 0x010101u : 0u))
            << "hole or outside drawn at " << x << "," << y << " scale " << scale;
      }
  }
}

// A scene drawn at scale N and averaged down over N x N blocks is the scene at scale 1
// but for the partial coverage along its twenty edges: at most 4.5% of the channel values
// differ by more than 12, and the mean difference stays below 2.2 (measured: 3.3% and
// 1.8 at scale 2, 3.7% and 1.7 at scale 4; a plane or texture coordinate off by the
// scale moves whole areas and fails both).
TEST(CardFrame, ScaledFrameAveragedDownMatchesScaleOne) {
  TestTexture tt;
  tt.make(GR_LOD_64, GR_LOD_1, 1, 1, smoothtexel);
  std::vector<CardState> states = drawingstates();
  auto render = [&](int scale) {
    MemoryFrame ct(160 * scale, 120 * scale, scale, 32);
    for (size_t i = 0; i < states.size(); i++) {
      float o = 20.0f * (float)i;
      GrVertex v[4] = {vtx(5 + o, 5, 250, 30, 30, 200, 0.9f, 0, 0), vtx(150 - o, 12, 30, 250, 30, 120, 0.2f, 250, 0),
                       vtx(140, 115 - o, 30, 30, 250, 60, 0.1f, 250, 250), vtx(10, 100, 200, 200, 30, 255, 0.5f, 0, 250)};
      carddrawtriangle(&states[i], &tt.tex, &ct.target, &v[0], &v[1], &v[2], 0);
      carddrawtriangle(&states[i], &tt.tex, &ct.target, &v[0], &v[2], &v[3], 0);
    }
    return ct.color32;
  };
  std::vector<uint32_t> one = render(1);
  for (int n : {2, 4}) {
    std::vector<uint32_t> big = render(n);
    int far = 0;
    double total = 0;
    for (int y = 0; y < 120; y++)
      for (int x = 0; x < 160; x++)
        for (int shift : {0, 8, 16}) {
          int sum = 0;
          for (int dy = 0; dy < n; dy++)
            for (int dx = 0; dx < n; dx++) sum += (big[(size_t)(y * n + dy) * 160 * n + x * n + dx] >> shift) & 255;
          int d = std::abs((sum + n * n / 2) / (n * n) - (int)((one[(size_t)y * 160 + x] >> shift) & 255));
          far += d > 12;
          total += d;
        }
    EXPECT_LE(far, 160 * 120 * 3 * 45 / 1000) << "scale " << n;
    EXPECT_LT(total / (160 * 120 * 3), 2.2) << "scale " << n;
  }
}

// LWDEMO_SCALE, LWDEMO_COLOR and LWDEMO_THREADS size and shape the frame; values the card
// does not take fall back to the defaults (threads: the processors available, 0 below).
// Scan-out covers the whole larger frame.
TEST_F(CardTest, ScaleAndColourShapeTheFrame) {
  const struct {
    const char *scale, *colour, *threads;
    int width, colorbits, workers;
  } cases[] = {{"2", "32", "3", 1280, 32, 3}, {"3", "16", "", 1920, 16, 0}, {"4", "32", "1", 2560, 32, 1},
               {"max", "16", "max", 640, 16, 0}, {"9", "24", "0", 640, 16, 0}, {"0", "", "65", 640, 16, 0},
               {"x", "32", "2", 640, 32, 2}};
  cpu_set_t cpus;
  ASSERT_EQ(sched_getaffinity(0, sizeof cpus, &cpus), 0);
  const char *outside = getenv("LWDEMO_THREADS");
  const std::string keep = outside != nullptr ? outside : "";
  for (const auto &c : cases) {
    setenv("LWDEMO_THREADS", c.threads, 1);
    reopen(c.scale, c.colour);
    CardFrame f;
    ASSERT_TRUE(cardframe(&f));
    EXPECT_EQ(f.threads, c.workers > 0 ? c.workers : std::min(CPU_COUNT(&cpus), 64)) << c.threads;
    EXPECT_EQ(std::pair(f.width, f.height), std::pair(c.width, c.width * 3 / 4)) << c.scale;
    EXPECT_EQ(f.colorbits, c.colorbits) << c.colour;
    EXPECT_EQ(cardbackbuffer() == nullptr, c.colorbits == 32);
    grBufferClear(0x336699, 0, 0);
    guColorCombineFunction(GR_COLORCOMBINE_ITRGB);
    draw(quad(600, 400, 640, 480, 255, 0, 0));
    ASSERT_TRUE(cardframe(&f));
    std::vector<FxU8> rgb((size_t)f.width * f.height * 3);
    cardscanout(f.back, rgb.data());
    size_t last = rgb.size() - 3;  // the bottom-right pixel, under the red triangle
    EXPECT_GT(rgb[last], 200);
    EXPECT_EQ(rgb[last + 1], 0);
  }
  setenv("LWDEMO_THREADS", keep.c_str(), 1);  // empty is unset to the card
}

}  // namespace
