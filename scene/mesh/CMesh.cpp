#include "scene/mesh/CMesh.h"

#include "scene/collision/CCollisionAABB.h"
#include "scene/collision/CCollisionBrute.h"
#include "scene/collision/CCollisionSpheres.h"
#include "scene/files/CMeshLoader.h"
#include "scene/graph/CTexture2D.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>

namespace {

// corners of one triangle whose cross product is not longer than this add nothing to the normals
constexpr double kNormalMinLength = 1e-7;
// neighbour search: candidates by x, then every coordinate
constexpr double kNeighborSweep = 1e-7;
constexpr double kNeighborSame = 1e-9;
// start of the boundary-box scan
constexpr double kBoxStart = 1e49;

// the nearest meshes below node, looking through nodes that are not meshes;
// f gets each mesh with its pose in node's frame
template <typename F>
void VisitMeshes(const cGenericObject *node, const cMatrix3d &rot, const cVector3d &pos, F &f) {
  for (cGenericObject *kid : node->m_kids) {
    const cMatrix3d r = rot * kid->m_rot;
    const cVector3d p = rot * kid->m_pos + pos;
    if (cMesh *m = dynamic_cast<cMesh *>(kid))
      f(m, r, p);
    else
      VisitMeshes(kid, r, p, f);
  }
}

}  // namespace

template <typename F>
void cMesh::forEachChildMesh(F f) const {
  auto g = [&f](cMesh *m, const cMatrix3d &, const cVector3d &) { f(m); };
  VisitMeshes(this, cMatrix3d(), cVector3d(), g);
}

// ---- construction ----

cMesh::cMesh(cWorld *world)
    : m_homeWorld(world),
      m_drawNormals(false),
      m_normalsByCorner(true),
      m_normalsColor(1.0f, 0.0f, 0.0f, 1.0f),
      m_normalsLength(0.1),
      m_blend(false),
      m_twoPassBlend(true),
      m_cullBack(true),
      m_polygonMode(GL_FILL),
      m_vertexColorsOn(false),
      m_textureOn(true),
      m_surfaceOn(true),
      m_tex(nullptr),
      m_listOn(false),
      m_listId(-1) {
  m_detector = std::make_unique<cCollisionBrute>(&m_triangleSlots);
  m_drawAxes = false;
}

cMesh::~cMesh() {
  dropNeighborLists();
  m_triangleSlots.clear();
  m_vertexSlots.clear();
}

cMesh *cMesh::createMesh() const { return new cMesh(m_homeWorld); }

bool cMesh::loadFromFile(const std::string &fileName) { return cLoadMeshFromFile(this, fileName); }

// ---- slots ----

unsigned int cMesh::newVertex(double x, double y, double z) {
  if (m_freeVertexSlots.empty()) {
    const unsigned int index = static_cast<unsigned int>(m_vertexSlots.size());
    m_vertexSlots.emplace_back(x, y, z, index);
    return index;
  }
  const unsigned int index = m_freeVertexSlots.front();
  m_freeVertexSlots.pop_front();
  m_vertexSlots[index] = cVertex(x, y, z, index);
  return index;
}

void cMesh::addVertices(const cVector3d *positions, const unsigned int &count) {
  if (positions == nullptr) return;
  for (unsigned int i = 0; i < count; ++i) newVertex(positions[i].x, positions[i].y, positions[i].z);
}

unsigned int cMesh::newTriangle(unsigned int i0, unsigned int i1, unsigned int i2) {
  if (!m_freeTriangleSlots.empty()) {
    const unsigned int index = m_freeTriangleSlots.front();
    m_freeTriangleSlots.pop_front();
    cTriangle &t = m_triangleSlots[index];
    t.setVertices(i0, i1, i2);
    t.m_parentNode = this;
    t.m_inUse = true;
    // the old occupant's neighbours say nothing about the new triangle
    t.clearNeighbors();
    return index;
  }

  const unsigned int index = static_cast<unsigned int>(m_triangleSlots.size());
  const bool grows = m_triangleSlots.size() == m_triangleSlots.capacity();
  const uintptr_t oldBase = reinterpret_cast<uintptr_t>(m_triangleSlots.data());
  m_triangleSlots.emplace_back(this, i0, i1, i2, index);
  if (grows && index > 0) {
    // the array moved: neighbour lists are carried over by index, and the
    // detector, which may hold pointers into the old array, is rebuilt
    cTriangle *base = m_triangleSlots.data();
    for (cTriangle &t : m_triangleSlots) {
      if (t.m_adjacent == nullptr) continue;
      for (cTriangle *&n : *t.m_adjacent) {
        if (n == nullptr) continue;
        const uintptr_t at = reinterpret_cast<uintptr_t>(n);
        if (at >= oldBase) {
          const size_t k = (at - oldBase) / sizeof(cTriangle);
          if (k < index) n = base + k;
        }
      }
    }
    if (m_detector != nullptr) m_detector->initialize();
  }
  return index;
}

