// Reliefs built from pictures: heights from brightness, the scaled extents, the
// smallest picture, the pictures and arguments refused (leaving nothing behind),
// the finished relief's settings, and a relief of many small cells felt by the
// proxy.
#include "scene/collision/CCollisionAABB.h"
#include "scene/files/CImageLoader.h"
#include "scene/files/ImageFiles.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CImageHeightField.h"
#include "scene/mesh/CMesh.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace {

using imagetest::Bytes;
using imagetest::Put32;
using imagetest::Rgb;

// a 24-bit bottom-up file of colour(x, y), y = 0 at the bottom
Bytes Picture(int w, int h, const std::function<Rgb(int, int)> &colour) {
  const size_t row = size_t(w) * 3, padded = (row + 3) & ~size_t(3);
  Bytes b(54, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, uint32_t(54 + padded * h));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, uint32_t(w));
  Put32(b, 22, uint32_t(h));
  Put32(b, 26, 1 | 24u << 16);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Rgb c = colour(x, y);
      b.insert(b.end(), {c.b, c.g, c.r});
    }
    b.resize(b.size() + (padded - row), 0);
  }
  return b;
}

class ImageHeightField : public ::testing::Test {
 protected:
  void SetUp() override {
    mesh = new cMesh(&world);
    world.addChild(mesh);
  }

  std::string Write(int w, int h, const std::function<Rgb(int, int)> &colour) {
    return dir.Write("p" + std::to_string(files++) + ".bmp", Picture(w, h, colour));
  }

  cVector3d Extent() const { return mesh->getBoundaryMax() - mesh->getBoundaryMin(); }

  cWorld world;
  cMesh *mesh = nullptr;
  imagetest::TempDir dir;
  int files = 0;
};

TEST_F(ImageHeightField, TwoByTwoPictureGivesFourVerticesTwoTrianglesAndHeightsFromBrightness) {
  // bottom row black and white, top row grey and pure red
  const Rgb pixels[2][2] = {{{0, 0, 0}, {255, 255, 255}}, {{60, 120, 180}, {255, 0, 0}}};
  const std::string path = Write(2, 2, [&](int x, int y) { return pixels[y][x]; });
  ASSERT_TRUE(cImageHeightField::create(mesh, path.c_str(), 0.1, 0.4));
  ASSERT_EQ(mesh->getNumVertices(), 4u);
  ASSERT_EQ(mesh->getNumTriangles(), 2u);
  // before scaling the cells are 1/2 across and white rises 0.1; the largest
  // extent (1/2 in y and z) is scaled to 0.4: a factor of 0.8
  const double f = 0.8;
  const cVector3d want[4] = {cVector3d(0, -0.4, -0.4), cVector3d(0.1 * f, 0, -0.4),
                             cVector3d(0.1 * 360 / 765 * f, -0.4, 0), cVector3d(0.1 / 3 * f, 0, 0)};
  for (unsigned int v = 0; v < 4; ++v) {
    EXPECT_TRUE(mesh->getVertex(v)->m_pos.equals(want[v], 1e-12)) << "vertex " << v;
  }
  // a black pixel sits at height 0, a white one at the (scaled) full height
  EXPECT_EQ(mesh->getVertex(0)->m_pos.x, 0.0);
  EXPECT_NEAR(mesh->getBoundaryMax().x, 0.1 * f, 1e-12);
  // texture coordinates: column / width, row / height
  EXPECT_TRUE(mesh->getVertex(3)->m_uv.equals(cVector3d(0.5, 0.5, 0), 0.0));
  EXPECT_TRUE(mesh->getVertex(1)->m_uv.equals(cVector3d(0.5, 0, 0), 0.0));
  // the two triangles of the cell, both facing +x
  const cTriangle *t0 = mesh->getTriangle(0), *t1 = mesh->getTriangle(1);
  EXPECT_EQ(t0->m_corner0, 0u);
  EXPECT_EQ(t0->m_corner1, 1u);
  EXPECT_EQ(t0->m_corner2, 2u);
  EXPECT_EQ(t1->m_corner0, 2u);
  EXPECT_EQ(t1->m_corner1, 1u);
  EXPECT_EQ(t1->m_corner2, 3u);
  for (unsigned int v = 0; v < 4; ++v) EXPECT_GT(mesh->getVertex(v)->m_nrm.x, 0.5) << "vertex " << v;
}

