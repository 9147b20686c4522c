// IFF ILBM images, as the Amiga's paint and render programs wrote them.
//
//   FORM <length> ILBM
//     BMHD  20 bytes: width, height (16-bit), x, y, planes, masking, compression, pad,
//           transparent colour (16-bit), x and y aspect, page width and height
//     CMAP  3 bytes (R, G, B) per colour
//     CAMG  4 bytes of display mode: 0x800 hold-and-modify, 0x80 extra half-brite
//     BODY  the rows, top first; each row holds every plane's line of bits, plane 0
//           first, then the mask plane when masking is 1; each line is the width in bits
//           padded to a whole 16-bit word; the most significant bit is the leftmost pixel
//
// All numbers are big-endian and every chunk is padded to an even length. ByteRun1 packs
// each row as runs: a control byte n of 0..127 copies the next n + 1 bytes, -127..-1
// repeats the next byte 1 - n times, -128 is nothing. Runs are meant to stop at the end of
// each line, but some writers let them run on; the body is unpacked as one stream, which
// reads both.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/platform.h"

namespace {

constexpr uint32_t camgham = 0x800;
constexpr uint32_t camgehb = 0x80;
// A ByteRun1 pair of bytes gives at most 128: no packed body is shorter than 1/64 of the
// rows it stands for.
constexpr int byterun1ratio = 64;

inline uint32_t be16(const uint8_t *p) { return (uint32_t)p[0] << 8 | p[1]; }
inline uint32_t be32(const uint8_t *p) { return be16(p) << 16 | be16(p + 2); }

struct Span {
  const uint8_t *data = nullptr;
  size_t size = 0;
  int present = 0;
};

struct Chunks {
  Span bmhd, cmap, camg, body;
};

// The chunks of the FORM, the first of each kind. 0 and *why when the file is no ILBM or
// a chunk other than the body runs past the end; a body that does would be cut short
// only when the rows need the missing bytes, so it is kept to what is there.
int findchunks(const uint8_t *data, size_t size, Chunks *c, const char **why) {
  if (size < 12 || memcmp(data, "FORM", 4) != 0) {
    *why = "not an IFF file (it does not begin with FORM)";
    return 0;
  }
  if (memcmp(data + 8, "ILBM", 4) != 0) {
    *why = memcmp(data + 8, "PBM ", 4) == 0
               ? "a chunky PBM picture, not ILBM; only ILBM images are read"
               : "an IFF file of another kind than ILBM";
    return 0;
  }
  // The FORM's length bounds the walk; a length past the file's end gives way to the file,
  // and one too short to hold even the form type leaves no chunks.
  size_t end = be32(data + 4);
  end = end > size - 8 ? size : end + 8;
  size_t at = 12;
  if (end < at) end = at;
  while (end - at >= 8) {
    const uint8_t *id = data + at;
    size_t len = be32(data + at + 4);
    at += 8;
    Span *s = memcmp(id, "BMHD", 4) == 0   ? &c->bmhd
              : memcmp(id, "CMAP", 4) == 0 ? &c->cmap
              : memcmp(id, "CAMG", 4) == 0 ? &c->camg
              : memcmp(id, "BODY", 4) == 0 ? &c->body
                                           : nullptr;
    if (len > end - at) {
      if (s != &c->body) {
        *why = "a chunk runs past the end of the file";
        return 0;
      }
      len = end - at;
    }
    if (s != nullptr && !s->present) {
      s->data = data + at;
      s->size = len;
      s->present = 1;
    }
    at += len;
    if (len & 1 && at < end) at++;
  }
  return 1;
}

// Unpacks the body as one stream of bytes.
struct Unpacker {
  const uint8_t *p, *end;
  int packed;
  size_t left = 0;   // bytes left in the current run
  int repeat = 0;    // the run repeats value; else it copies
  uint8_t value = 0;
};

// The next n bytes into out; 0 when the body ends first.
int unpack(Unpacker *u, uint8_t *out, size_t n) {
  if (!u->packed) {
    if ((size_t)(u->end - u->p) < n) return 0;
    memcpy(out, u->p, n);
    u->p += n;
    return 1;
  }
  while (n > 0) {
    if (u->left == 0) {
      if (u->p == u->end) return 0;
      int control = (int8_t)*u->p++;
      if (control == -128) continue;
      if (control >= 0) {
        u->left = (size_t)control + 1;
        u->repeat = 0;
      } else {
        if (u->p == u->end) return 0;
        u->left = (size_t)(1 - control);
        u->repeat = 1;
        u->value = *u->p++;
      }
    }
    size_t take = u->left < n ? u->left : n;
    if (u->repeat) {
      memset(out, u->value, take);
    } else {
      if ((size_t)(u->end - u->p) < take) return 0;
      memcpy(out, u->p, take);
      u->p += take;
    }
    out += take;
    n -= take;
    u->left -= take;
  }
  return 1;
}

inline uint32_t opaque(uint32_t r, uint32_t g, uint32_t b) {
  return 0xFF000000u | r << 16 | g << 8 | b;
}

}  // namespace

