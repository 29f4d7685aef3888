#include "scene/graph/CGenericObject.h"

#include "scene/collision/CGenericCollision.h"
#include "scene/graph/CDraw3D.h"
#include "scene/graph/CMacrosGL.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstring>

namespace {

// a box is empty when its corners (nearly) coincide
constexpr double kEmptyBox = 1e-15;

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

// the global pose of node, composed from the root down
void ComposeGlobal(const cGenericObject *node, cVector3d &pos, cMatrix3d &rot) {
  if (node->m_parentNode == nullptr) {
    pos = node->m_pos;
    rot = node->m_rot;
    return;
  }
  cVector3d ppos;
  cMatrix3d prot;
  ComposeGlobal(node->m_parentNode, ppos, prot);
  pos = prot * node->m_pos + ppos;
  rot = prot * node->m_rot;
}

}  // namespace

cGenericObject::cGenericObject()
    : m_prevPoseValid(false),
      m_appTag(-1),
      m_appData(nullptr),
      m_parentNode(nullptr),
      m_axesLength(1.0),
      m_axesThickness(1.0),
      m_visible(true),
      m_touchable(true),
      m_drawAxes(false),
      m_drawBox(false),
      m_drawLinks(false),
      m_drawCollisionTree(false),
      m_linkColor(0.5f, 0.0f, 0.0f, 1.0f),
      m_boxColor(0.5f, 0.5f, 0.0f, 1.0f) {
  m_label[0] = '\0';
  cGLMatrixIdentity(m_glMatrix);
}

cGenericObject::~cGenericObject() {
  m_detector.reset();
  deleteAllChildren();
}

// ---- hierarchy ----

void cGenericObject::addChild(cGenericObject *child) {
  if (child == nullptr) return;
  m_kids.push_back(child);
  child->m_parentNode = this;
}

bool cGenericObject::removeChild(cGenericObject *child) {
  auto it = std::find(m_kids.begin(), m_kids.end(), child);
  if (it == m_kids.end()) return false;
  m_kids.erase(it);
  child->m_parentNode = nullptr;
  return true;
}

bool cGenericObject::deleteChild(cGenericObject *child) {
  if (!removeChild(child)) return false;
  delete child;
  return true;
}

void cGenericObject::clearAllChildren() {
  for (cGenericObject *kid : m_kids) kid->m_parentNode = nullptr;
  m_kids.clear();
}

void cGenericObject::deleteAllChildren() {
  // detach the list first: a child's destructor may look at its parent's list
  std::vector<cGenericObject *> kids;
  kids.swap(m_kids);
  for (cGenericObject *kid : kids) delete kid;
}

bool cGenericObject::containsChild(cGenericObject *child, bool includeChildren) const {
  for (cGenericObject *kid : m_kids) {
    if (kid == child) return true;
    if (includeChildren && kid->containsChild(child, true)) return true;
  }
  return false;
}

unsigned int cGenericObject::getNumDescendants(bool includeThis) const {
  unsigned int n = includeThis ? 1 : 0;
  for (const cGenericObject *kid : m_kids) n += kid->getNumDescendants(true);
  return n;
}

void cGenericObject::enumerateChildren(std::list<cGenericObject *> &out, bool includeThis) {
  if (includeThis) out.push_back(this);
  for (cGenericObject *kid : m_kids) kid->enumerateChildren(out, true);
}

// ---- pose ----

void cGenericObject::translate(const cVector3d &offset) {
  m_prevPos = m_pos;
  m_pos += offset;
  m_boxLo += offset;
  m_boxHi += offset;
}

void cGenericObject::translate(double x, double y, double z) { translate(cVector3d(x, y, z)); }

void cGenericObject::rotate(const cMatrix3d &m) {
  m_prevRot = m_rot;
  m_rot = m_rot * m;
}

void cGenericObject::rotate(const cVector3d &axis, double angle) {
  m_prevRot = m_rot;
  if (axis.length() < 1e-49) return;
  m_rot = cMatrix3d::rotation(cNormalize(axis), angle) * m_rot;
}

void cGenericObject::computeGlobalPositions(bool frameOnly, const cVector3d &parentGlobalPos,
                                            const cMatrix3d &parentGlobalRot) {
  m_worldPos = parentGlobalRot * m_pos + parentGlobalPos;
  m_worldRot = parentGlobalRot * m_rot;
  updateGlobalPositions(frameOnly);
  for (cGenericObject *kid : m_kids) kid->computeGlobalPositions(frameOnly, m_worldPos, m_worldRot);
}

void cGenericObject::computeGlobalCurrentObjectOnly(bool frameOnly) {
  ComposeGlobal(this, m_worldPos, m_worldRot);
  updateGlobalPositions(frameOnly);
}

