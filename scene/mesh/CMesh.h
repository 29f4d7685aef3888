// A scene-graph node holding triangle geometry: stable vertex and triangle
// slots (removal frees a slot for reuse, nothing moves), a material, an optional
// texture, rendering options and a collision detector over the triangle array.
#ifndef SCENE_CMESH_H
#define SCENE_CMESH_H

#include "scene/graph/CGenericObject.h"
#include "scene/graph/CMaterial.h"
#include "scene/math/CColor.h"
#include "scene/math/CVector3d.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"

#include <list>
#include <string>
#include <vector>

class cTexture2D;
class cWorld;

class cMesh : public cGenericObject {
 public:
  explicit cMesh(cWorld *world);
  ~cMesh() override;

  // ---- virtual operations ----
  virtual bool loadFromFile(const std::string &fileName);
  virtual std::vector<cVertex> *pVertices() { return &m_vertexSlots; }
  // this mesh's vertices when there are any, else the first non-empty descendant's (depth first)
  virtual std::vector<cVertex> *pVerticesNonEmpty();
  virtual void createBruteForceCollisionDetector(bool includeChildren, bool useNeighbors);
  virtual void createAABBCollisionDetector(bool includeChildren, bool useNeighbors);
  virtual void createSphereTreeCollisionDetector(bool includeChildren, bool useNeighbors);
  virtual void offsetVertices(const cVector3d &offset, bool includeChildren, bool updateCollisionDetector);
  // a new empty mesh on the same world
  virtual cMesh *createMesh() const;
  virtual void renderMesh(int pass);
  virtual cVector3d getCenterOfMass(bool includeChildren);
  virtual void reverseAllNormals(bool includeChildren);
  virtual void removeRedundantTriangles(bool includeChildren);
  virtual void renderNormals(bool trianglesOnly);

  void onDisplayReset(bool recursive) override;
  void render(int pass) override;
  void updateGlobalPositions(bool frameOnly) override;
  void updateBoundaryBox() override;
  void scaleObject(const cVector3d &factors) override;

  // ---- geometry ----
  unsigned int newVertex(double x, double y, double z);
  unsigned int newVertex(const cVector3d &pos) { return newVertex(pos.x, pos.y, pos.z); }
  void addVertices(const cVector3d *positions, const unsigned int &count);
  unsigned int newTriangle(unsigned int i0, unsigned int i1, unsigned int i2);
  unsigned int newTriangle(const cVector3d &a, const cVector3d &b, const cVector3d &c);
  // false when the slot is not allocated
  bool removeTriangle(unsigned int index);
  bool removeVertex(unsigned int index);
  void clear();
  // without the flag: this mesh's slot, unchecked; with it: the index runs over
  // this mesh, then each child mesh's sub-tree in order; null past the end
  cVertex *getVertex(unsigned int index, bool includeChildren = false);
  cTriangle *getTriangle(unsigned int index, bool includeChildren = false);
  // slots, allocated or not
  unsigned int getNumVertices(bool includeChildren = false) const;
  unsigned int getNumTriangles(bool includeChildren = false) const;
  cWorld *getParentWorld() const { return m_homeWorld; }
  void setParentWorld(cWorld *world) { m_homeWorld = world; }

  void computeAllNormals(bool includeChildren);
  void extrude(double distance, bool includeChildren, bool updateCollisionDetector);
  void createTriangleNeighborList(bool includeChildren);

  // ---- surface properties (the last flag applies them to descendant meshes) ----
  void setMaterial(cMaterial &material, bool includeChildren);
  void setStiffness(double stiffness, bool includeChildren);
  void setFriction(double staticFriction, double dynamicFriction, bool includeChildren);
  void setTransparencyLevel(float level, bool applyToTextures, bool includeChildren);
  void enableTransparency(bool on, bool includeChildren);
  void setTransparencyRenderMode(bool twoPass, bool includeChildren);
  void useColors(bool on, bool includeChildren);
  void useMaterial(bool on, bool includeChildren);
  void useTexture(bool on, bool includeChildren);
  void setTexture(cTexture2D *texture, bool includeChildren);
  cTexture2D *getTexture() const { return m_tex; }
  void useCulling(bool on, bool includeChildren);
  void setWireMode(bool on, bool includeChildren);
  void useDisplayList(bool on, bool includeChildren);
  void invalidateDisplayList(bool includeChildren);
  void setVertexColor(const cColorb &rgba, bool includeChildren);
  void showNormals(const bool &show, bool includeChildren, bool trianglesOnly);
  void setNormalsProperties(double length, const cColorf &color, bool includeChildren);

  // ---- state ----
  cMaterial m_surface;
  // world used to create sibling meshes
  cWorld *m_homeWorld;
  bool m_drawNormals;
  // normals drawn corner by corner over the triangles instead of over all vertices
  bool m_normalsByCorner;
  cColorf m_normalsColor;
  double m_normalsLength;
  bool m_blend;
  // a transparent mesh draws back faces and front faces in separate passes
  bool m_twoPassBlend;
  bool m_cullBack;
  // GL_FILL or GL_LINE
  int m_polygonMode;
  bool m_vertexColorsOn;
  bool m_textureOn;
  bool m_surfaceOn;
  // not owned: textures belong to the world
  cTexture2D *m_tex;
  bool m_listOn;
  // display-list name, -1 when none
  int m_listId;
  std::vector<cVertex> m_vertexSlots;
  // reused first in, first out
  std::list<unsigned int> m_freeVertexSlots;
  std::vector<cTriangle> m_triangleSlots;
  std::list<unsigned int> m_freeTriangleSlots;

 private:
  void drawGeometry();
  void dropNeighborLists();
  // the nearest meshes below this node, looking through nodes that are not meshes
  template <typename F>
  void forEachChildMesh(F f) const;
};

#endif
