// 3DF texture files from ARGB8888 images: mip levels, NCC tables, palettes, texel
// encoding and the file itself.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/glide/cardtexture.h"
#include "tools/writers/writers.h"

namespace {

inline int chan(uint32_t c, int shift) { return (int)(c >> shift & 0xFF); }

inline int luma(uint32_t c) { return cardluma(c); }

int sqdist(uint32_t a, uint32_t b) {
  int dr = chan(a, 16) - chan(b, 16), dg = chan(a, 8) - chan(b, 8), db = chan(a, 0) - chan(b, 0);
  return dr * dr + dg * dg + db * db;
}

// Index of the entry of table (n colours, 0x00RRGGBB) nearest to c in RGB.
int nearest(const uint32_t *table, int n, uint32_t c) {
  int best = 0, bestd = 1 << 30;
  for (int k = 0; k < n && bestd > 0; k++) {
    int d = sqdist(table[k], c);
    if (d < bestd) bestd = d, best = k;
  }
  return best;
}

// The 256 colours an NCC table gives, in the card's decoding.
void nccentries(const GuNccTable *ncc, uint32_t out[256]) {
  uint8_t index[256];
  for (int k = 0; k < 256; k++) index[k] = (uint8_t)k;
  carddecodetexels(GR_TEXFMT_YIQ_422, index, 256, ncc, nullptr, out);
  for (int k = 0; k < 256; k++) out[k] &= 0xFFFFFF;
}

// Sorts colours and lists each distinct one once, in order, with how often it occurs.
void distinctcolours(std::vector<uint32_t> *colours, std::vector<uint32_t> *unique,
                     std::vector<uint32_t> *counts) {
  std::sort(colours->begin(), colours->end());
  for (uint32_t c : *colours) {
    if (!unique->empty() && unique->back() == c) {
      counts->back()++;
    } else {
      unique->push_back(c);
      counts->push_back(1);
    }
  }
}

// The 3x3 symmetric matrix m's dominant eigenvector by power iteration, starting from
// start; the spreads here are small and well separated, and 64 steps are plenty.
void dominantaxis(const double m[3][3], const double start[3], double axis[3]) {
  double v[3] = {start[0], start[1], start[2]};
  for (int it = 0; it < 64; it++) {
    double w[3];
    for (int r = 0; r < 3; r++) w[r] = m[r][0] * v[0] + m[r][1] * v[1] + m[r][2] * v[2];
    double len = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
    if (len < 1e-12) break;
    for (int r = 0; r < 3; r++) v[r] = w[r] / len;
  }
  double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
  for (int r = 0; r < 3; r++) axis[r] = v[r] / len;
}

// Four steps at the 1/8, 3/8, 5/8, 7/8 quantiles of values (sorted in place): each step
// stands for a quarter of the texels.
void quartersteps(std::vector<double> *values, double steps[4]) {
  std::sort(values->begin(), values->end());
  size_t n = values->size();
  for (int k = 0; k < 4; k++) steps[k] = n ? (*values)[(size_t)((2 * k + 1) * n / 8)] : 0;
}

FxI16 clamp9(double v) {
  long r = std::lround(v);
  return (FxI16)(r < -256 ? -256 : r > 255 ? 255 : r);
}

struct Box {
  size_t begin, end;  // into the sorted colour list
};

}  // namespace

