#include "demo/CDemoTextures.h"

#include "scene/graph/CWorld.h"
#include "scene/mesh/CImageHeightField.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"

namespace {

struct Tile {
  const char *path;
  double height;
  double stiffness;
  double y, z;
};

// seen from the camera (+y right, +z up): plastic upper right, stone upper left,
// silicone lower left, motif lower right
const Tile kTileTable[cDemoTextures::kTiles] = {
    {"./resources/images/plastic.bmp", 0.01, 900.0, 0.08, 0.08},
    {"./resources/images/stone.bmp", 0.03, 1600.0, -0.08, 0.08},
    {"./resources/images/silicone.bmp", 0.04, 230.0, -0.08, -0.08},
    {"./resources/images/motif.bmp", 0.005, 800.0, 0.08, -0.08},
};

// the relief's own stiffness until the tile's is set
const double kReliefStiffness = 450.0;

}  // namespace

cDemoTextures::cDemoTextures() {
  for (int k = 0; k < kTiles; ++k) {
    m_tiles[k] = nullptr;
    m_tileStiffness[k] = kTileTable[k].stiffness;
  }
}

bool cDemoTextures::createTexture(cMesh *mesh, const char *path, double height) {
  // the relief is felt, not seen; its square child is seen, not felt
  mesh->setShow(false, false);
  if (!cImageHeightField::create(mesh, path, height, kTileSize)) return false;
  mesh->setStiffness(kReliefStiffness, false);
  mesh->setFriction(0.0, 0.0, false);

  cMesh *square = new cMesh(m_world);
  mesh->addChild(square);
  const double half = kTileSize / 2.0;
  square->newVertex(0.0, -half, -half);
  square->newVertex(0.0, half, -half);
  square->newVertex(0.0, half, half);
  square->newVertex(0.0, -half, half);
  square->getVertex(0)->m_uv.set(0.0, 0.0, 0.0);
  square->getVertex(1)->m_uv.set(1.0, 0.0, 0.0);
  square->getVertex(2)->m_uv.set(1.0, 1.0, 0.0);
  square->getVertex(3)->m_uv.set(0.0, 1.0, 0.0);
  square->newTriangle(0, 1, 2);
  square->newTriangle(0, 2, 3);
  square->computeAllNormals(false);
  square->setTexture(mesh->getTexture(), false);
  square->useTexture(true, false);
  square->deleteCollisionDetector(false);
  return true;
}

int cDemoTextures::setup(int) {
  // an earlier attempt that failed left its scene detached: start afresh
  if (m_scene != nullptr && m_scene->getParent() == nullptr) delete m_scene;
  m_scene = new cMesh(m_world);
  for (int k = 0; k < kTiles; ++k) m_tileStiffness[k] = kTileTable[k].stiffness;
  for (int k = 0; k < kTiles; ++k) {
    m_tiles[k] = new cMesh(m_world);
    m_scene->addChild(m_tiles[k]);
    m_tiles[k]->setPos(0.0, kTileTable[k].y, kTileTable[k].z);
    if (!createTexture(m_tiles[k], kTileTable[k].path, kTileTable[k].height)) return -1;
    m_tiles[k]->setStiffness(m_tileStiffness[k], true);
    if (k == kStickyTile) m_tiles[k]->setFriction(kStickyFriction, kStickyFriction, true);
  }
  m_ready = true;
  return 0;
}

void cDemoTextures::reset(int) {
  if (!m_ready && setup(0) < 0) return;
  for (int k = 0; k < kTiles; ++k) m_tiles[k]->setStiffness(m_tileStiffness[k], true);
  // a demo left while it hid the tool (a carry) must not hide it here
  m_tool->setShow(true, true);
  m_tool->setWorkspace(0.4, 0.4, 0.4);
  m_tool->setPos(0.0, 0.0, 0.0);
  m_tool->setRadius(0.004);
  m_tool->setRenderingMode(RENDER_PROXY);
  m_tool->m_deviceColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_tool->m_proxyColor.set(1.0f, 1.0f, 1.0f, 1.0f);
  m_root->addChild(m_scene);
  m_root->addChild(m_tool);
  m_world->computeGlobalPositions(true);
  m_tool->computeForces();
  m_tool->setForcesOFF();
  m_tool->setForcesON();
}

void cDemoTextures::exit(int) {
  m_root->removeChild(m_scene);
  m_root->removeChild(m_tool);
  m_tool->setForcesOFF();
}

void cDemoTextures::update(int) { m_tool->computeForces(); }