unsigned int cMesh::newTriangle(const cVector3d &a, const cVector3d &b, const cVector3d &c) {
  // the corners may be positions of this mesh's own vertices, which move when a new
  // vertex grows the array: copy them first
  const cVector3d pa = a, pb = b, pc = c;
  const unsigned int i0 = newVertex(pa.x, pa.y, pa.z);
  const unsigned int i1 = newVertex(pb.x, pb.y, pb.z);
  const unsigned int i2 = newVertex(pc.x, pc.y, pc.z);
  return newTriangle(i0, i1, i2);
}

bool cMesh::removeTriangle(unsigned int index) {
  cTriangle &t = m_triangleSlots[index];
  if (!t.m_inUse) return false;
  t.m_inUse = false;
  m_freeTriangleSlots.push_back(index);
  return true;
}

bool cMesh::removeVertex(unsigned int index) {
  cVertex &v = m_vertexSlots[index];
  if (!v.m_inUse) return false;
  v.m_inUse = false;
  m_freeVertexSlots.push_back(index);
  return true;
}

void cMesh::dropNeighborLists() {
  for (cTriangle &t : m_triangleSlots) t.clearNeighbors();
}

void cMesh::clear() {
  dropNeighborLists();
  m_triangleSlots.clear();
  m_vertexSlots.clear();
  m_freeTriangleSlots.clear();
  m_freeVertexSlots.clear();
  // the detector must not keep pointers to the triangles just released
  if (m_detector != nullptr) m_detector->initialize();
}

cVertex *cMesh::getVertex(unsigned int index, bool includeChildren) {
  if (!includeChildren || index < m_vertexSlots.size()) return &m_vertexSlots[index];
  unsigned int rest = index - static_cast<unsigned int>(m_vertexSlots.size());
  cVertex *found = nullptr;
  forEachChildMesh([&](cMesh *m) {
    if (found != nullptr) return;
    const unsigned int n = m->getNumVertices(true);
    if (rest < n)
      found = m->getVertex(rest, true);
    else
      rest -= n;
  });
  return found;
}

cTriangle *cMesh::getTriangle(unsigned int index, bool includeChildren) {
  if (!includeChildren || index < m_triangleSlots.size()) return &m_triangleSlots[index];
  unsigned int rest = index - static_cast<unsigned int>(m_triangleSlots.size());
  cTriangle *found = nullptr;
  forEachChildMesh([&](cMesh *m) {
    if (found != nullptr) return;
    const unsigned int n = m->getNumTriangles(true);
    if (rest < n)
      found = m->getTriangle(rest, true);
    else
      rest -= n;
  });
  return found;
}

unsigned int cMesh::getNumVertices(bool includeChildren) const {
  unsigned int n = static_cast<unsigned int>(m_vertexSlots.size());
  if (includeChildren) forEachChildMesh([&](cMesh *m) { n += m->getNumVertices(true); });
  return n;
}

unsigned int cMesh::getNumTriangles(bool includeChildren) const {
  unsigned int n = static_cast<unsigned int>(m_triangleSlots.size());
  if (includeChildren) forEachChildMesh([&](cMesh *m) { n += m->getNumTriangles(true); });
  return n;
}

std::vector<cVertex> *cMesh::pVerticesNonEmpty() {
  if (!m_vertexSlots.empty()) return &m_vertexSlots;
  std::vector<cVertex> *found = nullptr;
  forEachChildMesh([&](cMesh *m) {
    if (found == nullptr) found = m->pVerticesNonEmpty();
  });
  return found;
}

