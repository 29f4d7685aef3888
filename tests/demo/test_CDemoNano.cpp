// The nano demo without a window, with the shipped picture: the relief's size,
// place and slant, a missing picture, and the relief felt with the tool: it
// pushes back at the demo's stiffness, and a stroke across it at a fixed depth
// feels more force over the bright atoms than between them.
#include "demo/CDemoFactory.h"
#include "demo/CDemoNano.h"
#include "scene/graph/CTexture2D.h"
#include "support/ToolDemoTest.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Nano = devicetest::ToolDemoTest<cDemoNano>;

double Correlation(const std::vector<double> &a, const std::vector<double> &b) {
  double ma = 0, mb = 0;
  for (size_t i = 0; i < a.size(); ++i) ma += a[i] / a.size(), mb += b[i] / b.size();
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    ab += (a[i] - ma) * (b[i] - mb);
    aa += (a[i] - ma) * (a[i] - ma);
    bb += (b[i] - mb) * (b[i] - mb);
  }
  return ab / std::sqrt(aa * bb);
}

TEST_F(Nano, SetupBuildsTheSlantedReliefOfTheShippedPicture) {
  EXPECT_NE(dynamic_cast<cDemoNano *>(createDemo(DEMO_PANEL_NANO, 3).get()), nullptr);
  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  cMesh *relief = demo.m_relief;
  ASSERT_NE(relief, nullptr);
  EXPECT_EQ(relief->getParent(), demo.m_scene);
  EXPECT_TRUE(relief->getShow());
  ASSERT_NE(relief->getTexture(), nullptr);
  const int w = relief->getTexture()->m_picture.getWidth(), h = relief->getTexture()->m_picture.getHeight();
  EXPECT_EQ(w, h);
  EXPECT_EQ(relief->getNumVertices(), unsigned(w * h));
  EXPECT_EQ(relief->getNumTriangles(), unsigned(2 * (w - 1) * (h - 1)));
  // 0.4 across, at most a tenth of that high
  relief->computeBoundaryBox(false);
  const cVector3d e = relief->getBoundaryMax() - relief->getBoundaryMin();
  EXPECT_NEAR(e.y, 0.4, 1e-9);
  EXPECT_NEAR(e.z, 0.4, 1e-9);
  EXPECT_GT(e.x, 0.01);
  EXPECT_LE(relief->getBoundaryMax().x, 0.04 * w / (w - 1) + 1e-12);
  EXPECT_GE(relief->getBoundaryMin().x, 0.0);
  // at (-0.1, 0, 0), its heights turned 40 degrees up from the camera's axis
  EXPECT_EQ(relief->getPos(), cVector3d(-0.1, 0, 0));
  const cVector3d up = relief->getRot() * cVector3d(1, 0, 0);
  EXPECT_TRUE(up.equals(cVector3d(std::cos(0.6981317008), 0, std::sin(0.6981317008)), 1e-9));
}

TEST_F(Nano, SetupFailsWhereThePictureIsMissing) {
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  ASSERT_EQ(::chdir("/"), 0);
  const int result = demo.setup(0);
  demo.reset(0);
  ASSERT_EQ(::chdir(here), 0);
  EXPECT_EQ(result, -1);
  EXPECT_FALSE(demo.m_ready);
  EXPECT_EQ(root->getNumChildren(), 0u);
  EXPECT_EQ(demo.setup(0), 0);
}

TEST_F(Nano, ResetSetsUpFirstAndPlacesTheTool) {
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_EQ(tool->getParent(), root);
  EXPECT_EQ(tool->getPos(), cVector3d(-0.1, 0, 0));
  EXPECT_EQ(tool->m_halfExtent, cVector3d(0.3, 0.3, 0.3));
  EXPECT_EQ(demo.m_relief->m_surface.getStiffness(), 600.0);
  demo.exit(0);
  demo.exit(0);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(tool->getParent(), nullptr);
}

