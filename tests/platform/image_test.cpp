// Images read in place of 3DF textures: IFF ILBM of every layout we read, made by our own
// writer, against the pixels expected of them; damaged files refused with their cause; and
// the library path for TGA, JPEG and BMP.
#include <SDL.h>
#include <SDL_image.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testutil.h"
#include "platform/glide/cardtexture.h"
#include "tools/writers/writers.h"

namespace {

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | r << 16 | g << 8 | b; }

// A pattern with long runs and noise, so that both kinds of ByteRun1 run are written.
uint32_t pattern(int x, int y, uint32_t range) {
  if (x < 9) return (uint32_t)y % range;
  return (uint32_t)(x * 7919 + y * 104729 + x * y * 31) % range;
}

struct Sample {
  const char *name;
  IlbmWriter file;
  std::vector<uint32_t> expected;
  int alpha;
};

std::vector<uint32_t> grey(int n) {
  std::vector<uint32_t> map;
  for (int k = 0; k < n; k++) map.push_back((uint32_t)(k * 0x010101 ^ 0x5A3C1F) & 0xFFFFFF);
  return map;
}

// Each layout, its file and the pixels it must decode to. Widths are odd and not a
// multiple of 16, so every line carries the word padding.
std::vector<Sample> samples() {
  std::vector<Sample> out;
  const int w = 37, h = 5;
  auto make = [&](const char *name, int planes, std::vector<uint32_t> cmap, uint32_t range) {
    Sample s{name, {}, {}, 0};
    s.file.width = w;
    s.file.height = h;
    s.file.planes = planes;
    s.file.cmap = cmap;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) s.file.values.push_back(pattern(x, y, range));
    for (uint32_t v : s.file.values) s.expected.push_back(v < cmap.size() ? 0xFF000000u | cmap[v] : 0);
    return s;
  };
  out.push_back(make("palette8", 8, grey(256), 256));
  Sample raw = make("palette5 uncompressed", 5, grey(32), 32);
  raw.file.compression = 0;
  out.push_back(raw);

  Sample ehb = make("extra half-brite", 6, grey(32), 64);
  ehb.file.writecamg = 1;
  ehb.file.camg = 0x80;
  for (size_t k = 0; k < ehb.expected.size(); k++) {
    uint32_t v = ehb.file.values[k];
    ehb.expected[k] = v < 32 ? 0xFF000000u | ehb.file.cmap[v] : rgb((ehb.file.cmap[v - 32] >> 17) & 0x7F, (ehb.file.cmap[v - 32] >> 9) & 0x7F, (ehb.file.cmap[v - 32] >> 1) & 0x7F);
  }
  out.push_back(ehb);

  // Hold-and-modify: one row of each control code, widened by repeating the value's bits.
  Sample ham6{"HAM6", {}, {}, 0}, ham8{"HAM8", {}, {}, 0};
  for (Sample *s : {&ham6, &ham8}) {
    int bits = s == &ham6 ? 4 : 6;
    s->file.width = 5;
    s->file.height = 2;
    s->file.planes = bits + 2;
    s->file.writecamg = 1;
    s->file.camg = 0x800;
    s->file.cmap = grey(1 << bits);
    s->file.cmap[0] = 0x102030;
    s->file.cmap[5] = 0xA1B2C3;
    uint32_t max = (1u << bits) - 1, half = 1u << (bits - 1);
    uint32_t b = 1u << bits, r = 2u << bits, g = 3u << bits;
    s->file.values = {5, b | max, r | half, g | 1, 0, /* row 2 starts from colour 0 */ g | max, b | 1, 5, r, 0};
    uint32_t fmax = 255, fhalf = bits == 4 ? 0x88 : 0x82, fone = bits == 4 ? 0x11 : 0x04;
    s->expected = {rgb(0xA1, 0xB2, 0xC3), rgb(0xA1, 0xB2, fmax), rgb(fhalf, 0xB2, fmax),
                   rgb(fhalf, fone, fmax), rgb(0x10, 0x20, 0x30),
                   rgb(0x10, fmax, 0x30), rgb(0x10, fmax, fone), rgb(0xA1, 0xB2, 0xC3),
                   rgb(0, 0xB2, 0xC3), rgb(0x10, 0x20, 0x30)};
    out.push_back(*s);
  }

  for (int planes : {24, 32}) {
    Sample s{planes == 24 ? "24-bit" : "32-bit with alpha", {}, {}, planes == 24 ? 0 : 2};
    s.file.width = w;
    s.file.height = h;
    s.file.planes = planes;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        uint32_t v = pattern(x, y, 0xFFFFFFFFu) * 2654435761u;
        if (planes == 24) v &= 0xFFFFFF;
        s.file.values.push_back(v);
        s.expected.push_back((planes == 24 ? 0xFF000000u : v >> 24 << 24) | (v & 0xFF) << 16 |
                             (v >> 8 & 0xFF) << 8 | (v >> 16 & 0xFF));
      }
    out.push_back(s);
  }

  Sample masked = make("mask plane", 4, grey(16), 16);
  masked.file.masking = 1;
  masked.alpha = 1;
  for (size_t k = 0; k < masked.expected.size(); k++) {
    masked.file.mask.push_back(k % 3 != 0);
    if (k % 3 == 0) masked.expected[k] &= 0xFFFFFF;
  }
  out.push_back(masked);

  Sample keyed = make("transparent colour", 3, grey(8), 8);
  keyed.file.masking = 2;
  keyed.file.transparent = 6;
  keyed.alpha = 1;
  for (size_t k = 0; k < keyed.expected.size(); k++)
    if (keyed.file.values[k] == 6) keyed.expected[k] &= 0xFFFFFF;
  out.push_back(keyed);

  // A 4096-colour map keeps each component in the high four bits; 0xF0 means full.
  Sample nibbles = make("4-bit colour map", 2, {0xF00000, 0x00F000, 0x0000F0, 0x807060}, 4);
  const uint32_t wide[4] = {rgb(255, 0, 0), rgb(0, 255, 0), rgb(0, 0, 255), rgb(0x88, 0x77, 0x66)};
  for (size_t k = 0; k < nibbles.expected.size(); k++) nibbles.expected[k] = wide[nibbles.file.values[k]];
  out.push_back(nibbles);
  return out;
}

