// A mass node of a deformable skeleton: a small sphere with a position, a
// rotation and their velocities, moved by the forces and torques of its links,
// gravity, damping and an external force set by the application.
#ifndef SCENE_CDEFNODE_H
#define SCENE_CDEFNODE_H

#include "scene/math/CColor.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

// read by every node when it is created
extern double default_node_radius;
extern double default_node_mass;
extern double default_node_kDampingPos;
extern double default_node_kDampingRot;
extern bool default_node_showFrame;
extern bool default_node_useGravity;
extern cVector3d default_node_gravity;
extern cColorf default_node_color;

class cDefNode {
 public:
  // at the origin, with the current defaults
  cDefNode();
  explicit cDefNode(const cVector3d &pos);

  // the inertia follows (a solid sphere)
  void setMass(double mass);
  void setRadius(double radius);
  void setPos(const cVector3d &pos) { m_pos = pos; }
  const cVector3d &getPos() const { return m_pos; }
  const cMatrix3d &getRot() const { return m_rot; }

  // force = gravity x mass (or zero), torque = zero
  void clearForces();
  // damping, then one semi-implicit Euler step of dt into the next pose
  void computeNextPose(double dt);
  void applyNextPose();

  double m_radius;
  cColorf m_color;
  double m_mass;
  cVector3d m_force;
  cVector3d m_torque;
  cVector3d m_acc;
  cVector3d m_angAcc;
  cVector3d m_linVel;
  cVector3d m_angVel;
  double m_kDampingPos;
  double m_kDampingRot;
  double m_inertia;
  // a fixed node keeps its position (it still turns)
  bool m_fixed;
  bool m_useGravity;
  cVector3d m_gravity;
  cVector3d m_pos;
  cMatrix3d m_rot;
  cVector3d m_nextPos;
  cMatrix3d m_nextRot;
  // added by the application, e.g. the reaction of a haptic contact
  cVector3d m_externalForce;
};

#endif
