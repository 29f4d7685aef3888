// The shipped models loaded from resources/models and drawn lit, as the demos
// show them: the tooth scaled by 0.0006 with its second object in wire mode, the
// burr scaled by 0.001, the turntable to 0.35 along its longest side. Checks are
// properties of the picture (where the model is, which part has which colour);
// with TKX_MODEL_SHOTS set to a folder the frames are also written there as BMP
// files to look at.
#include "scene/graph/CCamera.h"
#include "scene/graph/CLight.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include "support/GlSceneTest.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int W = 400;
constexpr int H = 300;

struct Rgb {
  int r, g, b;
  int Sum() const { return r + g + b; }
};

class ModelsGL : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { s_ready = gltest::OpenWindow("models", W, H); }

  void SetUp() override {
    ASSERT_TRUE(s_ready) << "no display: run under ctest (fixture \"display\") or set DISPLAY";
    camera = new cCamera(&world);
    world.addChild(camera);
    world.setBackgroundColor(0.1f, 0.1f, 0.15f);
    light = new cLight(&world);
    world.addChild(light);
    light->m_lit = true;
    light->m_ambientColor = cColorf(0.25f, 0.25f, 0.25f);
    light->m_diffuseColor = cColorf(0.85f, 0.85f, 0.85f);
    light->m_specularColor = cColorf(1, 1, 1);
  }

  // the camera at eye looking at the origin, z up, the light from over its shoulder
  void Look(const cVector3d &eye, const cVector3d &up = cVector3d(0, 0, 1)) {
    ASSERT_TRUE(camera->set(eye, cVector3d(0, 0, 0), up));
    camera->setClippingPlanes(eye.length() * 0.05, eye.length() * 10.0);
    light->m_pos = eye + up * (eye.length() * 0.8) + cCross(up, eye) * 0.5;
  }

  void Frame(const std::string &name) {
    world.computeGlobalPositions(false);
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
    if (const char *dir = std::getenv("TKX_MODEL_SHOTS")) {
      std::vector<std::vector<uint32_t>> rows(H, std::vector<uint32_t>(W));
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          const Rgb p = At(x, y);
          rows[H - 1 - y][x] = uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | uint32_t(p.b);
        }
      gltest::WriteBmpFile(std::string(dir) + "/" + name + ".bmp", rows);
    }
  }

  Rgb At(int x, int y) const {
    const uint8_t *p = &pixels[3 * (x + y * W)];
    return Rgb{p[0], p[1], p[2]};
  }
  bool Drawn(int x, int y) const {
    const Rgb p = At(x, y);
    return std::abs(p.r - 25) + std::abs(p.g - 25) + std::abs(p.b - 38) > 12;
  }
  // the drawn pixels' box: x0, y0, x1, y1 (inclusive), and their number
  int DrawnBox(int box[4]) const {
    box[0] = W, box[1] = H, box[2] = -1, box[3] = -1;
    int n = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        if (Drawn(x, y)) {
          ++n;
          box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
          box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
        }
    return n;
  }
  // mean colour of the drawn pixels in rows y0..y1
  Rgb MeanInRows(int y0, int y1) const {
    long r = 0, g = 0, b = 0, n = 0;
    for (int y = y0; y <= y1; ++y)
      for (int x = 0; x < W; ++x)
        if (Drawn(x, y)) {
          const Rgb p = At(x, y);
          r += p.r, g += p.g, b += p.b, ++n;
        }
    return n == 0 ? Rgb{0, 0, 0} : Rgb{int(r / n), int(g / n), int(b / n)};
  }

  static inline bool s_ready = false;
  cWorld world;
  cCamera *camera = nullptr;
  cLight *light = nullptr;
  std::vector<uint8_t> pixels;
};

// the tooth as the contact demo prepares it
cMesh *LoadTooth(cWorld &world) {
  cMesh *tooth = new cMesh(&world);
  world.addChild(tooth);
  if (!tooth->loadFromFile("resources/models/tooth.3ds")) return nullptr;
  tooth->scale(0.0006, true);
  if (tooth->getNumChildren() < 2) return nullptr;
  static_cast<cMesh *>(tooth->getChild(1))->setWireMode(true, true);
  return tooth;
}

