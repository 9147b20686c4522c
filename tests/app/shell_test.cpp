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
  void SetUp() override {
    memset(&keyqueue, 0, sizeof(keyqueue));
    unsetenv("LWDEMO_KEY");
    setupscriptedkey();
  }
  void TearDown() override {
    unsetenv("LWDEMO_KEY");
    setupscriptedkey();
    memset(&keyqueue, 0, sizeof(keyqueue));
  }
};

int pendingcount() { return (keyqueue.writepos - keyqueue.readpos + 256) % 256; }

SDL_Event keydown(SDL_Keycode sym, Uint16 mod = KMOD_NONE) {
  SDL_Event e;
  memset(&e, 0, sizeof(e));
  e.type = SDL_KEYDOWN;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  return e;
}

SDL_Event text(const char *s) {
  SDL_Event e;
  memset(&e, 0, sizeof(e));
  e.type = SDL_TEXTINPUT;
  strncpy(e.text.text, s, sizeof(e.text.text) - 1);
  return e;
}

SDL_Event windowevent(Uint8 which) {
  SDL_Event e;
  memset(&e, 0, sizeof(e));
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

TEST_F(Shell, CharactersBelow128StopAndOthersDoNot) {
  EXPECT_EQ(codesof(text("a")), "a");
  EXPECT_EQ(codesof(text(" ")), " ");
  EXPECT_EQ(codesof(text("xy")), "xy");
  EXPECT_EQ(codesof(text("\xc3\xa9")), "");  // e acute: two bytes of 128 and above
  EXPECT_EQ(codesof(keydown(SDLK_ESCAPE)), "\x1b");
  EXPECT_EQ(codesof(keydown(SDLK_RETURN)), "\r");
  EXPECT_EQ(codesof(keydown(SDLK_KP_ENTER)), "\r");
  EXPECT_EQ(codesof(keydown(SDLK_TAB)), "\t");
  EXPECT_EQ(codesof(keydown(SDLK_BACKSPACE)), "\b");
  EXPECT_EQ(codesof(keydown(SDLK_c, KMOD_LCTRL)), "\x03");
  // Printable keys arrive as text events; their key-downs put nothing twice.
  EXPECT_EQ(codesof(keydown(SDLK_a)), "");
  EXPECT_EQ(codesof(keydown(SDLK_LEFT)), "");
  EXPECT_EQ(codesof(keydown(SDLK_F1)), "");
  EXPECT_EQ(codesof(keydown(SDLK_RETURN, KMOD_LALT)), "");  // Alt+Enter: full screen
}

TEST_F(Shell, ClosesPutQAndMovesDuringCreationPostNothing) {
  EXPECT_EQ(codesof(windowevent(SDL_WINDOWEVENT_CLOSE)), "q");
  SDL_Event quit;
  memset(&quit, 0, sizeof(quit));
  quit.type = SDL_QUIT;
  EXPECT_EQ(codesof(quit), "q");
  // No main window is recorded here, as while it is being created.
  EXPECT_EQ(codesof(windowevent(SDL_WINDOWEVENT_MOVED)), "");
  EXPECT_EQ(codesof(windowevent(SDL_WINDOWEVENT_FOCUS_GAINED)), "");
}

TEST_F(Shell, AKeyStaysPendingForTheRestOfTheRun) {
  EXPECT_EQ(keypending(), 0);
  putkey('x');
  for (int i = 0; i < 5; i++) EXPECT_EQ(keypending(), 1);
  // A full ring keeps its keys rather than wrapping back to empty.
  for (int i = 0; i < 300; i++) putkey('k');
  EXPECT_EQ(pendingcount(), 255);
  EXPECT_EQ(keypending(), 1);
  EXPECT_EQ(keyqueue.codes[0], 'x');
}

TEST_F(Shell, ScriptedKeyArrivesOnceTheFramesHaveBeenShown) {
  // A lone # is the character itself; the card has shown no frames in this process, so
  // a key after a million frames is not there yet.
  const struct {
    const char *value;
    int pending, code;
  } cases[] = {{"0:z", 1, 'z'}, {"0:#27", 1, 27}, {"0:#", 1, '#'}, {"1000000:q", 0, 0}};
  for (const auto &c : cases) {
    memset(&keyqueue, 0, sizeof(keyqueue));
    setenv("LWDEMO_KEY", c.value, 1);
    ASSERT_EQ(setupscriptedkey(), 1) << c.value;
    EXPECT_EQ(keypending(), c.pending) << c.value;
    if (c.pending) {
      EXPECT_EQ(pendingcount(), 1);
      EXPECT_EQ(keyqueue.codes[0], c.code) << c.value;
    }
  }
}

TEST_F(Shell, MalformedScriptedKeysAreRefusedWithAMessage) {
  for (const char *bad : {"q", "10", "10:", "10:qq", "-1:q", ":q", "10:#200", "10:#27x",
                          "x10:q", "10:\xc3\xa9"}) {
    setenv("LWDEMO_KEY", bad, 1);
    EXPECT_NE(stderrof([&] { EXPECT_EQ(setupscriptedkey(), 0) << bad; }).find("LWDEMO_KEY"),
              std::string::npos);
    EXPECT_EQ(keypending(), 0) << bad;
  }
}

TEST_F(Shell, ErrorBoxWithoutAScreenWritesToStandardError) {
  EXPECT_EQ(stderrof([] { errorbox("Scene ok!"); }), "Scene ok!\n");
}

TEST(CommandLine, SplitsAtSpacesOnly) {
  int argc = -1;
  char **argv = parsecommandline(nullptr, &argc);
  EXPECT_EQ(argc, 1);
  EXPECT_STREQ(argv[0], "RodIred");

  char spaces[] = "   ";
  argv = parsecommandline(spaces, &argc);
  EXPECT_EQ(argc, 1);
  EXPECT_STREQ(argv[0], "RodIred");

  char two[] = "a  b";
  argv = parsecommandline(two, &argc);
  ASSERT_EQ(argc, 3);
  EXPECT_STREQ(argv[0], "RodIred");
  EXPECT_STREQ(argv[1], "a");
  EXPECT_STREQ(argv[2], "b");
  EXPECT_STREQ(two, "a  b");  // the caller's text is copied, not cut

  char tabs[] = " \"x y\"\tz ";
  argv = parsecommandline(tabs, &argc);
  ASSERT_EQ(argc, 3);
  EXPECT_STREQ(argv[1], "\"x");
  EXPECT_STREQ(argv[2], "y\"\tz");
}

TEST(CommandLine, KeepsAtMost31WordsAnd1022Characters) {
  std::string many;
  for (int i = 0; i < 40; i++) {
    many += 'w';
    many += std::to_string(i);
    many += ' ';
  }
  int argc = 0;
  char **argv = parsecommandline(many.data(), &argc);
  ASSERT_EQ(argc, 32);
  EXPECT_STREQ(argv[31], "w30");
  EXPECT_EQ(argv[32], nullptr);

  std::string longline(1010, 'a');
  longline += " bbbbbbbbbbbbbbbbbbbb";
  argv = parsecommandline(longline.data(), &argc);
  ASSERT_EQ(argc, 3);
  EXPECT_EQ(strlen(argv[1]), 1010u);
  EXPECT_STREQ(argv[2], "bbbbbbbbbbb");  // cut at character 1022
}

}  // namespace
