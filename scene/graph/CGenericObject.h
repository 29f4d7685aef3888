// The scene-graph node: a local pose relative to the parent, owned children,
// display flags, an optional collision detector, and the recursive traversals
// (global-pose update, rendering in passes, segment queries).
#ifndef SCENE_CGENERICOBJECT_H
#define SCENE_CGENERICOBJECT_H

#include "scene/collision/CGenericCollision.h"
#include "scene/math/CColor.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

#include <list>
#include <memory>
#include <vector>

class cTriangle;

// render passes: a multipass render runs 0, 1, 2; a single pass uses 3
constexpr int RENDER_PASS_OPAQUE = 0;
constexpr int RENDER_PASS_TRANSPARENT_BACK = 1;
constexpr int RENDER_PASS_TRANSPARENT_FRONT = 2;
constexpr int RENDER_PASS_ALL = 3;

// longest name kept by setName
constexpr int KORA_NAME_MAX = 254;

class cGenericObject {
 public:
  cGenericObject();
  // deletes the detector, then every child
  virtual ~cGenericObject();
  cGenericObject(const cGenericObject &) = delete;
  cGenericObject &operator=(const cGenericObject &) = delete;

  // ---- traversals ----
  // draws this node and its sub-tree in the given pass
  virtual void renderSceneGraph(int pass);
  // the closest hit of the segment a..b (parent frame) among this node's detector
  // and its sub-tree; a is in/out (carried with moving children at call 1)
  virtual bool computeCollisionDetection(cVector3d &a, const cVector3d &b, cGenericObject *&object,
                                         cTriangle *&triangle, cVector3d &point, double &squareDistance,
                                         bool visibleOnly, int callNumber);
  // a (this node's frame) carried from the child's previous local pose to its
  // current one; a unchanged when the child has no valid previous pose
  virtual void AdjustCollisionSegment(cVector3d &a, cVector3d &adjustedA, const cGenericObject *child);
  // force at position (parent frame) from the sub-tree, in the parent frame
  virtual cVector3d computeForces(const cVector3d &position);
  virtual void onDisplayReset(bool recursive);
  virtual void finalize(bool recursive);
  virtual void unfinalize(bool recursive);
  virtual void setTag(int tag, bool recursive);
  virtual void setUserData(void *data, bool recursive);
  // copied, at most 254 characters kept; null clears the name
  virtual void setName(const char *name, bool recursive);
  // the node's own geometry for one pass
  virtual void render(int pass) { (void)pass; }
  virtual void updateGlobalPositions(bool frameOnly) { (void)frameOnly; }
  virtual void updateBoundaryBox() {}
  virtual void scaleObject(const cVector3d &factors) { (void)factors; }

  // ---- hierarchy ----
  void addChild(cGenericObject *child);
  bool removeChild(cGenericObject *child);
  bool deleteChild(cGenericObject *child);
  void clearAllChildren();
  void deleteAllChildren();
  bool containsChild(cGenericObject *child, bool includeChildren) const;
  unsigned int getNumDescendants(bool includeThis) const;
  void enumerateChildren(std::list<cGenericObject *> &out, bool includeThis);
  unsigned int getNumChildren() const { return static_cast<unsigned int>(m_kids.size()); }
  cGenericObject *getChild(unsigned int index) const { return index < m_kids.size() ? m_kids[index] : nullptr; }
  cGenericObject *getParent() const { return m_parentNode; }

  // ---- pose ----
  void translate(const cVector3d &offset);
  void translate(double x, double y, double z);
  void setPos(const cVector3d &pos) { m_pos = pos; }
  void setPos(double x, double y, double z) { m_pos.set(x, y, z); }
  const cVector3d &getPos() const { return m_pos; }
  const cMatrix3d &getRot() const { return m_rot; }
  void setRot(const cMatrix3d &rot) { m_rot = rot; }
  const cVector3d &getGlobalPos() const { return m_worldPos; }
  const cMatrix3d &getGlobalRot() const { return m_worldRot; }
  // about the node's own axes: m_rot = m_rot * m
  void rotate(const cMatrix3d &m);
  // about an axis of the parent frame: m_rot = R(axis, angle) * m_rot
  void rotate(const cVector3d &axis, double angle);
  void computeGlobalPositions(bool frameOnly = true, const cVector3d &parentGlobalPos = cVector3d(),
                              const cMatrix3d &parentGlobalRot = cMatrix3d());
  // this node's global pose only, composed through its parents
  void computeGlobalCurrentObjectOnly(bool frameOnly = true);

  // ---- geometry ----
  void computeBoundaryBox(bool includeChildren);
  void scale(const cVector3d &factors, bool includeChildren);
  void scale(const double &factor, bool includeChildren);
  const cVector3d &getBoundaryMin() const { return m_boxLo; }
  const cVector3d &getBoundaryMax() const { return m_boxHi; }

  // ---- recursive setters ----
  void setShow(bool show, bool recursive);
  bool getShow() const { return m_visible; }
  void setHapticEnabled(bool enabled, bool recursive);
  bool getHapticEnabled() const { return m_touchable; }
  void setShowFrame(bool show, bool recursive);
  void setShowBox(bool show, bool recursive);
  void setShowTree(bool show, bool recursive);
  void showCollisionTree(bool show, bool recursive);
  void setTreeColor(const cColorf &colour, bool recursive);
  void setBoxColor(const cColorf &colour, bool recursive);
  // false, nothing changed, when size is not greater than 0
  bool setFrameSize(double size, double thickness, bool recursive);
  void setCollisionDetectorProperties(unsigned int displayDepth, cColorf &colour, bool recursive);
  void deleteCollisionDetector(bool recursive);
  // installs a detector (owned); the previous one is deleted
  void setCollisionDetector(cGenericCollision *detector);
  cGenericCollision *getCollisionDetector() const { return m_detector.get(); }
  int getTag() const { return m_appTag; }
  void *getUserData() const { return m_appData; }
  const char *getName() const { return m_label; }

  // ---- state ----
  // the previous local pose below is valid; enables segment adjustment
  bool m_prevPoseValid;
  cVector3d m_prevPos;
  cMatrix3d m_prevRot;
  int m_appTag;
  // not owned
  void *m_appData;
  char m_label[KORA_NAME_MAX + 1];
  cGenericObject *m_parentNode;
  // owned
  std::vector<cGenericObject *> m_kids;
  cVector3d m_pos;
  cVector3d m_worldPos;
  cMatrix3d m_rot;
  cMatrix3d m_worldRot;
  // box in the local frame
  cVector3d m_boxLo;
  cVector3d m_boxHi;
  double m_axesLength;
  double m_axesThickness;
  bool m_visible;
  bool m_touchable;
  bool m_drawAxes;
  bool m_drawBox;
  bool m_drawLinks;
  bool m_drawCollisionTree;
  cColorf m_linkColor;
  cColorf m_boxColor;
  std::unique_ptr<cGenericCollision> m_detector;
  // the local pose as an OpenGL matrix, rebuilt at each render
  double m_glMatrix[16];

 protected:
  // step over the children of a segment query: aLocal and bLocal in this node's
  // frame, best the closest squared distance so far; on an accepted hit a (parent
  // frame) takes the start point the hit came from
  bool queryChildren(cVector3d &a, const cVector3d &aLocal, const cVector3d &bLocal, cGenericObject *&object,
                     cTriangle *&triangle, cVector3d &point, double &best, bool visibleOnly, int callNumber);
};

#endif