cVector3d cMesh::getCenterOfMass(bool includeChildren) {
  cVector3d sum;
  for (const cVertex &v : m_vertexSlots) sum += v.m_pos;
  double count = static_cast<double>(m_vertexSlots.size());
  if (includeChildren) {
    // each child's centre, brought into this mesh's frame, weighs as many vertices as it holds
    auto f = [&](cMesh *m, const cMatrix3d &rot, const cVector3d &pos) {
      const unsigned int n = m->getNumVertices(true);
      if (n == 0) return;
      sum += (rot * m->getCenterOfMass(true) + pos) * static_cast<double>(n);
      count += n;
    };
    VisitMeshes(this, cMatrix3d(), cVector3d(), f);
  }
  if (count == 0.0) return cVector3d();
  return sum / count;
}

// ---- detectors ----

void cMesh::createBruteForceCollisionDetector(bool includeChildren, bool useNeighbors) {
  // the old detector goes first, so the two never hold memory together
  m_detector.reset();
  auto detector = std::make_unique<cCollisionBrute>(&m_triangleSlots);
  detector->initialize();
  m_detector = std::move(detector);
  if (useNeighbors) createTriangleNeighborList(false);
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->createBruteForceCollisionDetector(true, useNeighbors); });
}

void cMesh::createAABBCollisionDetector(bool includeChildren, bool useNeighbors) {
  // the old detector goes first, so the two never hold memory together
  m_detector.reset();
  auto detector = std::make_unique<cCollisionAABB>(&m_triangleSlots, useNeighbors);
  detector->initialize();
  m_detector = std::move(detector);
  if (useNeighbors) createTriangleNeighborList(false);
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->createAABBCollisionDetector(true, useNeighbors); });
}

void cMesh::createSphereTreeCollisionDetector(bool includeChildren, bool useNeighbors) {
  // the old detector goes first, so the two never hold memory together
  m_detector.reset();
  auto detector = std::make_unique<cCollisionSpheres>(&m_triangleSlots, useNeighbors);
  detector->initialize();
  m_detector = std::move(detector);
  if (useNeighbors) createTriangleNeighborList(false);
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->createSphereTreeCollisionDetector(true, useNeighbors); });
}

// ---- geometry ----

void cMesh::offsetVertices(const cVector3d &offset, bool includeChildren, bool updateCollisionDetector) {
  for (cVertex &v : m_vertexSlots) v.m_pos += offset;
  m_boxLo += offset;
  m_boxHi += offset;
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->offsetVertices(offset, true, updateCollisionDetector); });
  if (updateCollisionDetector && m_detector != nullptr) m_detector->initialize();
}

void cMesh::extrude(double distance, bool includeChildren, bool updateCollisionDetector) {
  for (cVertex &v : m_vertexSlots) v.m_pos += v.m_nrm * distance;
  updateBoundaryBox();
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->extrude(distance, true, updateCollisionDetector); });
  if (updateCollisionDetector && m_detector != nullptr) m_detector->initialize();
}

void cMesh::updateGlobalPositions(bool frameOnly) {
  if (frameOnly) return;
  for (cVertex &v : m_vertexSlots) v.m_worldPos = m_worldRot * v.m_pos + m_worldPos;
}

void cMesh::updateBoundaryBox() {
  const size_t nv = m_vertexSlots.size();
  cVector3d lo(kBoxStart, kBoxStart, kBoxStart), hi(-kBoxStart, -kBoxStart, -kBoxStart);
  bool any = false;
  if (nv > 0) {
    for (const cTriangle &t : m_triangleSlots) {
      if (!t.m_inUse) continue;
      for (unsigned int c : {t.m_corner0, t.m_corner1, t.m_corner2}) {
        if (c >= nv) continue;
        const cVector3d &p = m_vertexSlots[c].m_pos;
        for (int i = 0; i < 3; ++i) {
          lo[i] = std::min(lo[i], p[i]);
          hi[i] = std::max(hi[i], p[i]);
        }
        any = true;
      }
    }
  }
  // no allocated triangle: an empty box rather than the inverted start values
  if (!any) {
    lo.zero();
    hi.zero();
  }
  m_boxLo = lo;
  m_boxHi = hi;
}

