#include "testscene.h"

namespace {

MeshSurface orange() { return {.red = 200, .green = 100, .blue = 50}; }

void expectcolor(const MeshVertex &v, float r, float g, float b) {
  expectnear(Vec3{v.litcolor[0], v.litcolor[1], v.litcolor[2]}, r, g, b, 1e-3f);
}

class Lighting : public PipelineTest {
 protected:
  SceneCamera camera;
  // One vertex at p with normal n, in world space and in use.
  std::unique_ptr<TestMesh> vertex(Vec3 p, Vec3 n, const MeshSurface &s = orange()) {
    auto m = makemesh({p}, {}, s, n);
    transformvertices(&m->object);
    m->verts[0].untouched = 0;
    return m;
  }
  void SetUp() override {
    PipelineTest::SetUp();
    setcamera(camera, {0, 0, 0});
  }
};

TEST_F(Lighting, PointLightFallsOffLinearly) {
  SceneLight light;
  light.isdistant = 0;
  light.color[0] = light.color[1] = light.color[2] = 1;
  light.falloffrange = 10;
  // Linear to nothing at the range and beyond; without falloff the distance plays no part.
  const float cases[][3] = {{5, 1, 0.5f}, {10, 1, 0}, {12, 1, 0}, {12, 0, 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "depth " << c[0] << " falloff " << c[1]);
    light.falloffon = (int32_t)c[1];
    auto m = vertex({0, 0, c[0]}, {0, 0, 1});
    lightvertices(&m->object, &light, &camera, 0);
    expectcolor(m->verts[0], 200 * c[2], 100 * c[2], 50 * c[2]);
  }
}

// Worked by hand with the normal along the camera's view (0, 0, 1): the reflected
// light's cosine against the view equals the diffuse cosine c = L.z. Diffuse 200 c per
// red unit, specular pow(c, gloss) * specular * 255, each channel times its light colour;
// a light from behind (c < 0, and a reflection away from the view) adds nothing.
TEST_F(Lighting, DiffuseAndSpecularPerChannelNeverNegative) {
  MeshSurface shiny = orange();
  shiny.specular = 0.5f;
  shiny.gloss = 3;
  const struct {
    Vec3 direction;
    float light[3], expect[3];
  } cases[] = {
      {{0.6f, 0, 0.8f}, {1, 1, 1}, {225.28f, 145.28f, 105.28f}},     // 0.8^3 * 127.5 = 65.28
      {{0.6f, 0, 0.8f}, {1, 0.5f, 0.25f}, {225.28f, 72.64f, 26.32f}},
      {{0, 0, -1}, {1, 1, 1}, {0, 0, 0}},
      {{0.6f, 0, -0.8f}, {1, 1, 1}, {0, 0, 0}},
  };
  for (const auto &c : cases) {
    auto m = vertex({0, 0, 5}, {0, 0, 1}, shiny);
    SceneLight light = distantlight(c.direction, c.light[0], c.light[1], c.light[2]);
    lightvertices(&m->object, &light, &camera, 0);
    expectcolor(m->verts[0], c.expect[0], c.expect[1], c.expect[2]);
  }
  // An even gloss must not turn a reflection away from the view into a highlight.
  auto m = vertex({0, 0, 5}, {0, 0, 1}, shiny);
  m->surfaces[0].gloss = 2;
  SceneLight behind = distantlight({0, 0, -1});
  lightvertices(&m->object, &behind, &camera, 0);
  expectcolor(m->verts[0], 0, 0, 0);
}

TEST_F(Lighting, ScenePassLightsOnlyFrontVerticesAndEffectsKeepBaseColor) {
  // Two separate triangles at depth 5: the first faces the camera, the second away.
  auto m = makemesh({{1, 0, 5}, {0, 0, 5}, {0, 1, 5}, {0, 1, 6}, {0, 0, 6}, {1, 0, 6}},
                    {{0, 1, 2}, {3, 4, 5}}, orange(), {0, 0, -1});
  for (int i = 3; i < 6; i++)
    for (float &c : m->verts[i].litcolor) c = 7;
  TestScene ts;
  setcamera(ts.camera, {0, 0, 0});
  SceneLight light = distantlight({0, 0, -1});
  ts.lights.push_back(&light);
  ts.objects.push_back(&m->object);
  ts.finish();
  ambientcolor[0] = ambientcolor[1] = ambientcolor[2] = 0.5f;
  preparegeometry(&ts.scene);
  ASSERT_EQ(m->object.numfrontpolys, 1);
  for (int i = 0; i < 3; i++) expectcolor(m->verts[i], 255, 150, 75);
  for (int i = 3; i < 6; i++) expectcolor(m->verts[i], 7, 7, 7);

  // Without any light the ambient term alone lights the scene.
  ts.lights.clear();
  ts.finish();
  ambientcolor[0] = 0.1f;
  preparegeometry(&ts.scene);
  for (int i = 0; i < 3; i++) expectcolor(m->verts[i], 20, 50, 25);

  // An effect mesh under the same light shows exactly its base colour.
  auto fx = makemesh({{1, 0, 5}, {0, 0, 5}, {0, 1, 5}}, {{0, 1, 2}}, orange());
  fx->object.issfxmesh = 1;
  fx->verts[1].basecolor[0] = 12;
  ts.lights.push_back(&light);
  ts.finish();
  processsfx(&ts.scene, &fx->object);
  for (int i = 0; i < 3; i++)
    for (int ch = 0; ch < 3; ch++) EXPECT_EQ(fx->verts[i].litcolor[ch], fx->verts[i].basecolor[ch]);
}

}  // namespace
