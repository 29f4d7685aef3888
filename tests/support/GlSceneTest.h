// The shared base of the tests that render through a real OpenGL context: one
// GLUT window per process on the display the ctest fixture started, a world with
// a camera at (4, 0, 0) looking at the origin, and a frame read back as RGB.
#ifndef TESTS_SUPPORT_GLSCENETEST_H
#define TESTS_SUPPORT_GLSCENETEST_H

#include "scene/graph/CCamera.h"
#include "scene/graph/CGenericObject.h"
#include "scene/graph/CWorld.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace gltest {

constexpr int W = 160;
constexpr int H = 120;

struct Rgb {
  int r, g, b;
};

inline ::testing::AssertionResult Near(const Rgb &got, int r, int g, int b, int tol = 6) {
  if (std::abs(got.r - r) <= tol && std::abs(got.g - g) <= tol && std::abs(got.b - b) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got (" << got.r << ", " << got.g << ", " << got.b << "), want (" << r << ", "
                                       << g << ", " << b << ") +-" << tol;
}

// draws its sub-tree only in the chosen passes
struct PassFilter : cGenericObject {
  std::set<int> passes;
  void renderSceneGraph(int pass) override {
    if (passes.count(pass) != 0) cGenericObject::renderSceneGraph(pass);
  }
};

// a 24-bit BMP at path; rows given top first, each pixel 0xRRGGBB
inline void WriteBmpFile(const std::string &path, const std::vector<std::vector<uint32_t>> &rowsTopFirst) {
  const int h = static_cast<int>(rowsTopFirst.size()), w = static_cast<int>(rowsTopFirst[0].size());
  const int stride = (w * 3 + 3) & ~3;
  const uint32_t size = 54 + stride * h;
  std::vector<uint8_t> f(size, 0);
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put32(2, size), put32(10, 54), put32(14, 40), put32(18, w), put32(22, h);
  f[26] = 1, f[28] = 24;
  put32(34, stride * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = rowsTopFirst[h - 1 - y][x];
      uint8_t *px = &f[54 + y * stride + x * 3];
      px[0] = p & 0xFF, px[1] = (p >> 8) & 0xFF, px[2] = (p >> 16) & 0xFF;
    }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(f.data()), f.size());
}

// a 24-bit BMP of w x h in the temp folder, left half one colour and right half
// another (0xRRGGBB); its name starts with prefix and carries the process id
inline std::string WriteHalves(const char *prefix, int w, int h, uint32_t left, uint32_t right) {
  std::vector<uint32_t> row(w, right);
  std::fill(row.begin(), row.begin() + w / 2, left);
  const std::string path = ::testing::TempDir() + prefix + std::to_string(getpid()) + ".bmp";
  WriteBmpFile(path, std::vector<std::vector<uint32_t>>(h, row));
  return path;
}

// opens the window once (of width x height); false when there is no display to
// open it on
inline bool OpenWindow(const char *title, int width = W, int height = H) {
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
  glutInitWindowSize(width, height);
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
