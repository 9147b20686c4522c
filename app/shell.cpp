// The window shell on SDL2: the main window with its start-up text, the key queue fed
// from window events, the message poll between frames, and the error box.
#include <SDL2/SDL.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include <unistd.h>

#include "app/app.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"

KeyQueue keyqueue;

// The main window, recorded only once creation is complete: a move reported while the
// window is being created must not end the run.
static SDL_Window *mainwindow = nullptr;
static int videoopen = 0;
// Set once standard error has been told why the error box could not be shown.
static int boxfailurereported = 0;

// The scripted key: the code and the number of frames the card must have shown.
static int32_t scriptedcode = -1;
static uint64_t scriptedframes = 0;

// A termination signal (terminationsignal) is turned into a close once, at the next poll, so
// the run ends through the normal path and the log is complete.
static int stopkeyput = 0;

void putkey(int32_t code) {
  const int32_t next = (keyqueue.writepos + 1) % 256;
  // A full ring would make write and read positions equal again and lose every
  // pending key; the newest code is dropped instead.
  if (next == keyqueue.readpos) return;
  keyqueue.codes[keyqueue.writepos] = code;
  keyqueue.writepos = next;
}

static int keyispending(void) { return keyqueue.writepos != keyqueue.readpos; }

// ---- Start-up text ----

// A 5 x 8 bitmap font of our own, covering the start-up text; bit 4 is the left column,
// row 7 holds descenders. Characters not listed draw as blanks.
struct Glyph {
  char character;
  uint8_t rows[8];
};

static const Glyph glyphs[] = {
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10, 0x00}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11, 0x00}},
    {'a', {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F, 0x00}},
    {'c', {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E, 0x00}},
    {'e', {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E, 0x00}},
    {'i', {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E, 0x00}},
    {'n', {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00}},
    {'o', {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E, 0x00}},
    {'r', {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10, 0x00}},
    {'s', {0x00, 0x00, 0x0F, 0x10, 0x0E, 0x01, 0x1E, 0x00}},
    {'t', {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06, 0x00}},
    {'u', {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D, 0x00}},
    {'y', {0x00, 0x00, 0x11, 0x11, 0x11, 0x0F, 0x01, 0x0E}},
    {'!', {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04, 0x00}},
};

constexpr int glyphwidth = 5;
constexpr int glyphheight = 8;
constexpr int glyphadvance = 6;  // one blank column between characters
constexpr int mainwindowwidth = 272;
constexpr int mainwindowheight = 288;
static const char startuptext[] = "Press any Key to continue!";

static const Glyph *findglyph(char c) {
  for (const Glyph &g : glyphs)
    if (g.character == c) return &g;
  return nullptr;
}

// Black client area, the text in cyan centred horizontally with its top edge at the
// middle, as the start-up screen always looked.
static void drawstartuptext(SDL_Window *window) {
  if (window == nullptr) return;
  SDL_Surface *surface = SDL_GetWindowSurface(window);
  if (surface == nullptr) return;
  SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
  const Uint32 cyan = SDL_MapRGB(surface->format, 0, 255, 255);
  const int length = (int)strlen(startuptext);
  const int textwidth = length * glyphadvance - 1;
  const int left = surface->w / 2 - textwidth / 2;
  const int top = surface->h / 2;
  for (int i = 0; i < length; i++) {
    const Glyph *g = findglyph(startuptext[i]);
    if (g == nullptr) continue;
    for (int row = 0; row < glyphheight; row++)
      for (int col = 0; col < glyphwidth; col++) {
        if (!(g->rows[row] & (0x10 >> col))) continue;
        SDL_Rect pixel{left + i * glyphadvance + col, top + row, 1, 1};
        SDL_FillRect(surface, &pixel, cyan);
      }
  }
  SDL_UpdateWindowSurface(window);
}

// ---- Window procedure ----

static Uint32 eventwindowid(const SDL_Event *event) {
  switch (event->type) {
    case SDL_WINDOWEVENT: return event->window.windowID;
    case SDL_KEYDOWN:
    case SDL_KEYUP: return event->key.windowID;
    case SDL_TEXTINPUT: return event->text.windowID;
    case SDL_TEXTEDITING: return event->edit.windowID;
    case SDL_MOUSEMOTION: return event->motion.windowID;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: return event->button.windowID;
    case SDL_MOUSEWHEEL: return event->wheel.windowID;
    default: return 0;
  }
}

