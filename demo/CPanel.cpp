#include "demo/CPanel.h"

#include "demo/Console.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/math/CMatrix3d.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CVertex.h"

#include <GL/gl.h>

#include <cmath>

cTexture2D *frontTexture = nullptr;
cTexture2D *backTexture = nullptr;
cPanel panel0, panel1, panel2, panel3, panel4, panel5, panel6, panelL, panelR;
cPanel *const menuPanels[7] = {&panel0, &panel1, &panel2, &panel3, &panel4, &panel5, &panel6};

void cPanel::update() {
  if (m_holdTicks > 0) {
    --m_holdTicks;
  } else if (m_highlighted) {
    m_angle += 8.0;
    if (m_angle > 180.0) {
      m_angle = 180.0;
      m_holdTicks = 16;
    }
  } else {
    m_angle -= 5.0;
    if (m_angle < 0.0) m_angle = 0.0;
  }
  applyRotation();
}

void cPanel::resetRotation() {
  if (m_holdTicks >= 1) {
    --m_holdTicks;
    m_angle = 0.0;
  } else {
    m_angle = m_highlighted ? 8.0 : 0.0;
  }
  applyRotation();
}

void cPanel::applyRotation() {
  if (m_mesh == nullptr) return;
  const double a = m_angle * 0.01745329252;
  const double c = std::cos(a), s = std::sin(a);
  m_mesh->setRot(cMatrix3d(c, -s, 0.0, s, c, 0.0, 0.0, 0.0, 1.0));
}

namespace {

// a texture owned by the world, drawn without mipmaps
cTexture2D *LoadStrip(cWorld *world, const char *path) {
  cTexture2D *texture = world->newTexture();
  texture->useMipmaps(false);
  // the strips are drawn a little smaller or larger than their size: filter
  // them rather than pick single texels
  texture->setMagnificationFunction(GL_LINEAR);
  texture->setMinifyingFunction(GL_LINEAR);
  if (!texture->loadFromFile(path)) {
    ConsolePrint("failed to load file %s", path);
    return nullptr;
  }
  return texture;
}

void SetVertex(cMesh *mesh, unsigned int index, const cVector3d &normal, double u, double v) {
  cVertex *vertex = mesh->getVertex(index);
  vertex->setNormal(normal);
  vertex->setColor(cColorb(255, 255, 255, 255));
  vertex->setTexCoord(u, v);
}

// one textured face of a panel in the plane x = depth, facing +x (side 1) or -x
// (side -1), showing the strip's columns u0..u1
void AddFace(cMesh *mesh, double depth, double side, double left, double right, double bottom, double top, double u0,
             double u1, cTexture2D *texture) {
  const cVector3d normal(side, 0.0, 0.0);
  const unsigned int v1 = mesh->newVertex(depth, left, bottom);
  const unsigned int v2 = mesh->newVertex(depth, right, bottom);
  const unsigned int v3 = mesh->newVertex(depth, right, top);
  const unsigned int v4 = mesh->newVertex(depth, left, top);
  SetVertex(mesh, v1, normal, u0, 0.0);
  SetVertex(mesh, v2, normal, u1, 0.0);
  SetVertex(mesh, v3, normal, u1, 1.0);
  SetVertex(mesh, v4, normal, u0, 1.0);
  if (side > 0.0) {
    mesh->newTriangle(v1, v2, v3);
    mesh->newTriangle(v1, v3, v4);
  } else {
    mesh->newTriangle(v3, v2, v1);
    mesh->newTriangle(v4, v3, v1);
  }
  mesh->useColors(false, false);
  mesh->useMaterial(false, false);
  mesh->useTexture(true, false);
  mesh->setTexture(texture, false);
}

}  // namespace

int buildPanels(cWorld *world, cMesh *root) {
  frontTexture = LoadStrip(world, "./resources/images/exM.bmp");
  if (frontTexture == nullptr) return -1;
  backTexture = LoadStrip(world, "./resources/images/exD.bmp");
  if (backTexture == nullptr) return -1;
  for (int i = 0; i < 7; ++i) createSinglePanel(root, menuPanels[i], i);
  createSinglePanel(root, &panelL, -1);
  createSinglePanel(root, &panelR, 7);
  return 0;
}

void createSinglePanel(cMesh *root, cPanel *panel, int i) {
  const double back = -0.002, front = 0.002, bottom = -0.17361, top = 0.17361;
  double left = -0.04001, right = 0.04001;
  if (i == -1) left = -1.04001;
  if (i == 7) right = 1.04001;
  const double u0 = i / 7.0, u1 = (i + 1) / 7.0;

  cWorld *world = root->getParentWorld();
  cMesh *mesh = new cMesh(world);
  root->addChild(mesh);
  cMesh *frontMesh = new cMesh(world);
  cMesh *backMesh = new cMesh(world);
  mesh->addChild(frontMesh);
  mesh->addChild(backMesh);

  // the back face winds the other way so both faces look outward
  AddFace(backMesh, back, -1.0, left, right, bottom, top, u0, u1, backTexture);
  AddFace(frontMesh, front, 1.0, left, right, bottom, top, u0, u1, frontTexture);

  // the two side edges, closing the slab between front and back
  const cVector3d pf1(front, left, bottom), pf2(front, right, bottom), pf3(front, right, top), pf4(front, left, top);
  const cVector3d pb1(back, left, bottom), pb2(back, right, bottom), pb3(back, right, top), pb4(back, left, top);
  frontMesh->newTriangle(pf1, pf4, pb4);
  frontMesh->newTriangle(pf1, pb4, pb1);
  frontMesh->newTriangle(pf2, pb3, pf3);
  frontMesh->newTriangle(pf2, pb2, pb3);
  frontMesh->useColors(false, false);
  frontMesh->useMaterial(false, false);
  frontMesh->useTexture(true, false);
  frontMesh->computeAllNormals(false);

  mesh->setPos(0.0, 0.08 * i - 0.24, 0.0);
  panel->m_mesh = mesh;
}
