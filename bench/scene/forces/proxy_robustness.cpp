// Proxy robustness study: random walks of the device around and into closed
// meshes, counting the steps after which the proxy's centre lies inside the
// closed surface. Inside/outside is decided independently of the algorithm's
// collision code, by ray parity over every triangle (three rays, majority).
//
//   proxy_robustness [--steps N] [--seeds a,b,...] [--mesh sphere|box|torus|all]
//                    [--radius metres] [--friction 0|1] [--verbose 0|1]
//                    [--detector aabb|brute] [--neighbors 0|1]
//
// The meshes have friction 0.5 static, 0.3 dynamic unless --friction 0.
//
// Prints one line per mesh and seed; exits with status 1 when any step ended
// inside, after printing the first such step of each walk.
#include "scene/forces/CProxyPointForceAlgo.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "scene/mesh/CTriangle.h"
#include "scene/mesh/CVertex.h"
#include "support/BenchMeshes.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Tri {
  cVector3d a, b, c;
};

// Moller-Trumbore without culling: does the ray origin + t dir, t > 0, cross
// the triangle
bool RayHits(const cVector3d &origin, const cVector3d &dir, const Tri &t) {
  const cVector3d e1 = t.b - t.a, e2 = t.c - t.a;
  const cVector3d p = dir.cross(e2);
  const double det = e1.dot(p);
  if (std::fabs(det) < 1e-300) return false;
  const double inv = 1.0 / det;
  const cVector3d s = origin - t.a;
  const double u = s.dot(p) * inv;
  if (u < 0.0 || u > 1.0) return false;
  const cVector3d q = s.cross(e1);
  const double v = dir.dot(q) * inv;
  if (v < 0.0 || u + v > 1.0) return false;
  return e2.dot(q) * inv > 0.0;
}

// distance from p to the triangle (closest point by regions)
double Distance(const cVector3d &p, const Tri &t) {
  const cVector3d ab = t.b - t.a, ac = t.c - t.a, ap = p - t.a;
  const double d1 = ab.dot(ap), d2 = ac.dot(ap);
  if (d1 <= 0 && d2 <= 0) return p.distance(t.a);
  const cVector3d bp = p - t.b;
  const double d3 = ab.dot(bp), d4 = ac.dot(bp);
  if (d3 >= 0 && d4 <= d3) return p.distance(t.b);
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return p.distance(t.a + ab * (d1 / (d1 - d3)));
  const cVector3d cp = p - t.c;
  const double d5 = ab.dot(cp), d6 = ac.dot(cp);
  if (d6 >= 0 && d5 <= d6) return p.distance(t.c);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return p.distance(t.a + ac * (d2 / (d2 - d6)));
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
    return p.distance(t.b + (t.c - t.b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))));
  const double denom = 1.0 / (va + vb + vc);
  return p.distance(t.a + ab * (vb * denom) + ac * (vc * denom));
}

class InsideTest {
 public:
  explicit InsideTest(cMesh &mesh) {
    for (unsigned int i = 0; i < mesh.getNumTriangles(); ++i) {
      const cTriangle *t = mesh.getTriangle(i);
      Tri tri{t->getVertex(0)->getPos(), t->getVertex(1)->getPos(), t->getVertex(2)->getPos()};
      tris_.push_back(tri);
      for (const cVector3d *v : {&tri.a, &tri.b, &tri.c})
        for (int k = 0; k < 3; ++k) {
          lo_[k] = std::fmin(lo_[k], (*v)[k]);
          hi_[k] = std::fmax(hi_[k], (*v)[k]);
        }
    }
  }
  bool Inside(const cVector3d &p) const {
    for (int k = 0; k < 3; ++k)
      if (p[k] < lo_[k] || p[k] > hi_[k]) return false;
    // directions chosen off every axis and lattice line of the test meshes
    static const cVector3d dirs[3] = {cVector3d(0.5773, 0.5831, 0.5716), cVector3d(-0.3138, 0.8412, -0.4403),
                                      cVector3d(0.7071, -0.1234, -0.6963)};
    int votes = 0;
    for (const cVector3d &d : dirs) {
      int hits = 0;
      for (const Tri &t : tris_) hits += RayHits(p, d, t) ? 1 : 0;
      votes += hits & 1;
    }
    return votes >= 2;
  }
  // distance to the surface
  double Depth(const cVector3d &p) const {
    double best = 1e300;
    for (const Tri &t : tris_) best = std::fmin(best, Distance(p, t));
    return best;
  }

