// Writes the shipped models (tooth.3ds, fraise.3ds, box.3ds, turntable.obj with its
// library) into a folder, by default resources/models, and prints what each holds.
#include "tools/models/Models.h"
#include "tools/models/Writer3ds.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

void Describe(const char *file, const models::Scene &scene) {
  std::printf("%s\n", file);
  for (const models::Object &o : scene.objects) {
    float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
    for (const auto &v : o.vertices)
      for (int i = 0; i < 3; ++i) {
        lo[i] = std::min(lo[i], v[i]);
        hi[i] = std::max(hi[i], v[i]);
      }
    double shortest = 1e30;
    // a closed surface uses every edge once in each direction; points that lie
    // at the same place count as one (groups split them into several vertices)
    std::map<std::array<float, 3>, int> place;
    std::vector<int> at(o.vertices.size());
    for (size_t i = 0; i < o.vertices.size(); ++i)
      at[i] = place.emplace(o.vertices[i], int(place.size())).first->second;
    std::map<std::pair<int, int>, int> edges;
    for (const auto &f : o.faces)
      for (int k = 0; k < 3; ++k) {
        const auto &a = o.vertices[f[k]], &b = o.vertices[f[(k + 1) % 3]];
        shortest =
            std::min(shortest, std::sqrt(double(a[0] - b[0]) * (a[0] - b[0]) + double(a[1] - b[1]) * (a[1] - b[1]) +
                                         double(a[2] - b[2]) * (a[2] - b[2])));
        ++edges[{at[f[k]], at[f[(k + 1) % 3]]}];
      }
    int open = 0;
    for (const auto &e : edges)
      if (e.second != 1 || edges.count({e.first.second, e.first.first}) == 0) ++open;
    std::printf("  %-8s %5zu vertices %5zu triangles  box %.1f..%.1f %.1f..%.1f %.1f..%.1f  shortest edge %.2f  %s\n",
                o.name.c_str(), o.vertices.size(), o.faces.size(), lo[0], hi[0], lo[1], hi[1], lo[2], hi[2], shortest,
                open == 0 ? "closed" : (std::to_string(open) + " unmatched edges").c_str());
  }
}

}  // namespace

int main(int argc, char **argv) {
  const std::string dir = argc > 1 ? argv[1] : "resources/models";
  const std::pair<const char *, models::Scene> files[] = {
      {"tooth.3ds", models::MakeTooth()}, {"fraise.3ds", models::MakeFraise()}, {"box.3ds", models::MakeBox()}};
  for (const auto &file : files) {
    std::string error;
    if (!models::Write3dsFile(file.second, dir + "/" + file.first, &error)) {
      std::fprintf(stderr, "make-models: %s\n", error.c_str());
      return 1;
    }
    Describe(file.first, file.second);
  }
  std::string error;
  const models::ObjScene turntable = models::MakeTurntable();
  if (!models::WriteObjFiles(turntable, dir + "/turntable.obj", &error)) {
    std::fprintf(stderr, "make-models: %s\n", error.c_str());
    return 1;
  }
  std::printf("turntable.obj\n  %zu positions %zu normals", turntable.positions.size(), turntable.normals.size());
  for (const models::ObjGroup &g : turntable.groups) std::printf("  %s: %zu faces", g.name.c_str(), g.faceSizes.size());
  std::printf("\n");
  return 0;
}
