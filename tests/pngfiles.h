// PNG files of any layout for the readers' tests, through libpng's full interface (the
// system's own writer makes 8-bit RGB and RGBA only).
#pragma once

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

struct PngLayout {
  int width = 1, height = 1;
  int depth = 8;                       // bits a channel
  int colour = PNG_COLOR_TYPE_RGB;     // PNG_COLOR_TYPE_*
  int interlace = PNG_INTERLACE_NONE;  // or PNG_INTERLACE_ADAM7
  int srgb = 0;                        // 1: an sRGB chunk
  double gamma = 0;                    // > 0: a gAMA chunk of that file gamma
};

// rows: the samples row after row, big-endian at 16 bits, as PNG stores them. 1 written.
inline int writepnglayout(const std::string &path, const PngLayout &l,
                          const std::vector<uint8_t> &samples) {
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, (png_uint_32)l.width, (png_uint_32)l.height, l.depth, l.colour,
               l.interlace, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (l.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
  if (l.gamma > 0) png_set_gAMA(png, info, 1 / l.gamma);
  png_write_info(png, info);
  const size_t rowbytes = samples.size() / (size_t)l.height;
  std::vector<png_bytep> rows((size_t)l.height);
  for (int y = 0; y < l.height; y++) rows[(size_t)y] = (png_bytep)samples.data() + (size_t)y * rowbytes;
  png_set_interlace_handling(png);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return fclose(f) == 0;
}

// A file whose header claims width x height and whose data is empty: enough to be refused
// by size before any pixel is decoded.
inline std::vector<uint8_t> pngheaderonly(uint32_t width, uint32_t height) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char *type, const std::vector<uint8_t> &data) {
    const uint32_t n = (uint32_t)data.size();
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(n >> s));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    const uint32_t crc = (uint32_t)crc32(0, body.data(), (uInt)body.size());
    for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(crc >> s));
  };
  std::vector<uint8_t> ihdr;
  for (uint32_t v : {width, height})
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back(uint8_t(v >> s));
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});  // 8-bit grey
  chunk("IHDR", ihdr);
  chunk("IDAT", {});
  chunk("IEND", {});
  return out;
}
