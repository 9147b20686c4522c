// IFF ILBM images for the tests and the fuzz seeds: planes cut from per-pixel values,
// rows packed with ByteRun1 line by line as the Amiga's writers did.
#include <algorithm>

#include "tools/writers/writers.h"

namespace {

void putid(std::vector<uint8_t> &out, const char *id) {
  for (int k = 0; k < 4; k++) out.push_back((uint8_t)id[k]);
}

// One line packed: runs of three or more equal bytes repeat, the rest are copied, at most
// 128 bytes a run.
void byterun1(const uint8_t *line, size_t n, std::vector<uint8_t> &out) {
  size_t k = 0;
  while (k < n) {
    size_t same = 1;
    while (k + same < n && same < 128 && line[k + same] == line[k]) same++;
    if (same >= 3) {
      out.push_back((uint8_t)(257 - same));
      out.push_back(line[k]);
      k += same;
      continue;
    }
    size_t start = k, count = 0;
    while (k < n && count < 128) {
      if (k + 2 < n && line[k] == line[k + 1] && line[k] == line[k + 2]) break;
      k++;
      count++;
    }
    out.push_back((uint8_t)(count - 1));
    out.insert(out.end(), line + start, line + start + count);
  }
}

void putchunk(std::vector<uint8_t> &out, const char *id, const std::vector<uint8_t> &body) {
  putid(out, id);
  putu32(out, (uint32_t)body.size());
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}

}  // namespace

std::vector<uint8_t> ilbmbytes(const IlbmWriter &image) {
  std::vector<uint8_t> bmhd;
  putu16(bmhd, (uint32_t)image.width);
  putu16(bmhd, (uint32_t)image.height);
  putu32(bmhd, 0);  // x, y
  bmhd.push_back((uint8_t)image.planes);
  bmhd.push_back((uint8_t)image.masking);
  bmhd.push_back((uint8_t)image.compression);
  bmhd.push_back(0);
  putu16(bmhd, (uint32_t)image.transparent);
  bmhd.push_back(10);  // x and y aspect of a low-resolution screen
  bmhd.push_back(11);
  putu16(bmhd, (uint32_t)image.width);
  putu16(bmhd, (uint32_t)image.height);

  std::vector<uint8_t> cmap;
  for (uint32_t c : image.cmap) {
    cmap.push_back((uint8_t)(c >> 16));
    cmap.push_back((uint8_t)(c >> 8));
    cmap.push_back((uint8_t)c);
  }

  size_t linebytes = (size_t)(image.width + 15) / 16 * 2;
  int lines = image.planes + (image.masking == 1 ? 1 : 0);
  std::vector<uint8_t> body, line(linebytes);
  for (int y = 0; y < image.height; y++)
    for (int p = 0; p < lines; p++) {
      std::fill(line.begin(), line.end(), 0);
      for (int x = 0; x < image.width; x++) {
        size_t at = (size_t)y * (size_t)image.width + (size_t)x;
        uint32_t bit = p < image.planes ? (at < image.values.size() ? image.values[at] >> p & 1 : 0)
                                        : (at < image.mask.size() ? image.mask[at] != 0 : 1);
        if (bit) line[(size_t)x >> 3] |= (uint8_t)(0x80 >> (x & 7));
      }
      if (image.compression == 1) byterun1(line.data(), linebytes, body);
      else body.insert(body.end(), line.begin(), line.end());
    }

  std::vector<uint8_t> chunks;
  putchunk(chunks, "BMHD", bmhd);
  if (!image.cmap.empty()) putchunk(chunks, "CMAP", cmap);
  if (image.writecamg) {
    std::vector<uint8_t> camg;
    putu32(camg, image.camg);
    putchunk(chunks, "CAMG", camg);
  }
  putchunk(chunks, "BODY", body);
  std::vector<uint8_t> file;
  putid(file, "FORM");
  putu32(file, (uint32_t)chunks.size() + 4);
  putid(file, "ILBM");
  file.insert(file.end(), chunks.begin(), chunks.end());
  return file;
}

int writeilbm(const char *path, const IlbmWriter &image) {
  std::vector<uint8_t> file = ilbmbytes(image);
  return writebytes(path, file.data(), file.size());
}
