// The card as a device: opening and closing, the pipeline state calls, clearing, the
// buffer swap on a 59.94 Hz retrace clock, scan-out through the gamma table, the window
// or headless output, frame capture and the call trace.
#include <SDL.h>
#include <errno.h>
#include <sched.h>
#include <sys/stat.h>
#include <time.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/glide/cardinternal.h"
#include "platform/platform.h"

namespace {

// 640x480 at 60 Hz is 800 x 525 clocks at 25.175 MHz: 59.94 Hz, one retrace every
// 1001/60 ms. Retrace k falls at k * 16683333 + k / 3 ns after the clock's start.
int64_t retraceoffset(uint64_t k) { return (int64_t)(k * 16683333u + k / 3); }

int64_t nownanoseconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000000000 + ts.tv_nsec;
}

struct CardDevice {
  int open = 0;
  // The frame: cardwidth x cardheight times scale, in RGB565 (color) or 0x00RRGGBB
  // (color32) as colorbits says; the other pair stays null.
  int scale = 1, colorbits = 16, width = cardwidth, height = cardheight;
  uint16_t *color[2] = {nullptr, nullptr};
  uint32_t *color32[2] = {nullptr, nullptr};
  uint16_t *depth = nullptr;
  int back = 0;  // index of the buffer being drawn into
  CardState state;
  CardSetup setup;  // the triangle being queued
  int paced = 1;
  int64_t clockstart = 0;  // ns, when the card was opened
  uint64_t lastretrace = 0;
  CardStats stats;
  uint8_t scanr[32] = {}, scang[64] = {}, scanb[32] = {}, scan8[256] = {};
  int gammaready = 0;
  uint8_t *rgb = nullptr;  // scan-out of the last shown frame
  SDL_Window *window = nullptr;
  SDL_Renderer *renderer = nullptr;
  SDL_Texture *texture = nullptr;
};

CardDevice device;
int windowmode = -1;  // decided once: 1 window, 0 headless
int tracing = 0;
std::string tracetext;
char logged[64][160];  // messages already written, up to 64 (longer ones compared cut)
int loggedcount = 0;

int envflag(const char *name, int fallback) {
  const char *v = getenv(name);
  if (v == nullptr || v[0] == 0) return fallback;
  if (strcmp(v, "on") == 0 || strcmp(v, "1") == 0) return 1;
  if (strcmp(v, "off") == 0 || strcmp(v, "0") == 0) return 0;
  fprintf(stderr, "card: %s=%s not understood (on or off), using %s\n", name, v,
          fallback ? "on" : "off");
  return fallback;
}

// A whole number from lo to hi in the variable name, else fallback with a line saying so;
// maxvalue (when not 0) is what "max" means.
int envcount(const char *name, int fallback, int lo, int hi, int maxvalue) {
  const char *v = getenv(name);
  if (v == nullptr || v[0] == 0) return fallback;
  if (maxvalue > 0 && strcmp(v, "max") == 0) return maxvalue;
  char *end = nullptr;
  long n = strtol(v, &end, 10);
  if (end != v && *end == 0 && n >= lo && n <= hi) return (int)n;
  fprintf(stderr, "card: %s=%s not a whole number from %d to %d%s, using %d\n", name, v, lo, hi,
          maxvalue > 0 ? " or max" : "", fallback);
  return fallback;
}

constexpr int largestscale = 8;

// The largest scale whose frame fits the screen the window would open on (1 without one).
int screenscale() {
  SDL_Rect bounds;
  if (!cardwindowed() || SDL_GetDisplayUsableBounds(0, &bounds) != 0) return 1;
  int n = 1;
  while (n < largestscale && (n + 1) * cardwidth <= bounds.w && (n + 1) * cardheight <= bounds.h) n++;
  return n;
}

// The processors this process may run on (its affinity, which a container or taskset
// narrows below what the machine has), at most 64.
int corecount() {
  cpu_set_t set;
  int n = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : (int)std::thread::hardware_concurrency();
  return n < 1 ? 1 : n > 64 ? 64 : n;
}

CardTarget backtarget(const CardDevice &d) {
  CardTarget t;
  t.color = d.color[d.back];
  t.color32 = d.color32[d.back];
  t.depth = d.depth;
  t.width = t.stride = d.width;
  t.height = d.height;
  t.scale = d.scale;
  t.format = d.colorbits;
  return t;
}

