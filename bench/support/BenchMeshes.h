// Meshes for the benchmarks: a closed sphere subdivided to about N triangles and
// a random triangle soup, both built from fixed seeds so runs compare.
#ifndef BENCH_BENCHMESHES_H
#define BENCH_BENCHMESHES_H

#include "scene/math/CVector3d.h"
#include "scene/mesh/CMesh.h"

#include <cmath>
#include <random>
#include <vector>

namespace bench {

// a cube of 2n x 2n cells per face pushed out onto a sphere: 48 n^2 triangles,
// n chosen so the count is as close to triangles as it gets; shared vertices are
// shared slots, faces counter-clockwise seen from outside
inline void MakeSphere(cMesh &mesh, unsigned int triangles, double radius = 1.0) {
  int n = static_cast<int>(std::lround(std::sqrt(triangles / 48.0)));
  if (n < 1) n = 1;
  // integer lattice point -> vertex index, so seams between faces share slots
  const int side = 2 * n + 1;
  std::vector<int> index(static_cast<size_t>(side) * side * side, -1);
  auto vertexAt = [&](int i, int j, int k) {
    int &slot = index[(static_cast<size_t>(i + n) * side + (j + n)) * side + (k + n)];
    if (slot < 0) {
      cVector3d p(i, j, k);
      p.normalize();
      slot = static_cast<int>(mesh.newVertex(p * radius));
    }
    return static_cast<unsigned int>(slot);
  };
  // each face: its normal axis and sign; u and v chosen so u x v points outward
  for (int axis = 0; axis < 3; ++axis) {
    for (int sign = -1; sign <= 1; sign += 2) {
      const int ua = (axis + 1) % 3, va = (axis + 2) % 3;
      for (int a = -n; a < n; ++a) {
        for (int b = -n; b < n; ++b) {
          unsigned int q[4];
          const int cu[4] = {a, a + 1, a + 1, a}, cv[4] = {b, b, b + 1, b + 1};
          for (int c = 0; c < 4; ++c) {
            int p[3];
            p[axis] = sign * n;
            p[ua] = cu[c];
            p[va] = cv[c];
            q[c] = vertexAt(p[0], p[1], p[2]);
          }
          if (sign > 0) {
            mesh.newTriangle(q[0], q[1], q[2]);
            mesh.newTriangle(q[0], q[2], q[3]);
          } else {
            mesh.newTriangle(q[0], q[2], q[1]);
            mesh.newTriangle(q[0], q[3], q[2]);
          }
        }
      }
    }
  }
}

// a flat square grid in the plane z = 0, [-size, size]^2, about `triangles`
// triangles facing +z over shared vertices; its columns share their x exactly
inline void MakeGrid(cMesh &mesh, unsigned int triangles, double size = 1.0) {
  int n = static_cast<int>(std::lround(std::sqrt(triangles / 2.0)));
  if (n < 1) n = 1;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) mesh.newVertex(-size + 2.0 * size * i / n, -size + 2.0 * size * j / n, 0.0);
  const auto at = [n](int i, int j) { return static_cast<unsigned int>(j * (n + 1) + i); };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      mesh.newTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
      mesh.newTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
    }
}

// exactly `triangles` independent triangles inside the cube [-size, size]^3,
// each about as large as the spacing between them
inline void MakeSoup(cMesh &mesh, unsigned int triangles, unsigned int seed = 1, double size = 1.0) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> centre(-size, size);
  const double edge = 2.0 * size / std::cbrt(static_cast<double>(triangles > 0 ? triangles : 1));
  std::uniform_real_distribution<double> offset(-edge, edge);
  for (unsigned int t = 0; t < triangles; ++t) {
    const cVector3d c(centre(rng), centre(rng), centre(rng));
    cVector3d p[3];
    for (cVector3d &v : p) v = c + cVector3d(offset(rng), offset(rng), offset(rng));
    mesh.newTriangle(p[0], p[1], p[2]);
  }
}

// a closed box [-h, h]^3 with each face split into n x n cells (12 n^2
// triangles), vertices shared along the edges, faces counter-clockwise seen
// from outside (from inside with inward: a room)
inline void MakeBox(cMesh &mesh, int n, double h = 1.0, bool inward = false) {
  if (n < 1) n = 1;
  const int side = n + 1;
  std::vector<int> index(static_cast<size_t>(side) * side * side, -1);
  auto vertexAt = [&](int i, int j, int k) {
    int &slot = index[(static_cast<size_t>(i) * side + j) * side + k];
    if (slot < 0)
      slot = static_cast<int>(mesh.newVertex(-h + 2.0 * h * i / n, -h + 2.0 * h * j / n, -h + 2.0 * h * k / n));
    return static_cast<unsigned int>(slot);
  };
  for (int axis = 0; axis < 3; ++axis) {
    for (int high = 0; high <= 1; ++high) {
      const int ua = (axis + 1) % 3, va = (axis + 2) % 3;
      for (int a = 0; a < n; ++a) {
        for (int b = 0; b < n; ++b) {
          unsigned int q[4];
          const int cu[4] = {a, a + 1, a + 1, a}, cv[4] = {b, b, b + 1, b + 1};
          for (int c = 0; c < 4; ++c) {
            int p[3];
            p[axis] = high ? n : 0;
            p[ua] = cu[c];
            p[va] = cv[c];
            q[c] = vertexAt(p[0], p[1], p[2]);
          }
          if (high != inward) {
            mesh.newTriangle(q[0], q[1], q[2]);
            mesh.newTriangle(q[0], q[2], q[3]);
          } else {
            mesh.newTriangle(q[0], q[2], q[1]);
            mesh.newTriangle(q[0], q[3], q[2]);
          }
        }
      }
    }
  }
}

// a closed torus about the z axis: centre circle of radius big, tube of radius
// small, around x along and tube cells (2 x around x tube triangles)
inline void MakeTorus(cMesh &mesh, int around, int tube, double big, double small) {
  const double pi = std::acos(-1.0);
  std::vector<unsigned int> id(static_cast<size_t>(around) * tube);
  for (int i = 0; i < around; ++i) {
    const double u = 2.0 * pi * i / around;
    for (int j = 0; j < tube; ++j) {
      const double v = 2.0 * pi * j / tube;
      const double r = big + small * std::cos(v);
      id[static_cast<size_t>(i) * tube + j] = mesh.newVertex(r * std::cos(u), r * std::sin(u), small * std::sin(v));
    }
  }
  auto at = [&](int i, int j) { return id[static_cast<size_t>(i % around) * tube + (j % tube)]; };
  for (int i = 0; i < around; ++i)
    for (int j = 0; j < tube; ++j) {
      // (u, v) increasing: du x dv points out of the tube
      mesh.newTriangle(at(i, j), at(i + 1, j), at(i + 1, j + 1));
      mesh.newTriangle(at(i, j), at(i + 1, j + 1), at(i, j + 1));
    }
}

}  // namespace bench

#endif
