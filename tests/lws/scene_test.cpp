// The scene loader on files made by the scene and object writers.

#include <cmath>
#include <tuple>

#include "lwstest.h"
#include "sfx/sfx.h"

namespace {

class SceneTest : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    // A unit box around the origin, under every name the scenes use.
    LwoWriter box;
    int surface = lwoaddsurface(&box, "Box", 200, 100, 50);
    lwoaddbox(&box, Vec3{0, 0, 0}, Vec3{1, 1, 1}, surface);
    for (const char *name : {"box.lwo", "NullA", "NullB", "spark.lwo"})
      ASSERT_EQ(writelwo(name, &box), 1);
    remove("missing.lwo");
  }

  // Writes the scene and loads it through the core; stdout is captured.
  LwsStatus load(const LwsFileScene &file, Scene **scene, double scale = 1.0, std::string *printed = nullptr) {
    EXPECT_EQ(writelws("scene.lws", file), 1);
    LwsStatus status = lwsnotopen;
    std::string out = stdoutof([&] { status = loadscenecore("scene.lws", scale, scene); });
    if (printed != nullptr) *printed = out;
    return status;
  }
};

float boxwidth(const SceneObject *o) { return o->bbox[7].x - o->bbox[0].x; }

// Objects and nulls in file order, the first key's pose and scale, the camera target,
// the header, the parent links and the light's whole-degree angles, with the log lines.
TEST_F(SceneTest, ObjectsNullsPosesTargetAndHeader) {
  texturenametable.texturecount = 7;  // each scene starts with an empty texture table
  LwsFileScene s = emptyscene();
  s.lastframe = 120;
  s.framespersecond = 60;
  const char *names[] = {"box.lwo", "NullA", "box.lwo", "NullB", "box.lwo"};
  for (int i = 0; i < 5; i++) s.objects.push_back(fileobject(names[i], i % 2 == 1));
  s.objects[0].motion = lwsstill(4, 5, 6, 30, 10, 5);
  for (int c = 6; c < 9; c++) s.objects[2].motion.keys[0].values[c] = 2;
  s.objects[4].parent = 1;
  s.lights[0].motion = lwsstill(0, 0, 0, 0, 45.7f, 0);
  s.camera.target = 2;
  Scene *scene = nullptr;
  std::string printed;
  ASSERT_EQ(load(s, &scene, 1.0, &printed), lwsok) << logtext();
  ASSERT_EQ(scene->numobjects, 5);
  const SceneObject *first = scene->objects[0];
  EXPECT_EQ(std::vector<float>({first->posx, first->posy, first->posz, first->rotheading, first->rotpitch,
                                first->rotbank, (float)first->motion.numkeys, (float)scene->camera->targetindex}),
            std::vector<float>({4, 5, 6, 30, 10, 5, 1, 1}));
  // The first key's scale channels scale the mesh once, at load.
  EXPECT_FLOAT_EQ(boxwidth(scene->objects[2]), 2 * boxwidth(first));
  EXPECT_NE(printed.find("zoom: 34.708049\nscene read ok\n"), std::string::npos) << printed;
  EXPECT_EQ(texturenametable.texturecount, 0);
  EXPECT_EQ(std::tuple(scene->firstframe, scene->lastframe, scene->framespersecond), std::tuple(0, 120, 60.0f));
  EXPECT_EQ(logtext(), "laddet lws!ld: 0.000000 -0.707107 0.707107\nchild: 4, parent!!! 0\n");
  EXPECT_FLOAT_EQ(scene->lights[0]->direction.y, -0.70710677f);
  EXPECT_EQ(std::pair(scene->objects[0]->children[0], scene->objects[4]->hasparent), std::pair(scene->objects[4], 1));
  releasescene(scene);
}

// Scale 2 doubles positions and meshes; the last scene loaded sets the ambient colour.
TEST_F(SceneTest, ScaleAndAmbientColour) {
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("box.lwo"));
  s.ambientintensity = 1;
  Scene *one = nullptr, *two = nullptr;
  ASSERT_EQ(load(s, &one), lwsok);
  EXPECT_FLOAT_EQ(ambientcolor[0], 1.0f);
  s.ambientintensity = 0.5f;
  ASSERT_EQ(load(s, &two, 2.0), lwsok);
  auto values = [](const Scene *s, float f) {
    return std::vector<float>({f * s->objects[0]->posz, f * s->objects[0]->motion.keys[0].values[1],
                               f * boxwidth(s->objects[0]), f * s->camera->position.z, f * s->lights[0]->position.y});
  };
  EXPECT_EQ(values(two, 1), values(one, 2));
  EXPECT_EQ(std::vector<float>(ambientcolor, ambientcolor + 3), std::vector<float>({0.5f, 0.5f, 0.5f}));
  EXPECT_EQ(std::pair(one->ambientintensity, two->ambientred), std::pair(1.0f, 255.0f));
  releasescene(one);
  releasescene(two);
}

