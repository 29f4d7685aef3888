// A deformable world drawn through a real OpenGL context: its skeleton only when
// asked, and its skin where the skeleton has moved it.
#include "support/GlSceneTest.h"

#include "scene/dynamics/CDefWorld.h"
#include "scene/graph/CLight.h"

#include <memory>

namespace {

using gltest::H;
using gltest::Near;
using gltest::Rgb;
using gltest::W;

class DefWorldGL : public gltest::GlSceneTest {
 protected:
  void SetUp() override {
    GlSceneTest::SetUp();
    if (HasFatalFailure()) return;
    cLight *light = new cLight(&world);
    world.addChild(light);
    light->m_lit = true;
    light->m_ambientColor = cColorf(0.2f, 0.2f, 0.2f);
    light->m_diffuseColor = cColorf(0.8f, 0.8f, 0.8f);
    light->m_pos = cVector3d(1, 0, 0);
    // no node frames: they would cover the links
    showFrame = default_node_showFrame;
    default_node_showFrame = false;
    defWorld = new cDefWorld;
    world.addChild(defWorld);
    mesh = defWorld->addDefMesh(std::make_unique<cDefMesh>(&world));
    left = mesh->newNode(cVector3d(0, -1, 0));
    right = mesh->newNode(cVector3d(0, 1, 0));
    left->setRadius(0.2);
    right->setRadius(0.2);
    mesh->newLink(left, right);
  }
  void TearDown() override { default_node_showFrame = showFrame; }

  bool IsBackground(const Rgb &c) const { return Near(c, 51, 102, 153, 3); }
  Rgb AtPoint(const cVector3d &p) const {
    int x, y;
    Project(p, x, y);
    return At(x, y);
  }
  // a blue link pixel in the rows around y at x
  bool BlueNear(int x, int y) const {
    for (int dy = -1; dy <= 1; ++dy) {
      const Rgb c = At(x, y + dy);
      if (c.b > 200 && c.r < 90 && c.g < 90) return true;
    }
    return false;
  }

  bool showFrame = true;
  cDefWorld *defWorld = nullptr;
  cDefMesh *mesh = nullptr;
  cDefNode *left = nullptr, *right = nullptr;
};

TEST_F(DefWorldGL, TheSkeletonShowsOnlyWhenAskedInItsColours) {
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(left->m_pos)));
  EXPECT_TRUE(IsBackground(At(W / 2 + 10, H / 2)));

  mesh->initialise();
  Frame();
  // the nodes in yellow, the link between them in blue
  for (cDefNode *n : {left, right}) {
    const Rgb c = AtPoint(n->m_pos);
    EXPECT_GT(c.r, 100) << c.r << " " << c.g << " " << c.b;
    EXPECT_GT(c.g, 100);
    EXPECT_LT(c.b, 60);
  }
  EXPECT_TRUE(BlueNear(W / 2 + 10, H / 2));
  EXPECT_TRUE(BlueNear(W / 2 - 10, H / 2));
}

TEST_F(DefWorldGL, TheSkinIsDrawnWhereTheSkeletonTookIt) {
  // a small square facing the camera beside the right node
  cMesh *skin = new cMesh(&world);
  mesh->addChild(skin);
  const double z = 0.5, s = 0.15;
  const unsigned int a = skin->newVertex(0, 1 - s, z - s), b = skin->newVertex(0, 1 + s, z - s),
                     c = skin->newVertex(0, 1 + s, z + s), d = skin->newVertex(0, 1 - s, z + s);
  skin->newTriangle(a, b, c);
  skin->newTriangle(a, c, d);
  skin->computeAllNormals(false);
  ASSERT_TRUE(mesh->connectVerticesToSkeleton(true));
  Frame();
  EXPECT_FALSE(IsBackground(AtPoint(cVector3d(0, 1, z))));

  // the node drops by one: the square goes with it at the next refresh
  right->m_pos.z -= 1.0;
  Frame();
  EXPECT_FALSE(IsBackground(AtPoint(cVector3d(0, 1, z))));
  defWorld->updateSkins();
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(cVector3d(0, 1, z))));
  EXPECT_FALSE(IsBackground(AtPoint(cVector3d(0, 1, z - 1.0))));
}

}  // namespace
