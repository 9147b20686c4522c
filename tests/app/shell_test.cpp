#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app.h"
#include "testutil.h"

namespace {

class Shell : public ::testing::Test {
 protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    unsetenv("LWDEMO_KEY");
    setupscriptedkey();
    memset(&keyqueue, 0, sizeof(keyqueue));
  }
};

int pendingcount() { return (keyqueue.writepos - keyqueue.readpos + 256) % 256; }

SDL_Event keydown(SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
  SDL_Event e{};
  e.type = SDL_KEYDOWN;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event text(const char *s) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  strncpy(e.text.text, s, sizeof(e.text.text) - 1);
  return e;
}

SDL_Event windowevent(Uint8 which) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = which;
  e.window.windowID = 7;
  return e;
}

// What one event puts into the queue, as the list of codes.
std::string codesof(const SDL_Event &e) {
  memset(&keyqueue, 0, sizeof(keyqueue));
  mainwindowproc(&e);
  std::string out;
  for (int i = keyqueue.readpos; i != keyqueue.writepos; i = (i + 1) % 256)
    out += (char)keyqueue.codes[i];
  return out;
}

// Characters below 128 stop, others do not; printable keys arrive as text events, so
// their key-downs put nothing twice; Alt+Enter is full screen. Closes put 'q'; a move
// while no main window is recorded (as while it is being created) puts nothing.
TEST_F(Shell, EachEventPutsItsCharacters) {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  const struct {
    SDL_Event event;
    const char *codes;
  } cases[] = {{text("a"), "a"}, {text(" "), " "}, {text("xy"), "xy"}, {text("\xc3\xa9"), ""},
               {keydown(SDLK_ESCAPE), "\x1b"}, {keydown(SDLK_RETURN), "\r"},
               {keydown(SDLK_KP_ENTER), "\r"}, {keydown(SDLK_TAB), "\t"},
               {keydown(SDLK_BACKSPACE), "\b"}, {keydown(SDLK_c, KMOD_LCTRL), "\x03"},
               {keydown(SDLK_a), ""}, {keydown(SDLK_LEFT), ""}, {keydown(SDLK_F1), ""},
               {keydown(SDLK_RETURN, KMOD_LALT), ""}, {windowevent(SDL_WINDOWEVENT_CLOSE), "q"},
               {quit, "q"}, {windowevent(SDL_WINDOWEVENT_MOVED), ""},
               {windowevent(SDL_WINDOWEVENT_FOCUS_GAINED), ""}};
  for (size_t i = 0; i < std::size(cases); i++) EXPECT_EQ(codesof(cases[i].event), cases[i].codes) << i;
}

// A full ring keeps its keys rather than wrapping back to empty.
TEST_F(Shell, AFullKeyRingKeepsItsKeys) {
  putkey('x');
  for (int i = 0; i < 300; i++) putkey('k');
  EXPECT_EQ(pendingcount(), 255);
  EXPECT_EQ(keypending(), 1);
  EXPECT_EQ(keyqueue.codes[0], 'x');
}

// The code a scripted key puts, 0 for none yet, -1 for a value refused with a message. A
// lone # is the character itself; the card has shown no frames in this process, so a key
// after a million frames is not there yet.
TEST_F(Shell, ScriptedKeysArriveOnceTheFramesHaveBeenShownOrAreRefused) {
  const struct {
    const char *value;
    int code;
  } cases[] = {{"0:z", 'z'},   {"0:#27", 27},  {"0:#", '#'},   {"1000000:q", 0}, {"q", -1},
               {"10", -1},     {"10:", -1},    {"10:qq", -1},  {"-1:q", -1},     {":q", -1},
               {"10:#200", -1}, {"10:#27x", -1}, {"x10:q", -1}, {"10:\xc3\xa9", -1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    memset(&keyqueue, 0, sizeof(keyqueue));
    setenv("LWDEMO_KEY", c.value, 1);
    const std::string said = stderrof([&] { EXPECT_EQ(setupscriptedkey(), c.code >= 0); });
    EXPECT_EQ(said.find("LWDEMO_KEY") != std::string::npos, c.code < 0) << said;
    EXPECT_EQ(keypending(), c.code > 0);
    EXPECT_EQ(pendingcount(), c.code > 0);
    EXPECT_EQ(keyqueue.codes[0], std::max(c.code, 0));
  }
}

// The words after the program's name, joined by '|'.
std::string words(const std::string &line) {
  std::string copy = line, out;
  int argc = -1;
  char **argv = parsecommandline(line == "(none)" ? nullptr : copy.data(), &argc);
  EXPECT_STREQ(argv[0], "RodIred");
  EXPECT_EQ(argv[argc], nullptr);
  for (int i = 1; i < argc; i++) out.append(i > 1 ? "|" : "").append(argv[i]);
  EXPECT_EQ(copy, line);  // the caller's text is copied, not cut
  return out;
}

// Split at spaces only, at most 31 words of the first 1022 characters.
TEST(CommandLine, SplitsAtSpacesOnlyWithinItsLimits) {
  std::string many, cut;
  for (int i = 0; i < 40; i++) many.append("w").append(std::to_string(i)).append(" ");
  for (int i = 0; i < 31; i++) cut.append(i ? "|w" : "w").append(std::to_string(i));
  std::string longword(1010, 'a'), longline = longword;
  longline.append(" bbbbbbbbbbbbbbbbbbbb");
  const struct {
    std::string line, words;
  } cases[] = {{"(none)", ""},
               {"   ", ""},
               {"a  b", "a|b"},
               {" \"x y\"\tz ", "\"x|y\"\tz"},
               {many, cut},
               {longline, longword.append("|bbbbbbbbbbb")}};
  for (const auto &c : cases) EXPECT_EQ(words(c.line), c.words) << c.line;
}

}  // namespace