// The card's gamma table: 33 entries round(255 * (8i / 255)^(1/gamma)), the last 255,
// interpolated linearly between every 8th input value.
void loadgamma(CardDevice *d) {
  double gamma = 1.7;
  const char *v = getenv("LWDEMO_GAMMA");
  if (v != nullptr && v[0] != 0) {
    char *end = nullptr;
    double g = strtod(v, &end);
    if (end != v && *end == 0 && g >= 0.1 && g <= 10.0)
      gamma = g;
    else
      fprintf(stderr, "card: LWDEMO_GAMMA=%s not a gamma between 0.1 and 10, using 1.7\n", v);
  }
  int clut[33];
  for (int i = 0; i < 32; i++) clut[i] = (int)std::floor(255.0 * std::pow(8.0 * i / 255.0, 1.0 / gamma) + 0.5);
  clut[32] = 255;
  uint8_t out[256];
  for (int i = 0; i < 256; i++) {
    int lo = clut[i >> 3], hi = clut[(i >> 3) + 1];
    out[i] = (uint8_t)(lo + (((hi - lo) * (i & 7)) >> 3));
  }
  memcpy(d->scan8, out, sizeof out);
  for (int i = 0; i < 32; i++) d->scanr[i] = d->scanb[i] = out[(i << 3) | (i >> 2)];
  for (int i = 0; i < 64; i++) d->scang[i] = out[(i << 2) | (i >> 4)];
  d->gammaready = 1;
}

void present(CardDevice *d) {
  if (d->texture == nullptr) return;
  SDL_UpdateTexture(d->texture, nullptr, d->rgb, d->width * 3);
  SDL_SetRenderDrawColor(d->renderer, 0, 0, 0, 255);
  SDL_RenderClear(d->renderer);
  SDL_RenderCopy(d->renderer, d->texture, nullptr, nullptr);
  SDL_RenderPresent(d->renderer);
}

void closewindow(CardDevice *d) {
  if (d->texture != nullptr) SDL_DestroyTexture(d->texture);
  if (d->renderer != nullptr) SDL_DestroyRenderer(d->renderer);
  if (d->window != nullptr) SDL_DestroyWindow(d->window);
  d->texture = nullptr;
  d->renderer = nullptr;
  d->window = nullptr;
}

int openwindow(CardDevice *d) {
  // A scaled frame opens its window at its own size when the screen holds it.
  int w = cardwidth, h = cardheight;
  SDL_Rect bounds;
  if (SDL_GetDisplayUsableBounds(0, &bounds) == 0 && d->width <= bounds.w && d->height <= bounds.h) {
    w = d->width;
    h = d->height;
  }
  d->window = SDL_CreateWindow("lwdemo", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, w, h,
                               SDL_WINDOW_RESIZABLE);
  if (d->window != nullptr) d->renderer = SDL_CreateRenderer(d->window, -1, 0);
  if (d->renderer != nullptr) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    // The logical size letterboxes the 4:3 picture in any window shape.
    SDL_RenderSetLogicalSize(d->renderer, d->width, d->height);
    d->texture = SDL_CreateTexture(d->renderer, SDL_PIXELFORMAT_RGB24,
                                   SDL_TEXTUREACCESS_STREAMING, d->width, d->height);
  }
  if (d->texture == nullptr) {
    fprintf(stderr, "card: cannot open the window: %s\n", SDL_GetError());
    closewindow(d);
    return 0;
  }
  present(d);
  return 1;
}

int isopen(const char *call) {
  if (device.open) return 1;
  char message[96];
  snprintf(message, sizeof message, "card: %s called while the card is closed", call);
  cardlogonce(message);
  return 0;
}

int validcombine(const char *call, GrCombineFunction_t function, GrCombineFactor_t factor,
                 GrCombineLocal_t local, GrCombineOther_t other) {
  int fnok = (function >= 0 && function <= 9) || function == 0x10;
  int factorok = (factor >= 0 && factor <= 4) || (factor >= 8 && factor <= 0xc);
  int localok = local == GR_COMBINE_LOCAL_ITERATED || local == GR_COMBINE_LOCAL_CONSTANT;
  int otherok = other >= 0 && other <= 2;
  if (fnok && factorok && localok && otherok) return 1;
  char message[96];
  snprintf(message, sizeof message, "card: %s with unsupported arguments ignored", call);
  cardlogonce(message);
  return 0;
}

}  // namespace