// Colour, intensity, falloff and placement of lights show in every frame of the show;
// a spot light is lit as a point light, with a note, and a scene may have no light.
TEST_F(SceneTest, SpotLightsAreLitAsPointLights) {
  LwsFileScene s = emptyscene();
  s.lights[0].type = 2;
  Scene *scene = nullptr;
  ASSERT_EQ(load(s, &scene), lwsok);
  EXPECT_EQ(scene->lights[0]->isdistant, 0);
  EXPECT_NE(logtext().find("Light 1: type 2 is lit as a point light\n"), std::string::npos);
  releasescene(scene);

  s.lights.clear();
  ASSERT_EQ(load(s, &scene), lwsok);
  EXPECT_EQ(scene->numlights, 0);
  releasescene(scene);
}

LwsFileSfx effect(int type) {
  return {.filename = "spark.lwo", .motion = lwsstill(0, 0, 10), .sfxtype = type, .numparticles = 20, .randfactor = 0.5f};
}

// Effects are pinned by the title scene's frames; here the loader's lines about them.
TEST_F(SceneTest, EffectsLogTheirSpread) {
  LwsFileScene s = emptyscene();
  s.sfxobjects = {effect(0), effect(1)};
  Scene *scene = nullptr;
  ASSERT_EQ(load(s, &scene), lwsok) << logtext();
  EXPECT_NE(logtext().find("rand_fact 0.500000\nrand_fact 0.500000\nnumsfx objects 2, flarez 0\n"), std::string::npos)
      << logtext();
  releasescene(scene);
}

TEST_F(SceneTest, RefusedLoadsReturnNone) {
  LwsFileScene s = emptyscene();
  s.objects.push_back(fileobject("box.lwo"));
  s.objects.push_back(fileobject("missing.lwo", true));
  Scene *scene = nullptr;
  std::string printed;
  EXPECT_EQ(load(s, &scene, 1.0, &printed), lwsnoobject);
  EXPECT_EQ(scene, nullptr);
  EXPECT_NE(printed.find("Error: Couldnt Open Object!\n"), std::string::npos);

  s.objects.pop_back();
  s.sfxobjects = {effect(1)};
  s.sfxobjects[0].filename = "missing.lwo";
  EXPECT_EQ(load(s, &scene), lwsnoobject);
  EXPECT_NE(logtext().find("Error: Couldnt Open Object! missing.lwo\n"), std::string::npos);

  // A particle system without particles cannot be set up.
  s.sfxobjects = {effect(1)};
  s.sfxobjects[0].numparticles = 0;
  EXPECT_EQ(load(s, &scene), lwsrefused);
  EXPECT_NE(logtext().find("the particle set-up of effect 1 (spark.lwo) failed"), std::string::npos);

  // The public loader returns none as well; only unreadable files end the process.
  stdoutof([] { EXPECT_EQ(loadscene("scene.lws", 1.0), nullptr); });
}

// A real scene of the shared test files, through lwdemo's strict loading.
TEST_F(SceneTest, RealScenes) {
  const std::string dir = std::string(LWDEMO_TESTDATA_DIR) + "/lightwave/";
  for (const char *name : {"ballcone.lws", "greenball.lwo", "redcone.lwo"})
    ASSERT_TRUE(writefile(name, readfile(dir + name))) << name;
  Scene *scene = nullptr;
  LwsStatus status = lwsnotopen;
  std::string printed = stdoutof([&] { status = loadscenecore("ballcone.lws", 1.0, &scene); });
  ASSERT_EQ(status, lwsok) << logtext();
  EXPECT_EQ(std::vector<int>({scene->numobjects, scene->numlights, scene->firstframe, scene->lastframe,
                              scene->objects[1]->motion.numkeys}), std::vector<int>({2, 1, 1, 60, 3}));
  EXPECT_EQ(scene->framespersecond, 1.0f);  // the PreviewFirstFrame value, as read
  EXPECT_FLOAT_EQ(ambientcolor[0], 0.25f);
  // The object loader's own lines stand between the reader's and the loader's.
  EXPECT_EQ(printed.rfind("\nBasic Scene Info:\nNumObjects= 2\nNumLights= 1\nNumSfxObjects= 0\ntype: 0\n", 0), 0u)
      << printed;
  EXPECT_NE(printed.find("zoom: 34.708049\nscene read ok\n"), std::string::npos) << printed;
  releasescene(scene);
}

}  // namespace
