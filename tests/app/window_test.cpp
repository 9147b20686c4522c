// The shell on a private X server: the start-up window and its picture, the error box, a
// typed key or a moved window ending the presentation, and the F12 screenshot. A missing
// X server, X tool, ffmpeg (which reads the window dumps) or the error box's font fails
// the tests with the Debian package to install (lwdemo.sh installs them all).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/runner.h"
#include "app/scenes.h"
#include "golden.h"

namespace {

// The font of SDL's X11 message box, from the X core fonts.
const char *const boxfont = "-*-*-medium-r-normal--*-120-*-*-*-*-*-*";

class Window : public ::testing::Test {
 protected:
  void SetUp() override { start({}); }
  // Fails, naming the Debian package, for a missing program or a missing box font.
  void start(const std::vector<std::string> &serverargs) {
    const char *const needed[][2] = {{"Xvfb", "xvfb"}, {"xdotool", "xdotool"},
                                     {"xwininfo", "x11-utils"}, {"xlsfonts", "x11-utils"},
                                     {"xwd", "x11-apps"}, {"ffmpeg", "ffmpeg"}};
    for (const auto &n : needed)
      ASSERT_TRUE(haveprogram(n[0])) << n[0] << " is not installed: Debian package " << n[1];
    ASSERT_TRUE(startxserver(&server, serverargs)) << "Xvfb does not start";
    scratch = makefolder("xtools");
    if (serverargs.empty()) {
      ASSERT_NE(x("xlsfonts", {"-fn", boxfont}), "")
          << "no X core font " << boxfont << " for the error box: Debian package xfonts-base";
    }
  }
  void TearDown() override {
    if (lwdemo.pid > 0) finishprogram(&lwdemo, 0);
    stopxserver(&server);
  }

  // Standard output of an X tool on our server.
  std::string x(const std::string &tool, const std::vector<std::string> &args) {
    RunResult r = runprogram(std::string("/usr/bin/").append(tool), args, scratch, {{"DISPLAY", server.display}}, 3000);
    lasterror = r.err;
    return r.out;
  }

  // The id of the top-level window with that name, polling until it appears.
  std::string waitforwindow(const std::string &name) {
    std::string info;
    waituntil([&] { return (info = x("xwininfo", {"-name", name})).find("Window id: ") != std::string::npos; },
              4000, 20);
    const size_t at = info.find("Window id: ");
    return at == std::string::npos ? "" : info.substr(at + 11, info.find(' ', at + 11) - at - 11);
  }

  // Starts lwdemo on a long show on the server, the card in its window; the id of its
  // main window, "" when none appears.
  std::string startlwdemo(const Environment &more = {}) {
    folder = makefolder("run");
    EXPECT_TRUE(writeshow(folder, longshow()));
    Environment env{{"DISPLAY", server.display}, {"LWDEMO_VIDEO", "window"}, {"LWDEMO_PACING", "on"},
                    {"LWDEMO_KEY", ""}};
    env.insert(env.end(), more.begin(), more.end());
    lwdemo = ::startlwdemo(folder, env);
    return waitforwindow("Glide Test");
  }

  // The run ends by itself, cleanly, its statistics written.
  RunResult expectended() {
    RunResult r = finishprogram(&lwdemo, 4000);
    EXPECT_FALSE(r.timedout);
    EXPECT_EQ(r.exitcode, 0) << r.err;
    EXPECT_NE(r.out.find("Exiting winMain()"), std::string::npos);
    const std::string log = readfile(folder + "/error3d.txt");
    EXPECT_NE(log.find("Total Number of frames: 0\n"), std::string::npos) << log;
    return r;
  }

  // Dismisses "Scene ok!" and waits for the card's window, "lwdemo", whose id goes to card.
  void intoplayback() {
    const std::string box = waitforwindow("Error");
    ASSERT_NE(box, "") << "no error box";
    x("xdotool", {"windowfocus", "--sync", box, "key", "Return"});
    ASSERT_TRUE(waituntil([&] { return x("xwininfo", {"-name", "Error"}).find("Window id: ") == std::string::npos; },
                          4000, 20))
        << "the error box stays";
    card = waitforwindow("lwdemo");
    ASSERT_NE(card, "") << "the card's window does not appear";
  }

  // Still in the first scene: a run that ended by itself (say on a move reported while
  // the window was made) would have written its statistics.
  int stillplaying() {
    return kill(lwdemo.pid, 0) == 0 &&
           readfile(folder + "/error3d.txt").find("Okframes") == std::string::npos;
  }

