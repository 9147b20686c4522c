#include <png.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

// libpng's simplified interface reports errors through the png_image record instead of
// longjmp, so no C++ frame is ever skipped on a damaged file.

constexpr int pngmaxside = 16384;

int writepng(const char *path, const uint8_t *pixels, int width, int height, int channels) {
  if (path == nullptr || pixels == nullptr || width <= 0 || height <= 0 || width > pngmaxside ||
      height > pngmaxside || (channels != 3 && channels != 4))
    return 0;
  AtomicFile out;
  if (!openatomic(&out, path)) return 0;
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

int readpng(const char *path, uint8_t **pixels, int *width, int *height, int channels) {
  *pixels = nullptr;
  *width = 0;
  *height = 0;
  if (path == nullptr || (channels != 3 && channels != 4)) return 0;
  FILE *f = openfile(path, "rb");
  if (f == nullptr) return 0;
  png_image image;
  memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  int ok = 0;
  if (png_image_begin_read_from_stdio(&image, f) != 0 && image.width > 0 &&
      image.height > 0 && image.width <= pngmaxside && image.height <= pngmaxside) {
    image.format = channels == 4 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    size_t size = PNG_IMAGE_SIZE(image);
    uint8_t *data = (uint8_t *)malloc(size);
    if (data != nullptr && png_image_finish_read(&image, nullptr, data, 0, nullptr) != 0) {
      *pixels = data;
      *width = (int)image.width;
      *height = (int)image.height;
      ok = 1;
    } else {
      free(data);
    }
  }
  png_image_free(&image);
  fclose(f);
  return ok;
}
