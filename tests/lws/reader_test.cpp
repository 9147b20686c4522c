#include "lwstest.h"

namespace {

using ReaderTest = FolderTest;

const char *const header = "FirstFrame 0\nLastFrame 60\nFrameStep 1\nFramesPerSecond 30.000000";

// First, last, step, rate, camera target, zoom, ambient red and intensity of a scene
// text, and its log. Skipped words are never compared: a TargetObject or ZoomFactor
// standing where a header value is taken is not the camera's.
TEST_F(ReaderTest, HeaderAndCameraLayouts) {
  LwsFileScene two = emptyscene();
  two.objects = {fileobject("a.lwo"), fileobject("b.lwo")};
  two.camera.target = 1;
  const std::string plain = lwstext(emptyscene());
  const struct {
    const char *what;
    std::string text;
    std::vector<float> expect;
    const char *log;
  } cases[] = {
      {"one arbitrary word between the values",
       replaced(plain, header, "FirstFrame 0 x 120 TargetObject 1 ZoomFactor 60"), {0, 120, 1, 60, -1, 3.2f, 255, 0.25f}, ""},
      // LightWave 5.5 puts three Preview lines before the rate: the fourth value is taken.
      {"preview lines", replaced(plain, "FramesPerSecond 30.000000", "PreviewFirstFrame 1\nPreviewLastFrame 60\nPreviewFrameStep 1\nFramesPerSecond 30.000000"),
       {0, 60, 1, 1, -1, 3.2f, 255, 0.25f}, ""},
      {"no header, no ambient", replaced(replaced(plain, std::string(header) + "\n", ""), "AmbientColor 255 255 255\nAmbIntensity 0.250000\n", ""),
       {0, 60, 1, 30, -1, 3.2f, 0, 0},
       "Scene test.lws: no FirstFrame, frames 0 to 60 at 30.000000 frames per second\n"
       "Scene test.lws: no AmbientColor, black at intensity 0\n"},
      {"the second target wins", replaced(lwstext(two), "TargetObject 1", "TargetObject 1\nTargetObject 2"), {0, 60, 1, 30, 1, 3.2f, 255, 0.25f}, ""},
      {"target 0", replaced(lwstext(two), "TargetObject 1", "TargetObject 0"), {0, 60, 1, 30, -1, 3.2f, 255, 0.25f}, ""},
      {"target -3", replaced(lwstext(two), "TargetObject 1", "TargetObject -3"), {0, 60, 1, 30, -1, 3.2f, 255, 0.25f}, ""},
      // "ViewZoomFactor", a layout line, is another word.
      {"no ZoomFactor", replaced(plain, "ZoomFactor 3.200000\n", ""), {0, 60, 1, 30, -1, 1, 255, 0.25f}, ""},
      // No line break after the last value: the camera look-ahead still reads it.
      {"last word of the file", plain.substr(0, plain.find("Resolution 1")) + "ZoomFactor 2", {0, 60, 1, 30, -1, 2, 255, 0.25f}, ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    clearlog();
    LwsScene *scene = nullptr;
    ASSERT_EQ(readtext(c.text, &scene), lwsok);
    EXPECT_EQ(std::vector<float>({(float)scene->firstframe, (float)scene->lastframe, (float)scene->framestep,
                                  scene->framespersecond, (float)scene->camera->targetindex,
                                  scene->camera->zoomfactor, (float)scene->ambientred, scene->ambientintensity}),
              c.expect);
    EXPECT_EQ(logtext(), c.log);
    freelws(scene);
  }
}

TEST_F(ReaderTest, ParentsAndTheLookAheadRule) {
  LwsFileScene s = emptyscene();
  s.objects = {fileobject("a.lwo", false, 3), fileobject("b.lwo"), fileobject("c.lwo")};
  // Object 2's own ShadowOptions ends its search; without it, object 2 takes object 3's
  // "ParentObject 1", unless object 3's ShadowOptions comes first.
  const struct {
    int parents[3];
    bool shadow2;
    int expect[2];
  } cases[] = {{{3, 0, 0}, true, {2, -1}}, {{0, 0, 1}, false, {-1, 0}}, {{0, 0, 0}, false, {-1, -1}}};
  for (const auto &c : cases) {
    for (int i = 0; i < 3; i++) s.objects[i].parent = c.parents[i];
    s.objects[1].shadowoptions = c.shadow2;
    LwsScene *scene = nullptr;
    ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
    EXPECT_EQ(std::vector<int>({scene->objects[0].parentindex, scene->objects[1].parentindex}),
              std::vector<int>(c.expect, c.expect + 2)) << c.parents[0] << c.parents[2];
    freelws(scene);
  }
}

// Colour, intensity, type and falloff are checked through the scene loader.
TEST_F(ReaderTest, LightFalloffEndsTheSearchForTheFlare) {
  LwsFileScene s = emptyscene();
  s.lights[0].falloffrange = 12.5f;
  s.lights[0].lensflare = 1;
  for (int falloff : {1, 0}) {
    s.lights[0].falloff = falloff;
    LwsScene *scene = nullptr;
    ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
    EXPECT_EQ(std::pair(scene->lights[0].falloffon, scene->lights[0].lensflare), std::pair(falloff, 1 - falloff));
    freelws(scene);
  }
  EXPECT_EQ(logtext(), "lensflare");
}

// Key fields, the effect section, a parent and the camera target, from a file with
// Windows line ends.
TEST_F(ReaderTest, KeysEffectsAndWindowsLineEnds) {
  LwsFileScene s = emptyscene();
  s.objects = {fileobject("a.lwo", false, 2), fileobject("b.lwo")};
  s.camera.target = 2;
  s.crlf = true;
  LwsFileKey a{.values = {0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f}},
      b{.frame = 30, .linear = 1, .tension = 0.5f, .continuity = 0.25f, .bias = -0.5f};
  s.camera.motion.keys = {a, b};
  s.camera.motion.endbehavior = 2;
  s.sfxobjects.push_back({.filename = "spark.lwo", .motion = lwsstill(1, 2, 3), .rangestart = 10, .rangeend = 20,
                          .quadwidth = 2, .quadheight = 3, .numparticles = 40, .lifetime = 12, .birthcolor = {250, 255, 255},
                          .deathcolor = {0, 0, 7}, .starttrans = 0.25f, .endtrans = 0.75f, .randfactor = 1.5f});
  const std::string text = lwstext(s);
  ASSERT_NE(text.find("\r\n"), std::string::npos);
  LwsScene *scene = nullptr;
  std::string printed;
  ASSERT_EQ(readtext(text, &scene, &printed), lwsok);
  EXPECT_NE(printed.find("NumSfxObjects= 1\n"), std::string::npos);
  const LwsSfxObject &e = scene->sfxobjects[0];
  EXPECT_EQ(std::string(scene->objects[1].filename) + e.filename, "b.lwospark.lwo");
  const LwsMotion &m = scene->camera->motion;
  ASSERT_EQ(m.numkeys, 2);
  const MotionKey &k = m.keys[1];
  EXPECT_EQ(std::vector<float>({(float)scene->objects[0].parentindex, (float)scene->camera->targetindex,
                                scene->camera->zoomfactor, scene->framespersecond, (float)k.frame, (float)k.linear,
                                k.tension, k.continuity, k.bias, (float)m.endbehavior, e.motion.keys[0].values[2],
                                (float)e.birthcolor[0], (float)e.deathcolor[2], e.randfactor}),
            std::vector<float>({1, 1, 3.2f, 30, 30, 1, 0.5f, 0.25f, -0.5f, 2, 3, 250, 7, 1.5f}));
  EXPECT_EQ(std::vector<float>(m.keys[0].values, m.keys[0].values + 9),
            std::vector<float>({0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f}));
  // The log line is printed from the stored entry, so it shows the other fields.
  EXPECT_EQ(logtext(),
            "type:1\nnum particles:40\nw:2.000000, h:3.000000\nftime: 12.000000\n"
            "start: 10, end 20\nstarttrans 0.250000 end:0.750000\n");
  freelws(scene);
}

TEST_F(ReaderTest, LongWordsAreCutNotOverrun) {
  std::string longword(5000, 'w');
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(replaced(lwstext(emptyscene()), "ViewMode 5", longword + " " + longword), &scene), lwsok);
  freelws(scene);
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("x.lwo"));
  ASSERT_EQ(readtext(replaced(lwstext(s), "LoadObject x.lwo", "LoadObject " + longword), &scene), lwsrefused);
  EXPECT_NE(logtext().find("file name longer than 1023 characters"), std::string::npos);
  // A name of 1023 characters fits.
  ASSERT_EQ(readtext(replaced(lwstext(s), "LoadObject x.lwo", "LoadObject " + std::string(1023, 'n')), &scene), lwsok);
  EXPECT_EQ(strlen(scene->objects[0].filename), 1023u);
  freelws(scene);
}