void cardtracecall(const char *fmt, ...) {
  if (!tracing) return;
  char line[512];
  va_list args;
  va_start(args, fmt);
  int n = vsnprintf(line, sizeof line, fmt, args);
  va_end(args);
  if (n >= (int)sizeof line) {
    std::string longline(n + 1, 0);
    va_start(args, fmt);
    vsnprintf(longline.data(), longline.size(), fmt, args);
    va_end(args);
    longline.resize(n);
    tracetext += longline;
  } else if (n > 0) {
    tracetext += line;
  }
  tracetext += '\n';
}

void cardlogonce(const char *message) {
  for (int i = 0; i < loggedcount; i++)
    if (strncmp(logged[i], message, sizeof logged[i] - 1) == 0) return;
  if (loggedcount < 64) snprintf(logged[loggedcount++], sizeof logged[0], "%s", message);
  fprintf(stderr, "%s\n", message);
}

void cardtrace(int on) { tracing = on != 0; }
const char *cardtracetext(void) { return tracetext.c_str(); }
void cardtraceclear(void) { tracetext.clear(); }

int cardwindowed(void) {
  if (windowmode >= 0) return windowmode;
  const char *v = getenv("LWDEMO_VIDEO");
  int want = -1;  // -1: a window when a display can be reached
  if (v != nullptr && strcmp(v, "window") == 0) want = 1;
  if (v != nullptr && strcmp(v, "headless") == 0) want = 0;
  if (v != nullptr && v[0] != 0 && want < 0)
    fprintf(stderr, "card: LWDEMO_VIDEO=%s not understood (window or headless)\n", v);
  windowmode = 0;
  // Without a display named in the environment the automatic choice does not probe SDL
  // at all (its probing prints noise on machines without one); asked for a window, SDL
  // tries every driver. Its "offscreen" and "dummy" drivers are no display.
  const char *x11 = getenv("DISPLAY"), *wayland = getenv("WAYLAND_DISPLAY");
  int named = (x11 != nullptr && x11[0] != 0) || (wayland != nullptr && wayland[0] != 0);
  if (want == 1 || (want < 0 && named)) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
      const char *driver = SDL_GetCurrentVideoDriver();
      if (driver != nullptr && strcmp(driver, "dummy") != 0 && strcmp(driver, "offscreen") != 0)
        windowmode = 1;
      else
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    if (want == 1 && windowmode == 0)
      fprintf(stderr, "card: no display can be reached, rendering headless\n");
  }
  return windowmode;
}

uint32_t cardwindowid(void) {
  return device.window != nullptr ? SDL_GetWindowID(device.window) : 0;
}

