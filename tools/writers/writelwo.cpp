#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "tools/writers/writers.h"

void putu16(std::vector<uint8_t> &out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}

void putu32(std::vector<uint8_t> &out, uint32_t v) {
  putu16(out, v >> 16);
  putu16(out, v & 0xFFFF);
}

int writebytes(const char *path, const void *data, size_t size) {
  AtomicFile out;
  if (!openatomic(&out, path)) return 0;
  if (fwrite(data, 1, size, out.file) != size) {
    abandonatomic(&out);
    return 0;
  }
  return commitatomic(&out);
}

namespace {

void putf32(std::vector<uint8_t> &out, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  putu32(out, v);
}

// Grown then copied: GCC 12 at -O2 warns falsely (-Wstringop-overflow) on an insert of
// four bytes into a vector that is still empty.
void putid(std::vector<uint8_t> &out, const char *id) {
  const size_t at = out.size();
  out.resize(at + 4);
  std::memcpy(out.data() + at, id, 4);
}

// NUL-ended, padded to even length.
void puttext(std::vector<uint8_t> &out, const std::string &text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
  if ((text.size() + 1) & 1) out.push_back(0);
}

size_t textsize(const std::string &text) { return (text.size() + 2) & ~size_t(1); }

void putchunk(std::vector<uint8_t> &out, const char *id, const std::vector<uint8_t> &body) {
  putid(out, id);
  putu32(out, uint32_t(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  if (body.size() & 1) out.push_back(0);
}

void putsubf32(std::vector<uint8_t> &out, const char *id, float f) {
  putid(out, id);
  putu16(out, 4);
  putf32(out, f);
}

void putsubu16(std::vector<uint8_t> &out, const char *id, uint16_t v) {
  putid(out, id);
  putu16(out, 2);
  putu16(out, v);
}

void putsubvec(std::vector<uint8_t> &out, const char *id, Vec3 v) {
  putid(out, id);
  putu16(out, 12);
  putf32(out, v.x);
  putf32(out, v.y);
  putf32(out, v.z);
}

void putsubtext(std::vector<uint8_t> &out, const char *id, const std::string &text) {
  putid(out, id);
  putu16(out, uint32_t(textsize(text)));
  puttext(out, text);
}

std::vector<uint8_t> surfacebody(const LwoWriterSurface &s) {
  std::vector<uint8_t> b;
  puttext(b, s.name);
  if (s.chunks & lwocolr) {
    putid(b, "COLR");
    putu16(b, 4);
    b.push_back(s.red);
    b.push_back(s.green);
    b.push_back(s.blue);
    b.push_back(0);
  }
  if (s.chunks & lwoflag) putsubu16(b, "FLAG", s.flags);
  if (s.chunks & lwovlum) putsubf32(b, "VLUM", s.luminosity);
  if (s.chunks & lwovdif) putsubf32(b, "VDIF", s.diffuse);
  if (s.chunks & lwovspc) putsubf32(b, "VSPC", s.specular);
  if (s.chunks & lwovrfl) putsubf32(b, "VRFL", s.reflectivity);
  if (s.chunks & lwovtrn) putsubf32(b, "VTRN", s.transparency);
  if (s.chunks & lwoglos) putsubu16(b, "GLOS", s.glossiness);
  if (s.chunks & lwosman) putsubf32(b, "SMAN", s.smoothingangle);
  if (!s.reflimage.empty()) putsubtext(b, "RIMG", s.reflimage);
  if (!s.texturekind.empty()) {
    putsubtext(b, "CTEX", s.texturekind);
    if (!s.image.empty()) putsubtext(b, "TIMG", s.image);
    const uint16_t axisbits[3] = {1, 2, 4};
    putsubu16(b, "TFLG", s.texaxis >= 0 && s.texaxis < 3 ? axisbits[s.texaxis] : 0);
    putsubvec(b, "TSIZ", s.texsize);
    putsubvec(b, "TCTR", s.texcenter);
    if (s.writerepeats) {
      putsubf32(b, "TFP0", s.widthrepeat);
      putsubf32(b, "TFP1", s.heightrepeat);
    }
  }
  b.insert(b.end(), s.extra.begin(), s.extra.end());
  return b;
}

}  // namespace

std::vector<uint8_t> lwobytes(const LwoWriter *object) {
  std::vector<uint8_t> pnts, srfs, pols;
  for (const Vec3 &p : object->points) {
    putf32(pnts, p.x);
    putf32(pnts, p.y);
    putf32(pnts, p.z);
  }
  for (const LwoWriterSurface &s : object->surfaces) puttext(srfs, s.name);
  for (const LwoWriterPolygon &p : object->polygons) {
    putu16(pols, uint32_t(p.corners.size()));
    for (uint16_t c : p.corners) putu16(pols, c);
    putu16(pols, uint32_t(p.surface + 1) & 0xFFFF);
  }
  std::vector<uint8_t> body;
  putid(body, "LWOB");
  if (object->surfacesfirst) putchunk(body, "SRFS", srfs);
  putchunk(body, "PNTS", pnts);
  if (!object->surfacesfirst) putchunk(body, "SRFS", srfs);
  putchunk(body, "POLS", pols);
  for (const LwoWriterSurface &s : object->surfaces) putchunk(body, "SURF", surfacebody(s));
  body.insert(body.end(), object->extra.begin(), object->extra.end());
  std::vector<uint8_t> file;
  putid(file, "FORM");
  putu32(file, uint32_t(body.size()));
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

int writelwo(const char *path, const LwoWriter *object) {
  std::vector<uint8_t> bytes = lwobytes(object);
  return writebytes(path, bytes.data(), bytes.size());
}

int lwoaddpoint(LwoWriter *object, float x, float y, float z) {
  object->points.push_back({x, y, z});
  return int(object->points.size()) - 1;
}

int lwoaddsurface(LwoWriter *object, const char *name, uint8_t red, uint8_t green, uint8_t blue) {
  LwoWriterSurface s;
  s.name = name;
  s.red = red;
  s.green = green;
  s.blue = blue;
  object->surfaces.push_back(s);
  return int(object->surfaces.size()) - 1;
}

int lwoaddtriangle(LwoWriter *object, int a, int b, int c, int surface) {
  object->polygons.push_back({{uint16_t(a), uint16_t(b), uint16_t(c)}, surface});
  return int(object->polygons.size()) - 1;
}

int lwoaddquad(LwoWriter *object, int a, int b, int c, int d, int surface) {
  object->polygons.push_back({{uint16_t(a), uint16_t(b), uint16_t(c), uint16_t(d)}, surface});
  return int(object->polygons.size()) - 1;
}

void lwosetimagemap(LwoWriterSurface *surface, const char *kind, const char *image, int axis,
                    Vec3 center, Vec3 size) {
  surface->texturekind = kind;
  surface->image = image;
  surface->texaxis = axis;
  surface->texcenter = center;
  surface->texsize = size;
  surface->writerepeats = 1;
  surface->widthrepeat = 1.0f;
  surface->heightrepeat = 1.0f;
}

int lwoaddboxfaces(LwoWriter *object, Vec3 center, Vec3 size, const int facesurfaces[6]) {
  const float hx = size.x / 2, hy = size.y / 2, hz = size.z / 2;
  // The four bottom corners, then the four top ones in the same order, as LightWave lays
  // out a box.
  const float sx[8] = {-1, 1, 1, -1, -1, 1, 1, -1};
  const float sy[8] = {-1, -1, -1, -1, 1, 1, 1, 1};
  const float sz[8] = {-1, -1, 1, 1, -1, -1, 1, 1};
  int first = int(object->points.size());
  for (int k = 0; k < 8; k++)
    lwoaddpoint(object, center.x + sx[k] * hx, center.y + sy[k] * hy, center.z + sz[k] * hz);
  const int faces[6][4] = {{0, 1, 2, 3}, {0, 4, 5, 1}, {1, 5, 6, 2},
                           {3, 2, 6, 7}, {0, 3, 7, 4}, {4, 7, 6, 5}};
  int firstpoly = int(object->polygons.size());
  for (int f = 0; f < 6; f++)
    lwoaddquad(object, first + faces[f][0], first + faces[f][1], first + faces[f][2],
               first + faces[f][3], facesurfaces[f]);
  return firstpoly;
}

int lwoaddbox(LwoWriter *object, Vec3 center, Vec3 size, int surface) {
  const int surfaces[6] = {surface, surface, surface, surface, surface, surface};
  return lwoaddboxfaces(object, center, size, surfaces);
}

int lwoaddgrid(LwoWriter *object, float x0, float z0, float x1, float z1, int nx, int nz,
               int surface) {
  int first = int(object->points.size());
  for (int i = 0; i <= nx; i++)
    for (int j = 0; j <= nz; j++)
      lwoaddpoint(object, x0 + (x1 - x0) * float(i) / float(nx), 0,
                  z0 + (z1 - z0) * float(j) / float(nz));
  int firstpoly = int(object->polygons.size());
  auto at = [&](int i, int j) { return first + i * (nz + 1) + j; };
  for (int i = 0; i < nx; i++)
    for (int j = 0; j < nz; j++)
      lwoaddquad(object, at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j), surface);
  return firstpoly;
}

int lwoaddsphere(LwoWriter *object, Vec3 center, float radius, int segments, int rings,
                 int surface) {
  const double pi = 3.14159265358979323846;
  int first = int(object->points.size());
  lwoaddpoint(object, center.x, center.y + radius, center.z);
  for (int r = 1; r < rings; r++) {
    double polar = pi * r / rings;
    for (int s = 0; s < segments; s++) {
      double around = 2 * pi * s / segments;
      lwoaddpoint(object, float(center.x + radius * std::sin(polar) * std::sin(around)),
                  float(center.y + radius * std::cos(polar)),
                  float(center.z + radius * std::sin(polar) * std::cos(around)));
    }
  }
  int south = lwoaddpoint(object, center.x, center.y - radius, center.z);
  auto at = [&](int r, int s) { return first + 1 + (r - 1) * segments + (s % segments); };
  int firstpoly = int(object->polygons.size());
  // Seen from outside, increasing s runs anticlockwise around the north pole, so each
  // polygon lists its corners against it to be clockwise.
  for (int s = 0; s < segments; s++) lwoaddtriangle(object, first, at(1, s), at(1, s + 1), surface);
  for (int r = 1; r + 1 < rings; r++)
    for (int s = 0; s < segments; s++)
      lwoaddquad(object, at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s + 1), surface);
  for (int s = 0; s < segments; s++)
    lwoaddtriangle(object, at(rings - 1, s + 1), at(rings - 1, s), south, surface);
  return firstpoly;
}
