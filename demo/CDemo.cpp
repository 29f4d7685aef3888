#include "demo/CDemo.h"

#include "scene/mesh/CMesh.h"

cDemo::cDemo()
    : m_root(nullptr), m_tool(nullptr), m_camera(nullptr), m_scene(nullptr), m_world(nullptr), m_ready(false) {}

// a scene still attached is deleted by the node that holds it
cDemo::~cDemo() {
  if (m_scene != nullptr && m_scene->getParent() == nullptr) delete m_scene;
}

int cDemo::setup(int) { return 0; }

void cDemo::reset(int) {}

void cDemo::close(int) {}

void cDemo::exit(int) {}

void cDemo::update(int) {}

void cDemo::updateDynamics(int) {}

bool cDemo::drivesDevice() const { return false; }

bool cDemo::stepsOnDisplayTick() const { return false; }

void cDemo::init(cWorld *world, cMesh *root, cMeta3dofPointer *tool, cCamera *camera) {
  m_world = world;
  m_root = root;
  m_tool = tool;
  m_camera = camera;
  m_scene = nullptr;
  m_ready = false;
}
