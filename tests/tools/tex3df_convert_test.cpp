// The tex3df converter and the 3DF writer it uses: PNG -> 3DF -> PNG round trips per
// format within what each keeps of a colour, levels, messages and exit codes. The NCC fit
// and the mip levels' box averages are pinned by the show's goldens, whose textures the
// writer made.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/glide/cardtexture.h"
#include "platform/platform.h"
#include "pngfiles.h"
#include "testutil.h"
#include "tools/writers/writers.h"

namespace {

int chan(uint32_t c, int shift) { return (int)(c >> shift & 0xFF); }
int luma(uint32_t c) { return (77 * chan(c, 16) + 150 * chan(c, 8) + 29 * chan(c, 0) + 128) >> 8; }

// A smooth, colourful image with varying alpha.
std::vector<uint32_t> gradient(int w, int h) {
  std::vector<uint32_t> img((size_t)w * (size_t)h);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t r = (uint32_t)(x * 255 / (w - 1)), g = (uint32_t)(y * 255 / (h - 1));
      uint32_t b = (uint32_t)((x + y) * 255 / (w + h - 2)), a = (uint32_t)((x * 37 + y * 11) & 255);
      img[(size_t)y * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return img;
}

// What each format keeps of a colour.
uint32_t expected(int format, uint32_t c) {
  uint32_t a = c >> 24, l = (uint32_t)luma(c);
  switch (format) {
    case GR_TEXFMT_ALPHA_8: return a * 0x01010101u;
    case GR_TEXFMT_INTENSITY_8: return 0xFF000000u | l * 0x010101u;
    case GR_TEXFMT_ALPHA_INTENSITY_44:
    case GR_TEXFMT_ALPHA_INTENSITY_88: return a << 24 | l * 0x010101u;
    case GR_TEXFMT_RGB_332:
    case GR_TEXFMT_YIQ_422:
    case GR_TEXFMT_P_8:
    case GR_TEXFMT_RGB_565: return 0xFF000000u | (c & 0xFFFFFF);
    case GR_TEXFMT_ARGB_1555: return (a >= 128 ? 0xFF000000u : 0) | (c & 0xFFFFFF);
    default: return c;
  }
}

// How far each channel may move (A, R, G, B): half a step of the field it is stored in,
// plus one for rounding, where the field is narrower than 8 bits; and the mean difference
// over all channels and texels.
const struct {
  int format, tol[4];
  double mean;
} precisions[] = {
    {GR_TEXFMT_RGB_332, {0, 19, 19, 43}, 10},
    {GR_TEXFMT_ALPHA_8, {0, 0, 0, 0}, 0},
    {GR_TEXFMT_INTENSITY_8, {0, 0, 0, 0}, 0},
    {GR_TEXFMT_ALPHA_INTENSITY_44, {9, 9, 9, 9}, 4.5},
    {GR_TEXFMT_ARGB_8332, {0, 19, 19, 43}, 10},
    {GR_TEXFMT_RGB_565, {0, 5, 3, 5}, 1.5},
    {GR_TEXFMT_ARGB_1555, {0, 5, 5, 5}, 1.5},
    {GR_TEXFMT_ARGB_4444, {9, 9, 9, 9}, 4.5},
    {GR_TEXFMT_ALPHA_INTENSITY_88, {0, 0, 0, 0}, 0},
    // NCC has 16 luminance steps and two 4-step colour axes for the whole texture: this
    // gradient fills a wide colour volume, the hardest case. Measured worst 35, mean 3.4.
    {GR_TEXFMT_YIQ_422, {0, 40, 40, 40}, 4},
    {GR_TEXFMT_AYIQ_8422, {0, 40, 40, 40}, 4},
    // 256 palette entries for the gradient's 2048 colours. Measured worst 12, mean 2.7.
    {GR_TEXFMT_P_8, {0, 14, 14, 14}, 3},
    {GR_TEXFMT_AP_88, {0, 14, 14, 14}, 3},
};

// Each test converts in a folder of its own: ctest runs them side by side.
using Tex3dfConvert = FolderTest;

struct ToolRun {
  int code;
  std::string out, err;
};

ToolRun tex3df(std::vector<std::string> args) {
  args.insert(args.begin(), "tex3df");
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  FILE *out = tmpfile(), *err = tmpfile();
  const ToolRun r{tex3dfmain((int)args.size(), argv.data(), out, err), filetext(out), filetext(err)};
  fclose(out);
  fclose(err);
  return r;
}

void savepng(const char *path, const std::vector<uint32_t> &argb, int w, int h) {
  std::vector<uint8_t> rgba;
  for (uint32_t c : argb)
    for (int shift : {16, 8, 0, 24}) rgba.push_back((uint8_t)(c >> shift));
  ASSERT_TRUE(writepng(path, rgba.data(), w, h, 4));
}

std::vector<uint32_t> loadpng(const char *path, int *w, int *h) {
  uint8_t *p = nullptr;
  std::vector<uint32_t> argb;
  if (!readpng(path, &p, w, h, 4)) return argb;
  argb.resize((size_t)*w * (size_t)*h);
  for (size_t k = 0; k < argb.size(); k++)
    argb[k] = (uint32_t)p[4 * k + 3] << 24 | (uint32_t)p[4 * k] << 16 |
              (uint32_t)p[4 * k + 1] << 8 | p[4 * k + 2];
  free(p);
  return argb;
}

Gu3dfHeader headerof(const char *path) {
  Gu3dfInfo info;
  memset(&info, 0, sizeof info);
  EXPECT_TRUE(gu3dfGetInfo(path, &info));
  return info.header;
}

TEST_F(Tex3dfConvert, EveryFormatRoundTripsWithinItsPrecision) {
  std::vector<uint32_t> img = gradient(32, 64);
  savepng("grad.png", img, 32, 64);
  for (const auto &p : precisions) {
    SCOPED_TRACE(cardformatname(p.format));
    ToolRun r = tex3df({"--format", cardformatname(p.format), "grad.png", "grad.3df"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Gu3dfHeader header = headerof("grad.3df");
    EXPECT_EQ(std::pair(header.format, header.aspect_ratio), std::pair(p.format, GR_ASPECT_1x2));
    r = tex3df({"--level", "0", "grad.3df", "back.png"});
    ASSERT_EQ(r.code, 0) << r.err;
    int w, h;
    std::vector<uint32_t> back = loadpng("back.png", &w, &h);
    ASSERT_EQ(std::pair(w, h), std::pair(32, 64));
    int worst[4] = {0, 0, 0, 0};
    double sum = 0;
    for (size_t k = 0; k < img.size(); k++)
      for (int ch = 0; ch < 4; ch++) {
        const int d = std::abs(chan(expected(p.format, img[k]), 24 - 8 * ch) - chan(back[k], 24 - 8 * ch));
        worst[ch] = std::max(worst[ch], d);
        sum += d;
      }
    for (int ch = 0; ch < 4; ch++) EXPECT_LE(worst[ch], p.tol[ch]) << "channel " << "ARGB"[ch];
    EXPECT_LE(sum / (double)(img.size() * 4), p.mean);
  }
  // Palette formats are exact for images of at most 256 colours, and say that lwdemo
  // shows no palette.
  std::vector<uint32_t> few(16 * 16);
  for (size_t k = 0; k < few.size(); k++) few[k] = (uint32_t)(k % 5 * 60) << 24 | (uint32_t)(k * 97 % 251) * 0x030507u;
  savepng("few.png", few, 16, 16);
  for (const char *format : {"p8", "ap88"}) {
    ToolRun r = tex3df({"-f", format, "few.png", "few.3df"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("warning: lwdemo never downloads a palette, so p8 and ap88"), std::string::npos);
    ASSERT_EQ(tex3df({"-l", "0", "few.3df", "few-back.png"}).code, 0);
    int w, h;
    std::vector<uint32_t> back = loadpng("few-back.png", &w, &h);
    ASSERT_EQ(back.size(), few.size());
    for (size_t k = 0; k < few.size(); k++)
      ASSERT_EQ(back[k], strcmp(format, "p8") == 0 ? few[k] | 0xFF000000u : few[k]) << k;
  }
}

TEST_F(Tex3dfConvert, LevelsAndDefaults) {
  std::vector<uint32_t> opaque(64 * 8, 0xFF336699u);
  savepng("wide.png", opaque, 64, 8);
  ASSERT_EQ(tex3df({"wide.png", "wide.3df"}).code, 0);
  Gu3dfHeader h = headerof("wide.3df");
  EXPECT_EQ(std::vector<int>({h.format, h.aspect_ratio, h.large_lod, h.small_lod}),
            std::vector<int>({GR_TEXFMT_RGB_565, GR_ASPECT_8x1, GR_LOD_64, GR_LOD_1}));
  ASSERT_EQ(tex3df({"wide.3df", "wide.png.out.png"}).code, 0);
  const int sides[7][2] = {{64, 8}, {32, 4}, {16, 2}, {8, 1}, {4, 1}, {2, 1}, {1, 1}};
  for (int k = 0; k < 7; k++) {
    int w = 0, hh = 0;
    std::string name = "wide.png.out_" + std::to_string(k) + ".png";
    std::vector<uint32_t> level = loadpng(name.c_str(), &w, &hh);
    EXPECT_EQ(std::pair(w, hh), std::pair(sides[k][0], sides[k][1])) << name;
    ASSERT_FALSE(level.empty()) << name;
    EXPECT_EQ(level[0], 0xFF31659Cu);  // 565 of 0x336699, widened
  }
  EXPECT_FALSE(std::filesystem::exists("wide.png.out_7.png"));

  std::vector<uint32_t> clear = opaque;
  clear[5] = 0x80336699u;
  savepng("alpha.png", clear, 64, 8);
  ASSERT_EQ(tex3df({"alpha.png", "alpha.3df", "--no-mipmaps"}).code, 0);
  h = headerof("alpha.3df");
  EXPECT_EQ(h.format, GR_TEXFMT_ARGB_4444);
  EXPECT_EQ(h.small_lod, h.large_lod);
  ToolRun r = tex3df({"--level=1", "alpha.3df", "x.png"});
  EXPECT_EQ(r.code, 3);
  EXPECT_NE(r.err.find("levels 0 to 0"), std::string::npos);
}

// Each row in turn (ok.3df is made before it is read): the exit code and what standard
// output or error says.
TEST_F(Tex3dfConvert, ErrorsAndExitCodes) {
  const std::string dir = std::string(LWDEMO_TESTDATA_DIR) + "/3df/";
  savepng("odd.png", std::vector<uint32_t>(100 * 64), 100, 64);
  savepng("big.png", std::vector<uint32_t>(512 * 512), 512, 512);
  savepng("thin.png", std::vector<uint32_t>(256 * 16), 256, 16);
  savepng("ok.png", std::vector<uint32_t>(16 * 16), 16, 16);
  ASSERT_TRUE(writefile("junk.png", "not a png"));
  // An image too large is refused, with the limit, before it is decoded.
  ASSERT_TRUE(writefile("huge.png", pngheaderonly(20000, 20000)));
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string says;
  } cases[] = {
      {{"--help"}, 0, "usage: tex3df [options] INPUT OUTPUT\n"},
      {{"--help"}, 0, "4  OUTPUT cannot be written"},
      {{}, 1, "one INPUT and one OUTPUT"},
      {{"ok.png"}, 1, "one INPUT and one OUTPUT"},
      {{"--bogus", "ok.png", "x.3df"}, 1, "unknown option --bogus"},
      {{"-f", "argb8888", "ok.png", "x.3df"}, 1, "unknown texture format \"argb8888\""},
      {{"ok.png", "x.3df", "-f"}, 1, "-f needs a value"},
      {{"--level", "x", "a.3df", "x.png"}, 1, "from 0 to 8"},
      {{"--level", "9", "a.3df", "x.png"}, 1, "from 0 to 8"},
      {{"ok.png", "x.png"}, 1, "does not end in .3df"},
      {{"a.3df", "x.3df"}, 1, "does not end in .png"},
      {{"ok.tga", "x.3df"}, 1, "must end in .png or .3df"},
      {{"-l", "0", "ok.png", "x.3df"}, 1, "only applies to 3DF input"},
      {{"-f", "p8", "a.3df", "x.png"}, 1, "only apply to PNG input"},
      {{"missing.png", "x.3df"}, 2, "cannot read the PNG image missing.png"},
      {{"junk.png", "x.3df"}, 2, "cannot read the PNG image junk.png"},
      {{"missing.3df", "x.png"}, 2, "cannot read a 3DF header"},
      {{dir + "sst1_argb8888.3df", "x.png"}, 2, "such as argb8888"},
      {{dir + "broken/sst1_ayiq8422_TRUNCATED.3df", "x.png"}, 2, "ayiq8422_TRUNCATED.3df is damaged: is cut short"},
      {{dir + "broken/sst1_ap88_TRUNCATED.3df", "x.png"}, 2, "sst1_ap88_TRUNCATED.3df is damaged: is cut short"},
      {{"odd.png", "x.3df"}, 3, "odd.png is 100x64: width and height must be powers of two"},
      {{"big.png", "x.3df"}, 3, "must be at most 256"},
      {{"thin.png", "x.3df"}, 3, "between 8:1 and 1:8"},
      {{"huge.png", "x.3df"}, 3,
       "tex3df: huge.png is 20000x20000: too large, width and height must be at most 256; resize it first\n"},
      {{"ok.png", "no/such/folder/x.3df"}, 4, "cannot write no/such/folder/x.3df"},
      {{"ok.png", "ok.3df"}, 0, ""},
      {{"ok.3df", "no/such/folder/x.png"}, 4, "cannot write no/such/folder/x_0.png"},
      {{"-l", "0", dir + "lava_p8.3df", "lava.png"}, 0, "p8 and ap88"},
  };
  for (const Case &c : cases) {
    const ToolRun r = tex3df(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << r.out << r.err;
  }
}

// The writer's own refusals: the converter checks sizes and format names before it.
TEST_F(Tex3dfConvert, TheWriterRefusesWhatNoCardTextureCanBe) {
  std::vector<uint32_t> img(64, 0);
  TexLevels levels;
  ASSERT_TRUE(makemiplevels(img.data(), 8, 8, 1, &levels));
  std::vector<uint8_t> file;
  EXPECT_FALSE(encode3df(&levels, 0x10, &file));  // argb8888
  levels.width[2] = 3;
  EXPECT_FALSE(encode3df(&levels, GR_TEXFMT_RGB_565, &file));
  EXPECT_TRUE(file.empty());
  EXPECT_FALSE(write3dfimage("bad.3df", img.data(), 8, 12, GR_TEXFMT_RGB_565));
}

}  // namespace
