// Writes Wavefront OBJ files with their MTL material library: positions, texture
// coordinates and normals, and polygon faces in named groups, one material per
// group. Used by the model generator and by the loader's benchmark.
#ifndef TOOLS_MODELS_WRITEROBJ_H
#define TOOLS_MODELS_WRITEROBJ_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace models {

struct ObjMaterial {
  std::string name;
  std::array<float, 3> ambient{0.2f, 0.2f, 0.2f};
  std::array<float, 3> diffuse{0.8f, 0.8f, 0.8f};
  std::array<float, 3> specular{0.0f, 0.0f, 0.0f};
  // "Ns", 0..1000
  float shininess = 0.0f;
  // "d": 1 is opaque
  float opacity = 1.0f;
  // "map_Kd", none when empty
  std::string texture;
};

// 0-based indices into the scene's arrays; kNone where a corner has none
constexpr uint32_t kNone = UINT32_MAX;
struct ObjCorner {
  uint32_t position;
  uint32_t texCoord = kNone;
  uint32_t normal = kNone;
};

struct ObjGroup {
  std::string name;
  // index into the scene's materials, -1 for none
  int material = -1;
  // the corner count of each face, its corners one after the other in corners
  std::vector<uint32_t> faceSizes;
  std::vector<ObjCorner> corners;

  void AddFace(std::initializer_list<ObjCorner> c) {
    faceSizes.push_back(uint32_t(c.size()));
    corners.insert(corners.end(), c);
  }
};

struct ObjScene {
  std::vector<ObjMaterial> materials;
  std::vector<std::array<float, 3>> positions;
  std::vector<std::array<float, 2>> texCoords;
  std::vector<std::array<float, 3>> normals;
  std::vector<ObjGroup> groups;
};

// objPath and, with materials, the library next to it (objPath with ".mtl" for its
// extension); false with a reason when a file cannot be written or an index is
// outside its array
bool WriteObjFiles(const ObjScene &scene, const std::string &objPath, std::string *error = nullptr);

}  // namespace models

#endif
