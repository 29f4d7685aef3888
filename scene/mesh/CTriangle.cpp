#include "scene/mesh/CTriangle.h"

#include "scene/mesh/CMesh.h"
#include "scene/mesh/CVertex.h"

cTriangle::cTriangle()
    : m_adjacent(nullptr), m_corner0(0), m_corner1(0), m_corner2(0), m_slot(0), m_parentNode(nullptr), m_inUse(false) {}

cTriangle::cTriangle(cMesh *parent, unsigned int i0, unsigned int i1, unsigned int i2, unsigned int slot)
    : m_adjacent(nullptr),
      m_corner0(i0),
      m_corner1(i1),
      m_corner2(i2),
      m_slot(slot),
      m_parentNode(parent),
      m_inUse(true) {}

namespace {

std::unique_ptr<std::vector<cTriangle *>> CopyOf(const std::unique_ptr<std::vector<cTriangle *>> &list) {
  return list != nullptr ? std::make_unique<std::vector<cTriangle *>>(*list) : nullptr;
}

}  // namespace

cTriangle::cTriangle(const cTriangle &other)
    : m_adjacent(CopyOf(other.m_adjacent)),
      m_corner0(other.m_corner0),
      m_corner1(other.m_corner1),
      m_corner2(other.m_corner2),
      m_slot(other.m_slot),
      m_parentNode(other.m_parentNode),
      m_inUse(other.m_inUse) {}

cTriangle::cTriangle(cTriangle &&other) noexcept = default;

cTriangle &cTriangle::operator=(const cTriangle &other) {
  if (this == &other) return *this;
  m_adjacent = CopyOf(other.m_adjacent);
  m_corner0 = other.m_corner0;
  m_corner1 = other.m_corner1;
  m_corner2 = other.m_corner2;
  m_slot = other.m_slot;
  m_parentNode = other.m_parentNode;
  m_inUse = other.m_inUse;
  return *this;
}

cTriangle &cTriangle::operator=(cTriangle &&other) noexcept = default;

cTriangle::~cTriangle() = default;

cVertex *cTriangle::getVertex(int corner) const {
  if (m_parentNode == nullptr) return nullptr;
  switch (corner) {
    case 0:
      return &m_parentNode->m_vertexSlots[m_corner0];
    case 1:
      return &m_parentNode->m_vertexSlots[m_corner1];
    case 2:
      return &m_parentNode->m_vertexSlots[m_corner2];
    default:
      return nullptr;
  }
}

unsigned int cTriangle::getVertexIndex(int corner) const {
  switch (corner) {
    case 0:
      return m_corner0;
    case 1:
      return m_corner1;
    case 2:
      return m_corner2;
    default:
      return 0;
  }
}

void cTriangle::setVertices(unsigned int i0, unsigned int i1, unsigned int i2) {
  m_corner0 = i0;
  m_corner1 = i1;
  m_corner2 = i2;
}

void cTriangle::clearNeighbors() { m_adjacent.reset(); }
