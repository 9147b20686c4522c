#include <cmath>

#include "lwstest.h"
#include "math/vecmath.h"

namespace {

using LoaderTest = FolderTest;

TEST_F(LoaderTest, DistantLightTurnsByWholeDegrees) {
  // 45.7 is lit as 45 (through the scene loader, with its log line); truncation is
  // toward zero: -45.7 is -45.
  SceneLight *light = createlight(0, 0, 0, 255, 255, 255, 1, 1);
  lightdirection(light, -45.7f, 0, 0);
  EXPECT_FLOAT_EQ(light->direction.y, 0.70710677f);
  // Every angle is truncated: fractions of heading and bank change nothing either.
  lightdirection(light, 30, 45, -10);
  const Vec3 whole = light->direction;
  lightdirection(light, 30.9f, 45.9f, -10.8f);
  EXPECT_EQ(std::vector<float>({light->direction.x, light->direction.y, light->direction.z}),
            std::vector<float>({whole.x, whole.y, whole.z}));
  // Angles far outside any turn still give a unit direction.
  lightdirection(light, 1e30f, -1e30f, 3e38f);
  EXPECT_NEAR(vlength(light->direction.x, light->direction.y, light->direction.z), 1.0, 1e-5);
  free(light);
}

// The scene text as an LwsScene plus a Scene with one plain object per entry.
struct Linked {
  LwsScene *lws = nullptr;
  Scene scene;
  std::vector<SceneObject> objects;
  std::vector<SceneObject *> pointers;
};

void makelinked(const LwsFileScene &file, Linked *out) {
  ASSERT_EQ(readtext(lwstext(file), &out->lws), lwsok);
  out->objects.resize((size_t)out->lws->numobjects);
  for (SceneObject &o : out->objects) out->pointers.push_back(&o);
  out->scene.objects = out->pointers.data();
  out->scene.numobjects = (uint16_t)out->lws->numobjects;
}

TEST_F(LoaderTest, LinkChildren) {
  // a's parent c comes after it; b has two children, c and d; b, c, a is a chain.
  LwsFileScene s = emptyscene();
  s.objects = {fileobject("a.lwo", false, 3), fileobject("b.lwo"), fileobject("c.lwo", false, 2),
               fileobject("d.lwo", false, 2)};
  Linked l;
  makelinked(s, &l);
  ASSERT_EQ(linkchildren(l.lws, &l.scene), 1);
  EXPECT_EQ(logtext(), "child: 0, parent!!! 2\nchild: 2, parent!!! 1\nchild: 3, parent!!! 1\n");
  EXPECT_EQ(l.objects[2].children[0], &l.objects[0]);
  ASSERT_EQ(l.objects[1].numchildren, 2);
  EXPECT_EQ(std::pair(l.objects[1].children[0], l.objects[1].children[1]), std::pair(&l.objects[2], &l.objects[3]));
  for (int i = 0; i < 4; i++) EXPECT_EQ(l.objects[i].hasparent, i != 1) << i;
  freelws(l.lws);
}

TEST_F(LoaderTest, LinkChildrenRefusesWithoutLinking) {
  LwsFileScene s = emptyscene();
  s.objects = {fileobject("a.lwo"), fileobject("b.lwo", false, 1)};
  Linked l;
  makelinked(s, &l);
  // Entries changed after reading, as a caller could: a cycle and an index outside.
  l.lws->objects[0].parentindex = 1;
  EXPECT_EQ(linkchildren(l.lws, &l.scene), 0);
  l.lws->objects[0].parentindex = 7;
  EXPECT_EQ(linkchildren(l.lws, &l.scene), 0);
  EXPECT_EQ(std::pair(l.objects[0].numchildren, l.objects[1].hasparent), std::pair(0, 0));
  EXPECT_EQ(logtext(), "Object 1 is its own ancestor\nObject 1: parent 8 is outside the 2 objects\n");
  freelws(l.lws);
}

// The first broken rule: object by object an index outside or a 17th child, and only
// then a cycle, even one met earlier in the list.
TEST(ParentLinks, FirstBrokenRuleNamesItsObject) {
  std::vector<int> seventeen(18, 0);
  seventeen[0] = -1;
  const struct {
    std::vector<int> parents;
    ParentProblem expected;
  } cases[] = {
      {{-1, 0, 0, 1}, {parentsok, -1, -1, 0}},
      {{-1, 5, 0}, {parentoutside, 1, 5, 0}},
      {{-2}, {parentoutside, 0, -2, 0}},
      {{1, 0, 7}, {parentoutside, 2, 7, 0}},
      {seventeen, {parentchildren, 17, 0, 17}},
      {{-1, 2, 1}, {parentcycle, 1, 2, 0}},
      {{-1, 1}, {parentcycle, 1, 1, 0}},
  };
  for (const auto &c : cases) {
    std::vector<LwsObject> objects(c.parents.size());
    for (size_t i = 0; i < objects.size(); i++) objects[i].parentindex = c.parents[i];
    const ParentProblem p = checkparentlinks(objects.data(), (int)objects.size());
    EXPECT_EQ(std::vector<int>({p.rule, p.object, p.parent, p.children}),
              std::vector<int>({c.expected.rule, c.expected.object, c.expected.parent, c.expected.children}))
        << c.parents.size() << " objects";
  }
}

}  // namespace