 private:
  std::vector<Tri> tris_;
  double lo_[3] = {1e300, 1e300, 1e300};
  double hi_[3] = {-1e300, -1e300, -1e300};
};

// print the last steps of each reproducing replay
bool g_verbose = false;
// the proxy queries the brute-force detector instead of the AABB tree
bool g_brute = false;
// the detector's later queries in a step look only around the last triangle hit
bool g_neighbors = true;

struct Result {
  long inside = 0;
  long contacts = 0;
  // steps with the device itself inside: the walk does press into the mesh
  long deviceInside = 0;
  long firstInside = -1;
  double deepest = 0.0;
  // shortest replay from a fresh proxy in free space that ends inside, for the
  // first step that ended inside
  long shortest = -1;
};

// walks toward random targets in a box 1.6 times the mesh's size, 0.1 to 2 mm
// per step, with a 2 cm burst in a random direction once every 200 steps on
// average
Result Walk(const char *kind, unsigned int seed, long steps, double radius, bool friction) {
  cWorld world;
  cMesh *mesh = new cMesh(&world);
  world.addChild(mesh);
  double extent = 0.1;
  if (std::strcmp(kind, "sphere") == 0) {
    bench::MakeSphere(*mesh, 3000, 0.1);
  } else if (std::strcmp(kind, "box") == 0) {
    bench::MakeBox(*mesh, 8, 0.08);
    extent = 0.08;
  } else {
    bench::MakeTorus(*mesh, 64, 24, 0.07, 0.03);
  }
  mesh->setStiffness(1000.0, false);
  mesh->setFriction(friction ? 0.5 : 0.0, friction ? 0.3 : 0.0, false);
  if (g_brute)
    mesh->createBruteForceCollisionDetector(false, g_neighbors);
  else
    mesh->createAABBCollisionDetector(false, g_neighbors);
  world.computeGlobalPositions(false);
  const InsideTest inside(*mesh);

  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> box(-1.6 * extent, 1.6 * extent);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_real_distribution<double> len(1e-4, 2e-3);
  std::uniform_real_distribution<double> chance(0.0, 1.0);

  cProxyPointForceAlgo algo;
  algo.m_proxySphereRadius = radius;
  cVector3d device(0, 0, 2.0 * extent);
  algo.initialize(&world, device);
  cVector3d target(box(rng), box(rng), box(rng));
  Result r;
  std::vector<cVector3d> path;
  path.reserve(static_cast<size_t>(steps));
  for (long i = 0; i < steps; ++i) {
    cVector3d step;
    if (chance(rng) < 0.005) {
      cVector3d d(unit(rng), unit(rng), unit(rng));
      if (d.length() > 1e-9) step = d * (0.02 * chance(rng) / d.length());
    } else {
      cVector3d d = target - device;
      const double l = d.length();
      const double s = len(rng);
      if (l <= s) {
        step = d;
        target.set(box(rng), box(rng), box(rng));
      } else {
        step = d * (s / l);
      }
    }
    device += step;
    path.push_back(device);
    algo.computeForces(device);
    if (algo.m_contactCount > 0) ++r.contacts;
    if (algo.m_contactCount > 0 && inside.Inside(device)) ++r.deviceInside;
    if (inside.Inside(algo.getProxyGlobalPosition())) {
      if (r.firstInside < 0) r.firstInside = i;
      ++r.inside;
      r.deepest = std::fmax(r.deepest, inside.Depth(algo.getProxyGlobalPosition()));
    }
  }
  if (r.firstInside >= 0) {
    const long k = r.firstInside;
    // replays steps k - m + 1 .. k from a fresh proxy at the device's position
    // of step k - m; true when the proxy ends inside
    auto replay = [&](long m, bool print) {
      cProxyPointForceAlgo algo2;
      algo2.m_proxySphereRadius = radius;
      algo2.initialize(&world, path[static_cast<size_t>(k - m)]);
      for (long j = k - m + 1; j <= k; ++j) {
        const cVector3d before = algo2.getProxyGlobalPosition();
        const cVector3d &goal = path[static_cast<size_t>(j)];
        algo2.computeForces(goal);
        if (print && j > k - 3) {
          const cVector3d after = algo2.getProxyGlobalPosition();
          std::printf(
              "  step %ld: device moved %.3g m, proxy moved %.3g m, %d contacts, proxy %s (%.3g m from the surface)\n",
              j, goal.distance(path[static_cast<size_t>(j - 1)]), after.distance(before), algo2.m_contactCount,
              inside.Inside(after) ? "inside" : "outside", inside.Depth(after));
          std::printf("    proxy %.17g %.17g %.17g -> %.17g %.17g %.17g, device %.17g %.17g %.17g\n", before.x,
                      before.y, before.z, after.x, after.y, after.z, goal.x, goal.y, goal.z);
        }
      }
      return inside.Inside(algo2.getProxyGlobalPosition());
    };
    for (long m = 1; m <= k && m <= 20000 && r.shortest < 0; ++m) {
      // a start in free space: the device outside and away from the surface
      const cVector3d &start = path[static_cast<size_t>(k - m)];
      if (inside.Inside(start) || inside.Depth(start) < 2.0 * radius) continue;
      if (replay(m, false)) r.shortest = m;
    }
    if (r.shortest > 0 && g_verbose) {
      std::printf("  replay of %ld steps from a fresh proxy at step %ld ends inside; its last steps:\n", r.shortest,
                  k - r.shortest);
      replay(r.shortest, true);
    }
  }
  return r;
}

}  // namespace

