// Rendering against a real OpenGL context: small scenes drawn into a window of
// known size and read back with glReadPixels. Checks are properties with
// tolerances (where things are, which is brighter, which colour wins), never
// whole images, since software renderers differ in their last bits.
#include "support/GlSceneTest.h"

#include "scene/collision/CGenericCollision.h"
#include "scene/graph/CBitmap.h"
#include "scene/graph/CCamera.h"
#include "scene/graph/CDraw3D.h"
#include "scene/graph/CLight.h"
#include "scene/graph/CMaterial.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/GlSceneTest.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using gltest::H;
using gltest::Rgb;
using gltest::W;
constexpr double kPi = 3.14159265358979323846;

::testing::AssertionResult Close(const Rgb &got, int r, int g, int b, int tol = 4) {
  if (std::abs(got.r - r) <= tol && std::abs(got.g - g) <= tol && std::abs(got.b - b) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << "), want (" << r << ", "
                                       << g << ", " << b << ") +-" << tol;
}

int Brightness(const Rgb &c) { return c.r + c.g + c.b; }

// ---- scene pieces ------------------------------------------------------------------

// a sphere with its own material, found by select through an exact ray test
struct Ball : cGenericObject {
  struct Detector : cGenericCollision {
    Ball *ball;
    explicit Detector(Ball *b) : ball(b) {}
    bool computeCollision(cVector3d &a, cVector3d &b, cGenericObject *&object, cTriangle *&triangle, cVector3d &point,
                          double &squareDistance, int) override {
      const cVector3d d = b - a;
      const double qa = d.lengthsq(), qb = 2.0 * a.dot(d), qc = a.lengthsq() - ball->radius * ball->radius;
      const double disc = qb * qb - 4.0 * qa * qc;
      if (disc < 0.0) return false;
      const double t = (-qb - std::sqrt(disc)) / (2.0 * qa);
      if (t < 0.0 || t > 1.0) return false;
      point = a + d * t;
      squareDistance = (point - a).lengthsq();
      object = ball;
      triangle = nullptr;
      return true;
    }
  };

  double radius;
  cMaterial material;
  Ball(double r, const cVector3d &pos) : radius(r) {
    m_pos = pos;
    setCollisionDetector(new Detector(this));
  }
  void render(int pass) override {
    if (pass != RENDER_PASS_OPAQUE && pass != RENDER_PASS_ALL) return;
    material.render();
    cDrawSphere(radius, 48, 48);
  }
};

// a flat unlit square facing the camera (+x) in the plane x = 0 of its frame
struct Panel : cGenericObject {
  cColorf colour;
  cTexture2D *texture = nullptr;
  bool transparent = false;
  Panel(double x, const cColorf &c) : colour(c) { m_pos.set(x, 0, 0); }
  void render(int pass) override {
    // transparent panels draw their front faces in the last pass of a multipass render
    if (transparent ? pass != RENDER_PASS_TRANSPARENT_FRONT
                    : pass == RENDER_PASS_TRANSPARENT_BACK || pass == RENDER_PASS_TRANSPARENT_FRONT)
      return;
    glDisable(GL_LIGHTING);
    if (transparent) {
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glDepthMask(GL_FALSE);
    }
    if (texture != nullptr) texture->render();
    glColor4fv(colour.data());
    glBegin(GL_QUADS);
    glNormal3d(1, 0, 0);
    glTexCoord2d(0, 0), glVertex3d(0, -1, -1);
    glTexCoord2d(1, 0), glVertex3d(0, 1, -1);
    glTexCoord2d(1, 1), glVertex3d(0, 1, 1);
    glTexCoord2d(0, 1), glVertex3d(0, -1, 1);
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
    glEnable(GL_LIGHTING);
  }
};

// a 24-bit BMP in the temp folder; rows given top first, each pixel 0xRRGGBB
std::string WriteBmp(const std::string &name, const std::vector<std::vector<uint32_t>> &rowsTopFirst) {
  // test processes of several build trees may run at once
  const std::string path = ::testing::TempDir() + "scene_render_" + std::to_string(getpid()) + "_" + name + ".bmp";
  gltest::WriteBmpFile(path, rowsTopFirst);
  return path;
}

std::vector<std::vector<uint32_t>> Solid(int w, int h, uint32_t colour) {
  return std::vector<std::vector<uint32_t>>(h, std::vector<uint32_t>(w, colour));
}

// ---- fixture ----------------------------------------------------------------------

// one window per process; the display comes from the file the display fixture wrote
class RenderGL : public gltest::GlSceneTest {
 protected:
  bool IsBackground(int x, int y) const { return Close(At(x, y), 51, 102, 153, 3); }

  // a directional light shining from the given direction
  cLight *AddLight(const cVector3d &towardLight) {
    cLight *light = new cLight(&world);
    world.addChild(light);
    light->m_lit = true;
    light->m_ambientColor = cColorf(0.1f, 0.1f, 0.1f);
    light->m_diffuseColor = cColorf(0.9f, 0.9f, 0.9f);
    light->m_pos = towardLight;
    return light;
  }
};

// ---- world and lights ---------------------------------------------------------------

TEST_F(RenderGL, LitSphereWhereItMustBeAndDarkerAwayFromTheLight) {
  Frame();
  for (int y = 0; y < H; y += 7)
    for (int x = 0; x < W; x += 7) ASSERT_TRUE(IsBackground(x, y)) << "empty world at " << x << "," << y;

  // light from the viewer's right (+y), sphere up and to the right of the centre
  cLight *light = AddLight(cVector3d(0, 1, 0));
  const cVector3d centre(0, 1, 0.5);
  world.addChild(new Ball(0.5, centre));
  Frame();
  int cx, cy;
  Project(centre, cx, cy);
  EXPECT_FALSE(IsBackground(cx, cy));
  // the mirrored places are empty: the axes are not flipped
  EXPECT_TRUE(IsBackground(W - cx, H - cy));
  EXPECT_TRUE(IsBackground(W - cx, cy));
  // a radius of 0.5 at depth 4 covers about 18 pixels
  EXPECT_FALSE(IsBackground(cx - 12, cy));
  EXPECT_GT(Brightness(At(cx + 12, cy)), Brightness(At(cx - 12, cy)) + 150);
  EXPECT_TRUE(IsBackground(cx + 24, cy));
  EXPECT_TRUE(IsBackground(cx, cy + 24));

  // switched off, only the ambient term is left
  const int lit = Brightness(At(cx + 12, cy));
  light->m_lit = false;
  Frame();
  EXPECT_LT(Brightness(At(cx + 12, cy)), lit / 3);
}

TEST_F(RenderGL, AxesAndBoundaryBoxHelpers) {
  AddLight(cVector3d(1, 0, 0));
  cGenericObject *node = new cGenericObject;
  world.addChild(node);
  node->setShowFrame(true, false);
  ASSERT_TRUE(node->setFrameSize(1.5, 5.0, false));
  node->setShowBox(true, false);
  node->m_boxLo.set(-1, -1, -1), node->m_boxHi.set(1, 1, 1);
  Frame();
  // red arrows along +y (right) and +z (up), none along -y; the x arrow's point,
  // toward the viewer, covers about 23 pixels around the centre
  EXPECT_GT(At(W / 2 + 30, H / 2).r, 150);
  EXPECT_GT(At(W / 2 + 30, H / 2).r, At(W / 2 + 30, H / 2).g + 60);
  EXPECT_GT(At(W / 2, H / 2 + 30).r, 150);
  EXPECT_TRUE(IsBackground(W / 2 - 30, H / 2));
  EXPECT_TRUE(IsBackground(W / 2, H / 2 - 30));
  // the box's near edge y = 1 (x = 1, depth 3) lies about 48 pixels right of the centre
  int edge, row;
  Project(cVector3d(1, 1, 0.5), edge, row);
  bool found = false;
  for (int x = edge - 2; x <= edge + 2; ++x) found |= Close(At(x, row), 128, 128, 0, 6);
  EXPECT_TRUE(found);
}

// ---- textures ---------------------------------------------------------------------

class RenderGLTexture : public RenderGL {
 protected:
  cTexture2D *TexturedQuad() {
    cTexture2D *texture = world.newTexture();
    Panel *quad = new Panel(0, cColorf(1, 1, 1));
    quad->texture = texture;
    world.addChild(quad);
    return texture;
  }
  // red, green below; blue, white above. The quad spans about 36 pixels each side.
  void ExpectQuadrants() {
    const int d = 18;
    EXPECT_TRUE(Close(At(W / 2 - d, H / 2 - d), 255, 0, 0)) << "lower left";
    EXPECT_TRUE(Close(At(W / 2 + d, H / 2 - d), 0, 255, 0)) << "lower right";
    EXPECT_TRUE(Close(At(W / 2 - d, H / 2 + d), 0, 0, 255)) << "upper left";
    EXPECT_TRUE(Close(At(W / 2 + d, H / 2 + d), 255, 255, 255)) << "upper right";
    EXPECT_TRUE(IsBackground(W / 2 + 45, H / 2));
  }
};

TEST_F(RenderGLTexture, QuadShowsTheImageColours) {
  const std::string path = WriteBmp("quad", {{0x0000FF, 0xFFFFFF}, {0xFF0000, 0x00FF00}});
  for (bool mipmaps : {true, false}) {
    cTexture2D *texture = TexturedQuad();
    ASSERT_TRUE(texture->loadFromFile(path.c_str()));
    texture->m_mipmapsOn = mipmaps;
    Frame();
    ExpectQuadrants();
    world.deleteChild(world.m_kids.back());
  }
  std::remove(path.c_str());
}

TEST_F(RenderGLTexture, RgbImageUploadsThreeComponentsWithUnpaddedRows) {
  // 2 x 2 RGB: rows of 6 bytes, not a multiple of 4
  cImageLoader &pic = TexturedQuad()->m_picture;
  const uint8_t rgb[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
  pic.m_data.reset(new unsigned char[12]);
  std::copy(rgb, rgb + 12, pic.m_data.get());
  pic.m_width = pic.m_height = 2;
  pic.m_format = GL_RGB;
  pic.m_initialized = true;
  Frame();
  ExpectQuadrants();
  GLint internal = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
  EXPECT_TRUE(internal == 3 || internal == GL_RGB || internal == GL_RGB8) << std::hex << internal;
}

// ---- overlays ---------------------------------------------------------------------

TEST_F(RenderGL, OverlaysDrawBehindAndInFrontOfTheWorld) {
  AddLight(cVector3d(1, 0, 0));
  world.addChild(new Ball(1.0, cVector3d(0, 0, 0)));
  // red square behind the sphere, a green patch in front of its right part
  const std::string redPath = WriteBmp("back", Solid(80, 80, 0xFF0000));
  const std::string greenPath = WriteBmp("front", Solid(8, 6, 0x00FF00));
  cBitmap *back = new cBitmap, *front = new cBitmap;
  ASSERT_EQ(back->m_picture.loadFromFile(redPath.c_str()), 0);
  ASSERT_EQ(front->m_picture.loadFromFile(greenPath.c_str()), 0);
  back->m_pos.set(40, 20, 0);
  front->m_pos.set(100, 60, 0);
  camera->m_backOverlay.addChild(back);
  camera->m_frontOverlay.addChild(front);
  Frame();
  // the back image shows around the sphere but not through it
  EXPECT_TRUE(Close(At(44, 24), 255, 0, 0));
  EXPECT_TRUE(IsBackground(38, 24));
  EXPECT_FALSE(Close(At(W / 2, H / 2), 255, 0, 0, 60));
  // the front image lies one pixel in from its position: x 101..108, y 61..66
  EXPECT_TRUE(Close(At(101, 61), 0, 255, 0));
  EXPECT_TRUE(Close(At(108, 66), 0, 255, 0));
  EXPECT_FALSE(Close(At(109, 63), 0, 255, 0, 60));
  EXPECT_FALSE(Close(At(104, 67), 0, 255, 0, 60));
  std::remove(redPath.c_str());
  std::remove(greenPath.c_str());
}

TEST_F(RenderGL, OverlayBitmapBlendZoomAndWindowEdge) {
  // left half opaque black made transparent, right half yellow, zoomed 5 times
  const std::string cursorPath = WriteBmp("cursor", Solid(4, 2, 0xFFFF00));
  const std::string edgePath = WriteBmp("edge", Solid(8, 6, 0x00FF00));
  cBitmap *cursor = new cBitmap, *edge = new cBitmap, *stray = new cBitmap;
  ASSERT_EQ(cursor->m_picture.loadFromFile(cursorPath.c_str()), 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) cursor->m_picture.setPixelColor(x, y, cColorb(0, 0, 0, 255));
  cursor->m_picture.replace(cColorb(0, 0, 0, 255), cColorb(0, 0, 0, 0));
  cursor->m_blend = true;
  cursor->setZoomHV(5, 5);
  cursor->m_pos.set(19, 19, 0);
  // partly left of and below the window
  ASSERT_EQ(edge->m_picture.loadFromFile(edgePath.c_str()), 0);
  edge->m_pos.set(-5, -3, 0);
  camera->m_frontOverlay.addChild(cursor);
  camera->m_frontOverlay.addChild(edge);
  // a bitmap in the 3-D scene itself is not drawn
  ASSERT_EQ(stray->m_picture.loadFromFile(edgePath.c_str()), 0);
  world.addChild(stray);
  Frame();

  // 20 x 10 pixels from (20, 20): x 20..29 see-through, x 30..39 yellow
  EXPECT_TRUE(IsBackground(25, 25));
  EXPECT_TRUE(Close(At(30, 20), 255, 255, 0));
  EXPECT_TRUE(Close(At(39, 29), 255, 255, 0));
  EXPECT_TRUE(IsBackground(40, 29));
  // lower-left corner at (-4, -2): visible over x 0..3, y 0..3
  EXPECT_TRUE(Close(At(0, 0), 0, 255, 0));
  EXPECT_TRUE(Close(At(3, 3), 0, 255, 0));
  EXPECT_TRUE(IsBackground(4, 1));
  EXPECT_TRUE(IsBackground(1, 4));
  // where the stray one's raster position (1, 1, 0) lands in the 3-D view
  int sx, sy;
  Project(cVector3d(0, 1, 1), sx, sy);
  EXPECT_TRUE(IsBackground(sx + 2, sy + 2));
  std::remove(cursorPath.c_str());
  std::remove(edgePath.c_str());
}

// ---- transparency -----------------------------------------------------------------

TEST_F(RenderGL, MultipassBlendsTransparentOverOpaque) {
  Panel *behind = new Panel(-1.0, cColorf(1, 0, 0));
  Panel *glass = new Panel(0.0, cColorf(0, 0, 1, 0.5f));
  glass->transparent = true;
  // the transparent one first in the tree: only the pass order puts it last
  world.addChild(glass);
  world.addChild(behind);
  camera->enableMultipassTransparency(true);
  Frame();
  EXPECT_TRUE(Close(At(W / 2, H / 2), 128, 0, 128, 6));

  camera->enableMultipassTransparency(false);
  Frame();
  EXPECT_TRUE(Close(At(W / 2, H / 2), 255, 0, 0));
}

// ---- picking ----------------------------------------------------------------------

TEST_F(RenderGL, SelectAgreesWithWhatIsDrawn) {
  // red ball in front of a larger green one, both flat coloured
  Ball *red = new Ball(0.6, cVector3d(0.5, -0.4, 0.2));
  Ball *green = new Ball(1.0, cVector3d(-1.0, 0.3, 0.0));
  for (Ball *b : {red, green}) {
    b->material.m_ambientColor = b->material.m_diffuseColor = b->material.m_specularColor = cColorf(0, 0, 0);
    world.addChild(b);
  }
  red->material.m_emissionColor = cColorf(1, 0, 0);
  green->material.m_emissionColor = cColorf(0, 1, 0);
  Frame();

  auto drawn = [&](int x, int y) -> cGenericObject * {
    if (Close(At(x, y), 255, 0, 0, 8)) return red;
    if (Close(At(x, y), 0, 255, 0, 8)) return green;
    return nullptr;
  };
  cGenericObject *object;
  cTriangle *triangle;
  cVector3d point;
  double distance;
  int checked = 0, onRed = 0, onGreen = 0;
  for (int y = 2; y < H - 2; y += 3)
    for (int x = 2; x < W - 2; x += 3) {
      // silhouettes may differ by a pixel between the rasteriser and the ray
      cGenericObject *here = drawn(x, y);
      bool edge = false;
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) edge |= drawn(x + dx, y + dy) != here;
      if (edge) continue;
      // select counts rows from the top
      ASSERT_EQ(camera->select(x, H - y, W, H, object, triangle, point, distance, false), here != nullptr);
      ASSERT_EQ(object, here) << x << "," << y;
      ++checked, onRed += here == red, onGreen += here == green;
    }
  EXPECT_GT(checked, 1500);
  EXPECT_GT(onRed, 50);
  EXPECT_GT(onGreen, 50);
}

}  // namespace
