// The generated show: read back by the system's own readers without a complaint, using
// every feature it is meant to show, and the same bytes on every run.
#include <gtest/gtest.h>
#include <unistd.h>

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
#include "sfx/sfx.h"
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

Show &show() {
  static Show s;
  static bool done = false;
  if (done) return s;
  done = true;
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

// The words of a scene file that follow keyword (object file names after "LoadObject").
std::vector<std::string> wordsafter(const std::string &scenefile, const char *keyword) {
  std::istringstream in(readfile((fs::path(show().folder) / scenefile).string()));
  std::vector<std::string> found;
  std::string word;
  while (in >> word)
    if (word == keyword && in >> word) found.push_back(word);
  return found;
}

// The CTEX texts of an object file, found the way the object reader finds sub-chunks.
std::set<std::string> texturekinds(const std::string &objectname) {
  std::string name = objectname;
  for (char &c : name)
    if (c == '\\') c = '/';
  std::string bytes = readfile((fs::path(show().folder) / name).string());
  std::set<std::string> kinds;
  for (size_t at = bytes.find("CTEX"); at != std::string::npos; at = bytes.find("CTEX", at + 4))
    if (at + 6 < bytes.size()) kinds.insert(bytes.c_str() + at + 6);
  return kinds;
}

int depth(const SceneObject *object) {
  int deepest = 0;
  for (int i = 0; i < object->numchildren; i++) deepest = std::max(deepest, depth(object->children[i]));
  return deepest + 1;
}

}  // namespace

TEST(Show, WritesEverySceneAndTheSameBytesAsTheBuild) {
  Show &s = show();
  ASSERT_EQ(s.written, 1);
  for (const char *name : scenenames) EXPECT_TRUE(fs::is_regular_file(fs::path(s.folder) / name)) << name;
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
    for (size_t i = 0; i < line.size(); i++) {
      if (strchr("-0123456789.", line[i]) == nullptr) {
        shape.push_back(line[i]);
        continue;
      }
      shape.push_back('N');
      while (i + 1 < line.size() && strchr("-0123456789.", line[i + 1]) != nullptr) i++;
    }
    EXPECT_TRUE(routine.count(shape)) << "log line: " << line;
    count++;
  }
  EXPECT_GT(count, 10);
}

// Every texture has its mip levels; the formats are the card's, none of them a palette
// format (the show downloads no palette). Reading them is the goldens' part.
TEST(Show, TexturesInTheCardsFormatsWithMipLevels) {
  Show &s = show();
  InFolder in(s.folder);
  std::set<int> formats;
  for (int i = 0; i < 3; i++) {
    ASSERT_NE(s.scenes[i], nullptr);
    const TextureNameTable &table = s.scenes[i]->texturenames;
    EXPECT_EQ(table.texturecount > 0, i < 2) << scenenames[i];
    for (int t = 0; t < table.texturecount; t++) {
      char path[256];
      snprintf(path, sizeof(path), "%s", table.texturenames[t]);
      texturepath(path, "textures\\", "3df");
      Gu3dfInfo info{};
      ASSERT_TRUE(gu3dfGetInfo(path, &info)) << path;
      EXPECT_LT(info.header.large_lod, info.header.small_lod) << path << " has no mip levels";
      formats.insert(info.header.format);
    }
  }
  EXPECT_EQ(formats, (std::set<int>{GR_TEXFMT_YIQ_422, GR_TEXFMT_RGB_565, GR_TEXFMT_ARGB_1555,
                                    GR_TEXFMT_ARGB_4444, GR_TEXFMT_ALPHA_INTENSITY_88}));
}

