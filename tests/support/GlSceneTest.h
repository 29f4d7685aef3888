// The shared base of the tests that render through a real OpenGL context: one
// GLUT window per process on the display the ctest fixture started, a world with
// a camera at (4, 0, 0) looking at the origin, and a frame read back as RGB.
#ifndef TESTS_SUPPORT_GLSCENETEST_H
#define TESTS_SUPPORT_GLSCENETEST_H

#include "scene/CCamera.h"
#include "scene/CWorld.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace gltest {

constexpr int W = 160;
constexpr int H = 120;

struct Rgb {
  int r, g, b;
};

// opens the window once; false when there is no display to open it on
inline bool OpenWindow(const char *title) {
  static bool ready = false;
  if (ready) return true;
  // the fixture writes its display number to this file; listing tests needs no display
  if (const char *file = std::getenv("TKX_DISPLAY_FILE")) {
    int n = -1;
    if (FILE *f = std::fopen(file, "r")) {
      if (std::fscanf(f, "%d", &n) != 1) n = -1;
      std::fclose(f);
    }
    if (n >= 0) setenv("DISPLAY", (":" + std::to_string(n)).c_str(), 1);
  }
  const char *display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return false;
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  setenv("GALLIUM_DRIVER", "llvmpipe", 0);
  int argc = 1;
  std::string name = title;
  char *argv[] = {&name[0], nullptr};
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
  glutInitWindowSize(W, H);
  glutInitWindowPosition(0, 0);
  glutCreateWindow(title);
  glutDisplayFunc([] {});
  ready = true;
  return true;
}

class GlSceneTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_ready = OpenWindow("scene gl test"); }

  void SetUp() override {
    ASSERT_TRUE(s_ready) << "no display: run under ctest (fixture \"display\") or set DISPLAY";
    camera = new cCamera(&world);
    world.addChild(camera);
    ASSERT_TRUE(camera->set(cVector3d(4, 0, 0), cVector3d(0, 0, 0), cVector3d(0, 0, 1)));
    world.setBackgroundColor(0.2f, 0.4f, 0.6f);
  }

  // draws one frame into the back buffer and reads it back
  void Frame() {
    glViewport(0, 0, W, H);
    const cColorf &c = world.m_clearColor;
    glClearColor(c.r, c.g, c.b, c.a);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    camera->renderView(W, H);
    glFinish();
    pixels.assign(W * H * 3, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, W, H, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }

  // x from the left, y from the bottom
  Rgb At(int x, int y) const {
    const uint8_t *p = &pixels[3 * (x + y * W)];
    return Rgb{p[0], p[1], p[2]};
  }

  // window pixel of a world point seen by the camera at (4, 0, 0), 45 degrees
  static void Project(const cVector3d &p, int &x, int &y) {
    const double depth = 4.0 - p.x, t = std::tan(22.5 * 3.14159265358979323846 / 180.0);
    x = static_cast<int>(std::lround(0.5 * W * (1.0 + p.y / depth / (t * W / H))));
    y = static_cast<int>(std::lround(0.5 * H * (1.0 + p.z / depth / t)));
  }

  static inline bool s_ready = false;
  cWorld world;
  cCamera *camera = nullptr;
  std::vector<uint8_t> pixels;
};

}  // namespace gltest

#endif
