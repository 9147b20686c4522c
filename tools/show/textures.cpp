#include <cmath>
#include <cstdint>

#include "tools/show/show.h"

namespace {

uint32_t argb(int a, int r, int g, int b) {
  auto c = [](int v) { return (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v); };
  return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

// Integer hash of a lattice point: the same value on every machine.
float lattice(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (float)(h & 0xFFFF) / 65535.0f;
}

// Value noise on a lattice of `period` cells, wrapping so that the textures tile.
float noise(float x, float y, int period, uint32_t seed) {
  int x0 = (int)std::floor(x), y0 = (int)std::floor(y);
  float fx = x - (float)x0, fy = y - (float)y0;
  auto wrap = [period](int v) { return ((v % period) + period) % period; };
  float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  float a = lattice(wrap(x0), wrap(y0), seed), b = lattice(wrap(x0 + 1), wrap(y0), seed);
  float c = lattice(wrap(x0), wrap(y0 + 1), seed), d = lattice(wrap(x0 + 1), wrap(y0 + 1), seed);
  return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}

// Sum of octaves, each twice the frequency at half the weight; 0..1.
float turbulence(float u, float v, int basecells, int octaves, uint32_t seed) {
  float sum = 0, weight = 0.5f, total = 0;
  int cells = basecells;
  for (int o = 0; o < octaves; o++) {
    sum += weight * noise(u * (float)cells, v * (float)cells, cells, seed + (uint32_t)o);
    total += weight;
    weight *= 0.5f;
    cells *= 2;
  }
  return sum / total;
}

ShowImage blank(int width, int height) {
  ShowImage image;
  image.width = width;
  image.height = height;
  image.argb.assign((size_t)width * (size_t)height, 0);
  return image;
}

const float twopi = 6.2831853f;

}  // namespace

ShowImage showmarble(int size) {
  ShowImage image = blank(size, size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      float u = (float)x / (float)size, v = (float)y / (float)size;
      float t = turbulence(u, v, 4, 5, 11);
      // Veins: a sine across the image, bent by the turbulence; whole periods so it tiles.
      float vein = 0.5f + 0.5f * std::sin(twopi * (2 * u + v) + 9.0f * t);
      float s = std::pow(vein, 0.35f);
      image.argb[(size_t)y * size + x] =
          argb(255, (int)(70 + 175 * s), (int)(75 + 170 * s), (int)(95 + 160 * s));
    }
  return image;
}

ShowImage showwood(int size) {
  ShowImage image = blank(size, size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      float u = (float)x / (float)size, v = (float)y / (float)size;
      float t = turbulence(u, v, 2, 4, 23);
      // Rings around a centre line running along v, with the grain bent by noise.
      float d = std::fabs(std::sin(twopi * u)) * 3.0f + 2.5f * t;
      float ring = d * 6.0f - std::floor(d * 6.0f);
      float grain = 0.85f + 0.15f * noise(u * 64, v * 4, 64, 5);
      float s = (0.55f + 0.45f * ring) * grain;
      image.argb[(size_t)y * size + x] =
          argb(255, (int)(190 * s + 20), (int)(120 * s + 10), (int)(60 * s));
    }
  return image;
}

ShowImage showchecker(int size, int cells, uint32_t a, uint32_t b) {
  ShowImage image = blank(size, size);
  int cell = size / cells;
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++)
      image.argb[(size_t)y * size + x] = (((x / cell) + (y / cell)) & 1) ? b : a;
  return image;
}

ShowImage showsky(int width, int height) {
  ShowImage image = blank(width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      float u = (float)x / (float)width, v = (float)y / (float)height;
      float cloud = turbulence(u, v, 4, 5, 37);
      cloud = cloud < 0.45f ? 0 : (cloud - 0.45f) / 0.55f;
      float r = 40 + 80 * v, g = 80 + 90 * v, b = 170 + 60 * v;
      r += (255 - r) * cloud;
      g += (255 - g) * cloud;
      b += (255 - b) * cloud;
      image.argb[(size_t)y * width + x] = argb(255, (int)r, (int)g, (int)b);
    }
  return image;
}

