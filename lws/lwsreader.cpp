// The LightWave scene reader.
//
// The file is read as words the way formatted input reads them ("%s\n", "%d\n",
// "%f\n"): a word is a run of non-space bytes and every item takes the spaces behind it,
// so the end-of-file indicator is set by the read of the last word itself. Line
// structure is never looked at; the line count kept here is only for messages. The whole
// file is held in memory, so remembering and returning to a position (the look-aheads of
// the object and camera sections, the counting passes) is an index and a line number.
#include "lws/lwsreader.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "display/display.h"
#include "platform/platform.h"

// Every item read by formatted input may fill at most this many items of a scene: the
// counts are stored as unsigned 16-bit values.
constexpr int lwsmaxitems = 65535;

// The shortest key the reader accepts: 14 numbers of one byte each, with a space after
// every one but the last. Bounds a key count by the bytes that are left.
constexpr size_t lwsminkeybytes = 28;

static int isspacebyte(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static FILE *lwslog() { return errorlog != nullptr ? errorlog : stderr; }

// Consumes spaces; reaching the end sets eof.
static void skipspace(LwsInput *in) {
  while (in->pos < in->size && isspacebyte((unsigned char)in->text[in->pos])) {
    if (in->text[in->pos] == '\n') in->line++;
    in->pos++;
  }
  if (in->pos >= in->size) in->eof = 1;
}

// One word into wordbuffer, cut to its capacity; 0 (buffer emptied) when no word is left.
static int readword(LwsInput *in, int *wascut = nullptr) {
  skipspace(in);
  if (in->pos >= in->size) {
    in->wordbuffer[0] = 0;
    return 0;
  }
  in->wordline = in->line;
  size_t n = 0;
  int cut = 0;
  while (in->pos < in->size && !isspacebyte((unsigned char)in->text[in->pos])) {
    if (n < sizeof(in->wordbuffer) - 1)
      in->wordbuffer[n++] = in->text[in->pos];
    else
      cut = 1;
    in->pos++;
  }
  in->wordbuffer[n] = 0;
  if (wascut != nullptr) *wascut = cut;
  skipspace(in);
  return 1;
}

static int wordis(const LwsInput *in, const char *keyword) {
  return strcmp(in->wordbuffer, keyword) == 0;
}

static int isdigitbyte(char c) { return c >= '0' && c <= '9'; }

// Keeps the first number that does not fit its field, from start to the end of its word;
// returns 0 as the failed read does.
static int notefit(LwsInput *in, size_t start) {
  if (in->overflowline == 0) {
    in->overflowline = in->line;
    size_t n = 0;
    while (start + n < in->size && n < sizeof in->overflowtext - 1 &&
           !isspacebyte((unsigned char)in->text[start + n]))
      n++;
    memcpy(in->overflowtext, in->text + start, n);
    in->overflowtext[n] = 0;
  }
  return 0;
}

// "%d": an optional sign and at least one digit; the value must fit 32 bits. On failure
// nothing is consumed but the leading spaces, and *value is unchanged.
static int readint(LwsInput *in, int32_t *value, int trailingspace = 1) {
  skipspace(in);
  size_t p = in->pos;
  int negative = 0;
  if (p < in->size && (in->text[p] == '+' || in->text[p] == '-')) negative = in->text[p++] == '-';
  if (p >= in->size || !isdigitbyte(in->text[p])) return 0;
  int64_t v = 0;
  size_t start = in->pos;
  while (p < in->size && isdigitbyte(in->text[p])) {
    v = v * 10 + (in->text[p++] - '0');
    if (v > (int64_t)INT32_MAX + 1) return notefit(in, start);
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return notefit(in, start);
  *value = (int32_t)v;
  in->pos = p;
  if (trailingspace) skipspace(in);
  return 1;
}

// "%f" on decimal forms: sign, digits with an optional point, an optional exponent.
// Infinities, NaNs, hexadecimal forms and values that overflow a float do not parse;
// on failure *value is unchanged and only the leading spaces are consumed.
static int readreal(LwsInput *in, float *value) {
  skipspace(in);
  size_t start = in->pos, p = start;
  if (p < in->size && (in->text[p] == '+' || in->text[p] == '-')) p++;
  size_t digits = 0;
  while (p < in->size && isdigitbyte(in->text[p])) p++, digits++;
  if (p < in->size && in->text[p] == '.') {
    p++;
    while (p < in->size && isdigitbyte(in->text[p])) p++, digits++;
  }
  if (digits == 0) return 0;
  if (p < in->size && (in->text[p] == 'e' || in->text[p] == 'E')) {
    size_t q = p + 1;
    if (q < in->size && (in->text[q] == '+' || in->text[q] == '-')) q++;
    if (q < in->size && isdigitbyte(in->text[q])) {
      while (q < in->size && isdigitbyte(in->text[q])) q++;
      p = q;
    }
  }
  char number[512];
  if (p - start >= sizeof(number)) return 0;
  memcpy(number, in->text + start, p - start);
  number[p - start] = 0;
  errno = 0;
  float v = strtof(number, nullptr);
  if (!std::isfinite(v)) return notefit(in, start);
  *value = v;
  in->pos = p;
  skipspace(in);
  return 1;
}

static LwsInputPos getpos(const LwsInput *in) { return LwsInputPos{in->pos, in->line}; }

// As fsetpos: also clears the end-of-file indicator.
static void setpos(LwsInput *in, LwsInputPos at) {
  in->pos = at.pos;
  in->line = at.line;
  in->eof = 0;
}

int countkeyword(LwsInput *input, const char *keyword) {
  LwsInputPos at = getpos(input);
  int count = 0;
  while (readword(input))
    if (wordis(input, keyword)) count++;
  setpos(input, at);
  return count;
}

static void refuse(const LwsInput *in, int32_t line, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

static void refuse(const LwsInput *in, int32_t line, const char *format, ...) {
  FILE *log = lwslog();
  if (line > 0)
    fprintf(log, "Scene %s refused, line %d: ", in->name, (int)line);
  else
    fprintf(log, "Scene %s refused: ", in->name);
  va_list args;
  va_start(args, format);
  vfprintf(log, format, args);
  va_end(args);
  fputc('\n', log);
  // The same line on standard error when the log is a file, so that the exit it leads to
  // is explained where the user started the program.
  if (log != stderr) {
    char text[512];
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (line > 0)
      failcause("%s, line %d: %s", in->name, (int)line, text);
    else
      failcause("%s: %s", in->name, text);
  }
}

// Skips words until keyword or the end; 1 when the word now in the buffer is keyword.
static int skipuntil(LwsInput *in, const char *keyword) {
  do {
    readword(in);
  } while (!wordis(in, keyword) && !in->eof);
  return wordis(in, keyword);
}

static void freemotion(LwsMotion *motion) {
  free(motion->keys);
  motion->keys = nullptr;
  motion->numkeys = 0;
}

// The motion block after its keyword; what names the block and its item in messages.
static LwsStatus readmotion(LwsInput *in, LwsMotion *motion, const char *what) {
  int32_t line = in->wordline;
  freemotion(motion);
  readword(in);
  int32_t channels = 0, numkeys = 0;
  if (!readint(in, &channels)) {
    refuse(in, line, "%s: the channel count is not a number", what);
    return lwsrefused;
  }
  if (!readint(in, &numkeys)) {
    refuse(in, line, "%s: the key count is not a number", what);
    return lwsrefused;
  }
  if (numkeys <= 0) {
    refuse(in, line, "%s: key count %d, a motion needs at least one key", what, (int)numkeys);
    return lwsrefused;
  }
  if ((size_t)numkeys > (in->size - in->pos + 1) / lwsminkeybytes) {
    refuse(in, line, "%s: key count %d is more than the rest of the file holds", what,
           (int)numkeys);
    return lwsrefused;
  }
  MotionKey *keys = (MotionKey *)malloc(sizeof(MotionKey) * (size_t)numkeys);
  if (keys == nullptr) return lwskeysnomemory;
  for (int32_t k = 0; k < numkeys; k++) {
    MotionKey *key = new (&keys[k]) MotionKey;
    for (int c = 0; c < 9; c++) readreal(in, &key->values[c]);
    readint(in, &key->frame);
    readint(in, &key->linear);
    readreal(in, &key->tension);
    readreal(in, &key->continuity);
    readreal(in, &key->bias);
    // The spline's segment search walks forward and divides by segment lengths.
    if (k > 0 && key->frame <= keys[k - 1].frame) {
      refuse(in, line, "%s: key %d at frame %d does not follow frame %d", what, (int)k,
             (int)key->frame, (int)keys[k - 1].frame);
      free(keys);
      return lwsrefused;
    }
  }
  readword(in);
  readint(in, &motion->endbehavior);
  motion->keys = keys;
  motion->numkeys = numkeys;
  return lwsok;
}

// The next word as the file name of the kind's index-th entry (cut to the record's
// room); a word longer than the reader's buffer is refused.
static int readfilename(LwsInput *in, char *filename, const char *kind, int index,
                        int32_t line) {
  int cut = 0;
  readword(in, &cut);
  if (cut) {
    refuse(in, line, "%s %d: file name longer than %d characters", kind, index + 1,
           lwswordsize - 1);
    return 0;
  }
  size_t n = strlen(in->wordbuffer);
  if (n >= lwsfilenamesize) n = lwsfilenamesize - 1;
  memcpy(filename, in->wordbuffer, n);
  filename[n] = 0;
  return 1;
}

static LwsStatus readobject(LwsInput *in, LwsScene *scene, LwsObject *object, int index) {
  object->line = in->wordline;
  if (!readfilename(in, object->filename, "object", index, object->line)) return lwsrefused;
  char what[64];
  snprintf(what, sizeof(what), "ObjectMotion of object %d", index + 1);
  if (skipuntil(in, "ObjectMotion")) {
    LwsStatus status = readmotion(in, &object->motion, what);
    if (status != lwsok) return status;
    object->filled = 1;
  }

  // An object without its own "ParentObject" or "ShadowOptions" takes the first
  // "ParentObject" after it in the file: the search does not stop at the section's end.
  LwsInputPos at = getpos(in);
  object->parentindex = -1;
  do {
    readword(in);
  } while (!wordis(in, "ParentObject") && !wordis(in, "ShadowOptions") && !in->eof);
  if (wordis(in, "ParentObject")) {
    int32_t parent = 0;
    object->parentline = in->wordline;
    if (readint(in, &parent)) {
      if (parent < 1 || parent > scene->numobjects) {
        refuse(in, object->parentline, "object %d: ParentObject %d is outside the %d objects",
               index + 1, (int)parent, (int)scene->numobjects);
        return lwsrefused;
      }
      object->parentindex = parent - 1;
    }
  }
  setpos(in, at);
  return lwsok;
}

static LwsStatus readsfxobject(LwsInput *in, LwsSfxObject *sfx, int index) {
  sfx->line = in->wordline;
  if (!readfilename(in, sfx->filename, "effect", index, sfx->line)) return lwsrefused;
  char what[64];
  snprintf(what, sizeof(what), "SfxObjectMotion of effect %d", index + 1);
  int hasmotion = 0;
  if (skipuntil(in, "SfxObjectMotion")) {
    LwsStatus status = readmotion(in, &sfx->motion, what);
    if (status != lwsok) return status;
    hasmotion = 1;
  }
  int hastype = 0;
  if (skipuntil(in, "SfxType")) {
    int32_t typeline = in->wordline;
    readint(in, &sfx->sfxtype);
    readword(in);
    readint(in, &sfx->rangestart);
    readword(in);
    readint(in, &sfx->rangeend);
    readword(in);
    readreal(in, &sfx->quadwidth);
    readword(in);
    readreal(in, &sfx->quadheight);
    readword(in);
    int32_t numparticles = 0;
    int countread = readint(in, &numparticles);
    readword(in);
    readreal(in, &sfx->lifetime);
    readword(in);
    // The colours are read as "%d %d %d": no spaces are taken after the third.
    for (int c = 0; c < 3; c++) readint(in, &sfx->birthcolor[c], c < 2);
    readword(in);
    for (int c = 0; c < 3; c++) readint(in, &sfx->deathcolor[c], c < 2);
    readword(in);
    readreal(in, &sfx->starttrans);
    readword(in);
    readreal(in, &sfx->endtrans);
    readword(in);
    readreal(in, &sfx->randfactor);
    if (!countread || numparticles < 0) {
      refuse(in, typeline, "effect %d: the particle count is not a count", index + 1);
      return lwsrefused;
    }
    sfx->numparticles = numparticles;
    hastype = 1;
  }
  FILE *log = lwslog();
  fprintf(log, "type:%d\n", (int)sfx->sfxtype);
  fprintf(log, "num particles:%d\n", (int)sfx->numparticles);
  fprintf(log, "w:%f, h:%f\n", sfx->quadwidth, sfx->quadheight);
  fprintf(log, "ftime: %f\n", sfx->lifetime);
  fprintf(log, "start: %d, end %d\n", (int)sfx->rangestart, (int)sfx->rangeend);
  fprintf(log, "starttrans %f end:%f\n", sfx->starttrans, sfx->endtrans);
  sfx->filled = hasmotion && hastype;
  return lwsok;
}

static LwsStatus readlight(LwsInput *in, LwsLight *light, int index) {
  light->line = in->wordline;
  char what[64];
  snprintf(what, sizeof(what), "LightMotion of light %d", index + 1);
  int hasmotion = 0;
  if (skipuntil(in, "LightMotion")) {
    LwsStatus status = readmotion(in, &light->motion, what);
    if (status != lwsok) return status;
    hasmotion = 1;
  }
  int hascolor = 0;
  if (skipuntil(in, "LightColor")) {
    readint(in, &light->red);
    readint(in, &light->green);
    readint(in, &light->blue);
    readword(in);
    readreal(in, &light->intensity);
    readword(in);
    readint(in, &light->lighttype);
    printf("type: %d\n", (int)light->lighttype);
    hascolor = 1;
  }
  light->falloffon = 0;
  light->lensflare = 0;
  do {
    readword(in);
  } while (!wordis(in, "LensFlare") && !wordis(in, "LightFalloff") && !wordis(in, "ShadowType") &&
           !in->eof);
  if (wordis(in, "LightFalloff")) {
    readint(in, &light->falloffon);
    readword(in);
    readreal(in, &light->falloffrange);
  } else if (wordis(in, "LensFlare")) {
    readint(in, &light->lensflare);
    fputs("lensflare", lwslog());
  }
  light->filled = hasmotion && hascolor;
  return lwsok;
}

static LwsStatus readcamera(LwsInput *in, LwsCamera *camera) {
  camera->line = in->wordline;
  camera->filled = 0;
  if (skipuntil(in, "CameraMotion")) {
    LwsStatus status = readmotion(in, &camera->motion, "CameraMotion");
    if (status != lwsok) return status;
    camera->filled = 1;
  }
  LwsInputPos at = getpos(in);
  camera->targetindex = -1;
  camera->zoomfactor = 1.0f;
  int32_t zoomline = 0;
  do {
    readword(in);
    if (wordis(in, "TargetObject")) {
      int32_t target = 0;
      // A value below 1 names no object; values beyond the object list are kept: the
      // playback loop aims those at the last effect position.
      if (readint(in, &target)) camera->targetindex = target >= 1 ? target - 1 : -1;
    } else if (wordis(in, "ZoomFactor")) {
      zoomline = in->wordline;
      readreal(in, &camera->zoomfactor);
    }
  } while (!wordis(in, "SolidBackDrop") && !in->eof);
  setpos(in, at);
  // The field of view is 2 atan(1 / zoom): no zoom at or below 0 gives a usable one.
  if (!(camera->zoomfactor > 0)) {
    refuse(in, zoomline, "ZoomFactor %f is not above 0", camera->zoomfactor);
    return lwsrefused;
  }
  return lwsok;
}

static void freescene(LwsScene *scene) {
  if (scene == nullptr) return;
  for (int i = 0; scene->objects != nullptr && i < scene->numobjects; i++)
    freemotion(&scene->objects[i].motion);
  for (int i = 0; scene->sfxobjects != nullptr && i < scene->numsfxobjects; i++)
    freemotion(&scene->sfxobjects[i].motion);
  for (int i = 0; scene->lights != nullptr && i < scene->numlights; i++) {
    freemotion(&scene->lights[i].motion);
    freemotion(&scene->lights[i].intensityenvelope);
  }
  if (scene->camera != nullptr) {
    freemotion(&scene->camera->motion);
    freemotion(&scene->camera->zoomenvelope);
  }
  free(scene->objects);
  free(scene->sfxobjects);
  free(scene->lights);
  free(scene->camera);
  free(scene);
}

void freelws(LwsScene *lws) { freescene(lws); }

template <typename T>
static T *allocentries(int n) {
  T *entries = (T *)malloc(sizeof(T) * (size_t)(n > 0 ? n : 1));
  if (entries == nullptr) return nullptr;
  for (int i = 0; i < n; i++) new (&entries[i]) T;
  return entries;
}

ParentProblem checkparentlinks(const LwsObject *objects, int n) {
  ParentProblem problem;
  int *children = (int *)calloc((size_t)(n > 0 ? n : 1), sizeof(int));
  if (children == nullptr) {
    problem.rule = parentnomemory;
    return problem;
  }
  for (int i = 0; i < n && problem.rule == parentsok; i++) {
    const int p = objects[i].parentindex;
    if (p < -1 || p >= n) {
      problem = ParentProblem{parentoutside, i, p, 0};
    } else if (p >= 0 && ++children[p] > maxchildren) {
      problem = ParentProblem{parentchildren, i, p, children[p]};
    }
  }
  free(children);
  for (int i = 0; i < n && problem.rule == parentsok; i++) {
    for (int steps = 0, p = objects[i].parentindex; p >= 0; steps++, p = objects[p].parentindex) {
      if (steps >= n || p == i) {
        problem = ParentProblem{parentcycle, i, objects[i].parentindex, 0};
        break;
      }
    }
  }
  return problem;
}

// Parents were checked against the list when read; here the child counts and cycles.
static LwsStatus checkparents(const LwsInput *in, const LwsScene *scene) {
  const ParentProblem problem = checkparentlinks(scene->objects, scene->numobjects);
  const int i = problem.object;
  switch (problem.rule) {
    case parentsok:
      return lwsok;
    case parentnomemory:
      return lwsnomemory;
    case parentoutside:
      refuse(in, scene->objects[i].parentline, "object %d: ParentObject %d is outside the %d objects",
             i + 1, problem.parent + 1, (int)scene->numobjects);
      break;
    case parentchildren:
      refuse(in, scene->objects[i].parentline,
             "object %d would be child %d of object %d; an object has at most %d children",
             i + 1, problem.children, problem.parent + 1, maxchildren);
      break;
    case parentcycle:
      refuse(in, scene->objects[i].parentline, "object %d is its own ancestor (ParentObject cycle)",
             i + 1);
      break;
  }
  return lwsrefused;
}

static LwsStatus checkfilled(const LwsInput *in, const LwsScene *scene, int cameraseen) {
  for (int i = 0; i < scene->numobjects; i++) {
    const LwsObject *o = &scene->objects[i];
    if (o->line == 0) {
      refuse(in, 0, "object %d of %d: its LoadObject or AddNullObject word stands where the "
             "reader takes a value, so the section was never read", i + 1, (int)scene->numobjects);
      return lwsrefused;
    }
    if (!o->filled) {
      refuse(in, o->line, "object %d (%s): no ObjectMotion block follows it", i + 1, o->filename);
      return lwsrefused;
    }
  }
  for (int i = 0; i < scene->numsfxobjects; i++) {
    const LwsSfxObject *s = &scene->sfxobjects[i];
    if (s->line == 0) {
      refuse(in, 0, "effect %d of %d: its LoadSfxObject word stands where the reader takes a "
             "value, so the section was never read", i + 1, (int)scene->numsfxobjects);
      return lwsrefused;
    }
    if (!s->filled) {
      refuse(in, s->line, "effect %d (%s): no SfxObjectMotion block or no SfxType values follow it",
             i + 1, s->filename);
      return lwsrefused;
    }
  }
  for (int i = 0; i < scene->numlights; i++) {
    const LwsLight *l = &scene->lights[i];
    if (l->line == 0) {
      refuse(in, 0, "light %d of %d: its AddLight word stands where the reader takes a value, "
             "so the section was never read", i + 1, (int)scene->numlights);
      return lwsrefused;
    }
    if (!l->filled) {
      refuse(in, l->line, "light %d: no LightMotion block or no LightColor values follow it", i + 1);
      return lwsrefused;
    }
  }
  if (!cameraseen) {
    refuse(in, 0, "no ShowCamera section");
    return lwsrefused;
  }
  if (!scene->camera->filled) {
    refuse(in, scene->camera->line, "no CameraMotion block follows ShowCamera");
    return lwsrefused;
  }
  return lwsok;
}

static int istoplevel(const LwsInput *in) {
  static const char *const keywords[] = {"FirstFrame", "LoadObject", "AddNullObject", "LoadSfxObject",
                                         "AmbientColor", "AddLight", "ShowCamera"};
  for (const char *k : keywords)
    if (wordis(in, k)) return 1;
  return 0;
}

static LwsStatus readbody(LwsInput *in, LwsScene *scene) {
  int nobjects = 0, nsfx = 0, nlights = 0;
  int frameseen = 0, ambientseen = 0, cameraseen = 0;
  LwsStatus status = lwsok;

  readword(in);
  for (;;) {
    if (!istoplevel(in) && !in->eof) {
      readword(in);
      continue;
    }
    if (wordis(in, "FirstFrame")) {
      int32_t line = in->wordline;
      frameseen = 1;
      readint(in, &scene->firstframe);
      readword(in);
      readint(in, &scene->lastframe);
      readword(in);
      readint(in, &scene->framestep);
      readword(in);
      // A header of three values (LightWave 4) gives its next keyword to this skip: that
      // section is lost, and the file is refused below for a counted section never read.
      if (!readreal(in, &scene->framespersecond))
        fprintf(lwslog(), "Scene %s, line %d: no frame rate after FirstFrame (\"%s\" stands in its "
                "place), %f frames per second\n",
                in->name, (int)line, in->wordbuffer, scene->framespersecond);
    } else if (wordis(in, "LoadSfxObject")) {
      if (nsfx >= scene->numsfxobjects) {
        refuse(in, in->wordline, "more LoadSfxObject sections than counted");
        return lwsrefused;
      }
      status = readsfxobject(in, &scene->sfxobjects[nsfx], nsfx);
      if (status != lwsok) return status;
      nsfx++;
    } else if (wordis(in, "LoadObject") || wordis(in, "AddNullObject")) {
      if (nobjects >= scene->numobjects) {
        refuse(in, in->wordline, "more object sections than counted");
        return lwsrefused;
      }
      status = readobject(in, scene, &scene->objects[nobjects], nobjects);
      if (status != lwsok) return status;
      nobjects++;
    } else if (wordis(in, "AmbientColor")) {
      ambientseen = 1;
      readint(in, &scene->ambientred);
      readint(in, &scene->ambientgreen);
      readint(in, &scene->ambientblue);
      readword(in);
      readreal(in, &scene->ambientintensity);
    } else if (wordis(in, "AddLight")) {
      if (nlights >= scene->numlights) {
        refuse(in, in->wordline, "more AddLight sections than counted");
        return lwsrefused;
      }
      status = readlight(in, &scene->lights[nlights], nlights);
      if (status != lwsok) return status;
      nlights++;
    } else if (wordis(in, "ShowCamera")) {
      cameraseen = 1;
      status = readcamera(in, scene->camera);
      if (status != lwsok) return status;
    }
    if (in->eof) break;
    readword(in);
  }

  if (in->overflowline > 0) {
    refuse(in, in->overflowline, "%s does not fit its field (whole numbers take 32 bits, "
           "others a float)", in->overflowtext);
    return lwsrefused;
  }
  status = checkfilled(in, scene, cameraseen);
  if (status != lwsok) return status;
  status = checkparents(in, scene);
  if (status != lwsok) return status;
  if (!frameseen)
    fprintf(lwslog(), "Scene %s: no FirstFrame, frames %d to %d at %f frames per second\n", in->name,
            (int)scene->firstframe, (int)scene->lastframe, scene->framespersecond);
  if (!ambientseen)
    fprintf(lwslog(), "Scene %s: no AmbientColor, black at intensity 0\n", in->name);
  return lwsok;
}

LwsStatus readlwstext(const char *name, const char *text, size_t size, LwsScene **out) {
  *out = nullptr;
  LwsInput *in = (LwsInput *)malloc(sizeof(LwsInput));
  LwsScene *scene = (LwsScene *)malloc(sizeof(LwsScene));
  if (in == nullptr || scene == nullptr) {
    free(in);
    free(scene);
    return lwsnomemory;
  }
  new (in) LwsInput;
  new (scene) LwsScene;
  in->name = name;
  in->text = text;
  in->size = size;

  readword(in);
  if (!wordis(in, "LWSC")) {
    free(in);
    free(scene);
    return lwsnotscene;
  }
  // Versions 2 and later keep one envelope per channel (LightWave 6 and after); this
  // reader would take their channel headers for key counts.
  {
    LwsInputPos at = getpos(in);
    int32_t version = 0;
    if (readint(in, &version) && version >= 2) {
      refuse(in, 1, "LWSC version %d; only version 1 scenes are read", (int)version);
      free(in);
      free(scene);
      return lwsrefused;
    }
    setpos(in, at);
  }

  printf("\nBasic Scene Info:\n");
  int numobjects = countkeyword(in, "LoadObject") + countkeyword(in, "AddNullObject");
  printf("NumObjects= %d\n", numobjects);
  int numlights = countkeyword(in, "AddLight");
  printf("NumLights= %d\n", numlights);
  int numsfx = countkeyword(in, "LoadSfxObject");
  printf("NumSfxObjects= %d\n", numsfx);

  LwsStatus status = lwsok;
  if (numobjects > lwsmaxitems || numlights > lwsmaxitems || numsfx > lwsmaxitems) {
    refuse(in, 0, "%d objects, %d lights, %d effects; a scene holds at most %d of each", numobjects,
           numlights, numsfx, lwsmaxitems);
    status = lwsrefused;
  } else {
    scene->numobjects = numobjects;
    scene->numlights = numlights;
    scene->numsfxobjects = numsfx;
    scene->objects = allocentries<LwsObject>(numobjects);
    if (numsfx > 0) scene->sfxobjects = allocentries<LwsSfxObject>(numsfx);
    scene->lights = allocentries<LwsLight>(numlights);
    scene->camera = allocentries<LwsCamera>(1);
    if (scene->objects == nullptr || (numsfx > 0 && scene->sfxobjects == nullptr) ||
        scene->lights == nullptr || scene->camera == nullptr)
      status = lwsnomemory;
  }
  if (status == lwsok) status = readbody(in, scene);
  free(in);
  if (status != lwsok) {
    freescene(scene);
    return status;
  }
  *out = scene;
  return lwsok;
}

LwsStatus readscenefile(const char *filename, LwsScene **out, SceneTextReader readtext) {
  *out = nullptr;
  int64_t size = 0;
  FILE *f = openinput(filename, maxscenebytes, &size);
  if (f == nullptr) return lwsnotopen;
  char *text = readinput(f, size);
  if (text == nullptr) return lwsnotopen;
  LwsStatus status = readtext(filename, text, (size_t)size, out);
  free(text);
  return status;
}

LwsStatus readlwsfile(const char *filename, LwsScene **out) {
  return readscenefile(filename, out, readlwstext);
}

void lwsreport(LwsStatus status, const char *filename) {
  switch (status) {
    case lwsnotopen:
      puts(filename);
      puts(": Error Couldnt Open File!!");
      failcause("%s: %s", filename, inputfailure());
      break;
    case lwsnotscene:
      puts("File is not a lws scene!!!");
      failcause("%s: not a scene: it does not begin with LWSC", filename);
      exit(12);
    case lwsnomemory:
      puts("Memory Allocation Failed!!!");
      failcause("%s: no memory for the scene's records", filename);
      exit(2);
    case lwskeysnomemory:
      fputs("Memory Allocation Failed!!!", stderr);
      fputc('\n', stderr);  // the fixed message has no line feed of its own
      failcause("%s: no memory for the keys of a motion", filename);
      exit(2);
    case lwsscenenomemory:
      puts("Memory Allocation Failed!!");
      failcause("%s: no memory for the scene", filename);
      exit(12);
    default:
      break;
  }
}

LwsScene *readlws(const char *filename) {
  LwsScene *scene = nullptr;
  LwsStatus status = readlwsfile(filename, &scene);
  lwsreport(status, filename);
  return scene;
}
