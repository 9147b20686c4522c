// Classic content through the tolerant scene reader and loader (lwplay's loading): a
// LightWave 3.x layout made with our writers, the object path search, the real classic
// scenes, and every prefix of a real scene.

#include <algorithm>

#include "app/app.h"
#include "golden.h"
#include "lwstest.h"
#include "pipeline/pipeline.h"
#include "platform/glide/glide.h"

namespace {

class ClassicScene : public FolderTest {
 protected:
  TolerantLoading tolerant;
  static std::string warnings() { return filetext(warninglog); }
  static void box(const std::string &path, uint8_t r, uint8_t g, uint8_t b) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    LwoWriter w;
    lwoaddbox(&w, Vec3{0, 0, 0}, Vec3{2, 2, 2}, lwoaddsurface(&w, "Box", r, g, b));
    ASSERT_TRUE(writelwo(path.c_str(), &w));
  }
};

// A content folder of the LightWave 3.x era: Scenes/ beside Objects/, the scene naming
// its objects by Amiga volume and DOS drive, without extensions, in other cases, with
// spaces; one object missing (its child stays), a light whose intensity is an envelope,
// a plug-in block and a keyword of a later version, no FramesPerSecond.
LwsFileScene lw3scene() {
  LwsFileScene s = emptyscene();
  s.noframerate = true;
  s.crlf = true;
  s.firstframe = 1;
  s.lastframe = 30;
  LwsFileObject ball = fileobject("HD1:Objects/Big Ball");
  ball.motion = lwsstill(-2, 0, 0, 30, 20, 0);
  LwsFileObject mountain = fileobject("Work:atm/landscape/MountainCircle2");
  mountain.motion.keys = {lwskey(1, 2, 0, 0), lwskey(30, 2, 2, 0)};
  LwsFileObject cone = fileobject("C:\\LW\\Objects\\Sub\\CONE", false, 2);
  cone.motion = lwsstill(0, -1, 0, 45, 0, 0);
  s.objects = {ball, mountain, cone};
  s.extra = "Plugin ObjReplacementHandler 1 Wobble\n  3 1 4\nEndPlugin\nSubdivisionOrder 2\n";
  s.lights[0].envelope = {lwskey(1, 0.2f, 0, 0), lwskey(30, 1.0f, 0, 0)};
  s.camera.motion = lwsstill(0, 0, -12);
  return s;
}

TEST_F(ClassicScene, LightWave3SceneLoadsWithItsWarningsAndDraws) {
  box(folder + "/Objects/Big Ball.lwo", 220, 80, 40);
  box(folder + "/Objects/Sub/cone.lwo", 40, 120, 220);
  std::filesystem::create_directories(folder + "/Scenes");
  ASSERT_TRUE(writelws((folder + "/Scenes/old.lws").c_str(), lw3scene()));
  InFolder scenes(folder + "/Scenes");

  // The strict loader refuses it as it always has: the missing frame rate takes the first
  // LoadObject word.
  tolerantloading = 0;
  Scene *scene = nullptr;
  std::string out = stdoutof([&] { EXPECT_EQ(loadscenecore("old.lws", 1.0, &scene), lwsrefused); });
  EXPECT_NE(logtext().find("Scene old.lws refused: object 3 of 3: its LoadObject or AddNullObject "
                           "word stands where the reader takes a value"), std::string::npos) << logtext();
  EXPECT_EQ(warnings(), "");

  tolerantloading = 1;
  out = stdoutof([&] { ASSERT_EQ(loadscenecore("old.lws", 1.0, &scene), lwsok); });
  const char *expected[] = {
      "warning: object 1: HD1:Objects/Big Ball found as ../Objects/Big Ball.lwo\n",
      "warning: object 2: Work:atm/landscape/MountainCircle2 not found; an invisible null object "
      "keeps its motion and children\n",
      "warning: object 3: C:\\LW\\Objects\\Sub\\CONE found as ../Objects/Sub/cone.lwo\n",
      "warning: scene old.lws, line 58: the intensity of light 1 follows its envelope of 2 keys "
      "over time\n",
      "warning: scene old.lws, line 41: plug-in ObjReplacementHandler 1 Wobble left out\n",
      "warning: scene old.lws, line 44: unknown keyword SubdivisionOrder left out\n",
      "warning: scene old.lws: no FramesPerSecond (a LightWave 3.x layout), 30 frames per second\n"};
  std::string w = warnings();
  for (const char *line : expected) EXPECT_NE(w.find(line), std::string::npos) << line << "in\n" << w;
  EXPECT_EQ(std::count(w.begin(), w.end(), '\n'), 7) << w;

  ASSERT_EQ(scene->numobjects, 3);
  EXPECT_EQ(std::vector<float>({(float)scene->objects[1]->numpolys, (float)scene->objects[1]->numchildren,
                                scene->framespersecond}), std::vector<float>({0, 1, 30}));
  EXPECT_EQ(scene->objects[1]->children[0], scene->objects[2]);

  // The envelope: a fifth of the light's colour at frame 1, all of it at frame 30.
  for (int frame : {1, 30}) {
    moveenvelopes(scene, frame);
    EXPECT_FLOAT_EQ(scene->lights[0]->color[0], frame == 1 ? 0.2f : 1.0f);
  }

  Screen s;
  s.driver = 1;
  screen = &s;
  setviewport(0, 0, 640, 480);
  ASSERT_EQ(init3d(640, 480, 16, 1), 1);
  setbackdropcolor(0, 0, 40);
  Vec3 aim{0, 0, 0};
  currentframe = 15;
  movescene(scene, &aim);
  moveenvelopes(scene, 15);
  swapinterval = 1;
  renderframe(scene);
  std::vector<uint8_t> rgb((size_t)cardwidth * cardheight * 3);
  cardscanout(cardbackbuffer(), rgb.data());
  EXPECT_TRUE(matchesgolden(LWDEMO_SOURCE_DIR "/tests/lws/golden/classic_lw3.png", rgb.data(), cardwidth, cardheight));
  shutdowndisplay();
  releasescene(scene);
}