std::string refusal(const std::vector<uint8_t> &bytes) {
  Image image;
  const char *why = nullptr;
  if (decodeilbm(bytes.data(), bytes.size(), &image, &why)) {
    freeimage(&image);
    return "(decoded)";
  }
  EXPECT_EQ(image.argb, nullptr);
  return why ? why : "(no reason)";
}

// Each sample decodes to its pixels; every prefix of it is refused with a reason, never
// read past (a prefix ending in the BODY's pad byte may decode too).
TEST(Ilbm, EveryLayoutDecodesToItsPixelsAndEveryPrefixIsRefusedOrRead) {
  for (const Sample &s : samples()) {
    std::vector<uint8_t> bytes = ilbmbytes(s.file);
    Image image;
    const char *why = nullptr;
    ASSERT_EQ(decodeilbm(bytes.data(), bytes.size(), &image, &why), 1) << s.name << ": " << why;
    EXPECT_EQ(image.width, s.file.width) << s.name;
    EXPECT_EQ(image.alpha, s.alpha) << s.name;
    EXPECT_EQ(std::vector<uint32_t>(image.argb, image.argb + s.expected.size()), s.expected) << s.name;
    freeimage(&image);
    for (size_t n = 0; n < bytes.size(); n++) {
      std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + (long)n);
      std::string reason = refusal(prefix);
      if (reason == "(decoded)") EXPECT_GE(n + 1, bytes.size()) << s.name << " " << n;
      else EXPECT_NE(reason, "(no reason)");
    }
  }
}