class NanoFelt : public Nano {
 protected:
  void SetUp() override {
    Nano::SetUp();
    demo.reset(0);
    relief = demo.m_relief;
    rot = relief->getGlobalRot();
    w = relief->getTexture()->m_picture.getWidth();
  }
  // a point given in the relief's frame, in the scene
  cVector3d Scene(const cVector3d &local) const { return relief->getGlobalPos() + rot * local; }
  // the relief's height at the vertex nearest to (y, z) of its frame
  double HeightNear(double y, double z) const {
    const cVector3d lo = relief->getBoundaryMin(), hi = relief->getBoundaryMax();
    const int j = int(std::lround((y - lo.y) / (hi.y - lo.y) * (w - 1)));
    const int i = int(std::lround((z - lo.z) / (hi.z - lo.z) * (w - 1)));
    return relief->getVertex(unsigned(i * w + j))->m_pos.x;
  }
  cMesh *relief = nullptr;
  cMatrix3d rot;
  int w = 0;
};

// pressed where the relief is flattest (an atom's top or the ground between
// atoms), it pushes back along its own up direction at the demo's stiffness
TEST_F(NanoFelt, TheReliefPushesBackAtTheDemosStiffness) {
  const int r = 4;
  double best = 1e9;
  cVector3d peak;
  for (int i = 3 * r; i < w - 3 * r; ++i)
    for (int j = 3 * r; j < w - 3 * r; ++j) {
      double lo = 1e9, hi = -1e9;
      for (int a = i - r; a <= i + r; ++a)
        for (int b = j - r; b <= j + r; ++b) {
          const double x = relief->getVertex(unsigned(a * w + b))->m_pos.x;
          lo = std::min(lo, x), hi = std::max(hi, x);
        }
      if (hi - lo < best) best = hi - lo, peak = relief->getVertex(unsigned(i * w + j))->m_pos;
    }
  const cVector3d up = rot * cVector3d(1, 0, 0);
  MoveTo(Scene(peak + cVector3d(0.03, 0, 0)), 10);
  EXPECT_EQ(Force().length(), 0.0);
  MoveTo(Scene(peak - cVector3d(0.001, 0, 0)), 20);
  const double shallow = Force().dot(up);
  MoveTo(Scene(peak - cVector3d(0.003, 0, 0)), 20);
  const double deep = Force().dot(up);
  std::printf("at the highest atom: %.1f N per unit of depth\n", (deep - shallow) / 0.002);
  EXPECT_NEAR((deep - shallow) / 0.002, 600.0, 0.03 * 600.0);
  EXPECT_GT(deep, 0.9 * Force().length());
}

// a stroke across the picture at a fixed depth below its darkest point: the force
// rises and falls with the relief under the tool
TEST_F(NanoFelt, AStrokeAtAFixedDepthFeelsTheAtoms) {
  const double depth = -0.001, z = 0.013;
  MoveTo(Scene(cVector3d(0.08, -0.15, z)), 10);
  MoveTo(Scene(cVector3d(depth, -0.15, z)), 40);
  std::vector<double> force, height;
  for (int i = 0; i <= 600; ++i) {
    const double y = -0.15 + 0.3 * i / 600;
    StepTo(Scene(cVector3d(depth, y, z)));
    force.push_back(Force().length());
    height.push_back(HeightNear(y, z));
  }
  double lo = force[0], hi = force[0];
  for (double f : force) lo = std::min(lo, f), hi = std::max(hi, f);
  const double r = Correlation(force, height);
  std::printf("stroke: force %.2f to %.2f, correlation with the height under the tool %.3f\n", lo, hi, r);
  EXPECT_GT(lo, 0.0) << "the tool left the surface";
  // atoms rise about half the relief's height above the ground between them
  EXPECT_GT(hi - lo, 600.0 * 0.01);
  EXPECT_GT(r, 0.8);
}

}  // namespace
