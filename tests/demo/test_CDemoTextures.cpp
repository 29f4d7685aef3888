// The textures demo without a window, with the shipped pictures: four invisible
// reliefs each behind a visible square that is not felt, a picture missing, and
// the force laws measured with the tool held at fixed depths: each tile pushes
// back at its own stiffness, the silicone holds the proxy inside its friction
// cone and lets it slide beyond, the others let it slide freely.
#include "demo/CDemoFactory.h"
#include "demo/CDemoTextures.h"
#include "scene/graph/CTexture2D.h"
#include "support/ToolDemoTest.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using DemoTextures = devicetest::ToolDemoTest<cDemoTextures>;

const double kStiffness[4] = {900, 1600, 230, 800};
const cVector3d kPlace[4] = {cVector3d(0, 0.08, 0.08), cVector3d(0, -0.08, 0.08), cVector3d(0, -0.08, -0.08),
                             cVector3d(0, 0.08, -0.08)};

// the surface point of a relief, in the scene, over the pixel whose neighbourhood
// (a few pixels more than the pushes below reach) varies least in brightness
cVector3d FlatSpot(cMesh *relief) {
  const cImageLoader &image = relief->getTexture()->m_picture;
  const int w = image.getWidth(), h = image.getHeight(), r = 6;
  auto level = [&](int x, int y) {
    const cColorb c = image.getPixelColor(x, y);
    return int(c.r) + c.g + c.b;
  };
  int best = 1 << 30, bx = 0, by = 0;
  for (int y = 2 * r; y < h - 2 * r; y += 2)
    for (int x = 2 * r; x < w - 2 * r; x += 2) {
      int lo = 1 << 30, hi = -1;
      for (int j = y - r; j <= y + r; ++j)
        for (int i = x - r; i <= x + r; ++i) {
          lo = std::min(lo, level(i, j));
          hi = std::max(hi, level(i, j));
        }
      if (hi - lo < best) best = hi - lo, bx = x, by = y;
    }
  return relief->getGlobalPos() + relief->getVertex(unsigned(by * w + bx))->m_pos;
}

class Textures : public DemoTextures {
 protected:
  // the tool pressed straight into the surface at spot, depth scene units deep
  void PressAt(const cVector3d &spot, double depth) {
    MoveTo(spot + cVector3d(0.02, 0, 0), 10);
    MoveTo(spot + cVector3d(0.005, 0, 0), 10);
    MoveTo(spot - cVector3d(depth, 0, 0), 20);
  }
};

TEST_F(Textures, SetupBuildsFourHiddenReliefsEachBehindAVisibleSquareThatIsNotFelt) {
  ASSERT_EQ(demo.setup(0), 0);
  EXPECT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  ASSERT_EQ(demo.m_scene->getNumChildren(), 4u);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    cMesh *relief = demo.m_tiles[k];
    ASSERT_NE(relief, nullptr);
    EXPECT_EQ(demo.m_scene->getChild(k), relief);
    EXPECT_EQ(relief->getPos(), kPlace[k]);
    EXPECT_FALSE(relief->getShow());
    EXPECT_NE(relief->getCollisionDetector(), nullptr);
    ASSERT_NE(relief->getTexture(), nullptr);
    const int w = relief->getTexture()->m_picture.getWidth(), h = relief->getTexture()->m_picture.getHeight();
    EXPECT_EQ(relief->getNumVertices(), unsigned(w * h));
    EXPECT_EQ(relief->getNumTriangles(), unsigned(2 * (w - 1) * (h - 1)));
    // the relief spans the tile's side, with heights towards the camera
    relief->computeBoundaryBox(false);
    EXPECT_NEAR(relief->getBoundaryMax().y - relief->getBoundaryMin().y, 0.15, 1e-9);
    EXPECT_GE(relief->getBoundaryMin().x, 0.0);

    ASSERT_EQ(relief->getNumChildren(), 1u);
    cMesh *square = static_cast<cMesh *>(relief->getChild(0));
    EXPECT_TRUE(square->getShow());
    EXPECT_EQ(square->getCollisionDetector(), nullptr);
    EXPECT_EQ(square->getTexture(), relief->getTexture());
    EXPECT_EQ(square->getNumTriangles(), 2u);
    square->computeBoundaryBox(false);
    EXPECT_EQ(square->getBoundaryMin(), cVector3d(0, -0.075, -0.075));
    EXPECT_EQ(square->getBoundaryMax(), cVector3d(0, 0.075, 0.075));

    // the tile's stiffness reaches the square too; friction only on the silicone
    EXPECT_EQ(relief->m_surface.getStiffness(), kStiffness[k]);
    EXPECT_EQ(square->m_surface.getStiffness(), kStiffness[k]);
    const double mu = k == 2 ? 0.6 : 0.0;
    EXPECT_EQ(relief->m_surface.getStaticFriction(), mu);
    EXPECT_EQ(relief->m_surface.getDynamicFriction(), mu);
    EXPECT_EQ(square->m_surface.getStaticFriction(), mu);
  }
}

