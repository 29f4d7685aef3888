#include "tools/models/Models.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <unordered_map>
#include <vector>

namespace models {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct V3 {
  double x, y, z;
};
V3 operator+(const V3 &a, const V3 &b) { return V3{a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(const V3 &a, const V3 &b) { return V3{a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(const V3 &a, double s) { return V3{a.x * s, a.y * s, a.z * s}; }
double Dot(const V3 &a, const V3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(const V3 &a, const V3 &b) { return V3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double Length(const V3 &a) { return std::sqrt(Dot(a, a)); }
V3 Unit(const V3 &a) {
  const double l = Length(a);
  return l > 0 ? a * (1.0 / l) : V3{0, 0, 0};
}

// ---- mesh building ---------------------------------------------------------------

// faces over shared points; a point becomes one vertex per smoothing group that
// uses it, so edges between groups stay sharp for readers that average normals
// over the faces of a vertex
struct Builder {
  struct Face {
    int p[3];
    uint32_t group;
    int material;
  };
  std::vector<V3> points;
  std::vector<Face> faces;

  int Point(const V3 &p) {
    points.push_back(p);
    return static_cast<int>(points.size()) - 1;
  }
  void Tri(int a, int b, int c, uint32_t group, int material) { faces.push_back(Face{{a, b, c}, group, material}); }
  // a, b, c, d counter-clockwise seen from the front; split along the shorter diagonal
  void Quad(int a, int b, int c, int d, uint32_t group, int material) {
    if (Length(points[a] - points[c]) <= Length(points[b] - points[d])) {
      Tri(a, b, c, group, material);
      Tri(a, c, d, group, material);
    } else {
      Tri(a, b, d, group, material);
      Tri(b, c, d, group, material);
    }
  }

  Object Emit(const std::string &name, const V3 &offset) const {
    Object o;
    o.name = name;
    std::unordered_map<uint64_t, uint16_t> vertexOf;
    for (const Face &f : faces) {
      std::array<uint16_t, 3> tri;
      for (int k = 0; k < 3; ++k) {
        const uint64_t key = (uint64_t(f.p[k]) << 32) | f.group;
        auto it = vertexOf.find(key);
        if (it == vertexOf.end()) {
          const V3 p = points[f.p[k]] + offset;
          it = vertexOf.emplace(key, static_cast<uint16_t>(o.vertices.size())).first;
          o.vertices.push_back({float(p.x), float(p.y), float(p.z)});
        }
        tri[k] = it->second;
      }
      o.faces.push_back(tri);
      o.smoothing.push_back(f.group);
      o.faceMaterial.push_back(f.material);
    }
    return o;
  }
};

// ---- implicit shapes -------------------------------------------------------------

// polynomial smooth minimum and maximum: a fillet of about k where two shapes meet
double SMin(double a, double b, double k) {
  const double h = std::max(k - std::fabs(a - b), 0.0) / k;
  return std::min(a, b) - h * h * k * 0.25;
}
double SMax(double a, double b, double k) { return -SMin(-a, -b, k); }

// a segment a..b whose radius runs from ra to rb
double TaperedSegment(const V3 &p, const V3 &a, const V3 &b, double ra, double rb) {
  const V3 ab = b - a;
  const double t = std::clamp(Dot(p - a, ab) / Dot(ab, ab), 0.0, 1.0);
  return Length(p - (a + ab * t)) - (ra + (rb - ra) * t);
}

// Catmull-Rom through evenly listed samples of (z, value), held flat outside
double Profile(const double *zs, const double *vs, int n, double z) {
  if (z <= zs[0]) return vs[0];
  if (z >= zs[n - 1]) return vs[n - 1];
  int i = 0;
  while (z > zs[i + 1]) ++i;
  const double t = (z - zs[i]) / (zs[i + 1] - zs[i]);
  const double p0 = vs[std::max(i - 1, 0)], p1 = vs[i], p2 = vs[i + 1], p3 = vs[std::min(i + 2, n - 1)];
  return 0.5 * ((2 * p1) + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t * t +
                (-p0 + 3 * p1 - 3 * p2 + p3) * t * t * t);
}

// ---- the molar -------------------------------------------------------------------

// heights in file units before centring: the neck (cemento-enamel junction) near
// z = 0, cusp tips near 75, root apices near -160
constexpr int kProfileN = 9;
constexpr double kProfileZ[kProfileN] = {-70, -40, -15, 0, 12, 26, 42, 58, 80};
// half widths: x mesio-distal, y bucco-lingual; the waist at the neck, the widest
// contour a third up the crown
constexpr double kHalfX[kProfileN] = {40, 41, 42, 39, 46, 52, 50, 43, 34};
constexpr double kHalfY[kProfileN] = {37, 38, 39, 36, 43, 49, 47, 40, 31};

// the neck line: higher between neighbouring teeth (x), lower on the cheek and tongue sides
double NeckHeight(double angle) { return 2.0 + 4.0 * std::cos(2.0 * angle); }

double Lateral(const V3 &p) {
  const double a = Profile(kProfileZ, kHalfX, kProfileN, p.z), b = Profile(kProfileZ, kHalfY, kProfileN, p.z);
  const double m = 2.6;
  const double r = std::pow(std::pow(std::fabs(p.x) / a, m) + std::pow(std::fabs(p.y) / b, m), 1.0 / m);
  return (r - 1.0) * std::min(a, b);
}

// the chewing surface: four cusps, a central groove along x and a cross groove along y
double Occlusal(double x, double y) {
  static const double cusps[4][3] = {{-23, 21, 21}, {23, 20, 18}, {-22, -21, 20}, {22, -20, 17}};
  double h = 55.0;
  for (const auto &c : cusps) {
    const double dx = x - c[0], dy = y - c[1];
    h += c[2] * std::exp(-(dx * dx + dy * dy) / (2.0 * 13.0 * 13.0));
  }
  // fissures fade out towards the marginal ridges
  const double alongX = std::exp(-std::pow(x / 34.0, 4)), alongY = std::exp(-std::pow(y / 30.0, 4));
  h -= 8.0 * std::exp(-(y * y) / (2.0 * 4.5 * 4.5)) * alongX;
  h -= 7.0 * std::exp(-(x * x) / (2.0 * 4.5 * 4.5)) * alongY;
  return h;
}

struct RootShape {
  V3 top, mid, apex;
  double rTop, rMid, rApex;
};
// two buccal roots and a larger palatal one, spreading a little and curving back
const RootShape kRoots[3] = {
    {{-22, 17, -15}, {-31, 25, -85}, {-30, 29, -158}, 19, 14, 8.5},
    {{22, 17, -15}, {29, 24, -82}, {26, 24, -150}, 18, 13, 8.5},
    {{0, -19, -15}, {0, -34, -85}, {-3, -42, -163}, 21, 15, 9.5},
};

double Tooth(const V3 &p) {
  double body = SMax(Lateral(p), p.z - Occlusal(p.x, p.y), 9.0);
  // the root trunk ends in a rounded floor between the roots
  body = SMax(body, -(p.z + 42.0), 14.0);
  double d = body;
  for (const RootShape &r : kRoots) {
    // a quadratic curve through top, mid and apex in short straight pieces: a
    // smooth bend without bulges where the pieces meet
    const int pieces = 8;
    double root = 1e9;
    V3 prev = r.top;
    double rPrev = r.rTop;
    for (int i = 1; i <= pieces; ++i) {
      const double t = double(i) / pieces, s = 1.0 - t;
      // the middle control point chosen so the curve passes through mid at t = 0.5
      const V3 ctrl = r.mid * 2.0 - (r.top + r.apex) * 0.5;
      const V3 at = r.top * (s * s) + ctrl * (2 * s * t) + r.apex * (t * t);
      const double rc = 2.0 * r.rMid - 0.5 * (r.rTop + r.rApex);
      const double rAt = r.rTop * (s * s) + rc * (2 * s * t) + r.rApex * (t * t);
      root = std::min(root, TaperedSegment(p, prev, at, rPrev, rAt));
      prev = at;
      rPrev = rAt;
    }
    d = SMin(d, root, 14.0);
  }
  return d;
}

V3 Gradient(const V3 &p) {
  const double e = 0.05;
  return V3{Tooth(p + V3{e, 0, 0}) - Tooth(p - V3{e, 0, 0}), Tooth(p + V3{0, e, 0}) - Tooth(p - V3{0, e, 0}),
            Tooth(p + V3{0, 0, e}) - Tooth(p - V3{0, 0, e})} *
         (0.5 / e);
}

// a few Newton steps onto the surface
V3 Project(V3 p) {
  for (int i = 0; i < 6; ++i) {
    const double f = Tooth(p);
    const V3 g = Gradient(p);
    const double gg = Dot(g, g);
    if (gg < 1e-12) break;
    p = p - g * (f / gg);
    if (std::fabs(f) < 1e-6) break;
  }
  return p;
}

// even spacing: each point moves towards the mean of its neighbours along the
// surface, then back onto it
void Relax(Builder &b, int iterations) {
  std::vector<std::vector<int>> around(b.points.size());
  for (const Builder::Face &face : b.faces)
    for (int e = 0; e < 3; ++e) {
      const int p = face.p[e], q = face.p[(e + 1) % 3];
      if (std::find(around[p].begin(), around[p].end(), q) == around[p].end()) around[p].push_back(q);
      if (std::find(around[q].begin(), around[q].end(), p) == around[q].end()) around[q].push_back(p);
    }
  for (int iteration = 0; iteration < iterations; ++iteration) {
    std::vector<V3> moved(b.points);
    for (size_t p = 0; p < b.points.size(); ++p) {
      if (around[p].empty()) continue;
      V3 mean{0, 0, 0};
      for (int q : around[p]) mean = mean + b.points[q];
      mean = mean * (1.0 / around[p].size());
      const V3 nrm = Unit(Gradient(b.points[p]));
      V3 step = mean - b.points[p];
      step = step - nrm * Dot(step, nrm);
      moved[p] = Project(b.points[p] + step * 0.5);
    }
    b.points.swap(moved);
  }
}

V3 FaceNormal(const Builder &b, const int p[3]) {
  return Unit(Cross(b.points[p[1]] - b.points[p[0]], b.points[p[2]] - b.points[p[0]]));
}

// merges the two ends of every edge shorter than minLength into their midpoint on
// the surface, where that keeps the surface closed and no face turns over
void CollapseShortEdges(Builder &b, double minLength) {
  for (bool changed = true; changed;) {
    changed = false;
    std::vector<std::vector<int>> facesOf(b.points.size());
    for (size_t f = 0; f < b.faces.size(); ++f)
      for (int k = 0; k < 3; ++k) facesOf[b.faces[f].p[k]].push_back(static_cast<int>(f));
    for (size_t f = 0; f < b.faces.size() && !changed; ++f)
      for (int k = 0; k < 3 && !changed; ++k) {
        const int p = b.faces[f].p[k], q = b.faces[f].p[(k + 1) % 3];
        if (Length(b.points[p] - b.points[q]) >= minLength) continue;
        // on a closed surface an edge may collapse when its ends share exactly the
        // two points opposite it
        std::vector<int> np, nq;
        for (int g : facesOf[p])
          for (int x : b.faces[g].p)
            if (x != p) np.push_back(x);
        for (int g : facesOf[q])
          for (int x : b.faces[g].p)
            if (x != q) nq.push_back(x);
        std::sort(np.begin(), np.end());
        np.erase(std::unique(np.begin(), np.end()), np.end());
        std::sort(nq.begin(), nq.end());
        nq.erase(std::unique(nq.begin(), nq.end()), nq.end());
        std::vector<int> common;
        std::set_intersection(np.begin(), np.end(), nq.begin(), nq.end(), std::back_inserter(common));
        if (common.size() != 2 || np.size() + nq.size() < 7) continue;
        // each point opposite the edge loses a neighbour: it must keep three
        bool thin = false;
        for (int c : common) {
          // on a closed surface a point has as many faces as neighbours
          thin = thin || facesOf[c].size() < 4;
        }
        if (thin) continue;
        const V3 m = Project((b.points[p] + b.points[q]) * 0.5);
        bool flips = false;
        for (int end : {p, q})
          for (int g : facesOf[end]) {
            int c[3] = {b.faces[g].p[0], b.faces[g].p[1], b.faces[g].p[2]};
            if ((c[0] == p || c[1] == p || c[2] == p) && (c[0] == q || c[1] == q || c[2] == q)) continue;
            const V3 before = FaceNormal(b, c);
            const V3 saved = b.points[p];
            for (int &x : c)
              if (x == q) x = p;
            b.points[p] = m;
            flips = flips || Dot(before, FaceNormal(b, c)) < 0.3;
            b.points[p] = saved;
          }
        if (flips) continue;
        b.points[p] = m;
        std::vector<Builder::Face> kept;
        for (Builder::Face face : b.faces) {
          const bool hasP = face.p[0] == p || face.p[1] == p || face.p[2] == p;
          const bool hasQ = face.p[0] == q || face.p[1] == q || face.p[2] == q;
          if (hasP && hasQ) continue;
          for (int &x : face.p)
            if (x == q) x = p;
          kept.push_back(face);
        }
        b.faces.swap(kept);
        changed = true;
      }
  }
}

// surface nets: one point per grid cell that the surface crosses, one quad per
// grid edge that it crosses; then the points are spread evenly over the surface
void MeshTooth(Builder &b) {
  const double h = 6.5;
  const V3 lo{-72, -70, -186};
  const int nx = 23, ny = 22, nz = 44;
  auto at = [&](int i, int j, int k) { return V3{lo.x + i * h, lo.y + j * h, lo.z + k * h}; };
  std::vector<double> f(size_t(nx + 1) * (ny + 1) * (nz + 1));
  auto fi = [&](int i, int j, int k) -> double & { return f[(size_t(k) * (ny + 1) + j) * (nx + 1) + i]; };
  for (int k = 0; k <= nz; ++k)
    for (int j = 0; j <= ny; ++j)
      for (int i = 0; i <= nx; ++i) fi(i, j, k) = Tooth(at(i, j, k));

  std::vector<int> cell(size_t(nx) * ny * nz, -1);
  auto ci = [&](int i, int j, int k) -> int & { return cell[(size_t(k) * ny + j) * nx + i]; };
  static const int corner[8][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                   {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};
  static const int edge[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                  {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        double v[8];
        for (int c = 0; c < 8; ++c) v[c] = fi(i + corner[c][0], j + corner[c][1], k + corner[c][2]);
        V3 sum{0, 0, 0};
        int n = 0;
        for (const auto &e : edge) {
          const double a = v[e[0]], c = v[e[1]];
          if ((a < 0) == (c < 0)) continue;
          const double t = a / (a - c);
          const V3 pa = at(i + corner[e[0]][0], j + corner[e[0]][1], k + corner[e[0]][2]);
          const V3 pc = at(i + corner[e[1]][0], j + corner[e[1]][1], k + corner[e[1]][2]);
          sum = sum + pa + (pc - pa) * t;
          ++n;
        }
        if (n > 0) ci(i, j, k) = b.Point(Project(sum * (1.0 / n)));
      }

  // quads: around each crossed grid edge, counter-clockwise seen from outside
  for (int d = 0; d < 3; ++d) {
    const int u = (d + 1) % 3, w = (d + 2) % 3;
    const int n[3] = {nx, ny, nz};
    for (int k = 1; k < nz; ++k)
      for (int j = 1; j < ny; ++j)
        for (int i = 1; i < nx; ++i) {
          int g[3] = {i, j, k};
          if (g[d] >= n[d]) continue;
          int g2[3] = {i, j, k};
          ++g2[d];
          const bool in0 = fi(g[0], g[1], g[2]) < 0, in1 = fi(g2[0], g2[1], g2[2]) < 0;
          if (in0 == in1) continue;
          auto cellAt = [&](int du, int dw) {
            int q[3] = {g[0], g[1], g[2]};
            q[u] -= du;
            q[w] -= dw;
            return ci(q[0], q[1], q[2]);
          };
          const int q00 = cellAt(1, 1), q10 = cellAt(0, 1), q11 = cellAt(0, 0), q01 = cellAt(1, 0);
          if (in0)
            b.Quad(q00, q10, q11, q01, 1, 0);
          else
            b.Quad(q00, q01, q11, q10, 1, 0);
        }
  }

  Relax(b, 8);
  // what spacing alone leaves too short to feel is merged away
  CollapseShortEdges(b, 2.5);
  Relax(b, 3);
  CollapseShortEdges(b, 2.5);
  for (Builder::Face &face : b.faces) {
    const V3 c = (b.points[face.p[0]] + b.points[face.p[1]] + b.points[face.p[2]]) * (1.0 / 3.0);
    // crown above the neck line in enamel, the rest in cementum
    face.material = c.z > NeckHeight(std::atan2(c.y, c.x)) ? 0 : 1;
  }
}

// a tube just outside the neck, following the neck line
void MeshGumline(Builder &b) {
  const int around = 84, section = 8;
  const double tube = 3.5;
  std::vector<V3> centre(around), outward(around);
  for (int j = 0; j < around; ++j) {
    const double a = 2.0 * kPi * j / around;
    const V3 dir{std::cos(a), std::sin(a), 0};
    const double z = NeckHeight(a);
    // the surface along the ray from the axis: inside at 0, outside at 120
    double s0 = 0, s1 = 120;
    for (int i = 0; i < 60; ++i) {
      const double s = 0.5 * (s0 + s1);
      (Tooth(V3{dir.x * s, dir.y * s, z}) < 0 ? s0 : s1) = s;
    }
    const V3 onSurface{dir.x * s0, dir.y * s0, z};
    outward[j] = Unit(Gradient(onSurface));
    centre[j] = onSurface + outward[j] * (tube + 1.0);
  }
  std::vector<int> ring(size_t(around) * section);
  for (int j = 0; j < around; ++j) {
    const V3 t = Unit(centre[(j + 1) % around] - centre[(j + around - 1) % around]);
    const V3 n = Unit(outward[j] - t * Dot(outward[j], t));
    const V3 bn = Cross(t, n);
    for (int k = 0; k < section; ++k) {
      const double phi = 2.0 * kPi * k / section;
      ring[j * section + k] = b.Point(centre[j] + (n * std::cos(phi) + bn * std::sin(phi)) * tube);
    }
  }
  for (int j = 0; j < around; ++j)
    for (int k = 0; k < section; ++k) {
      const int j1 = (j + 1) % around, k1 = (k + 1) % section;
      b.Quad(ring[j * section + k], ring[j * section + k1], ring[j1 * section + k1], ring[j1 * section + k], 2, 2);
    }
}

// ---- the burr --------------------------------------------------------------------

// millimetres along +x from the tip
constexpr double kHeadLength = 4.0;
constexpr double kHeadRadius = 0.7;
constexpr double kNeckRadius = 0.42;
constexpr double kShankRadius = 0.8;
constexpr double kShankStart = 7.0;
constexpr double kShankEnd = 22.0;
constexpr int kFlutes = 6;
constexpr int kPerFlute = 6;
// one turn of the helix every 9 mm
constexpr double kLead = 9.0;

// the flute's cross-section: a sharp cutting edge at t = 0, a steep face down into
// the flute, then a long relief back up to the next edge
double FluteDepth(double t) {
  if (t < 0.18) return t / 0.18;
  return std::pow(std::max(0.0, 1.0 - (t - 0.18) / 0.82), 1.6);
}

}  // namespace

Scene MakeTooth() {
  Builder tooth, gum;
  MeshTooth(tooth);
  MeshGumline(gum);
  // centre of the bounding box at the origin
  V3 lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
  for (const Builder *b : {&tooth, &gum})
    for (const V3 &p : b->points) {
      lo = V3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
      hi = V3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
  const V3 offset = (lo + hi) * -0.5;

  Scene s;
  Material enamel;
  enamel.name = "enamel";
  enamel.ambient = {0.32f, 0.31f, 0.28f};
  enamel.diffuse = {0.95f, 0.93f, 0.86f};
  enamel.specular = {0.55f, 0.55f, 0.52f};
  enamel.shininess = 0.45f;
  enamel.shininessStrength = 0.5f;
  Material cementum = enamel;
  cementum.name = "cementum";
  cementum.ambient = {0.30f, 0.27f, 0.21f};
  cementum.diffuse = {0.88f, 0.79f, 0.60f};
  cementum.specular = {0.18f, 0.17f, 0.15f};
  cementum.shininess = 0.15f;
  cementum.shininessStrength = 0.2f;
  Material gumColour;
  gumColour.name = "gum";
  gumColour.ambient = {0.30f, 0.12f, 0.14f};
  gumColour.diffuse = {0.86f, 0.36f, 0.42f};
  gumColour.specular = {0.3f, 0.3f, 0.3f};
  gumColour.shininess = 0.3f;
  s.materials = {enamel, cementum, gumColour};
  s.objects.push_back(tooth.Emit("tooth", offset));
  s.objects.push_back(gum.Emit("gumline", offset));
  return s;
}

Scene MakeFraise() {
  Builder b;
  const int ringSize = kFlutes * (kPerFlute + 1);
  // a point on the fluted head: flute k, step s of kPerFlute, at x
  auto headPoint = [](double x, int k, int s) {
    const double rx = x < kHeadRadius
                          ? std::sqrt(std::max(0.0, kHeadRadius * kHeadRadius - (kHeadRadius - x) * (kHeadRadius - x)))
                          : kHeadRadius;
    const double t = double(s) / kPerFlute;
    const double r = rx * (1.0 - 0.32 * FluteDepth(t));
    // by whole steps around, so flutes that meet compute the same point
    const int step = (k * kPerFlute + s) % (kFlutes * kPerFlute);
    const double a = 2.0 * kPi * step / (kFlutes * kPerFlute) + 2.0 * kPi * x / kLead;
    return V3{x, r * std::cos(a), r * std::sin(a)};
  };
  // rings along the head, closer together where the round end turns
  std::vector<double> xs = {0.03, 0.08, 0.15, 0.24, 0.35, 0.48, 0.62, 0.7};
  for (double x = 0.95; x < kHeadLength - 1e-9; x += 0.25) xs.push_back(x);
  xs.push_back(kHeadLength);

  // each flute's points, the last one of a flute at the same place as the first of
  // the next: flutes meet at the sharp cutting edges
  std::vector<std::vector<int>> rings;
  for (double x : xs) {
    std::vector<int> ring(ringSize);
    for (int k = 0; k < kFlutes; ++k)
      for (int s = 0; s <= kPerFlute; ++s) ring[k * (kPerFlute + 1) + s] = b.Point(headPoint(x, k, s));
    rings.push_back(ring);
  }
  // alternate groups: neighbouring flutes never share a normal
  auto fluteGroup = [](int k) { return k % 2 == 0 ? 1u : 2u; };
  const int tip = b.Point(V3{0, 0, 0});
  for (int k = 0; k < kFlutes; ++k)
    for (int s = 0; s < kPerFlute; ++s) {
      const int i = k * (kPerFlute + 1) + s;
      b.Tri(tip, rings[0][i + 1], rings[0][i], fluteGroup(k), 0);
    }
  for (size_t r = 0; r + 1 < rings.size(); ++r)
    for (int k = 0; k < kFlutes; ++k)
      for (int s = 0; s < kPerFlute; ++s) {
        const int i = k * (kPerFlute + 1) + s;
        b.Quad(rings[r][i], rings[r][i + 1], rings[r + 1][i + 1], rings[r + 1][i], fluteGroup(k), 0);
      }

  // plain rings from the shoulder behind the head to the end of the shank, at the
  // head's last angles so the shoulder closes without slivers
  const int n = kFlutes * kPerFlute;
  auto plainRing = [&](double x, double r) {
    std::vector<int> ring(n + 1);
    for (int k = 0; k < kFlutes; ++k)
      for (int s = 0; s < kPerFlute; ++s) {
        const double a = 2.0 * kPi * (k * kPerFlute + s) / (kFlutes * kPerFlute) + 2.0 * kPi * kHeadLength / kLead;
        ring[k * kPerFlute + s] = b.Point(V3{x, r * std::cos(a), r * std::sin(a)});
      }
    ring[n] = ring[0];
    return ring;
  };
  auto band = [&](const std::vector<int> &r0, const std::vector<int> &r1, uint32_t group) {
    for (int i = 0; i < n; ++i) b.Quad(r0[i], r0[i + 1], r1[i + 1], r1[i], group, 0);
  };
  // the shoulder: a flat ring facing +x from the flutes down to the neck
  const std::vector<int> shoulder = plainRing(kHeadLength, kNeckRadius);
  const std::vector<int> &last = rings.back();
  for (int k = 0; k < kFlutes; ++k)
    for (int s = 0; s < kPerFlute; ++s) {
      const int i = k * (kPerFlute + 1) + s, j = k * kPerFlute + s;
      b.Quad(last[i], last[i + 1], shoulder[j + 1], shoulder[j], 4, 0);
    }
  // the neck: slim, then a cone out to the shank
  std::vector<std::vector<int>> neck;
  neck.push_back(plainRing(kHeadLength, kNeckRadius));
  neck.push_back(plainRing(5.4, kNeckRadius * 0.95));
  for (int i = 1; i <= 4; ++i) {
    const double t = i / 4.0;
    neck.push_back(
        plainRing(5.4 + t * (kShankStart - 5.4), kNeckRadius * 0.95 + t * (kShankRadius - kNeckRadius * 0.95)));
  }
  for (size_t i = 0; i + 1 < neck.size(); ++i) band(neck[i], neck[i + 1], i == 0 ? 8u : 16u);
  // the shank, with a small chamfer before its flat end
  std::vector<std::vector<int>> shank;
  shank.push_back(plainRing(kShankStart, kShankRadius));
  for (double x = kShankStart + 1.5; x < kShankEnd - 1e-9; x += 1.5) shank.push_back(plainRing(x, kShankRadius));
  shank.push_back(plainRing(kShankEnd, kShankRadius));
  for (size_t i = 0; i + 1 < shank.size(); ++i) band(shank[i], shank[i + 1], 32);
  const std::vector<int> chamfer = plainRing(kShankEnd + 0.25, kShankRadius - 0.2);
  band(shank.back(), chamfer, 64);
  const int end = b.Point(V3{kShankEnd + 0.25, 0, 0});
  for (int i = 0; i < n; ++i) b.Tri(chamfer[i], chamfer[i + 1], end, 128, 0);

  Scene s;
  Material steel;
  steel.name = "steel";
  steel.ambient = {0.22f, 0.22f, 0.24f};
  steel.diffuse = {0.58f, 0.59f, 0.62f};
  steel.specular = {0.95f, 0.95f, 0.95f};
  steel.shininess = 0.8f;
  steel.shininessStrength = 1.0f;
  steel.shading = 4;
  s.materials = {steel};
  s.objects.push_back(b.Emit("fraise", V3{0, 0, 0}));
  return s;
}

Scene MakeBox() {
  // the sheet's nodes span x -0.45..0.45 and y -0.43..0.47, 0.1 apart: a vertex
  // every 0.03 lets the slab bend between them
  constexpr int kCells = 30;
  constexpr double kX0 = -0.45, kY0 = -0.43, kSide = 0.9, kHalfThickness = 0.01;
  Builder b;
  auto grid = [&](double z) {
    std::vector<int> g;
    for (int j = 0; j <= kCells; ++j)
      for (int i = 0; i <= kCells; ++i) g.push_back(b.Point(V3{kX0 + kSide * i / kCells, kY0 + kSide * j / kCells, z}));
    return g;
  };
  const std::vector<int> top = grid(kHalfThickness), bottom = grid(-kHalfThickness);
  auto at = [](const std::vector<int> &g, int i, int j) { return g[j * (kCells + 1) + i]; };
  for (int j = 0; j < kCells; ++j)
    for (int i = 0; i < kCells; ++i) {
      b.Quad(at(top, i, j), at(top, i + 1, j), at(top, i + 1, j + 1), at(top, i, j + 1), 1, 0);
      b.Quad(at(bottom, i, j), at(bottom, i, j + 1), at(bottom, i + 1, j + 1), at(bottom, i + 1, j), 2, 0);
    }
  // the four rims, each its own group so the slab's edges stay sharp
  for (int k = 0; k < kCells; ++k) {
    b.Quad(at(bottom, k, 0), at(bottom, k + 1, 0), at(top, k + 1, 0), at(top, k, 0), 4, 0);
    b.Quad(at(bottom, kCells, k), at(bottom, kCells, k + 1), at(top, kCells, k + 1), at(top, kCells, k), 8, 0);
    b.Quad(at(bottom, k + 1, kCells), at(bottom, k, kCells), at(top, k, kCells), at(top, k + 1, kCells), 16, 0);
    b.Quad(at(bottom, 0, k + 1), at(bottom, 0, k), at(top, 0, k), at(top, 0, k + 1), 32, 0);
  }

  Scene s;
  Material skin;
  skin.name = "skin";
  skin.ambient = {0.3f, 0.3f, 0.3f};
  skin.diffuse = {0.6f, 0.6f, 0.6f};
  skin.specular = {0.4f, 0.4f, 0.4f};
  skin.shininess = 0.5f;
  skin.shininessStrength = 0.4f;
  s.materials = {skin};
  Object o = b.Emit("box", V3{0, 0, 0});
  // planar texture coordinates over the slab's extent
  for (const auto &v : o.vertices) o.uv.push_back({float((v[0] - kX0) / kSide), float((v[1] - kY0) / kSide)});
  s.objects.push_back(o);
  return s;
}

}  // namespace models
