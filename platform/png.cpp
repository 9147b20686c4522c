#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

// libpng's simplified interface reports errors through the png_image record instead of
// longjmp, so no C++ frame is ever skipped on a damaged file.

// The fast form: zlib level 1 and no row filter, through the full interface, which is
// the only one that sets them. libpng reports errors by longjmp here; nothing with a
// destructor lives in this function, so the jump skips no C++ frame. Measured on the
// 601 frames of the show's "intro2.lws": 8 ms a frame against 46 ms for the default
// form, files 1.2 times as large.
static int writepngfast(FILE *f, const uint8_t *pixels, int width, int height, int channels) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return 0;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return 0;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8,
               channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 1);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_write_info(png, info);
  for (int y = 0; y < height; y++)
    png_write_row(png, pixels + (size_t)y * (size_t)width * (size_t)channels);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return 1;
}

int writepng(const char *path, const uint8_t *pixels, int width, int height, int channels,
             int fast) {
  if (path == nullptr || pixels == nullptr || width <= 0 || height <= 0 || width > pngmaxside ||
      height > pngmaxside || (channels != 3 && channels != 4))
    return 0;
  AtomicFile out;
  if (!openatomic(&out, path)) return 0;
  if (fast) {
    errno = 0;
    if (!writepngfast(out.file, pixels, width, height, channels)) {
      if (errno == 0) errno = EIO;
      abandonatomic(&out);
      return 0;
    }
    return commitatomic(&out);
  }
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = (png_uint_32)width;
  image.height = (png_uint_32)height;
  image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  errno = 0;
  int ok = png_image_write_to_stdio(&image, out.file, 0, pixels, width * channels, nullptr) != 0;
  png_image_free(&image);
  if (!ok) {
    // libpng reports a failed fwrite only as its own message; the stream keeps the cause.
    if (errno == 0) errno = EIO;
    abandonatomic(&out);
    return 0;
  }
  return commitatomic(&out);
}

namespace {

// A file's size does not bound its pixels (a flat image compresses ~1000:1), so the
// pixels are bounded by maxside and the file on its own: 256 MB holds an 8192 x 8192 RGBA
// image stored with no compression at all, far above any image the system reads (frames
// and goldens of a few MB, textures of at most 256 x 256), far below the memory of a
// machine that decodes one.
constexpr int64_t pngmaxbytes = int64_t(256) << 20;

// The parts of a read that the error handler's longjmp must find again: only plain
// values, so no destructor is skipped.
struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  uint8_t *data = nullptr;
  png_bytep *rows = nullptr;
  char message[160] = {};
};

void pngerror(png_structp png, png_const_charp message) {
  PngRead *read = (PngRead *)png_get_error_ptr(png);
  snprintf(read->message, sizeof read->message, "is damaged or not a PNG image (%s)", message);
  png_longjmp(png, 1);
}

// Warnings (an odd ancillary chunk, a colour profile libpng does not like) change
// nothing in the pixels it returns.
void pngwarning(png_structp, png_const_charp) {}

// Reads the open PNG f into r->data; 1 done, 0 with the reason in r->message. width
// and height are set from the header as soon as it is read, even when the image is then
// refused as too large.
int decodepng(FILE *f, int64_t filesize, PngRead *r, int maxside, int channels, int *width,
              int *height) {
  r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, r, pngerror, pngwarning);
  if (r->png == nullptr) return 0;
  r->info = png_create_info_struct(r->png);
  if (r->info == nullptr) return 0;
  if (setjmp(png_jmpbuf(r->png))) return 0;
  png_init_io(r->png, f);
  // The limits of libpng itself stay above ours: the side check below gives its own
  // message.
  png_set_user_limits(r->png, 0x7fffffff, 0x7fffffff);
  png_read_info(r->png, r->info);
  png_uint_32 w = png_get_image_width(r->png, r->info);
  png_uint_32 h = png_get_image_height(r->png, r->info);
  *width = (int)w;
  *height = (int)h;
  if (w > (png_uint_32)maxside || h > (png_uint_32)maxside) {
    snprintf(r->message, sizeof r->message,
             "is %ux%u pixels, too large: at most %d pixels a side are read", (unsigned)w,
             (unsigned)h, maxside);
    return 0;
  }
  // Deflate expands at most 1032:1, so a file cannot hold more image data than that
  // times its size; a header claiming more is refused before the pixels are allocated.
  uint64_t claimed = (uint64_t)h * (1 + ((uint64_t)w * png_get_channels(r->png, r->info) *
                                         png_get_bit_depth(r->png, r->info) + 7) / 8);
  if (claimed > (uint64_t)filesize * 1032 + 4096) {
    snprintf(r->message, sizeof r->message,
             "is damaged: its %ux%u pixels cannot fit in its %lld bytes", (unsigned)w, (unsigned)h,
             (long long)filesize);
    return 0;
  }
  int colour = png_get_color_type(r->png, r->info);
  // The values as stored, without any gamma or colour-space change: 16-bit channels are
  // scaled to 8 bits (v * 255 / 65535, rounded), palettes and low bit depths expanded.
  png_set_scale_16(r->png);
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(r->png);
  if (colour == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(r->png, r->info) < 8)
    png_set_expand_gray_1_2_4_to_8(r->png);
  if (png_get_valid(r->png, r->info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(r->png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(r->png);
  if (channels == 4) png_set_add_alpha(r->png, 0xFF, PNG_FILLER_AFTER);
  else png_set_strip_alpha(r->png);
  png_set_interlace_handling(r->png);
  png_read_update_info(r->png, r->info);
  if (png_get_rowbytes(r->png, r->info) != (size_t)w * (size_t)channels) {
    snprintf(r->message, sizeof r->message, "has a pixel layout this reader does not take");
    return 0;
  }
  r->data = (uint8_t *)malloc((size_t)w * h * (size_t)channels);
  r->rows = (png_bytep *)malloc(sizeof(png_bytep) * h);
  if (r->data == nullptr || r->rows == nullptr) {
    snprintf(r->message, sizeof r->message, "needs more memory than there is");
    return 0;
  }
  for (png_uint_32 y = 0; y < h; y++) r->rows[y] = r->data + (size_t)y * w * (size_t)channels;
  png_read_image(r->png, r->rows);
  png_read_end(r->png, nullptr);
  return 1;
}

}  // namespace

int readpngwithin(const char *path, int maxside, uint8_t **pixels, int *width, int *height,
                  int channels) {
  *pixels = nullptr;
  *width = 0;
  *height = 0;
  if (path == nullptr || (channels != 3 && channels != 4) || maxside < 1) return 0;
  int64_t size = 0;
  FILE *f = openinput(path, pngmaxbytes, &size);
  if (f == nullptr) return 0;
  PngRead r;
  int w = 0, h = 0;
  if (maxside > pngmaxside) maxside = pngmaxside;
  int ok = decodepng(f, size, &r, maxside, channels, &w, &h) &&
           w > 0 && h > 0;
  fclose(f);
  if (r.png != nullptr) png_destroy_read_struct(&r.png, r.info ? &r.info : nullptr, nullptr);
  free(r.rows);
  if (!ok) {
    free(r.data);
    noteinputfailure("%s", r.message[0] ? r.message : "is an image of no pixels");
    if (w > maxside || h > maxside) {
      *width = w;
      *height = h;
    }
    return 0;
  }
  *pixels = r.data;
  *width = w;
  *height = h;
  return 1;
}

int readpng(const char *path, uint8_t **pixels, int *width, int *height, int channels) {
  return readpngwithin(path, pngmaxside, pixels, width, height, channels);
}
