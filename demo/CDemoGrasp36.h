// The grasp demo for 3- and 6-DOF devices: one proxy sphere, moved by the
// device, meets a water bubble that pops when pressed too hard, a soft block
// that shrinks under load, a block that breathes, and a sand ball felt only as
// a grainy stick-and-jump friction. The demo reads the device and commands its
// force itself; the forces come from its own simple laws.
#ifndef DEMO_CDEMOGRASP36_H
#define DEMO_CDEMOGRASP36_H

#include "demo/CDemo.h"
#include "scene/math/CVector3d.h"

#include <atomic>

class cShapeBlock;
class cShapeSphere;

class cDemoGrasp36 : public cDemo {
 public:
  cDemoGrasp36();

  int setup(int arg) override;
  void reset(int arg) override;
  void exit(int arg) override;
  void update(int arg) override;
  bool drivesDevice() const override { return true; }

  // the penalty force pushing sphere 1 (centre p1, radius r1) out of sphere 2
  // with stiffness k; zero apart or when the centres coincide
  static cVector3d computeForce(const cVector3d &p1, double r1, const cVector3d &p2, double r2, double k);

  // the sand's stick spring on a proxy at p (scene units), whose anchor jumps
  // to the proxy outside the sand and whenever stretched past its length
  cVector3d sandForce(const cVector3d &p, cVector3d &anchor) const;

  // advances the breathing cycle by one step and gives the block's height
  double stepBreath(int &counter) const;

  // all children of m_scene; owned by it
  cShapeSphere *m_proxySphere;
  cShapeSphere *m_bubble;
  cShapeSphere *m_sand;
  cShapeBlock *m_breathBlock;
  cShapeBlock *m_softBlock;

  double m_proxyRadius;
  double m_bubbleStiffness;
  double m_bubbleRadius;
  // contact force above which the bubble pops
  double m_bubbleMaxForce;
  // set by reset on the GLUT thread, then kept by update on the haptic thread
  std::atomic<bool> m_bubbleIntact;
  double m_sandStiffness;
  double m_sandRadius;
  // stick spring length at which the anchor jumps to the proxy
  double m_sandStretch;
  cVector3d m_sandAnchor;
  double m_breathBase;
  double m_breathWidth;
  double m_breathRate;
  int m_breathCounter;
  double m_breathHeight;
  double m_breathStiffness;
  double m_softSize;
  double m_softStiffness;
  // the force stays zero from reset until the proxy is clear of every shape;
  // set by reset on the GLUT thread
  std::atomic<bool> m_starting;

 protected:
  // the sizes, stiffnesses and limits of this form of the demo, set by setup
  virtual void configure();
};

#endif
