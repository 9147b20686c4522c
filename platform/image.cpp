// Images in place of 3DF textures: the file read whole (within its limit), then IFF ILBM
// through our own reader, and TGA, PNG, JPEG and BMP through SDL2_image.
//
// SDL2_image is the one library in Debian that reads all four (TGA is in no other); it
// decodes PNG and JPEG through the system's libpng and libjpeg-turbo. It allocates the
// whole picture before decoding, so the size each header states is checked against our
// limits first: a file of a few bytes may claim 65535 x 65535 pixels.
#include <SDL.h>
#include <SDL_image.h>

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace {

inline uint32_t be16(const uint8_t *p) { return (uint32_t)p[0] << 8 | p[1]; }
inline uint32_t le16(const uint8_t *p) { return (uint32_t)p[1] << 8 | p[0]; }
inline uint32_t le32(const uint8_t *p) { return le16(p + 2) << 16 | le16(p); }

enum Kind { kindtga, kindpng, kindjpeg, kindbmp };

// The file's kind from its first bytes; TGA has no signature and is what remains.
Kind kindof(const uint8_t *d, size_t n) {
  if (n >= 8 && memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return kindpng;
  if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return kindjpeg;
  if (n >= 2 && d[0] == 'B' && d[1] == 'M') return kindbmp;
  return kindtga;
}

// The width and height the header states; 0 when it states none.
int statedsize(Kind kind, const uint8_t *d, size_t n, int64_t *w, int64_t *h) {
  switch (kind) {
    case kindpng:
      if (n < 24) return 0;
      *w = (int64_t)(be16(d + 16) << 16 | be16(d + 18));
      *h = (int64_t)(be16(d + 20) << 16 | be16(d + 22));
      return 1;
    case kindbmp: {
      if (n < 26) return 0;
      // A core header (12 bytes) holds 16-bit sides; later ones 32-bit, the height
      // negative for rows top first.
      if (le32(d + 14) == 12) {
        *w = le16(d + 18);
        *h = le16(d + 20);
      } else {
        *w = (int32_t)le32(d + 18);
        int64_t height = (int32_t)le32(d + 22);
        *h = height < 0 ? -height : height;
      }
      return 1;
    }
    case kindjpeg:
      // Walk the markers to the first start of frame (SOF0..SOF15 but DHT, JPG, DAC).
      for (size_t at = 2; at + 4 <= n;) {
        if (d[at] != 0xFF) return 0;
        uint8_t marker = d[at + 1];
        if (marker == 0xFF) {
          at++;
          continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9)) {
          at += 2;
          continue;
        }
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
            marker != 0xCC) {
          if (at + 9 > n) return 0;
          *h = be16(d + at + 5);
          *w = be16(d + at + 7);
          return 1;
        }
        at += 2 + be16(d + at + 2);
      }
      return 0;
    default:
      if (n < 18) return 0;
      *w = le16(d + 12);
      *h = le16(d + 14);
      return 1;
  }
}

int decodewithlibrary(const uint8_t *data, size_t size, Image *image, const char **why) {
  Kind kind = kindof(data, size);
  int64_t w = 0, h = 0;
  if (!statedsize(kind, data, size, &w, &h)) {
    *why = "not an image this player reads (IFF ILBM, TGA, PNG, JPEG or BMP), or its header "
           "is cut short";
    return 0;
  }
  if (w < 1 || h < 1) {
    *why = "the image is empty (its width or height is 0)";
    return 0;
  }
  if (w > imagemaxside || h > imagemaxside || w * h > imagemaxpixels) {
    *why = "the image is too large (at most 16384 pixels a side and 16777216 in all)";
    return 0;
  }
  SDL_RWops *rw = SDL_RWFromConstMem(data, (int)size);
  if (rw == nullptr) {
    *why = "not enough memory to read the image";
    return 0;
  }
  SDL_Surface *loaded =
      kind == kindtga ? IMG_LoadTyped_RW(rw, 1, "TGA") : IMG_Load_RW(rw, 1);
  if (loaded == nullptr) {
    *why = "the image library could not decode it (damaged, or a variant it does not read)";
    return 0;
  }
  // A colour key (palette TGA and PNG transparency) becomes alpha 0 in the conversion.
  SDL_Surface *s = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
  SDL_FreeSurface(loaded);
  if (s == nullptr || s->w < 1 || s->h < 1 || s->w > imagemaxside || s->h > imagemaxside ||
      (int64_t)s->w * s->h > imagemaxpixels) {
    SDL_FreeSurface(s);
    *why = "the image library could not decode it (damaged, or a variant it does not read)";
    return 0;
  }
  size_t n = (size_t)s->w * (size_t)s->h;
  uint32_t *argb = (uint32_t *)malloc(n * 4);
  if (argb == nullptr) {
    SDL_FreeSurface(s);
    *why = "not enough memory for the image";
    return 0;
  }
  SDL_LockSurface(s);
  for (int y = 0; y < s->h; y++)
    memcpy(argb + (size_t)y * (size_t)s->w, (const uint8_t *)s->pixels + (size_t)y * (size_t)s->pitch,
           (size_t)s->w * 4);
  SDL_UnlockSurface(s);
  image->width = s->w;
  image->height = s->h;
  image->argb = argb;
  image->alpha = imagealphakind(argb, n);
  SDL_FreeSurface(s);
  return 1;
}

}  // namespace

int imagealphakind(const uint32_t *argb, size_t n) {
  int kind = 0;
  for (size_t k = 0; k < n; k++) {
    uint32_t a = argb[k] >> 24;
    if (a == 0xFF) continue;
    if (a != 0) return 2;
    kind = 1;
  }
  return kind;
}

int readimage(const char *path, Image *image, const char **why) {
  *image = Image();
  const char *dummy;
  if (why == nullptr) why = &dummy;
  *why = nullptr;
  int64_t size = 0;
  FILE *f = path ? openinput(path, (int64_t)imagemaxfilebytes, &size) : nullptr;
  uint8_t *data = f ? (uint8_t *)readinput(f, size) : nullptr;
  if (data == nullptr) {
    *why = path ? inputfailure() : "no file name";
    return 0;
  }
  int ok;
  if (size >= 4 && memcmp(data, "FORM", 4) == 0) ok = decodeilbm(data, (size_t)size, image, why);
  else ok = decodewithlibrary(data, (size_t)size, image, why);
  free(data);
  return ok;
}
