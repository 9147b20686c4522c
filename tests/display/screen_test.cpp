#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "display/display.h"

namespace {

// initscreen writes "error3d.txt" into the working folder (the test's own run folder)
// and sets the globals; every test leaves them as it found them.
class ScreenSetup : public ::testing::Test {
 protected:
  void SetUp() override {
    savedscreen = screen;
    savedlog = errorlog;
    screen = nullptr;
    errorlog = nullptr;
  }
  void TearDown() override {
    if (errorlog) fclose(errorlog);
    free(screen);
    screen = savedscreen;
    errorlog = savedlog;
    backdropcolor = 0;
  }
  Screen *savedscreen = nullptr;
  FILE *savedlog = nullptr;
};

std::string readfile(const char *name) {
  std::string s;
  FILE *f = fopen(name, "rb");
  if (f == nullptr) return "(missing)";
  int c;
  while ((c = fgetc(f)) != EOF) s += (char)c;
  fclose(f);
  return s;
}

TEST_F(ScreenSetup, InitScreenAndViewport) {
  EXPECT_EQ(setviewport(0, 0, 640, 480), 0);  // no screen yet: nothing to change
  FILE *stale = fopen("error3d.txt", "w");
  ASSERT_NE(stale, nullptr);
  fputs("left over from an earlier run\n", stale);
  fclose(stale);

  EXPECT_EQ(initscreen(640, 480, 16, 1), 1);
  ASSERT_NE(screen, nullptr);
  ASSERT_NE(errorlog, nullptr);
  EXPECT_EQ(std::pair(screen->centerx, screen->centery), std::pair(320, 240));
  fflush(errorlog);
  EXPECT_EQ(readfile("error3d.txt"), "Init ok\n");  // truncated, then the one line

  EXPECT_EQ(setviewport(10, 20, 111, 81), 1);
  EXPECT_EQ(screen->width, 101);
  EXPECT_EQ(screen->height, 61);
  EXPECT_EQ(screen->centerx, 60);  // halves truncate: 101 / 2 + 10
  EXPECT_EQ(screen->centery, 50);
}

TEST_F(ScreenSetup, LogThatCannotBeCreatedExitsWithCode3) {
  // A folder where the log file should be cannot be opened for writing.
  char dir[] = "screenXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string blocker = std::string(dir) + "/error3d.txt";
  ASSERT_EQ(mkdir(blocker.c_str(), 0700), 0);
  EXPECT_EXIT(
      {
        if (chdir(dir) != 0) exit(99);
        initscreen(640, 480, 16, 1);
        exit(0);
      },
      ::testing::ExitedWithCode(3), "");
  rmdir(blocker.c_str());
  rmdir(dir);
}

}  // namespace
