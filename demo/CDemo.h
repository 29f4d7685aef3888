// Base class of the demonstrations: bound to the shared world, demo root, tool
// and camera, it builds its scene once (setup) and is then driven by the shell
// through reset, update, updateDynamics, close and exit. Every operation takes
// an argument that the shell passes as 0. The base builds nothing.
//
// A demo is tool-driven by default: the haptic loop reads the pose before its
// update and sends the tool's force after it. A demo that reads the device and
// commands its forces itself says so through drivesDevice.
#ifndef DEMO_CDEMO_H
#define DEMO_CDEMO_H

class cCamera;
class cMesh;
class cMeta3dofPointer;
class cWorld;

class cDemo {
 public:
  cDemo();
  virtual ~cDemo();

  // builds the scene and loads its resources, leaving it detached from the
  // demo root; 0 on success, negative on failure
  virtual int setup(int arg);
  // makes the demo current [GLUT thread]
  virtual void reset(int arg);
  // the user asked to leave [GLUT thread]
  virtual void close(int arg);
  // the demo is no longer visible [GLUT thread]
  virtual void exit(int arg);
  // one haptic step [haptic thread]
  virtual void update(int arg);
  // one display-rate step [GLUT thread]
  virtual void updateDynamics(int arg);

  // the demo's update talks to the device itself, so the haptic loop leaves
  // the device alone while it is chosen; false in the base
  virtual bool drivesDevice() const;
  // the shell calls updateDynamics on every display tick while this is the
  // current demo, back in the menu too; false in the base
  virtual bool stepsOnDisplayTick() const;

  // stores the shared objects; the scene is built later by setup
  void init(cWorld *world, cMesh *root, cMeta3dofPointer *tool, cCamera *camera);

  cMesh *m_root;
  cMeta3dofPointer *m_tool;
  cCamera *m_camera;
  cMesh *m_scene;
  cWorld *m_world;
  bool m_ready;
};

#endif
