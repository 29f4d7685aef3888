// A deformable mesh: a skeleton of nodes joined by links, and the mesh's
// vertices (with those of its descendant meshes, the skin) bound each to a node
// or a link, following it as the skeleton moves. It draws only the skeleton;
// the skin meshes below it draw themselves.
#ifndef SCENE_CDEFMESH_H
#define SCENE_CDEFMESH_H

#include "scene/dynamics/CDefLink.h"
#include "scene/dynamics/CDefNode.h"
#include "scene/mesh/CMesh.h"

#include <memory>
#include <vector>

// one skin vertex and the skeleton element it follows (a link when set, else
// the node), with its position in that element's frame
struct cDefBinding {
  cMesh *m_mesh;
  unsigned int m_vertex;
  cDefNode *m_node;
  cDefLink *m_link;
  // the link's place in the mesh's list
  size_t m_linkIndex;
  cVector3d m_localPos;
};

class cDefMesh : public cMesh {
 public:
  explicit cDefMesh(cWorld *world);
  ~cDefMesh() override;

  // shows the skeleton
  void initialise();

  // the mesh owns what it is given; null for a null node, or for a link
  // without both its nodes
  cDefNode *addNode(std::unique_ptr<cDefNode> node);
  cDefLink *addLink(std::unique_ptr<cDefLink> link);
  cDefNode *newNode(const cVector3d &pos) { return addNode(std::make_unique<cDefNode>(pos)); }
  cDefLink *newLink(cDefNode *node0, cDefNode *node1);
  size_t getNumNodes() const { return m_nodes.size(); }
  size_t getNumLinks() const { return m_links.size(); }
  cDefNode *getNode(size_t i) const { return i < m_nodes.size() ? m_nodes[i].get() : nullptr; }
  cDefLink *getLink(size_t i) const { return i < m_links.size() ? m_links[i].get() : nullptr; }

  // one dynamics step, in the order the world calls them over all its meshes
  void clearForces();
  using cGenericObject::computeForces;
  void computeForces();
  void computeNextPose(double dt);
  void applyNextPose();

  // binds every vertex of this mesh and its descendant meshes to its nearest
  // node or, unless nodesOnly, to a nearer link it lies alongside; false
  // (nothing bound) when there is no node
  bool connectVerticesToSkeleton(bool nodesOnly);
  // moves the bound vertices with their nodes and links
  void updateVertexPosition();
  const std::vector<cDefBinding> &getBindings() const { return m_bindings; }

  // the skeleton only, when shown
  void render(int pass) override;

  bool m_showSkeleton;

 private:
  std::vector<std::unique_ptr<cDefNode>> m_nodes;
  std::vector<std::unique_ptr<cDefLink>> m_links;
  std::vector<cDefBinding> m_bindings;
  // per link, rebuilt by each skin update (sized when binding)
  std::vector<cMatrix3d> m_linkFrames;
};

#endif
