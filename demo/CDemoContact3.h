// The contact demo for 3-DOF devices: a rigid tooth touched with a dental tool
// that follows the proxy, and carried and turned with the tool while the user
// switch is held. The tool model points from the tooth towards the proxy.
#ifndef DEMO_CDEMOCONTACT3_H
#define DEMO_CDEMOCONTACT3_H

#include "demo/CDemo.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

class cDemoContact3 : public cDemo {
 public:
  cDemoContact3();

  int setup(int arg) override;
  void reset(int arg) override;
  void close(int arg) override;
  void exit(int arg) override;
  void update(int arg) override;

  // the tool frame at proxy position p (columns: the tool model's axes); false
  // skips the step, with no force computed
  virtual bool toolFrame(const cVector3d &p, cMatrix3d &m);

  // empty mesh at the proxy, oriented by the tool frame; holds the tool model
  cMesh *m_toolHolder;
  // the dental burr, child of m_toolHolder
  cMesh *m_toolModel;
  // the touched and carried model
  cMesh *m_tooth;
  // the grab reference, refreshed on every step while the switch is released
  cVector3d m_grabToothPos;
  cMatrix3d m_grabToothRot;
  cVector3d m_grabProxyPos;
  cMatrix3d m_grabFrame;
  cVector3d m_grabOffset;
  cMatrix3d m_grabRot;
  double m_stiffness;
  // a released step has taken the grab reference since the last reset
  bool m_grabReady;
};

#endif
