#include "scene/dynamics/CDefNode.h"

#include <cmath>

double default_node_radius = 0.05;
double default_node_mass = 0.1;
double default_node_kDampingPos = 5.0;
double default_node_kDampingRot = 0.1;
bool default_node_showFrame = true;
bool default_node_useGravity = true;
cVector3d default_node_gravity(0.0, 0.0, -9.81);
cColorf default_node_color(0.6f, 0.6f, 0.0f, 1.0f);

cDefNode::cDefNode() : cDefNode(cVector3d()) {}

cDefNode::cDefNode(const cVector3d &pos)
    : m_radius(default_node_radius),
      m_color(default_node_color),
      m_mass(default_node_mass),
      m_kDampingPos(default_node_kDampingPos),
      m_kDampingRot(default_node_kDampingRot),
      m_inertia(0.0),
      m_fixed(false),
      m_useGravity(default_node_useGravity),
      m_gravity(default_node_gravity),
      m_pos(pos),
      m_nextPos(pos) {
  setMass(m_mass);
}

void cDefNode::setMass(double mass) {
  m_mass = mass;
  m_inertia = 0.4 * m_mass * m_radius * m_radius;
}

void cDefNode::setRadius(double radius) {
  m_radius = radius;
  setMass(m_mass);
}

void cDefNode::clearForces() {
  if (m_useGravity)
    m_force = m_gravity * m_mass;
  else
    m_force.zero();
  m_torque.zero();
}

void cDefNode::computeNextPose(double dt) {
  if (m_fixed) {
    m_nextPos = m_pos;
  } else {
    m_force += m_linVel * (-m_kDampingPos * m_mass);
    // a massless node would leave the simulation as a non-finite position
    if (m_mass > 0.0) m_acc = (m_force + m_externalForce) / m_mass;
    m_linVel += m_acc * dt;
    m_nextPos = m_pos + m_linVel * dt;
  }

  m_torque += m_angVel * (-m_kDampingRot * m_mass);
  if (m_inertia > 0.0) m_angAcc = m_torque / m_inertia;
  m_angVel += m_angAcc * dt;
  const double w = m_angVel.length();
  if (w < 1e-6)
    m_nextRot = m_rot;
  else
    m_nextRot = cMatrix3d::rotation(m_angVel / w, w * dt) * m_rot;
}

void cDefNode::applyNextPose() {
  m_pos = m_nextPos;
  m_rot = m_nextRot;
}