TEST_F(ImageHeightField, ScaledExtentsOfSquareAndOblongPictures) {
  // a square picture spans the size in y and z, and in x at most the height
  // scaled like the rest (the cells span (W - 1) / W before scaling)
  const std::string square = Write(16, 16, [](int x, int y) { return Rgb{uint8_t(x * 16), uint8_t(y * 16), 255}; });
  ASSERT_TRUE(cImageHeightField::create(mesh, square.c_str(), 0.1, 0.4));
  EXPECT_NEAR(Extent().y, 0.4, 1e-12);
  EXPECT_NEAR(Extent().z, 0.4, 1e-12);
  EXPECT_GT(Extent().x, 0.0);
  EXPECT_LE(Extent().x, 0.1 * 0.4 * 16 / 15 + 1e-12);
  EXPECT_EQ(mesh->getNumTriangles(), 2u * 15 * 15);

  // an oblong one: the longer side spans the size, the other keeps its proportion
  cMesh *wide = new cMesh(&world);
  const std::string oblong = Write(8, 4, [](int, int) { return Rgb{255, 255, 255}; });
  ASSERT_TRUE(cImageHeightField::create(wide, oblong.c_str(), 0.02, 0.15));
  const cVector3d e = wide->getBoundaryMax() - wide->getBoundaryMin();
  EXPECT_NEAR(e.y, 0.15, 1e-12);
  EXPECT_NEAR(e.z, 0.15 * 3 / 7, 1e-12);
  // all white: a flat relief at the full height
  EXPECT_NEAR(e.x, 0.0, 1e-12);
  EXPECT_NEAR(wide->getBoundaryMin().x, 0.02 * 0.15 * 8 / 7, 1e-12);
  delete wide;

  // a height beyond the picture's side makes x the largest extent
  cMesh *tall = new cMesh(&world);
  const std::string ramp = Write(2, 2, [](int x, int) { return x == 0 ? Rgb{0, 0, 0} : Rgb{255, 255, 255}; });
  ASSERT_TRUE(cImageHeightField::create(tall, ramp.c_str(), 2.0, 0.3));
  const cVector3d t = tall->getBoundaryMax() - tall->getBoundaryMin();
  EXPECT_NEAR(t.x, 0.3, 1e-12);
  EXPECT_NEAR(t.y, 0.3 / 4, 1e-12);
  delete tall;
}

// one row or column has no extent across it: no scale can be taken from it
TEST_F(ImageHeightField, PicturesOfOneRowOrColumnAndMissingFilesAreRefusedLeavingNothing) {
  const Rgb grey{128, 128, 128};
  for (const auto &size : {std::make_pair(1, 5), std::make_pair(5, 1), std::make_pair(1, 1)}) {
    SCOPED_TRACE(std::to_string(size.first) + " x " + std::to_string(size.second));
    const std::string path = Write(size.first, size.second, [&](int, int) { return grey; });
    // the file itself is a good picture
    cImageLoader image;
    ASSERT_EQ(image.loadFromFile(path.c_str()), 0);
    EXPECT_FALSE(cImageHeightField::create(mesh, path.c_str(), 0.1, 0.4));
    EXPECT_FALSE(cImageHeightField::buildGeometry(mesh, image, 0.1, 0.4));
    EXPECT_EQ(mesh->getNumVertices(), 0u);
    EXPECT_EQ(mesh->getNumTriangles(), 0u);
    EXPECT_EQ(mesh->getTexture(), nullptr);
    EXPECT_EQ(world.getNumTextures(), 0u);
  }
  EXPECT_FALSE(cImageHeightField::create(mesh, (dir.path() + "/none.bmp").c_str(), 0.1, 0.4));
  EXPECT_EQ(world.getNumTextures(), 0u);
  EXPECT_EQ(mesh->getNumVertices(), 0u);
}

TEST_F(ImageHeightField, UnusableArgumentsAreRefused) {
  const std::string path = Write(3, 3, [](int x, int y) { return Rgb{uint8_t(x * 80), uint8_t(y * 80), 0}; });
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double size : {0.0, -0.4, nan, inf}) EXPECT_FALSE(cImageHeightField::create(mesh, path.c_str(), 0.1, size));
  for (double height : {nan, inf}) EXPECT_FALSE(cImageHeightField::create(mesh, path.c_str(), height, 0.4));
  EXPECT_FALSE(cImageHeightField::create(nullptr, path.c_str(), 0.1, 0.4));
  EXPECT_FALSE(cImageHeightField::create(mesh, nullptr, 0.1, 0.4));
  cMesh homeless(nullptr);
  EXPECT_FALSE(cImageHeightField::create(&homeless, path.c_str(), 0.1, 0.4));
  EXPECT_EQ(mesh->getNumVertices(), 0u);
  EXPECT_EQ(world.getNumTextures(), 0u);
  // an image never loaded
  cImageLoader empty;
  EXPECT_FALSE(cImageHeightField::buildGeometry(mesh, empty, 0.1, 0.4));
  // the same arguments otherwise do
  EXPECT_TRUE(cImageHeightField::create(mesh, path.c_str(), 0.1, 0.4));
  EXPECT_EQ(mesh->getNumVertices(), 9u);
}