void cMesh::scaleObject(const cVector3d &factors) {
  // normals follow the cofactors of the scale, as a recomputation from the scaled faces would
  const cVector3d cof(factors.y * factors.z, factors.x * factors.z, factors.x * factors.y);
  for (cVertex &v : m_vertexSlots) {
    v.m_pos = v.m_pos.elementMul(factors);
    cVector3d n = v.m_nrm.elementMul(cof);
    const double len = n.length();
    if (len > 0.0) v.m_nrm = n / len;
  }
  const cVector3d a = m_boxLo.elementMul(factors), b = m_boxHi.elementMul(factors);
  for (int i = 0; i < 3; ++i) {
    m_boxLo[i] = std::min(a[i], b[i]);
    m_boxHi[i] = std::max(a[i], b[i]);
  }
}

void cMesh::computeAllNormals(bool includeChildren) {
  const size_t nv = m_vertexSlots.size();
  if (nv > 0 && !m_triangleSlots.empty()) {
    for (cVertex &v : m_vertexSlots) {
      v.m_nrm.zero();
      v.m_faceCount = 0;
    }
    for (const cTriangle &t : m_triangleSlots) {
      if (t.m_corner0 >= nv || t.m_corner1 >= nv || t.m_corner2 >= nv) continue;
      cVertex &v0 = m_vertexSlots[t.m_corner0];
      cVertex &v1 = m_vertexSlots[t.m_corner1];
      cVertex &v2 = m_vertexSlots[t.m_corner2];
      cVector3d n = (v1.m_pos - v0.m_pos).cross(v2.m_pos - v0.m_pos);
      const double len = n.length();
      if (!(len > kNormalMinLength)) continue;
      n /= len;
      for (cVertex *v : {&v0, &v1, &v2}) {
        v->m_nrm += n;
        ++v->m_faceCount;
      }
    }
  }
  if (includeChildren) forEachChildMesh([](cMesh *m) { m->computeAllNormals(true); });
  if (nv > 0 && !m_triangleSlots.empty())
    for (cVertex &v : m_vertexSlots)
      if (v.m_faceCount != 0) v.m_nrm /= static_cast<double>(v.m_faceCount);
}

void cMesh::reverseAllNormals(bool includeChildren) {
  for (cVertex &v : m_vertexSlots) v.m_nrm = -v.m_nrm;
  if (includeChildren) forEachChildMesh([](cMesh *m) { m->reverseAllNormals(true); });
}