TEST(Ilbm, DamagedFilesAreRefusedWithTheirCause) {
  IlbmWriter good = samples()[0].file;
  auto patched = [&](void (*change)(IlbmWriter *), size_t at, std::vector<uint8_t> bytes) {
    IlbmWriter f = good;
    if (change) change(&f);
    std::vector<uint8_t> file = ilbmbytes(f);
    for (size_t k = 0; k < bytes.size(); k++) file[at + k] = bytes[k];
    return file;
  };
  std::vector<uint8_t> whole = ilbmbytes(good);
  std::vector<uint8_t> cut(whole.begin(), whole.end() - 40);
  // BMHD chunk at 12: its data from 20; width 20, height 22, planes 28, compression 30.
  struct Case {
    const char *what;
    std::vector<uint8_t> file;
    const char *because;
  } cases[] = {
      {"no BMHD", patched(nullptr, 12, {'X', 'X', 'X', 'X'}), "no BMHD"},
      {"FORM shorter than its type", patched(nullptr, 4, {0, 0, 0, 0}), "no BMHD"},
      {"BODY short", cut, "BODY chunk is shorter"},
      {"bad plane count", patched(nullptr, 28, {12}), "plane count"},
      {"huge size", patched(nullptr, 20, {0xEA, 0x60, 0xEA, 0x60}), "too large"},
      {"size the body cannot hold", patched(nullptr, 20, {0x40, 0x00, 0x04, 0x00}), "BODY chunk is shorter"},
      {"bad compression", patched(nullptr, 30, {2}), "unknown compression"},
      {"CMAP too short", patched([](IlbmWriter *f) { f->cmap.resize(200); }, 0, {}), "fewer colours"},
      {"no CMAP", patched([](IlbmWriter *f) { f->cmap.clear(); }, 0, {}), "no CMAP"},
      {"HAM of 7 planes", patched([](IlbmWriter *f) { f->planes = 7, f->writecamg = 1, f->camg = 0x800; }, 0, {}), "6 or 8 planes"},
      {"empty", patched(nullptr, 20, {0, 0}), "empty"},
      {"chunk past the end", patched(nullptr, 16, {0x7F, 0, 0, 0}), "runs past the end"},
      {"no BODY", patched(nullptr, 12 + 28 + 8 + 768, {'X'}), "no BODY"},
      {"not IFF", patched(nullptr, 0, {'R', 'I', 'F', 'F'}), "not an IFF"},
      {"chunky picture", patched(nullptr, 8, {'P', 'B', 'M', ' '}), "PBM"},
  };
  for (const Case &c : cases) EXPECT_NE(refusal(c.file).find(c.because), std::string::npos) << c.what << ": " << refusal(c.file);
}

class Images : public FolderTest {};

