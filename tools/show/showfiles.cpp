// The programme's own show: "intro1.lws", "intro2.lws" and "by.lws", the object files
// they load (objects\) and their textures (textures\), all made here, procedurally; the
// same folder comes out byte for byte on every run.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/glide/glide.h"
#include "tools/show/show.h"
#include "tools/writers/writers.h"

namespace {

const double pi = 3.14159265358979323846;

// ---- output ----

std::string outfolder;
int failures = 0;

void fail(const std::string &path, const char *what) {
  fprintf(stderr, "makeshow: cannot write %s: %s\n", path.c_str(), what);
  failures++;
}

// The reason of a writer that failed: the system's when it gave one, else the writer's
// own refusal.
const char *writefailure(const char *refusal) { return errno != 0 ? strerror(errno) : refusal; }

int makefolder(const std::string &path) {
  if (mkdir(path.c_str(), 0777) == 0) return 1;
  struct stat st;
  if (errno == EEXIST && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return 1;
  fprintf(stderr, "makeshow: cannot create the folder %s: %s\n", path.c_str(),
          errno == EEXIST ? "a file of that name is in the way" : strerror(errno));
  return 0;
}

// ---- textures ----

// A texture image as the objects name it (a Windows path, as the modeller stores it); the
// player loads "textures\<base name with 3df for its last three letters>".
std::string imagename(const char *name) { return std::string("Images\\") + name + ".tga"; }

void writetexture(const char *name, const ShowImage &image, int format) {
  std::string path = outfolder + "/textures/" + name + ".3df";
  // After the first failure (a full disk, most often) nothing more is tried: every
  // later file would fail the same way.
  if (failures > 0) return;
  errno = 0;
  if (!write3dfimage(path.c_str(), image.argb.data(), image.width, image.height, format))
    fail(path, writefailure("the 3DF writer refused it"));
}

void writetextures() {
  // Textures in the card's formats that suit pictures and sprites: yiq (8-bit with its
  // NCC table), rgb565, argb1555 (cut-outs), argb4444 (soft alpha) and ai88. Not p8 or
  // ap88: their palettes are never downloaded.
  writetexture("marble", showmarble(256), GR_TEXFMT_YIQ_422);
  // Square images only: the card spans 0..255 texels along both sides of one repeat, so a
  // 2:1 image would repeat twice from pole to pole.
  writetexture("planet", showplanet(256, 256), GR_TEXFMT_YIQ_422);
  writetexture("sky", showsky(256, 256), GR_TEXFMT_YIQ_422);
  writetexture("wood", showwood(128), GR_TEXFMT_RGB_565);
  writetexture("checker", showchecker(128, 4, 0xFFD8D8E0u, 0xFF404058u), GR_TEXFMT_RGB_565);
  writetexture("panels", showpanels(256), GR_TEXFMT_RGB_565);
  writetexture("chrome", showenvmap(128), GR_TEXFMT_RGB_565);
  writetexture("grating", showgrating(128), GR_TEXFMT_ARGB_1555);
  writetexture("spark", showsprite(64, 0xFFFFFF), GR_TEXFMT_ARGB_4444);
  // Large glows in 8-bit intensity and alpha: in argb4444 their faint rim would fall from
  // 17 to 0 in one step, a hard ring on black.
  writetexture("glow", showsprite(128, 0xFFFFFF), GR_TEXFMT_ALPHA_INTENSITY_88);
}

// ---- objects ----

LwoWriterSurface surface(const char *name, int r, int g, int b, float diffuse = 0.85f,
                         float specular = 0, int glossiness = 64) {
  LwoWriterSurface s;
  s.name = name;
  s.red = (uint8_t)r;
  s.green = (uint8_t)g;
  s.blue = (uint8_t)b;
  s.diffuse = diffuse;
  s.specular = specular;
  s.glossiness = (uint16_t)glossiness;
  return s;
}

LwoWriterSurface mapped(LwoWriterSurface s, const char *kind, const char *image, int axis,
                        Vec3 center, Vec3 size, float widthrepeat = 1, float heightrepeat = 1) {
  s.texturekind = kind;
  s.image = imagename(image);
  s.texaxis = axis;
  s.texcenter = center;
  s.texsize = size;
  s.widthrepeat = widthrepeat;
  s.heightrepeat = heightrepeat;
  return s;
}

// Moves every point of the mesh.
void translate(ShowMesh *mesh, float dx, float dy, float dz) {
  for (size_t i = 0; i < mesh->points.size(); i++) {
    mesh->points[i].x += dx;
    mesh->points[i].y += dy;
    mesh->points[i].z += dz;
  }
}

// Writes objects\<name>.lwo and returns the name the scenes load it by. With weld, points
// at the same place are shared, so curved surfaces are shaded smoothly; without, every
// face keeps its own corners and stays flat (letters, boxes).
std::string writeobject(const char *name, const ShowMesh &mesh,
                        const std::vector<LwoWriterSurface> &surfaces, bool weld) {
  LwoWriter object;
  object.surfaces = surfaces;
  // Points are matched on a 1/10000 grid: a ring's closing seam, computed at 2 pi, lands
  // a rounding error away from its start at 0.
  std::map<std::tuple<long, long, long>, int> seen;
  std::vector<int> index(mesh.points.size());
  for (size_t i = 0; i < mesh.points.size(); i++) {
    const ShowPoint &p = mesh.points[i];
    auto key = std::make_tuple(lround(p.x * 1e4f), lround(p.y * 1e4f), lround(p.z * 1e4f));
    auto found = seen.find(key);
    if (weld && found != seen.end()) {
      index[i] = found->second;
      continue;
    }
    index[i] = lwoaddpoint(&object, p.x, p.y, p.z);
    seen.emplace(key, index[i]);
  }
  for (const ShowPoly &poly : mesh.polys) {
    LwoWriterPolygon out;
    for (int c = 0; c < poly.numcorners; c++) out.corners.push_back((uint16_t)index[poly.corners[c]]);
    out.surface = poly.surface - 1;
    object.polygons.push_back(out);
  }
  std::string path = outfolder + "/objects/" + name + ".lwo";
  if (object.points.size() > 65536) fail(path, "too many points for one object");
  errno = 0;
  if (failures == 0 && !writelwo(path.c_str(), &object)) fail(path, writefailure("write error"));
  return std::string("objects\\") + name + ".lwo";
}

// ---- motion ----

LwsFileMotion motion(std::vector<LwsFileKey> keys, int endbehavior = 1) {
  LwsFileMotion m;
  m.keys = std::move(keys);
  m.endbehavior = endbehavior;
  return m;
}

// A turn about one angle channel (3 heading, 4 pitch, 5 bank) every period frames, at an
// even pace and repeated for ever.
LwsFileMotion spin(float x, float y, float z, int channel, int period, float heading = 0,
                   float pitch = 0, float bank = 0) {
  LwsFileKey a = lwskey(0, x, y, z, heading, pitch, bank), b = a;
  b.frame = period;
  b.values[channel] += 360;
  b.linear = 1;
  return motion({a, b}, 2);
}

// The heading and pitch that turn +z towards the direction d (the rotation order of the
// scene files: heading about y, then pitch about x; positive pitch looks down).
void aim(float dx, float dy, float dz, float *heading, float *pitch) {
  *heading = (float)(atan2(dx, dz) * 180 / pi);
  *pitch = (float)(atan2(-dy, sqrt(dx * dx + dz * dz)) * 180 / pi);
}

struct Shot {
  int frame;
  float x, y, z;     // camera position
  float tx, ty, tz;  // the point it looks at
  float bank;
};

// A camera path of its own angles from positions and aim points; headings are unwound so
// that the spline never turns the long way round.
LwsFileMotion camerapath(const std::vector<Shot> &shots) {
  std::vector<LwsFileKey> keys;
  float last = 0;
  for (size_t i = 0; i < shots.size(); i++) {
    const Shot &s = shots[i];
    float h, p;
    aim(s.tx - s.x, s.ty - s.y, s.tz - s.z, &h, &p);
    if (i > 0) {
      while (h - last > 180) h -= 360;
      while (h - last < -180) h += 360;
    }
    last = h;
    keys.push_back(lwskey(s.frame, s.x, s.y, s.z, h, p, s.bank));
  }
  return motion(keys, 1);
}

LwsFileObject object(const std::string &file, LwsFileMotion m, int parent = 0) {
  LwsFileObject o;
  o.filename = file;
  o.motion = std::move(m);
  o.parent = parent;
  return o;
}

LwsFileLight light(const char *name, int r, int g, int b, float intensity, int type,
                   LwsFileMotion m, float falloffrange = 0) {
  LwsFileLight l;
  l.name = name;
  l.color[0] = r;
  l.color[1] = g;
  l.color[2] = b;
  l.intensity = intensity;
  l.type = type;
  l.motion = std::move(m);
  l.falloff = falloffrange > 0;
  l.falloffrange = falloffrange;
  return l;
}

// Every scene plays with the ambient light of the last one loaded, "by.lws"; the same
// value is written into all three so that each file also stands on its own.
void ambient(LwsFileScene *scene) {
  scene->ambient[0] = scene->ambient[1] = scene->ambient[2] = 255;
  scene->ambientintensity = 0.22f;
}

void writescene(const char *name, const LwsFileScene &scene) {
  std::string path = outfolder + "/" + name;
  errno = 0;
  if (failures == 0 && !writelws(path.c_str(), scene)) fail(path, writefailure("write error"));
}

// Letters are 1 tall at size 1 and advance 5/6 of that per character.
const float advance = 5.0f / 6.0f;

// The centre of character i of text set at size (the text centred on x = 0).
float lettercentre(const std::string &text, int i, float size) {
  return (-showtextwidth(text) / 2 + advance * (float)i + 2.0f / 6.0f) * size;
}

// ---- scene 1: the title ----

void intro1() {
  LwsFileScene scene;
  scene.firstframe = 0;
  scene.lastframe = 1200;
  scene.framespersecond = 60;
  scene.camera.zoom = 2.0f;
  ambient(&scene);

  // The chrome ring, the camera's target, at the centre of the stage.
  {
    ShowMesh mesh;
    showtorus(&mesh, 1.3f, 0.38f, 36, 14, 1);
    LwoWriterSurface chrome = surface("Chrome", 235, 235, 245, 0.9f, 0.6f, 1024);
    chrome.reflectivity = 0.8f;
    chrome.reflimage = imagename("chrome");
    std::string file = writeobject("chromering", mesh, {chrome}, true);
    scene.objects.push_back(object(file, spin(0, -0.6f, 3, 3, 300, 0, 70, 0)));
  }

  // The title, one object per letter so that each flies its own path in. Letters start
  // behind the camera, sweep past it with a turn and settle on the line; then hold.
  const std::string title = "LWDEMO";
  const float size = 1.4f;
  LwoWriterSurface letters =
      mapped(surface("Title", 255, 250, 240, 0.9f, 0.35f, 256), "Planar Image Map", "marble",
             lwoaxisz, {0, 0.7f, 0}, {1.6f, 1.6f, 1.6f});
  for (int i = 0; i < (int)title.size(); i++) {
    ShowMesh mesh;
    showtext(&mesh, std::string(1, title[i]), size, 0.22f, 0.4f, 1);
    char name[32];
    snprintf(name, sizeof(name), "title_%c", title[i] - 'A' + 'a');
    std::string file = writeobject(name, mesh, {letters}, false);
    float x = lettercentre(title, i, size), y = 0.9f;
    float side = i < 3 ? -1.0f : 1.0f, up = i % 2 == 0 ? 1.0f : -1.0f;
    int start = 30 + 40 * i;
    LwsFileKey wait = lwskey(0, x * 4 + side * 6, y + up * 7, -30);
    LwsFileKey leave = wait;
    leave.frame = start;
    leave.linear = 1;
    LwsFileKey pass = lwskey(start + 110, x * 1.8f + side * 2, y + up * 1.5f, -4, side * 200,
                             0, -side * 40);
    LwsFileKey land = lwskey(start + 220, x, y, 0, 0, 0, 0);
    land.tension = 0.6f;
    scene.objects.push_back(object(file, motion({wait, leave, pass, land}, 1)));
  }

  // A flash sweeping across the title once it stands (a camera-facing glow).
  // The sprite's surface for a card of the given half size: one image over the card.
  auto sparksurface = [](const char *name, const char *image, int r, int g, int b, float half) {
    LwoWriterSurface s = mapped(surface(name, r, g, b, 1.0f), "Planar Image Map", image,
                                lwoaxisz, {0, 0, 0}, {2 * half, 2 * half, 2 * half});
    s.flags = 0x200;
    return s;
  };
  {
    ShowMesh mesh;
    showcard(&mesh, {0, 0, 0}, 1.4f, 1.4f, 1);
    LwoWriterSurface flare = sparksurface("Flare", "glow", 255, 210, 150, 1.4f);
    std::string file = writeobject("flare", mesh, {flare}, false);
    LwsFileSfx sfx;
    sfx.filename = file;
    sfx.sfxtype = 0;
    sfx.rangestart = 430;
    sfx.rangeend = 560;
    sfx.motion = motion({lwskey(430, -5.5f, 1.7f, -0.6f), lwskey(560, 5.5f, 1.4f, -0.6f)}, 1);
    sfx.numparticles = 0;
    scene.sfxobjects.push_back(sfx);
  }

  // The comet: a particle trail behind an emitter that loops a figure of eight around the
  // ring, with a glow at its head. Particles are placed with the camera's turn, so the
  // trail runs only once the camera looks straight down +z (see the camera below).
  {
    ShowMesh mesh;
    showcard(&mesh, {0, 0, 0}, 0.5f, 0.5f, 1);
    std::string sparkfile =
        writeobject("spark", mesh, {sparksurface("Spark", "spark", 255, 255, 255, 0.5f)}, false);
    ShowMesh glowmesh;
    showcard(&glowmesh, {0, 0, 0}, 0.6f, 0.6f, 1);
    LwoWriterSurface glow = sparksurface("Glow", "glow", 255, 235, 190, 0.6f);
    std::string glowfile = writeobject("glow", glowmesh, {glow}, false);

    std::vector<LwsFileKey> loop;
    const int period = 240, steps = 12;
    for (int k = 0; k <= steps; k++) {
      double t = 2 * pi * k / steps;
      loop.push_back(lwskey(period * k / steps, (float)(3.3 * sin(t)), (float)(-0.6 + 1.2 * sin(2 * t)),
                         (float)(2.0 - 1.4 * cos(t))));
    }
    LwsFileSfx trail;
    trail.filename = sparkfile;
    trail.sfxtype = 1;
    trail.rangestart = 580;
    trail.rangeend = 1201;
    trail.quadwidth = 0.32f;
    trail.quadheight = 0.32f;
    trail.numparticles = 70;
    trail.lifetime = 70;
    trail.birthcolor[0] = 255;
    trail.birthcolor[1] = 220;
    trail.birthcolor[2] = 140;
    trail.deathcolor[0] = 60;
    trail.deathcolor[1] = 0;
    trail.deathcolor[2] = 90;
    trail.starttrans = 0;
    trail.endtrans = 1;
    trail.randfactor = 0.18f;
    trail.motion = motion(loop, 2);
    scene.sfxobjects.push_back(trail);

    LwsFileSfx head;
    head.filename = glowfile;
    head.sfxtype = 0;
    head.rangestart = 580;
    head.rangeend = 1201;
    head.numparticles = 0;
    head.motion = motion(loop, 2);
    scene.sfxobjects.push_back(head);
  }

  // Two coloured point lights with falloff circling the stage.
  {
    std::vector<LwsFileKey> warm, cool;
    for (int k = 0; k <= 8; k++) {
      double t = 2 * pi * k / 8;
      warm.push_back(lwskey(75 * k, (float)(-5 * cos(t)), 3.5f, (float)(-4 + 3 * sin(t))));
      cool.push_back(lwskey(75 * k, (float)(5 * cos(t)), -2.5f, (float)(-5 - 3 * sin(t))));
    }
    scene.lights.push_back(light("Warm", 255, 215, 170, 1.0f, 1, motion(warm, 2), 26));
    scene.lights.push_back(light("Cool", 150, 180, 255, 0.9f, 1, motion(cool, 2), 26));
  }

  // The camera swoops in on the ring and comes to rest level with it, looking straight
  // down +z, before the comet starts.
  scene.camera.target = 1;
  scene.camera.motion = motion({lwskey(0, -5, 3, -14), lwskey(220, -4.5f, 2.5f, -15),
                                lwskey(420, 3, 0.8f, -11.5f), lwskey(560, 0, -0.6f, -9.5f)},
                               1);

  // Stars: a camera-facing effect that rides with the camera, so the sky stays put behind
  // the title; effects are not lit, so the stars show their own colours.
  {
    ShowMesh mesh;
    uint32_t seed = 12345;
    auto next = [&seed]() {
      seed = seed * 1664525u + 1013904223u;
      return (float)(seed >> 8) / 16777216.0f;
    };
    for (int i = 0; i < 420; i++) {
      float x = next() * 2 - 1, y = next() * 1.6f - 0.8f, z = 60 + next() * 25;
      float r = 0.06f + 0.14f * next() * next();
      showcard(&mesh, {x * z * 0.6f, y * z * 0.45f, z}, r, r, 1 + i % 3);
    }
    std::string file = writeobject("stars", mesh,
                                   {surface("Star", 230, 230, 240), surface("Blue star", 170, 190, 255),
                                    surface("Gold star", 255, 220, 160)},
                                   false);
    LwsFileSfx stars;
    stars.filename = file;
    stars.sfxtype = 0;
    stars.rangestart = 0;
    stars.rangeend = 1202;
    stars.numparticles = 0;
    stars.motion = scene.camera.motion;
    scene.sfxobjects.insert(scene.sfxobjects.begin(), stars);
  }
  writescene("intro1.lws", scene);
}

// ---- scene 2: the hall ----

void intro2() {
  LwsFileScene scene;
  scene.firstframe = 0;
  scene.lastframe = 600;
  scene.framespersecond = 30;
  scene.camera.zoom = 1.6f;
  ambient(&scene);
  auto add = [&](const std::string &file, LwsFileMotion m, int parent = 0) {
    scene.objects.push_back(object(file, std::move(m), parent));
    return (int)scene.objects.size();  // 1-based, as ParentObject counts
  };

  // The sky: a wide cylinder seen from inside, mapped around y.
  {
    ShowMesh mesh;
    showtunnel(&mesh, 45, -2.5f, 30, 32, 2, 1);
    // The tube runs along z; standing it up keeps its faces turned inwards.
    for (ShowPoint &p : mesh.points) p = {p.x, p.z, -p.y};
    LwoWriterSurface sky = mapped(surface("Sky", 255, 255, 255, 0.9f), "Cylindrical Image Map",
                                  "sky", lwoaxisy, {0, 13.75f, 0}, {1, 32.5f, 1}, 3);
    add(writeobject("sky", mesh, {sky}, true), lwsstill(0, 0, 0));
  }
  // The floor, checkered by a planar map along y.
  {
    ShowMesh mesh;
    showfloor(&mesh, 44, 0, 22, 1);
    LwoWriterSurface floor = mapped(surface("Floor", 255, 255, 255, 0.9f, 0.2f, 256),
                                    "Planar Image Map", "checker", lwoaxisy, {0, 0, 0}, {4, 4, 4});
    add(writeobject("floor", mesh, {floor}, true), lwsstill(0, -2, 0));
  }
  // The tunnel the camera comes out of: a tube of plates, mapped around z, double-sided
  // so that it is solid from outside as well.
  {
    ShowMesh mesh;
    showtunnel(&mesh, 3, 12, 36, 16, 12, 1);
    LwoWriterSurface tunnel = mapped(surface("Tunnel", 255, 255, 255, 0.9f, 0.3f, 256),
                                     "Cylindrical Image Map", "panels", lwoaxisz, {0, 0, 24},
                                     {1, 1, 4}, 4);
    tunnel.flags = 0x100;
    add(writeobject("tunnel", mesh, {tunnel}, true), lwsstill(0, 1.2f, 0));
  }

  LwoWriterSurface steel = surface("Steel", 170, 178, 195, 0.8f, 0.5f, 256);
  LwoWriterSurface paint = surface("Paint", 235, 120, 25, 0.85f, 0.3f, 256);

  // The globe on its stand, mapped spherically.
  {
    ShowMesh mesh;
    showsphere(&mesh, {0, 0, 0}, 1.6f, 28, 16, 1);
    LwoWriterSurface planet = mapped(surface("Planet", 255, 255, 255, 0.95f, 0.25f, 256),
                                     "Spherical Image Map", "planet", lwoaxisy, {0, 0, 0},
                                     {1, 1, 1});
    add(writeobject("globe", mesh, {planet}, true), spin(-6, 0.6f, -1, 3, 300, 0, 0, 0));
    ShowMesh stand;
    showbox(&stand, {-0.5f, -2, -0.5f}, {0.5f, -1.25f, 0.5f}, 1);
    showbox(&stand, {-0.08f, -1.25f, -0.08f}, {0.08f, -0.9f, 0.08f}, 1);
    add(writeobject("globe_stand", stand, {steel}, false), lwsstill(-6, 0.6f, -1));
  }

  // A marble block turning inside a glass case.
  {
    ShowMesh mesh;
    showbox(&mesh, {-0.55f, -0.55f, -0.55f}, {0.55f, 0.55f, 0.55f}, 1);
    LwoWriterSurface marble = mapped(surface("Marble", 255, 255, 255, 0.9f, 0.4f, 256),
                                     "Planar Image Map", "marble", lwoaxisz, {0, 0, 0},
                                     {1.1f, 1.1f, 1.1f});
    add(writeobject("marbleblock", mesh, {marble}, false),
        motion({lwskey(0, 6, -0.8f, -1, 0, 0, 0), lwskey(240, 6, -0.8f, -1, 360, 180, 0)}, 2));
  }

  // The machine. A child is placed by its own transform and its parent's, not by its
  // grandparent's, so the base and the column stand still at the origin (modelled in
  // place) and the moving parts sit on the last two levels: base -> column -> turret,
  // which turns, -> arm (nodding), counterweight and antenna; two fans on the column.
  int base, column, turret;
  {
    ShowMesh mesh;
    showbox(&mesh, {-1.2f, -2, -1.2f}, {1.2f, -1.4f, 1.2f}, 1);
    LwoWriterSurface wood = mapped(surface("Wood", 255, 255, 255, 0.9f, 0.2f, 256),
                                   "Planar Image Map", "wood", lwoaxisy, {0, 0, 0}, {2.4f, 2.4f, 2.4f});
    base = add(writeobject("machine_base", mesh, {wood}, false), lwsstill(0, 0, 0));
  }
  {
    ShowMesh mesh;
    showbox(&mesh, {-0.25f, -1.4f, -0.25f}, {0.25f, 1.0f, 0.25f}, 1);
    column = add(writeobject("machine_column", mesh, {steel}, false), lwsstill(0, 0, 0), base);
  }
  {
    // Fans of grating: holes cut out by the texture's alpha, seen from both sides.
    ShowMesh mesh;
    showcard(&mesh, {0, 0, 0}, 0.7f, 0.7f, 1);
    LwoWriterSurface grating = mapped(surface("Grating", 255, 255, 255, 0.9f, 0.3f, 256),
                                      "Planar Image Map", "grating", lwoaxisz, {0, 0, 0},
                                      {1.4f, 1.4f, 1.4f});
    grating.flags = 0x0002 | 0x0100;
    std::string file = writeobject("machine_fan", mesh, {grating}, false);
    add(file, spin(0, -0.1f, -0.45f, 5, 90), column);
    add(file, spin(0, -0.1f, 0.45f, 5, 90, 0, 0, 45), column);
  }
  {
    ShowMesh mesh;
    showbox(&mesh, {-0.6f, 0, -0.6f}, {0.6f, 0.5f, 0.6f}, 1);
    turret = add(writeobject("machine_turret", mesh, {paint}, false), spin(0, 1.0f, 0, 3, 360), column);
  }
  {
    // The arm with its claw and a glowing, additive core at the tip.
    ShowMesh mesh;
    showbox(&mesh, {-0.3f, -0.18f, -0.2f}, {3.0f, 0.18f, 0.2f}, 1);
    showbox(&mesh, {3.0f, -0.06f, 0.1f}, {3.7f, 0.06f, 0.22f}, 2);
    showbox(&mesh, {3.0f, -0.06f, -0.22f}, {3.7f, 0.06f, -0.1f}, 2);
    showsphere(&mesh, {3.25f, 0, 0}, 0.3f, 12, 8, 3);
    LwoWriterSurface core = surface("Core", 255, 140, 50, 1.0f);
    core.flags = 0x200;
    add(writeobject("machine_arm", mesh, {paint, steel, core}, false),
        motion({lwskey(0, 0, 0.35f, 0, 0, 0, -10), lwskey(60, 0, 0.35f, 0, 0, 0, 30),
                lwskey(120, 0, 0.35f, 0, 0, 0, -10)},
               2),
        turret);
    ShowMesh weight;
    showbox(&weight, {-1.5f, 0, -0.35f}, {-0.55f, 0.6f, 0.35f}, 1);
    add(writeobject("machine_weight", weight, {steel}, false), lwsstill(0, 0.1f, 0), turret);
    ShowMesh antenna;
    showbox(&antenna, {-0.04f, 0, -0.04f}, {0.04f, 1.2f, 0.04f}, 1);
    showbox(&antenna, {-0.5f, 1.1f, -0.04f}, {0.5f, 1.18f, 0.04f}, 1);
    add(writeobject("machine_antenna", antenna, {steel}, false), spin(0.3f, 0.5f, 0.3f, 3, 45), turret);
  }

  // The halo round the globe, additive: drawn after the opaque things it may cover.
  {
    ShowMesh halo;
    showtorus(&halo, 2.4f, 0.07f, 48, 6, 1);
    LwoWriterSurface glow = surface("Halo", 80, 200, 255, 1.0f);
    glow.flags = 0x200;
    add(writeobject("halo", halo, {glow}, true), spin(-6, 0.6f, -1, 3, 200, 0, 20, 0));
  }

  // The glass case comes last, so that what is behind it is already drawn when it blends.
  {
    ShowMesh glass;
    showbox(&glass, {-1.1f, -1.1f, -1.1f}, {1.1f, 1.1f, 1.1f}, 1);
    LwoWriterSurface pane = surface("Glass", 150, 215, 255, 0.7f, 0.8f, 1024);
    pane.transparency = 0.6f;
    add(writeobject("glasscase", glass, {pane}, false), lwsstill(6, -0.85f, -1));
  }

  scene.lights.push_back(light("Sun", 255, 245, 225, 1.0f, 0, lwsstill(0, 20, 30, 150, 35, 0)));
  scene.lights.push_back(light("Lamp", 255, 200, 130, 1.0f, 1,
                               motion({lwskey(0, 0, 2.5f, 30), lwskey(150, 0, 2.5f, 11), lwskey(300, 3, 4, 2)}, 1), 16));
  scene.lights.push_back(light("Blue", 120, 180, 255, 0.9f, 1, lwsstill(-3, 4, 3), 18));

  // Out of the tunnel, round the machine, to the globe, and a last look over the hall;
  // the camera then holds.
  scene.camera.motion = camerapath({{0, 0, 1.2f, 34, 0, 1.2f, 0, 0},
                                    {150, 0, 1.0f, 13, 0, 0.6f, 0, 0},
                                    {270, 8, 2.5f, 5, 0, 1, 0, -6},
                                    {390, 1, 3.5f, 8.5f, -3, 0.5f, 0, 4},
                                    {480, -5.5f, 1.5f, 6, -6, 0.6f, -1, 0},
                                    {600, 0, 3.5f, 11.5f, 0, 0, -1, 0}});
  writescene("intro2.lws", scene);
}

// ---- scene 3: the credits ----

void by() {
  LwsFileScene scene;
  scene.firstframe = 0;
  scene.lastframe = 600;
  scene.framespersecond = 60;
  scene.camera.zoom = 2.0f;
  ambient(&scene);

  // The name rises into place and stays.
  {
    ShowMesh mesh;
    showtext(&mesh, "LWDEMO", 1.2f, 0.2f, 0.35f, 1);
    LwoWriterSurface gold = surface("Gold", 205, 125, 15, 0.9f, 0.2f, 256);
    std::string file = writeobject("by_title", mesh, {gold}, false);
    scene.objects.push_back(
        object(file, motion({lwskey(0, 0, -7, 6, -180, 0, 0), lwskey(100, 0, 1.0f, 0, 0, 0, 0)}, 1)));
  }

  // Credits, two lines each, fly in from the distance, wait, and leave to the left; the
  // last one stays.
  const char *credits[][2] = {{"CODE", "THE LWDEMO TEAM"},
                              {"SCENES AND OBJECTS", "MADE BY MAKESHOW"},
                              {"TEXTURES", "ALL PROCEDURAL"},
                              {"THANK YOU", "FOR WATCHING!"}};
  LwoWriterSurface small = surface("Credit", 70, 70, 130, 0.9f);
  LwoWriterSurface big = surface("Name", 20, 30, 120, 0.9f, 0.4f, 256);
  for (int k = 0; k < 4; k++) {
    ShowMesh mesh;
    showtext(&mesh, credits[k][0], 0.32f, 0.06f, 0.12f, 1);
    translate(&mesh, 0, 0.75f, 0);
    showtext(&mesh, credits[k][1], 0.55f, 0.1f, 0.2f, 2);
    char name[32];
    snprintf(name, sizeof(name), "credit%d", k + 1);
    std::string file = writeobject(name, mesh, {small, big}, false);
    int arrive = 120 + 110 * k;
    // Tension 1 eases into and out of the resting keys, so the spline does not swing
    // the line past its place towards the camera.
    std::vector<LwsFileKey> keys = {lwskey(0, 0, -1.6f, 60), lwskey(arrive - 50, 0, -1.6f, 60),
                                    lwskey(arrive, 0, -1.6f, 0)};
    keys[1].linear = 1;
    keys[2].tension = 1;
    if (k < 3) {
      keys.push_back(lwskey(arrive + 60, 0, -1.6f, 0));
      keys.back().tension = 1;
      keys.push_back(lwskey(arrive + 100, -22, -1.6f, 4, -40, 0, 0));
    }
    scene.objects.push_back(object(file, motion(keys, 1)));
  }

  scene.lights.push_back(light("Key", 255, 250, 240, 1.1f, 0, lwsstill(-10, 10, -10, 20, 30, 0)));

  // The camera drifts and sways on its own angles, banking gently; no target.
  scene.camera.motion = motion({lwskey(0, 0.3f, 0.2f, -11, 1, 0, -4), lwskey(200, -0.2f, 0.3f, -10.5f, -1, 0, 3),
                                lwskey(400, 0.2f, 0.1f, -10, 0.5f, 0, -3), lwskey(600, 0, 0.2f, -9.6f, 0, 0, 0)},
                               1);
  writescene("by.lws", scene);
}

}  // namespace

int writeshow(const char *folder) {
  outfolder = folder;
  failures = 0;
  while (outfolder.size() > 1 && outfolder.back() == '/') outfolder.pop_back();
  if (!makefolder(outfolder) || !makefolder(outfolder + "/objects") ||
      !makefolder(outfolder + "/textures"))
    return 0;
  writetextures();
  intro1();
  intro2();
  by();
  return failures == 0;
}
