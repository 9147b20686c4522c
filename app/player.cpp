// lwplay: one scene of anyone's classic content, played in the card's window at its own
// frame rate, looped, stepped, or rendered headless to PNG frames or a video.
//
// It shares the loader, motion, pipeline, display and card with lwdemo; what is its own
// is the command line, tolerant loading switched on, the frame pacing at the scene's rate,
// the keys, the PNG frames and the progress line. The scene's folder becomes the working
// folder, as lwdemo's working folder holds its scenes, so that the names a scene gives
// (objects, "textures\") are found where they were made to be.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <strings.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "app/app.h"
#include "display/display.h"
#include "lws/lwsreader.h"
#include "pipeline/pipeline.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"
#include "sfx/sfx.h"

namespace {

const char usage[] =
    "usage: lwplay [options] SCENE.lws\n"
    "Plays a LightWave 3.x-5.x scene (.lws with its .lwo objects) on the software card.\n"
    "\n"
    "  --once          play the frames once, then exit (default: loop until a key or a close)\n"
    "  --from F        first frame to play (default: the scene's FirstFrame)\n"
    "  --to F          last frame to play (default: the scene's LastFrame)\n"
    "  --fps R         frames per second (default: the scene's FramesPerSecond)\n"
    "  --render OUT    render every frame headless and as fast as possible: to the folder OUT\n"
    "                  as frame000001.png, ..., or to OUT.mp4 when the card writes video\n"
    "  --info          print what the scene holds and what was adapted, then exit\n"
    "  --log FILE      write the system's log and the warnings to FILE\n"
    "  --help          this text\n"
    "\n"
    "Keys while playing: Space pauses, Left/Right step a frame while paused, Home restarts,\n"
    "any other key or closing the window ends. The card's LWDEMO_* variables apply.\n"
    "\n"
    "Exit codes: 0 done, 1 bad command line, 2 the scene cannot be read or played,\n"
    "3 no card, the log or the textures cannot be opened, 4 frames cannot be written,\n"
    "130 stopped by a signal while rendering.\n";

volatile sig_atomic_t stopsignal = 0;
void onsignal(int) { stopsignal = 1; }

int parseint(const char *text, int32_t *value) {
  char *end = nullptr;
  errno = 0;
  long long v = strtoll(text, &end, 10);
  if (end == text || *end != 0 || errno != 0 || v < INT32_MIN || v > INT32_MAX) return 0;
  *value = (int32_t)v;
  return 1;
}

std::string absolutepath(const char *path) {
  if (path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

int endswith(const char *text, const char *tail) {
  size_t a = strlen(text), b = strlen(tail);
  return a >= b && strcasecmp(text + a - b, tail) == 0;
}

int makefolder(const std::string &path) {
  std::string part;
  for (size_t i = 0; i <= path.size(); i++) {
    if (i == path.size() || (path[i] == '/' && i > 0)) {
      part = path.substr(0, i);
      struct stat st;
      if (stat(part.c_str(), &st) != 0 && mkdir(part.c_str(), 0777) != 0) return 0;
    }
  }
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(path.c_str(), W_OK) == 0;
}

// ---- PNG frames, written by workers while the next frames are drawn ----

// Up to one worker per core beside the drawing one (at least one, at most maxwriters).
// Worker j writes slots j and j + workers in turn, the drawing side fills the slots in
// order and waits only when the next one is still taken, so frames go out in order per
// worker and compression runs beside the drawing: on the show's frames a PNG takes
// longer than the frame it holds.
constexpr int maxwriters = 4;

struct FrameWriter {
  std::string folder;
  int workers = 0;
  int slots = 0;  // 2 * workers
  uint16_t *frame[2 * maxwriters] = {};  // the card's 565 pixels, scanned out by a worker
  uint8_t *rgb[maxwriters] = {};
  int32_t number[2 * maxwriters] = {};
  int full[2 * maxwriters] = {};
  int next = 0;
  int stop = 0;
  int failed = 0;
  std::string failure;
  std::mutex lock;
  std::condition_variable changed;
  std::thread worker[maxwriters];
};

void writerloop(FrameWriter *w, int index) {
  int slot = index;
  for (;;) {
    {
      std::unique_lock<std::mutex> hold(w->lock);
      w->changed.wait(hold, [&] { return w->full[slot] || w->stop; });
      if (!w->full[slot]) return;
    }
    char name[64];
    snprintf(name, sizeof name, "/frame%06d.png", (int)w->number[slot]);
    std::string path = w->folder + name;
    cardscanout(w->frame[slot], w->rgb[index]);
    // Whole or absent, as writepng writes every file.
    int ok = writepng(path.c_str(), w->rgb[index], cardwidth, cardheight, 3, 1);
    {
      std::lock_guard<std::mutex> hold(w->lock);
      if (!ok && !w->failed) {
        w->failed = 1;
        w->failure = path + ": " + strerror(errno);
      }
      w->full[slot] = 0;
    }
    w->changed.notify_all();
    slot = (slot + w->workers) % w->slots;
  }
}

int startwriter(FrameWriter *w, const std::string &folder) {
  w->folder = folder;
  unsigned cores = std::thread::hardware_concurrency();
  w->workers = cores > 1 ? (int)cores - 1 : 1;
  if (w->workers > maxwriters) w->workers = maxwriters;
  w->slots = 2 * w->workers;
  for (int i = 0; i < w->slots; i++) {
    w->frame[i] = (uint16_t *)malloc((size_t)cardwidth * cardheight * 2);
    if (w->frame[i] == nullptr) return 0;
  }
  for (int i = 0; i < w->workers; i++) {
    w->rgb[i] = (uint8_t *)malloc((size_t)cardwidth * cardheight * 3);
    if (w->rgb[i] == nullptr) return 0;
  }
  for (int i = 0; i < w->workers; i++) w->worker[i] = std::thread(writerloop, w, i);
  return 1;
}

// Hands the card's back buffer (the frame just drawn) to the writers; 0 once a write failed.
int writeframe(FrameWriter *w, int32_t number) {
  int slot = w->next;
  {
    std::unique_lock<std::mutex> hold(w->lock);
    w->changed.wait(hold, [&] { return !w->full[slot] || w->failed; });
    if (w->failed) return 0;
  }
  memcpy(w->frame[slot], cardbackbuffer(), (size_t)cardwidth * cardheight * 2);
  {
    std::lock_guard<std::mutex> hold(w->lock);
    w->number[slot] = number;
    w->full[slot] = 1;
  }
  w->changed.notify_all();
  w->next = (slot + 1) % w->slots;
  return 1;
}

// Waits for the frames handed over; 1 when every one was written.
int stopwriter(FrameWriter *w) {
  {
    std::lock_guard<std::mutex> hold(w->lock);
    w->stop = 1;
  }
  w->changed.notify_all();
  for (std::thread &t : w->worker)
    if (t.joinable()) t.join();
  for (uint16_t *b : w->frame) free(b);
  for (uint8_t *b : w->rgb) free(b);
  return !w->failed;
}

// ---- Loading ----

struct Loaded {
  Scene *scene = nullptr;
  std::string warnings;  // "warning: ..." lines
  int numwarnings = 0;
  std::string loadlog;   // what the loader wrote to the log and standard output
};

std::string filecontents(FILE *f) {
  std::string text;
  fflush(f);
  rewind(f);
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  return text;
}

// A texture whose 3DF is missing or unreadable leaves the table, and the surfaces that
// used it draw in their colour: each one warning.
void droptextures(Scene *scene) {
  int32_t remap[maxtextures];
  int32_t kept = 0;
  int32_t count = texturenametable.texturecount;
  for (int32_t i = 0; i < count; i++) {
    char path[texturenamesize];
    memcpy(path, texturenametable.texturenames[i], texturenamesize);
    path[texturenamesize - 1] = 0;
    Gu3dfInfo info{};
    if (texturepath(path, "textures\\", "3df") && gu3dfGetInfo(path, &info)) {
      if (kept != i) memcpy(texturenametable.texturenames[kept], texturenametable.texturenames[i], texturenamesize);
      remap[i] = kept++;
    } else {
      adaptwarning("texture %s: %s cannot be read; its surfaces are drawn in their colour",
                   texturenametable.texturenames[i], path);
      remap[i] = -1;
    }
  }
  texturenametable.texturecount = kept;
  if (kept == count) return;
  auto fix = [&](SceneObject *o) {
    for (int32_t s = 0; o != nullptr && s < o->numsurfaces; s++) {
      MeshSurface &m = o->surfaces[s];
      if (m.texture != 0xFFFF) m.texture = m.texture < count && remap[m.texture] >= 0 ? (uint16_t)remap[m.texture] : 0xFFFF;
      if (m.refltexture != 0xFFFF)
        m.refltexture = m.refltexture < count && remap[m.refltexture] >= 0 ? (uint16_t)remap[m.refltexture] : 0xFFFF;
    }
  };
  for (int i = 0; i < scene->numobjects; i++) fix(scene->objects[i]);
  for (int i = 0; i < scene->numsfxobjects; i++) fix(scene->sfxobjects[i]->mesh);
}

// Loads the scene file (a name in the working folder) with tolerant loading, the
// standard output of the loader and its log caught in loadlog and the warnings in
// warnings. The status of the load.
LwsStatus loadplayerscene(const char *filename, Loaded *out) {
  FILE *log = tmpfile();
  char *warningtext = nullptr;
  size_t warningsize = 0;
  FILE *warnings = open_memstream(&warningtext, &warningsize);
  if (log == nullptr || warnings == nullptr) {
    if (log) fclose(log);
    if (warnings) fclose(warnings);
    return lwsnomemory;
  }
  FILE *oldlog = errorlog;
  FILE *oldwarnings = warninglog;
  errorlog = log;
  warninglog = warnings;
  fflush(stdout);
  int savedout = dup(1);
  if (savedout >= 0) dup2(fileno(log), 1);

  texturenametable.texturecount = 0;
  LwsStatus status = loadscenecore(filename, 1.0, &out->scene);
  if (status == lwsok) droptextures(out->scene);

  fflush(stdout);
  if (savedout >= 0) {
    dup2(savedout, 1);
    close(savedout);
  }
  errorlog = oldlog;
  warninglog = oldwarnings;
  fclose(warnings);
  out->warnings.assign(warningtext != nullptr ? warningtext : "", warningsize);
  free(warningtext);
  for (char c : out->warnings) out->numwarnings += c == '\n';
  out->loadlog = filecontents(log);
  fclose(log);
  return status;
}

// The loader's last words about a failed load: its last line that is not progress.
std::string lastcause(const std::string &log) {
  std::string best;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (line.find("refused") != std::string::npos || line.find(" : ") != std::string::npos ||
        line.find("Error") != std::string::npos || line.find("rror") != std::string::npos)
      best = line;
    start = end + 1;
  }
  return best;
}

// ---- --info ----

void printinfo(FILE *to, const char *scenefile, const Scene *scene, const Loaded &loaded,
               const PlayerOptions &o) {
  fprintf(to, "scene: %s\n", scenefile);
  double fps = o.fps > 0 ? o.fps : scene->framespersecond;
  int32_t from = o.hasfrom ? o.from : scene->firstframe, to_ = o.hasto ? o.to : scene->lastframe;
  fprintf(to, "frames: %d to %d at %g frames per second (%.2f s)\n", (int)from, (int)to_, fps,
          ((double)to_ - from + 1) / fps);
  // The file again, for names: the loader keeps none.
  LwsScene *lws = nullptr;
  FILE *quiet = warninglog;
  warninglog = fopen("/dev/null", "w");
  if (readclassicfile(scenefile, &lws) != lwsok) lws = nullptr;
  if (warninglog != nullptr) fclose(warninglog);
  warninglog = quiet;
  fprintf(to, "objects: %d\n", (int)scene->numobjects);
  for (int i = 0; i < scene->numobjects; i++) {
    const SceneObject *object = scene->objects[i];
    fprintf(to, "  %d ", i + 1);
    if (lws != nullptr && i < lws->numobjects) {
      const LwsObject &e = lws->objects[i];
      char path[4096];
      if (e.isnull)
        fprintf(to, "null %s", e.filename);
      else if (findobjectfile(e.filename, path, sizeof path))
        fprintf(to, "%s", path);
      else
        fprintf(to, "%s (not found: null)", e.filename);
      if (e.parentindex >= 0) fprintf(to, ", parent %d", (int)e.parentindex + 1);
    }
    fprintf(to, ": %d points, %d polygons, %d surfaces\n", (int)object->numverts,
            (int)object->numpolys, (int)object->numsurfaces);
  }
  if (scene->numsfxobjects > 0) fprintf(to, "effects: %d\n", (int)scene->numsfxobjects);
  fprintf(to, "lights: %d\n", (int)scene->numlights);
  for (int i = 0; i < scene->numlights; i++) {
    const SceneLight *light = scene->lights[i];
    fprintf(to, "  %d %s, colour %g %g %g", i + 1, light->isdistant ? "distant" : "point",
            (double)light->rgb[0], (double)light->rgb[1], (double)light->rgb[2]);
    if (lws != nullptr && i < lws->numlights)
      fprintf(to, ", intensity %g%s", (double)lws->lights[i].intensity,
              light->intensity.numkeys > 0 ? " (envelope)" : "");
    fputc('\n', to);
  }
  const SceneCamera *camera = scene->camera;
  fprintf(to, "camera: field of view %.1f degrees%s", (double)camera->fieldofview,
          camera->zoom.numkeys > 0 ? " (zoom envelope)" : "");
  if (camera->targetindex >= 0) fprintf(to, ", aimed at object %d", (int)camera->targetindex + 1);
  fputc('\n', to);
  fprintf(to, "ambient: %g %g %g at %g\n", (double)scene->ambientred, (double)scene->ambientgreen,
          (double)scene->ambientblue, (double)scene->ambientintensity);
  fprintf(to, "textures: %d\n", (int)texturenametable.texturecount);
  for (int i = 0; i < texturenametable.texturecount; i++)
    fprintf(to, "  %s\n", texturenametable.texturenames[i]);
  fprintf(to, "warnings: %d\n", loaded.numwarnings);
  fputs(loaded.warnings.c_str(), to);
  if (lws != nullptr) freelws(lws);
}

// ---- Playing ----

enum PlayerAction { noaction, quitaction, pauseaction, backaction, forwardaction, restartaction };

// Window events between frames: the card's own (resize, Alt+Enter) go to the card; keys
// and a close become actions.
PlayerAction pollwindow(int wait) {
  if (stopsignal) return quitaction;
  // The scripted key (LWDEMO_KEY) ends the run as any key does.
  if (keypending()) return quitaction;
  if (!cardwindowed()) {
    if (wait) SDL_Delay(20);
    return noaction;
  }
  SDL_Event e;
  int got = wait ? SDL_WaitEventTimeout(&e, 20) : SDL_PollEvent(&e);
  while (got) {
    if (!cardhandleevent(&e)) {
      if (e.type == SDL_QUIT || (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE))
        return quitaction;
      if (e.type == SDL_KEYDOWN) {
        switch (e.key.keysym.sym) {
          case SDLK_SPACE: if (!e.key.repeat) return pauseaction; break;
          case SDLK_LEFT: return backaction;
          case SDLK_RIGHT: return forwardaction;
          case SDLK_HOME: return restartaction;
          case SDLK_LSHIFT: case SDLK_RSHIFT: case SDLK_LCTRL: case SDLK_RCTRL: case SDLK_LALT:
          case SDLK_RALT: case SDLK_LGUI: case SDLK_RGUI: case SDLK_CAPSLOCK: case SDLK_NUMLOCKCLEAR:
            break;
          default:
            // Alt with a key belongs to the window manager and to the card (Alt+Enter).
            if (!(e.key.keysym.mod & KMOD_ALT) && !e.key.repeat) return quitaction;
        }
      }
    }
    got = SDL_PollEvent(&e);
  }
  return noaction;
}

void progressline(int32_t done, int32_t total, double seconds, int final) {
  double rate = seconds > 0 ? done / seconds : 0;
  double left = rate > 0 ? (total - done) / rate : 0;
  fprintf(stderr, "\rlwplay: frame %d of %d (%3d%%), %.1f frames/s, %d:%02d left ", (int)done,
          (int)total, (int)(100.0 * done / (total > 0 ? total : 1)), rate, (int)left / 60,
          (int)left % 60);
  if (final) fputc('\n', stderr);
  fflush(stderr);
}

double secondsnow(void) {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Moves the scene to frame and draws it; swaps after interval retraces.
void drawframe(Scene *scene, int32_t frame, int32_t interval, Vec3 *lastsfxposition) {
  currentframe = frame;
  movescene(scene, lastsfxposition);
  moveenvelopes(scene, (double)frame);
  swapinterval = interval;
  renderframe(scene);
}

}  // namespace

int parseplayeroptions(int argc, char **argv, PlayerOptions *o, char *error, size_t errorsize) {
  *o = PlayerOptions{};
  error[0] = 0;
  for (int i = 1; i < argc; i++) {
    const char *a = argv[i];
    auto value = [&](const char *name) -> const char * {
      if (i + 1 >= argc) {
        snprintf(error, errorsize, "%s needs a value", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
      o->help = 1;
    } else if (strcmp(a, "--once") == 0) {
      o->once = 1;
    } else if (strcmp(a, "--info") == 0) {
      o->info = 1;
    } else if (strcmp(a, "--from") == 0 || strcmp(a, "--to") == 0) {
      const char *v = value(a);
      if (v == nullptr) return 0;
      int32_t *f = a[2] == 'f' ? &o->from : &o->to;
      if (!parseint(v, f)) {
        snprintf(error, errorsize, "%s %s: not a frame number", a, v);
        return 0;
      }
      (a[2] == 'f' ? o->hasfrom : o->hasto) = 1;
    } else if (strcmp(a, "--fps") == 0) {
      const char *v = value(a);
      if (v == nullptr) return 0;
      char *end = nullptr;
      o->fps = strtod(v, &end);
      if (end == v || *end != 0 || !(o->fps > 0 && o->fps <= 1000)) {
        snprintf(error, errorsize, "--fps %s: not a rate above 0 and up to 1000", v);
        return 0;
      }
    } else if (strcmp(a, "--render") == 0 || strcmp(a, "--log") == 0) {
      const char *v = value(a);
      if (v == nullptr) return 0;
      if (v[0] == 0) {
        snprintf(error, errorsize, "%s needs a non-empty name", a);
        return 0;
      }
      (a[2] == 'r' ? o->render : o->log) = v;
    } else if (a[0] == '-' && a[1] != 0) {
      snprintf(error, errorsize, "unknown option %s", a);
      return 0;
    } else if (o->scene != nullptr) {
      snprintf(error, errorsize, "one scene at a time (%s and %s given)", o->scene, a);
      return 0;
    } else {
      o->scene = a;
    }
  }
  if (o->help) return 1;
  if (o->scene == nullptr) {
    snprintf(error, errorsize, "no scene given");
    return 0;
  }
  if (o->hasfrom && o->hasto && o->to < o->from) {
    snprintf(error, errorsize, "--to %d comes before --from %d", (int)o->to, (int)o->from);
    return 0;
  }
  return 1;
}

int runplayer(int argc, char **argv) {
  tolerantloading = 1;
  PlayerOptions o;
  char error[512];
  if (!parseplayeroptions(argc, argv, &o, error, sizeof error)) {
    fprintf(stderr, "lwplay: %s\nTry 'lwplay --help'.\n", error);
    return 1;
  }
  if (o.help) {
    fputs(usage, stdout);
    return 0;
  }

  // Everything named on the command line is taken from where the user stands, before the
  // scene's folder becomes the working folder.
  std::string logpath = o.log != nullptr ? absolutepath(o.log) : "";
  std::string renderpath = o.render != nullptr ? absolutepath(o.render) : "";
  while (renderpath.size() > 1 && renderpath.back() == '/') renderpath.pop_back();
  std::string scenepath = o.scene;
  struct stat st;
  if (stat(scenepath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(scenepath.c_str(), R_OK) != 0) {
    fprintf(stderr, "lwplay: cannot read the scene %s: %s\n", o.scene,
            stat(scenepath.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? "it is a folder" : strerror(errno ? errno : EACCES));
    return 2;
  }
  size_t slash = scenepath.rfind('/');
  std::string scenefile = slash == std::string::npos ? scenepath : scenepath.substr(slash + 1);
  if (slash != std::string::npos) {
    std::string folder = slash == 0 ? "/" : scenepath.substr(0, slash);
    if (chdir(folder.c_str()) != 0) {
      fprintf(stderr, "lwplay: cannot enter the scene's folder %s: %s\n", folder.c_str(), strerror(errno));
      return 2;
    }
  }

  FILE *logfile = nullptr;
  if (!logpath.empty()) {
    logfile = fopen(logpath.c_str(), "w");
    if (logfile == nullptr) {
      fprintf(stderr, "lwplay: cannot create the log %s: %s\n", logpath.c_str(), strerror(errno));
      return 3;
    }
  } else {
    logfile = fopen("/dev/null", "w");
  }

  static Screen playerscreen;
  playerscreen = Screen{};
  playerscreen.driver = 1;
  screen = &playerscreen;
  setviewport(0, 0, 640, 480);

  Loaded loaded;
  LwsStatus status = loadplayerscene(scenefile.c_str(), &loaded);
  if (logfile != nullptr) {
    fputs(loaded.loadlog.c_str(), logfile);
    fputs(loaded.warnings.c_str(), logfile);
    fflush(logfile);
  }
  errorlog = logfile;
  // Later warnings (none are expected while playing) go where the others went.
  warninglog = o.log != nullptr ? logfile : (o.info ? stdout : stderr);
  if (status != lwsok) {
    // The warnings tell what was adapted before the load gave up.
    fputs(loaded.warnings.c_str(), stderr);
    const char *why = status == lwsnotopen ? "it cannot be opened"
                      : status == lwsnotscene ? "it is not a LightWave scene (no LWSC at its start)"
                      : status == lwsrefused ? "the scene is refused"
                      : status == lwsnoobject ? "an object or a motion cannot be set up"
                                              : "out of memory";
    std::string cause = status == lwsnotopen ? inputfailure() : lastcause(loaded.loadlog);
    fprintf(stderr, "lwplay: cannot play %s: %s%s%s\n", o.scene, why, cause.empty() ? "" : ": ",
            cause.c_str());
    return 2;
  }
  Scene *scene = loaded.scene;

  if (o.info) {
    printinfo(stdout, scenefile.c_str(), scene, loaded, o);
    fflush(stdout);
    releasescene(scene);
    return 0;
  }
  if (o.log != nullptr) {
    if (loaded.numwarnings > 0)
      fprintf(stderr, "lwplay: %d warnings, in %s\n", loaded.numwarnings, logpath.c_str());
  } else {
    fputs(loaded.warnings.c_str(), stderr);
  }

  const double fps = o.fps > 0 ? o.fps : (scene->framespersecond > 0 ? scene->framespersecond : 30.0);
  const int32_t from = o.hasfrom ? o.from : scene->firstframe;
  const int32_t to = o.hasto ? o.to : scene->lastframe;
  if (to < from) {
    fprintf(stderr, "lwplay: frame %d comes before frame %d\n", (int)to, (int)from);
    releasescene(scene);
    return 1;
  }
  const int rendering = o.render != nullptr;
  const int video = rendering && endswith(renderpath.c_str(), ".mp4");
  FrameWriter writer;
  if (rendering) {
    // Headless and unpaced; the card writes the video itself, through its capture.
    setenv("LWDEMO_VIDEO", "headless", 1);
    setenv("LWDEMO_PACING", "off", 1);
    if (video) {
      setenv("LWDEMO_CAPTURE", renderpath.c_str(), 1);
    } else {
      if (!makefolder(renderpath)) {
        fprintf(stderr, "lwplay: cannot write frames into %s: %s\n", renderpath.c_str(), strerror(errno));
        releasescene(scene);
        return 4;
      }
      if (!startwriter(&writer, renderpath)) {
        fputs("lwplay: no memory for the frame writer\n", stderr);
        return 4;
      }
    }
  }

  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = onsignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  setupscriptedkey();

  if (!init3d(640, 480, 16, 1)) {
    fputs("lwplay: no card (init3d failed)\n", stderr);
    stopwriter(&writer);
    releasescene(scene);
    return 3;
  }
  if (scene->backdrop >= 0)
    setbackdropcolor(scene->backdrop >> 16 & 255, scene->backdrop >> 8 & 255, scene->backdrop & 255);
  else
    setbackdropcolor(0, 0, 0);
  clipplanecount = 6;
  if (!loadtextures()) {
    fputs("lwplay: the textures cannot be loaded (the log names the file)\n", stderr);
    stopwriter(&writer);
    return 3;
  }

  // Frame k after a (re)start is shown at retrace start + k * 59.94 / fps: the scene's own
  // rate on the card's clock, whatever the rate (lwdemo's one or two retraces a frame
  // only fit 60 and 30).
  const double retracesperframe = 59.94 / fps;
  const int32_t total = to - from + 1;
  int32_t frame = from;
  int64_t sincestart = 0;
  CardStats stats;
  cardgetstats(&stats);
  uint64_t startretrace = stats.retraces;
  Vec3 lastsfxposition{0, 0, 0};
  int paused = 0, redraw = 1, result = 0, drawn = 0;
  const int showprogress = rendering && isatty(2);
  const double started = secondsnow();
  double lastprogress = 0;

  for (;;) {
    PlayerAction action = rendering ? (stopsignal ? quitaction : noaction) : pollwindow(paused && !redraw);
    if (action == quitaction) {
      if (rendering) result = 130;
      break;
    }
    int restart = 0;
    if (action == pauseaction) paused = !paused, restart = 1;
    if (action == restartaction) frame = from, redraw = 1, restart = 1;
    if (paused && action == backaction) frame = frame > from ? frame - 1 : to, redraw = 1;
    if (paused && action == forwardaction) frame = frame < to ? frame + 1 : from, redraw = 1;
    if (restart) {
      cardgetstats(&stats);
      startretrace = stats.retraces;
      sincestart = 0;
    }
    if (paused && !redraw) continue;

    int32_t interval = 1;
    if (!rendering && !paused) {
      cardgetstats(&stats);
      int64_t due = (int64_t)startretrace + (int64_t)std::llround((double)(sincestart + 1) * retracesperframe);
      interval = due > (int64_t)stats.retraces ? (int32_t)(due - (int64_t)stats.retraces) : 1;
    }
    drawframe(scene, frame, interval, &lastsfxposition);
    drawn++;
    redraw = 0;
    if (rendering && !video && !writeframe(&writer, drawn)) break;
    if (showprogress && (secondsnow() - lastprogress > 0.1 || drawn == total)) {
      lastprogress = secondsnow();
      progressline(drawn, total, lastprogress - started, 0);
    }
    if (paused) continue;
    sincestart++;
    if (frame < to) {
      frame++;
    } else {
      if (o.once || rendering) break;
      frame = from;
      // The loop starts the effects afresh, as entering their range does.
      for (int i = 0; i < scene->numsfxobjects; i++) scene->sfxobjects[i]->restartpending = 1;
      lastsfxposition = Vec3{0, 0, 0};
    }
  }
  // The last frame drawn goes out to the window (and a video) with one more swap.
  grBufferSwap(1);
  if (showprogress) progressline(drawn, total, secondsnow() - started, 1);
  int written = stopwriter(&writer);
  shutdowndisplay();
  if (rendering && !written) {
    fprintf(stderr, "lwplay: frames cannot be written: %s\n", writer.failure.c_str());
    result = 4;
  } else if (rendering && result == 0) {
    fprintf(stderr, "lwplay: %d frames written to %s\n", drawn, renderpath.c_str());
  }
  if (errorlog != nullptr) fflush(errorlog);
  releasescene(scene);
  return result;
}
