// The tolerant scene reader for classic content (lwplay): version 1 scenes as LightWave
// 3.x to 5.x laid them out, read line by line and keyword by keyword.
//
// Where the strict reader takes fixed runs of words after a few keywords, this one takes
// each line's first word as its keyword and the rest of the line as its value, so names
// may hold spaces, headers may lack lines (3.x writes no FramesPerSecond), and sections
// may come in any order. Each change to what the file says is one warning through
// adaptwarning; keywords of the layout program's views and of the renderer's options,
// which this system does not draw, are passed over as the strict reader passes them.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/display.h"
#include "lws/lwsreader.h"
#include "platform/platform.h"

namespace {

// The fewest bytes a key of a motion block takes: 14 one-digit numbers and the spaces
// between them. Bounds a key count by the bytes that are left.
constexpr size_t minkeybytes = 28;
// An envelope key: a value and five numbers.
constexpr size_t minenvkeybytes = 12;

struct Line {
  const char *keyword;  // first word, not terminated
  size_t keywordlen;
  const char *rest;     // after the first word and its spaces, trailing spaces cut
  size_t restlen;
  int32_t number;
};

struct Text {
  const char *name;
  const char *text;
  size_t size;
  size_t pos = 0;
  int32_t line = 1;
};

int isblank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
int isspacec(char c) { return isblank(c) || c == '\n'; }

// The next non-empty line; 0 at the end. Line ends are LF, CR LF or a lone CR.
int nextline(Text *t, Line *l) {
  for (;;) {
    if (t->pos >= t->size) return 0;
    size_t start = t->pos, end = start;
    while (end < t->size && t->text[end] != '\n' && t->text[end] != '\r') end++;
    l->number = t->line;
    t->pos = end;
    if (t->pos < t->size && t->text[t->pos] == '\r') t->pos++;
    if (t->pos < t->size && t->text[t->pos] == '\n') t->pos++;
    t->line++;
    size_t a = start;
    while (a < end && isblank(t->text[a])) a++;
    if (a == end) continue;
    size_t k = a;
    while (k < end && !isblank(t->text[k])) k++;
    l->keyword = t->text + a;
    l->keywordlen = k - a;
    while (k < end && isblank(t->text[k])) k++;
    size_t e = end;
    while (e > k && isblank(t->text[e - 1])) e--;
    l->rest = t->text + k;
    l->restlen = e - k;
    return 1;
  }
}

int is(const Line &l, const char *keyword) {
  return strlen(keyword) == l.keywordlen && memcmp(l.keyword, keyword, l.keywordlen) == 0;
}

int restis(const Line &l, const char *value) {
  return strlen(value) == l.restlen && memcmp(l.rest, value, l.restlen) == 0;
}

// Numbers of a value, from *p up to end: decimal forms only; 0 when none stands there.
int parsenumber(const char **p, const char *end, double *value) {
  const char *s = *p;
  while (s < end && isspacec(*s)) s++;
  char buffer[64];
  size_t n = 0;
  while (s + n < end && !isspacec(s[n])) n++;
  if (n == 0 || n >= sizeof buffer) return 0;
  memcpy(buffer, s, n);
  buffer[n] = 0;
  for (size_t i = 0; i < n; i++)
    if (!strchr("0123456789+-.eE", buffer[i])) return 0;
  char *stop = nullptr;
  double v = strtod(buffer, &stop);
  if (stop != buffer + n || !std::isfinite(v)) return 0;
  *value = v;
  *p = s + n;
  return 1;
}

// The next number of the text, across lines; on failure nothing is consumed.
int textnumber(Text *t, double *value) {
  size_t p = t->pos;
  int32_t line = t->line;
  while (p < t->size && isspacec(t->text[p])) {
    if (t->text[p] == '\n' || (t->text[p] == '\r' && (p + 1 >= t->size || t->text[p + 1] != '\n')))
      line++;
    p++;
  }
  const char *s = t->text + p;
  if (!parsenumber(&s, t->text + t->size, value)) return 0;
  t->pos = (size_t)(s - t->text);
  t->line = line;
  return 1;
}

float clampfloat(double v) {
  if (v > 3.0e38) return 3.0e38f;
  if (v < -3.0e38) return -3.0e38f;
  return (float)v;
}

int32_t clampint(double v) {
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return (int32_t)std::floor(v + 0.5);
}

// The values of a line as up to count numbers; returns how many were read.
int linenumbers(const Line &l, double *values, int count) {
  const char *p = l.rest, *end = l.rest + l.restlen;
  int n = 0;
  while (n < count && parsenumber(&p, end, &values[n])) n++;
  return n;
}

struct Reader {
  Text text{nullptr, nullptr, 0};
  LwsScene *scene = nullptr;
  // Room of the entry arrays; they grow by doubling up to lwsmaxitems.
  int32_t objectroom = 0, lightroom = 0, sfxroom = 0;
  enum { none, object, light, camera, sfx } item = none;
  int32_t frameseen = 0, lastseen = 0, rateseen = 0, ambientseen = 0, cameraseen = 0;
  int32_t solidbackdrop = -1;
  int32_t backdrop = 0;
  // Unknown keywords are warned about once each.
  char unknown[32][32] = {};
  int32_t numunknown = 0;
};

template <typename T>
int grow(T **entries, int32_t *room, int32_t count) {
  if (count < *room) return 1;
  if (count >= 65535) return 0;
  int32_t next = *room > 0 ? *room * 2 : 4;
  if (next > 65535) next = 65535;
  T *bigger = (T *)malloc(sizeof(T) * (size_t)next);
  if (bigger == nullptr) return 0;
  for (int32_t i = 0; i < next; i++) new (&bigger[i]) T;
  // The keys move with their entries: the old array goes without freeing them.
  if (count > 0) memcpy((void *)bigger, (const void *)*entries, sizeof(T) * (size_t)count);
  free(*entries);
  *entries = bigger;
  *room = next;
  return 1;
}

void copyname(char *to, const Line &l) {
  size_t n = l.restlen < (size_t)lwsfilenamesize - 1 ? l.restlen : (size_t)lwsfilenamesize - 1;
  memcpy(to, l.rest, n);
  to[n] = 0;
}

// A motion block after its keyword line: channel count, key count, then per key the
// channel values and "frame linear tension continuity bias", then "EndBehavior". Keys
// that do not follow the frame before them are left out; a block cut short keeps the
// keys read whole. what names the item in warnings.
LwsStatus readmotionblock(Reader *r, LwsMotion *motion, int32_t line, const char *what) {
  Text *t = &r->text;
  free(motion->keys);
  motion->keys = nullptr;
  motion->numkeys = 0;
  double channels = 0, count = 0;
  if (!textnumber(t, &channels) || !textnumber(t, &count)) {
    adaptwarning("scene %s, line %d: %s has no channel or key count, it stays at the origin",
                 t->name, (int)line, what);
    return lwsok;
  }
  int32_t numchannels = clampint(channels);
  if (numchannels < 1 || numchannels > 9) {
    adaptwarning("scene %s, line %d: %s has %d channels, read as 9", t->name, (int)line, what,
                 (int)numchannels);
    numchannels = 9;
  }
  double left = (double)(t->size - t->pos) / minkeybytes + 1;
  int32_t numkeys = count < 0 ? 0 : count > left ? (int32_t)left : clampint(count);
  if (numkeys <= 0) return lwsok;
  MotionKey *keys = (MotionKey *)malloc(sizeof(MotionKey) * (size_t)numkeys);
  if (keys == nullptr) return lwskeysnomemory;
  int32_t n = 0, dropped = 0, whole = 1;
  for (int32_t k = 0; k < numkeys && whole; k++) {
    MotionKey key;
    double v[14] = {};
    for (int c = 0; c < numchannels + 5 && whole; c++) whole = textnumber(t, &v[c]);
    if (!whole) break;
    for (int c = 0; c < numchannels; c++) key.values[c] = clampfloat(v[c]);
    // Scale channels left out of a short block stay at 1.
    for (int c = numchannels; c < 9; c++) key.values[c] = c >= 6 ? 1.0f : 0.0f;
    key.frame = clampint(v[numchannels]);
    key.linear = clampint(v[numchannels + 1]);
    key.tension = clampfloat(v[numchannels + 2]);
    key.continuity = clampfloat(v[numchannels + 3]);
    key.bias = clampfloat(v[numchannels + 4]);
    // Frames must rise, and the whole motion span no more than 32 bits (evalmotion).
    if (n > 0 && (key.frame <= keys[n - 1].frame || (int64_t)key.frame - keys[0].frame > INT32_MAX)) {
      dropped++;
      continue;
    }
    keys[n++] = key;
  }
  if (!whole)
    adaptwarning("scene %s, line %d: %s is cut short after %d of %d keys", t->name, (int)line, what,
                 (int)n, (int)clampint(count));
  if (dropped > 0)
    adaptwarning("scene %s, line %d: %s: %d keys at frames not after the key before left out",
                 t->name, (int)line, what, (int)dropped);
  if (n == 0) {
    free(keys);
    return lwsok;
  }
  motion->keys = keys;
  motion->numkeys = n;
  // EndBehavior closes the block; another keyword there is read as a line of its own.
  Text at = *t;
  Line l;
  if (nextline(t, &l) && is(l, "EndBehavior")) {
    double v = 1;
    if (linenumbers(l, &v, 1) == 1) motion->endbehavior = clampint(v);
  } else {
    *t = at;
  }
  return lwsok;
}

// A one-channel envelope as a motion whose first channel holds the value.
LwsStatus readenvelope(Reader *r, LwsMotion *envelope, int32_t line, const char *what) {
  Text *t = &r->text;
  double channels = 0, count = 0;
  free(envelope->keys);
  envelope->keys = nullptr;
  envelope->numkeys = 0;
  if (!textnumber(t, &channels) || !textnumber(t, &count) || clampint(channels) != 1) {
    adaptwarning("scene %s, line %d: the envelope of %s cannot be read, its value stays as it was",
                 t->name, (int)line, what);
    return lwsok;
  }
  double left = (double)(t->size - t->pos) / minenvkeybytes + 1;
  int32_t numkeys = count < 0 ? 0 : count > left ? (int32_t)left : clampint(count);
  if (numkeys <= 0) return lwsok;
  MotionKey *keys = (MotionKey *)malloc(sizeof(MotionKey) * (size_t)numkeys);
  if (keys == nullptr) return lwskeysnomemory;
  int32_t n = 0;
  for (int32_t k = 0; k < numkeys; k++) {
    double v[6];
    int whole = 1;
    for (int c = 0; c < 6 && whole; c++) whole = textnumber(t, &v[c]);
    if (!whole) break;
    MotionKey key;
    key.values[0] = clampfloat(v[0]);
    key.frame = clampint(v[1]);
    key.linear = clampint(v[2]);
    key.tension = clampfloat(v[3]);
    key.continuity = clampfloat(v[4]);
    key.bias = clampfloat(v[5]);
    if (n > 0 && (key.frame <= keys[n - 1].frame || (int64_t)key.frame - keys[0].frame > INT32_MAX))
      continue;
    keys[n++] = key;
  }
  Text at = *t;
  Line l;
  int32_t endbehavior = 1;
  if (nextline(t, &l) && is(l, "EndBehavior")) {
    double v = 1;
    if (linenumbers(l, &v, 1) == 1) endbehavior = clampint(v);
  } else {
    *t = at;
  }
  if (n == 0) {
    free(keys);
    return lwsok;
  }
  envelope->keys = keys;
  envelope->numkeys = n;
  envelope->endbehavior = endbehavior;
  return lwsok;
}

// Skips an envelope block that nothing here uses.
void skipenvelope(Reader *r) {
  LwsMotion unused;
  readenvelope(r, &unused, 0, "");
  free(unused.keys);
}

// Keywords of the layout program's views, the renderer's options, effects this system
// does not draw (shadows, fog, flares' looks) and values it has no use for.
const char *const passedover[] = {
    "ShowObject", "ShadowOptions", "LockedChannels", "PreviewFirstFrame", "PreviewLastFrame",
    "PreviewFrameStep", "FrameStep", "CurrentFrame", "ShowLight", "LightName", "ShadowType",
    "ShadowCasting", "ShowCamera", "Resolution", "PixelAspectRatio", "SegmentMemory",
    "Antialiasing", "AdaptiveSampling", "AdaptiveThreshold", "FilmSize", "FieldRendering",
    "MotionBlur", "DepthOfField", "ZenithColor", "SkyColor", "GroundColor", "NadirColor",
    "FogType", "FogMinDist", "FogMaxDist", "FogColor", "DitherIntensity", "AnimatedDither",
    "RenderMode", "RayTraceEffects", "ClipRayColors", "DataOverlayLabel", "DataOverlay",
    "FullSceneParamEval", "ViewMode", "ViewAimpoint", "ViewDirection", "ViewZoomFactor",
    "GridNumber", "GridSize", "ShowMotionPath", "ShowBGImage", "ShowFogRadius", "ShowRedraw",
    "ShowSafeAreas", "ShowFieldChart", "FlareIntensity", "FlareDissolve", "FlareOptions",
    "FlareRandStreakInt", "FlareRandStreakDens", "FlareRandStreakSharp", "FlareRotationAngle",
    "Flare2ndRefl", "FlareNoSize", "LensFlareFade", "ConeAngle", "EdgeAngle", "ShadowMapSize",
    "ShadowMapAngle", "ShadowFuzziness", "ShadowColor", "RenderRangeType", "NoiseReduction",
    "ObjDissolve", "DistanceDissolve", "MaxDissolveDistance", "ObjPolygonSize", "ObjectPolygonSize",
    "UnseenByRays", "UnseenByCamera", "UnaffectedByFog", "ExcludeLight", "PolygonSize",
    "PivotPoint", "ObjMotionPath", "MotionPathLength", "ShowObjectAsBox", "LimitH", "LimitP",
    "LimitB", "Metamorph", "MorphTarget", "MorphSurfaces", "SubPatchLevel", "MatteObject",
    "GoalObject", "Stretch", "Tips", "EdgeZScale", "EdgeColor", "LoadObjectLayer", "TargetObject",
    "EnvironmentOptions", "BGImage", "FGImage", "FGAlphaImage", "ForegroundImage",
    "BackgroundImage", "ImageSequence", "LoadImage", "SaveRGB", "SaveAlpha", "SaveRGBImagesPrefix",
    "SaveAlphaImagesPrefix", "RGBImageFormat", "AlphaImageFormat", "FrameSize", "CustomSize",
    "LayoutGrid", "PreviewInterval", "NumThreads", "BackdropFog", "HController", "PController",
    "BController", "LensFlareSize", "LensFlareOptions", "CameraViewBG", "RayTraceShadows",
    "RayTraceReflection", "RayTraceRefraction", "RayTraceTransparency", "EnhancedAA",
    "EnhancedAntialiasing", "ReflectionOptions", "MaskPosition", "HeadlightOn"};

int ispassedover(const Line &l) {
  for (const char *k : passedover)
    if (is(l, k)) return 1;
  return 0;
}

void warnunknown(Reader *r, const Line &l) {
  size_t n = l.keywordlen < 31 ? l.keywordlen : 31;
  for (int32_t i = 0; i < r->numunknown; i++)
    if (strlen(r->unknown[i]) == n && memcmp(r->unknown[i], l.keyword, n) == 0) return;
  if (r->numunknown < 32) {
    memcpy(r->unknown[r->numunknown], l.keyword, n);
    r->unknown[r->numunknown][n] = 0;
    r->numunknown++;
  } else if (r->numunknown == 32) {
    r->numunknown++;
    adaptwarning("scene %s, line %d: more unknown keywords left out without warnings", r->text.name,
                 (int)l.number);
    return;
  } else {
    return;
  }
  adaptwarning("scene %s, line %d: unknown keyword %.*s left out", r->text.name, (int)l.number,
               (int)n, l.keyword);
}

// A scalar value that may be "(envelope)": the envelope goes into *envelope (when not
// null) and the value becomes its first key's; 1 when a value was set.
LwsStatus readscalar(Reader *r, const Line &l, float *value, LwsMotion *envelope,
                     const char *what, int *set) {
  *set = 0;
  if (restis(l, "(envelope)")) {
    LwsMotion env;
    LwsStatus status = readenvelope(r, &env, l.number, what);
    if (status != lwsok) return status;
    if (env.numkeys > 0) {
      *value = env.keys[0].values[0];
      *set = 1;
      if (envelope != nullptr) {
        free(envelope->keys);
        *envelope = env;
        adaptwarning("scene %s, line %d: %s follows its envelope of %d keys over time",
                     r->text.name, (int)l.number, what, (int)env.numkeys);
        return lwsok;
      }
      adaptwarning("scene %s, line %d: %s has an envelope; its first key's value %g is kept",
                   r->text.name, (int)l.number, what, (double)*value);
    }
    free(env.keys);
    return lwsok;
  }
  double v = 0;
  if (linenumbers(l, &v, 1) == 1) {
    *value = clampfloat(v);
    *set = 1;
  } else {
    adaptwarning("scene %s, line %d: %s has no value, it stays %g", r->text.name, (int)l.number,
                 what, (double)*value);
  }
  return lwsok;
}

int colorof(const Line &l, int32_t *rgb) {
  double v[3];
  if (linenumbers(l, v, 3) != 3) return 0;
  for (int c = 0; c < 3; c++) {
    // Later layouts write colours as 0..1 floats; version 1 writes 0..255.
    double x = v[c];
    rgb[c] = clampint(x < 0 ? 0 : x > 255 ? 255 : x);
  }
  return 1;
}

LwsStatus addobject(Reader *r, const Line &l, int isnull) {
  LwsScene *s = r->scene;
  if (!grow(&s->objects, &r->objectroom, s->numobjects)) {
    if (s->numobjects >= 65535) {
      adaptwarning("scene %s, line %d: more than 65535 objects, the rest left out", r->text.name,
                   (int)l.number);
      r->item = Reader::none;
      return lwsok;
    }
    return lwsnomemory;
  }
  LwsObject *o = &s->objects[s->numobjects++];
  o->line = l.number;
  o->isnull = isnull;
  copyname(o->filename, l);
  r->item = Reader::object;
  return lwsok;
}

LwsStatus addsfx(Reader *r, const Line &l) {
  LwsScene *s = r->scene;
  if (!grow(&s->sfxobjects, &r->sfxroom, s->numsfxobjects)) {
    if (s->numsfxobjects >= 65535) return lwsok;
    return lwsnomemory;
  }
  LwsSfxObject *x = &s->sfxobjects[s->numsfxobjects++];
  x->line = l.number;
  copyname(x->filename, l);
  r->item = Reader::sfx;
  return lwsok;
}

LwsStatus addlight(Reader *r, const Line &l) {
  LwsScene *s = r->scene;
  if (!grow(&s->lights, &r->lightroom, s->numlights)) {
    if (s->numlights >= 65535) return lwsok;
    return lwsnomemory;
  }
  LwsLight *light = &s->lights[s->numlights++];
  light->line = l.number;
  // LightWave's new light: white at full intensity, distant.
  light->red = light->green = light->blue = 255;
  light->intensity = 1.0f;
  light->filled = 0;
  r->item = Reader::light;
  return lwsok;
}

// Values of effect objects as the show's scenes write them, one keyword each.
void readsfxvalue(Reader *r, const Line &l, LwsSfxObject *x) {
  double v[3] = {0, 0, 0};
  int n = linenumbers(l, v, 3);
  if (n == 0) return;
  if (is(l, "SfxType")) x->sfxtype = clampint(v[0]), x->filled = 1;
  else if (is(l, "SfxRangeStart")) x->rangestart = clampint(v[0]);
  else if (is(l, "SfxRangeEnd")) x->rangeend = clampint(v[0]);
  else if (is(l, "SfxQuadWidth")) x->quadwidth = clampfloat(v[0]);
  else if (is(l, "SfxQuadHeight")) x->quadheight = clampfloat(v[0]);
  else if (is(l, "SfxNumParticles")) {
    int32_t count = clampint(v[0]);
    if (count < 0) {
      adaptwarning("scene %s, line %d: particle count %d read as 0", r->text.name, (int)l.number,
                   (int)count);
      count = 0;
    }
    x->numparticles = count;
  } else if (is(l, "SfxLifeTime")) x->lifetime = clampfloat(v[0]);
  else if (is(l, "SfxBirthColor") && n == 3) for (int c = 0; c < 3; c++) x->birthcolor[c] = clampint(v[c]);
  else if (is(l, "SfxDeathColor") && n == 3) for (int c = 0; c < 3; c++) x->deathcolor[c] = clampint(v[c]);
  else if (is(l, "SfxStartTrans")) x->starttrans = clampfloat(v[0]);
  else if (is(l, "SfxEndTrans")) x->endtrans = clampfloat(v[0]);
  else if (is(l, "SfxRandFactor")) x->randfactor = clampfloat(v[0]);
}

int issfxkeyword(const Line &l) { return l.keywordlen > 3 && memcmp(l.keyword, "Sfx", 3) == 0; }

LwsStatus readline(Reader *r, const Line &l) {
  LwsScene *s = r->scene;
  const char *name = r->text.name;
  double v[3] = {0, 0, 0};
  char what[96];
  if (is(l, "FirstFrame") || is(l, "LastFrame") || is(l, "FramesPerSecond")) {
    if (linenumbers(l, v, 1) != 1) {
      adaptwarning("scene %s, line %d: %.*s has no value, left as it was", name, (int)l.number,
                   (int)l.keywordlen, l.keyword);
    } else if (is(l, "FirstFrame")) {
      s->firstframe = clampint(v[0]), r->frameseen = 1;
    } else if (is(l, "LastFrame")) {
      s->lastframe = clampint(v[0]), r->lastseen = 1;
    } else if (v[0] > 0 && v[0] <= 1000) {
      s->framespersecond = (float)v[0], r->rateseen = 1;
    } else {
      adaptwarning("scene %s, line %d: %g frames per second read as 30", name, (int)l.number, v[0]);
      s->framespersecond = 30, r->rateseen = 1;
    }
  } else if (is(l, "LoadObject") || is(l, "AddNullObject")) {
    return addobject(r, l, is(l, "AddNullObject"));
  } else if (is(l, "LoadSfxObject")) {
    return addsfx(r, l);
  } else if (is(l, "AddLight")) {
    return addlight(r, l);
  } else if (is(l, "ObjectMotion") || is(l, "LightMotion") || is(l, "CameraMotion") ||
             is(l, "SfxObjectMotion")) {
    LwsMotion *motion = nullptr;
    if (is(l, "ObjectMotion") && r->item == Reader::object) {
      motion = &s->objects[s->numobjects - 1].motion;
      s->objects[s->numobjects - 1].filled = 1;
      snprintf(what, sizeof what, "the motion of object %d", (int)s->numobjects);
    } else if (is(l, "LightMotion") && r->item == Reader::light) {
      motion = &s->lights[s->numlights - 1].motion;
      snprintf(what, sizeof what, "the motion of light %d", (int)s->numlights);
    } else if (is(l, "SfxObjectMotion") && r->item == Reader::sfx) {
      motion = &s->sfxobjects[s->numsfxobjects - 1].motion;
      snprintf(what, sizeof what, "the motion of effect %d", (int)s->numsfxobjects);
    } else if (is(l, "CameraMotion")) {
      r->item = Reader::camera;
      r->cameraseen = 1;
      motion = &s->camera->motion;
      s->camera->line = l.number;
      s->camera->filled = 1;
      snprintf(what, sizeof what, "the camera's motion");
    }
    if (motion == nullptr) {
      adaptwarning("scene %s, line %d: %.*s outside its item's section left out", name,
                   (int)l.number, (int)l.keywordlen, l.keyword);
      LwsMotion unused;
      LwsStatus status = readmotionblock(r, &unused, l.number, "a stray motion");
      free(unused.keys);
      return status;
    }
    return readmotionblock(r, motion, l.number, what);
  } else if (is(l, "ParentObject") && r->item == Reader::object) {
    if (linenumbers(l, v, 1) == 1) {
      LwsObject *o = &s->objects[s->numobjects - 1];
      o->parentindex = clampint(v[0]) - 1;
      o->parentline = l.number;
    }
  } else if (is(l, "ParentObject")) {
    adaptwarning("scene %s, line %d: ParentObject of a light or the camera left out: it moves on "
                 "its own", name, (int)l.number);
  } else if (is(l, "TargetObject") && r->item == Reader::camera) {
    if (linenumbers(l, v, 1) == 1) {
      int32_t target = clampint(v[0]);
      s->camera->targetindex = target >= 1 ? target - 1 : -1;
    }
  } else if (is(l, "ZoomFactor")) {
    int set = 0;
    LwsStatus status = readscalar(r, l, &s->camera->zoomfactor, &s->camera->zoomenvelope,
                                  "the camera's zoom", &set);
    if (status != lwsok) return status;
    if (!(s->camera->zoomfactor > 0)) {
      adaptwarning("scene %s, line %d: zoom %g read as 3.2", name, (int)l.number,
                   (double)s->camera->zoomfactor);
      s->camera->zoomfactor = 3.2f;
      free(s->camera->zoomenvelope.keys);
      s->camera->zoomenvelope = LwsMotion{};
    }
  } else if (is(l, "AmbientColor")) {
    int32_t rgb[3];
    if (colorof(l, rgb)) {
      s->ambientred = rgb[0], s->ambientgreen = rgb[1], s->ambientblue = rgb[2];
      r->ambientseen = 1;
    }
  } else if (is(l, "AmbIntensity") || is(l, "AmbientIntensity")) {
    int set = 0;
    return readscalar(r, l, &s->ambientintensity, nullptr, "the ambient intensity", &set);
  } else if (r->item == Reader::light &&
             (is(l, "LightColor") || is(l, "LgtIntensity") || is(l, "LightIntensity") ||
              is(l, "LightType") || is(l, "LightFalloff") || is(l, "LightRange") ||
              is(l, "Falloff") || is(l, "LensFlare"))) {
    LwsLight *light = &s->lights[s->numlights - 1];
    snprintf(what, sizeof what, "the intensity of light %d", (int)s->numlights);
    if (is(l, "LightColor")) {
      int32_t rgb[3];
      if (colorof(l, rgb)) light->red = rgb[0], light->green = rgb[1], light->blue = rgb[2];
      light->filled = 1;
    } else if (is(l, "LgtIntensity") || is(l, "LightIntensity")) {
      int set = 0;
      return readscalar(r, l, &light->intensity, &light->intensityenvelope, what, &set);
    } else if (linenumbers(l, v, 1) == 1) {
      if (is(l, "LightType")) light->lighttype = clampint(v[0]);
      else if (is(l, "LightFalloff")) light->falloffon = clampint(v[0]);
      else if (is(l, "LightRange")) light->falloffrange = clampfloat(v[0]);
      else if (is(l, "LensFlare")) light->lensflare = clampint(v[0]);
      else if (v[0] != 0)
        adaptwarning("scene %s, line %d: light %d's Falloff %g (an earlier layout's) not drawn; "
                     "the light reaches everywhere", name, (int)l.number, (int)s->numlights, v[0]);
    }
  } else if (issfxkeyword(l) && r->item == Reader::sfx) {
    readsfxvalue(r, l, &s->sfxobjects[s->numsfxobjects - 1]);
  } else if (is(l, "SolidBackdrop")) {
    if (linenumbers(l, v, 1) == 1) r->solidbackdrop = clampint(v[0]);
  } else if (is(l, "BackdropColor")) {
    int32_t rgb[3];
    if (colorof(l, rgb)) r->backdrop = rgb[0] << 16 | rgb[1] << 8 | rgb[2];
  } else if (is(l, "Plugin") || (l.keywordlen > 6 && memcmp(l.keyword + l.keywordlen - 6, "Plugin", 6) == 0)) {
    // A plug-in's block of settings ends with its own EndPlugin line.
    adaptwarning("scene %s, line %d: plug-in %.*s left out", name, (int)l.number, (int)l.restlen,
                 l.rest);
    Line inner;
    while (nextline(&r->text, &inner) && !is(inner, "EndPlugin")) {
    }
  } else if (restis(l, "(envelope)")) {
    if (!ispassedover(l)) warnunknown(r, l);
    skipenvelope(r);
  } else if (!ispassedover(l)) {
    warnunknown(r, l);
  }
  return lwsok;
}

// What the file left out or got wrong, once it is read: defaults with a warning each.
LwsStatus complete(Reader *r) {
  LwsScene *s = r->scene;
  const char *name = r->text.name;
  if (!r->frameseen) adaptwarning("scene %s: no FirstFrame, frame %d", name, (int)s->firstframe);
  if (!r->lastseen) adaptwarning("scene %s: no LastFrame, frame %d", name, (int)s->lastframe);
  if (!r->rateseen)
    adaptwarning("scene %s: no FramesPerSecond (a LightWave 3.x layout), %g frames per second", name,
                 (double)s->framespersecond);
  if (s->lastframe < s->firstframe) {
    adaptwarning("scene %s: LastFrame %d before FirstFrame %d, one frame played", name,
                 (int)s->lastframe, (int)s->firstframe);
    s->lastframe = s->firstframe;
  }
  if (!r->ambientseen) {
    // LightWave's default: white at a quarter.
    s->ambientred = s->ambientgreen = s->ambientblue = 255;
    s->ambientintensity = 0.25f;
    adaptwarning("scene %s: no AmbientColor, white at intensity 0.25", name);
  }
  if (!r->cameraseen) {
    s->camera->zoomfactor = s->camera->zoomfactor > 0 ? s->camera->zoomfactor : 3.2f;
    adaptwarning("scene %s: no CameraMotion, the camera stands at the origin looking along +z", name);
  }
  for (int32_t i = 0; i < s->numobjects; i++) {
    LwsObject *o = &s->objects[i];
    o->filled = 1;
    if (o->parentindex < -1 || o->parentindex >= s->numobjects || o->parentindex == i) {
      adaptwarning("scene %s, line %d: object %d's ParentObject %d names no other object; it has "
                   "no parent", name, (int)o->parentline, (int)i + 1, (int)o->parentindex + 1);
      o->parentindex = -1;
    }
  }
  // Cycles and crowded parents: the link that closes a cycle, or that would be a parent's
  // seventeenth child, is cut.
  int32_t *children = (int32_t *)calloc((size_t)s->numobjects + 1, sizeof(int32_t));
  for (int32_t i = 0; i < s->numobjects; i++) {
    LwsObject *o = &s->objects[i];
    int32_t p = o->parentindex;
    for (int32_t steps = 0; p >= 0; steps++) {
      if (p == i || steps > s->numobjects) {
        adaptwarning("scene %s, line %d: object %d would be its own ancestor; its ParentObject is "
                     "cut", name, (int)o->parentline, (int)i + 1);
        o->parentindex = -1;
        break;
      }
      p = s->objects[p].parentindex;
    }
    p = o->parentindex;
    if (p >= 0 && children != nullptr && ++children[p] > maxchildren) {
      adaptwarning("scene %s, line %d: object %d would be child %d of object %d (at most %d); it "
                   "has no parent", name, (int)o->parentline, (int)i + 1, (int)children[p],
                   (int)p + 1, maxchildren);
      o->parentindex = -1;
    }
  }
  free(children);
  for (int32_t i = 0; i < s->numlights; i++) {
    LwsLight *l = &s->lights[i];
    if (!l->filled) adaptwarning("scene %s, line %d: light %d has no LightColor, white", name,
                                 (int)l->line, (int)i + 1);
    l->filled = 1;
  }
  for (int32_t i = 0; i < s->numsfxobjects; i++) {
    LwsSfxObject *x = &s->sfxobjects[i];
    if (!x->filled)
      adaptwarning("scene %s, line %d: effect %d has no SfxType, drawn as a plain mesh", name,
                   (int)x->line, (int)i + 1);
    x->filled = 1;
  }
  s->camera->filled = 1;
  if (r->solidbackdrop > 0) s->backdrop = r->backdrop;
  // Items without a motion block stand still at the origin: one key at frame 0.
  auto still = [&](LwsMotion *m, const char *kind, int32_t index, int32_t line) {
    if (m->numkeys > 0) return 1;
    m->keys = (MotionKey *)malloc(sizeof(MotionKey));
    if (m->keys == nullptr) return 0;
    new (m->keys) MotionKey;
    for (int c = 6; c < 9; c++) m->keys[0].values[c] = 1.0f;
    m->numkeys = 1;
    m->endbehavior = 1;
    if (kind != nullptr)
      adaptwarning("scene %s, line %d: %s %d has no motion, it stands at the origin", name,
                   (int)line, kind, (int)index + 1);
    return 1;
  };
  int ok = 1;
  for (int32_t i = 0; i < s->numobjects; i++)
    ok &= still(&s->objects[i].motion, "object", i, s->objects[i].line);
  for (int32_t i = 0; i < s->numlights; i++)
    ok &= still(&s->lights[i].motion, "light", i, s->lights[i].line);
  for (int32_t i = 0; i < s->numsfxobjects; i++)
    ok &= still(&s->sfxobjects[i].motion, "effect", i, s->sfxobjects[i].line);
  ok &= still(&s->camera->motion, r->cameraseen ? "camera" : nullptr, 0, s->camera->line);
  return ok ? lwsok : lwskeysnomemory;
}

}  // namespace