int decodeilbm(const uint8_t *data, size_t size, Image *image, const char **why) {
  *image = Image();
  const char *dummy;
  if (why == nullptr) why = &dummy;
  *why = nullptr;
  Chunks c;
  if (data == nullptr || !findchunks(data, size, &c, why)) {
    if (*why == nullptr) *why = "no data";
    return 0;
  }
  if (!c.bmhd.present) {
    *why = "no BMHD chunk (the image header)";
    return 0;
  }
  if (c.bmhd.size < 20) {
    *why = "the BMHD chunk is shorter than its 20 bytes";
    return 0;
  }
  const uint8_t *h = c.bmhd.data;
  int width = (int)be16(h), height = (int)be16(h + 2);
  int planes = h[8], masking = h[9], compression = h[10];
  int transparent = (int)be16(h + 12);
  uint32_t camg = c.camg.present && c.camg.size >= 4 ? be32(c.camg.data) : 0;
  if (!c.body.present) {
    *why = "no BODY chunk (the pixels)";
    return 0;
  }
  if (width == 0 || height == 0) {
    *why = "the image is empty (its width or height is 0)";
    return 0;
  }
  if (width > imagemaxside || height > imagemaxside ||
      (int64_t)width * height > imagemaxpixels) {
    *why = "the image is too large (at most 16384 pixels a side and 16777216 in all)";
    return 0;
  }
  if (!(planes >= 1 && planes <= 8) && planes != 24 && planes != 32) {
    *why = "the BMHD gives a plane count this reader does not take (1 to 8, 24 or 32)";
    return 0;
  }
  if (compression > 1) {
    *why = "the BMHD names an unknown compression (0 none and 1 ByteRun1 are read)";
    return 0;
  }
  int truecolour = planes > 8;
  int ham = !truecolour && (camg & camgham) != 0;
  int ehb = !truecolour && !ham && planes == 6 && (camg & camgehb) != 0;
  if (ham && planes != 6 && planes != 8) {
    *why = "a hold-and-modify image needs 6 or 8 planes";
    return 0;
  }
  int cmapcolours = c.cmap.present ? (int)(c.cmap.size / 3) : 0;
  if (cmapcolours > 256) cmapcolours = 256;
  // Six planes without a display mode: a 32-colour map can only mean extra half-brite.
  if (!truecolour && !ham && planes == 6 && !c.camg.present && cmapcolours == 32) ehb = 1;
  int needed = truecolour ? 0 : ham ? (planes == 6 ? 16 : 64) : ehb ? 32 : 1 << planes;
  if (cmapcolours < needed) {
    *why = c.cmap.present ? "the CMAP chunk has fewer colours than the planes can index"
                          : "no CMAP chunk (the palette) for a palette image";
    return 0;
  }
  int maskplane = masking == 1;
  size_t linebytes = (size_t)(width + 15) / 16 * 2;
  size_t rowbytes = linebytes * (size_t)(planes + maskplane);
  uint64_t rawbytes = (uint64_t)rowbytes * (uint64_t)height;
  if ((uint64_t)c.body.size * (compression ? byterun1ratio : 1) < rawbytes) {
    *why = "the BODY chunk is shorter than the image needs";
    return 0;
  }

  uint32_t colours[256] = {};
  if (needed > 0) {
    const uint8_t *m = c.cmap.data;
    // Maps written for the 4096-colour chipset hold each component in the high four bits
    // (0xF0 for full); widening them as the hardware did keeps white white.
    int nibbles = 1;
    for (int k = 0; k < 3 * cmapcolours; k++) nibbles &= (m[k] & 0x0F) == 0;
    for (int k = 0; k < cmapcolours; k++) {
      uint32_t rgb[3];
      for (int j = 0; j < 3; j++) rgb[j] = nibbles ? m[3 * k + j] | m[3 * k + j] >> 4 : m[3 * k + j];
      colours[k] = opaque(rgb[0], rgb[1], rgb[2]);
    }
    if (ehb)
      for (int k = 0; k < 32; k++) colours[32 + k] = 0xFF000000u | (colours[k] >> 1 & 0x7F7F7F);
  }

  std::vector<uint8_t> row(rowbytes);
  uint32_t *argb = (uint32_t *)malloc((size_t)width * (size_t)height * 4);
  if (argb == nullptr) {
    *why = "not enough memory for the image";
    return 0;
  }
  Unpacker u{c.body.data, c.body.data + c.body.size, compression};
  int hasmask = 0;
  for (int y = 0; y < height; y++) {
    if (!unpack(&u, row.data(), rowbytes)) {
      free(argb);
      *why = "the BODY chunk is shorter than the image needs";
      return 0;
    }
    uint32_t *out = argb + (size_t)y * (size_t)width;
    uint32_t hold = colours[0];  // hold-and-modify starts each row from the background
    for (int x = 0; x < width; x++) {
      size_t at = (size_t)x >> 3;
      int bit = 7 - (x & 7);
      uint32_t v = 0;
      for (int p = 0; p < planes; p++) v |= (uint32_t)(row[(size_t)p * linebytes + at] >> bit & 1) << p;
      uint32_t pixel;
      if (truecolour) {
        pixel = (planes == 32 ? (v >> 24) << 24 : 0xFF000000u) | (v & 0xFF) << 16 |
                (v >> 8 & 0xFF) << 8 | (v >> 16 & 0xFF);
      } else if (ham) {
        int valuebits = planes - 2;
        uint32_t control = v >> valuebits, value = v & ((1u << valuebits) - 1);
        // The value widened to 8 bits by repeating its bits, as the palette's are.
        uint32_t wide = valuebits == 4 ? value * 17 : value << 2 | value >> 4;
        switch (control) {
          case 0: hold = colours[value]; break;
          case 1: hold = (hold & 0xFFFFFF00u) | wide; break;
          case 2: hold = (hold & 0xFF00FFFFu) | wide << 16; break;
          default: hold = (hold & 0xFFFF00FFu) | wide << 8; break;
        }
        pixel = hold;
      } else {
        pixel = colours[v];
        if (masking == 2 && (int)v == transparent) pixel &= 0x00FFFFFF;
      }
      if (maskplane && !(row[(size_t)planes * linebytes + at] >> bit & 1)) pixel &= 0x00FFFFFF;
      hasmask |= (pixel >> 24) != 0xFF;
      out[x] = pixel;
    }
  }
  image->width = width;
  image->height = height;
  image->argb = argb;
  image->alpha = hasmask ? imagealphakind(argb, (size_t)width * (size_t)height) : 0;
  return 1;
}

void freeimage(Image *image) {
  if (image == nullptr) return;
  free(image->argb);
  *image = Image();
}