int cardhandleevent(const void *sdlevent) {
  const SDL_Event *e = (const SDL_Event *)sdlevent;
  if (e == nullptr || device.window == nullptr) return 0;
  uint32_t id = SDL_GetWindowID(device.window);
  if (e->type == SDL_WINDOWEVENT && e->window.windowID == id) {
    if (e->window.event == SDL_WINDOWEVENT_EXPOSED ||
        e->window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
      present(&device);
      return 1;
    }
    return 0;
  }
  if (e->type == SDL_KEYDOWN && e->key.windowID == id && e->key.keysym.sym == SDLK_RETURN &&
      (e->key.keysym.mod & KMOD_ALT)) {
    if (!e->key.repeat) {
      int full = (SDL_GetWindowFlags(device.window) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
      SDL_SetWindowFullscreen(device.window, full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
      present(&device);
    }
    return 1;
  }
  if (e->type == SDL_KEYUP && e->key.windowID == id && e->key.keysym.sym == SDLK_RETURN &&
      (e->key.keysym.mod & KMOD_ALT))
    return 1;
  if ((e->type == SDL_KEYDOWN || e->type == SDL_KEYUP) && e->key.windowID == id &&
      e->key.keysym.sym == SDLK_F12) {
    if (e->type == SDL_KEYDOWN && !e->key.repeat && device.stats.framesshown > 0) {
      char name[512];
      if (capturescreenshot(device.rgb, device.width, device.height, device.stats.framesshown, name,
                            sizeof name)) {
        printf("screenshot %s\n", name);
        fflush(stdout);
      }
    }
    return 1;
  }
  return 0;
}

void cardsetname(const char *name) { capturesetname(name); }
int cardoutputlost(void) { return capturelost(); }
void cardremovetemporaries(void) { captureremovetemporaries(); }

void grGlideGetVersion(char version[80]) {
  cardtracecall("grGlideGetVersion()");
  if (version != nullptr) snprintf(version, 80, "2.46");
}

void grGlideInit(void) { cardtracecall("grGlideInit()"); }

FxBool grSstQueryHardware(GrHwConfiguration *hwconfig) {
  cardtracecall("grSstQueryHardware()");
  const char *nocard = getenv("LWDEMO_NOCARD");
  if (nocard != nullptr && nocard[0] != 0 && strcmp(nocard, "0") != 0) return FXFALSE;
  if (hwconfig == nullptr) return FXFALSE;
  memset(hwconfig, 0, sizeof *hwconfig);
  hwconfig->num_sst = 1;
  hwconfig->SSTs[0].type = GR_SSTTYPE_VOODOO;
  GrVoodooConfig_t &c = hwconfig->SSTs[0].VoodooConfig;
  c.fbRam = 2;
  c.fbiRev = 2;
  c.nTexelfx = 1;
  c.sliDetect = FXFALSE;
  c.tmuConfig[0].tmuRev = 1;
  c.tmuConfig[0].tmuRam = 2;
  return FXTRUE;
}

void grSstSelect(int which_sst) {
  cardtracecall("grSstSelect(%d)", which_sst);
  if (which_sst != 0) cardlogonce("card: grSstSelect of a card other than 0 ignored");
}

FxBool grSstWinOpen(FxU32 hwnd, GrScreenResolution_t resolution, GrScreenRefresh_t refresh,
                    GrColorFormat_t format, GrOriginLocation_t origin, int numbuffers,
                    int numauxbuffers) {
  cardtracecall("grSstWinOpen(%u, %d, %d, %d, %d, %d, %d)", hwnd, resolution, refresh, format,
                origin, numbuffers, numauxbuffers);
  if (device.open) {
    cardlogonce("card: grSstWinOpen while the card is open ignored");
    return FXFALSE;
  }
  if (resolution != GR_RESOLUTION_640x480) {
    cardlogonce("card: only 640x480 (GR_RESOLUTION_640x480) can be opened");
    return FXFALSE;
  }
  if (refresh != GR_REFRESH_60Hz || format != GR_COLORFORMAT_ARGB ||
      origin != GR_ORIGIN_UPPER_LEFT || numbuffers != 2)
    cardlogonce("card: opened as 60 Hz, ARGB, origin upper left, two colour buffers");
  CardDevice &d = device;
  d.scale = envcount("LWDEMO_SCALE", 1, 1, largestscale, screenscale());
  d.colorbits = 16;
  const char *bits = getenv("LWDEMO_COLOR");
  if (bits != nullptr && strcmp(bits, "32") == 0)
    d.colorbits = 32;
  else if (bits != nullptr && bits[0] != 0 && strcmp(bits, "16") != 0)
    fprintf(stderr, "card: LWDEMO_COLOR=%s not understood (16 or 32), using 16\n", bits);
  d.width = cardwidth * d.scale;
  d.height = cardheight * d.scale;
  size_t pixels = (size_t)d.width * d.height;
  int ok = 1;
  for (int i = 0; i < 2; i++) {
    if (d.colorbits == 32)
      ok = ok && (d.color32[i] = (uint32_t *)calloc(pixels, 4)) != nullptr;
    else
      ok = ok && (d.color[i] = (uint16_t *)calloc(pixels, 2)) != nullptr;
  }
  ok = ok && (d.depth = (uint16_t *)malloc(pixels * 2)) != nullptr;
  ok = ok && (d.rgb = (uint8_t *)calloc(pixels, 3)) != nullptr;
  // One drawing thread per processor this process may use, the calling thread one of them
  // (each owns its own rows, so the frame is the same bits for any count); 1 draws on the
  // calling thread alone.
  int threads = envcount("LWDEMO_THREADS", corecount(), 1, 64, corecount());
  if (ok && !cardworkersstart(threads)) fprintf(stderr, "card: cannot start %d drawing threads, drawing on one\n", threads);
  if (!ok) {
    for (int i = 0; i < 2; i++) {
      free(d.color[i]);
      free(d.color32[i]);
    }
    free(d.depth);
    free(d.rgb);
    d = CardDevice{};
    fprintf(stderr, "card: no memory for the frame buffers\n");
    return FXFALSE;
  }
  for (size_t i = 0; i < pixels; i++) d.depth[i] = GR_WDEPTHVALUE_FARTHEST;
  d.back = 0;
  d.state = CardState{};
  d.paced = envflag("LWDEMO_PACING", 1);
  d.stats = CardStats{};
  d.lastretrace = 0;
  d.clockstart = nownanoseconds();
  loadgamma(&d);
  captureopen(d.width, d.height);
  if (cardwindowed()) openwindow(&d);
  d.open = 1;
  return FXTRUE;
}

void grGlideShutdown(void) {
  cardtracecall("grGlideShutdown()");
  if (!device.open) return;
  capturefinish();
  cardworkersstop();
  closewindow(&device);
  for (int i = 0; i < 2; i++) {
    free(device.color[i]);
    free(device.color32[i]);
  }
  free(device.depth);
  free(device.rgb);
  device = CardDevice{};
}

void grDepthBufferMode(GrDepthBufferMode_t mode) {
  cardtracecall("grDepthBufferMode(%d)", mode);
  if (mode != GR_DEPTHBUFFER_DISABLE && mode != GR_DEPTHBUFFER_WBUFFER) {
    cardlogonce("card: only the W buffer is supported; grDepthBufferMode ignored");
    return;
  }
  device.state.depthmode = mode;
}

void grDepthBufferFunction(GrCmpFnc_t function) {
  cardtracecall("grDepthBufferFunction(%d)", function);
  if (function < GR_CMP_NEVER || function > GR_CMP_ALWAYS) {
    cardlogonce("card: grDepthBufferFunction with an unknown function ignored");
    return;
  }
  device.state.depthfunc = function;
}

void grDepthMask(FxBool enable) {
  cardtracecall("grDepthMask(%d)", enable);
  device.state.depthmask = enable != 0;
}

void grBufferClear(GrColor_t color, GrAlpha_t alpha, FxU16 depth) {
  cardtracecall("grBufferClear(%u, %u, %u)", color, alpha, depth);
  if (!isopen("grBufferClear")) return;
  CardTarget target = backtarget(device);
  // The depth buffer is written only with the depth mask on; with depth buffering
  // disabled it then receives the depth bias (0) rather than the argument.
  int withdepth = device.state.depthmask;
  uint16_t z = device.state.depthmode != GR_DEPTHBUFFER_DISABLE ? depth : 0;
  if (cardworkercount() > 1) {
    cardqueueclear(&target, color, withdepth, z);
    return;
  }
  cardfillcolor(&target, color);
  if (withdepth) cardfilldepth(&target, z);
}

void grBufferSwap(int swapinterval) {
  cardtracecall("grBufferSwap(%d)", swapinterval);
  if (!isopen("grBufferSwap")) return;
  CardDevice &d = device;
  int n = swapinterval < 0 ? 0 : swapinterval;
  uint64_t target = d.lastretrace + (uint64_t)n;
  if (d.paced) {
    // A late frame goes out at the next retrace; n = 0 goes out at once.
    int64_t elapsed = nownanoseconds() - d.clockstart;
    uint64_t passed = (uint64_t)(elapsed / 16683334);
    while (retraceoffset(passed + 1) <= elapsed) passed++;
    while (passed > 0 && retraceoffset(passed) > elapsed) passed--;
    if (n == 0)
      target = passed > d.lastretrace ? passed : d.lastretrace;
    else if (target <= passed)
      target = passed + 1;
    timespec until;
    int64_t at = d.clockstart + retraceoffset(target);
    until.tv_sec = at / 1000000000;
    until.tv_nsec = at % 1000000000;
    if (n > 0)
      while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
      }
  }
  uint64_t hold = target - d.lastretrace;
  d.lastretrace = target;
  d.stats.retraces = target;
  d.stats.framesshown++;
  d.back ^= 1;
  cardfinish();
  // Scan-out only for someone looking: the window or a frame about to be captured.
  if (d.window != nullptr || capturetakes(d.stats.framesshown, hold))
    cardscanout(d.colorbits == 32 ? (const void *)d.color32[d.back ^ 1] : (const void *)d.color[d.back ^ 1], d.rgb);
  present(&d);
  captureframe(d.rgb, d.stats.framesshown, hold);
}

void guColorCombineFunction(GrColorCombineFnc_t function) {
  cardtracecall("guColorCombineFunction(%d)", function);
  CardCombine &c = device.state.color;
  switch (function) {
    case GR_COLORCOMBINE_ZERO:
      c = {GR_COMBINE_FUNCTION_ZERO, GR_COMBINE_FACTOR_NONE, GR_COMBINE_LOCAL_ITERATED,
           GR_COMBINE_OTHER_NONE, 0};
      break;
    case GR_COLORCOMBINE_CCRGB:
      c = {GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_NONE, GR_COMBINE_LOCAL_CONSTANT,
           GR_COMBINE_OTHER_NONE, 0};
      break;
    case GR_COLORCOMBINE_ITRGB:
      c = {GR_COMBINE_FUNCTION_LOCAL, GR_COMBINE_FACTOR_NONE, GR_COMBINE_LOCAL_ITERATED,
           GR_COMBINE_OTHER_NONE, 0};
      break;
    case GR_COLORCOMBINE_DECAL_TEXTURE:
      c = {GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_ONE, GR_COMBINE_LOCAL_NONE,
           GR_COMBINE_OTHER_TEXTURE, 0};
      break;
    case GR_COLORCOMBINE_TEXTURE_TIMES_ITRGB:
      c = {GR_COMBINE_FUNCTION_SCALE_OTHER, GR_COMBINE_FACTOR_LOCAL, GR_COMBINE_LOCAL_ITERATED,
           GR_COMBINE_OTHER_TEXTURE, 0};
      break;
    default:
      cardlogonce("card: guColorCombineFunction with an unsupported function ignored");
      break;
  }
}

void grColorCombine(GrCombineFunction_t function, GrCombineFactor_t factor,
                    GrCombineLocal_t local, GrCombineOther_t other, FxBool invert) {
  cardtracecall("grColorCombine(%d, %d, %d, %d, %d)", function, factor, local, other, invert);
  if (!validcombine("grColorCombine", function, factor, local, other)) return;
  device.state.color = {function, factor, local, other, invert != 0};
}

void grAlphaCombine(GrCombineFunction_t function, GrCombineFactor_t factor,
                    GrCombineLocal_t local, GrCombineOther_t other, FxBool invert) {
  cardtracecall("grAlphaCombine(%d, %d, %d, %d, %d)", function, factor, local, other, invert);
  if (!validcombine("grAlphaCombine", function, factor, local, other)) return;
  device.state.alpha = {function, factor, local, other, invert != 0};
}

void grTexCombineFunction(GrChipID_t tmu, GrTextureCombineFnc_t function) {
  cardtracecall("grTexCombineFunction(%d, %d)", tmu, function);
  if (tmu != GR_TMU0 ||
      (function != GR_TEXTURECOMBINE_ZERO && function != GR_TEXTURECOMBINE_DECAL)) {
    cardlogonce("card: grTexCombineFunction supports texture unit 0 with ZERO or DECAL only");
    return;
  }
  device.state.texcombine = function;
}

void grAlphaBlendFunction(GrAlphaBlendFnc_t rgbsf, GrAlphaBlendFnc_t rgbdf,
                          GrAlphaBlendFnc_t alphasf, GrAlphaBlendFnc_t alphadf) {
  cardtracecall("grAlphaBlendFunction(%d, %d, %d, %d)", rgbsf, rgbdf, alphasf, alphadf);
  auto ok = [](int f) { return f >= GR_BLEND_ZERO && f <= GR_BLEND_ONE_MINUS_DST_ALPHA; };
  if (!ok(rgbsf) || !ok(rgbdf) || !ok(alphasf) || !ok(alphadf)) {
    cardlogonce("card: grAlphaBlendFunction with an unsupported factor ignored");
    return;
  }
  device.state.rgbsrc = rgbsf;
  device.state.rgbdst = rgbdf;
  device.state.alphasrc = alphasf;
  device.state.alphadst = alphadf;
}

void grDrawPolygonVertexList(int nverts, const GrVertex vlist[]) {
  if (tracing) {
    std::string line = "grDrawPolygonVertexList(" + std::to_string(nverts);
    for (int i = 0; vlist != nullptr && i < nverts; i++) {
      const GrVertex &v = vlist[i];
      char one[200];
      snprintf(one, sizeof one, ", {%g %g %g %g %g %g %g %g %g}", v.x, v.y, v.r, v.g, v.b, v.a,
               v.oow, v.tmuvtx[0].sow, v.tmuvtx[0].tow);
      line += one;
    }
    line += ")";
    cardtracecall("%s", line.c_str());
  }
  if (!isopen("grDrawPolygonVertexList") || vlist == nullptr || nverts < 3) return;
  CardTarget target = backtarget(device);
  if (cardworkercount() == 1) {
    for (int i = 1; i + 1 < nverts; i++)
      carddrawtriangle(&device.state, cardtexture, &target, &vlist[0], &vlist[i], &vlist[i + 1], 0);
    return;
  }
  CardSetup *s = &device.setup;
  for (int i = 1; i + 1 < nverts; i++) {
    if (!cardsetuptriangle(s, &device.state, cardtexture, &target, &vlist[0], &vlist[i], &vlist[i + 1], 0))
      continue;
    if (s->unusabletexture) cardlogonce("card: texture levels unusable, drawing untextured");
    cardqueuetriangle(s, &target);
  }
}

void cardgetstats(CardStats *stats) {
  if (stats != nullptr) *stats = device.stats;
}

const FxU16 *cardbackbuffer(void) {
  cardfinish();
  return device.open ? device.color[device.back] : nullptr;
}

const FxU16 *cardfrontbuffer(void) {
  cardfinish();
  return device.open ? device.color[device.back ^ 1] : nullptr;
}

const FxU16 *carddepthbuffer(void) {
  cardfinish();
  return device.open ? device.depth : nullptr;
}

int cardscale(void) { return device.open ? device.scale : 1; }

int cardframe(CardFrame *frame) {
  if (frame == nullptr || !device.open) return 0;
  cardfinish();
  const CardDevice &d = device;
  frame->width = d.width;
  frame->height = d.height;
  frame->scale = d.scale;
  frame->colorbits = d.colorbits;
  frame->threads = cardworkercount();
  frame->back = d.colorbits == 32 ? (const void *)d.color32[d.back] : (const void *)d.color[d.back];
  frame->front = d.colorbits == 32 ? (const void *)d.color32[d.back ^ 1] : (const void *)d.color[d.back ^ 1];
  frame->depth = d.depth;
  return 1;
}

void cardscanout(const void *buffer, FxU8 *rgb) {
  if (buffer == nullptr || rgb == nullptr) return;
  cardfinish();  // the buffer may be one that queued work still draws into
  if (!device.gammaready) loadgamma(&device);
  const CardDevice &d = device;
  size_t n = d.open ? (size_t)d.width * d.height : (size_t)cardwidth * cardheight;
  if (d.open && d.colorbits == 32) {
    const uint32_t *p = (const uint32_t *)buffer;
    for (size_t i = 0; i < n; i++) {
      rgb[3 * i] = d.scan8[(p[i] >> 16) & 0xFF];
      rgb[3 * i + 1] = d.scan8[(p[i] >> 8) & 0xFF];
      rgb[3 * i + 2] = d.scan8[p[i] & 0xFF];
    }
    return;
  }
  const uint16_t *p = (const uint16_t *)buffer;
  for (size_t i = 0; i < n; i++) {
    rgb[3 * i] = d.scanr[p[i] >> 11];
    rgb[3 * i + 1] = d.scang[(p[i] >> 5) & 63];
    rgb[3 * i + 2] = d.scanb[p[i] & 31];
  }
}
