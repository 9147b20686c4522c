#include <sys/stat.h>

#include "displayfixture.h"
#include "tools/writers/writers.h"

namespace {

// The slot as texturepath leaves it, which must be filled (want 1) or refused (want 0).
std::string pathfor(const std::string &imagename, const char *folder = "textures\\", int want = 1) {
  char name[texturenamesize] = {};
  strncpy(name, imagename.c_str(), sizeof name - 1);
  EXPECT_EQ(texturepath(name, folder, "3df"), want) << imagename;
  return name;
}

// No three-character extension: the last three characters go all the same; an empty
// base name leaves the folder's own tail to be overwritten.
TEST(TexturePath, KeepsTheBaseNameAndSwapsTheLastThreeCharacters) {
  EXPECT_EQ(std::vector<std::string>({pathfor("D:\\LW\\Images\\Marble.tga"), pathfor("images\\sky.iff"), pathfor("sky.iff"),
                                      pathfor("wood"), pathfor("D:\\LW\\Images\\"), pathfor(""), pathfor("ab", "")}),
            std::vector<std::string>({"textures\\Marble.3df", "textures\\sky.3df", "textures\\sky.3df", "textures\\w3df",
                                      "textur3df", "textur3df", "3df"}));
}

TEST(TexturePath, RefusesPathsLongerThanTheSlotAndKeepsTheName) {
  // "textures\" is 9 characters and a slot holds 254: a base of 245 fits, 246 does not.
  EXPECT_EQ(pathfor("D:\\" + std::string(241, 'a') + ".tga"), "textures\\" + std::string(241, 'a') + ".3df");
  const std::string toolong = "D:\\" + std::string(242, 'a') + ".tga";
  EXPECT_EQ(pathfor(toolong, "textures\\", 0), toolong);

  // A slot without its terminating zero is read no further than the slot.
  char full[texturenamesize + 8];
  memset(full, 'b', sizeof full);
  full[texturenamesize + 7] = 0;
  EXPECT_EQ(texturepath(full, "textures\\", "3df"), 0);
  EXPECT_EQ(full[texturenamesize - 1], 'b');
}

using LoadTextures = DisplayTest;

void writeflat(const char *path, int size, uint32_t argb) {
  mkdir("textures", 0777);
  std::vector<uint32_t> img((size_t)size * size, argb);
  ASSERT_EQ(write3dfimage(path, img.data(), size, size, GR_TEXFMT_RGB_565), 1) << path;
}

TEST_F(LoadTextures, MissingSecondTextureShutsTheCardAndNamesIt) {
  ASSERT_EQ(init3d(640, 480, 16, 1), 1);
  writeflat("textures/first.3df", 32, 0xFFFF0000u);
  unlink("textures/second.3df");
  settexturenames({"images\\first.iff", "images\\second.iff"});
  fputs("Init ok\n", errorlog);
  cardtraceclear();
  EXPECT_EQ(loadtextures(), 0);
  ASSERT_NE(texturehandles[0], GR_NULL_MIPMAP_HANDLE);
  std::vector<std::string> trace = calls();
  ASSERT_EQ(trace.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(trace.begin() + 3, trace.end()),
            std::vector<std::string>({"guTexDownloadMipMap(" + std::to_string(texturehandles[0]) + ")",
                                      "gu3dfGetInfo(textures\\second.3df)", "grGlideShutdown()"}));
  EXPECT_EQ(logtext(), "Init ok\nNot able to get info on textures\\second.3df\n");
}

TEST_F(LoadTextures, OverlongNameIsRefusedLikeAMissingFile) {
  ASSERT_EQ(init3d(640, 480, 16, 1), 1);
  std::string name = std::string(250, 'n') + ".iff";
  settexturenames({name});
  EXPECT_EQ(loadtextures(), 0);
  EXPECT_EQ(logtext(), "Not able to get info on " + name + "\n");
}

// 2 MB holds eleven 256x256 rgb565 mip chains (174768 bytes each) and not twelve; the
// next scene's textures find the memory empty again.
TEST_F(LoadTextures, TexturesBeyondTheCardMemoryGetTheNullHandle) {
  ASSERT_EQ(init3d(640, 480, 16, 1), 1);
  std::vector<std::string> names;
  for (int i = 0; i < 13; i++) {
    std::string file = "big" + std::to_string(i) + ".3df";
    writeflat(("textures/" + file).c_str(), 256, 0xFF000000u | (uint32_t)(i * 19) << 8);
    names.push_back("images\\" + file);
  }
  settexturenames(names);
  EXPECT_EQ(loadtextures(), 1);
  EXPECT_NE(texturehandles[0], GR_NULL_MIPMAP_HANDLE);
  EXPECT_EQ(texturehandles[12], GR_NULL_MIPMAP_HANDLE);
  resettexturememory();
  EXPECT_EQ(loadtextures(), 1);
  EXPECT_NE(texturehandles[10], GR_NULL_MIPMAP_HANDLE);
  resettexturememory();
  closeglide();
}

}  // namespace
