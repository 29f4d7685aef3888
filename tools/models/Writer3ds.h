// Writes 3D Studio (.3ds) files: materials and triangle-mesh objects with
// texture coordinates, smoothing groups and per-face materials. Used by the
// model generator and by the loader's tests and benchmark.
#ifndef TOOLS_MODELS_WRITER3DS_H
#define TOOLS_MODELS_WRITER3DS_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace models {

// a chunk tree written front to back: each chunk's length is filled in when it ends
class ChunkWriter {
 public:
  void Begin(uint16_t id);
  void End();
  void U8(uint8_t v) { m_out.push_back(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void F32(float v);
  // the characters and a terminating zero
  void Str(const std::string &s);
  // every chunk begun has ended
  bool Closed() const { return m_open.empty(); }
  const std::vector<uint8_t> &Bytes() const { return m_out; }
  std::vector<uint8_t> &Bytes() { return m_out; }

 private:
  std::vector<uint8_t> m_out;
  std::vector<size_t> m_open;
};

struct Material {
  std::string name;
  std::array<float, 3> ambient{0.2f, 0.2f, 0.2f};
  std::array<float, 3> diffuse{0.8f, 0.8f, 0.8f};
  std::array<float, 3> specular{0.0f, 0.0f, 0.0f};
  // 0..1, stored as whole percent
  float shininess = 0.0f;
  float shininessStrength = 0.0f;
  float transparency = 0.0f;
  // 1 flat, 2 smooth, 3 phong, 4 metal
  uint16_t shading = 3;
  // texture map file name, none when empty
  std::string texture;
};

struct Object {
  std::string name;
  std::vector<std::array<float, 3>> vertices;
  // none, or one per vertex
  std::vector<std::array<float, 2>> uv;
  std::vector<std::array<uint16_t, 3>> faces;
  // none, or one mask per face
  std::vector<uint32_t> smoothing;
  // none, or one per face: an index into the scene's materials, -1 for none
  std::vector<int> faceMaterial;
};

struct Scene {
  std::vector<Material> materials;
  std::vector<Object> objects;
};

// limits of the format (16-bit counts) and of the names readers keep
constexpr size_t kMaxVertices = 65535;
constexpr size_t kMaxFaces = 65535;
constexpr size_t kMaxObjectName = 98;
constexpr size_t kMaxMaterialName = 29;
constexpr size_t kMaxMapName = 19;

// the whole file; false with a reason when the scene does not fit the format
bool Encode3ds(const Scene &scene, std::vector<uint8_t> &out, std::string *error = nullptr);
bool Write3dsFile(const Scene &scene, const std::string &path, std::string *error = nullptr);

}  // namespace models

#endif
