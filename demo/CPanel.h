// The menu: a row of seven thin textured panels in front of the camera, flanked
// by two wide ones. A highlighted panel turns about its vertical axis until its
// back faces the viewer, and turns back when the highlight goes.
#ifndef DEMO_CPANEL_H
#define DEMO_CPANEL_H

class cMesh;
class cTexture2D;
class cWorld;

struct cPanel {
  // one animation step (one display tick)
  void update();
  // the pose a panel takes when a demo is left: 8 degrees when still
  // highlighted, else 0 (a held panel gives up one hold tick and goes to 0)
  void resetRotation();
  // the mesh's local rotation from m_angle, about the z axis
  void applyRotation();

  cMesh *m_mesh = nullptr;
  double m_angle = 0.0;
  bool m_highlighted = false;
  int m_holdTicks = 0;
};

// strip pictures, seven columns each
extern cTexture2D *frontTexture;
extern cTexture2D *backTexture;
extern cPanel panel0, panel1, panel2, panel3, panel4, panel5, panel6, panelL, panelR;
// panel0 ... panel6 by index
extern cPanel *const menuPanels[7];

// loads the two strips through the world and builds the nine panels under
// root; 0 on success, -1 (with a message) when a strip cannot be loaded
int buildPanels(cWorld *world, cMesh *root);
// one panel of index i (-1 and 7 for the flanking panels) under root
void createSinglePanel(cMesh *root, cPanel *panel, int i);

#endif