// TGA (no signature, rows bottom first by default), BMP and JPEG through the library;
// the result is the same ARGB layout as the ILBM reader's.
TEST_F(Images, LibraryFormatsReadToArgb) {
  const uint32_t px[6] = {0xFF102030, 0x80405060, 0x00708090, 0xFFA0B0C0, 0xFFD0E0F0, 0xFF010203};
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 8};
  for (int y = 1; y >= 0; y--)
    for (int x = 0; x < 3; x++) {
      uint32_t c = px[y * 3 + x];
      for (int shift : {0, 8, 16, 24}) tga.push_back((uint8_t)(c >> shift));
    }
  ASSERT_EQ(writefile("pic.tga", tga), 1);
  Image image;
  const char *why = nullptr;
  ASSERT_EQ(readimage("PIC.TGA", &image, &why), 1) << why;
  EXPECT_EQ(std::vector<uint32_t>(image.argb, image.argb + 6), std::vector<uint32_t>(px, px + 6));
  EXPECT_EQ(image.alpha, 2);
  freeimage(&image);

  SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, 16, 8, 32, SDL_PIXELFORMAT_ARGB8888);
  ASSERT_NE(s, nullptr);
  SDL_FillRect(s, nullptr, 0xFF3366CC);
  ASSERT_EQ(SDL_SaveBMP(s, "pic.bmp"), 0);
  ASSERT_EQ(IMG_SaveJPG(s, "pic.jpg", 100), 0);
  SDL_FreeSurface(s);
  for (const char *name : {"pic.bmp", "pic.jpg"}) {
    ASSERT_EQ(readimage(name, &image, &why), 1) << name << ": " << why;
    EXPECT_EQ(image.width * 100 + image.height, 1608) << name;
    for (int shift : {0, 8, 16}) EXPECT_NEAR((int)(image.argb[77] >> shift & 0xFF), (int)(0xFF3366CCu >> shift & 0xFF), 3) << name;
    EXPECT_EQ(image.alpha, 0) << name;
    freeimage(&image);
  }

  // A header that claims more than the limits is refused before the library allocates.
  tga[12] = tga[13] = tga[14] = tga[15] = 0xFF;
  ASSERT_EQ(writefile("huge.tga", tga), 1);
  EXPECT_EQ(readimage("huge.tga", &image, &why), 0);
  EXPECT_NE(std::string(why).find("too large"), std::string::npos);
  for (const char *name : {"missing.tga", "."}) EXPECT_EQ(readimage(name, &image, &why), 0) << name;
  ASSERT_EQ(writefile("junk.jpg", std::string("\xFF\xD8\xFF\xE0 not really", 15)), 1);
  EXPECT_EQ(readimage("junk.jpg", &image, &why), 0);
  EXPECT_EQ(image.argb, nullptr);
}

// Any image becomes sides the card takes: each the nearest power of two (log scale), at
// most 256, the short side raised to keep within 8:1. Shrinking to them averages what each
// pixel covers; growing interpolates between centres, edges held; a flat image stays flat
// either way; channels never bleed into each other.
TEST(TextureSize, NearestPowersWithinTheCardsLimitsThenBoxDownOrBilinearUp) {
  const int cases[][4] = {{320, 200, 256, 256}, {300, 40, 256, 32}, {45, 46, 32, 64},
                          {1000, 20, 256, 32},  {3, 3, 4, 4},       {1, 1, 1, 1},
                          {17, 2000, 32, 256},  {64, 64, 64, 64},   {5000, 5000, 256, 256}};
  for (const auto &c : cases) {
    int w = 0, h = 0;
    ASSERT_EQ(cardtexturesize(c[0], c[1], &w, &h), 1);
    EXPECT_EQ(std::vector<int>({w, h}), std::vector<int>({c[2], c[3]})) << c[0] << "x" << c[1];
    EXPECT_EQ(check3dfsize(w, h, nullptr), 1);
  }
  int w, h;
  EXPECT_EQ(cardtexturesize(0, 5, &w, &h), 0);

  auto grey = [](uint32_t v) { return 0xFF000000u | v * 0x010101u; };
  std::vector<uint32_t> row = {grey(0), grey(100), grey(200), grey(250), grey(30), grey(90)};
  std::vector<uint32_t> out(4);
  cardresample(row.data(), 6, 1, out.data(), 4, 1);  // each output covers 1.5 inputs
  EXPECT_EQ(out, std::vector<uint32_t>({grey(33), grey(167), grey(177), grey(70)}));
  cardresample(row.data(), 2, 1, out.data(), 4, 1);
  EXPECT_EQ(out, std::vector<uint32_t>({grey(0), grey(25), grey(75), grey(100)}));
  std::vector<uint32_t> flat(37 * 11, 0x80C04020u), fitted(64 * 8);
  cardresample(flat.data(), 37, 11, fitted.data(), 64, 8);
  EXPECT_EQ(fitted, std::vector<uint32_t>(64 * 8, 0x80C04020u));
}

}  // namespace