// ---- geometry ----

void cGenericObject::computeBoundaryBox(bool includeChildren) {
  updateBoundaryBox();
  if (!includeChildren) return;
  for (cGenericObject *kid : m_kids) {
    kid->computeBoundaryBox(true);
    const cVector3d &lo = kid->m_boxLo, &hi = kid->m_boxHi;
    if (!((hi - lo).length() > kEmptyBox)) continue;
    bool empty = !((m_boxHi - m_boxLo).length() > kEmptyBox);
    for (int i = 0; i < 8; ++i) {
      const cVector3d corner((i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z);
      const cVector3d c = kid->m_rot * corner + kid->m_pos;
      if (empty) {
        // an empty box is replaced, not grown from its stale corners
        m_boxLo = m_boxHi = c;
        empty = false;
        continue;
      }
      m_boxLo.set(std::min(m_boxLo.x, c.x), std::min(m_boxLo.y, c.y), std::min(m_boxLo.z, c.z));
      m_boxHi.set(std::max(m_boxHi.x, c.x), std::max(m_boxHi.y, c.y), std::max(m_boxHi.z, c.z));
    }
  }
}

void cGenericObject::scale(const cVector3d &factors, bool includeChildren) {
  scaleObject(factors);
  if (!includeChildren) return;
  for (cGenericObject *kid : m_kids) {
    kid->m_pos = kid->m_pos.elementMul(factors);
    kid->scale(factors, true);
  }
}

void cGenericObject::scale(const double &factor, bool includeChildren) {
  scale(cVector3d(factor, factor, factor), includeChildren);
}

cVector3d cGenericObject::computeForces(const cVector3d &position) {
  const cVector3d local = m_rot.transMul(position - m_pos);
  cVector3d sum;
  for (cGenericObject *kid : m_kids) sum += kid->computeForces(local);
  return m_rot * sum;
}

// ---- recursive setters ----

#define KORA_RECURSE(call) \
  if (recursive)           \
    for (cGenericObject * kid : m_kids) kid->call;

void cGenericObject::setShow(bool show, bool recursive) {
  m_visible = show;
  KORA_RECURSE(setShow(show, true))
}

void cGenericObject::setHapticEnabled(bool enabled, bool recursive) {
  m_touchable = enabled;
  KORA_RECURSE(setHapticEnabled(enabled, true))
}

void cGenericObject::setShowFrame(bool show, bool recursive) {
  m_drawAxes = show;
  KORA_RECURSE(setShowFrame(show, true))
}

void cGenericObject::setShowBox(bool show, bool recursive) {
  m_drawBox = show;
  KORA_RECURSE(setShowBox(show, true))
}

void cGenericObject::setShowTree(bool show, bool recursive) {
  m_drawLinks = show;
  KORA_RECURSE(setShowTree(show, true))
}

void cGenericObject::showCollisionTree(bool show, bool recursive) {
  m_drawCollisionTree = show;
  KORA_RECURSE(showCollisionTree(show, true))
}

void cGenericObject::setTreeColor(const cColorf &colour, bool recursive) {
  m_linkColor = colour;
  KORA_RECURSE(setTreeColor(colour, true))
}

void cGenericObject::setBoxColor(const cColorf &colour, bool recursive) {
  m_boxColor = colour;
  KORA_RECURSE(setBoxColor(colour, true))
}

bool cGenericObject::setFrameSize(double size, double thickness, bool recursive) {
  // NaN is refused as well
  if (!(size > 0.0)) return false;
  m_axesLength = size;
  m_axesThickness = thickness;
  KORA_RECURSE(setFrameSize(size, thickness, true))
  return true;
}

void cGenericObject::setTag(int tag, bool recursive) {
  m_appTag = tag;
  KORA_RECURSE(setTag(tag, true))
}

void cGenericObject::setUserData(void *data, bool recursive) {
  m_appData = data;
  KORA_RECURSE(setUserData(data, true))
}

void cGenericObject::setName(const char *name, bool recursive) {
  if (name == nullptr) {
    m_label[0] = '\0';
  } else {
    std::strncpy(m_label, name, KORA_NAME_MAX);
    m_label[KORA_NAME_MAX] = '\0';
  }
  KORA_RECURSE(setName(name, true))
}

void cGenericObject::setCollisionDetectorProperties(unsigned int displayDepth, cColorf &colour, bool recursive) {
  if (m_detector != nullptr) {
    m_detector->m_drawMaterial.m_ambientColor =
        cColorf(Clamp01(colour.r), Clamp01(colour.g), Clamp01(colour.b), Clamp01(colour.a));
    m_detector->m_drawDepth = static_cast<int>(displayDepth);
  }
  KORA_RECURSE(setCollisionDetectorProperties(displayDepth, colour, true))
}

void cGenericObject::deleteCollisionDetector(bool recursive) {
  m_detector.reset();
  KORA_RECURSE(deleteCollisionDetector(true))
}

void cGenericObject::setCollisionDetector(cGenericCollision *detector) {
  if (detector == m_detector.get()) return;
  m_detector.reset(detector);
}

void cGenericObject::onDisplayReset(bool recursive) { KORA_RECURSE(onDisplayReset(true)) }

void cGenericObject::finalize(bool recursive) { KORA_RECURSE(finalize(true)) }

void cGenericObject::unfinalize(bool recursive) { KORA_RECURSE(unfinalize(true)) }

#undef KORA_RECURSE

// ---- rendering ----

void cGenericObject::renderSceneGraph(int pass) {
  cGLMatrixFromPose(m_glMatrix, m_pos, m_rot);
  glPushMatrix();
  glMultMatrixd(m_glMatrix);

  // helpers are drawn once, in the opaque or the single pass
  if (pass == RENDER_PASS_OPAQUE || pass == RENDER_PASS_ALL) {
    glDisable(GL_LIGHTING);
    if (m_drawLinks) {
      glLineWidth(1.0f);
      glColor4fv(m_linkColor.data());
      glBegin(GL_LINES);
      for (const cGenericObject *kid : m_kids) {
        glVertex3d(0.0, 0.0, 0.0);
        glVertex3dv(kid->m_pos.data());
      }
      glEnd();
    }
    if (m_drawBox) {
      glLineWidth(1.0f);
      glColor4fv(m_boxColor.data());
      cDrawWireBox(m_boxLo.x, m_boxHi.x, m_boxLo.y, m_boxHi.y, m_boxLo.z, m_boxHi.z);
    }
    if (m_drawCollisionTree && m_detector != nullptr) m_detector->render();
    glEnable(GL_LIGHTING);
    if (m_drawAxes) {
      glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
      cDrawFrame(m_axesLength, m_axesThickness, true);
    }
  }

  if (m_visible) render(pass);
  for (cGenericObject *kid : m_kids) kid->renderSceneGraph(pass);
  glPopMatrix();
}

// ---- segment query ----

void cGenericObject::AdjustCollisionSegment(cVector3d &a, cVector3d &adjustedA, const cGenericObject *child) {
  if (child == nullptr || !child->m_prevPoseValid) {
    adjustedA = a;
    return;
  }
  // a point attached to the child, carried from its previous pose to the current one
  adjustedA = child->m_rot * child->m_prevRot.transMul(a - child->m_prevPos) + child->m_pos;
}

bool cGenericObject::queryChildren(cVector3d &a, const cVector3d &aLocal, const cVector3d &bLocal,
                                   cGenericObject *&object, cTriangle *&triangle, cVector3d &point, double &best,
                                   bool visibleOnly, int callNumber) {
  bool hit = false;
  for (cGenericObject *kid : m_kids) {
    cVector3d start = aLocal;
    if (callNumber == 1 && kid->m_prevPoseValid) {
      cVector3d from = aLocal;
      AdjustCollisionSegment(from, start, kid);
    }
    cGenericObject *o = nullptr;
    cTriangle *t = nullptr;
    cVector3d p;
    double d = best;
    if (kid->computeCollisionDetection(start, bLocal, o, t, p, d, visibleOnly, callNumber) && d < best) {
      best = d;
      object = o;
      triangle = t;
      point = m_rot * p + m_pos;
      a = m_rot * start + m_pos;
      hit = true;
    }
  }
  return hit;
}

bool cGenericObject::computeCollisionDetection(cVector3d &a, const cVector3d &b, cGenericObject *&object,
                                               cTriangle *&triangle, cVector3d &point, double &squareDistance,
                                               bool visibleOnly, int callNumber) {
  const cVector3d aLocal = m_rot.transMul(a - m_pos);
  const cVector3d bLocal = m_rot.transMul(b - m_pos);
  double best = squareDistance;
  bool hit = false;

  if (m_detector != nullptr && m_touchable && !(visibleOnly && !m_visible)) {
    cVector3d al = aLocal, bl = bLocal, p;
    cGenericObject *o = nullptr;
    cTriangle *t = nullptr;
    double d = squareDistance;
    if (m_detector->computeCollision(al, bl, o, t, p, d, callNumber)) {
      // a detector that names no owner answers for this node
      object = o != nullptr ? o : this;
      triangle = t;
      point = m_rot * p + m_pos;
      best = d;
      hit = true;
    }
  }
  if (queryChildren(a, aLocal, bLocal, object, triangle, point, best, visibleOnly, callNumber)) hit = true;
  if (hit) squareDistance = best;
  return hit;
}
