// The LightWave object reader. It does not walk the chunk tree: it scans the bytes for the
// four chunk IDs it uses, and inside a surface chunk for the sub-chunk IDs it knows, as
// the objects the scenes were made with expect. Every read goes through an LwoCursor over
// the whole file, so no length, count or index in a file can make it read or write
// outside what it holds.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "lwo/lworeader.h"
#include "platform/platform.h"

char objectfilename[lwofilenamesize];

namespace {

uint8_t readbyte(LwoCursor *c) {
  if (c->at >= c->size) {
    c->failed = 1;
    return 0;
  }
  return c->data[c->at++];
}

size_t remaining(const LwoCursor *c) { return c->at < c->size ? c->size - c->at : 0; }

void skipbytes(LwoCursor *c, size_t n) {
  if (n > remaining(c)) {
    c->at = c->size;
    c->failed = 1;
    return;
  }
  c->at += n;
}

void shiftin(uint8_t window[4], uint8_t byte) {
  window[0] = window[1];
  window[1] = window[2];
  window[2] = window[3];
  window[3] = byte;
}

int isid(const uint8_t window[4], const char *id) { return std::memcmp(window, id, 4) == 0; }

// A NUL-ended text padded to even length. Keeps at most size - 1 characters; the rest is
// read and dropped. Returns the bytes read before the pad, NUL included.
size_t readtext(LwoCursor *c, char *out, size_t size) {
  size_t n = 0;
  for (;;) {
    uint8_t b = readbyte(c);
    if (c->failed) break;
    if (n + 1 < size) out[n] = char(b);
    n++;
    if (b == 0) break;
  }
  out[n < size ? n : size - 1] = 0;
  if (!c->failed && (n & 1)) skipbytes(c, 1);
  return n;
}

// The state a surface gets when its SURF chunk starts: the reader's defaults, and for the
// fields files may leave out black, flags 0, X axis and single repeats.
void resetsurface(LwoSurface *s) { *s = LwoSurface(); }

// A surface that no SURF chunk fills ends like one without CTEX.
void clearsurface(LwoSurface *s) {
  resetsurface(s);
  s->texaxis = -1;
}

// The SURF sub-chunks the reader knows, in the order they are tested.
enum SubId {
  colr, ctex, tflg, tsiz, timg, tctr, twrp, tfp0, tfp1, tfp2,
  flag, sman, vlum, vdif, vspc, vtrn, glos, rimg, vrfl, numsubids
};
const char *const subids[numsubids] = {"COLR", "CTEX", "TFLG", "TSIZ", "TIMG", "TCTR", "TWRP",
                                       "TFP0", "TFP1", "TFP2", "FLAG", "SMAN", "VLUM", "VDIF",
                                       "VSPC", "VTRN", "GLOS", "RIMG", "VRFL"};

void freenames(LwoSurfaceNames *names) {
  std::free(names->names);
  names->names = nullptr;
  names->count = 0;
}

}  // namespace

uint32_t readu16(LwoCursor *c) {
  uint32_t hi = readbyte(c);
  return hi << 8 | readbyte(c);
}

uint32_t readu32(LwoCursor *c) {
  uint32_t hi = readu16(c);
  return hi << 16 | readu16(c);
}

