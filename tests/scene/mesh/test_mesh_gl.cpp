// Meshes drawn against a real OpenGL context and read back with glReadPixels:
// filled, wire, vertex colours, textures, display lists and the transparency
// passes. Checks are properties with tolerances, never whole images.
#include "scene/graph/CCamera.h"
#include "scene/graph/CLight.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/GlSceneTest.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using gltest::H;
using gltest::Rgb;
using gltest::W;
constexpr double kPi = 3.14159265358979323846;

using gltest::Near;

using gltest::PassFilter;

// ---- fixture ----------------------------------------------------------------------

class MeshGL : public gltest::GlSceneTest {
 protected:
  // the colour where a point of the plane x = 0 lands
  Rgb AtPoint(double y, double z) const {
    int px, py;
    Project(cVector3d(0, y, z), px, py);
    return At(px, py);
  }
  bool IsBackground(const Rgb &c) const { return Near(c, 51, 102, 153, 3); }
  int CountDrawn() const {
    int n = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) n += !IsBackground(At(x, y));
    return n;
  }

  void AddLight() {
    cLight *light = new cLight(&world);
    world.addChild(light);
    light->m_lit = true;
    light->m_ambientColor = cColorf(0.1f, 0.1f, 0.1f);
    light->m_diffuseColor = cColorf(0.9f, 0.9f, 0.9f);
    light->m_pos = cVector3d(1, 0, 0);
  }

  // the square y, z in -1..1 of the plane x = 0, facing the camera (+x) or away
  // from it; texture coordinates run with y and z
  cMesh *Square(cGenericObject *parent = nullptr, bool facingCamera = true) {
    cMesh *mesh = new cMesh(&world);
    (parent != nullptr ? parent : &world)->addChild(mesh);
    const double corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto &c : corners) {
      const unsigned int v = mesh->newVertex(0, c[0], c[1]);
      mesh->m_vertexSlots[v].setTexCoord((c[0] + 1) / 2, (c[1] + 1) / 2);
    }
    if (facingCamera) {
      mesh->newTriangle(0, 1, 2);
      mesh->newTriangle(0, 2, 3);
    } else {
      mesh->newTriangle(0, 2, 1);
      mesh->newTriangle(0, 3, 2);
    }
    mesh->computeAllNormals(false);
    return mesh;
  }

  // a colour that needs no light: emission only
  static void Flat(cMesh *mesh, const cColorf &colour) {
    const cColorf black(0, 0, 0, 1);
    mesh->m_surface.m_ambientColor = mesh->m_surface.m_diffuseColor = mesh->m_surface.m_specularColor = black;
    mesh->m_surface.m_emissionColor = colour;
  }
};

// ---- opaque and wire --------------------------------------------------------------

TEST_F(MeshGL, OpaqueMeshIsLitAndItsBackFacesCulled) {
  AddLight();
  cMesh *front = Square();
  front->m_surface.m_ambientColor = cColorf(0.3f, 0, 0);
  front->m_surface.m_diffuseColor = cColorf(1, 0, 0);
  front->m_surface.m_specularColor = cColorf(0, 0, 0);
  Frame();
  const Rgb c = AtPoint(0.4, -0.3);
  EXPECT_GT(c.r, 200);
  EXPECT_LT(c.g + c.b, 40);
  EXPECT_TRUE(IsBackground(AtPoint(1.3, 0)));
  EXPECT_TRUE(IsBackground(AtPoint(0, -1.3)));
  EXPECT_FALSE(IsBackground(AtPoint(0.9, 0.9)));

  // the same square turned away: culled, then drawn dark once culling is off
  world.deleteChild(front);
  cMesh *back = Square(nullptr, false);
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0.4, -0.3)));
  back->useCulling(false, false);
  Frame();
  EXPECT_FALSE(IsBackground(AtPoint(0.4, -0.3)));
  EXPECT_LT(AtPoint(0.4, -0.3).r + AtPoint(0.4, -0.3).g + AtPoint(0.4, -0.3).b, 200);
}

TEST_F(MeshGL, WireModeDrawsOnlyTheEdges) {
  cMesh *mesh = Square();
  Flat(mesh, cColorf(1, 0, 0));
  Frame();
  const int filled = CountDrawn();
  // about 72 x 72 pixels
  EXPECT_GT(filled, 4000);

  mesh->setWireMode(true, false);
  Frame();
  const int wire = CountDrawn();
  EXPECT_GT(wire, 150);
  EXPECT_LT(wire, filled / 4);
  // inside a triangle: empty; on the bottom edge: red
  EXPECT_TRUE(IsBackground(AtPoint(0.5, -0.3)));
  int ex, ey;
  Project(cVector3d(0, 0, -1), ex, ey);
  bool found = false;
  for (int y = ey - 2; y <= ey + 2; ++y) found |= Near(At(ex, y), 255, 0, 0, 8);
  EXPECT_TRUE(found);
  // polygon mode is restored for whatever draws next
  GLint modes[2] = {0, 0};
  glGetIntegerv(GL_POLYGON_MODE, modes);
  EXPECT_EQ(modes[0], GL_FILL);
}

// ---- colours and textures ---------------------------------------------------------

