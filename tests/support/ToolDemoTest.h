// A tool-driven demo against a stub device, without a window: the shell's haptic
// step (pose, the demo's update, force out), and the tool moved to places given
// in scene coordinates. Runs from the repository root (./resources).
#ifndef TESTS_SUPPORT_TOOLDEMOTEST_H
#define TESTS_SUPPORT_TOOLDEMOTEST_H

#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/tools/CMeta3dofPointer.h"
#include "support/StubDevice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace devicetest {

template <class Demo>
class ToolDemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TKX_VIRTUAL_DEVICES", "", 1);
    world = std::make_unique<cWorld>();
    root = new cMesh(world.get());
    world->addChild(root);
    tool = new cMeta3dofPointer(world.get(), 0);
    stub = new StubDevice;
    tool->setDevice(stub);
    tool->m_gripAsSwitch = false;
    demo.init(world.get(), root, tool, nullptr);
  }
  void TearDown() override {
    // the tool is the test's, not the scene's
    if (tool->getParent() != nullptr) tool->getParent()->removeChild(tool);
    delete tool;
  }

  // the device at p (metres), one haptic step as the shell makes it
  void Step(const cVector3d &p) {
    stub->position = p;
    tool->updatePose();
    demo.update(0);
    tool->applyForces();
  }

  // the device reading that puts the tool at p in the scene (the tool is not turned)
  cVector3d DeviceFor(const cVector3d &p) const {
    const cVector3d d = p - tool->getGlobalPos();
    return cVector3d(d.x / tool->m_halfExtent.x, d.y / tool->m_halfExtent.y, d.z / tool->m_halfExtent.z) * stub->reach;
  }

  // the tool at p in the scene
  void StepTo(const cVector3d &p) { Step(DeviceFor(p)); }

  // from where the tool is to p in n even steps
  void MoveTo(const cVector3d &p, int n = 40) {
    const cVector3d from = tool->m_devicePosWorld;
    for (int i = 1; i <= n; ++i) StepTo(from + (p - from) * (double(i) / n));
  }

  cVector3d Proxy() { return tool->getProxy()->getProxyGlobalPosition(); }
  cVector3d Force() const { return tool->m_forceWorld; }

  std::unique_ptr<cWorld> world;
  cMesh *root = nullptr;
  cMeta3dofPointer *tool = nullptr;
  StubDevice *stub = nullptr;
  Demo demo;
};

}  // namespace devicetest

#endif
