// The 3DF reader against real files made by others, hand-made headers and truncation.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"
#include "testutil.h"
#include "tools/writers/writers.h"

namespace {

std::string testdata(const char *name) {
  return std::string(LWDEMO_TESTDATA_DIR) + "/3df/" + name;
}

// Bytes up to and including the fourth line feed.
size_t headerbytes(const std::string &file) {
  int lines = 0;
  for (size_t k = 0; k < file.size(); k++)
    if (file[k] == '\n' && ++lines == 4) return k + 1;
  return 0;
}

struct Loaded {
  Gu3dfInfo info;
  std::vector<uint8_t> data;
  FxBool got = FXFALSE, loaded = FXFALSE;
};

// gu3dfGetInfo, then exactly mem_required bytes (the sanitizer build catches any write
// beyond), then gu3dfLoad, as the texture loader does.
void load(const std::string &path, Loaded *l) {
  memset(&l->info, 0, sizeof l->info);
  l->got = gu3dfGetInfo(path.c_str(), &l->info);
  if (!l->got) return;
  l->data.assign(l->info.mem_required, 0xAB);
  l->info.data = l->data.empty() ? nullptr : l->data.data();
  l->loaded = gu3dfLoad(path.c_str(), &l->info);
}

// Each file's header: format, large level (the small one is GR_LOD_1 in all), aspect,
// width, height; and its size.
const struct {
  const char *name;
  int format, largelod, aspect;
  FxU32 width, height;
  size_t size;
} realfiles[] = {
    {"sst1_alpha_a8.3df", GR_TEXFMT_ALPHA_8, GR_LOD_256, GR_ASPECT_1x1, 256, 256, 87428},
    {"sst1_rgb332.3df", GR_TEXFMT_RGB_332, GR_LOD_256, GR_ASPECT_1x1, 256, 256, 87432},
    {"texus_yiq.3df", GR_TEXFMT_YIQ_422, GR_LOD_256, GR_ASPECT_1x1, 256, 256, 87509},
    {"lava_p8.3df", GR_TEXFMT_P_8, GR_LOD_256, GR_ASPECT_1x1, 256, 256, 88452},
    {"sst1_rgb565.3df", GR_TEXFMT_RGB_565, GR_LOD_256, GR_ASPECT_1x1, 256, 256, 174813},
    {"sst1_argb1555.3df", GR_TEXFMT_ARGB_1555, GR_LOD_256, GR_ASPECT_1x1, 256, 256, 174815},
    {"sst1_argb4444.3df", GR_TEXFMT_ARGB_4444, GR_LOD_256, GR_ASPECT_1x1, 256, 256, 174815},
    {"sst1_light_rgb565_64.3df", GR_TEXFMT_RGB_565, GR_LOD_64, GR_ASPECT_1x1, 64, 64, 10972},
    {"texus_stone2_rgb565_2x1.3df", GR_TEXFMT_RGB_565, GR_LOD_256, GR_ASPECT_2x1, 256, 128, 87433},
};

TEST(Tex3df, RealFilesGiveTheirHeadersAndLoad) {
  for (const auto &rf : realfiles) {
    SCOPED_TRACE(rf.name);
    std::string file = readfile(testdata(rf.name));
    ASSERT_EQ(file.size(), rf.size);
    Loaded l;
    load(testdata(rf.name), &l);
    ASSERT_TRUE(l.got);
    const Gu3dfHeader &h = l.info.header;
    EXPECT_EQ(std::vector<int>({h.format, h.small_lod, h.large_lod, h.aspect_ratio, (int)h.width, (int)h.height}),
              std::vector<int>({rf.format, GR_LOD_1, rf.largelod, rf.aspect, (int)rf.width, (int)rf.height}));
    const size_t table = rf.format == GR_TEXFMT_YIQ_422 ? 80 : rf.format == GR_TEXFMT_P_8 ? 1024 : 0;
    EXPECT_EQ(headerbytes(file) + table + l.info.mem_required, file.size());
    EXPECT_TRUE(l.loaded);
  }
}

// The tables as the files hold them: a palette entry (RGB 181, 8, 8) and the NCC
// table's values with the packed words made from them; decoding is TexDecode's.
TEST(Tex3df, TablesOfRealFiles) {
  Loaded lava, yiq;
  load(testdata("lava_p8.3df"), &lava);
  load(testdata("texus_yiq.3df"), &yiq);
  ASSERT_TRUE(lava.loaded && yiq.loaded);
  EXPECT_EQ(lava.info.table.palette.data[0] & 0xFFFFFF, 0xB50808u);
  const GuNccTable &t = yiq.info.table.nccTable;
  EXPECT_EQ(t.yRGB[15], 0xea);
  EXPECT_EQ(t.packed_data[0], 0x2f362519u);  // Y[0..3] = 0x19, 0x25, 0x36, 0x2f
  EXPECT_EQ(std::vector<int>(t.iRGB[0], t.iRGB[0] + 3), std::vector<int>({79, -43, -41}));
  EXPECT_EQ(t.packed_data[4], (79u << 18) | ((FxU32)-43 & 0x1FF) << 9 | ((FxU32)-41 & 0x1FF));
}

TEST(Tex3df, HeaderParsing) {
  const char *path = "header.3df";
  // The four lines must fit a 100-byte buffer with its terminating zero.
  const std::string longest = "3df v1.1\nrgb565\nlod range: 1 1\naspect ratio: 1 1";
  struct Case {
    std::string header;
    int ok;
  } cases[] = {
      {"3df v1.1\nrgb565\nlod range: 1 1\naspect ratio: 1 1\n", 1},
      {"3df v1.0\nRGB565\nlod range:1 1\naspect ratio:\t1 1\n", 1},  // any case, any blanks
      {"3df v1.4\nrgb565\nlod range: 0x1 01\naspect ratio: 01 0x1\n", 1},  // %i: hex, octal
      {"3df v1.1\n# made by hand\nrgb565\nlod range: 1 1\n", 0},  // comment lines
      {"3df v1.1\nargb8888\nlod range: 1 1\naspect ratio: 1 1\n", 0},
      {"3df v1.1\nrgb565\nlod range: 3 256\naspect ratio: 1 1\n", 0},  // not a power of two
      {"3df v1.1\nrgb565\nlod range: 1 512\naspect ratio: 1 1\n", 0},
      {"3df v1.1\nrgb565\nlod range: 0 256\naspect ratio: 1 1\n", 0},
      {"3df v1.1\nrgb565\nlod range: -1 1\naspect ratio: 1 1\n", 0},
      {"3df v1.1\nrgb565\nlod range: 256 1\naspect ratio: 1 1\n", 0},  // small > large
      {"3df v1.1\nrgb565\nlod range: 1 1\naspect ratio: 3 1\n", 0},
      {"3df v1.12345\nrgb565\nlod range: 1 1\naspect ratio: 1 1\n", 0},  // overlong tokens
      {"3df v1.1\nargb155555\nlod range: 1 1\naspect ratio: 1 1\n", 0},
      {"3DF v1.1\nrgb565\nlod range: 1 1\naspect ratio: 1 1\n", 0},
      {"3df v1.1\nrgb565\nlod range: 1 1\naspect ratio: 1\n1\n", 0},
      {"3df v1.1\nrgb565\nlod range: 1 1\naspect ratio: 1 1", 0},  // fourth line unfinished
      {"3df v1.1\nrgb565\nlod range: 1 99999999999\naspect ratio: 1 1\n", 0},
      {longest + std::string(98 - longest.size(), ' ') + "\n", 1},
      {longest + std::string(99 - longest.size(), ' ') + "\n", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.header);
    writefile(path, c.header + "\x12\x34");
    Gu3dfInfo info;
    memset(&info, 0, sizeof info);
    EXPECT_EQ(gu3dfGetInfo(path, &info), c.ok);
    if (c.ok) {
      EXPECT_EQ(info.mem_required, 2u);
      uint16_t texel = 0;
      info.data = &texel;
      EXPECT_TRUE(gu3dfLoad(path, &info));
      EXPECT_EQ(texel, 0x1234);
    }
  }
  Gu3dfInfo info;
  EXPECT_FALSE(gu3dfGetInfo("no such file.3df", &info));
  EXPECT_FALSE(gu3dfGetInfo(nullptr, &info));
}

TEST(Tex3df, LoadWritesNoMoreThanTheHeaderPromised) {
  const char *path = "grown.3df";
  writefile(path, "3df v1.1\nrgb565\nlod range: 1 1\naspect ratio: 1 1\n\x12\x34");
  Gu3dfInfo info;
  ASSERT_TRUE(gu3dfGetInfo(path, &info));
  uint16_t texel = 0;
  info.data = &texel;
  // The file grows between the two calls: its new header asks for more than was allocated.
  writefile(path, "3df v1.1\nrgb565\nlod range: 1 2\naspect ratio: 1 1\n0123456789");
  EXPECT_FALSE(gu3dfLoad(path, &info));
  info.data = nullptr;
  EXPECT_FALSE(gu3dfLoad(path, &info));
}

// Every prefix of a valid file is read or refused; only the whole file loads.
TEST(Tex3df, TruncationSweep) {
  std::vector<uint32_t> image(16 * 8);
  for (size_t k = 0; k < image.size(); k++) image[k] = 0x80000000u | (uint32_t)(k * 0x010203u * 37);
  TexLevels levels;
  ASSERT_TRUE(makemiplevels(image.data(), 16, 8, 1, &levels));
  // A thousand small files: in memory where the system offers it, as creating each on a
  // disk took 6 ms.
  struct stat st;
  std::string scratch = stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode)
                            ? "/dev/shm/lwdemo-prefix-" + std::to_string(getpid()) + ".3df"
                            : "prefix.3df";
  const char *path = scratch.c_str();
  for (int format : {GR_TEXFMT_YIQ_422, GR_TEXFMT_AP_88, GR_TEXFMT_RGB_565, GR_TEXFMT_ALPHA_INTENSITY_44}) {
    SCOPED_TRACE(format);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(encode3df(&levels, format, &bytes));
    std::string file(bytes.begin(), bytes.end());
    for (size_t n = 0; n <= file.size(); n++) {
      writefile(path, file.data(), n);
      Loaded l;
      load(path, &l);
      EXPECT_EQ(l.got, n >= headerbytes(file)) << n;
      EXPECT_EQ(l.loaded, n == file.size()) << n;
    }
  }
  unlink(path);
}

}  // namespace
