#include <unistd.h>

#include <string>
#include <vector>

#include "lwstest.h"

namespace {

using ReaderTest = FolderTest;

TEST_F(ReaderTest, HeaderTakesFourValuesWithOneArbitraryWordBetween) {
  std::string header = "FirstFrame 0\nLastFrame 60\nFrameStep 1\nFramesPerSecond 30.000000";
  std::string text = replaced(lwstext(emptyscene()), header, "FirstFrame 0 x 120 TargetObject 1 ZoomFactor 60");
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(text, &scene), lwsok);
  EXPECT_EQ(scene->firstframe, 0);
  EXPECT_EQ(scene->lastframe, 120);
  EXPECT_EQ(scene->framestep, 1);
  EXPECT_EQ(scene->framespersecond, 60.0f);
  // Skipped words are never compared: the camera search did not take these.
  EXPECT_EQ(scene->camera->targetindex, -1);
  EXPECT_EQ(scene->camera->zoomfactor, 3.2f);
  freelws(scene);
}

TEST_F(ReaderTest, RealHeaderLayouts) {
  LwsScene *scene = nullptr;
  // LightWave 5.5 puts three Preview lines before the rate: the fourth value is taken.
  std::string text = replaced(lwstext(emptyscene()), "FramesPerSecond 30.000000",
                              "PreviewFirstFrame 1\nPreviewLastFrame 60\nPreviewFrameStep 1\nFramesPerSecond 30.000000");
  ASSERT_EQ(readtext(text, &scene), lwsok);
  EXPECT_EQ(scene->framespersecond, 1.0f);
  freelws(scene);
  // LightWave 4 writes no rate: the first object's keyword is skipped in its place, so
  // that object's section is never read and the file is refused.
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("ball.lwo"));
  text = replaced(lwstext(s), "FramesPerSecond 30.000000\n\n", "");
  ASSERT_EQ(readtext(text, &scene), lwsrefused);
  EXPECT_EQ(logtext(),
            "Scene test.lws, line 4: no frame rate after FirstFrame (\"LoadObject\" stands in its place), "
            "30.000000 frames per second\n"
            "Scene test.lws refused: object 1 of 1: its LoadObject or AddNullObject word stands where "
            "the reader takes a value, so the section was never read\n");
}

TEST_F(ReaderTest, CameraSection) {
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("a.lwo"));
  s.objects.push_back(fileobject("b.lwo"));
  s.camera.target = 1;
  LwsScene *scene = nullptr;
  std::string text = replaced(lwstext(s), "TargetObject 1", "TargetObject 1\nTargetObject 2");
  ASSERT_EQ(readtext(text, &scene), lwsok);
  EXPECT_EQ(scene->camera->targetindex, 1);  // the second wins
  EXPECT_EQ(scene->camera->zoomfactor, 3.2f);
  freelws(scene);

  // No ZoomFactor and no target; a "ViewZoomFactor" layout line is another word.
  text = replaced(lwstext(emptyscene()), "ZoomFactor 3.200000\n", "");
  ASSERT_EQ(readtext(text, &scene), lwsok);
  EXPECT_EQ(scene->camera->zoomfactor, 1.0f);
  EXPECT_EQ(scene->camera->targetindex, -1);
  freelws(scene);

  // Values below 1 name no object.
  for (const char *value : {"0", "-3"}) {
    s.camera.target = 1;
    text = replaced(lwstext(s), "TargetObject 1", std::string("TargetObject ") + value);
    ASSERT_EQ(readtext(text, &scene), lwsok);
    EXPECT_EQ(scene->camera->targetindex, -1) << value;
    freelws(scene);
  }
}

TEST_F(ReaderTest, ParentsAndTheLookAheadRule) {
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("a.lwo", false, 3));
  s.objects.push_back(fileobject("b.lwo"));
  s.objects.push_back(fileobject("c.lwo"));
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
  EXPECT_EQ(scene->objects[0].parentindex, 2);
  EXPECT_EQ(scene->objects[1].parentindex, -1);  // its own ShadowOptions ends the search
  freelws(scene);

  // Without ShadowOptions of its own, object 1 takes object 2's "ParentObject 1".
  s.objects[0].parent = 0;
  s.objects[1].shadowoptions = false;
  s.objects[2].parent = 1;
  ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
  EXPECT_EQ(scene->objects[1].parentindex, 0);
  EXPECT_EQ(scene->objects[2].parentindex, 0);
  freelws(scene);

  // ... unless a ShadowOptions comes first (object 3's own).
  s.objects[2].parent = 0;
  ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
  EXPECT_EQ(scene->objects[1].parentindex, -1);
  freelws(scene);
}

