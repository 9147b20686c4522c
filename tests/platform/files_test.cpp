#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace {

// A scratch folder laid out as the scenes expect, made current for the test so that
// names resolve relative to it the way the player's working folder does.
class FileMapping : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(home, sizeof(home)), nullptr);
    snprintf(dir, sizeof(dir), "%s/filesXXXXXX", home);
    ASSERT_NE(mkdtemp(dir), nullptr);
    ASSERT_EQ(chdir(dir), 0);
    ASSERT_EQ(mkdir("Textures", 0700), 0);
    write("Textures/MARBLE.3df", "marble");
    write("exact.lwo", "lower");
    write("EXACT.lwo", "upper");
  }
  void TearDown() override {
    ASSERT_EQ(chdir(home), 0);
    std::string cmd = std::string("rm -rf '") + dir + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  static void write(const char *name, const char *text) {
    FILE *f = fopen(name, "w");
    ASSERT_NE(f, nullptr);
    fputs(text, f);
    fclose(f);
  }
  static std::string contents(const char *name) {
    FILE *f = openfile(name, "r");
    if (f == nullptr) return "(none)";
    char buf[64] = {};
    size_t n = fread(buf, 1, sizeof(buf) - 1, f);
    fclose(f);
    return std::string(buf, n);
  }
  char home[4096] = {};
  char dir[4200] = {};
};

TEST_F(FileMapping, WindowsNamesFindFilesWhateverTheirCase) {
  char out[256];
  EXPECT_EQ(resolvepath("textures\\Marble.3df", out, sizeof(out)), 1);
  EXPECT_STREQ(out, "Textures/MARBLE.3df");
  EXPECT_EQ(contents("textures\\Marble.3df"), "marble");
  EXPECT_EQ(contents("TEXTURES\\marble.3DF"), "marble");
  EXPECT_EQ(contents(".\\Textures\\\\MARBLE.3df"), "marble");  // a doubled separator
  // An exact name is used as it is, and wins over another spelling beside it.
  EXPECT_EQ(resolvepath("Textures/MARBLE.3df", out, sizeof(out)), 1);
  EXPECT_STREQ(out, "Textures/MARBLE.3df");
  EXPECT_EQ(contents("exact.lwo"), "lower");
  EXPECT_EQ(contents("EXACT.lwo"), "upper");
  EXPECT_NE(contents("Exact.LWO"), "(none)");
}

TEST_F(FileMapping, MissingAndUnusableNames) {
  char out[256];
  EXPECT_EQ(resolvepath("textures\\Missing.3df", out, sizeof(out)), 0);
  EXPECT_EQ(contents("textures\\Missing.3df"), "(none)");
  EXPECT_EQ(resolvepath("nofolder\\Marble.3df", out, sizeof(out)), 0);
  EXPECT_EQ(contents("Textures\\MARBLE.3df\\inside"), "(none)");
  EXPECT_EQ(resolvepath("", out, sizeof(out)), 0);
  EXPECT_EQ(contents(""), "(none)");
  // A name longer than the room for it is refused, never cut or overrun.
  EXPECT_EQ(resolvepath("textures\\Marble.3df", out, 10), 0);
  EXPECT_STREQ(out, "");
  std::string longname(5000, 'a');
  EXPECT_EQ(contents(longname.c_str()), "(none)");
  char big[4096];
  std::string longcomponent = "textures\\" + std::string(300, 'm');
  EXPECT_EQ(resolvepath(longcomponent.c_str(), big, sizeof(big)), 0);
}

TEST_F(FileMapping, NewFilesGoIntoTheFolderAsItIsSpelled) {
  FILE *f = openfile("textures\\New.txt", "w");
  ASSERT_NE(f, nullptr);
  fputs("new", f);
  fclose(f);
  EXPECT_EQ(contents("Textures/New.txt"), "new");
}

}  // namespace