  XServer server;
  std::string scratch, folder, card;
  std::string lasterror;  // standard error of the last X tool
  Child lwdemo;
};

// The start-up window: 272x288, black, the text in cyan centred horizontally with its
// top row at the middle, as its golden shows.
TEST_F(Window, ShowsItsTextThenAKeyEndsTheRun) {
  const std::string id = startlwdemo();
  ASSERT_NE(id, "") << "no window \"Glide Test\"";
  // The text is drawn just after the window appears: look until it is there.
  std::string rgb;
  waituntil([&] {
    writefile(scratch + "/window.xwd", x("xwd", {"-id", id, "-silent"}));
    rgb = runprogram("/usr/bin/ffmpeg", {"-v", "error", "-i", "window.xwd", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"},
                     scratch, {}, 5000).out;
    return rgb.find(std::string("\0\xff\xff", 3)) != std::string::npos;
  }, 3000);
  ASSERT_EQ(rgb.size(), 272u * 288 * 3) << lasterror;
  EXPECT_TRUE(matchesgolden(LWDEMO_SOURCE_DIR "/tests/app/golden/startup.png", (const uint8_t *)rgb.data(), 272, 288));

  intoplayback();
  ASSERT_TRUE(stillplaying());
  x("xdotool", {"windowfocus", "--sync", id, "key", "x"});
  expectended();
}

TEST_F(Window, MovingTheMainWindowEndsTheRun) {
  const std::string id = startlwdemo();
  ASSERT_NE(id, "");
  intoplayback();
  ASSERT_TRUE(stillplaying());
  x("xdotool", {"windowmove", "--sync", id, "10", "10"});
  expectended();
}

// A server with only its built-in fonts cannot show the box: standard error says why,
// once, before the first text that then goes there.
TEST_F(Window, WithoutTheBoxFontStandardErrorSaysWhyOnce) {
  stopxserver(&server);
  ASSERT_NO_FATAL_FAILURE(start({"-fp", "built-ins"}));
  folder = makefolder("run");
  ASSERT_TRUE(writeshow(folder, standardshow()));
  ASSERT_EQ(remove((folder + "/intro2.lws").c_str()), 0);
  RunResult r = runprogram(lwdemopath(), {}, folder,
                           {{"DISPLAY", server.display}, {"LWDEMO_VIDEO", "window"}}, 8000);
  EXPECT_EQ(r.exitcode, 2) << r.err;
  const std::string notice = "The error box cannot be shown (";
  EXPECT_EQ(r.err.find(notice), 0u) << r.err;
  EXPECT_EQ(r.err.find(notice, 1), std::string::npos) << r.err;
  const size_t ok = r.err.find("\nScene ok!\n"), failed = r.err.find("\nError:Couldnt load scene!!!\n");
  EXPECT_NE(ok, std::string::npos) << r.err;
  EXPECT_GT(failed, ok) << r.err;
}

TEST_F(Window, F12WritesTheShownFrameAndEscapeEndsTheRun) {
  ASSERT_NE(startlwdemo({{"LWDEMO_CAPTURE", "frames"}}), "");
  intoplayback();
  // Pressed again until a screenshot appears: a key sent while the new window is still
  // taking the focus goes to the start-up window, where F12 does nothing.
  std::string shot;
  int tick = 0;
  waituntil([&] {
    if (tick++ % 25 == 0) x("xdotool", {"windowfocus", "--sync", card, "key", "F12"});
    for (const auto &e : std::filesystem::directory_iterator(folder))
      if (e.path().filename().string().rfind("lwdemo-intro1-", 0) == 0) shot = e.path().filename();
    return !shot.empty();
  }, 4000, 20);
  ASSERT_EQ(shot.size(), std::string("lwdemo-intro1-000000.png").size()) << shot;
  ASSERT_TRUE(stillplaying());
  // Escape in the card's window ends the run.
  x("xdotool", {"windowfocus", "--sync", card, "key", "Escape"});
  const RunResult r = expectended();
  EXPECT_NE(r.out.find("screenshot " + shot + "\n"), std::string::npos) << r.out;
  // The same bytes as the captured frame of that number: one encoder, one frame.
  const std::string frame = "frame" + shot.substr(14, 6) + ".png";
  EXPECT_TRUE(readfile(folder + "/" + shot) == readfile(folder + "/frames/" + frame)) << frame;
}

}  // namespace
