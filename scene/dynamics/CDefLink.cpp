#include "scene/dynamics/CDefLink.h"

#include <algorithm>
#include <cmath>

double default_link_kSpringElongation = 100.0;
double default_link_kSpringFlexion = 0.5;
double default_link_kSpringTorsion = 0.1;
cColorf default_link_color(0.2f, 0.2f, 1.0f, 1.0f);

namespace {

// below this a direction is taken as undefined
const double kTiny = 1e-12;

double AngleBetween(const cVector3d &a, const cVector3d &b) {
  const double la = a.length(), lb = b.length();
  if (la < kTiny || lb < kTiny) return 0.0;
  return std::acos(std::clamp(a.dot(b) / (la * lb), -1.0, 1.0));
}

}  // namespace

cDefLink::cDefLink(cDefNode *node0, cDefNode *node1) : m_node0(node0), m_node1(node1), m_length0(0.0), m_length(0.0) {
  // the stock constants are restored first: what an application assigned to
  // these globals does not reach the link
  default_link_kSpringElongation = 100.0;
  default_link_kSpringFlexion = 0.5;
  default_link_kSpringTorsion = 0.1;
  default_link_color = cColorf(0.2f, 0.2f, 1.0f, 1.0f);
  m_kSpringElongation = default_link_kSpringElongation;
  m_kSpringFlexion = default_link_kSpringFlexion;
  m_kSpringTorsion = default_link_kSpringTorsion;
  m_color = default_link_color;
  // a link without both nodes stays inert (a mesh does not take it)
  if (m_node0 == nullptr || m_node1 == nullptr) return;

  const cVector3d d = m_node1->m_pos - m_node0->m_pos;
  m_length0 = d.length();
  m_length = m_length0;
  m_wLink = d;
  m_wLink00 = m_node0->m_rot.transMul(d);
  m_wLink11 = m_node1->m_rot.transMul(-d);

  const double angle = AngleBetween(d, cVector3d(1.0, 0.0, 0.0));
  const cVector3d h = (angle < 0.01 || angle > 3.13) ? cVector3d(0.0, 1.0, 0.0) : cVector3d(1.0, 0.0, 0.0);
  cVector3d t = d.cross(h);
  // a link without length twists about nothing: no reference, no torsion
  if (t.length() > kTiny) t.normalize();
  m_torsionRef0 = m_node0->m_rot.transMul(t);
  m_torsionRef1 = m_node1->m_rot.transMul(t);
}

void cDefLink::computeForces() {
  if (m_node0 == nullptr || m_node1 == nullptr) return;
  cDefNode &n0 = *m_node0;
  cDefNode &n1 = *m_node1;
  const cVector3d d = n1.m_pos - n0.m_pos;
  const double l = d.length();
  m_wLink = d;
  m_length = l;

  // elongation
  if (l > 1e-6) {
    const cVector3d f = d * ((l - m_length0) * m_kSpringElongation / l);
    n0.m_force += f;
    n1.m_force -= f;
  }
  if (l <= 1e-6) return;

  // bending at each end: the node turns back toward the link, and the link is
  // turned back toward the node's rest direction by an equal and opposite
  // moment, carried by a force couple across its length
  auto bend = [l, k = m_kSpringFlexion](cDefNode &self, cDefNode &other, const cVector3d &rest, const cVector3d &dir) {
    const cVector3d a = self.m_rot * rest;
    const double tau = k * AngleBetween(a, dir);
    if (tau <= 1e-8) return;
    cVector3d axis = a.cross(dir);
    if (axis.length() < kTiny) return;
    axis.normalize();
    self.m_torque += axis * tau;
    cVector3d w = axis.cross(dir);
    w.normalize();
    const cVector3d f = w * (tau / l);
    other.m_force -= f;
    self.m_force += f;
  };
  bend(n0, n1, m_wLink00, d);
  bend(n1, n0, m_wLink11, -d);

  // twisting about the link
  cVector3d c0 = (n0.m_rot * m_torsionRef0).cross(d);
  cVector3d c1 = (n1.m_rot * m_torsionRef1).cross(d);
  if (c0.length() < kTiny || c1.length() < kTiny) return;
  c0.normalize();
  c1.normalize();
  const cVector3d tau = c0.cross(c1) * m_kSpringTorsion;
  n0.m_torque += tau;
  n1.m_torque -= tau;
}

cMatrix3d cDefLink::frame() const {
  if (m_node0 == nullptr || m_node1 == nullptr) return cMatrix3d();
  const cVector3d d = m_node1->m_pos - m_node0->m_pos;
  const double l = d.length();
  if (l < 1e-9) return m_node0->m_rot;
  const cVector3d x = d / l;
  const cVector3d t = m_node0->m_rot * m_torsionRef0;
  cVector3d y = t - x * t.dot(x);
  const double ly = y.length();
  if (ly < 1e-9) return m_node0->m_rot;
  y /= ly;
  cMatrix3d r;
  r.setCols(x, y, x.cross(y));
  return r;
}