// Colour, intensity, type and falloff are checked through the scene loader.
TEST_F(ReaderTest, LightFalloffEndsTheSearchForTheFlare) {
  LwsFileScene s = emptyscene();
  s.lights[0].falloff = 1;
  s.lights[0].falloffrange = 12.5f;
  s.lights[0].lensflare = 1;
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
  EXPECT_EQ(scene->lights[0].falloffon, 1);
  EXPECT_EQ(scene->lights[0].lensflare, 0);
  freelws(scene);

  s.lights[0].falloff = 0;
  ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
  EXPECT_EQ(scene->lights[0].lensflare, 1);
  EXPECT_EQ(logtext(), "lensflare");
  freelws(scene);
}

TEST_F(ReaderTest, KeyFieldsAndEndBehaviour) {
  LwsFileScene s = emptyscene();
  LwsFileKey a, b;
  for (int c = 0; c < 9; c++) a.values[c] = (float)c + 0.5f;
  b.frame = 30;
  b.linear = 1;
  b.tension = 0.5f;
  b.continuity = 0;
  b.bias = -0.5f;
  s.camera.motion.keys = {a, b};
  s.camera.motion.endbehavior = 2;
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(lwstext(s), &scene), lwsok);
  const LwsMotion &m = scene->camera->motion;
  ASSERT_EQ(m.numkeys, 2);
  for (int c = 0; c < 9; c++) EXPECT_EQ(m.keys[0].values[c], (float)c + 0.5f);
  EXPECT_EQ(m.keys[1].frame, 30);
  EXPECT_EQ(m.keys[1].linear, 1);
  EXPECT_EQ(m.keys[1].tension, 0.5f);
  EXPECT_EQ(m.keys[1].continuity, 0.0f);
  EXPECT_EQ(m.keys[1].bias, -0.5f);
  EXPECT_EQ(m.endbehavior, 2);
  freelws(scene);
}

TEST_F(ReaderTest, EffectSection) {
  LwsFileScene s = emptyscene();
  LwsFileSfx sfx;
  sfx.filename = "spark.lwo";
  sfx.motion = lwsstill(1, 2, 3);
  sfx.sfxtype = 1;
  sfx.rangestart = 10;
  sfx.rangeend = 20;
  sfx.quadwidth = 2;
  sfx.quadheight = 3;
  sfx.numparticles = 40;
  sfx.lifetime = 12;
  sfx.birthcolor[0] = 250;
  sfx.deathcolor[2] = 7;
  sfx.starttrans = 0.25f;
  sfx.endtrans = 0.75f;
  sfx.randfactor = 1.5f;
  s.sfxobjects.push_back(sfx);
  LwsScene *scene = nullptr;
  std::string printed;
  ASSERT_EQ(readtext(lwstext(s), &scene, &printed), lwsok);
  EXPECT_NE(printed.find("NumSfxObjects= 1\n"), std::string::npos);
  const LwsSfxObject &e = scene->sfxobjects[0];
  EXPECT_STREQ(e.filename, "spark.lwo");
  EXPECT_EQ(e.motion.keys[0].values[2], 3.0f);
  EXPECT_EQ(e.birthcolor[0], 250);
  EXPECT_EQ(e.deathcolor[2], 7);
  EXPECT_EQ(e.randfactor, 1.5f);
  // The log line is printed from the stored entry, so it shows the other fields.
  EXPECT_EQ(logtext(),
            "type:1\nnum particles:40\nw:2.000000, h:3.000000\nftime: 12.000000\n"
            "start: 10, end 20\nstarttrans 0.250000 end:0.750000\n");
  freelws(scene);
}

TEST_F(ReaderTest, WindowsLineEndsReadTheSame) {
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("a.lwo", false, 2));
  s.objects.push_back(fileobject("b.lwo"));
  s.camera.target = 2;
  LwsScene *unix = nullptr, *windows = nullptr;
  ASSERT_EQ(readtext(lwstext(s), &unix), lwsok);
  s.crlf = true;
  std::string text = lwstext(s);
  ASSERT_NE(text.find("\r\n"), std::string::npos);
  ASSERT_EQ(readtext(text, &windows), lwsok);
  EXPECT_STREQ(windows->objects[1].filename, "b.lwo");
  EXPECT_EQ(windows->objects[0].parentindex, unix->objects[0].parentindex);
  EXPECT_EQ(windows->camera->targetindex, 1);
  EXPECT_EQ(windows->camera->zoomfactor, unix->camera->zoomfactor);
  EXPECT_EQ(windows->framespersecond, unix->framespersecond);
  freelws(unix);
  freelws(windows);
}