ShowImage showenvmap(int size) {
  ShowImage image = blank(size, size);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      // Reflection coordinates come from the normal's x and y: v runs from the bottom of
      // the sphere (ground) at row 0 to the top (sky).
      float nx = 2.0f * (float)x / (float)(size - 1) - 1.0f;
      float ny = 2.0f * (float)y / (float)(size - 1) - 1.0f;
      float r, g, b;
      if (ny > 0.05f) {
        float t = ny;
        r = 120 + 100 * t;
        g = 150 + 90 * t;
        b = 210 + 45 * t;
      } else if (ny > -0.05f) {
        r = g = b = 255;
      } else {
        float t = -ny;
        r = 90 - 60 * t;
        g = 70 - 50 * t;
        b = 60 - 40 * t;
      }
      // A few bright studio lights.
      float l1 = std::exp(-((nx - 0.45f) * (nx - 0.45f) + (ny - 0.5f) * (ny - 0.5f)) * 40);
      float l2 = std::exp(-((nx + 0.6f) * (nx + 0.6f) + (ny - 0.25f) * (ny - 0.25f)) * 60);
      float l = 255 * (l1 + l2);
      image.argb[(size_t)y * size + x] = argb(255, (int)(r + l), (int)(g + l), (int)(b + l));
    }
  return image;
}

ShowImage showsprite(int size, uint32_t rgb) {
  ShowImage image = blank(size, size);
  int r = (int)(rgb >> 16 & 255), g = (int)(rgb >> 8 & 255), b = (int)(rgb & 255);
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      float dx = ((float)x + 0.5f) / (float)size * 2 - 1, dy = ((float)y + 0.5f) / (float)size * 2 - 1;
      float d = std::sqrt(dx * dx + dy * dy);
      float a = d >= 1 ? 0 : (1 - d) * (1 - d);
      float core = d < 0.3f ? (0.3f - d) / 0.3f : 0;
      image.argb[(size_t)y * size + x] =
          argb((int)(255 * a), (int)((r + (255 - r) * core) * a),
               (int)((g + (255 - g) * core) * a), (int)((b + (255 - b) * core) * a));
    }
  return image;
}

ShowImage showgrating(int size) {
  ShowImage image = blank(size, size);
  int cell = size / 8;
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      int cx = x % cell, cy = y % cell;
      bool hole = cx > cell / 5 && cx < cell - cell / 5 && cy > cell / 5 && cy < cell - cell / 5;
      int shade = 150 + (int)(60 * noise((float)x / 8, (float)y / 8, size / 8, 71));
      image.argb[(size_t)y * size + x] =
          hole ? argb(0, 0, 0, 0) : argb(255, shade, shade - 10, shade - 30);
    }
  return image;
}

ShowImage showplanet(int width, int height) {
  ShowImage image = blank(width, height);
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++) {
      float u = (float)x / (float)width, v = (float)y / (float)height;
      // The noise lattice is square, so v is scaled to keep the continents round.
      float t = turbulence(u, v * 0.5f, 4, 6, 53);
      float lat = std::fabs(v - 0.5f) * 2;
      float r, g, b;
      if (lat > 0.86f - 0.2f * (t - 0.5f)) {
        r = g = b = 235;
      } else if (t > 0.5f) {
        float h = (t - 0.5f) / 0.5f;
        r = 60 + 150 * h;
        g = 120 + 40 * h;
        b = 40 + 40 * h;
      } else {
        float d = t / 0.5f;
        r = 10 + 30 * d;
        g = 40 + 70 * d;
        b = 110 + 90 * d;
      }
      image.argb[(size_t)y * width + x] = argb(255, (int)r, (int)g, (int)b);
    }
  return image;
}

ShowImage showpanels(int size) {
  ShowImage image = blank(size, size);
  int plate = size / 4;
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      int px = x % plate, py = y % plate;
      float shade = 120 + 50 * noise((float)x / 16, (float)y / 16, size / 16, 91);
      // Bevelled edges: lit along the top and left, dark along the bottom and right.
      if (px < 2 || py < 2) shade += 60;
      if (px >= plate - 2 || py >= plate - 2) shade -= 70;
      int rx = px < plate / 2 ? px - 6 : px - (plate - 7);
      int ry = py < plate / 2 ? py - 6 : py - (plate - 7);
      bool rivet = rx * rx + ry * ry <= 4;
      if (rivet) shade += 70;
      float r = shade, g = shade, b = shade + 8;
      // A yellow and black stripe across every second row of plates.
      if ((y / plate) % 2 == 1 && py > plate * 3 / 8 && py < plate * 5 / 8 && !rivet) {
        bool yellow = ((x + py) / 8) % 2 == 0;
        r = yellow ? 230 : 30;
        g = yellow ? 180 : 30;
        b = yellow ? 20 : 30;
      }
      image.argb[(size_t)y * size + x] = argb(255, (int)r, (int)g, (int)b);
    }
  return image;
}