namespace {

void initialncc(const TexLevels *levels, GuNccTable *ncc) {
  memset(ncc, 0, sizeof *ncc);
  int ymin = 255, ymax = 0;
  double mean[3] = {0, 0, 0};
  size_t n = 0;
  for (int l = 0; l < levels->count; l++)
    for (uint32_t c : levels->argb[l]) {
      int y = luma(c);
      ymin = std::min(ymin, y);
      ymax = std::max(ymax, y);
      for (int r = 0; r < 3; r++) mean[r] += chan(c, 16 - 8 * r) - y;
      n++;
    }
  if (n == 0) return;
  for (int k = 0; k < 16; k++) ncc->yRGB[k] = (FxU8)((ymin * (15 - k) + ymax * k + 7) / 15);

  for (int r = 0; r < 3; r++) mean[r] /= (double)n;
  double cov[3][3] = {};
  for (int l = 0; l < levels->count; l++)
    for (uint32_t c : levels->argb[l]) {
      int y = luma(c);
      double d[3];
      for (int r = 0; r < 3; r++) d[r] = chan(c, 16 - 8 * r) - y - mean[r];
      for (int r = 0; r < 3; r++)
        for (int s = 0; s < 3; s++) cov[r][s] += d[r] * d[s];
    }
  // Start from the classic I (orange-blue) and Q (purple-green) directions so a grey
  // image, whose spread is zero, keeps sensible axes.
  const double istart[3] = {0.6, -0.28, -0.32}, qstart[3] = {0.21, -0.52, 0.31};
  double iaxis[3], qaxis[3];
  dominantaxis(cov, istart, iaxis);
  // Deflate: remove the first axis's share so the second dominant axis follows.
  double lambda = 0;
  for (int r = 0; r < 3; r++)
    for (int s = 0; s < 3; s++) lambda += iaxis[r] * cov[r][s] * iaxis[s];
  double rest[3][3];
  for (int r = 0; r < 3; r++)
    for (int s = 0; s < 3; s++) rest[r][s] = cov[r][s] - lambda * iaxis[r] * iaxis[s];
  double qs[3] = {qstart[0], qstart[1], qstart[2]};
  double dot = qs[0] * iaxis[0] + qs[1] * iaxis[1] + qs[2] * iaxis[2];
  for (int r = 0; r < 3; r++) qs[r] -= dot * iaxis[r];
  dominantaxis(rest, qs, qaxis);
  dot = qaxis[0] * iaxis[0] + qaxis[1] * iaxis[1] + qaxis[2] * iaxis[2];
  for (int r = 0; r < 3; r++) qaxis[r] -= dot * iaxis[r];
  double qlen = std::sqrt(qaxis[0] * qaxis[0] + qaxis[1] * qaxis[1] + qaxis[2] * qaxis[2]);
  for (int r = 0; r < 3; r++) qaxis[r] = qlen > 1e-9 ? qaxis[r] / qlen : 0;

  std::vector<double> along[2];
  for (int l = 0; l < levels->count; l++)
    for (uint32_t c : levels->argb[l]) {
      int y = luma(c);
      double d[3];
      for (int r = 0; r < 3; r++) d[r] = chan(c, 16 - 8 * r) - y;
      along[0].push_back(d[0] * iaxis[0] + d[1] * iaxis[1] + d[2] * iaxis[2]);
      along[1].push_back(d[0] * qaxis[0] + d[1] * qaxis[1] + d[2] * qaxis[2]);
    }
  double isteps[4], qsteps[4];
  quartersteps(&along[0], isteps);
  quartersteps(&along[1], qsteps);
  for (int k = 0; k < 4; k++)
    for (int r = 0; r < 3; r++) {
      ncc->iRGB[k][r] = clamp9(isteps[k] * iaxis[r]);
      ncc->qRGB[k][r] = clamp9(qsteps[k] * qaxis[r]);
    }
}

// Squared error of the colours (with their counts) against their nearest NCC entries;
// index[k] receives each colour's entry.
double nccerror(const GuNccTable *ncc, const std::vector<uint32_t> &colours,
                const std::vector<uint32_t> &counts, std::vector<uint8_t> *index) {
  uint32_t table[256];
  nccentries(ncc, table);
  double err = 0;
  for (size_t k = 0; k < colours.size(); k++) {
    int t = nearest(table, 256, colours[k]);
    (*index)[k] = (uint8_t)t;
    err += (double)sqdist(table[t], colours[k]) * counts[k];
  }
  return err;
}

}  // namespace

