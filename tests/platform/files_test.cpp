#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "testutil.h"
#include "tools/writers/writers.h"

namespace {

// A folder laid out as the scenes expect, current for the test so that names resolve
// relative to it the way the player's working folder does.
class FileMapping : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    ASSERT_EQ(mkdir("Textures", 0700), 0);
    ASSERT_EQ(writefile("Textures/MARBLE.3df", "marble"), 1);
    ASSERT_EQ(writefile("exact.lwo", "lower"), 1);
    ASSERT_EQ(writefile("EXACT.lwo", "upper"), 1);
  }
  static std::string contents(const char *name) {
    FILE *f = openfile(name, "r");
    if (f == nullptr) return "(none)";
    char buf[64] = {};
    size_t n = fread(buf, 1, sizeof(buf) - 1, f);
    fclose(f);
    return std::string(buf, n);
  }
};

// Windows names find files whatever their case; an exact name is used as it is and wins
// over another spelling beside it; a missing or unusable name, or one longer than the
// room for it, is refused, never cut or overrun.
TEST_F(FileMapping, WindowsNamesFindFilesWhateverTheirCase) {
  const std::string longname(5000, 'a'), longcomponent = "textures\\" + std::string(300, 'm');
  const struct {
    std::string name, found;
  } cases[] = {{"textures\\Marble.3df", "marble"}, {"TEXTURES\\marble.3DF", "marble"},
               {".\\Textures\\\\MARBLE.3df", "marble"}, {"exact.lwo", "lower"},
               {"EXACT.lwo", "upper"}, {"Exact.LWO", "*"}, {"textures\\Missing.3df", "(none)"},
               {"nofolder\\Marble.3df", "(none)"}, {"Textures\\MARBLE.3df\\inside", "(none)"},
               {"", "(none)"}, {longname, "(none)"}, {longcomponent, "(none)"}};
  for (const auto &c : cases) {
    char out[4096];
    EXPECT_EQ(resolvepath(c.name.c_str(), out, sizeof(out)), c.found != "(none)") << c.name;
    if (c.found != "*") {
      EXPECT_EQ(contents(c.name.c_str()), c.found) << c.name;
    }
  }
  char out[256];
  EXPECT_EQ(resolvepath("textures\\Marble.3df", out, sizeof(out)), 1);
  EXPECT_STREQ(out, "Textures/MARBLE.3df");
  EXPECT_EQ(resolvepath("textures\\Marble.3df", out, 10), 0);
  EXPECT_STREQ(out, "");
  // A new file goes into the folder as it is spelled.
  FILE *f = openfile("textures\\New.txt", "w");
  ASSERT_NE(f, nullptr);
  fputs("new", f);
  fclose(f);
  EXPECT_EQ(readfile("Textures/New.txt"), "new");
}

// A content folder as classic scenes assume: the scene two levels down, images and
// objects beside its folder, one stray file of the same base name nearer the scene.
TEST_F(FolderTest, ClassicNamesAreFoundByTheirLastComponents) {
  for (const char *d : {"Content", "Content/Scenes", "Content/Scenes/Space", "Content/Images",
                        "Content/Objects", "Content/Objects/Ships"})
    ASSERT_EQ(mkdir(d, 0700), 0);
  ASSERT_EQ(writefile("Content/Images/SKY.IFF", "sky"), 1);
  ASSERT_EQ(writefile("Content/Objects/Ships/Hull.lwo", "hull"), 1);
  ASSERT_EQ(writefile("Content/Scenes/Space/hull.lwo", "stray"), 1);
  ASSERT_EQ(writefile("Content/Images/marble.tga", "marble"), 1);
  const char *scene = "Content/Scenes/Space";
  struct Case {
    const char *name, *subfolder, *found;  // found: the file's contents, "" for none
  } cases[] = {
      {"HD1:Images/sky.iff", nullptr, "sky"},
      {"Work:LW/Images/Sky.iff", nullptr, "sky"},
      {"D:\\LW\\IMAGES\\sky.IFF", nullptr, "sky"},
      {"sky.iff", "Images", "sky"},
      {"sky.iff", nullptr, ""},
      // Two components matched beat one nearer the scene.
      {"Work:Objects/Ships/hull.lwo", nullptr, "hull"},
      {"Objects\\Ships\\hull.lwo", "Objects", "hull"},
      {"hull.lwo", "Objects", "stray"},
      {"Content/Images/marble.tga", nullptr, "marble"},  // as written, from the working folder
      {"HD1:../../Images/marble.tga", nullptr, "marble"},
      {"HD1:Images/", "Images", ""},
      {"HD1:", nullptr, ""},
      {"", nullptr, ""},
      {"Images/missing.iff", "Images", ""},
  };
  for (const Case &c : cases) {
    char out[4096];
    int found = findclassicfile(c.name, scene, c.subfolder, out, sizeof out);
    EXPECT_EQ(found, c.found[0] != 0) << c.name;
    EXPECT_EQ(found ? readfile(out) : std::string(out), c.found) << c.name;
  }
  char small[8];
  EXPECT_EQ(findclassicfile("HD1:Images/sky.iff", scene, nullptr, small, sizeof small), 0);
  EXPECT_STREQ(small, "");
}

TEST_F(FileMapping, OutputsAppearWholeOrNotAtAll) {
  // The rest of the folder: a write that failed leaves nothing of itself behind.
  const std::vector<std::string> before = folderentries(".");
  AtomicFile out;
  ASSERT_EQ(openatomic(&out, "exact.lwo"), 1);
  fputs("new", out.file);
  EXPECT_EQ(readfile("exact.lwo"), "lower");  // untouched until the commit
  EXPECT_EQ(folderentries(".").size(), before.size() + 1);
  ASSERT_EQ(commitatomic(&out), 1);
  EXPECT_EQ(readfile("exact.lwo"), "new");
  EXPECT_EQ(folderentries("."), before);

  ASSERT_EQ(openatomic(&out, "textures\\marble.3df"), 1);  // resolved as openfile resolves
  fputs("half", out.file);
  abandonatomic(&out);
  EXPECT_EQ(readfile("Textures/MARBLE.3df"), "marble");
  EXPECT_EQ(folderentries("."), before);

  errno = 0;
  EXPECT_EQ(openatomic(&out, "nofolder/x.png"), 0);
  EXPECT_EQ(errno, ENOENT);
  ASSERT_EQ(mkdir("taken.png", 0700), 0);
  const uint8_t pixel[3] = {1, 2, 3};
  EXPECT_EQ(writepng("taken.png", pixel, 1, 1, 3), 0);  // the rename onto a folder fails
  EXPECT_EQ(errno, EISDIR);
  EXPECT_EQ(folderentries(".").size(), before.size() + 1);
}

}  // namespace
