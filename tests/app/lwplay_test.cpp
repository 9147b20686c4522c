// The real lwplay binary on a small scene made with our writers: rendering, --info,
// playing once or until the scripted key, and every kind of bad command line or scene.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/runner.h"
#include "tools/writers/writers.h"

namespace {

// One textured box whose 3DF was never made, frames 0 to 10, in folder/Scenes/box.lws
// with the object in folder/Objects.
void writescene(const std::string &folder) {
  std::filesystem::create_directories(folder + "/Objects");
  std::filesystem::create_directories(folder + "/Scenes");
  LwoWriter w;
  int s = lwoaddsurface(&w, "Wood", 200, 120, 60);
  lwosetimagemap(&w.surfaces[(size_t)s], "Planar Image Map", "Images\\wood.iff", lwoaxisz,
                 Vec3{0, 0, 0}, Vec3{1, 1, 1});
  lwoaddbox(&w, Vec3{0, 0, 0}, Vec3{2, 2, 2}, s);
  ASSERT_TRUE(writelwo((folder + "/Objects/box.lwo").c_str(), &w));
  LwsFileScene scene;
  scene.lastframe = 10;
  scene.objects.push_back(
      {.filename = "HD1:Objects/box", .motion = {{lwskey(0, 0, 0, 0), lwskey(10, 0, 0, 0, 90, 0, 0)}}});
  scene.lights.push_back({.motion = lwsstill(0, 10, -10, 0, 30, 0), .envelope = {}});
  scene.camera.motion = lwsstill(0, 0, -8);
  ASSERT_TRUE(writelws((folder + "/Scenes/box.lws").c_str(), scene));
  ASSERT_TRUE(writefile(folder + "/Scenes/notascene.lws", std::string("FORM\0\0\0\4LWOB", 12)));
}

TEST(Lwplay, CommandLines) {
  std::string folder = makefolder("lwplay");
  writescene(folder);
  const Environment headless = {{"LWDEMO_VIDEO", "headless"}, {"LWDEMO_PACING", "off"}, {"LWDEMO_KEY", ""}};
  struct Case {
    std::vector<std::string> args;
    Environment env;
    int exitcode;
    const char *out, *err;  // expected in standard output / standard error ("" anything)
  } cases[] = {
      {{"--render", "frames", "--from", "2", "--to", "6", "Scenes/box.lws"}, {}, 0, "",
       "lwplay: 5 frames written to"},
      {{"--render", "all", "Scenes/box.lws"}, {}, 0, "", "11 frames written"},
      {{"--info", "Scenes/box.lws"}, {}, 0,
       "frames: 0 to 10 at 30 frames per second (0.37 s)\nobjects: 1\n  1 ../Objects/box.lwo: 8 points, "
       "6 polygons, 1 surfaces\n",
       ""},
      {{"--info", "Scenes/box.lws"}, {}, 0,
       "warning: texture Images\\wood.iff: textures\\wood.3df cannot be read; its surfaces are drawn "
       "in their colour\n",
       ""},
      {{"--once", "--fps", "240", "Scenes/box.lws"}, {}, 0, "", "warning: object 1: HD1:Objects/box found"},
      {{"Scenes/box.lws"}, {{"LWDEMO_KEY", "25:q"}}, 0, "", ""},  // loops until the key
      {{"--help"}, {}, 0, "usage: lwplay [options] SCENE.lws", ""},
      {{"--bogus", "Scenes/box.lws"}, {}, 1, "", "lwplay: unknown option --bogus\n"},
      {{"--fps", "0", "Scenes/box.lws"}, {}, 1, "", "--fps 0: not a rate"},
      {{"--from", "9", "--to", "3", "Scenes/box.lws"}, {}, 1, "", "--to 3 comes before --from 9"},
      {{"--render"}, {}, 1, "", "--render needs a value"},
      {{}, {}, 1, "", "no scene given"},
      {{"Scenes/missing.lws"}, {}, 2, "", "lwplay: cannot read the scene Scenes/missing.lws"},
      {{"Scenes"}, {}, 2, "", "it is a folder"},
      {{"Scenes/notascene.lws"}, {}, 2, "", "not a LightWave scene"},
      {{"--render", "Scenes/box.lws/x", "Scenes/box.lws"}, {}, 4, "", "cannot write frames into"},
  };
  for (const Case &c : cases) {
    std::string line;
    for (const std::string &a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    Environment env = headless;
    env.insert(env.end(), c.env.begin(), c.env.end());
    RunResult r = runprogram(LWDEMO_BINARY_DIR "/lwplay", c.args, folder, env, 20000);
    EXPECT_FALSE(r.timedout);
    EXPECT_EQ(r.exitcode, c.exitcode) << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
  // Nothing but the frames: the first render's 5, numbered from 1, and the second's 11.
  std::error_code none;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/frames", none), {}), 5);
  EXPECT_TRUE(std::filesystem::exists(folder + "/frames/frame000005.png"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder + "/all", none), {}), 11);
}

}  // namespace
