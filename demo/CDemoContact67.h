// The contact demo for 6- and 7-DOF devices: as on 3-DOF devices, but the tool
// model turns with the device's own orientation.
#ifndef DEMO_CDEMOCONTACT67_H
#define DEMO_CDEMOCONTACT67_H

#include "demo/CDemoContact3.h"

class cDemoContact67 : public cDemoContact3 {
 public:
  bool toolFrame(const cVector3d &p, cMatrix3d &m) override;
};

#endif
