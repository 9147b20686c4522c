#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "golden.h"
#include "platform/platform.h"

namespace {

TEST(Png, RoundTripsRgbAndRgba) {
  uint8_t *px = nullptr;
  int w = 0, h = 0;
  for (int channels : {3, 4}) {
    std::vector<uint8_t> img((size_t)5 * 3 * channels);
    for (size_t i = 0; i < img.size(); i++) img[i] = (uint8_t)(i * 37 + channels);
    ASSERT_EQ(writepng("rt.png", img.data(), 5, 3, channels), 1);
    ASSERT_EQ(readpng("rt.png", &px, &w, &h, channels), 1);
    EXPECT_EQ(std::pair(w, h), std::pair(5, 3));
    EXPECT_EQ(std::vector<uint8_t>(px, px + img.size()), img) << channels;
    free(px);
  }
  // An RGB file read as RGBA gets opaque alpha.
  uint8_t rgb[3] = {9, 8, 7};
  ASSERT_EQ(writepng("rt.png", rgb, 1, 1, 3), 1);
  ASSERT_EQ(readpng("rt.png", &px, &w, &h, 4), 1);
  EXPECT_EQ(std::vector<uint8_t>(px, px + 4), std::vector<uint8_t>({9, 8, 7, 255}));
  free(px);
}

TEST(Png, RefusesBadArgumentsAndDamagedFiles) {
  uint8_t one[4] = {1, 2, 3, 4};
  EXPECT_EQ(writepng("bad.png", one, 0, 1, 3), 0);
  EXPECT_EQ(writepng("bad.png", one, 1, 1, 2), 0);
  EXPECT_EQ(writepng("bad.png", nullptr, 1, 1, 3), 0);
  EXPECT_EQ(writepng("no/such/folder/x.png", one, 1, 1, 3), 0);

  uint8_t *px = (uint8_t *)1;
  int w = 7, h = 7;
  EXPECT_EQ(readpng("missing.png", &px, &w, &h, 3), 0);
  EXPECT_EQ(px, nullptr);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);

  std::vector<uint8_t> img(64 * 64 * 3, 90);
  ASSERT_EQ(writepng("whole.png", img.data(), 64, 64, 3), 1);
  FILE *f = fopen("whole.png", "rb");
  ASSERT_NE(f, nullptr);
  std::vector<uint8_t> bytes(100000);
  size_t n = fread(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  // Every prefix and a few flipped bytes: refused or read, never a crash.
  for (size_t cut = 0; cut < n; cut += 7) {
    f = fopen("cut.png", "wb");
    fwrite(bytes.data(), 1, cut, f);
    fclose(f);
    int got = readpng("cut.png", &px, &w, &h, 3);
    // Only the closing 12-byte IEND chunk may be missing.
    if (cut + 12 < n) {
      EXPECT_EQ(got, 0) << cut;
      EXPECT_EQ(px, nullptr);
    }
    free(px);
  }
  for (size_t at = 8; at < n; at += 5) {
    std::vector<uint8_t> bad(bytes.begin(), bytes.begin() + n);
    bad[at] ^= 0x5A;
    f = fopen("flip.png", "wb");
    fwrite(bad.data(), 1, bad.size(), f);
    fclose(f);
    if (readpng("flip.png", &px, &w, &h, 3)) {
      EXPECT_EQ(w * h > 0, true);
      free(px);
    }
  }
  EXPECT_EQ(readpng("whole.png", &px, &w, &h, 5), 0);
}

TEST(Png, GoldenHelperWritesActualAndDiffOnMismatch) {
  if (getenv("LWDEMO_UPDATE_GOLDEN") != nullptr) GTEST_SKIP() << "goldens being regenerated";
  std::vector<uint8_t> a(4 * 4 * 3, 10), b = a;
  b[3 * 5] = 11;
  ASSERT_EQ(writepng("helper.png", a.data(), 4, 4, 3), 1);
  EXPECT_TRUE(matchesgolden("helper.png", a.data(), 4, 4));
  remove("helper.actual.png");
  remove("helper.diff.png");
  EXPECT_FALSE(matchesgolden("helper.png", b.data(), 4, 4));
  uint8_t *px = nullptr;
  int w = 0, h = 0;
  ASSERT_EQ(readpng("helper.diff.png", &px, &w, &h, 3), 1);
  EXPECT_EQ(px[3 * 5], 255);
  EXPECT_EQ(px[3 * 4], 10 / 4);
  free(px);
  ASSERT_EQ(readpng("helper.actual.png", &px, &w, &h, 3), 1);
  EXPECT_EQ(px[3 * 5], 11);
  free(px);
  EXPECT_FALSE(matchesgolden("helper.png", b.data(), 2, 8));
}

}  // namespace
