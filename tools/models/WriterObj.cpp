#include "tools/models/WriterObj.h"

#include <cstdio>
#include <memory>

namespace models {

namespace {

struct FileCloser {
  void operator()(FILE *f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

bool Fail(std::string *error, const std::string &why) {
  if (error != nullptr) *error = why;
  return false;
}

std::string BaseName(const std::string &path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string LibraryPath(const std::string &objPath) {
  const size_t dot = objPath.find_last_of('.');
  const size_t sep = objPath.find_last_of("/\\");
  const std::string stem =
      (dot == std::string::npos || (sep != std::string::npos && dot < sep)) ? objPath : objPath.substr(0, dot);
  return stem + ".mtl";
}

bool WriteLibrary(const ObjScene &scene, const std::string &path, std::string *error) {
  File f(std::fopen(path.c_str(), "w"));
  if (!f) return Fail(error, "cannot write " + path);
  std::fprintf(f.get(), "# %zu materials\n", scene.materials.size());
  for (const ObjMaterial &m : scene.materials) {
    std::fprintf(f.get(), "\nnewmtl %s\n", m.name.c_str());
    std::fprintf(f.get(), "Ka %.4f %.4f %.4f\n", m.ambient[0], m.ambient[1], m.ambient[2]);
    std::fprintf(f.get(), "Kd %.4f %.4f %.4f\n", m.diffuse[0], m.diffuse[1], m.diffuse[2]);
    std::fprintf(f.get(), "Ks %.4f %.4f %.4f\n", m.specular[0], m.specular[1], m.specular[2]);
    std::fprintf(f.get(), "Ns %.1f\n", m.shininess);
    std::fprintf(f.get(), "d %.4f\n", m.opacity);
    if (!m.texture.empty()) std::fprintf(f.get(), "map_Kd %s\n", m.texture.c_str());
  }
  return std::ferror(f.get()) == 0 || Fail(error, "cannot write " + path);
}

}  // namespace

bool WriteObjFiles(const ObjScene &scene, const std::string &objPath, std::string *error) {
  for (const ObjGroup &g : scene.groups) {
    if (g.material >= int(scene.materials.size())) return Fail(error, "group " + g.name + ": no such material");
    size_t total = 0;
    for (uint32_t n : g.faceSizes) total += n;
    if (total != g.corners.size()) return Fail(error, "group " + g.name + ": face sizes do not match the corners");
    for (const ObjCorner &c : g.corners) {
      if (c.position >= scene.positions.size() || (c.texCoord != kNone && c.texCoord >= scene.texCoords.size()) ||
          (c.normal != kNone && c.normal >= scene.normals.size()))
        return Fail(error, "group " + g.name + ": index outside its array");
    }
  }
  const bool withMaterials = !scene.materials.empty();
  if (withMaterials && !WriteLibrary(scene, LibraryPath(objPath), error)) return false;

  File f(std::fopen(objPath.c_str(), "w"));
  if (!f) return Fail(error, "cannot write " + objPath);
  FILE *out = f.get();
  std::fprintf(out, "# %zu positions, %zu groups\n", scene.positions.size(), scene.groups.size());
  if (withMaterials) std::fprintf(out, "mtllib %s\n", BaseName(LibraryPath(objPath)).c_str());
  for (const auto &p : scene.positions) std::fprintf(out, "v %.6g %.6g %.6g\n", p[0], p[1], p[2]);
  for (const auto &t : scene.texCoords) std::fprintf(out, "vt %.6g %.6g\n", t[0], t[1]);
  for (const auto &n : scene.normals) std::fprintf(out, "vn %.5f %.5f %.5f\n", n[0], n[1], n[2]);
  for (const ObjGroup &g : scene.groups) {
    std::fprintf(out, "g %s\n", g.name.c_str());
    if (g.material >= 0) std::fprintf(out, "usemtl %s\n", scene.materials[size_t(g.material)].name.c_str());
    size_t at = 0;
    for (uint32_t n : g.faceSizes) {
      std::fputc('f', out);
      for (uint32_t k = 0; k < n; ++k) {
        const ObjCorner &c = g.corners[at++];
        if (c.texCoord == kNone && c.normal == kNone)
          std::fprintf(out, " %u", c.position + 1);
        else if (c.normal == kNone)
          std::fprintf(out, " %u/%u", c.position + 1, c.texCoord + 1);
        else if (c.texCoord == kNone)
          std::fprintf(out, " %u//%u", c.position + 1, c.normal + 1);
        else
          std::fprintf(out, " %u/%u/%u", c.position + 1, c.texCoord + 1, c.normal + 1);
      }
      std::fputc('\n', out);
    }
  }
  return std::ferror(out) == 0 || Fail(error, "cannot write " + objPath);
}

}  // namespace models
