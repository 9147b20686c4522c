// Our card's fill rate side by side with Mesa's software rasterizer (llvmpipe through
// OSMesa), on the same triangles in the same process: textured (one 256x256 texture,
// bilinear, mipmapped), Gouraud colour modulating the texture, 16-bit depth with LESS,
// opaque and alpha-blended, triangles of about 5000 and about 20 pixels. The two are
// timed in turn, several rounds each, and the best round of each is kept, so that the
// load of a shared machine spoils both alike; the figure that matters is the ratio.
//
//   ./lwdemo.sh bench          (one thread each, then every thread each)
//   LP_NUM_THREADS=0 LWDEMO_THREADS=1 build/bench_llvmpipe
//
// Mesa reads LP_NUM_THREADS when its first context is made (0: it rasterizes on the
// calling thread; unset: a thread per processor), so one run measures one thread setting
// of each side.
#include <GL/gl.h>
#include <GL/osmesa.h>
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/benchtexture.h"
#include "platform/glide/glide.h"

namespace {

constexpr int width = 640, height = 480, batch = 2048;

double seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

// A batch of right triangles with legs of leg pixels laid out across the screen, each a
// little nearer than the one before so that every pixel passes the depth test: screen
// x, y, 1/w, colour (alpha 160, which blending takes) and texel coordinates per corner.
struct Corner {
  float x, y, oow, r, g, b, a, s, t;
};

std::vector<Corner> maketriangles(float leg) {
  std::vector<Corner> corners;
  int step = (int)std::ceil(leg), across = 600 / step, down = 440 / step;
  for (int k = 0; k < batch; k++) {
    float x = (float)(10 + (k % across) * step), y = (float)(10 + ((k / across) % down) * step);
    float oow = 0.0001f * std::pow(2.0f, 13.0f * (float)k / batch);
    float cx[3] = {x, x + leg, x}, cy[3] = {y, y, y + leg}, w[3] = {oow, oow * 1.1f, oow * 1.2f};
    for (int i = 0; i < 3; i++)
      corners.push_back({cx[i], cy[i], w[i], 255.0f - 60.0f * i, 200.0f, 100.0f + 50.0f * i, 160.0f,
                         cx[i] * 0.9f, cy[i] * 0.8f});
  }
  return corners;
}

struct Case {
  const char *name;
  float leg;
  int blend;
};

// ---- Ours: the card through its own calls ----

void ourstate(int blend, const BenchTexture *tex) {
  grDepthBufferMode(GR_DEPTHBUFFER_WBUFFER);
  grDepthBufferFunction(GR_CMP_LESS);
  grDepthMask(FXTRUE);
  grTexCombineFunction(GR_TMU0, GR_TEXTURECOMBINE_DECAL);
  grColorCombine(GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL,
                 GR_COMBINE_LOCAL_ITERATED, GR_COMBINE_OTHER_TEXTURE, FXFALSE);
  grAlphaCombine(GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_ZERO, GR_COMBINE_LOCAL_ITERATED,
                 GR_COMBINE_OTHER_CONSTANT, FXFALSE);
  if (blend)
    grAlphaBlendFunction(GR_BLEND_SRC_ALPHA, GR_BLEND_ONE_MINUS_SRC_ALPHA, GR_BLEND_ZERO, GR_BLEND_ZERO);
  else
    grAlphaBlendFunction(GR_BLEND_ONE, GR_BLEND_ZERO, GR_BLEND_ONE, GR_BLEND_ZERO);
  cardtexture = &tex->tex;
}

// Seconds for one batch, clear excluded, every pixel drawn.
double oursbatch(const std::vector<GrVertex> &verts) {
  CardFrame frame;
  grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
  cardframe(&frame);
  double start = seconds();
  for (int k = 0; k < batch; k++) grDrawPolygonVertexList(3, &verts[(size_t)k * 3]);
  cardframe(&frame);
  return seconds() - start;
}

std::vector<GrVertex> ourvertices(const std::vector<Corner> &corners) {
  std::vector<GrVertex> verts;
  for (const Corner &c : corners) {
    GrVertex v{};
    v.x = c.x;
    v.y = c.y;
    v.r = c.r;
    v.g = c.g;
    v.b = c.b;
    v.a = c.a;
    v.oow = c.oow;
    v.tmuvtx[0].sow = c.s * c.oow;
    v.tmuvtx[0].tow = c.t * c.oow;
    verts.push_back(v);
  }
  return verts;
}

// ---- Theirs: the same through OpenGL 1.x vertex arrays ----

struct GlVertex {
  float x, y, z, w;
  float s, t;
  uint8_t rgba[4];
};

std::vector<GlVertex> glvertices(const std::vector<Corner> &corners) {
  std::vector<GlVertex> verts;
  for (size_t i = 0; i < corners.size(); i++) {
    const Corner &c = corners[i];
    // Clip coordinates with w = 1/oow, so that colour and texture are interpolated with
    // perspective as the card does; depth falls triangle by triangle as the card's W.
    float w = 1.0f / c.oow, k = (float)(i / 3) / batch;
    float z = 0.99f - 1.9f * k;
    GlVertex v;
    v.x = (c.x / width * 2 - 1) * w;
    v.y = (1 - c.y / height * 2) * w;
    v.z = z * w;
    v.w = w;
    v.s = c.s / 256.0f;
    v.t = c.t / 256.0f;
    v.rgba[0] = (uint8_t)c.r;
    v.rgba[1] = (uint8_t)c.g;
    v.rgba[2] = (uint8_t)c.b;
    v.rgba[3] = (uint8_t)c.a;
    verts.push_back(v);
  }
  return verts;
}

void glstate(int blend, const BenchTexture *tex) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  for (int l = 0; l <= 8; l++)
    glTexImage2D(GL_TEXTURE_2D, l, GL_RGBA8, 256 >> l, 256 >> l, 0, GL_BGRA, GL_UNSIGNED_BYTE, tex->levels[l].data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnable(GL_TEXTURE_2D);
  glShadeModel(GL_SMOOTH);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LESS);
  glDepthMask(GL_TRUE);
  if (blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  } else {
    glDisable(GL_BLEND);
  }
  glViewport(0, 0, width, height);
}