TEST_F(ReaderTest, BrokenFilesAreRefusedWithWhatAndWhere) {
  LwsFileScene two = emptyscene();
  two.objects = {fileobject("a.lwo"), fileobject("b.lwo")};
  LwsFileScene one = emptyscene();
  one.objects.push_back(fileobject("a.lwo"));
  const std::string base = lwstext(two), light = lwstext(emptyscene());
  LwsFileScene withsfx = emptyscene();
  withsfx.sfxobjects = {{.filename = "s.lwo", .motion = {}}};
  const std::string effect = lwstext(withsfx);
  LwsFileScene many = emptyscene();
  many.objects.push_back(fileobject("root.lwo"));
  for (int i = 0; i < 17; i++) many.objects.push_back(fileobject("kid.lwo", false, 1));
  auto parents = [&](int a, int b) {
    LwsFileScene s = two;
    s.objects[0].parent = a;
    s.objects[1].parent = b;
    return lwstext(s);
  };
  const struct {
    const char *name;
    std::string text;
    const char *message;  // part of the log line
  } cases[] = {
      {"NoShowCamera", base.substr(0, base.find("ShowCamera")), "no ShowCamera section"},
      {"NoCameraMotion", replaced(base, "CameraMotion", "CameraMotionX"), "no CameraMotion block follows ShowCamera"},
      {"KeyCountZero", replaced(base, "  9\n  1\n", "  9\n  0\n"), "key count 0, a motion needs at least one key"},
      {"KeyCountNegative", replaced(base, "  9\n  1\n", "  9\n  -4\n"), "key count -4"},
      {"KeyCountNotANumber", replaced(base, "  9\n  1\n", "  9\n  many\n"), "the key count is not a number"},
      {"KeyCountTooLarge", replaced(base, "  9\n  1\n", "  9\n  2000000000\n"), "more than the rest of the file holds"},
      {"KeysOutOfOrder", replaced(light, "  9\n  1\n  0 0 -20 0 0 0 1 1 1\n  0 0 0 0 0\n",
                                  "  9\n  2\n  0 0 -20 0 0 0 1 1 1\n  5 0 0 0 0\n  0 0 -20 0 0 0 1 1 1\n  5 0 0 0 0\n"),
       "key 1 at frame 5 does not follow frame 5"},
      {"ObjectWithoutMotion", base.substr(0, base.find("ObjectMotion")), "object 1 (a.lwo): no ObjectMotion block"},
      {"LightWithoutColor", replaced(light, "LightColor", "LightColour"), "light 1: no LightMotion block or no LightColor"},
      {"EffectWithoutType", replaced(effect, "SfxType", "SfxKind"), "effect 1 (s.lwo): no SfxObjectMotion block or no SfxType"},
      {"EffectParticleCount", replaced(effect, "SfxNumParticles 10", "SfxNumParticles -10"), "the particle count is not a count"},
      {"ParentOutside", parents(0, 3), "ParentObject 3 is outside the 2 objects"},
      {"ParentZero", replaced(base, "ShadowOptions 7\n\nAmbient", "ParentObject 0\nShadowOptions 7\n\nAmbient"),
       "ParentObject 0 is outside the 2 objects"},
      {"SeventeenthChild", lwstext(many), "object 18 would be child 17 of object 1"},
      {"ParentCycle", parents(2, 1), "is its own ancestor"},
      {"OwnParent", parents(0, 2), "object 2 is its own ancestor"},
      {"KeywordAsValue", replaced(light, "LightName Light", "LightName AddLight"), "light 2 of 2: its AddLight word stands where"},
      {"ZoomNotPositive", replaced(light, "ZoomFactor 3.200000", "ZoomFactor 0"), "ZoomFactor 0.000000 is not above 0"},
      {"LaterVersion", replaced(light, "LWSC\n1\n", "LWSC\n3\n"), "LWSC version 3; only version 1 scenes are read"},
      // LightWave 4 writes no rate: the first object's keyword is skipped in its place, so
      // that object's section is never read.
      {"NoFrameRate", replaced(lwstext(one), "FramesPerSecond 30.000000\n\n", ""),
       "Scene test.lws, line 4: no frame rate after FirstFrame (\"LoadObject\" stands in its place), "
       "30.000000 frames per second\nScene test.lws refused: object 1 of 1: its LoadObject or AddNullObject "
       "word stands where the reader takes a value, so the section was never read\n"},
  };
  for (const auto &r : cases) {
    SCOPED_TRACE(r.name);
    clearlog();
    LwsScene *scene = reinterpret_cast<LwsScene *>(1);
    EXPECT_EQ(readtext(r.text, &scene), lwsrefused);
    EXPECT_EQ(scene, nullptr);
    std::string log = logtext();
    EXPECT_NE(log.find("Scene test.lws refused"), std::string::npos) << log;
    EXPECT_NE(log.find(r.message), std::string::npos) << log;
  }
  // The refusal names the line: "ObjectMotion" stands on line 11 of this file.
  clearlog();
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(replaced(lwstext(one), "  9\n  1\n", "  9\n  0\n"), &scene), lwsrefused);
  EXPECT_EQ(logtext(), "Scene test.lws refused, line 11: ObjectMotion of object 1: key count 0, a motion needs at least one key\n");
}