void cMesh::createTriangleNeighborList(bool includeChildren) {
  const size_t count = m_triangleSlots.size();
  const size_t nv = m_vertexSlots.size();
  dropNeighborLists();
  for (cTriangle &t : m_triangleSlots) t.m_adjacent = std::make_unique<std::vector<cTriangle *>>(1, &t);

  // one entry per triangle and corner, sorted by position; a corner outside the
  // vertex array matches nothing
  struct Entry {
    double x, y, z;
    unsigned int tri;
  };
  std::array<std::vector<Entry>, 3> sorted;
  // starts of the runs of equal x in each sorted list, closed by the list's size
  std::array<std::vector<size_t>, 3> runs;
  for (int c = 0; c < 3; ++c) {
    std::vector<Entry> &list = sorted[c];
    list.reserve(count);
    for (unsigned int i = 0; i < count; ++i) {
      const unsigned int v = m_triangleSlots[i].getVertexIndex(c);
      if (v >= nv) continue;
      const cVector3d &p = m_vertexSlots[v].m_pos;
      list.push_back(Entry{p.x, p.y, p.z, i});
    }
    std::sort(list.begin(), list.end(), [](const Entry &a, const Entry &b) {
      if (a.x != b.x) return a.x < b.x;
      if (a.y != b.y) return a.y < b.y;
      if (a.z != b.z) return a.z < b.z;
      return a.tri < b.tri;
    });
    for (size_t i = 0; i < list.size(); ++i)
      if (i == 0 || list[i].x != list[i - 1].x) runs[c].push_back(i);
    runs[c].push_back(list.size());
  }

  auto link = [&](unsigned int a, unsigned int b) {
    std::vector<cTriangle *> &la = *m_triangleSlots[a].m_adjacent;
    cTriangle *tb = &m_triangleSlots[b];
    if (std::find(la.begin(), la.end(), tb) != la.end()) return;
    la.push_back(tb);
    m_triangleSlots[b].m_adjacent->push_back(&m_triangleSlots[a]);
  };

  // sweep each pair of corner lists by x; among the candidates close in x, the
  // runs of equal x are searched by y, so a grid whose columns share one x stays
  // near linear
  static const int kPairs[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
  for (const auto &pair : kPairs) {
    const std::vector<Entry> &la = sorted[pair[0]], &lb = sorted[pair[1]];
    const std::vector<size_t> &rb = runs[pair[1]];
    const size_t runCount = rb.size() - 1;
    size_t first = 0;
    for (const Entry &e : la) {
      while (first < runCount && lb[rb[first]].x <= e.x - kNeighborSweep) ++first;
      for (size_t r = first; r < runCount && lb[rb[r]].x - e.x < kNeighborSweep; ++r) {
        if (std::fabs(lb[rb[r]].x - e.x) > kNeighborSame) continue;
        auto it = std::lower_bound(lb.begin() + static_cast<std::ptrdiff_t>(rb[r]),
                                   lb.begin() + static_cast<std::ptrdiff_t>(rb[r + 1]), e.y - kNeighborSame,
                                   [](const Entry &f, double y) { return f.y < y; });
        const auto stop = lb.begin() + static_cast<std::ptrdiff_t>(rb[r + 1]);
        for (; it != stop && it->y <= e.y + kNeighborSame; ++it)
          if (it->tri != e.tri && std::fabs(it->z - e.z) <= kNeighborSame) link(e.tri, it->tri);
      }
    }
  }

  if (includeChildren) forEachChildMesh([](cMesh *m) { m->createTriangleNeighborList(true); });
}

void cMesh::removeRedundantTriangles(bool includeChildren) {
  std::map<std::array<unsigned int, 3>, unsigned int> kept;
  for (unsigned int i = 0; i < m_triangleSlots.size(); ++i) {
    const cTriangle &t = m_triangleSlots[i];
    // a removed triangle stays removed
    if (!t.m_inUse) continue;
    if (t.m_corner0 == t.m_corner1 || t.m_corner1 == t.m_corner2 || t.m_corner0 == t.m_corner2) continue;
    std::array<unsigned int, 3> key{t.m_corner0, t.m_corner1, t.m_corner2};
    std::sort(key.begin(), key.end());
    kept.emplace(key, i);
  }
  std::vector<cTriangle> rebuilt;
  rebuilt.reserve(kept.size());
  for (const auto &entry : kept) {
    const cTriangle &t = m_triangleSlots[entry.second];
    rebuilt.emplace_back(this, t.m_corner0, t.m_corner1, t.m_corner2, static_cast<unsigned int>(rebuilt.size()));
  }
  dropNeighborLists();
  m_triangleSlots.swap(rebuilt);
  m_freeTriangleSlots.clear();
  // the detector must not keep pointers into the array just replaced
  if (m_detector != nullptr) m_detector->initialize();
  if (includeChildren) forEachChildMesh([](cMesh *m) { m->removeRedundantTriangles(true); });
}

// ---- surface properties ----

void cMesh::setMaterial(cMaterial &material, bool includeChildren) {
  m_surface.m_ambientColor = material.m_ambientColor;
  m_surface.m_diffuseColor = material.m_diffuseColor;
  m_surface.m_specularColor = material.m_specularColor;
  m_surface.m_emissionColor = material.m_emissionColor;
  m_surface.setShininess(material.getShininess());
  m_surface.setStiffness(material.getStiffness());
  m_surface.setStaticFriction(material.getStaticFriction());
  m_surface.setDynamicFriction(material.getDynamicFriction());
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->setMaterial(material, true); });
}

void cMesh::setStiffness(double stiffness, bool includeChildren) {
  m_surface.setStiffness(stiffness);
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->setStiffness(stiffness, true); });
}

