#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "pngfiles.h"
#include "testutil.h"
#include "platform/platform.h"

namespace {

// Writing and reading back RGB and RGBA is pinned by every golden, capture and converter
// round trip; here, what is refused and what is read as stored.
TEST(Png, RefusesBadArgumentsDamagedFilesAndImagesTooLarge) {
  uint8_t one[4] = {1, 2, 3, 4};
  EXPECT_EQ(writepng("bad.png", one, 0, 1, 3), 0);
  EXPECT_EQ(writepng("bad.png", one, 1, 1, 2), 0);
  EXPECT_EQ(writepng("bad.png", nullptr, 1, 1, 3), 0);
  EXPECT_EQ(writepng("no/such/folder/x.png", one, 1, 1, 3), 0);

  uint8_t *px = (uint8_t *)1;
  int w = 7, h = 7;
  EXPECT_EQ(readpng("missing.png", &px, &w, &h, 3), 0);
  EXPECT_TRUE(px == nullptr && w == 0 && h == 0);

  std::vector<uint8_t> img(64 * 64 * 3, 90);
  ASSERT_EQ(writepng("whole.png", img.data(), 64, 64, 3), 1);
  const std::string bytes = readfile("whole.png");
  const size_t n = bytes.size();
  // Every prefix is refused (the fuzz target tries arbitrary bytes).
  for (size_t cut = 0; cut < n; cut += 7) {
    writefile("cut.png", bytes.data(), cut);
    int got = readpng("cut.png", &px, &w, &h, 3);
    // Only the closing 12-byte IEND chunk may be missing.
    if (cut + 12 < n) {
      EXPECT_EQ(got, 0) << cut;
      EXPECT_EQ(px, nullptr);
    }
    free(px);
  }
  EXPECT_EQ(readpng("whole.png", &px, &w, &h, 5), 0);

  // Images too large are said so with their size.
  ASSERT_EQ(writefile("huge.png", pngheaderonly(20000, 300)), 1);
  ASSERT_EQ(writefile("wide.png", pngheaderonly(300, 10)), 1);
  EXPECT_EQ(readpng("huge.png", &px, &w, &h, 3), 0);
  EXPECT_EQ(std::pair(w, h), std::pair(20000, 300));
  EXPECT_STREQ(inputfailure(), "is 20000x300 pixels, too large: at most 16384 pixels a side are read");
  EXPECT_EQ(readpngwithin("wide.png", 256, &px, &w, &h, 3), 0);
  EXPECT_EQ(std::pair(w, h), std::pair(300, 10));
  EXPECT_EQ(px, nullptr);
  // Damaged (no pixel data): the sizes stay 0 and the reason says so.
  EXPECT_EQ(readpngwithin("wide.png", 300, &px, &w, &h, 3), 0);
  EXPECT_EQ(std::pair(w, h), std::pair(0, 0));
  EXPECT_EQ(std::string(inputfailure()).rfind("is damaged or not a PNG image", 0), 0u);
  // A header claiming more pixels than its file can hold, refused before any allocation.
  ASSERT_EQ(writefile("claims.png", pngheaderonly(16000, 16000)), 1);
  EXPECT_EQ(readpng("claims.png", &px, &w, &h, 4), 0);
  EXPECT_STREQ(inputfailure(), "is damaged: its 16000x16000 pixels cannot fit in its 57 bytes");
}

// Stored values come back as they are, whatever the layout: no gamma or colour-space
// change, 16-bit channels scaled to 8 bits, interlaced rows put in place.
TEST(Png, ReadsEveryLayoutAsStored) {
  std::vector<uint8_t> gradient;
  for (int k = 0; k < 9 * 7 * 3; k++) gradient.push_back(uint8_t(k * 5));
  std::vector<uint8_t> gradientrgba;
  for (size_t k = 0; k < gradient.size(); k += 3)
    gradientrgba.insert(gradientrgba.end(), {gradient[k], gradient[k + 1], gradient[k + 2], 255});
  const struct {
    const char *what;
    PngLayout layout;
    std::vector<uint8_t> samples, rgba;
  } cases[] = {
      {"16-bit grey", {2, 1, 16, PNG_COLOR_TYPE_GRAY}, {0x40, 0x40, 0xFF, 0xFF},
       {64, 64, 64, 255, 255, 255, 255, 255}},
      {"16-bit grey, sRGB", {1, 1, 16, PNG_COLOR_TYPE_GRAY, 0, 1}, {0x40, 0x40}, {64, 64, 64, 255}},
      {"16-bit grey, linear gAMA", {1, 1, 16, PNG_COLOR_TYPE_GRAY, 0, 0, 1.0}, {0x40, 0x40},
       {64, 64, 64, 255}},
      {"16-bit RGBA", {1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA}, {0x40, 0x40, 0x80, 0x80, 0xFF, 0xFF, 0x80, 0x00},
       {64, 128, 255, 128}},
      {"8-bit with gAMA 2.2", {1, 1, 8, PNG_COLOR_TYPE_RGB, 0, 0, 2.2}, {10, 100, 200}, {10, 100, 200, 255}},
      {"interlaced", {9, 7, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_ADAM7}, gradient, gradientrgba},
  };
  for (const auto &c : cases) {
    const std::vector<uint8_t> &want = c.rgba;
    ASSERT_EQ(writepnglayout("layout.png", c.layout, c.samples), 1) << c.what;
    uint8_t *px = nullptr;
    int w = 0, h = 0;
    ASSERT_EQ(readpng("layout.png", &px, &w, &h, 4), 1) << c.what;
    EXPECT_EQ(std::pair(w, h), std::pair(c.layout.width, c.layout.height)) << c.what;
    EXPECT_EQ(std::vector<uint8_t>(px, px + want.size()), want) << c.what;
    free(px);
  }
}

}  // namespace
