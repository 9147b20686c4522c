// The 3DF texture file: four text lines, then the NCC table or palette, then the texels of
// every level, largest first, all multi-byte values big-endian.
//
//   3df v1.1
//   rgb565
//   lod range: 1 256          smallest then largest side
//   aspect ratio: 2 1         width:height
//
// The header is read the way the card library reads it: the four lines into one 100-byte
// buffer (a line that does not end inside it fails the read), then matched against
// "3df v%s %s lod range: %i %i aspect ratio: %i %i" with scanf's rules (a blank matches
// any run of white space, %i takes 0x hex and 0 octal). Comment lines are not skipped:
// files that carry them are refused, as they are on the card. Where the library would
// overflow its 5- and 10-byte token buffers or leave a lod unset, we refuse the file.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/glide/cardinternal.h"
#include "platform/glide/cardtexture.h"
#include "platform/glide/glide.h"
#include "platform/platform.h"

namespace {

constexpr int headerbuffer = 100;
constexpr int versionmax = 4;  // the library's buffers hold 5 and 10 bytes with the zero
constexpr int formatmax = 9;

struct HeaderText {
  char text[headerbuffer];
  int len;
};

// The four header lines, with their line feeds, as fgets would gather them into one
// buffer of headerbuffer bytes. 0 when a line is cut by the end of the file or the buffer.
int readheaderlines(FILE *f, HeaderText *h) {
  h->len = 0;
  h->text[0] = 0;
  for (int line = 0; line < 4; line++) {
    for (;;) {
      if (h->len >= headerbuffer - 1) return 0;
      int c = getc(f);
      if (c == EOF || c == 0) return 0;
      h->text[h->len++] = (char)c;
      if (c == '\n') break;
    }
  }
  h->text[h->len] = 0;
  return 1;
}

struct Scan {
  const char *p;
};

void skipspace(Scan *s) {
  while (isspace((unsigned char)*s->p)) s->p++;
}

// A literal of the pattern: blanks match any run of white space, other characters
// themselves.
int scanliteral(Scan *s, const char *lit) {
  for (; *lit; lit++) {
    if (*lit == ' ') {
      skipspace(s);
    } else {
      if (*s->p != *lit) return 0;
      s->p++;
    }
  }
  return 1;
}

// %s into out (room for max characters and the zero).
int scantoken(Scan *s, char *out, int max) {
  skipspace(s);
  int n = 0;
  while (*s->p && !isspace((unsigned char)*s->p)) {
    if (n == max) return 0;
    out[n++] = *s->p++;
  }
  out[n] = 0;
  return n > 0;
}

// %i, limited to values that fit comfortably: anything beyond +-99999 cannot be a valid
// side or ratio and is refused rather than wrapped.
int scanint(Scan *s, int *value) {
  skipspace(s);
  const char *p = s->p;
  int negative = 0;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int base = 10;
  if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && isxdigit((unsigned char)p[2])) {
    base = 16;
    p += 2;
  } else if (p[0] == '0') {
    base = 8;
  }
  long v = 0;
  int digits = 0;
  for (;; p++) {
    int d;
    if (*p >= '0' && *p <= '9') d = *p - '0';
    else if (*p >= 'a' && *p <= 'f') d = *p - 'a' + 10;
    else if (*p >= 'A' && *p <= 'F') d = *p - 'A' + 10;
    else break;
    if (d >= base) break;
    v = v * base + d;
    if (v > 99999) return 0;
    digits++;
  }
  if (digits == 0) return 0;
  s->p = p;
  *value = (int)(negative ? -v : v);
  return 1;
}

// GR_LOD_* of a side length, -1 unless a power of two in 1..256.
int lodofside(int side) {
  for (int lod = GR_LOD_256; lod <= GR_LOD_1; lod++)
    if (side == 256 >> lod) return lod;
  return -1;
}

int aspectof(int w, int h) {
  static const int ratios[7][2] = {{8, 1}, {4, 1}, {2, 1}, {1, 1}, {1, 2}, {1, 4}, {1, 8}};
  for (int a = 0; a < 7; a++)
    if (ratios[a][0] == w && ratios[a][1] == h) return a;
  return -1;
}

// Reads and checks the header; fills info's header and mem_required (nothing else).
int readheader(FILE *f, Gu3dfInfo *info) {
  HeaderText h;
  if (!readheaderlines(f, &h)) return 0;
  Scan s = {h.text};
  char version[versionmax + 1], name[formatmax + 1];
  int small, large, aw, ah;
  if (!scanliteral(&s, "3df v") || !scantoken(&s, version, versionmax) ||
      !scantoken(&s, name, formatmax) || !scanliteral(&s, " lod range: ") ||
      !scanint(&s, &small) || !scanint(&s, &large) || !scanliteral(&s, " aspect ratio: ") ||
      !scanint(&s, &aw) || !scanint(&s, &ah))
    return 0;
  int format = cardformatbyname(name);
  int smalllod = lodofside(small), largelod = lodofside(large);
  int aspect = aspectof(aw, ah);
  if (format < 0 || smalllod < 0 || largelod < 0 || smalllod < largelod || aspect < 0) return 0;
  Gu3dfHeader *hd = &info->header;
  int w, hh;
  cardlevelsize(aspect, largelod, &w, &hh);
  hd->width = (FxU32)w;
  hd->height = (FxU32)hh;
  hd->small_lod = smalllod;
  hd->large_lod = largelod;
  hd->aspect_ratio = aspect;
  hd->format = format;
  info->mem_required =
      (FxU32)cardleveltexels(aspect, largelod, smalllod) * (FxU32)cardtexelbytes(format);
  return 1;
}