void cMesh::setFriction(double staticFriction, double dynamicFriction, bool includeChildren) {
  m_surface.setStaticFriction(staticFriction);
  m_surface.setDynamicFriction(dynamicFriction);
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->setFriction(staticFriction, dynamicFriction, true); });
}

void cMesh::setTransparencyLevel(float level, bool applyToTextures, bool includeChildren) {
  (void)applyToTextures;
  const float a = level > 1.0f ? 1.0f : (level > 0.0f ? level : 0.0f);
  // blending follows the level on the whole sub-tree whatever the flag says
  m_blend = level < 1.0f;
  forEachChildMesh([&](cMesh *m) { m->enableTransparency(level < 1.0f, true); });
  m_surface.setTransparencyLevel(a);
  const uint8_t alpha = static_cast<uint8_t>(a * 255.0f);
  for (cVertex &v : m_vertexSlots) v.m_rgba.a = alpha;
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->setTransparencyLevel(level, applyToTextures, true); });
}

#define KORA_MESH_RECURSE(call) \
  if (includeChildren) forEachChildMesh([&](cMesh *m) { m->call; });

void cMesh::enableTransparency(bool on, bool includeChildren) {
  m_blend = on;
  KORA_MESH_RECURSE(enableTransparency(on, true))
}

void cMesh::setTransparencyRenderMode(bool twoPass, bool includeChildren) {
  m_twoPassBlend = twoPass;
  KORA_MESH_RECURSE(setTransparencyRenderMode(twoPass, true))
}

void cMesh::useColors(bool on, bool includeChildren) {
  m_vertexColorsOn = on;
  KORA_MESH_RECURSE(useColors(on, true))
}

void cMesh::useMaterial(bool on, bool includeChildren) {
  m_surfaceOn = on;
  KORA_MESH_RECURSE(useMaterial(on, true))
}

void cMesh::useTexture(bool on, bool includeChildren) {
  m_textureOn = on;
  KORA_MESH_RECURSE(useTexture(on, true))
}

void cMesh::setTexture(cTexture2D *texture, bool includeChildren) {
  m_tex = texture;
  KORA_MESH_RECURSE(setTexture(texture, true))
}

void cMesh::useCulling(bool on, bool includeChildren) {
  m_cullBack = on;
  KORA_MESH_RECURSE(useCulling(on, true))
}

void cMesh::setWireMode(bool on, bool includeChildren) {
  m_polygonMode = on ? GL_LINE : GL_FILL;
  KORA_MESH_RECURSE(setWireMode(on, true))
}

void cMesh::useDisplayList(bool on, bool includeChildren) {
  m_listOn = on;
  KORA_MESH_RECURSE(useDisplayList(on, true))
}

void cMesh::invalidateDisplayList(bool includeChildren) {
  if (m_listId != -1) {
    glDeleteLists(static_cast<GLuint>(m_listId), 1);
    m_listId = -1;
  }
  KORA_MESH_RECURSE(invalidateDisplayList(true))
}

void cMesh::setVertexColor(const cColorb &rgba, bool includeChildren) {
  for (cVertex &v : m_vertexSlots) v.m_rgba = rgba;
  KORA_MESH_RECURSE(setVertexColor(rgba, true))
}

void cMesh::showNormals(const bool &show, bool includeChildren, bool trianglesOnly) {
  m_drawNormals = show;
  m_normalsByCorner = trianglesOnly;
  KORA_MESH_RECURSE(showNormals(show, true, true))
}

void cMesh::setNormalsProperties(double length, const cColorf &color, bool includeChildren) {
  m_normalsLength = length;
  m_normalsColor = color;
  KORA_MESH_RECURSE(setNormalsProperties(length, color, true))
}

#undef KORA_MESH_RECURSE

// ---- rendering ----

void cMesh::onDisplayReset(bool recursive) {
  invalidateDisplayList(true);
  if (m_tex != nullptr) m_tex->markForUpdate();
  cGenericObject::onDisplayReset(recursive);
}

