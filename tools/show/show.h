// The programme's own show: geometry builders (a vector font of our own, extruded into
// solid letters, and simple solids) and procedural textures, used by the show generator.
//
// Geometry follows the object files' convention: polygons are listed clockwise as seen
// from their visible side, x right, y up, z forward.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ShowPoint {
  float x = 0, y = 0, z = 0;
};

struct ShowPoly {
  int numcorners = 0;
  int corners[4] = {0, 0, 0, 0};
  int surface = 1;  // 1-based surface number, as object files count
};

struct ShowMesh {
  std::vector<ShowPoint> points;
  std::vector<ShowPoly> polys;
};

// A box from lo to hi with all six faces outward.
void showbox(ShowMesh *mesh, ShowPoint lo, ShowPoint hi, int surface);
// A UV sphere of radius r around c, with slices around y and stacks from pole to pole.
void showsphere(ShowMesh *mesh, ShowPoint c, float r, int slices, int stacks, int surface);
// A tube around the z axis from z0 to z1, seen from inside (the tunnel).
void showtunnel(ShowMesh *mesh, float radius, float z0, float z1, int slices, int rings,
                int surface);
// A flat square in the y = height plane, facing up, split into n x n quads.
void showfloor(ShowMesh *mesh, float halfsize, float height, int n, int surface);
// A flat square facing -z (towards an unrotated camera), centred at c.
void showcard(ShowMesh *mesh, ShowPoint c, float halfwidth, float halfheight, int surface);
// A torus around the y axis.
void showtorus(ShowMesh *mesh, float major, float minor, int segments, int sides, int surface);

// Width of text in font units at size 1 (letters are 1 tall, advance 0.8 per character).
float showtextwidth(const std::string &text);
// Solid letters of the vector font: every stroke becomes a bar of the given thickness
// extruded from z = 0 to z = depth, letters size tall with the baseline at y = 0, the
// text centred on x = 0. Characters without a glyph leave a gap.
void showtext(ShowMesh *mesh, const std::string &text, float size, float thickness,
              float depth, int surface);

// An ARGB8888 image, row-major from the top row.
struct ShowImage {
  int width = 0, height = 0;
  std::vector<uint32_t> argb;
};

ShowImage showmarble(int size);
ShowImage showwood(int size);
ShowImage showchecker(int size, int cells, uint32_t a, uint32_t b);
ShowImage showsky(int width, int height);
// A chrome-like environment for reflection maps: sky above, ground below, a bright horizon.
ShowImage showenvmap(int size);
// A soft round sprite with alpha falling to zero at the rim, in the given colour. The
// colour is premultiplied by the alpha, so that the sprite also fades out when it is
// blended additively (particles and glows are).
ShowImage showsprite(int size, uint32_t rgb);
// A planet for spherical maps (width twice the height): seas, land and ice caps; it tiles
// around.
ShowImage showplanet(int width, int height);
// Riveted metal plates with a warning stripe, for the tunnel.
ShowImage showpanels(int size);
// A metal grating whose holes have alpha 0, for cut-out surfaces.
ShowImage showgrating(int size);

// Writes the whole show into folder (made if missing): the three scenes, objects\ and
// textures\. 1 when every file was written; 0 after a message on standard error for
// each folder or file that could not be.
int writeshow(const char *folder);