TEST_F(ReaderTest, TheLastWordOfTheFileIsSeen) {
  // No line break after the last value: the camera look-ahead still reads it.
  std::string text = lwstext(emptyscene());
  text = text.substr(0, text.find("Resolution 1")) + "ZoomFactor 2";
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(text, &scene), lwsok);
  EXPECT_EQ(scene->camera->zoomfactor, 2.0f);
  freelws(scene);
}

TEST_F(ReaderTest, LongWordsAreCutNotOverrun) {
  std::string longword(5000, 'w');
  std::string text = replaced(lwstext(emptyscene()), "ViewMode 5", longword + " " + longword);
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(text, &scene), lwsok);
  freelws(scene);

  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("x.lwo"));
  text = replaced(lwstext(s), "LoadObject x.lwo", "LoadObject " + longword);
  ASSERT_EQ(readtext(text, &scene), lwsrefused);
  EXPECT_NE(logtext().find("file name longer than 1023 characters"), std::string::npos);
  // A name of 1023 characters fits.
  text = replaced(lwstext(s), "LoadObject x.lwo", "LoadObject " + std::string(1023, 'n'));
  ASSERT_EQ(readtext(text, &scene), lwsok);
  EXPECT_EQ(strlen(scene->objects[0].filename), 1023u);
  freelws(scene);
}

TEST_F(ReaderTest, DefaultsWithoutHeaderOrAmbient) {
  std::string text = lwstext(emptyscene());
  text = replaced(text, "FirstFrame 0\nLastFrame 60\nFrameStep 1\nFramesPerSecond 30.000000\n", "");
  text = replaced(text, "AmbientColor 255 255 255\nAmbIntensity 0.250000\n", "");
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(text, &scene), lwsok);
  EXPECT_EQ(scene->firstframe, 0);
  EXPECT_EQ(scene->lastframe, 60);
  EXPECT_EQ(scene->framespersecond, 30.0f);
  EXPECT_EQ(scene->ambientred, 0);
  EXPECT_EQ(scene->ambientintensity, 0.0f);
  EXPECT_EQ(logtext(),
            "Scene test.lws: no FirstFrame, frames 0 to 60 at 30.000000 frames per second\n"
            "Scene test.lws: no AmbientColor, black at intensity 0\n");
  freelws(scene);
}

struct Refusal {
  const char *name;
  std::string text;
  const char *message;  // part of the log line
};