TEST_F(Textures, APictureMissingFailsTheSetupAndShowsNothing) {
  // only the first two pictures where the demo looks for them
  std::string dir = ::testing::TempDir() + "textures_XXXXXX";
  ASSERT_NE(mkdtemp(&dir[0]), nullptr);
  char here[4096];
  ASSERT_NE(::getcwd(here, sizeof here), nullptr);
  const std::string images = dir + "/resources/images";
  ASSERT_EQ(std::system(("mkdir -p '" + images + "' && cp resources/images/plastic.bmp resources/images/stone.bmp '" +
                         images + "'")
                            .c_str()),
            0);
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  const int first = demo.setup(0);
  demo.reset(0);
  ASSERT_EQ(::chdir(here), 0);
  std::system(("rm -rf '" + dir + "'").c_str());
  EXPECT_EQ(first, -1);
  EXPECT_FALSE(demo.m_ready);
  EXPECT_EQ(root->getNumChildren(), 0u);
  // with the pictures back, it builds
  EXPECT_EQ(demo.setup(0), 0);
}

TEST_F(Textures, ResetSetsUpFirstAndAttachesSceneAndTool) {
  EXPECT_NE(dynamic_cast<cDemoTextures *>(createDemo(DEMO_PANEL_TEXTURES, 3).get()), nullptr);
  demo.reset(0);
  ASSERT_TRUE(demo.m_ready);
  EXPECT_EQ(demo.m_scene->getParent(), root);
  EXPECT_EQ(tool->getParent(), root);
  EXPECT_EQ(tool->getPos(), cVector3d(0, 0, 0));
  EXPECT_EQ(tool->m_halfExtent, cVector3d(0.2, 0.2, 0.2));
  demo.exit(0);
  demo.exit(0);
  EXPECT_EQ(demo.m_scene->getParent(), nullptr);
  EXPECT_EQ(tool->getParent(), nullptr);
}

// pressed at two depths, each tile pushes back at its own stiffness, from the
// relief in front of the picture, never from the square
TEST_F(Textures, EachTilePushesBackAtItsStiffness) {
  demo.reset(0);
  for (int k = 0; k < 4; ++k) {
    SCOPED_TRACE(k);
    const cVector3d spot = FlatSpot(demo.m_tiles[k]);
    PressAt(spot, 0.001);
    const cVector3d shallow = Force();
    EXPECT_EQ(tool->getProxy()->getContactObject(), demo.m_tiles[k]);
    EXPECT_NEAR(Proxy().x, spot.x, 2e-4);
    MoveTo(spot - cVector3d(0.004, 0, 0), 20);
    const cVector3d deep = Force();
    const double slope = (deep.x - shallow.x) / 0.003;
    std::printf("tile %d: %.1f N per unit at a pressed depth (stiffness %.0f)\n", k, slope, kStiffness[k]);
    EXPECT_NEAR(slope, kStiffness[k], 0.03 * kStiffness[k]);
    EXPECT_LT(std::hypot(deep.y, deep.z), 0.2 * deep.x);
    MoveTo(spot + cVector3d(0.02, 0, 0), 10);
    EXPECT_EQ(Force().length(), 0.0);
  }
}

// the silicone: a sideways push below 0.6 x the normal force keeps the proxy
// where it is; one above makes it slide, dragged at the edge of the cone
TEST_F(Textures, SiliconeHoldsTheProxyBelowItsFrictionAndSlidesAbove) {
  demo.reset(0);
  const double depth = 0.003;
  const cVector3d spot = FlatSpot(demo.m_tiles[2]);
  PressAt(spot, depth);
  const cVector3d held = Proxy();
  for (double push : {0.1, 0.2, 0.3, 0.4, 0.5}) {
    MoveTo(spot + cVector3d(-depth, push * depth, 0), 5);
    const cVector3d f = Force();
    const double ratio = std::hypot(f.y, f.z) / f.x;
    EXPECT_NEAR(ratio, push, 0.05) << push;
    EXPECT_LT((Proxy() - held).length(), 1e-9) << "slid at a push of " << push;
  }
  for (double push : {0.7, 0.9, 1.2}) {
    MoveTo(spot + cVector3d(-depth, push * depth, 0), 5);
    const cVector3d f = Force();
    const double ratio = std::hypot(f.y, f.z) / f.x;
    std::printf("push %.1f: proxy slid %.2f of the depth, sideways force %.2f of the normal one\n", push,
                (Proxy().y - held.y) / depth, ratio);
    EXPECT_GT(Proxy().y - held.y, (push - 0.65) * depth) << push;
    EXPECT_LT(ratio, 0.62) << push;
  }
}

// on the other tiles the same sideways push moves the proxy with the tool and
// leaves no sideways force
TEST_F(Textures, TheOtherTilesLetTheProxySlideFreely) {
  demo.reset(0);
  const double depth = 0.003;
  for (int k : {0, 1, 3}) {
    SCOPED_TRACE(k);
    const cVector3d spot = FlatSpot(demo.m_tiles[k]);
    PressAt(spot, depth);
    const cVector3d start = Proxy();
    MoveTo(spot + cVector3d(-depth, 0.4 * depth, 0), 5);
    const cVector3d f = Force();
    EXPECT_NEAR(Proxy().y - start.y, 0.4 * depth, 0.05 * depth);
    EXPECT_LT(std::hypot(f.y, f.z), 0.1 * f.x);
    MoveTo(spot + cVector3d(0.02, 0, 0), 10);
  }
}

}  // namespace