void cMesh::render(int pass) {
  const bool single = pass == RENDER_PASS_OPAQUE || pass == RENDER_PASS_ALL;
  if (m_blend && m_twoPassBlend) {
    if (pass == RENDER_PASS_TRANSPARENT_BACK) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_FRONT);
      renderMesh(pass);
    } else if (pass == RENDER_PASS_TRANSPARENT_FRONT) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
      renderMesh(pass);
    } else if (pass == RENDER_PASS_ALL) {
      glDisable(GL_CULL_FACE);
      renderMesh(pass);
    }
  } else if (single) {
    if (!m_blend && m_cullBack) {
      glEnable(GL_CULL_FACE);
      glCullFace(GL_BACK);
    } else {
      glDisable(GL_CULL_FACE);
    }
    renderMesh(pass);
  }
  glDisable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  if (m_drawNormals && single) renderNormals(m_normalsByCorner);
}

void cMesh::renderMesh(int pass) {
  (void)pass;
  if (m_triangleSlots.empty() || m_vertexSlots.empty()) return;
  if (!m_listOn) {
    drawGeometry();
    return;
  }
  if (m_listId == -1) {
    // upload the texture now, so the list binds it instead of carrying its pixels
    if (m_tex != nullptr && m_textureOn && m_tex->m_needsUpload && m_tex->hasPixels()) {
      m_tex->update();
      m_tex->m_needsUpload = false;
    }
    const GLuint id = glGenLists(1);
    if (id == 0) {
      drawGeometry();
      return;
    }
    glNewList(id, GL_COMPILE);
    drawGeometry();
    glEndList();
    m_listId = static_cast<int>(id);
  }
  glCallList(static_cast<GLuint>(m_listId));
}

void cMesh::drawGeometry() {
  const GLsizei stride = static_cast<GLsizei>(sizeof(cVertex));
  const cVertex *base = m_vertexSlots.data();
  const size_t nv = m_vertexSlots.size();

  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glVertexPointer(3, GL_DOUBLE, stride, base->m_pos.data());
  glNormalPointer(GL_DOUBLE, stride, base->m_nrm.data());
  glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(m_polygonMode));
  glEnable(GL_LIGHTING);
  glEnable(GL_DEPTH_TEST);
  if (m_blend) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDepthMask(GL_FALSE);
  } else {
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
  }
  if (m_surfaceOn) m_surface.render();
  if (m_vertexColorsOn) {
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, base->m_rgba.data());
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    if (!m_surfaceOn) {
      const cColorf none(0.0f, 0.0f, 0.0f, 1.0f);
      glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none.data());
      glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, none.data());
    }
  } else if (!m_surfaceOn) {
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  }
  const bool textured = m_tex != nullptr && m_textureOn;
  if (textured) {
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glTexCoordPointer(2, GL_DOUBLE, stride, base->m_uv.data());
    m_tex->render();
  }

  glBegin(GL_TRIANGLES);
  for (const cTriangle &t : m_triangleSlots) {
    if (!t.m_inUse) continue;
    // a corner outside the vertex array would read past it
    if (t.m_corner0 >= nv || t.m_corner1 >= nv || t.m_corner2 >= nv) continue;
    glArrayElement(static_cast<GLint>(t.m_corner0));
    glArrayElement(static_cast<GLint>(t.m_corner1));
    glArrayElement(static_cast<GLint>(t.m_corner2));
  }
  glEnd();

  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_COLOR_MATERIAL);
  glDisable(GL_TEXTURE_2D);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void cMesh::renderNormals(bool trianglesOnly) {
  const size_t nv = m_vertexSlots.size();
  glDisable(GL_LIGHTING);
  glLineWidth(1.0f);
  glColor4fv(m_normalsColor.data());
  glBegin(GL_LINES);
  auto line = [&](unsigned int i) {
    if (i >= nv) return;
    const cVertex &v = m_vertexSlots[i];
    const cVector3d tip = v.m_pos + v.m_nrm * m_normalsLength;
    glVertex3dv(v.m_pos.data());
    glVertex3dv(tip.data());
  };
  if (trianglesOnly) {
    for (const cTriangle &t : m_triangleSlots) {
      line(t.m_corner0);
      line(t.m_corner1);
      line(t.m_corner2);
    }
  } else {
    for (unsigned int i = 0; i < nv; ++i) line(i);
  }
  glEnd();
  glEnable(GL_LIGHTING);
}
