#include "scene/dynamics/CDefMesh.h"

#include "scene/graph/CDraw3D.h"
#include "scene/graph/CMacrosGL.h"

#include <cmath>

namespace {

// this mesh, then each child's sub-tree in order, looking through nodes that
// are not meshes: the order of getVertex(i, true)
void GatherMeshes(cGenericObject *node, std::vector<cMesh *> &out) {
  if (cMesh *m = dynamic_cast<cMesh *>(node)) out.push_back(m);
  for (unsigned int i = 0; i < node->getNumChildren(); ++i) GatherMeshes(node->getChild(i), out);
}

double Angle(const cVector3d &a, const cVector3d &b) {
  const double la = a.length(), lb = b.length();
  if (la <= 0.0 || lb <= 0.0) return 0.0;
  double c = a.dot(b) / (la * lb);
  c = c > 1.0 ? 1.0 : (c < -1.0 ? -1.0 : c);
  return std::acos(c);
}

const double kHalfPi = 1.57079632679489661923;

}  // namespace

cDefMesh::cDefMesh(cWorld *world) : cMesh(world), m_showSkeleton(false) {}

cDefMesh::~cDefMesh() = default;

void cDefMesh::initialise() { m_showSkeleton = true; }

cDefNode *cDefMesh::addNode(std::unique_ptr<cDefNode> node) {
  if (node == nullptr) return nullptr;
  m_nodes.push_back(std::move(node));
  return m_nodes.back().get();
}

cDefLink *cDefMesh::addLink(std::unique_ptr<cDefLink> link) {
  if (link == nullptr || link->m_node0 == nullptr || link->m_node1 == nullptr) return nullptr;
  m_links.push_back(std::move(link));
  return m_links.back().get();
}

cDefLink *cDefMesh::newLink(cDefNode *node0, cDefNode *node1) {
  if (node0 == nullptr || node1 == nullptr) return nullptr;
  return addLink(std::make_unique<cDefLink>(node0, node1));
}

void cDefMesh::clearForces() {
  for (auto &n : m_nodes) n->clearForces();
}

void cDefMesh::computeForces() {
  for (auto &l : m_links) l->computeForces();
}

void cDefMesh::computeNextPose(double dt) {
  for (auto &n : m_nodes) n->computeNextPose(dt);
}

void cDefMesh::applyNextPose() {
  for (auto &n : m_nodes) n->applyNextPose();
}

bool cDefMesh::connectVerticesToSkeleton(bool nodesOnly) {
  m_bindings.clear();
  m_linkFrames.assign(m_links.size(), cMatrix3d());
  if (m_nodes.empty()) return false;
  std::vector<cMesh *> meshes;
  GatherMeshes(this, meshes);
  for (cMesh *mesh : meshes) {
    const unsigned int count = static_cast<unsigned int>(mesh->m_vertexSlots.size());
    for (unsigned int v = 0; v < count; ++v) {
      const cVector3d p = mesh->m_vertexSlots[v].m_pos;
      cDefBinding b{mesh, v, nullptr, nullptr, 0, cVector3d()};
      double best = 999999.0;
      for (auto &n : m_nodes) {
        const double d = p.distance(n->m_pos);
        if (d < best) {
          best = d;
          b.m_node = n.get();
        }
      }
      if (!nodesOnly) {
        for (size_t k = 0; k < m_links.size(); ++k) {
          cDefLink *l = m_links[k].get();
          const cVector3d &p0 = l->m_node0->m_pos, &p1 = l->m_node1->m_pos;
          const cVector3d dir = p1 - p0;
          const double len = dir.length();
          if (len <= 0.0) continue;
          // only a vertex that lies alongside the link, between its ends
          if (!(Angle(dir, p - p0) < kHalfPi && Angle(-dir, p - p1) < kHalfPi)) continue;
          const double d = (p - p0).cross(dir).length() / len;
          if (d < best) {
            best = d;
            b.m_link = l;
            b.m_linkIndex = k;
          }
        }
      }
      if (b.m_link != nullptr)
        b.m_localPos = b.m_link->frame().transMul(p - b.m_link->m_node0->m_pos);
      else
        b.m_localPos = b.m_node->m_rot.transMul(p - b.m_node->m_pos);
      m_bindings.push_back(b);
    }
  }
  return true;
}

void cDefMesh::updateVertexPosition() {
  // links added after the binding are appended: the bound indices still hold
  if (m_linkFrames.size() != m_links.size()) m_linkFrames.resize(m_links.size());
  for (size_t i = 0; i < m_links.size(); ++i) m_linkFrames[i] = m_links[i]->frame();
  for (const cDefBinding &b : m_bindings) {
    // a mesh that lost vertices since the binding keeps what it has
    if (b.m_vertex >= b.m_mesh->m_vertexSlots.size()) continue;
    cVector3d p;
    if (b.m_link != nullptr)
      p = m_linkFrames[b.m_linkIndex] * b.m_localPos + b.m_link->m_node0->m_pos;
    else
      p = b.m_node->m_rot * b.m_localPos + b.m_node->m_pos;
    b.m_mesh->m_vertexSlots[b.m_vertex].m_pos = p;
  }
}

void cDefMesh::render(int pass) {
  if (!m_showSkeleton || !(pass == RENDER_PASS_OPAQUE || pass == RENDER_PASS_ALL)) return;
  // the scene after it finds the state as it was
  glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_CURRENT_BIT | GL_LINE_BIT | GL_POLYGON_BIT);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_LIGHTING);
  glEnable(GL_COLOR_MATERIAL);
  glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
  double m[16];
  for (auto &n : m_nodes) {
    cGLMatrixFromPose(m, n->m_pos, n->m_rot);
    glPushMatrix();
    glMultMatrixd(m);
    glColor4fv(n->m_color.data());
    cDrawSphere(n->m_radius, 12, 12);
    if (default_node_showFrame) cDrawFrame(3.0 * n->m_radius, true);
    glPopMatrix();
  }
  glDisable(GL_LIGHTING);
  glLineWidth(1.0f);
  glBegin(GL_LINES);
  for (auto &n : m_nodes) {
    glColor4fv(n->m_color.data());
    glVertex3dv(n->m_pos.data());
    glVertex3dv((n->m_pos + n->m_externalForce * 0.02).data());
  }
  for (auto &l : m_links) {
    glColor4fv(l->m_color.data());
    glVertex3dv(l->m_node0->m_pos.data());
    glVertex3dv(l->m_node1->m_pos.data());
  }
  glEnd();
  glPopAttrib();
}
