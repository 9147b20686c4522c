#include <string>

#include "displayfixture.h"

namespace {

std::string pathfor(const char *imagename, const char *folder = "textures\\",
                    const char *extension = "3df") {
  char name[texturenamesize] = {};
  strncpy(name, imagename, sizeof name - 1);
  EXPECT_EQ(texturepath(name, folder, extension), 1) << imagename;
  return name;
}

TEST(TexturePath, KeepsTheBaseNameAndSwapsTheLastThreeCharacters) {
  EXPECT_EQ(pathfor("D:\\LW\\Images\\Marble.tga"), "textures\\Marble.3df");
  EXPECT_EQ(pathfor("images\\sky.iff"), "textures\\sky.3df");
  EXPECT_EQ(pathfor("sky.iff"), "textures\\sky.3df");
  // No three-character extension: the last three characters go all the same.
  EXPECT_EQ(pathfor("wood"), "textures\\w3df");
  // An empty base name leaves the folder's own tail to be overwritten.
  EXPECT_EQ(pathfor("D:\\LW\\Images\\"), "textur3df");
  EXPECT_EQ(pathfor(""), "textur3df");
  EXPECT_EQ(pathfor("ab", ""), "3df");
}

TEST(TexturePath, RefusesPathsLongerThanTheSlotAndKeepsTheName) {
  // "textures\" is 9 characters and a slot holds 254: a base of 245 fits, 246 does not.
  std::string fits = "D:\\" + std::string(241, 'a') + ".tga";
  char name[texturenamesize] = {};
  memcpy(name, fits.c_str(), fits.size() + 1);
  ASSERT_EQ(texturepath(name, "textures\\", "3df"), 1);
  EXPECT_EQ(strlen(name), 254u);
  EXPECT_EQ(std::string(name), "textures\\" + std::string(241, 'a') + ".3df");

  std::string toolong = "D:\\" + std::string(242, 'a') + ".tga";
  memcpy(name, toolong.c_str(), toolong.size() + 1);
  EXPECT_EQ(texturepath(name, "textures\\", "3df"), 0);
  EXPECT_EQ(std::string(name), toolong);

  // A slot without its terminating zero is read no further than the slot.
  char full[texturenamesize + 8];
  memset(full, 'b', sizeof full);
  full[texturenamesize + 7] = 0;
  EXPECT_EQ(texturepath(full, "textures\\", "3df"), 0);
  EXPECT_EQ(full[texturenamesize - 1], 'b');
}

}  // namespace
