// The nano demo: a grey-level picture of atoms turned into a relief that the
// user strokes with the tool; the force is the tool's proxy force against it.
#ifndef DEMO_CDEMONANO_H
#define DEMO_CDEMONANO_H

#include "demo/CDemo.h"

class cDemoNano : public cDemo {
 public:
  cDemoNano();

  int setup(int arg) override;
  void reset(int arg) override;
  void exit(int arg) override;
  void update(int arg) override;

  // the relief, child of m_scene, in the y-z plane with heights towards the camera
  cMesh *m_relief;
  double m_stiffness;
};

#endif
