#include <cstdlib>

#include "platform/glide/glide.h"
#include "testscene.h"

namespace {
volatile long allocations = 0;
volatile bool counting = false;
}  // namespace

// Every heap allocation of the process is counted while `counting` is set: malloc, calloc
// and realloc are replaced by forwarders to the C library's own (operator new goes
// through malloc). The address sanitizer owns malloc, so its build does not count.
#ifndef __SANITIZE_ADDRESS__
extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *p, size_t size);
void __libc_free(void *p);
void *malloc(size_t size) noexcept {
  if (counting) allocations = allocations + 1;
  return __libc_malloc(size);
}
void *calloc(size_t count, size_t size) noexcept {
  if (counting) allocations = allocations + 1;
  return __libc_calloc(count, size);
}
void *realloc(void *p, size_t size) noexcept {
  if (counting) allocations = allocations + 1;
  return __libc_realloc(p, size);
}
void free(void *p) noexcept { __libc_free(p); }
}
#endif

namespace {

class Frame : public PipelineTest {};

// A triangle facing a camera at the origin, with corners (1, 0, 0), (0, 0, 0), (0, 1, 0).
std::unique_ptr<TestMesh> triangle() {
  return makemesh({{1, 0, 0}, {0, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {.red = 100, .green = 100, .blue = 100});
}

TEST_F(Frame, ChildInViewUnderCulledRootIsTransformed) {
  auto root = triangle(), child = triangle();
  root->object.children[0] = &child->object;
  root->object.numchildren = 1;
  child->object.hasparent = 1;
  root->object.posz = -500;
  child->object.posz = 510;
  TestScene ts;
  setcamera(ts.camera, {0, 0, 0});
  SceneLight light = distantlight({0, 0, -1});
  ts.lights.push_back(&light);
  ts.objects = {&root->object, &child->object};
  ts.finish();
  preparegeometry(&ts.scene);
  root->object.posy = 5;
  preparegeometry(&ts.scene);
  ASSERT_EQ(std::vector<int>({root->object.visibility, child->object.visibility, child->object.numdrawpolys}),
            std::vector<int>({1, 0, 1}));
  // World (1, 5, 10) on the screen, from this frame's positions.
  const Vec3 &p = child->verts[0].xfpos;
  EXPECT_EQ(std::vector<float>({p.x, p.y, p.z}), std::vector<float>({352, 80, 10}));
}

TEST_F(Frame, EffectsRunOnlyInsideTheirRange) {
  auto mesh = triangle();
  mesh->object.issfxmesh = 1;
  SfxObject sfx{.rangestart = 10, .rangeend = 20, .quadtemplate = {}, .quadcorners = {}, .mesh = &mesh->object};
  TestScene ts;
  setcamera(ts.camera, {0, 0, -10});
  ts.sfx.push_back(&sfx);
  ts.finish();
  for (int frame : {10, 11, 19, 20}) {
    currentframe = frame;
    mesh->object.tbbox[0] = {-1, -1, -1};
    preparegeometry(&ts.scene);
    const bool ran = mesh->object.tbbox[0].x != -1;
    EXPECT_EQ(ran, frame > 10 && frame < 20) << "frame " << frame;
  }
}

TEST_F(Frame, NothingIsAllocatedPerFrame) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the allocation count is pinned by the normal build";
#endif
  void *volatile probe = nullptr;
  counting = true;
  probe = malloc(24);
  counting = false;
  free(probe);
  ASSERT_GE(allocations, 1) << "the allocation counter does not see malloc";
  allocations = 0;

  auto inside = triangle(), crossing = triangle(), child = triangle(), fxmesh = triangle();
  inside->object.posz = 5;
  crossing->object.posz = 0.1f;  // cut by the near plane
  crossing->object.children[0] = &child->object;
  crossing->object.numchildren = 1;
  crossing->object.rotheading = 10;
  child->object.hasparent = 1;
  child->object.posz = 3;
  fxmesh->object.issfxmesh = 1;
  fxmesh->object.posz = 4;
  SfxObject sfx{.rangestart = -1000, .rangeend = 1000, .quadtemplate = {}, .quadcorners = {}, .mesh = &fxmesh->object};
  SceneLight a = distantlight({0, 0, -1}), b = distantlight({0, 0, 1}, 1, 0, 0), c = distantlight({0, -1, 0}, 0.5f, 0.5f, 0.5f);
  b.isdistant = 0;
  b.falloffon = 1;
  b.falloffrange = 20;
  TestScene ts;
  setcamera(ts.camera, {0.2f, 0.1f, -0.5f}, 3, 4, 5);
  ts.objects = {&inside->object, &crossing->object, &child->object};
  ts.lights = {&a, &b, &c};
  ts.sfx.push_back(&sfx);
  ts.finish();
  ambientcolor[0] = 0.1f;

  const int opened = init3d(640, 480, 16, 1);
  renderframe(&ts.scene);  // a first frame may set up the device lazily
  counting = true;
  for (int frame = 0; frame < 5; frame++) {
    currentframe = frame;
    crossing->object.rotbank = (float)frame;
    renderframe(&ts.scene);
  }
  counting = false;
  if (opened) closeglide();
  EXPECT_EQ(allocations, 0);
  EXPECT_GT(crossing->object.numclippolys, 0) << "the frame should exercise the clipper";
  EXPECT_EQ(fxmesh->object.numdrawpolys, 1);
}

// Captured frames are copied into slots and encoded into memory set up when the card
// opens: neither the swap nor the encoder allocates per frame.
TEST_F(Frame, NothingIsAllocatedPerCapturedFrame) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the allocation count is pinned by the normal build";
#endif
  setenv("LWDEMO_CAPTURE", "frames_nothing_allocated", 1);
  const int opened = init3d(640, 480, 16, 1);
  unsetenv("LWDEMO_CAPTURE");
  ASSERT_TRUE(opened);
  allocations = 0;
  counting = true;
  for (int frame = 0; frame < 8; frame++) {
    grBufferClear(0x10203u * (uint32_t)frame, 0, 0);
    grBufferSwap(1);
  }
  closeglide();  // waits for the last frames to be encoded
  counting = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(readfile("frames_nothing_allocated/frame000008.png").rfind("\x89PNG", 0), 0u);
}

}  // namespace