// Only files that cannot be read or are no scene end the process (12); a missing file
// returns none from the reader itself.
TEST_F(ReaderTest, NoSceneEndsTheProcessWith12) {
  LwsScene *scene = nullptr;
  for (const char *text : {"lwsc\n1\n", "", "  \n", "LWSCX 1", "LWO"}) {
    EXPECT_EQ(readtext(text, &scene), lwsnotscene) << text;
    EXPECT_EQ(scene, nullptr);
  }
  ASSERT_TRUE(writefile("lower.lws", "lwsc\n1\n\nFirstFrame 1\n"));
  EXPECT_EXIT(readlws("lower.lws"), testing::ExitedWithCode(12), "");
  ASSERT_TRUE(writefile("notscene.lws", "LWOB\n"));
  EXPECT_EXIT(loadscene("notscene.lws", 1.0), testing::ExitedWithCode(12), "");
  EXPECT_EQ(stdoutof([] { EXPECT_EQ(readlws("no-such-scene.lws"), nullptr); }),
            "no-such-scene.lws\n: Error Couldnt Open File!!\n");
  EXPECT_EXIT(loadscene("no-such-scene.lws", 1.0), testing::ExitedWithCode(12), "");
}

// Every prefix of a valid scene with every kind of section is read or refused; none
// may crash or end the process.
TEST_F(ReaderTest, TruncationSweep) {
  LwsFileScene s = emptyscene();
  s.objects = {fileobject("a.lwo"), fileobject("b.lwo", true, 1)};
  s.sfxobjects = {{.filename = "s.lwo", .motion = {}}};
  s.lights.push_back(s.lights[0]);
  s.lights[1].falloff = 1;
  s.camera.target = 2;
  s.camera.motion.keys.push_back(s.camera.motion.keys[0]);
  s.camera.motion.keys[1].frame = 30;
  std::string text = lwstext(s);
  int read = 0;
  stdoutof([&] {
    for (size_t n = 0; n <= text.size(); n++) {
      LwsScene *scene = nullptr;
      LwsStatus status = readlwstext("cut.lws", text.data(), n, &scene);
      ASSERT_TRUE(status == lwsok || status == lwsrefused || status == lwsnotscene) << n;
      ASSERT_EQ(status == lwsok, scene != nullptr);
      read += scene != nullptr;
      freelws(scene);
    }
  });
  // The whole file is read, and prefixes that cut only the layout options after the
  // camera section are too.
  EXPECT_GT(read, 1);
}

}  // namespace
