// The generated show: read back by the system's own readers without a complaint, the same
// bytes on every run, and chosen frames against their goldens. The goldens pin the show's
// content: every face's side, every feature (falloff, additive and cut-out surfaces, the
// families, the texture formats and their levels) shows in them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/app.h"
#include "display/display.h"
#include "golden.h"
#include "pipeline/pipeline.h"
#include "lws/lws.h"
#include "platform/glide/glide.h"
#include "testutil.h"
#include "tools/show/show.h"

namespace fs = std::filesystem;

namespace {

const char *scenenames[3] = {"intro1.lws", "intro2.lws", "by.lws"};

// The show is generated once per test program into its own folder under the working
// folder (ctest runs the tests of this program side by side, each in its own process)
// and loaded from there as the driver loads it: all three scenes, each scene's texture
// names kept as the driver keeps them.
struct Show {
  std::string folder;
  int written = 0;
  Scene *scenes[3] = {nullptr, nullptr, nullptr};
  std::string log;
};

Show makeshow() {
  Show s;
  s.folder = std::string("show_") + testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(s.folder);
  s.written = writeshow(s.folder.c_str());
  InFolder in(s.folder);
  initscreen(640, 480, 16, 1);
  setviewport(0, 0, 640, 480);
  for (int i = 0; i < 3; i++) {
    s.scenes[i] = loadscene(scenenames[i], 1.0);
    if (s.scenes[i] != nullptr)
      memcpy(&s.scenes[i]->texturenames, &texturenametable, sizeof(TextureNameTable));
  }
  fflush(errorlog);
  s.log = readfile("error3d.txt");
  return s;
}

Show &show() {
  static Show s = makeshow();
  return s;
}

}  // namespace

TEST(Show, WritesEverySceneAndTheSameBytesAsTheBuild) {
  Show &s = show();
  ASSERT_EQ(s.written, 1);
  // The build generates the show into build/show with its own makeshow: every file there
  // must be byte for byte what this run wrote.
  fs::path built = fs::path(LWDEMO_BINARY_DIR) / "show";
  ASSERT_TRUE(fs::is_directory(built)) << built;
  int compared = 0;
  for (const auto &entry : fs::recursive_directory_iterator(s.folder)) {
    if (!entry.is_regular_file() || entry.path().filename() == "error3d.txt") continue;
    fs::path relative = fs::relative(entry.path(), s.folder);
    EXPECT_EQ(readfile(entry.path().string()), readfile((built / relative).string())) << relative;
    compared++;
  }
  EXPECT_GT(compared, 30);
}

TEST(Show, LoadsWithoutASingleLogComplaint) {
  Show &s = show();
  for (int i = 0; i < 3; i++) ASSERT_NE(s.scenes[i], nullptr) << scenenames[i];
  // Every line of the log must be one of the loader's routine notes (numbers as N).
  const std::set<std::string> routine = {
      "Init ok", "child: N, parent!!! N", "type:N", "num particles:N", "w:N, h:N",
      "ftime: N", "start: N, end N", "starttrans N end:N", "rand_fact N",
      "numsfx objects N, flarez N", "ld: N N N", ""};
  std::istringstream lines(s.log);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    // "laddet lws!" is written without a line break, so it starts the next line.
    while (line.rfind("laddet lws!", 0) == 0) line.erase(0, 11);
    std::string shape;
    for (char c : line)
      if (strchr("-0123456789.", c) == nullptr) shape += c;
      else if (shape.empty() || shape.back() != 'N') shape += 'N';
    EXPECT_TRUE(routine.count(shape)) << "log line: " << line;
    count++;
  }
  EXPECT_GT(count, 10);
}

TEST(Show, MakeshowExplainsItselfAndReportsAFolderItCannotMake) {
  std::string tool = std::string(LWDEMO_BINARY_DIR) + "/makeshow";
  EXPECT_EQ(system((tool + " --help >help.txt 2>&1").c_str()), 0);
  EXPECT_NE(readfile("help.txt").find("usage: makeshow <folder>"), std::string::npos);
  EXPECT_EQ(WEXITSTATUS(system((tool + " >usage.txt 2>&1").c_str())), 2);
  EXPECT_NE(readfile("usage.txt").find("usage"), std::string::npos);
  // A file where the folder should be: nothing is written over it.
  ASSERT_TRUE(writefile("blocker", "keep"));
  EXPECT_EQ(WEXITSTATUS(system((tool + " blocker >blocked.txt 2>&1").c_str())), 1);
  EXPECT_EQ(readfile("blocker"), "keep");
  EXPECT_NE(readfile("blocked.txt").find("cannot create the folder blocker"), std::string::npos);
}

