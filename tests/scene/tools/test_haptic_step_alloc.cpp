// The haptic step allocates nothing: the pointer's full cycle (pose, forces,
// force command) against a 100k-triangle mesh and a potential-field shape,
// with every heap allocation of this binary counted.
#include "bench/support/BenchMeshes.h"
#include "scene/tools/CGeneric3dofPointer.h"
#include "scene/mesh/CMesh.h"
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/forces/CShapeBlock.h"
#include "scene/graph/CWorld.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

// the replacement pair below is malloc/free on both sides; gcc cannot see that
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

static std::atomic<bool> g_counting{false};
static std::atomic<long> g_allocations{0};

void *operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  void *p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void *operator new[](std::size_t size) { return operator new(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

namespace {

// a device on a circle through the mesh surface; forces are only counted
class CircleDevice : public cGenericDevice {
 public:
  double angle = 0.0;
  long forces = 0;
  CircleDevice() { m_present = m_opened = true; }
  int open() override { return 0; }
  int close() override { return 0; }
  int initialize(bool) override { return 0; }
  int command(int code, void *data) override {
    switch (code) {
      case CMD_GET_POSITION: {
        // radius swings between 0.9 and 1.1 of the sphere's
        const double r = 0.1 * (1.0 + 0.1 * std::sin(7.0 * angle));
        static_cast<cVector3d *>(data)->set(r * std::cos(angle), r * std::sin(angle), 0.02 * std::sin(3.0 * angle));
        return 0;
      }
      case CMD_GET_GRIPPER_THUMB_POS:
      case CMD_GET_GRIPPER_FINGER_POS:
        static_cast<cVector3d *>(data)->zero();
        return 0;
      case CMD_GET_ROTATION_MATRIX:
        static_cast<cMatrix3d *>(data)->identity();
        return 0;
      case CMD_SET_FORCE_AND_GRIPPER_FORCE:
        ++forces;
        return 0;
      default:
        return -2;
    }
  }
};

TEST(HapticStep, AllocatesNothingWithALargeMesh) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  bench::MakeSphere(*mesh, 100000, 0.1);
  mesh->setStiffness(500.0, false);
  mesh->setFriction(0.5, 0.3, false);
  mesh->createAABBCollisionDetector(false, true);
  cShapeBlock *block = new cShapeBlock(0.05, 0.05, 0.05);
  block->setPos(0.1, 0, 0);
  world.addChild(block);
  world.computeGlobalPositions(false);
  ASSERT_GE(mesh->getNumTriangles(), 90000u);

  cGeneric3dofPointer tool(&world);
  CircleDevice *device = new CircleDevice();
  tool.setDevice(device);
  tool.useNormalizedPositions(false);
  tool.m_holdUntilSmall = false;
  ASSERT_EQ(tool.initialize(), 0);

  long contacts = 0;
  g_allocations = 0;
  g_counting = true;
  for (int i = 0; i < 10000; ++i) {
    device->angle = i * 0.002;
    tool.updatePose();
    tool.computeForces();
    tool.applyForces();
    if (tool.getProxy()->m_contactCount > 0) ++contacts;
  }
  g_counting = false;
  EXPECT_EQ(g_allocations.load(), 0);
  EXPECT_EQ(device->forces, 10000);
  // the walk did touch the surface, and spent time off it too
  EXPECT_GT(contacts, 1000);
  EXPECT_LT(contacts, 9000);
}

}  // namespace