TEST_F(MeshGL, VertexColoursInterpolateAcrossTheFace) {
  AddLight();
  cMesh *mesh = Square();
  // left corners (y = -1) red, right ones blue
  for (cVertex &v : mesh->m_vertexSlots) v.m_rgba = v.m_pos.y < 0 ? cColorb(255, 0, 0) : cColorb(0, 0, 255);
  mesh->useColors(true, false);
  mesh->useMaterial(false, false);
  Frame();
  const Rgb left = AtPoint(-0.8, 0), mid = AtPoint(0, 0), right = AtPoint(0.8, 0);
  EXPECT_GT(left.r, left.b + 150);
  EXPECT_GT(right.b, right.r + 150);
  EXPECT_LT(left.g + right.g, 20);
  EXPECT_NEAR(mid.r, mid.b, 40);
  EXPECT_GT(mid.r, 80);

  // neither colours nor material: plain white under the light
  mesh->useColors(false, false);
  Frame();
  const Rgb white = AtPoint(-0.8, 0);
  EXPECT_GT(white.r, 200);
  EXPECT_NEAR(white.r, white.b, 8);
  EXPECT_NEAR(white.g, white.b, 8);
}

TEST_F(MeshGL, TexturedMeshShowsTheImageAlongItsCoordinates) {
  cMesh *mesh = Square();
  Flat(mesh, cColorf(1, 1, 1));
  cTexture2D *texture = world.newTexture();
  const std::string path = gltest::WriteHalves("scene_mesh_", 8, 8, 0xFF0000, 0x00FF00);
  ASSERT_EQ(texture->m_picture.loadFromFile(path.c_str()), 0);
  mesh->setTexture(texture, false);
  Frame();
  EXPECT_TRUE(Near(AtPoint(-0.5, 0.2), 255, 0, 0));
  EXPECT_TRUE(Near(AtPoint(0.5, 0.2), 0, 255, 0));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

  mesh->useTexture(false, false);
  Frame();
  EXPECT_TRUE(Near(AtPoint(-0.5, 0.2), 255, 255, 255));
  std::remove(path.c_str());
}

// ---- display lists ----------------------------------------------------------------

TEST_F(MeshGL, DisplayListReplaysUntilInvalidated) {
  cMesh *mesh = Square();
  Flat(mesh, cColorf(1, 0, 0));
  mesh->useDisplayList(true, false);
  Frame();
  EXPECT_TRUE(Near(AtPoint(0.4, -0.3), 255, 0, 0));
  ASSERT_NE(mesh->m_listId, -1);
  EXPECT_TRUE(glIsList(static_cast<GLuint>(mesh->m_listId)));

  // changes do not show while the compiled list is replayed
  mesh->m_surface.m_emissionColor = cColorf(0, 1, 0);
  mesh->m_vertexSlots[1].m_pos.set(0, 0, -1);
  mesh->m_vertexSlots[2].m_pos.set(0, 0, 1);
  Frame();
  EXPECT_TRUE(Near(AtPoint(0.4, -0.3), 255, 0, 0));

  const GLuint old = static_cast<GLuint>(mesh->m_listId);
  mesh->invalidateDisplayList(false);
  EXPECT_EQ(mesh->m_listId, -1);
  EXPECT_FALSE(glIsList(old));
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0.4, -0.3)));
  EXPECT_TRUE(Near(AtPoint(-0.5, 0), 0, 255, 0));
  EXPECT_NE(mesh->m_listId, -1);

  // a display reset drops the list too
  world.onDisplayReset(true);
  EXPECT_EQ(mesh->m_listId, -1);
}

// ---- transparency -----------------------------------------------------------------

TEST_F(MeshGL, TransparentMeshDrawsInTheBackAndFrontPassesOnly) {
  PassFilter *filter = new PassFilter;
  world.addChild(filter);
  cMesh *mesh = Square(filter);
  Flat(mesh, cColorf(1, 0, 0));
  mesh->setTransparencyLevel(0.5f, false, false);
  ASSERT_TRUE(mesh->m_blend);
  camera->enableMultipassTransparency(true);
  // half red over the background (51, 102, 153)
  const Rgb blended{153, 51, 77};

  filter->passes = {RENDER_PASS_OPAQUE};
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0.4, -0.3)));

  filter->passes = {RENDER_PASS_TRANSPARENT_BACK, RENDER_PASS_TRANSPARENT_FRONT};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0.4, -0.3), blended.r, blended.g, blended.b));

  // the square faces the camera: the back pass culls it, the front pass draws it
  filter->passes = {RENDER_PASS_TRANSPARENT_BACK};
  Frame();
  EXPECT_TRUE(IsBackground(AtPoint(0.4, -0.3)));
  filter->passes = {RENDER_PASS_TRANSPARENT_FRONT};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0.4, -0.3), blended.r, blended.g, blended.b));
  EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites);

  // a single pass draws it with culling off, the back face included
  filter->passes = {RENDER_PASS_ALL};
  camera->enableMultipassTransparency(false);
  Frame();
  EXPECT_TRUE(Near(AtPoint(0.4, -0.3), blended.r, blended.g, blended.b));

  // without multipass transparency the opaque pass draws it
  mesh->setTransparencyRenderMode(false, false);
  camera->enableMultipassTransparency(true);
  filter->passes = {RENDER_PASS_OPAQUE};
  Frame();
  EXPECT_TRUE(Near(AtPoint(0.4, -0.3), blended.r, blended.g, blended.b));
}

}  // namespace