TEST(Show, UsesEveryFeatureItIsMeantToShow) {
  Show &s = show();
  for (int i = 0; i < 3; i++) ASSERT_NE(s.scenes[i], nullptr) << scenenames[i];
  Scene *intro1 = s.scenes[0], *intro2 = s.scenes[1], *by = s.scenes[2];
  // Counts over a scene: its lights, objects and the surfaces of their polygons.
  auto lights = [](const Scene *sc, auto f) {
    int n = 0;
    for (int i = 0; i < sc->numlights; i++) n += f(sc->lights[i]) ? 1 : 0;
    return n;
  };
  auto surfaces = [](const Scene *sc, auto f) {
    int n = 0;
    for (int i = 0; i < sc->numobjects; i++)
      for (int p = 0; p < sc->objects[i]->numpolys; p++) n += f(sc->objects[i], sc->objects[i]->polys[p].surface) ? 1 : 0;
    return n;
  };

  // Title: a camera-facing glow and a particle trail, point lights with falloff, the
  // camera aimed at an object, a reflection-mapped surface.
  std::set<int> sfxtypes;
  for (int i = 0; i < intro1->numsfxobjects; i++) sfxtypes.insert(intro1->sfxobjects[i]->sfxtype);
  EXPECT_EQ(sfxtypes, (std::set<int>{0, 1}));
  EXPECT_GE(lights(intro1, [](const SceneLight *l) { return !l->isdistant && l->falloffon; }), 1);
  EXPECT_GE(intro1->camera->targetindex, 0);
  EXPECT_LT(intro1->camera->targetindex, intro1->numobjects);
  EXPECT_GT(surfaces(intro1, [](const SceneObject *o, const MeshSurface *m) {
              return o->hasreflmap && m->refltexture != 0xFFFF && m->reflectivity > 0;
            }), 0);

  // Hall: a family of at least three levels with a parent of several children; surfaces
  // that are transparent, additive, cut out by texture alpha and double-sided; motions
  // that repeat and that hold; every kind of image map.
  int deepest = 0, mostchildren = 0;
  std::set<int> endings{intro2->camera->motion.endbehavior};
  for (int i = 0; i < intro2->numobjects; i++) {
    const SceneObject *o = intro2->objects[i];
    if (!o->hasparent) deepest = std::max(deepest, depth(o));
    mostchildren = std::max(mostchildren, (int)o->numchildren);
    endings.insert(o->motion.endbehavior);
  }
  EXPECT_GE(deepest, 3);
  EXPECT_GE(mostchildren, 2);
  EXPECT_GT(surfaces(intro2, [](const SceneObject *, const MeshSurface *m) { return m->transparency > 0; }), 0);
  EXPECT_GT(surfaces(intro2, [](const SceneObject *, const MeshSurface *m) { return m->additive != 0; }), 0);
  EXPECT_GT(surfaces(intro2, [](const SceneObject *, const MeshSurface *m) { return m->outline && m->texture != 0xFFFF; }), 0);
  EXPECT_GT(surfaces(intro2, [](const SceneObject *, const MeshSurface *m) { return m->doublesided != 0; }), 0);
  EXPECT_TRUE(endings.count(1) && endings.count(2)) << "motions should both hold and repeat";
  std::set<std::string> kinds;
  for (const std::string &file : wordsafter("intro2.lws", "LoadObject"))
    for (const std::string &kind : texturekinds(file)) kinds.insert(kind);
  for (const char *kind : {"Planar Image Map", "Cylindrical Image Map", "Spherical Image Map"})
    EXPECT_TRUE(kinds.count(kind)) << kind;

  // Credits: a distant light and a camera turned by its own angles, bank included.
  EXPECT_GE(lights(by, [](const SceneLight *l) { return l->isdistant != 0; }), 1);
  EXPECT_EQ(by->camera->targetindex, -1);
  int banked = 0;
  for (int k = 0; k < by->camera->motion.numkeys; k++) banked += by->camera->motion.keys[k].values[5] != 0;
  EXPECT_GT(banked, 0);
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
    snprintf(golden, sizeof(golden), "%s/tests/show/golden/%s_%04d.png", LWDEMO_SOURCE_DIR, name,
             frames[i]);
    EXPECT_TRUE(matchesgolden(golden, shots[i].data(), 640, 480));
  }
}

}  // namespace

// Chosen frames of each scene, compared exactly with their references (the system's
// frames are bit-identical for the same files). LWDEMO_UPDATE_GOLDEN=1 rewrites them.
TEST(ShowFrames, TitleLettersInFlightThenTheCometRoundTheRing) {
  expectgolden(0, "intro1", {300, 700, 1000});
}

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
        if (single.empty())
          single = shots[0];
        else
          EXPECT_TRUE(shots[0] == single) << "scale " << scale << " colour " << colour << " threads " << threads;
      }
    }
  unsetenv("LWDEMO_SCALE");
  unsetenv("LWDEMO_COLOR");
  unsetenv("LWDEMO_THREADS");
  renderframes(1, {60}, 1);
}