TEST_F(ImageHeightField, TheReliefIsReadyToBeTouchedAndShowsItsPicture) {
  const std::string path = Write(4, 4, [](int x, int y) { return Rgb{uint8_t(60 * x), 90, uint8_t(60 * y)}; });
  mesh->setFriction(0.5, 0.4, false);
  ASSERT_TRUE(cImageHeightField::create(mesh, path.c_str(), 0.1, 0.4));
  ASSERT_NE(mesh->getTexture(), nullptr);
  EXPECT_EQ(world.getNumTextures(), 1u);
  EXPECT_EQ(mesh->getTexture()->m_picture.getWidth(), 4);
  EXPECT_TRUE(mesh->m_textureOn);
  EXPECT_NE(dynamic_cast<cCollisionAABB *>(mesh->getCollisionDetector()), nullptr);
  EXPECT_EQ(mesh->m_surface.getStaticFriction(), 0.0);
  EXPECT_EQ(mesh->m_surface.getDynamicFriction(), 0.0);
  EXPECT_FALSE(mesh->m_cullBack);
  EXPECT_TRUE(mesh->m_listOn);
  EXPECT_EQ(mesh->m_normalsLength, 0.01);
}

// cells of a few micrometres, far below the thresholds that once counted such
// triangles as degenerate: the proxy still rests on the relief, higher over the
// white half than over the black one
TEST_F(ImageHeightField, AReliefOfManySmallCellsIsFelt) {
  const int n = 400;
  const std::string path = Write(n, n, [&](int x, int) { return x < n / 2 ? Rgb{0, 0, 0} : Rgb{255, 255, 255}; });
  const double size = 0.002, height = 0.1;
  ASSERT_TRUE(cImageHeightField::create(mesh, path.c_str(), height, size));
  EXPECT_EQ(mesh->getNumTriangles(), 2u * (n - 1) * (n - 1));
  mesh->setStiffness(1000.0, false);
  world.computeGlobalPositions(false);
  const double top = height * size * n / (n - 1);

  cProxyPointForceAlgo algo;
  algo.m_proxySphereRadius = 1e-7;
  for (double y : {-size / 4, size / 4}) {
    SCOPED_TRACE(y);
    const double surface = y > 0 ? top : 0.0;
    algo.initialize(&world, cVector3d(0.01, y, 0.0001));
    algo.computeForces(cVector3d(0.001, y, 0.0001));
    const cVector3d force = algo.computeForces(cVector3d(surface - 0.0001, y, 0.0001));
    EXPECT_NEAR(algo.getProxyGlobalPosition().x, surface, 1e-6);
    EXPECT_NEAR(force.x, 1000.0 * 0.0001, 1e-3);
  }
}

// a slow stroke pressed into the silicone tile, which holds the proxy by
// friction until it breaks loose and slides: where two nearly flat cells meet,
// the path to the goal grazes the next cell, and backing off along that path
// once put the proxy far behind where it was and under the surface (it lost the
// relief at step 2843 of this stroke)
TEST(ImageHeightFieldStroke, ASlowStrokeWithFrictionNeverLosesTheSurface) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  ASSERT_TRUE(cImageHeightField::create(mesh, SCENE_RESOURCES "/images/silicone.bmp", 0.04, 0.15));
  mesh->setStiffness(230, false);
  mesh->setFriction(0.6, 0.6, false);
  world.computeGlobalPositions(false);
  cProxyPointForceAlgo algo;
  algo.m_proxySphereRadius = 4e-6;
  const double span = 0.05, depth = -0.001, z = 0.013 * 0.15, stride = 5.86e-5;
  double y = -span, dir = 1.0;
  algo.initialize(&world, cVector3d(0.1, -span, z));
  algo.computeForces(cVector3d(depth, -span, z));
  for (int i = 0; i < 6000; ++i) {
    y += dir * stride;
    if (std::fabs(y) > span) dir = -dir;
    const cVector3d f = algo.computeForces(cVector3d(depth, y, z));
    ASSERT_GT(f.length(), 0.0) << "lost the surface at step " << i;
    // and the proxy is never under the surface: a ray down through it meets
    // the relief below its centre
    const cVector3d p = algo.getProxyGlobalPosition();
    cGenericObject *object = nullptr;
    cTriangle *triangle = nullptr;
    cVector3d above(0.1, p.y, p.z), below(-0.1, p.y, p.z), surface;
    double distance = std::numeric_limits<double>::max();
    ASSERT_TRUE(world.computeCollisionDetection(above, below, object, triangle, surface, distance, false, -1));
    ASSERT_GT(p.x, surface.x - 1e-6) << "under the surface at step " << i;
  }
}

}  // namespace
