// A point-like tool: maps the device workspace into the scene, runs the point
// force algorithms (proxy, then potential fields), sends their summed force to
// the device, makes a gripper act as a button with a spring feel, and draws the
// device and proxy positions.
//
// Threads: updatePose, computeForces and applyForces run on the haptic thread;
// render runs on the graphics thread and reads a snapshot the haptic thread
// publishes through atomics, so it never sees a torn value.
#ifndef SCENE_CGENERIC3DOFPOINTER_H
#define SCENE_CGENERIC3DOFPOINTER_H

#include "scene/forces/CGenericPointForceAlgo.h"
#include "scene/math/CMatrix3d.h"
#include "scene/math/CVector3d.h"
#include "scene/tools/CGenericDevice.h"
#include "scene/tools/CGenericTool.h"

#include <atomic>
#include <memory>
#include <vector>

class cProxyPointForceAlgo;
class cWorld;

// what render draws: the proxy only, the device only, or both with a line
enum proxy_render_modes {
  RENDER_PROXY = 0,
  RENDER_DEVICE = 1,
  RENDER_PROXY_AND_DEVICE = 2,
};

class cGeneric3dofPointer : public cGenericTool {
 public:
  // creates the proxy and potential-field algorithms (owned) and a placeholder
  // device that fails every request
  explicit cGeneric3dofPointer(cWorld *world);
  // closes and deletes the device and the algorithms
  ~cGeneric3dofPointer() override;

  // ---- the haptic cycle ----
  void updatePose() override;
  void computeForces() override;
  void applyForces() override;

  // ---- device control ----
  // opens the device, reads its pose once, closes it and initialises the
  // algorithms at that pose; start() opens it again
  int initialize(bool resetEncoders = false) override;
  int start() override;
  int stop() override;
  // re-arms the small-force gate when forces were off
  int setForcesON() override;
  int setForcesOFF() override;

  void render(int pass) override;

  // ---- settings ----
  virtual void visualizeFrames(const bool &show) { m_drawDeviceAxes = show; }
  virtual void setToolFrame(const bool &show, const double &size) {
    m_drawDeviceAxes = show;
    m_deviceAxesSize = size;
  }
  virtual void setRenderingMode(const proxy_render_modes &mode) { m_drawMode = mode; }
  // device workspace radius over the half extent, per axis; zero when the
  // device cannot tell its radius
  virtual cVector3d getWorkspaceScaleFactors();
  // drawn sphere radius; the proxy's radius becomes a thousandth of it
  virtual void setRadius(const double &radius);
  // the tool takes the device over; the previous one is deleted (not closed first)
  virtual void setDevice(cGenericDevice *device);
  virtual cGenericDevice *getDevice() { return m_haptic.get(); }
  // the first proxy algorithm in the list, or null
  virtual cProxyPointForceAlgo *getProxy();
  // full size of the virtual workspace per axis
  virtual void setWorkspace(double x, double y, double z) { m_halfExtent.set(x / 2.0, y / 2.0, z / 2.0); }
  virtual void useNormalizedPositions(const bool &on) { m_normalizedMapping = on; }
  virtual bool getNormalizedPositionsEnabled() { return m_normalizedMapping; }

  // ---- state ----
  cMatrix3d m_deviceRotLocal;
  cMatrix3d m_deviceRotWorld;
  bool m_holdUntilSmall;
  std::vector<std::unique_ptr<cGenericPointForceAlgo>> m_forceAlgorithms;
  cVector3d m_halfExtent;
  cVector3d m_devicePosLocal;
  cVector3d m_devicePosWorld;
  cVector3d m_deviceVelLocal;
  cVector3d m_deviceVelWorld;
  cVector3d m_forceWorld;
  cVector3d m_forceLocal;
  std::unique_ptr<cGenericDevice> m_haptic;
  double m_gripGap;
  double m_gripForce;
  bool m_gripForceHeld;
  std::atomic<bool> m_gripAsSwitch;
  std::atomic<bool> m_gripSwitch;
  double m_sphereSize;
  cWorld *m_scene;
  bool m_drawDeviceAxes;
  double m_deviceAxesSize;
  int m_drawMode;
  bool m_normalizedMapping;
  std::atomic<bool> m_forcesRequested;
  std::atomic<bool> m_forcesFlowing;

 protected:
  // a vector whose components are read and written whole across threads
  struct SharedVector {
    std::atomic<double> v[3] = {{0.0}, {0.0}, {0.0}};
    void store(const cVector3d &p) {
      for (int i = 0; i < 3; ++i) v[i].store(p[i], std::memory_order_relaxed);
    }
    cVector3d load() const {
      return cVector3d(v[0].load(std::memory_order_relaxed), v[1].load(std::memory_order_relaxed),
                       v[2].load(std::memory_order_relaxed));
    }
  };
  // what render draws, as last published by the haptic thread
  SharedVector m_shownDevicePos;
  SharedVector m_shownProxyPos;
  std::atomic<double> m_shownDeviceRot[9];

  void PublishPose();
};

#endif
