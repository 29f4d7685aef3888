// One triangle slot of a mesh: three corner indices into the owning mesh's
// vertex array (counter-clockwise seen from the front) and an optional list of
// the triangles that share a vertex position with it.
#ifndef SCENE_CTRIANGLE_H
#define SCENE_CTRIANGLE_H

#include <memory>
#include <vector>

class cMesh;
class cVertex;

class cTriangle {
 public:
  cTriangle();
  cTriangle(cMesh *parent, unsigned int i0, unsigned int i1, unsigned int i2, unsigned int slot);
  // the neighbour list is owned: copies get their own list, moves take it over
  cTriangle(const cTriangle &other);
  cTriangle(cTriangle &&other) noexcept;
  cTriangle &operator=(const cTriangle &other);
  cTriangle &operator=(cTriangle &&other) noexcept;
  ~cTriangle();

  // corner 0, 1 or 2 in the parent's vertex array; null for any other corner
  cVertex *getVertex(int corner) const;
  // the corner's index; 0 for any other corner
  unsigned int getVertexIndex(int corner) const;
  void setVertices(unsigned int i0, unsigned int i1, unsigned int i2);
  unsigned int getIndex() const { return m_slot; }
  cMesh *getParent() const { return m_parentNode; }
  bool allocated() const { return m_inUse; }
  std::vector<cTriangle *> *getNeighbors() const { return m_adjacent.get(); }
  // drops the neighbour list
  void clearNeighbors();

  // itself first, then every triangle sharing a vertex position; null until built
  std::unique_ptr<std::vector<cTriangle *>> m_adjacent;
  unsigned int m_corner0;
  unsigned int m_corner1;
  unsigned int m_corner2;
  // own index in the parent's triangle array
  unsigned int m_slot;
  cMesh *m_parentNode;
  bool m_inUse;
};

#endif