// The character a key-down gives where the text event gives none: the control
// characters a Windows keyboard produced for these keys (Escape 27, Enter 13, Tab 9,
// Backspace 8, Ctrl+letter 1 to 26). Keys with Alt held gave system characters, which
// never stopped the presentation; arrows and function keys give none. -1 for none.
static int32_t keydowncharacter(const SDL_KeyboardEvent *key) {
  const Uint16 mod = key->keysym.mod;
  if (mod & KMOD_LALT) return -1;
  switch (key->keysym.sym) {
    case SDLK_ESCAPE: return 27;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return 13;
    case SDLK_TAB: return 9;
    case SDLK_BACKSPACE: return 8;
    default: break;
  }
  if ((mod & KMOD_CTRL) && key->keysym.sym >= SDLK_a && key->keysym.sym <= SDLK_z)
    return key->keysym.sym - SDLK_a + 1;
  return -1;
}

static void postclose(SDL_Window *window) {
  SDL_Event close;
  memset(&close, 0, sizeof(close));
  close.type = SDL_WINDOWEVENT;
  close.window.windowID = SDL_GetWindowID(window);
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  close.window.timestamp = SDL_GetTicks();
  SDL_PushEvent(&close);
}

int mainwindowproc(const SDL_Event *event) {
  const Uint32 window = eventwindowid(event);
  const Uint32 mainid = mainwindow != nullptr ? SDL_GetWindowID(mainwindow) : 0;
  // The card's window is the card's: it takes what it needs (Alt+Enter, resizing,
  // repainting); its keys and its close are ours, as for the main window.
  const Uint32 cardid = cardwindowid();
  if (cardid != 0 && window == cardid && cardhandleevent(event)) return 0;

  switch (event->type) {
    case SDL_QUIT:
      putkey('q');
      return 0;
    case SDL_TEXTINPUT: {
      // One event may carry several characters; each byte below 128 is one. Bytes of
      // 128 and above belong to characters beyond ASCII, which never stop.
      if (SDL_GetModState() & KMOD_LALT) return 0;
      for (const char *c = event->text.text; *c != 0; c++)
        if ((unsigned char)*c < 128) putkey((unsigned char)*c);
      return 0;
    }
    case SDL_KEYDOWN: {
      const int32_t code = keydowncharacter(&event->key);
      if (code >= 0) putkey(code);
      return 0;
    }
    case SDL_WINDOWEVENT:
      switch (event->window.event) {
        case SDL_WINDOWEVENT_CLOSE:
          putkey('q');
          if (mainid != 0 && window == mainid) {
            SDL_DestroyWindow(mainwindow);
            mainwindow = nullptr;
          }
          return 0;
        case SDL_WINDOWEVENT_MOVED:
          // Posted to the recorded window: while it is being created there is none yet,
          // and the move is lost.
          if (mainid != 0 && window == mainid) postclose(mainwindow);
          return 0;
        case SDL_WINDOWEVENT_EXPOSED:
          if (mainid != 0 && window == mainid) {
            drawstartuptext(mainwindow);
            return 1;
          }
          return 0;
        default: return 0;
      }
    default: return 0;
  }
}

// ---- Main window ----

// Only async-signal-safe calls here: the first signal is recorded for the loading
// checks and the key poll; a second one ends the process at once, removing any
// half-written output file first.
static void onstopsignal(int signal) {
  if (terminationsignal != 0) {
    cardremovetemporaries();
    _exit(128 + signal);
  }
  terminationsignal = signal;
}