TEST_F(ModelsGL, ToothStandsCrownUpWithWhiterCrownThanRootsAndAPinkGumLine) {
  ASSERT_NE(LoadTooth(world), nullptr);
  // from the cheek side, a little above the neck
  Look(cVector3d(0.05, 0.3, 0.05));
  Frame("tooth-side");
  int box[4];
  const int drawn = DrawnBox(box);
  ASSERT_GT(drawn, W * H / 20);
  // about 250 units tall, 105 wide: taller than wide on the screen
  const int w = box[2] - box[0] + 1, h = box[3] - box[1] + 1;
  EXPECT_GT(h, 1.6 * w) << w << " x " << h;
  EXPECT_NEAR((box[0] + box[2]) / 2.0, W / 2.0, W / 10.0);
  // crown (top fifth) whiter than the roots (bottom fifth): more blue for its red
  const Rgb crown = MeanInRows(box[3] - h / 5, box[3]);
  const Rgb roots = MeanInRows(box[1], box[1] + h / 5);
  EXPECT_GT(crown.b * 100 / std::max(crown.r, 1), roots.b * 100 / std::max(roots.r, 1) + 8)
      << "crown " << crown.r << "," << crown.g << "," << crown.b << " roots " << roots.r << "," << roots.g << ","
      << roots.b;
  // the gum line drawn as wire in its own colour
  int pink = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const Rgb p = At(x, y);
      pink += p.r > p.g + 50 && p.r > p.b + 40;
    }
  EXPECT_GT(pink, 30);

  // from above at a slant: the chewing surface, lit
  Look(cVector3d(0.07, 0.1, 0.2), cVector3d(0, 0, 1));
  Frame("tooth-top");
  EXPECT_GT(DrawnBox(box), W * H / 20);
}

TEST_F(ModelsGL, BurrLiesAlongXWithItsFlutedHeadAtTheTipAndShines) {
  cMesh *burr = new cMesh(&world);
  world.addChild(burr);
  ASSERT_TRUE(burr->loadFromFile("resources/models/fraise.3ds"));
  burr->scale(0.001, true);
  // centred on the burr, seen from the side: x runs to the right
  burr->setPos(-0.011, 0, 0);
  Look(cVector3d(0, -0.03, 0.004));
  Frame("fraise-side");
  int box[4];
  ASSERT_GT(DrawnBox(box), 300);
  const int w = box[2] - box[0] + 1, h = box[3] - box[1] + 1;
  // 22.25 mm long, 1.6 mm across
  EXPECT_GT(w, 8 * h) << w << " x " << h;
  // grey metal with a highlight somewhere
  int brightest = 0;
  long tint = 0, n = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (Drawn(x, y)) {
        const Rgb p = At(x, y);
        brightest = std::max(brightest, p.Sum());
        tint += std::abs(p.r - p.b), ++n;
      }
  EXPECT_GT(brightest, 650);
  EXPECT_LT(tint / n, 20);

  // the head close up
  burr->setPos(-0.002, 0, 0);
  Look(cVector3d(0.0, -0.007, 0.003));
  Frame("fraise-head");
  EXPECT_GT(DrawnBox(box), W * H / 30);
}

// the turntable as the audio demo scales it (longest side 0.35), seen from above:
// a wooden plinth 45 x 35, the grey platter at the middle of the view (the
// model's origin), the silver arm beside it
TEST_F(ModelsGL, TurntableFromAboveShowsAWoodenPlinthAGreyPlatterAndTheArm) {
  cMesh *player = new cMesh(&world);
  world.addChild(player);
  ASSERT_TRUE(player->loadFromFile("resources/models/turntable.obj"));
  ASSERT_EQ(player->getNumChildren(), 3u);
  player->scale(0.35 / 45.0, true);
  Look(cVector3d(0, 0, 0.7), cVector3d(0, 1, 0));
  Frame("turntable-above");
  int box[4];
  const int drawn = DrawnBox(box);
  ASSERT_GT(drawn, W * H / 10);
  const double ratio = double(box[2] - box[0] + 1) / double(box[3] - box[1] + 1);
  EXPECT_NEAR(ratio, 45.0 / 35.0, 0.12);
  // the platter under the middle of the view is grey; most of the rest is wood
  const Rgb middle = At(W / 2, H / 2);
  EXPECT_LT(std::abs(middle.r - middle.b), 25) << middle.r << " " << middle.g << " " << middle.b;
  int wood = 0, bright = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      if (!Drawn(x, y)) continue;
      const Rgb p = At(x, y);
      if (p.r > p.g + 30 && p.g > p.b + 20) ++wood;
      if (p.Sum() > 450 && std::abs(p.r - p.b) < 30) ++bright;
    }
  EXPECT_GT(wood, drawn / 4);
  // the arm's silver, right of the platter
  EXPECT_GT(bright, 50);
}

}  // namespace