TEST_F(ClassicScene, ObjectPathsAreFoundUnderTheScenesFolderAndAbove) {
  for (const char *f : {"Objects/Ball.lwo", "Objects/Trees/Oak.LWO", "Scenes/local.lwo",
                        "Objects/Rock"})
    box(folder + "/" + f, 1, 2, 3);
  std::filesystem::create_directories(folder + "/Scenes/deep");
  InFolder scenes(folder + "/Scenes");
  struct Case {
    const char *name, *found;
  } cases[] = {
      {"local.lwo", "local.lwo"},
      {"HD1:Objects/Ball", "../Objects/Ball.lwo"},                // Amiga volume, no extension
      {"Work:atm/landscape/Ball.lwo", "../Objects/Ball.lwo"},     // only the file name is left
      {"C:\\NewTek\\Objects\\Trees\\oak.lwo", "../Objects/Trees/Oak.LWO"},  // drive, case
      {"objects/ball", "../Objects/Ball.lwo"},                    // case, no extension
      {"/home/artist/Objects/Ball.lwo", "../Objects/Ball.lwo"},   // an absolute path elsewhere
      {"Rocks:Objects/Rock", "../Objects/Rock"},                  // a file with no extension
      {"HD1:nothing/here", nullptr},
      {"", nullptr},
  };
  for (const Case &c : cases) {
    char out[4096];
    int found = findobjectfile(c.name, out, sizeof out);
    EXPECT_EQ(found, c.found != nullptr) << c.name;
    EXPECT_STREQ(out, c.found != nullptr ? c.found : "") << c.name;
  }
}

TEST_F(ClassicScene, RealClassicScenesLoadWithEveryObject) {
  struct Case {
    const char *folder, *file;
    int objects, parented;
  } cases[] = {
      {LWDEMO_TESTDATA_DIR "/classic/ers210", "ERS-210.lws", 27, 26},
      {LWDEMO_TESTDATA_DIR "/classic/shuttle", "spaceshuttle.lws", 1, 0},
      {LWDEMO_TESTDATA_DIR "/lightwave", "ballcone.lws", 2, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    InFolder in(c.folder);
    Scene *scene = nullptr;
    stdoutof([&] { ASSERT_EQ(loadscenecore(c.file, 1.0, &scene), lwsok); });
    ASSERT_EQ(scene->numobjects, c.objects);
    int parented = 0;
    for (int i = 0; i < scene->numobjects; i++) {
      EXPECT_GT(scene->objects[i]->numpolys, 0) << "object " << i + 1;
      parented += scene->objects[i]->hasparent;
    }
    EXPECT_EQ(parented, c.parented);
    EXPECT_EQ(warnings().find("not found"), std::string::npos);
    releasescene(scene);
  }
}

// Every prefix of real scenes and of the 3.x scene is read or refused, never crashes;
// under the sanitizers nothing is read outside the text.
TEST_F(ClassicScene, EveryPrefixIsReadOrRefused) {
  std::vector<std::string> texts = {readfile(LWDEMO_TESTDATA_DIR "/classic/ers210/ERS-210.lws"),
                                    readfile(LWDEMO_TESTDATA_DIR "/lightwave/ballcone.lws"),
                                    "\xEF\xBB\xBF" + lwstext(lw3scene())};
  for (const std::string &text : texts) {
    ASSERT_FALSE(text.empty());
    for (size_t n = 0; n <= text.size(); n++) {
      std::vector<char> prefix(text.begin(), text.begin() + (long)n);  // exactly n bytes
      LwsScene *lws = nullptr;
      LwsStatus status = readclassictext("prefix.lws", prefix.data(), n, &lws);
      ASSERT_TRUE(status == lwsok || status == lwsnotscene) << n;
      if (status == lwsok) {
        ASSERT_NE(lws->camera, nullptr);
        for (int i = 0; i < lws->numobjects; i++) ASSERT_GT(lws->objects[i].motion.numkeys, 0);
      }
      freelws(lws);
    }
  }
  // LightWave 6 and later: refused with the reason.
  std::string later = readfile(LWDEMO_TESTDATA_DIR "/lightwave/move_x_oldformat_6.lws");
  LwsScene *lws = nullptr;
  EXPECT_EQ(readclassictext("later.lws", later.data(), later.size(), &lws), lwsrefused);
  EXPECT_NE(logtext().find("LWSC version 3"), std::string::npos);
}

}  // namespace