LwsStatus readclassictext(const char *name, const char *text, size_t size, LwsScene **out) {
  *out = nullptr;
  Reader *r = (Reader *)malloc(sizeof(Reader));
  LwsScene *scene = (LwsScene *)malloc(sizeof(LwsScene));
  LwsCamera *camera = (LwsCamera *)malloc(sizeof(LwsCamera));
  if (r == nullptr || scene == nullptr || camera == nullptr) {
    free(r);
    free(scene);
    free(camera);
    return lwsnomemory;
  }
  new (r) Reader;
  r->text = Text{name, text, size};
  r->scene = scene;
  new (scene) LwsScene;
  new (camera) LwsCamera;
  scene->camera = camera;
  // LightWave's defaults for a new scene: frames 1 to 60 at 30 per second, a camera zoom
  // of 3.2 (a 34-degree field of view).
  scene->firstframe = 1;
  scene->lastframe = 60;
  camera->zoomfactor = 3.2f;
  camera->targetindex = -1;

  Text *t = &r->text;
  if (size >= 3 && memcmp(text, "\xEF\xBB\xBF", 3) == 0) {
    t->pos = 3;
    adaptwarning("scene %s: a byte-order mark before LWSC left out", name);
  }
  Line l;
  LwsStatus status = lwsok;
  if (!nextline(t, &l) || !is(l, "LWSC")) {
    status = lwsnotscene;
  } else {
    // The version may stand on the LWSC line or on the next.
    double version = 1;
    const char *p = l.rest;
    if (!parsenumber(&p, l.rest + l.restlen, &version)) {
      Text at = *t;
      const char *q = nullptr;
      if (!nextline(t, &l) || (q = l.keyword, !parsenumber(&q, l.keyword + l.keywordlen, &version))) {
        *t = at;
        version = 1;
      }
    }
    if (version >= 2) {
      FILE *log = errorlog != nullptr ? errorlog : stderr;
      fprintf(log, "Scene %s refused: LWSC version %d, a layout of LightWave 6 and later (one "
                   "envelope per channel); classic scenes are version 1\n",
              name, (int)clampint(version));
      status = lwsrefused;
    }
  }
  while (status == lwsok && nextline(t, &l)) status = readline(r, l);
  if (status == lwsok) status = complete(r);
  free(r);
  if (status != lwsok) {
    freelws(scene);
    return status;
  }
  *out = scene;
  return lwsok;
}

LwsStatus readclassicfile(const char *filename, LwsScene **out) {
  return readscenefile(filename, out, readclassictext);
}