// The quantile fit is a good start but treats Y, I and Q apart. Alternating refinement
// (as in Lloyd's k-means) then lowers the error of the whole table: assign each colour its
// nearest of the 256 entries, then set every Y, I and Q step to the mean of what its
// colours need given the other two; keep the best table seen. Clamping at 0 and 255 makes
// a step occasionally worse, hence keeping the best rather than the last. Eight rounds;
// the error rarely moves after five on the test images.
void fitncctable(const TexLevels *levels, GuNccTable *ncc) {
  initialncc(levels, ncc);
  std::vector<uint32_t> all;
  for (int l = 0; l < levels->count; l++)
    for (uint32_t c : levels->argb[l]) all.push_back(c & 0xFFFFFF);
  if (all.empty()) {
    cardpackncc(ncc);
    return;
  }
  std::vector<uint32_t> colours, counts;
  distinctcolours(&all, &colours, &counts);
  std::vector<uint8_t> index(colours.size());
  GuNccTable best = *ncc, cur = *ncc;
  double besterr = nccerror(&cur, colours, counts, &index);
  for (int round = 0; round < 8 && besterr > 0; round++) {
    double ysum[16] = {}, yn[16] = {};
    for (size_t k = 0; k < colours.size(); k++) {
      int t = index[k];
      const FxI16 *i = cur.iRGB[t >> 2 & 3], *q = cur.qRGB[t & 3];
      for (int r = 0; r < 3; r++) ysum[t >> 4] += (double)(chan(colours[k], 16 - 8 * r) - i[r] - q[r]) * counts[k];
      yn[t >> 4] += 3.0 * counts[k];
    }
    for (int y = 0; y < 16; y++)
      if (yn[y] > 0) cur.yRGB[y] = (FxU8)std::clamp(std::lround(ysum[y] / yn[y]), 0L, 255L);
    for (int axis = 0; axis < 2; axis++) {
      double sum[4][3] = {}, n[4] = {};
      for (size_t k = 0; k < colours.size(); k++) {
        int t = index[k];
        int slot = axis == 0 ? t >> 2 & 3 : t & 3;
        const FxI16 *other = axis == 0 ? cur.qRGB[t & 3] : cur.iRGB[t >> 2 & 3];
        for (int r = 0; r < 3; r++)
          sum[slot][r] += (double)(chan(colours[k], 16 - 8 * r) - cur.yRGB[t >> 4] - other[r]) * counts[k];
        n[slot] += counts[k];
      }
      for (int s = 0; s < 4; s++)
        if (n[s] > 0)
          for (int r = 0; r < 3; r++)
            (axis == 0 ? cur.iRGB : cur.qRGB)[s][r] = clamp9(sum[s][r] / n[s]);
    }
    double err = nccerror(&cur, colours, counts, &index);
    if (err < besterr) besterr = err, best = cur;
  }
  *ncc = best;
  cardpackncc(ncc);
}

void fitpalette(const TexLevels *levels, FxU32 palette[256]) {
  memset(palette, 0, 256 * sizeof(FxU32));
  if (levels->count == 0) return;
  std::vector<uint32_t> colours;
  for (uint32_t c : levels->argb[0]) colours.push_back(c & 0xFFFFFF);
  // Distinct colours with their counts, so that boxes split at weighted medians.
  std::vector<uint32_t> unique, count;
  distinctcolours(&colours, &unique, &count);
  std::vector<Box> boxes = {{0, unique.size()}};
  while (boxes.size() < 256) {
    int bestbox = -1, bestrange = 0, bestshift = 0;
    for (size_t b = 0; b < boxes.size(); b++) {
      if (boxes[b].end - boxes[b].begin < 2) continue;
      for (int shift = 0; shift <= 16; shift += 8) {
        int lo = 255, hi = 0;
        for (size_t k = boxes[b].begin; k < boxes[b].end; k++) {
          lo = std::min(lo, chan(unique[k], shift));
          hi = std::max(hi, chan(unique[k], shift));
        }
        if (hi - lo > bestrange) bestrange = hi - lo, bestbox = (int)b, bestshift = shift;
      }
    }
    if (bestbox < 0) break;
    Box box = boxes[(size_t)bestbox];
    std::vector<std::pair<uint32_t, uint32_t>> items;
    for (size_t k = box.begin; k < box.end; k++) items.push_back({unique[k], count[k]});
    std::sort(items.begin(), items.end(), [bestshift](const auto &a, const auto &b) {
      int ca = chan(a.first, bestshift), cb = chan(b.first, bestshift);
      return ca != cb ? ca < cb : a.first < b.first;
    });
    uint64_t total = 0, run = 0;
    for (const auto &it : items) total += it.second;
    size_t cut = 1;
    for (size_t k = 0; k + 1 < items.size(); k++) {
      run += items[k].second;
      cut = k + 1;
      if (2 * run >= total) break;
    }
    for (size_t k = 0; k < items.size(); k++) {
      unique[box.begin + k] = items[k].first;
      count[box.begin + k] = items[k].second;
    }
    boxes[(size_t)bestbox] = {box.begin, box.begin + cut};
    boxes.push_back({box.begin + cut, box.end});
  }
  for (size_t b = 0; b < boxes.size(); b++) {
    uint64_t sum[3] = {0, 0, 0}, total = 0;
    for (size_t k = boxes[b].begin; k < boxes[b].end; k++) {
      for (int r = 0; r < 3; r++) sum[r] += (uint64_t)chan(unique[k], 16 - 8 * r) * count[k];
      total += count[k];
    }
    if (total == 0) continue;
    uint32_t c = 0;
    for (int r = 0; r < 3; r++) c |= (uint32_t)((sum[r] + total / 2) / total) << (16 - 8 * r);
    palette[b] = c;
  }
}