namespace {

// Plays scene index up to each of the frames (ascending) through the playback loop's own
// per-frame step and render pass, and returns each frame as the card scans it out, at
// full size: a halved frame could hide a one-bit change. reopen opens the card afresh
// under the environment of the moment.
std::vector<std::vector<uint8_t>> renderframes(int index, const std::vector<int> &frames, int reopen = 0) {
  Show &s = show();
  std::vector<std::vector<uint8_t>> shots;
  Scene *scene = s.scenes[index];
  if (scene == nullptr) return shots;
  InFolder in(s.folder);
  static bool cardopen = false;
  if (reopen && cardopen) closeglide();
  if (!cardopen || reopen) cardopen = init3d(640, 480, 16, 1);
  if (cardopen) {
    const int backdrop[3][3] = {{0, 0, 0}, {0, 0, 0}, {200, 200, 255}};
    setbackdropcolor(backdrop[index][0], backdrop[index][1], backdrop[index][2]);
    clipplanecount = 6;
    swapinterval = scene->framespersecond == 60.0f ? 1 : 2;
    memcpy(&texturenametable, &scene->texturenames, sizeof(TextureNameTable));
    if (loadtextures()) {
      Vec3 lastsfxposition{0, 0, 0};
      currentframe = scene->firstframe;
      for (int frame : frames) {
        while (currentframe < frame) {
          currentframe++;
          movescene(scene, &lastsfxposition);
        }
        renderframe(scene);
        CardFrame f;
        if (!cardframe(&f)) break;
        std::vector<uint8_t> rgb((size_t)f.width * f.height * 3);
        cardscanout(f.back, rgb.data());
        shots.push_back(rgb);
      }
      resettexturememory();
    }
  }
  return shots;
}

void expectgolden(int index, const char *name, const std::vector<int> &frames) {
  std::vector<std::vector<uint8_t>> shots = renderframes(index, frames);
  ASSERT_EQ(shots.size(), frames.size()) << "the card, the scene or its textures did not load";
  for (size_t i = 0; i < frames.size(); i++) {
    char golden[512];
    snprintf(golden, sizeof(golden), "%s/tests/show/golden/%s_%04d.png", LWDEMO_SOURCE_DIR, name, frames[i]);
    EXPECT_TRUE(matchesgolden(golden, shots[i].data(), 640, 480));
  }
}

}  // namespace

// Chosen frames of each scene, compared exactly with their references (the system's
// frames are bit-identical for the same files). LWDEMO_UPDATE_GOLDEN=1 rewrites them.
TEST(ShowFrames, TitleLettersInFlightThenTheCometRoundTheRing) { expectgolden(0, "intro1", {300, 700, 1000}); }

TEST(ShowFrames, TunnelThenMachineGlobeAndGlass) { expectgolden(1, "intro2", {60, 300, 600}); }

TEST(ShowFrames, CreditsOnTheLightBackdrop) { expectgolden(2, "by", {200, 560}); }

// A frame of the hall (textures, blending, the additive glow) is the same bits whatever
// the number of drawing threads, at scale 1 and 3, in both colour depths.
TEST(ShowFrames, SameFrameForAnyThreadCount) {
  for (const char *scale : {"1", "3"})
    for (const char *colour : {"16", "32"}) {
      std::vector<uint8_t> single;
      for (const char *threads : {"1", "2", "3", "8"}) {
        setenv("LWDEMO_SCALE", scale, 1);
        setenv("LWDEMO_COLOR", colour, 1);
        setenv("LWDEMO_THREADS", threads, 1);
        std::vector<std::vector<uint8_t>> shots = renderframes(1, {300}, 1);
        ASSERT_EQ(shots.size(), 1u);
        if (single.empty()) single = shots[0];
        EXPECT_TRUE(shots[0] == single) << "scale " << scale << " colour " << colour << " threads " << threads;
      }
    }
  unsetenv("LWDEMO_SCALE");
  unsetenv("LWDEMO_COLOR");
  unsetenv("LWDEMO_THREADS");
  renderframes(1, {60}, 1);
}
