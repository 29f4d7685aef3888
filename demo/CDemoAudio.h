// The audio demo: a turntable whose record the user spins by rubbing it with the
// tool. The friction between proxy and record turns it; it then keeps turning
// freely until rubbed again. The force is the tool's proxy force.
#ifndef DEMO_CDEMOAUDIO_H
#define DEMO_CDEMOAUDIO_H

#include "demo/CDemo.h"
#include "scene/math/CVector3d.h"

class cLight;

class cDemoAudio : public cDemo {
 public:
  cDemoAudio();

  int setup(int arg) override;
  void reset(int arg) override;
  void exit(int arg) override;
  void update(int arg) override;

  // one step of the record's motion under the force v that the tool feels,
  // given in the holder's frame (zero when the record is not touched)
  void animateObject(const cVector3d &v);
  // the turntable model under m_holder; false when the model cannot be read
  bool load_player();
  // the record disc under m_scene
  void load_record();

  // empty mesh under m_scene that carries the turntable model
  cMesh *m_holder;
  // the record disc, child of m_scene
  cMesh *m_record;
  // the tool's last force in the holder's frame
  cVector3d m_localForce;
  // proxy global position at the last step
  cVector3d m_proxyPos;
  // torque about the record's own axis at the last step
  double m_torque;
  double m_recordStiffness;
  // accumulated record angle (radians)
  double m_angle;
  // radians per second
  double m_angularVelocity;
  double m_inertia;
  // the demo's own light, child of m_root, lit only while the demo runs
  cLight *m_light;
};

#endif