int main(int argc, char **argv) {
  long steps = 1000000;
  std::vector<unsigned int> seeds = {1, 2, 3};
  std::string which = "all";
  double radius = 5.000000311993066e-05;
  bool friction = true;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--steps") == 0) steps = std::atol(argv[i + 1]);
    if (std::strcmp(argv[i], "--mesh") == 0) which = argv[i + 1];
    if (std::strcmp(argv[i], "--radius") == 0) radius = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--detector") == 0) g_brute = std::strcmp(argv[i + 1], "brute") == 0;
    if (std::strcmp(argv[i], "--neighbors") == 0) g_neighbors = std::atoi(argv[i + 1]) != 0;
    if (std::strcmp(argv[i], "--verbose") == 0) g_verbose = std::atoi(argv[i + 1]) != 0;
    if (std::strcmp(argv[i], "--friction") == 0) friction = std::atoi(argv[i + 1]) != 0;
    if (std::strcmp(argv[i], "--seeds") == 0) {
      seeds.clear();
      for (char *s = argv[i + 1]; *s;) {
        seeds.push_back(static_cast<unsigned int>(std::strtoul(s, &s, 10)));
        if (*s == ',') ++s;
      }
    }
  }
  long total = 0;
  for (const char *kind : {"sphere", "box", "torus"}) {
    if (which != "all" && which != kind) continue;
    for (unsigned int seed : seeds) {
      const Result r = Walk(kind, seed, steps, radius, friction);
      std::printf("%-6s seed %u: %ld steps, %ld in contact (device inside on %ld), %ld ended inside", kind, seed, steps,
                  r.contacts, r.deviceInside, r.inside);
      if (r.firstInside >= 0)
        std::printf(" (first at step %ld, deepest %.3g m, shortest replay %ld steps)", r.firstInside, r.deepest,
                    r.shortest);
      std::printf("\n");
      std::fflush(stdout);
      total += r.inside;
    }
  }
  return total == 0 ? 0 : 1;
}
