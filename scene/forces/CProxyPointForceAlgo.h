// Proxy rendering of rigid triangle meshes: a small sphere follows the device
// position but is stopped by up to three surfaces at once; a spring between the
// proxy and the device gives the force. Friction lets the proxy lag behind the
// goal inside a cone. Nothing is allocated during a step.
#ifndef SCENE_CPROXYPOINTFORCEALGO_H
#define SCENE_CPROXYPOINTFORCEALGO_H

#include "scene/forces/CGenericPointForceAlgo.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

class cGenericObject;
class cTriangle;

class cProxyPointForceAlgo : public cGenericPointForceAlgo {
 public:
  cProxyPointForceAlgo();
  ~cProxyPointForceAlgo() override;

  void initialize(cWorld *world, const cVector3d &initialGlobalPosition) override;
  // one haptic step: carry the proxy with the touched object (when asked),
  // search the constraints, render the spring
  cVector3d computeForces(const cVector3d &deviceGlobalPosition) override;

  virtual double getProxyRadius() const { return m_proxySphereRadius; }
  virtual cVector3d getProxyGlobalPosition() const { return m_proxyPos; }
  virtual cVector3d getDeviceGlobalPosition() const { return m_goalPos; }
  virtual cVector3d getLastGlobalForce() const { return m_springForce; }
  // the contact count; unused slots come back null
  virtual int getContacts(cTriangle *&t0, cTriangle *&t1, cTriangle *&t2);
  virtual cGenericObject *getContactObject() { return m_touchedObject; }
  virtual cVector3d getContactPoint() { return m_firstHitPoint; }
  virtual void getContactObjectLastGlobalPos(cVector3d &pos) { pos = m_touchedObjectPrevPos; }
  virtual void getContactObjectLastGlobalRot(cMatrix3d &rot) { rot = m_touchedObjectPrevRot; }
  virtual cVector3d getNormalForce() { return m_stickNormalForce; }
  virtual cVector3d getTangentialForce() { return m_stickTangentForce; }
  // closer than 1e-9
  virtual bool goalAchieved(const cVector3d &proxy, const cVector3d &goal) const;
  // goal moved one proxy radius further along proxy -> goal
  virtual void offsetGoalPosition(cVector3d &goal, const cVector3d &proxy) const;
  // writes m_nextProxyPos, the contact set, the touched object and the first hit point
  virtual void computeNextBestProxyPosition(cVector3d goal);
  // spring from the device to the proxy with the contacts' mean stiffness
  virtual void computeForce();

  // the force-based stick test against one constraint; true when the proxy stays
  bool StickByForce(const cTriangle *tri, const cVector3d &normal, const cVector3d &P, const cVector3d &G,
                    cGenericObject *object);
  void testFrictionAndMoveProxy(const cVector3d &goal, const cVector3d &proxy, cVector3d normal,
                                cGenericObject *parent);
  void correctProxyForObjectMotion();
  void updateDynamicContactState();

  cVector3d m_proxyPos;
  cVector3d m_goalPos;
  cVector3d m_springForce;
  cVector3d m_nextProxyPos;
  // true while slipping (dynamic friction), false while sticking
  bool m_sliding;
  cVector3d m_stickNormalForce;
  cVector3d m_stickTangentForce;
  bool m_frictionOn;
  bool m_forceStickTest;
  bool m_frictionConeOn;
  int m_contactCount;
  // in the order found; entries past m_contactCount are stale
  cTriangle *m_constraintTriangles[3];
  cGenericObject *m_touchedObject;
  cVector3d m_firstHitPoint;
  double m_proxySphereRadius;
  // carry the proxy with the touched object's motion before each search
  bool m_followObjectMotion;
  cVector3d m_touchedObjectPrevPos;
  cMatrix3d m_touchedObjectPrevRot;
};

#endif