float readf32(LwoCursor *c) {
  uint32_t bits = readu32(c);
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

// Three floats times scale: a point, or a texture size or centre.
static Vec3 readscaledvec(LwoCursor *c, float scale) {
  Vec3 v;
  v.x = readf32(c) * scale;
  v.y = readf32(c) * scale;
  v.z = readf32(c) * scale;
  return v;
}

int readpoints(LwoObject *object, float scale, LwoCursor *c) {
  uint32_t length = readu32(c);
  if (c->failed || length > remaining(c)) return lwotruncated;
  int32_t n = int32_t(length / 12);
  std::free(object->points);
  object->numpoints = 0;
  object->points = static_cast<Vec3 *>(std::calloc(n > 0 ? size_t(n) : 1, sizeof(Vec3)));
  if (!object->points) return lwonoarraymemory;
  for (int32_t i = 0; i < n; i++) object->points[i] = readscaledvec(c, scale);
  object->numpoints = n;
  return lwook;
}

// Classic content: polygons of five and more corners cut into triangles, points and lines
// left out, detail polygons taken as ordinary ones, a polygon cut short by the chunk's end
// dropped; each kind of change one warning per object. Room is counted in a first pass
// over the chunk, so it follows the polygons the chunk really holds.
static int readpolygonsclassic(LwoObject *object, LwoCursor *c) {
  uint32_t length = readu32(c);
  if (c->failed || length > remaining(c)) return lwotruncated;
  const size_t end = c->at + length;
  size_t room = 0;
  uint32_t widest = 0;
  for (LwoCursor scan = *c; end - scan.at >= 2;) {
    uint32_t corners = readu16(&scan);
    if (end - scan.at < 2 * size_t(corners) + 2) break;
    skipbytes(&scan, 2 * size_t(corners));
    if ((readu16(&scan) & 0x8000) && end - scan.at >= 2) readu16(&scan);
    if (corners >= 3) room += corners > 4 ? corners - 2 : 1;
    if (corners > widest) widest = corners;
  }
  std::free(object->polygons);
  object->numpolygons = 0;
  object->polygons = static_cast<LwoPolygon *>(std::calloc(room > 0 ? room : 1, sizeof(LwoPolygon)));
  uint32_t *corner = static_cast<uint32_t *>(std::malloc((widest + 1) * sizeof(uint32_t)));
  int32_t *scratch = static_cast<int32_t *>(std::malloc((widest + 1) * sizeof(int32_t)));
  uint32_t *triangles = static_cast<uint32_t *>(std::malloc((3 * size_t(widest) + 1) * sizeof(uint32_t)));
  int status = lwook;
  if (!object->polygons || !corner || !scratch || !triangles) status = lwonoarraymemory;
  int32_t n = 0, cut = 0, made = 0, widestcut = 0, small = 0, flat = 0, details = 0, cutshort = 0;
  while (status == lwook && end - c->at >= 2) {
    uint32_t corners = readu16(c);
    if (end - c->at < 2 * size_t(corners) + 2) {
      cutshort = 1;
      break;
    }
    for (uint32_t i = 0; i < corners; i++) corner[i] = readu16(c);
    int32_t surface = int16_t(readu16(c));
    if (surface < 0) {
      // Negative: detail polygons follow, their count first; they are read as ordinary
      // polygons of the surface they name.
      surface = -surface;
      if (end - c->at >= 2) readu16(c);
      details++;
    }
    if (corners < 3) {
      small++;
      continue;
    }
    if (corners <= 4) {
      LwoPolygon &p = object->polygons[n++];
      p.numcorners = int32_t(corners);
      for (uint32_t i = 0; i < corners; i++) p.pointindex[i] = corner[i];
      p.surface = surface - 1;
      continue;
    }
    int got = triangulatepolygon(object->points, object->numpoints, corner, int(corners), scratch,
                                 triangles);
    cut++;
    made += got;
    if (int32_t(corners) > widestcut) widestcut = int32_t(corners);
    if (got == 0) flat++;
    for (int t = 0; t < got; t++) {
      LwoPolygon &p = object->polygons[n++];
      p.numcorners = 3;
      for (int i = 0; i < 3; i++) p.pointindex[i] = triangles[3 * t + i];
      p.surface = surface - 1;
    }
  }
  object->numpolygons = n;
  std::free(corner);
  std::free(scratch);
  std::free(triangles);
  if (status != lwook) return status;
  c->at = end;
  if (cut > 0)
    adaptwarning("object %s: %d polygons of 5 to %d corners cut into %d triangles", objectfilename,
                 int(cut), int(widestcut), int(made));
  if (flat > 0)
    adaptwarning("object %s: %d polygons without area left out", objectfilename, int(flat));
  if (small > 0)
    adaptwarning("object %s: %d polygons of 1 or 2 corners (points, lines) left out", objectfilename,
                 int(small));
  if (details > 0)
    adaptwarning("object %s: detail polygons of %d polygons drawn as ordinary polygons",
                 objectfilename, int(details));
  if (cutshort)
    adaptwarning("object %s: the last polygon runs past the end of its chunk and is left out",
                 objectfilename);
  return lwook;
}

int readpolygons(LwoObject *object, LwoCursor *c, LwoFailure *failure) {
  if (tolerantloading) return readpolygonsclassic(object, c);
  uint32_t length = readu32(c);
  if (c->failed || length > remaining(c)) return lwotruncated;
  // Ten bytes is the smallest polygon, and one may start in the last nine bytes.
  size_t room = (size_t(length) + 9) / 10;
  std::free(object->polygons);
  object->numpolygons = 0;
  object->polygons =
      static_cast<LwoPolygon *>(std::calloc(room > 0 ? room : 1, sizeof(LwoPolygon)));
  if (!object->polygons) return lwonoarraymemory;
  uint32_t counter = 0;
  int32_t n = 0;
  while (counter < length) {
    uint32_t corners = readu16(c);
    counter += 2;
    if (c->failed) return lwotruncated;
    if (corners > 4) {
      failure->polygon = n;
      failure->value = corners;
      return lwotoomanycorners;
    }
    if (corners < 3) {
      failure->polygon = n;
      failure->value = corners;
      return lwotoofewcorners;
    }
    LwoPolygon &p = object->polygons[n];
    p.numcorners = int32_t(corners);
    for (uint32_t i = 0; i < corners; i++) {
      p.pointindex[i] = readu16(c);
      counter += 2;
    }
    p.surface = int32_t(readu16(c)) - 1;
    counter += 2;
    if (c->failed) return lwotruncated;
    n++;
    object->numpolygons = n;
  }
  return lwook;
}

int readsurfacenames(LwoSurfaceNames *names, LwoCursor *c) {
  uint32_t length = readu32(c);
  if (c->failed || length > remaining(c)) return lwotruncated;
  freenames(names);
  size_t start = c->at;
  // Two passes as the files are laid out: count, then copy. A name stops at its NUL or
  // at the chunk's end; an odd count of bytes read is followed by a pad byte.
  for (int pass = 0; pass < 2; pass++) {
    c->at = start;
    uint32_t consumed = 0;
    int32_t count = 0;
    while (consumed < length) {
      char *slot = pass ? names->names[count] : nullptr;
      uint32_t n = 0;
      while (consumed < length) {
        uint8_t b = readbyte(c);
        consumed++;
        if (slot && n + 1 < uint32_t(lwosurfacenamesize)) slot[n] = char(b);
        n++;
        if (b == 0) break;
      }
      if (slot) slot[n < uint32_t(lwosurfacenamesize) ? n : lwosurfacenamesize - 1] = 0;
      if (n & 1) {
        readbyte(c);
        consumed++;
      }
      if (c->failed) return lwotruncated;
      // Polygons name surfaces with 16-bit numbers from 1: later names can never be
      // used, and each would cost a surface record of three 1 KB texts.
      if (++count > maxobjectsurfaces) return lwotoomanysurfaces;
    }
    if (pass == 0) {
      names->names = static_cast<char(*)[lwosurfacenamesize]>(
          std::calloc(count > 0 ? size_t(count) : 1, lwosurfacenamesize));
      if (!names->names) return lwonomemory;
      names->count = count;
    }
  }
  return lwook;
}

int readsurface(LwoSurface *surfaces, const LwoSurfaceNames *names, float scale, LwoCursor *c) {
  uint32_t length = readu32(c);
  if (c->failed || length > remaining(c)) return lwotruncated;
  size_t start = c->at;
  char name[lwosurfacenamesize];
  readtext(c, name, sizeof name);
  if (c->failed) return lwotruncated;
  int32_t index = -1;
  for (int32_t i = 0; surfaces && i < names->count; i++) {
    if (std::strcmp(names->names[i], name) == 0) {
      index = i;
      break;
    }
  }
  c->at = start;
  if (index < 0) {
    skipbytes(c, length);
    return lwook;
  }
  LwoSurface *s = &surfaces[index];
  resetsurface(s);
  int ctexseen = 0;
  uint8_t window[4] = {0, 0, 0, 0};
  // The counter follows the sub-chunk lengths while the position follows what each body
  // read takes; files whose lengths disagree with their bodies are read the same way.
  uint64_t counter = 0;
  while (counter < length) {
    shiftin(window, readbyte(c));
    counter++;
    if (c->failed) return lwotruncated;
    int id = 0;
    while (id < numsubids && !isid(window, subids[id])) id++;
    // TWRP is only recognised: its length and body are scanned like other bytes.
    if (id == numsubids || id == twrp) continue;
    counter += readu16(c) + 2;
    switch (id) {
      case colr:
        s->color[0] = readbyte(c);
        s->color[1] = readbyte(c);
        s->color[2] = readbyte(c);
        readbyte(c);
        break;
      case ctex:
        readtext(c, s->texturekind, lwotextsize);
        ctexseen = 1;
        break;
      case tflg: {
        uint32_t bits = readu16(c);
        if (bits & 0x1)
          s->texaxis = 0;
        else if (bits & 0x2)
          s->texaxis = 1;
        else if (bits & 0x4)
          s->texaxis = 2;
        break;
      }
      case tsiz:
        s->texsize = readscaledvec(c, scale);
        break;
      case timg:
        readtext(c, s->imagename, lwotextsize);
        break;
      case tctr:
        s->texcenter = readscaledvec(c, scale);
        break;
      case tfp0:
        s->widthrepeat = readf32(c);
        break;
      case tfp1:
        s->heightrepeat = readf32(c);
        break;
      case tfp2:
        s->texparam2 = readf32(c);
        break;
      case flag:
        s->flags = uint16_t(readu16(c));
        break;
      case sman:
        s->smoothingangle = readf32(c);
        break;
      case vlum:
        s->luminosity = readf32(c);
        break;
      case vdif:
        s->diffuse = readf32(c);
        break;
      case vspc:
        s->specular = readf32(c);
        break;
      case vtrn:
        s->transparency = readf32(c);
        break;
      case glos:
        s->glossiness = int32_t(readu16(c));
        break;
      case rimg:
        readtext(c, s->reflimagename, lwotextsize);
        break;
      case vrfl:
        s->reflectivity = readf32(c);
        break;
    }
    if (c->failed) return lwotruncated;
  }
  if (!ctexseen) {
    s->imagename[0] = 0;
    s->texturekind[0] = 0;
    s->texaxis = -1;
  }
  return lwook;
}

float xyztoh(float a, float, float c) {
  if (std::fabs(a) == 0 && std::fabs(c) == 0) return 0;
  if (std::fabs(c) == 0) return a < 0 ? 1.5707964f : -1.5707964f;
  double t = std::atan(double(a) / double(c));
  return float(c < 0 ? 3.14159265 - t : -t);
}

void xyztohp(float a, float b, float c, float *h, float *p) {
  if (std::fabs(a) == 0 && std::fabs(c) == 0) {
    *h = 0;
    *p = b == 0 ? 0.0f : b >= 0 ? 1.5707964f : -1.5707964f;
    return;
  }
  *h = xyztoh(a, b, c);
  float r = float(std::sqrt(double(a) * a + double(c) * c));
  if (r == 0)
    *p = b < 0 ? -1.5707964f : 1.5707964f;
  else
    *p = float(std::atan(double(b) / r));
}

float fract(float x) {
  if (x >= 0 && x <= 1) return x;
  return float(x - std::floor(double(x)));
}

void repairseam(float *u, int n, float width) {
  // Corners more than half a repeat apart lie on both sides of the seam; the smaller u
  // moves up by one repeat. Later pairs see the values earlier pairs left.
  for (int i = 0; i < n; i++) {
    for (int j = i + 1; j < n; j++) {
      if (std::fabs(double(u[j]) - u[i]) > double(width) / 2) {
        if (u[i] <= u[j])
          u[i] = float(double(u[i]) + width);
        else
          u[j] = float(double(u[j]) + width);
      }
    }
  }
}

void maptextures(LwoObject *object) {
  enum { planar, cylindrical, spherical };
  const double perturn = -0.15915494327375637;  // -1 / (2 pi)
  const double perhalf = -0.31830988654751274;  // -1 / pi
  for (int32_t k = 0; k < object->numpolygons; k++) {
    LwoPolygon &poly = object->polygons[k];
    if (poly.surface < 0 || poly.surface >= object->numsurfaces) continue;
    const LwoSurface &s = object->surfaces[poly.surface];
    if (!s.imagename[0]) continue;
    int kind;
    if (std::strcmp(s.texturekind, "Planar Image Map") == 0)
      kind = planar;
    else if (std::strcmp(s.texturekind, "Cylindrical Image Map") == 0)
      kind = cylindrical;
    else if (std::strcmp(s.texturekind, "Spherical Image Map") == 0)
      kind = spherical;
    else
      continue;
    if (s.texaxis < 0 || s.texaxis > 2) continue;
    const int a = s.texaxis;
    const Vec3 &size = s.texsize;
    float u[4] = {0, 0, 0, 0}, v[4] = {0, 0, 0, 0};
    for (int i = 0; i < poly.numcorners; i++) {
      const Vec3 &pt = object->points[poly.pointindex[i]];
      float x = pt.x - s.texcenter.x, y = pt.y - s.texcenter.y, z = pt.z - s.texcenter.z;
      if (kind == planar) {
        u[i] = float((a == 0 ? double(z) / size.z : double(x) / size.x) + 0.5);
        v[i] = float(0.5 - (a == 1 ? double(z) / size.z : double(y) / size.y));
        continue;
      }
      // The same argument triples serve the heading of both maps.
      float ha, hb, hc;
      double w;
      if (a == 0) {
        ha = z, hb = x, hc = -y;
        w = double(x) / size.x;
      } else if (a == 1) {
        ha = -x, hb = y, hc = z;
        w = double(y) / size.y;
      } else {
        ha = -x, hb = z, hc = -y;
        w = double(z) / size.z;
      }
      if (kind == cylindrical) {
        double uu = xyztoh(ha, hb, hc) * perturn + 1.0;
        if (s.widthrepeat != 1.0f) uu *= s.widthrepeat;
        u[i] = float(uu);
        v[i] = float(0.5 - w);
      } else {
        float h, p;
        xyztohp(ha, hb, hc, &h, &p);
        u[i] = float(h * perturn + 1.0);
        v[i] = float(p * perhalf + 0.5);
        if (s.widthrepeat != 1.0f) u[i] = float(double(fract(u[i])) * s.widthrepeat);
        if (s.heightrepeat != 1.0f) v[i] = float(double(fract(v[i])) * s.heightrepeat);
      }
    }
    if (kind != planar) repairseam(u, poly.numcorners, s.widthrepeat);
    for (int i = 0; i < poly.numcorners; i++) {
      poly.uv[i][0] = u[i];
      poly.uv[i][1] = v[i];
    }
  }
}

void freelwo(LwoObject *object) {
  if (!object) return;
  std::free(object->surfaces);
  std::free(object->polygons);
  std::free(object->points);
  std::free(object);
}

// Classic content: polygons naming no listed surface get the first surface (a grey one
// when the file lists none) rather than stopping the build.
static int placepolygons(LwoObject *object) {
  int32_t stray = 0;
  for (int32_t k = 0; k < object->numpolygons; k++) {
    const int32_t s = object->polygons[k].surface;
    stray += s < 0 || s >= object->numsurfaces;
  }
  if (stray == 0) return lwook;
  if (object->numsurfaces == 0) {
    std::free(object->surfaces);
    object->surfaces = static_cast<LwoSurface *>(std::malloc(sizeof(LwoSurface)));
    if (!object->surfaces) return lwonosurfacememory;
    clearsurface(&object->surfaces[0]);
    for (uint8_t &v : object->surfaces[0].color) v = 200;
    object->numsurfaces = 1;
  }
  for (int32_t k = 0; k < object->numpolygons; k++) {
    int32_t &s = object->polygons[k].surface;
    if (s < 0 || s >= object->numsurfaces) s = 0;
  }
  adaptwarning("object %s: %d polygons name no listed surface and take the first", objectfilename,
               int(stray));
  return lwook;
}

int parselwo(const uint8_t *data, size_t size, float scale, LwoObject **result,
             LwoFailure *failure) {
  *result = nullptr;
  LwoObject *object = static_cast<LwoObject *>(std::calloc(1, sizeof(LwoObject)));
  if (!object) return lwonomemory;
  LwoSurfaceNames names;
  LwoCursor c;
  c.data = data;
  c.size = size;
  int havepoints = 0;
  int status = lwook;
  uint8_t window[4] = {0, 0, 0, 0};
  while (status == lwook && c.at < c.size) {
    shiftin(window, readbyte(&c));
    if (isid(window, "SURF")) {
      status = readsurface(object->surfaces, &names, scale, &c);
    } else if (isid(window, "PNTS")) {
      status = readpoints(object, scale, &c);
      havepoints = 1;
    } else if (isid(window, "POLS")) {
      status = readpolygons(object, &c, failure);
    } else if (isid(window, "SRFS")) {
      status = readsurfacenames(&names, &c);
      if (status == lwook) {
        std::free(object->surfaces);
        object->numsurfaces = 0;
        size_t count = size_t(names.count);
        object->surfaces =
            static_cast<LwoSurface *>(std::malloc((count > 0 ? count : 1) * sizeof(LwoSurface)));
        if (!object->surfaces) {
          status = lwonosurfacememory;
        } else {
          for (size_t i = 0; i < count; i++) clearsurface(&object->surfaces[i]);
          object->numsurfaces = names.count;
        }
      }
    }
  }
  freenames(&names);
  if (status == lwook && !havepoints) status = lwonopoints;
  for (int32_t k = 0; status == lwook && k < object->numpolygons; k++) {
    const LwoPolygon &p = object->polygons[k];
    for (int i = 0; i < p.numcorners; i++) {
      if (p.pointindex[i] >= uint32_t(object->numpoints)) {
        failure->polygon = k;
        failure->value = p.pointindex[i];
        failure->limit = object->numpoints;
        status = lwobadpoint;
        break;
      }
    }
  }
  if (status == lwook && tolerantloading) status = placepolygons(object);
  if (status != lwook) {
    freelwo(object);
    return status;
  }
  maptextures(object);
  *result = object;
  return lwook;
}
