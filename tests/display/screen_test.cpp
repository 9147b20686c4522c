#include <cstdlib>

#include "testutil.h"

namespace {

// initscreen writes "error3d.txt" into the test's own folder and replaces the log and
// the screen, which are given back afterwards.
class ScreenSetup : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    fclose(errorlog);
    errorlog = nullptr;
    screen = nullptr;
  }
  void TearDown() override {
    free(screen);
    FolderTest::TearDown();
  }
};

TEST_F(ScreenSetup, InitScreenAndViewport) {
  EXPECT_EQ(setviewport(0, 0, 640, 480), 0);  // no screen yet: nothing to change
  ASSERT_EQ(writefile("error3d.txt", "left over from an earlier run\n"), 1);

  EXPECT_EQ(initscreen(640, 480, 16, 1), 1);
  ASSERT_NE(screen, nullptr);
  ASSERT_NE(errorlog, nullptr);
  EXPECT_EQ(std::pair(screen->centerx, screen->centery), std::pair(320, 240));
  fflush(errorlog);
  EXPECT_EQ(readfile("error3d.txt"), "Init ok\n");  // truncated, then the one line
  // Halves truncate: 101 / 2 + 10.
  EXPECT_EQ(setviewport(10, 20, 111, 81), 1);
  EXPECT_EQ(std::vector<int>({screen->width, screen->height, screen->centerx, screen->centery}),
            std::vector<int>({101, 61, 60, 50}));
}

}  // namespace
