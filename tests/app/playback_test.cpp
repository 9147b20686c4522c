// The playback loop in this process on the card, headless and unpaced: the swap
// interval from the scene's rate, the frames evaluated, the effects' range and the camera
// aim. The effects' meshes are pinned by the show's goldens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <utility>

#include "app/app.h"
#include "app/runner.h"
#include "app/scenes.h"
#include "display/display.h"
#include "lws/lws.h"
#include "platform/glide/glide.h"
#include "sfx/sfx.h"

namespace {

class Playback : public FolderTest {
 protected:
  static void SetUpTestSuite() {
    setenv("LWDEMO_VIDEO", "headless", 1);
    setenv("LWDEMO_PACING", "off", 1);
    // The log is locked for the run: ctest starts this suite's tests as parallel
    // processes in one working folder, so each opens its screen in a folder of its own.
    const std::string home = std::filesystem::current_path().string();
    const std::string own = home + "/Playback." + std::to_string(getpid());
    std::filesystem::create_directories(own);
    ASSERT_EQ(chdir(own.c_str()), 0);
    initscreen(640, 480, 16, 1);
    ASSERT_EQ(chdir(home.c_str()), 0);
    setviewport(0, 0, 640, 480);
    ASSERT_EQ(init3d(640, 480, 16, 1), 1);
    // No key from outside may stop a scene early.
    unsetenv("LWDEMO_KEY");
    setupscriptedkey();
  }
  static void TearDownTestSuite() { shutdowndisplay(); }
};

TEST_F(Playback, OnlyExactlySixtySwapsEveryRetrace) {
  const struct {
    float rate;
    int interval;
  } cases[] = {{60.0f, 1}, {59.94f, 2}, {30.0f, 2}, {25.0f, 2}, {std::nextafter(60.0f, 61.0f), 2}};
  for (const auto &c : cases) {
    const std::string sub = makefolder(folder + "/rate");
    ASSERT_EQ(chdir(sub.c_str()), 0);
    ASSERT_TRUE(writeshow(sub, {{{.lastframe = 20, .framespersecond = c.rate}}}));
    Scene *scene = loadscene("intro1.lws", 1.0);
    ASSERT_NE(scene, nullptr);
    CardStats before, after;
    cardgetstats(&before);
    playscene(scene);
    cardgetstats(&after);
    EXPECT_EQ(swapinterval, c.interval) << c.rate;
    EXPECT_EQ(after.framesshown - before.framesshown, 21u) << c.rate;
    EXPECT_EQ(after.retraces - before.retraces, 21u * c.interval) << c.rate;
  }
}

TEST_F(Playback, EffectsRestartOutsideTheirRangeAndCarryTheCameraAim) {
  // The effect is active in frames 3 to 39; target 2, past the one object, is the effect.
  ASSERT_TRUE(writeshow(folder, {{{.particles = 1, .cameratarget = 2}}}));
  Scene *scene = loadscene("intro1.lws", 1.0);
  ASSERT_NE(scene, nullptr);
  ASSERT_EQ(scene->numsfxobjects, 1);
  SfxObject *sfx = scene->sfxobjects[0];
  SceneCamera *camera = scene->camera;
  Vec3 aim{0, 0, 0};
  Pose pose;

  // Before any effect has been active the camera looks at the origin.
  currentframe = 2;
  movescene(scene, &aim);
  EXPECT_EQ(sfx->restartpending, 1);
  EXPECT_EQ(std::pair(camera->target.x, camera->target.z), std::pair(0.0f, 0.0f));

  for (currentframe = 3; currentframe <= 39; currentframe++) {
    movescene(scene, &aim);
    EXPECT_EQ(sfx->restartpending, 0) << currentframe;
  }
  evalmotion(&sfx->mesh->motion, &pose, 39.0);
  EXPECT_EQ(std::pair(camera->target.x, camera->target.z), std::pair(pose.values[0], pose.values[2]));

  // Leaving the range: a restart is pending and the aim stays where it was last.
  currentframe = 40;
  movescene(scene, &aim);
  EXPECT_EQ(sfx->restartpending, 1);
  EXPECT_EQ(camera->target.x, pose.values[0]);
}

}  // namespace