int createmainwindow(void) {
  // Ctrl+C, termination and a hang-up stop loading at once (exit code 128 + the signal)
  // and end the presentation as a close does, so the statistics are written and every
  // captured frame is finished.
  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = onstopsignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");

  if (!cardwindowed()) return 1;

  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
  videoopen = 1;
  SDL_Window *window = SDL_CreateWindow("Glide Test", SDL_WINDOWPOS_UNDEFINED,
                                        SDL_WINDOWPOS_UNDEFINED, mainwindowwidth,
                                        mainwindowheight, SDL_WINDOW_SHOWN);
  if (window == nullptr) return 0;
  SDL_ShowCursor(SDL_DISABLE);
  // A plain framebuffer: an accelerated one would make SDL recreate the window for
  // OpenGL, a second window with its own placement and moves.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  drawstartuptext(window);
  // The events of creation go through the window procedure while no window is recorded,
  // so their moves post nothing. A window manager places and frames the window before
  // it is first exposed; up to half a second is allowed for that, then whatever else
  // has arrived is taken as part of the creation too.
  SDL_Event event;
  const Uint32 start = SDL_GetTicks();
  int exposed = 0;
  while (!exposed && SDL_GetTicks() - start < 500) {
    if (!SDL_WaitEventTimeout(&event, 50)) continue;
    exposed = event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_EXPOSED &&
              event.window.windowID == SDL_GetWindowID(window);
    mainwindowproc(&event);
  }
  while (SDL_PollEvent(&event)) mainwindowproc(&event);
  mainwindow = window;
  drawstartuptext(window);
  return 1;
}

void destroymainwindow(void) {
  if (mainwindow != nullptr) SDL_DestroyWindow(mainwindow);
  mainwindow = nullptr;
  if (videoopen) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  videoopen = 0;
}

// ---- Key poll ----

int setupscriptedkey(void) {
  scriptedcode = -1;
  const char *value = getenv("LWDEMO_KEY");
  if (value == nullptr || value[0] == 0) return 1;
  char *end = nullptr;
  const unsigned long long frames = strtoull(value, &end, 10);
  int32_t code = -1;
  if (end != value && value[0] >= '0' && value[0] <= '9' && *end == ':') {
    const char *c = end + 1;
    if (c[0] == '#' && c[1] >= '0' && c[1] <= '9') {
      char *codeend = nullptr;
      const long n = strtol(c + 1, &codeend, 10);
      if (*codeend == 0 && n >= 0 && n < 128) code = (int32_t)n;
    } else if (c[0] != 0 && c[1] == 0 && (unsigned char)c[0] < 128) {
      code = (unsigned char)c[0];
    }
  }
  if (code < 0) {
    fprintf(stderr, "LWDEMO_KEY \"%s\" ignored: expected <frames>:<character> or "
                    "<frames>:#<code below 128>\n", value);
    return 0;
  }
  scriptedcode = code;
  scriptedframes = frames;
  return 1;
}

int keypending(void) {
  if (terminationsignal != 0 && !stopkeyput) {
    stopkeyput = 1;
    putkey('q');
  }
  if (scriptedcode >= 0) {
    CardStats stats;
    cardgetstats(&stats);
    if (stats.framesshown >= scriptedframes) {
      putkey(scriptedcode);
      scriptedcode = -1;
    }
  }
  if (keyispending()) return 1;
  if (!videoopen) return 0;
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    mainwindowproc(&event);
    if (keyispending()) return 1;
  }
  return 0;
}

// ---- Error box and command line ----

int errorbox(const char *text) {
  if (videoopen) {
    if (SDL_ShowSimpleMessageBox(0, "Error", text, mainwindow) == 0) return 1;
    // With a window but no box (no font, no dialog support) the text would otherwise
    // arrive on standard error with nothing to say why no box came up.
    if (!boxfailurereported) {
      fprintf(stderr, "The error box cannot be shown (%s): its messages go to standard error\n",
              SDL_GetError());
      boxfailurereported = 1;
    }
  }
  // Without a screen the text goes to standard error and the run goes on at once.
  fprintf(stderr, "%s\n", text);
  fflush(stderr);
  return 1;
}

char **parsecommandline(char *commandline, int *argc) {
  static char buffer[1024];
  // 32 entries: the name and 31 words; one more keeps the vector null-terminated.
  static char *argv[33];
  static char name[] = "RodIred";
  memset(argv, 0, sizeof(argv));
  argv[0] = name;
  *argc = 1;
  if (commandline == nullptr) return argv;

  size_t length = 0;
  while (length < 1022 && commandline[length] != 0) length++;
  memcpy(buffer, commandline, length);
  buffer[length] = 0;

  char *p = buffer;
  int words = 0;
  while (words < 31) {
    while (*p == ' ') p++;
    if (*p == 0) break;
    argv[1 + words++] = p;
    while (*p != ' ' && *p != 0) p++;
    if (*p == 0) break;
    *p++ = 0;
  }
  *argc = 1 + words;
  return argv;
}
