// The tex3df converter: PNG images to 3DF textures and back.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"
#include "tools/writers/writers.h"

namespace {

const char usage[] =
    "usage: tex3df [options] INPUT OUTPUT\n"
    "\n"
    "Converts a PNG image into a 3DF texture for lwdemo, or a 3DF texture into PNG images.\n"
    "The direction follows INPUT's extension: .png to .3df, or .3df to .png (any case).\n"
    "\n"
    "PNG to 3DF:\n"
    "  -f, --format NAME  texture format: rgb332, yiq, a8, i8, ai44, p8, argb8332,\n"
    "                     ayiq8422, rgb565, argb1555, argb4444, ai88, ap88.\n"
    "                     Default: rgb565, or argb4444 when any pixel is not opaque.\n"
    "                     a8 keeps the alpha channel, i8 the luminance, ai44/ai88 both;\n"
    "                     yiq/ayiq8422 get an NCC table and p8/ap88 a palette computed\n"
    "                     from the image.\n"
    "  --no-mipmaps       write the image alone, without its smaller levels\n"
    "                     (by default every level down to 1x1 is generated, each the\n"
    "                     2x2 average of the one before).\n"
    "  The image needs power-of-two sides of at most 256 and a width:height between\n"
    "  8:1 and 1:8; other images are refused (resize them first). Any PNG is read:\n"
    "  every colour type, 16-bit channels (scaled to 8 bits), interlaced; the stored\n"
    "  values are used as they are, without gamma or colour-profile changes.\n"
    "\n"
    "3DF to PNG (RGBA):\n"
    "  -l, --level N      write only level N (0 = the largest) to OUTPUT.\n"
    "                     Without it every level is written, numbered before the\n"
    "                     extension: out.png gives out_0.png (the largest), out_1.png, ...\n"
    "\n"
    "  -h, --help         show this text\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  1  bad command line\n"
    "  2  INPUT cannot be read: missing, damaged, or not a texture this card takes\n"
    "  3  INPUT cannot be converted: image size, or no such level\n"
    "  4  OUTPUT cannot be written (no part of it is left behind)\n"
    "\n"
    "Note: lwdemo never downloads a palette to its card, so p8 and ap88 textures show\n"
    "no palette there (they draw black). Their palette is still written to the file.\n";

enum { exitok = 0, exitusage = 1, exitinput = 2, exitconvert = 3, exitoutput = 4 };

int hasextension(const std::string &path, const char *ext) {
  size_t n = strlen(ext);
  return path.size() > n && strcasecmp(path.c_str() + path.size() - n, ext) == 0;
}

// out.png -> out_3.png
std::string numbered(const std::string &path, int level) {
  return path.substr(0, path.size() - 4) + "_" + std::to_string(level) + path.substr(path.size() - 4);
}

const char *palettewarning =
    "tex3df: warning: lwdemo never downloads a palette, so p8 and ap88 textures show no\n"
    "palette there (they draw black); the palette is kept in the file for other programs\n";

int pngto3df(const std::string &in, const std::string &out, int format, int mipmaps, FILE *err) {
  uint8_t *pixels = nullptr;
  int w = 0, h = 0;
  // Read no larger than a texture can be, so a huge image is refused from its header
  // instead of decoded first.
  if (!readpngwithin(in.c_str(), 256, &pixels, &w, &h, 4)) {
    if (w > 0) {
      fprintf(err, "tex3df: %s is %dx%d: too large, width and height must be at most 256; "
              "resize it first\n", in.c_str(), w, h);
      return exitconvert;
    }
    fprintf(err, "tex3df: cannot read the PNG image %s: %s\n", in.c_str(), inputfailure());
    return exitinput;
  }
  const char *why = nullptr;
  if (!check3dfsize(w, h, &why)) {
    fprintf(err, "tex3df: %s is %dx%d: %s; resize it first\n", in.c_str(), w, h, why);
    free(pixels);
    return exitconvert;
  }
  std::vector<uint32_t> argb((size_t)w * (size_t)h);
  int opaque = 1;
  for (size_t k = 0; k < argb.size(); k++) {
    const uint8_t *p = pixels + 4 * k;
    argb[k] = (uint32_t)p[3] << 24 | (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
    opaque &= p[3] == 255;
  }
  free(pixels);
  if (format < 0) format = opaque ? GR_TEXFMT_RGB_565 : GR_TEXFMT_ARGB_4444;
  TexLevels levels;
  makemiplevels(argb.data(), w, h, mipmaps, &levels);
  if (format == GR_TEXFMT_P_8 || format == GR_TEXFMT_AP_88) fputs(palettewarning, err);
  errno = 0;
  if (!write3df(out.c_str(), &levels, format)) {
    fprintf(err, "tex3df: cannot write %s: %s\n", out.c_str(),
            errno ? strerror(errno) : "the 3DF writer refused the levels");
    return exitoutput;
  }
  return exitok;
}

int tex3dftopng(const std::string &in, const std::string &out, int level, FILE *err) {
  Gu3dfInfo info;
  memset(&info, 0, sizeof info);
  if (!gu3dfGetInfo(in.c_str(), &info)) {
    fprintf(err,
            "tex3df: cannot read a 3DF header from %s: %s (missing, damaged, or a format "
            "this card does not take, such as argb8888)\n",
            in.c_str(), inputfailure());
    return exitinput;
  }
  std::vector<uint8_t> data(info.mem_required);
  info.data = data.data();
  if (!gu3dfLoad(in.c_str(), &info)) {
    fprintf(err, "tex3df: %s is damaged: %s\n", in.c_str(), inputfailure());
    return exitinput;
  }
  const Gu3dfHeader &hd = info.header;
  int count = hd.small_lod - hd.large_lod + 1;
  if (level >= count) {
    fprintf(err, "tex3df: %s has levels 0 to %d only\n", in.c_str(), count - 1);
    return exitconvert;
  }
  if (hd.format == GR_TEXFMT_P_8 || hd.format == GR_TEXFMT_AP_88) fputs(palettewarning, err);
  int bytes = cardtexelbytes(hd.format);
  size_t at = 0;
  for (int k = 0; k < count; k++) {
    int w, h;
    cardlevelsize(hd.aspect_ratio, hd.large_lod + k, &w, &h);
    size_t n = (size_t)w * (size_t)h;
    if (level < 0 || level == k) {
      std::vector<uint32_t> argb(n);
      carddecodetexels(hd.format, data.data() + at, (int)n, &info.table.nccTable,
                       info.table.palette.data, argb.data());
      std::vector<uint8_t> rgba(4 * n);
      for (size_t t = 0; t < n; t++) {
        rgba[4 * t] = (uint8_t)(argb[t] >> 16);
        rgba[4 * t + 1] = (uint8_t)(argb[t] >> 8);
        rgba[4 * t + 2] = (uint8_t)argb[t];
        rgba[4 * t + 3] = (uint8_t)(argb[t] >> 24);
      }
      std::string path = level < 0 ? numbered(out, k) : out;
      if (!writepng(path.c_str(), rgba.data(), w, h, 4)) {
        fprintf(err, "tex3df: cannot write %s: %s\n", path.c_str(), strerror(errno));
        return exitoutput;
      }
    }
    at += n * (size_t)bytes;
  }
  return exitok;
}

}  // namespace

int tex3dfmain(int argc, char **argv, FILE *out, FILE *err) {
  std::vector<std::string> files;
  int format = -1, mipmaps = 1, level = -1, haveformat = 0;
  for (int k = 1; k < argc; k++) {
    std::string a = argv[k];
    std::string value;
    int takesvalue = 0;
    if (a == "-h" || a == "--help") {
      fputs(usage, out);
      return exitok;
    } else if (a == "--no-mipmaps") {
      mipmaps = 0;
    } else if (a == "-f" || a == "--format" || a == "-l" || a == "--level") {
      if (k + 1 >= argc) {
        fprintf(err, "tex3df: %s needs a value (see tex3df --help)\n", a.c_str());
        return exitusage;
      }
      value = argv[++k];
      takesvalue = 1;
    } else if (a.rfind("--format=", 0) == 0 || a.rfind("--level=", 0) == 0) {
      value = a.substr(a.find('=') + 1);
      a = a.substr(0, a.find('='));
      takesvalue = 1;
    } else if (a.size() > 1 && a[0] == '-') {
      fprintf(err, "tex3df: unknown option %s (see tex3df --help)\n", a.c_str());
      return exitusage;
    } else {
      files.push_back(a);
    }
    if (!takesvalue) continue;
    if (a == "-f" || a == "--format") {
      format = cardformatbyname(value.c_str());
      haveformat = 1;
      if (format < 0) {
        fprintf(err,
                "tex3df: unknown texture format \"%s\"; the card takes rgb332, yiq, a8, i8, "
                "ai44, p8, argb8332, ayiq8422, rgb565, argb1555, argb4444, ai88, ap88\n",
                value.c_str());
        return exitusage;
      }
    } else {
      char *end = nullptr;
      errno = 0;
      long v = strtol(value.c_str(), &end, 10);
      if (value.empty() || *end != 0 || errno != 0 || v < 0 || v > 8) {
        fprintf(err, "tex3df: the level must be a number from 0 to 8, not \"%s\"\n",
                value.c_str());
        return exitusage;
      }
      level = (int)v;
    }
  }
  if (files.size() != 2) {
    fprintf(err, "tex3df: give one INPUT and one OUTPUT file (see tex3df --help)\n");
    return exitusage;
  }
  const std::string &in = files[0], &outpath = files[1];
  if (hasextension(in, ".png")) {
    if (!hasextension(outpath, ".3df")) {
      fprintf(err, "tex3df: a PNG image becomes a .3df file; OUTPUT %s does not end in .3df\n",
              outpath.c_str());
      return exitusage;
    }
    if (level >= 0) {
      fprintf(err, "tex3df: --level only applies to 3DF input\n");
      return exitusage;
    }
    return pngto3df(in, outpath, format, mipmaps, err);
  }
  if (hasextension(in, ".3df")) {
    if (!hasextension(outpath, ".png")) {
      fprintf(err, "tex3df: a 3DF texture becomes .png files; OUTPUT %s does not end in .png\n",
              outpath.c_str());
      return exitusage;
    }
    if (haveformat || !mipmaps) {
      fprintf(err, "tex3df: --format and --no-mipmaps only apply to PNG input\n");
      return exitusage;
    }
    return tex3dftopng(in, outpath, level, err);
  }
  fprintf(err, "tex3df: INPUT %s must end in .png or .3df\n", in.c_str());
  return exitusage;
}
