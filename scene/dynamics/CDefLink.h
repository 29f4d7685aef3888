// A link of a deformable skeleton between two nodes: a spring against
// stretching, against bending away from its rest direction at either end, and
// against twisting one end relative to the other.
#ifndef SCENE_CDEFLINK_H
#define SCENE_CDEFLINK_H

#include "scene/dynamics/CDefNode.h"
#include "scene/math/CColor.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"

extern double default_link_kSpringElongation;
extern double default_link_kSpringFlexion;
extern double default_link_kSpringTorsion;
extern cColorf default_link_color;

class cDefLink {
 public:
  // the nodes' present poses become the rest pose; without both nodes the
  // link does nothing
  cDefLink(cDefNode *node0, cDefNode *node1);

  // adds the link's spring forces and torques to its two nodes; they sum to
  // zero force and zero moment
  void computeForces();
  // the link's frame: x along the link, y from node0's torsion reference
  // (node0's rotation when the link has no length)
  cMatrix3d frame() const;

  cDefNode *m_node0;
  cDefNode *m_node1;
  double m_kSpringElongation;
  double m_kSpringFlexion;
  double m_kSpringTorsion;
  // rest direction node0 -> node1 in node0's frame, node1 -> node0 in node1's
  cVector3d m_wLink00;
  cVector3d m_wLink11;
  // torsion reference, perpendicular to the rest direction, in each node's frame
  cVector3d m_torsionRef0;
  cVector3d m_torsionRef1;
  double m_length0;
  // updated by computeForces
  cVector3d m_wLink;
  double m_length;
  cColorf m_color;
};

#endif