int tablebytes(int format) {
  if (format == GR_TEXFMT_YIQ_422 || format == GR_TEXFMT_AYIQ_8422) return 80;
  if (format == GR_TEXFMT_P_8 || format == GR_TEXFMT_AP_88) return 1024;
  return 0;
}

// A 9-bit two's-complement table entry.
FxI16 ncc9(unsigned word) {
  unsigned v = word & 0x1FF;
  return (FxI16)(v & 0x100 ? (int)v - 0x200 : (int)v);
}

void unpackncc(const FxU8 *b, GuNccTable *t) {
  unsigned w[40];
  for (int k = 0; k < 40; k++) w[k] = (unsigned)b[2 * k] << 8 | b[2 * k + 1];
  for (int k = 0; k < 16; k++) t->yRGB[k] = (FxU8)(w[k] & 0xFF);
  for (int k = 0; k < 4; k++)
    for (int c = 0; c < 3; c++) {
      t->iRGB[k][c] = ncc9(w[16 + 3 * k + c]);
      t->qRGB[k][c] = ncc9(w[28 + 3 * k + c]);
    }
  cardpackncc(t);
}

}  // namespace

void cardpackncc(GuNccTable *ncc) {
  for (int k = 0; k < 4; k++) {
    ncc->packed_data[k] = (FxU32)ncc->yRGB[4 * k] | (FxU32)ncc->yRGB[4 * k + 1] << 8 |
                          (FxU32)ncc->yRGB[4 * k + 2] << 16 | (FxU32)ncc->yRGB[4 * k + 3] << 24;
    const FxI16 *i = ncc->iRGB[k], *q = ncc->qRGB[k];
    ncc->packed_data[4 + k] =
        ((FxU32)i[0] & 0x1FF) << 18 | ((FxU32)i[1] & 0x1FF) << 9 | ((FxU32)i[2] & 0x1FF);
    ncc->packed_data[8 + k] =
        ((FxU32)q[0] & 0x1FF) << 18 | ((FxU32)q[1] & 0x1FF) << 9 | ((FxU32)q[2] & 0x1FF);
  }
}

// The largest 3DF file: a header of four short lines, a table of at most 1024 bytes (a
// palette) and the texels of a 256 x 256 level chain at 2 bytes a texel, 4/3 x 128 KB =
// 170.7 KB, in all under 176 KB. 4 MB leaves room for trailing bytes some tools append
// and still bounds what a name linked to a device or a huge file can make us read.
constexpr int64_t max3dfbytes = int64_t(4) << 20;

FxBool gu3dfGetInfo(const char *filename, Gu3dfInfo *info) {
  cardtracecall("gu3dfGetInfo(%s)", filename ? filename : "");
  if (filename == nullptr || info == nullptr) return FXFALSE;
  int64_t size = 0;
  FILE *f = openinput(filename, max3dfbytes, &size);
  if (f == nullptr) return FXFALSE;
  Gu3dfInfo got;
  memset(&got, 0, sizeof got);
  int ok = readheader(f, &got);
  fclose(f);
  if (!ok) {
    noteinputfailure("has no 3DF header of a format this card takes");
    return FXFALSE;
  }
  info->header = got.header;
  info->mem_required = got.mem_required;
  return FXTRUE;
}

// The header is read again and must be the one gu3dfGetInfo gave: info->data holds only
// mem_required bytes, so a file changed in between, or a header the caller altered, is
// refused before anything is written. On failure the data and table are left zeroed.
FxBool gu3dfLoad(const char *filename, Gu3dfInfo *info) {
  cardtracecall("gu3dfLoad(%s)", filename ? filename : "");
  if (filename == nullptr || info == nullptr || info->data == nullptr) return FXFALSE;
  int64_t size = 0;
  FILE *f = openinput(filename, max3dfbytes, &size);
  if (f == nullptr) return FXFALSE;
  Gu3dfInfo got;
  memset(&got, 0, sizeof got);
  int ok = readheader(f, &got) && memcmp(&got.header, &info->header, sizeof got.header) == 0 &&
           got.mem_required <= info->mem_required;
  memset(&info->table, 0, sizeof info->table);
  if (!ok) {
    fclose(f);
    noteinputfailure("changed since its header was read");
    return FXFALSE;
  }
  int format = got.header.format;
  FxU8 table[1024];
  int tb = tablebytes(format);
  FxU8 *data = (FxU8 *)info->data;
  size_t n = got.mem_required;
  long at = ftell(f);
  ok = fread(table, 1, (size_t)tb, f) == (size_t)tb && fread(data, 1, n, f) == n;
  fclose(f);
  if (!ok) {
    memset(data, 0, n);
    noteinputfailure("is cut short: %lld bytes of table and texels where its header needs %lld",
                     (long long)(size - at), (long long)((size_t)tb + n));
    return FXFALSE;
  }
  if (tb == 80) {
    unpackncc(table, &info->table.nccTable);
  } else if (tb == 1024) {
    for (int k = 0; k < 256; k++)
      info->table.palette.data[k] = (FxU32)table[4 * k] << 24 | (FxU32)table[4 * k + 1] << 16 |
                                    (FxU32)table[4 * k + 2] << 8 | table[4 * k + 3];
  }
  if (cardtexelbytes(format) == 2) {
    for (size_t k = 0; k + 1 < n; k += 2) {
      FxU16 v = (FxU16)(data[k] << 8 | data[k + 1]);
      memcpy(data + k, &v, 2);
    }
  }
  return FXTRUE;
}
