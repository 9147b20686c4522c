// Golden-image comparison shared by the test folders.
//
// matchesgolden(golden, rgb, width, height) compares 8-bit RGB pixels (rows top first)
// exactly with the PNG at the path golden. On a mismatch or a missing golden it writes
// "<name>.actual.png" and "<name>.diff.png" (<name> = the golden's file name without
// ".png") into the working folder: the diff shows matching pixels as a dark copy of the
// golden and differing pixels in full red.
//
// To regenerate: run the test with LWDEMO_UPDATE_GOLDEN=1 in the environment; each
// compared image is then written over its golden (in the source tree) and the comparison
// passes. Review the new PNGs before committing them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"

inline ::testing::AssertionResult matchesgolden(const char *golden, const uint8_t *rgb,
                                                int width, int height) {
  const char *update = getenv("LWDEMO_UPDATE_GOLDEN");
  if (update != nullptr && update[0] != 0 && strcmp(update, "0") != 0) {
    if (!writepng(golden, rgb, width, height, 3))
      return ::testing::AssertionFailure() << "cannot write golden " << golden;
    return ::testing::AssertionSuccess();
  }
  std::string base = golden;
  base = base.substr(base.find_last_of('/') + 1);  // npos + 1 is 0: the whole name
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".png") == 0) base.resize(base.size() - 4);
  uint8_t *ref = nullptr;
  int w = 0, h = 0;
  int loaded = readpng(golden, &ref, &w, &h, 3);
  bool sized = loaded && w == width && h == height;
  size_t count = (size_t)width * (size_t)height, differing = 0;
  int first = -1;
  std::vector<uint8_t> diff(count * 3);
  for (size_t i = 0; i < count; i++) {
    bool same = sized && memcmp(rgb + 3 * i, ref + 3 * i, 3) == 0;
    if (!same && differing++ == 0) first = (int)i;
    for (int c = 0; c < 3; c++)
      diff[3 * i + c] = same ? (uint8_t)(ref[3 * i + c] / 4) : (uint8_t)(c == 0 ? 255 : 0);
  }
  free(ref);
  if (sized && differing == 0) return ::testing::AssertionSuccess();
  writepng((base + ".actual.png").c_str(), rgb, width, height, 3);
  writepng((base + ".diff.png").c_str(), diff.data(), width, height, 3);
  if (!loaded)
    return ::testing::AssertionFailure()
           << "golden " << golden << " missing or unreadable; wrote " << base
           << ".actual.png (LWDEMO_UPDATE_GOLDEN=1 creates it)";
  if (!sized)
    return ::testing::AssertionFailure() << "golden " << golden << " is " << w << "x" << h
                                         << ", image is " << width << "x" << height;
  return ::testing::AssertionFailure()
         << differing << " pixels differ from " << golden << ", first at (" << first % width
         << ", " << first / width << "); wrote " << base << ".actual.png and " << base
         << ".diff.png";
}