// Seconds for the first count corners of verts, clear excluded.
double glbatch(const std::vector<GlVertex> &verts, size_t count) {
  glClearColor(0, 0, 0, 0);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glFinish();
  double start = seconds();
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(4, GL_FLOAT, sizeof(GlVertex), &verts[0].x);
  glTexCoordPointer(2, GL_FLOAT, sizeof(GlVertex), &verts[0].s);
  glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(GlVertex), verts[0].rgba);
  glDrawArrays(GL_TRIANGLES, 0, (GLsizei)count);
  glFinish();
  return seconds() - start;
}

// Pixels Mesa covers with one triangle, times the batch: a check that both sides fill the
// same area.
int64_t glpixels(const std::vector<GlVertex> &verts, const std::vector<uint8_t> &buffer) {
  glbatch(verts, 3);
  int64_t n = 0;
  for (size_t i = 0; i < buffer.size(); i += 4) n += (buffer[i] | buffer[i + 1] | buffer[i + 2]) != 0;
  return n * batch;
}

// Pixels one batch covers (every triangle of a batch covers the same number).
int64_t batchpixels(const std::vector<GrVertex> &verts) {
  grBufferClear(0, 0, GR_WDEPTHVALUE_FARTHEST);
  grDrawPolygonVertexList(3, &verts[0]);
  CardFrame frame;
  cardframe(&frame);
  int64_t n = 0;
  for (int i = 0; i < frame.width * frame.height; i++) n += frame.depth[i] != GR_WDEPTHVALUE_FARTHEST;
  return n * batch / ((int64_t)frame.scale * frame.scale);
}

}  // namespace

int main() {
  setenv("LWDEMO_VIDEO", "headless", 1);
  setenv("LWDEMO_PACING", "off", 1);
  unsetenv("LWDEMO_CAPTURE");
  OSMesaContext context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
  std::vector<uint8_t> glbuffer((size_t)width * height * 4);
  if (context == nullptr || !OSMesaMakeCurrent(context, glbuffer.data(), GL_UNSIGNED_BYTE, width, height)) {
    fprintf(stderr, "bench_llvmpipe: cannot make an OSMesa context\n");
    return 1;
  }
  grGlideInit();
  if (!grSstWinOpen(0, GR_RESOLUTION_640x480, GR_REFRESH_60Hz, GR_COLORFORMAT_ARGB, GR_ORIGIN_UPPER_LEFT, 2, 2)) {
    fprintf(stderr, "bench_llvmpipe: cannot open the card\n");
    return 1;
  }
  CardFrame frame;
  cardframe(&frame);
  const char *lp = getenv("LP_NUM_THREADS");
  printf("renderer: %s; LP_NUM_THREADS=%s; ours: %d thread(s), %d-bit colour, scale %d\n",
         (const char *)glGetString(GL_RENDERER), lp != nullptr ? lp : "(unset)", frame.threads,
         frame.colorbits, frame.scale);
  printf("%-22s %12s %13s %8s %14s\n", "case", "ours Mpix/s", "theirs Mpix/s", "ratio", "pixels/tri o:t");
  BenchTexture tex;
  maketexture(&tex);
  const Case cases[] = {{"textured 5000 opaque", 100.0f, 0}, {"textured 5000 blended", 100.0f, 1},
                        {"textured 20 opaque", 6.4f, 0},    {"textured 20 blended", 6.4f, 1}};
  for (const Case &c : cases) {
    std::vector<Corner> corners = maketriangles(c.leg);
    std::vector<GrVertex> ours = ourvertices(corners);
    std::vector<GlVertex> theirs = glvertices(corners);
    ourstate(c.blend, &tex);
    glstate(c.blend, &tex);
    int64_t pixels = batchpixels(ours), glcovered = glpixels(theirs, glbuffer);
    // Alternate rounds of each, about half a second a side, keeping each side's best.
    double oursbest = 1e9, theirsbest = 1e9, spent = 0;
    for (int round = 0; round < 40 && (round < 4 || spent < 1.0); round++) {
      double a = oursbatch(ours), b = glbatch(theirs, theirs.size());
      oursbest = a < oursbest ? a : oursbest;
      theirsbest = b < theirsbest ? b : theirsbest;
      spent += a + b;
    }
    double oursrate = pixels / oursbest / 1e6, theirsrate = pixels / theirsbest / 1e6;
    printf("%-22s %12.1f %13.1f %8.2f %7lld:%lld\n", c.name, oursrate, theirsrate, oursrate / theirsrate,
           (long long)(pixels / batch), (long long)(glcovered / batch));
  }
  cardtexture = nullptr;
  grGlideShutdown();
  OSMesaDestroyContext(context);
  return 0;
}
