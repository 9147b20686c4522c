// Fill rate of the card: textured (bilinear, mipmapped, perspective), Gouraud, W-buffered
// triangles of about 20 and about 5000 pixels, opaque and alpha-blended, in wall-clock
// time (the drawing threads' work included). Counter "pixels" is pixels per second.
// The card's variables choose what is measured:
//
//   LWDEMO_THREADS=1 LWDEMO_COLOR=16 build/bench_fill --benchmark_min_time=1
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "bench/benchtexture.h"
#include "platform/glide/glide.h"

namespace {

// Right triangle with legs of `leg` pixels: leg * leg / 2 pixels. Each triangle of a
// batch lies a little nearer than the one before, so every pixel passes the depth test.
void filltriangles(benchmark::State &state, float leg, int blend) {
  setenv("LWDEMO_VIDEO", "headless", 1);
  setenv("LWDEMO_PACING", "off", 1);
  unsetenv("LWDEMO_CAPTURE");
  BenchTexture bt;
  maketexture(&bt);
  grGlideInit();
  grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB,
               GR_ORIGIN_UPPER_LEFT, 2, 2);
  grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
  grDepthBufferFunction(GR_CMP_LESS);
  grDepthMask(FXTRUE);
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL,
                 GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  if (blend) {
    grAlphaCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                   GR_COMBINE_OTHER_CONSTANT, FXFALSE);
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO,
                         GR_BLEND_ZERO);
  }
  cardtexture = &bt.tex;

  const int batch = 2048;
  std::vector<GrVertex> verts((size_t)batch * 3);
  int step = (int)std::ceil(leg);
  int across = 600 / step, down = 440 / step;
  for (int k = 0; k < batch; k++) {
    float x = (float)(10 + (k % across) * step), y = (float)(10 + ((k / across) % down) * step);
    float oow = 0.0001f * std::pow(2.0f, 13.0f * (float)k / batch);
    float cx[3] = {x, x + leg, x}, cy[3] = {y, y, y + leg}, w[3] = {oow, oow * 1.1f, oow * 1.2f};
    for (int i = 0; i < 3; i++) {
      GrVertex &v = verts[(size_t)k * 3 + i];
      v = GrVertex{};
      v.x = cx[i];
      v.y = cy[i];
      v.r = 255.0f - 60.0f * i;
      v.g = 200.0f;
      v.b = 100.0f + 50.0f * i;
      v.a = 160.0f;
      v.oow = w[i];
      v.tmuvtx[0].sow = (cx[i] * 0.9f) * w[i];
      v.tmuvtx[0].tow = (cy[i] * 0.8f) * w[i];
    }
  }
  // Every triangle sits at a whole-pixel offset, so all cover as many pixels as the first.
  grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
  grDrawPolygonVertexList(3, &verts[0]);
  int64_t pertriangle = 0;
  for (int i = 0; i < cardwidth * cardheight; i++)
    pertriangle += carddepthbuffer()[i] != GR_WDEPTHVALUE_FARTHEST;
  int64_t perbatch = pertriangle * batch;
  int64_t pixels = 0;
  CardFrame frame;
  for (auto _ : state) {
    state.PauseTiming();
    grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
    cardframe(&frame);  // the clear drawn before timing resumes
    state.ResumeTiming();
    for (int k = 0; k < batch; k++) grDrawPolygonVertexList(3, &verts[(size_t)k * 3]);
    cardframe(&frame);  // and every triangle drawn, however many threads draw
    pixels += perbatch;
  }
  state.counters["pixels"] = benchmark::Counter((double)pixels, benchmark::Counter::kIsRate);
  state.counters["pixels_per_triangle"] = (double)pertriangle;
  cardtexture = nullptr;
  grGlideShutdown();
}

void BM_Textured20(benchmark::State &state) { filltriangles(state, 6.4f, 0); }
void BM_Textured5000(benchmark::State &state) { filltriangles(state, 100.0f, 0); }
void BM_TexturedBlended20(benchmark::State &state) { filltriangles(state, 6.4f, 1); }
void BM_TexturedBlended5000(benchmark::State &state) { filltriangles(state, 100.0f, 1); }

BENCHMARK(BM_Textured20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Textured5000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TexturedBlended20)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TexturedBlended5000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
