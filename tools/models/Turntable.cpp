// The audio demo's turntable, in file units (the demo scales its longest side to
// 0.35): origin at the centre of the platter's underside, z up.
#include "tools/models/Models.h"

#include <cmath>

namespace models {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Builder {
  ObjScene &s;
  ObjGroup *g;

  uint32_t Point(double x, double y, double z) {
    s.positions.push_back({float(x), float(y), float(z)});
    return uint32_t(s.positions.size() - 1);
  }
  uint32_t Normal(double x, double y, double z) {
    s.normals.push_back({float(x), float(y), float(z)});
    return uint32_t(s.normals.size() - 1);
  }

  // an axis-aligned box as six quads with flat normals
  void Box(double x0, double y0, double z0, double x1, double y1, double z1) {
    uint32_t p[8];
    for (int i = 0; i < 8; ++i) p[i] = Point(i & 1 ? x1 : x0, i & 2 ? y1 : y0, i & 4 ? z1 : z0);
    const struct {
      int a, b, c, d;
      double nx, ny, nz;
    } faces[6] = {{0, 2, 3, 1, 0, 0, -1}, {4, 5, 7, 6, 0, 0, 1},  {0, 1, 5, 4, 0, -1, 0},
                  {2, 6, 7, 3, 0, 1, 0},  {0, 4, 6, 2, -1, 0, 0}, {1, 3, 7, 5, 1, 0, 0}};
    for (const auto &f : faces) {
      const uint32_t n = Normal(f.nx, f.ny, f.nz);
      g->AddFace({{p[f.a], kNone, n}, {p[f.b], kNone, n}, {p[f.c], kNone, n}, {p[f.d], kNone, n}});
    }
  }

  // a closed cylinder about the vertical through (cx, cy): smooth side, flat caps
  // drawn as one polygon each
  void Cylinder(double cx, double cy, double z0, double z1, double r, int segments) {
    const uint32_t first = uint32_t(s.positions.size());
    const uint32_t firstNormal = uint32_t(s.normals.size());
    for (int i = 0; i < segments; ++i) {
      const double a = 2.0 * kPi * i / segments;
      Point(cx + r * std::cos(a), cy + r * std::sin(a), z0);
      Point(cx + r * std::cos(a), cy + r * std::sin(a), z1);
      Normal(std::cos(a), std::sin(a), 0);
    }
    for (int i = 0; i < segments; ++i) {
      const uint32_t j = uint32_t((i + 1) % segments);
      const uint32_t n0 = firstNormal + uint32_t(i), n1 = firstNormal + j;
      g->AddFace({{first + 2 * uint32_t(i), kNone, n0},
                  {first + 2 * j, kNone, n1},
                  {first + 2 * j + 1, kNone, n1},
                  {first + 2 * uint32_t(i) + 1, kNone, n0}});
    }
    const uint32_t up = Normal(0, 0, 1), down = Normal(0, 0, -1);
    g->faceSizes.push_back(uint32_t(segments));
    for (int i = 0; i < segments; ++i) g->corners.push_back({first + 2 * uint32_t(i) + 1, kNone, up});
    g->faceSizes.push_back(uint32_t(segments));
    for (int i = segments - 1; i >= 0; --i) g->corners.push_back({first + 2 * uint32_t(i), kNone, down});
  }
};

}  // namespace

ObjScene MakeTurntable() {
  ObjScene s;
  ObjMaterial plinth, platter, arm;
  plinth.name = "plinth";
  plinth.ambient = {0.25f, 0.15f, 0.08f};
  plinth.diffuse = {0.55f, 0.33f, 0.17f};
  plinth.specular = {0.2f, 0.2f, 0.2f};
  plinth.shininess = 150.0f;
  platter.name = "platter";
  platter.ambient = {0.15f, 0.15f, 0.15f};
  platter.diffuse = {0.3f, 0.3f, 0.32f};
  platter.specular = {0.8f, 0.8f, 0.8f};
  platter.shininess = 600.0f;
  arm.name = "arm";
  arm.ambient = {0.3f, 0.3f, 0.3f};
  arm.diffuse = {0.75f, 0.75f, 0.78f};
  arm.specular = {1.0f, 1.0f, 1.0f};
  arm.shininess = 800.0f;
  s.materials = {plinth, platter, arm};
  s.groups.resize(3);
  for (int i = 0; i < 3; ++i) {
    s.groups[size_t(i)].name = s.materials[size_t(i)].name;
    s.groups[size_t(i)].material = i;
  }

  // a plinth 45 x 35 x 6 under the platter, longer on the arm's side
  Builder b{s, &s.groups[0]};
  b.Box(-17.5, -17.5, -6.0, 27.5, 17.5, 0.0);
  // the platter: radius 15.5, 1.6 high, wide enough for the record to lie on
  b.g = &s.groups[1];
  b.Cylinder(0.0, 0.0, 0.0, 1.6, 15.5, 64);
  // the arm: a pillar beside the platter, a tube resting along -y, a headshell
  b.g = &s.groups[2];
  b.Cylinder(22.0, 11.0, 0.0, 4.0, 1.6, 24);
  b.Box(21.6, -9.0, 3.0, 22.4, 11.0, 3.8);
  b.Box(20.8, -12.0, 2.6, 23.2, -9.0, 3.6);
  return s;
}

}  // namespace models