namespace {

// The table NCC and palette texels are looked up in: the 256 colours the card decodes them
// to.
void lookuptable(int format, const GuNccTable *ncc, const FxU32 *palette, uint32_t table[256]) {
  if (format == GR_TEXFMT_YIQ_422 || format == GR_TEXFMT_AYIQ_8422) {
    nccentries(ncc, table);
  } else {
    for (int k = 0; k < 256; k++) table[k] = palette ? palette[k] & 0xFFFFFF : 0;
  }
}

unsigned encodewith(int format, uint32_t c, const uint32_t *table) {
  switch (format) {
    case GR_TEXFMT_YIQ_422:
    case GR_TEXFMT_P_8: return (unsigned)nearest(table, 256, c & 0xFFFFFF);
    case GR_TEXFMT_AYIQ_8422:
    case GR_TEXFMT_AP_88: return (c >> 24) << 8 | (unsigned)nearest(table, 256, c & 0xFFFFFF);
    default: return cardencodetexel(format, c);
  }
}

}  // namespace

unsigned encodetexel(int format, uint32_t c, const GuNccTable *ncc, const FxU32 *palette) {
  uint32_t table[256];
  lookuptable(format, ncc, palette, table);
  return encodewith(format, c, table);
}

int encode3df(const TexLevels *levels, int format, std::vector<uint8_t> *file) {
  file->clear();
  const char *name = cardformatname(format);
  if (name == nullptr || levels->count < 1 || levels->count > 9) return 0;
  int aspect, largelod;
  if (!cardlevelgeometry(levels->width[0], levels->height[0], &largelod, &aspect)) return 0;
  int large = 256 >> largelod;
  int smalllod = largelod + levels->count - 1;
  if (smalllod > GR_LOD_1) return 0;
  for (int k = 0; k < levels->count; k++) {
    int w, h;
    cardlevelsize(aspect, largelod + k, &w, &h);
    if (levels->width[k] != w || levels->height[k] != h ||
        levels->argb[k].size() != (size_t)w * (size_t)h)
      return 0;
  }
  int aw = levels->width[0] >= levels->height[0] ? levels->width[0] / levels->height[0] : 1;
  int ah = levels->width[0] >= levels->height[0] ? 1 : levels->height[0] / levels->width[0];
  char header[100];
  snprintf(header, sizeof header, "3df v1.1\n%s\nlod range: %d %d\naspect ratio: %d %d\n", name,
           256 >> smalllod, large, aw, ah);
  file->insert(file->end(), header, header + strlen(header));

  GuNccTable ncc;
  memset(&ncc, 0, sizeof ncc);
  FxU32 palette[256] = {};
  if (format == GR_TEXFMT_YIQ_422 || format == GR_TEXFMT_AYIQ_8422) {
    fitncctable(levels, &ncc);
    for (int k = 0; k < 16; k++) putu16(*file, ncc.yRGB[k]);
    // I and Q go out sign-extended to 16 bits, as real files store them.
    for (int k = 0; k < 4; k++)
      for (int r = 0; r < 3; r++) putu16(*file, (uint16_t)ncc.iRGB[k][r]);
    for (int k = 0; k < 4; k++)
      for (int r = 0; r < 3; r++) putu16(*file, (uint16_t)ncc.qRGB[k][r]);
  } else if (format == GR_TEXFMT_P_8 || format == GR_TEXFMT_AP_88) {
    fitpalette(levels, palette);
    for (int k = 0; k < 256; k++) {
      putu16(*file, palette[k] >> 16);
      putu16(*file, palette[k] & 0xFFFF);
    }
  }
  uint32_t table[256];
  lookuptable(format, &ncc, palette, table);
  int bytes = cardtexelbytes(format);
  for (int k = 0; k < levels->count; k++)
    for (uint32_t c : levels->argb[k]) {
      unsigned v = encodewith(format, c, table);
      if (bytes == 2) putu16(*file, v);
      else file->push_back((uint8_t)v);
    }
  return 1;
}

int write3df(const char *path, const TexLevels *levels, int format) {
  std::vector<uint8_t> file;
  return path != nullptr && encode3df(levels, format, &file) &&
         writebytes(path, file.data(), file.size());
}

int write3dfimage(const char *path, const uint32_t *argb, int width, int height, int format) {
  TexLevels levels;
  return makemiplevels(argb, width, height, 1, &levels) && write3df(path, &levels, format);
}