std::vector<Refusal> refusals() {
  LwsFileScene two = emptyscene();
  two.objects.push_back(fileobject("a.lwo"));
  two.objects.push_back(fileobject("b.lwo"));
  std::string base = lwstext(two);
  std::string light = lwstext(emptyscene());
  LwsFileScene withsfx = emptyscene();
  LwsFileSfx sfx;
  sfx.filename = "s.lwo";
  withsfx.sfxobjects.push_back(sfx);
  std::string effect = lwstext(withsfx);
  LwsFileScene many = emptyscene();
  many.objects.push_back(fileobject("root.lwo"));
  for (int i = 0; i < 17; i++) many.objects.push_back(fileobject("kid.lwo", false, 1));
  LwsFileScene cycle = two;
  cycle.objects[0].parent = 2;
  cycle.objects[1].parent = 1;
  LwsFileScene self = two;
  self.objects[1].parent = 2;
  LwsFileScene outside = two;
  outside.objects[1].parent = 3;
  LwsFileScene zero = two;
  zero.objects[1].parent = 0;
  std::string zerotext = replaced(lwstext(zero), "ShowObject 8 7\nObjectMotion (unnamed)\n  9\n  1\n  1 2 3 0 0 0 1 1 1\n  0 0 0 0 0\nEndBehavior 1\nShadowOptions 7\n\nAmbient",
                                  "ShowObject 8 7\nObjectMotion (unnamed)\n  9\n  1\n  1 2 3 0 0 0 1 1 1\n  0 0 0 0 0\nEndBehavior 1\nParentObject 0\nShadowOptions 7\n\nAmbient");
  return {
      {"NoShowCamera", base.substr(0, base.find("ShowCamera")), "no ShowCamera section"},
      {"NoCameraMotion", replaced(base, "CameraMotion", "CameraMotionX"), "no CameraMotion block follows ShowCamera"},
      {"KeyCountZero", replaced(base, "  9\n  1\n", "  9\n  0\n"), "key count 0, a motion needs at least one key"},
      {"KeyCountNegative", replaced(base, "  9\n  1\n", "  9\n  -4\n"), "key count -4"},
      {"KeyCountNotANumber", replaced(base, "  9\n  1\n", "  9\n  many\n"), "the key count is not a number"},
      {"KeyCountTooLarge", replaced(base, "  9\n  1\n", "  9\n  2000000000\n"), "more than the rest of the file holds"},
      {"KeysOutOfOrder", replaced(light, "CameraMotion (unnamed)\n  9\n  1\n  0 0 -20 0 0 0 1 1 1\n  0 0 0 0 0\n",
                                  "CameraMotion (unnamed)\n  9\n  2\n  0 0 -20 0 0 0 1 1 1\n  5 0 0 0 0\n  0 0 -20 0 0 0 1 1 1\n  5 0 0 0 0\n"),
       "key 1 at frame 5 does not follow frame 5"},
      {"ObjectWithoutMotion", base.substr(0, base.find("ObjectMotion")), "object 1 (a.lwo): no ObjectMotion block"},
      {"LightWithoutColor", replaced(light, "LightColor", "LightColour"), "light 1: no LightMotion block or no LightColor"},
      {"EffectWithoutType", replaced(effect, "SfxType", "SfxKind"), "effect 1 (s.lwo): no SfxObjectMotion block or no SfxType"},
      {"EffectParticleCount", replaced(effect, "SfxNumParticles 10", "SfxNumParticles -10"), "the particle count is not a count"},
      {"ParentOutside", lwstext(outside), "ParentObject 3 is outside the 2 objects"},
      {"ParentZero", zerotext, "ParentObject 0 is outside the 2 objects"},
      {"SeventeenthChild", lwstext(many), "object 18 would be child 17 of object 1"},
      {"ParentCycle", lwstext(cycle), "is its own ancestor"},
      {"OwnParent", lwstext(self), "object 2 is its own ancestor"},
      {"KeywordAsValue", replaced(light, "LightName Light", "LightName AddLight"), "light 2 of 2: its AddLight word stands where"},
      {"ZoomNotPositive", replaced(light, "ZoomFactor 3.200000", "ZoomFactor 0"), "ZoomFactor 0.000000 is not above 0"},
      {"LaterVersion", replaced(light, "LWSC\n1\n", "LWSC\n3\n"), "LWSC version 3; only version 1 scenes are read"},
  };
}

TEST_F(ReaderTest, BrokenFilesAreRefusedWithWhatAndWhere) {
  for (const Refusal &r : refusals()) {
    SCOPED_TRACE(r.name);
    rewind(errorlog);
    ASSERT_EQ(ftruncate(fileno(errorlog), 0), 0);
    LwsScene *scene = reinterpret_cast<LwsScene *>(1);
    EXPECT_EQ(readtext(r.text, &scene), lwsrefused);
    EXPECT_EQ(scene, nullptr);
    std::string log = logtext();
    EXPECT_NE(log.find("Scene test.lws refused"), std::string::npos) << log;
    EXPECT_NE(log.find(r.message), std::string::npos) << log;
  }
}

TEST_F(ReaderTest, RefusalsNameTheLine) {
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("a.lwo"));
  std::string text = replaced(lwstext(s), "  9\n  1\n", "  9\n  0\n");
  LwsScene *scene = nullptr;
  ASSERT_EQ(readtext(text, &scene), lwsrefused);
  // "ObjectMotion" stands on line 11 of the written file.
  EXPECT_EQ(logtext(), "Scene test.lws refused, line 11: ObjectMotion of object 1: key count 0, a motion needs at least one key\n");
}

TEST_F(ReaderTest, NotAScene) {
  LwsScene *scene = nullptr;
  for (const char *text : {"lwsc\n1\n", "", "  \n", "LWSCX 1", "LWO"}) {
    EXPECT_EQ(readtext(text, &scene), lwsnotscene) << text;
    EXPECT_EQ(scene, nullptr);
  }
}

// Only files that cannot be read or are no scene end the process (12); a missing file
// returns none from the reader itself.
TEST_F(ReaderTest, NoSceneEndsTheProcessWith12) {
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
  s.objects.push_back(fileobject("a.lwo"));
  s.objects.push_back(fileobject("b.lwo", true, 1));
  LwsFileSfx sfx;
  sfx.filename = "s.lwo";
  s.sfxobjects.push_back(sfx);
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
      if (scene != nullptr) {
        read++;
        freelws(scene);
      }
    }
  });
  // The whole file is read, and prefixes that cut only the layout options after the
  // camera section are too.
  EXPECT_GT(read, 1);
}

}  // namespace
