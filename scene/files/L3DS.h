// The 3D Studio importer: a whole .3ds file parsed from memory into plain lists
// of meshes, materials, lights and cameras, with vertex normals computed. The
// conversion into scene meshes lives in CFileLoader3DS.
#ifndef SCENE_L3DS_H
#define SCENE_L3DS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct LVector4 {
  float x, y, z, w;
};
struct LVector3 {
  float x, y, z;
};
struct LVector2 {
  float x, y;
};
struct LColor3 {
  float r, g, b;
};

// a face as read: corners, smoothing groups, unit normal (zero when the face has
// no area) and material identifier; indices are widened so that splitting
// vertices by smoothing group may pass 65535
struct LFace {
  uint32_t a, b, c;
  uint32_t smoothingGroups;
  LVector3 normal;
  uint32_t materialId;
};

struct LTriangle {
  uint32_t a, b, c;
};

struct LMatrix4 {
  float m[4][4];
};

// 0 leaves normals as read, 1 smooth vertex normals, 2 normals split by
// smoothing group and the tangent space
typedef int LOptimizationLevel;
constexpr LOptimizationLevel oNone = 0;
constexpr LOptimizationLevel oSimple = 1;
constexpr LOptimizationLevel oFull = 2;

enum LShading { sWireframe = 0, sFlat = 1, sGouraud = 2, sPhong = 3, sMetal = 4 };

struct LMap {
  float strength = 0.0f;
  std::string fileName;
  float uScale = 0.0f;
  float vScale = 0.0f;
  float uOffset = 0.0f;
  float vOffset = 0.0f;
  float angle = 0.0f;
};

class LObject {
 public:
  virtual ~LObject() = default;
  const std::string &GetName() const { return m_name; }
  void SetName(const std::string &name) { m_name = name; }
  bool IsObject(const std::string &name) const { return m_name == name; }

 protected:
  std::string m_name;
};

class LMaterial : public LObject {
 public:
  LMaterial();
  // the material's index in the importer's list
  uint32_t GetID() const { return m_id; }
  void SetID(uint32_t id) { m_id = id; }
  const LColor3 &GetAmbientColor() const { return m_ambient; }
  const LColor3 &GetDiffuseColor() const { return m_diffuse; }
  const LColor3 &GetSpecularColor() const { return m_specular; }
  void SetAmbientColor(const LColor3 &c) { m_ambient = c; }
  void SetDiffuseColor(const LColor3 &c) { m_diffuse = c; }
  void SetSpecularColor(const LColor3 &c) { m_specular = c; }
  // 0..1
  float GetShininess() const { return m_shininess; }
  void SetShininess(float s) { m_shininess = s; }
  // 0..1
  float GetTransparency() const { return m_transparency; }
  void SetTransparency(float t) { m_transparency = t; }
  LShading GetShadingType() const { return m_shading; }
  void SetShadingType(LShading s) { m_shading = s; }
  LMap &GetTextureMap1() { return m_texMap1; }
  LMap &GetTextureMap2() { return m_texMap2; }
  LMap &GetOpacityMap() { return m_opacMap; }
  LMap &GetBumpMap() { return m_bumpMap; }
  LMap &GetSpecularMap() { return m_specMap; }
  LMap &GetReflectionMap() { return m_reflMap; }
  const LMap &GetTextureMap1() const { return m_texMap1; }
  const LMap &GetTextureMap2() const { return m_texMap2; }
  const LMap &GetOpacityMap() const { return m_opacMap; }
  const LMap &GetBumpMap() const { return m_bumpMap; }
  const LMap &GetSpecularMap() const { return m_specMap; }
  const LMap &GetReflectionMap() const { return m_reflMap; }

 private:
  uint32_t m_id;
  LColor3 m_ambient;
  LColor3 m_diffuse;
  LColor3 m_specular;
  float m_shininess;
  float m_transparency;
  LShading m_shading;
  LMap m_texMap1, m_texMap2, m_opacMap, m_bumpMap, m_specMap, m_reflMap;
};

class LMesh : public LObject {
 public:
  LMesh();
  void Clear();

  // ---- vertices: position (w = 1), normal, texture coordinate, colour ----
  uint32_t GetVertexCount() const { return static_cast<uint32_t>(m_vertices.size()); }
  // every per-vertex array takes this size; new colours are black
  void SetVertexArraySize(uint32_t count);
  const LVector4 &GetVertex(uint32_t i) const { return m_vertices[i]; }
  const LVector3 &GetNormal(uint32_t i) const { return m_normals[i]; }
  const LVector2 &GetUV(uint32_t i) const { return m_uv[i]; }
  const LColor3 &GetColor(uint32_t i) const { return m_colors[i]; }
  // empty until the tangent space is computed (level 2)
  bool HasTangents() const { return !m_tangents.empty(); }
  const LVector3 &GetTangent(uint32_t i) const { return m_tangents[i]; }
  const LVector3 &GetBinormal(uint32_t i) const { return m_binormals[i]; }
  void SetVertex(uint32_t i, const LVector4 &v) { m_vertices[i] = v; }
  void SetNormal(uint32_t i, const LVector3 &n) { m_normals[i] = n; }
  void SetUV(uint32_t i, const LVector2 &uv) { m_uv[i] = uv; }
  void SetColor(uint32_t i, const LColor3 &c) { m_colors[i] = c; }

  // ---- faces as read, and the plain triangles filled from them ----
  uint32_t GetFaceCount() const { return static_cast<uint32_t>(m_faces.size()); }
  // new faces: corners 0, smoothing mask 1, material 0, zero normal
  void SetFaceArraySize(uint32_t count);
  const LFace &GetFace(uint32_t i) const { return m_faces[i]; }
  LFace &GetFace(uint32_t i) { return m_faces[i]; }
  uint32_t GetTriangleCount() const { return static_cast<uint32_t>(m_triangles.size()); }
  const LTriangle &GetTriangle(uint32_t i) const { return m_triangles[i]; }

  // ---- materials used by the faces, in order of first mention ----
  uint32_t GetMaterialCount() const { return static_cast<uint32_t>(m_materials.size()); }
  uint32_t GetMaterial(uint32_t index) const { return m_materials[index]; }
  // listed once, however often it is named
  void AddMaterial(uint32_t id);

  const LMatrix4 &GetMatrix() const { return m_matrix; }
  void SetMatrix(const LMatrix4 &m) { m_matrix = m; }

  // drops every face that names a vertex past the vertex list or a vertex whose
  // position is not finite; nothing after this reads a bad corner
  void DropInvalidFaces();
  // face normals, then vertex normals: the normalised sum over the faces of each
  // vertex, or with smoothing groups per corner over the faces sharing a group
  // (corners whose normals differ get their own copy of the vertex)
  void CalcNormals(bool useSmoothingGroups);
  // tangents and binormals from the texture coordinates, orthogonal to the normals
  void CalcTextureSpace();
  void TransferFacesToTriangles();

 private:
  void CalcFaceNormals();
  void SplitBySmoothingGroups();

  std::vector<LVector4> m_vertices;
  std::vector<LVector3> m_normals;
  std::vector<LVector2> m_uv;
  std::vector<LColor3> m_colors;
  std::vector<LVector3> m_tangents;
  std::vector<LVector3> m_binormals;
  std::vector<LFace> m_faces;
  std::vector<LTriangle> m_triangles;
  std::vector<uint32_t> m_materials;
  LMatrix4 m_matrix;
};

class LLight : public LObject {
 public:
  LVector3 position{0, 0, 0};
  LColor3 color{0, 0, 0};
  bool spotlight = false;
  LVector3 target{0, 0, 0};
  float hotspot = 0.0f;
  float falloff = 0.0f;
  float attenuationStart = 0.0f;
  float attenuationEnd = 0.0f;
};

class LCamera : public LObject {
 public:
  LVector3 position{0, 0, 0};
  LVector3 target{0, 0, 0};
  // degrees
  float fov = 0.0f;
  float bank = 0.0f;
  float nearPlane = 0.0f;
  float farPlane = 0.0f;
};

class LImporter {
 public:
  LImporter();
  virtual ~LImporter() = default;

  uint32_t GetMeshCount() const { return static_cast<uint32_t>(m_meshes.size()); }
  uint32_t GetLightCount() const { return static_cast<uint32_t>(m_lights.size()); }
  uint32_t GetMaterialCount() const { return static_cast<uint32_t>(m_materials.size()); }
  uint32_t GetCameraCount() const { return static_cast<uint32_t>(m_cameras.size()); }
  // null past the end
  LMesh *GetMesh(uint32_t index) { return index < m_meshes.size() ? &m_meshes[index] : nullptr; }
  LLight *GetLight(uint32_t index) { return index < m_lights.size() ? &m_lights[index] : nullptr; }
  LMaterial *GetMaterial(uint32_t index) { return index < m_materials.size() ? &m_materials[index] : nullptr; }
  LCamera *GetCamera(uint32_t index) { return index < m_cameras.size() ? &m_cameras[index] : nullptr; }
  // the first of that name, null when none
  LMesh *FindMesh(const std::string &name);
  LMaterial *FindMaterial(const std::string &name);
  LLight *FindLight(const std::string &name);

  void SetOptimizationLevel(LOptimizationLevel level) { m_optLevel = level; }
  LOptimizationLevel GetOptimizationLevel() const { return m_optLevel; }
  virtual void Clear();

 protected:
  std::vector<LMesh> m_meshes;
  std::vector<LLight> m_lights;
  std::vector<LMaterial> m_materials;
  std::vector<LCamera> m_cameras;
  LOptimizationLevel m_optLevel;
};

class L3DS : public LImporter {
 public:
  L3DS();
  // false when the file cannot be opened or read whole, memory cannot be had, or
  // it is not a 3DS file (no main chunk first, no editor chunk in it); the lists
  // are then empty
  bool LoadFile(const char *path);
  // the same from a file image in memory (not kept after the call)
  bool LoadFromMemory(const unsigned char *data, size_t size);

 private:
  struct LChunk {
    uint16_t id;
    // content start, and end (clamped to the parent's end)
    size_t start;
    size_t end;
  };

  // bounded reads: one that would pass the end returns 0, does not move and sets m_eof
  uint8_t ReadByte();
  uint16_t ReadShort();
  uint32_t ReadInt();
  float ReadFloat();
  // a zero-terminated string inside [position, limit): at most maxChars are kept,
  // the rest up to the terminator skipped; no terminator: everything to limit
  std::string ReadASCIIZ(size_t maxChars, size_t limit);
  // the chunk header at the read position inside the parent; false ends a walk
  // (no room for a header, or a length below the header's)
  bool ReadChunkHeader(size_t parentEnd, LChunk &chunk);
  // the first chunk of that identifier inside parent, from the read position
  bool FindChunk(uint16_t id, const LChunk &parent, LChunk &found);
  template <typename F>
  void ForEachChunk(size_t from, size_t end, F f);
  size_t BytesLeft(size_t end) const { return m_pos < end ? end - m_pos : 0; }

  bool Read3DS();
  void ReadMaterial(const LChunk &chunk);
  void ReadMap(const LChunk &chunk, LMap &map);
  LColor3 ReadColor(const LChunk &chunk);
  float ReadPercentage(const LChunk &chunk);
  void ReadObject(const LChunk &chunk);
  void ReadMesh(const LChunk &chunk, const std::string &name);
  void ReadFaceList(const LChunk &chunk, LMesh &mesh);
  void ReadLight(const LChunk &chunk, const std::string &name);
  void ReadCamera(const LChunk &chunk, const std::string &name);
  void CalcVertexColors();

  // the file image while parsing; not owned
  const unsigned char *m_buffer;
  size_t m_bufferSize;
  size_t m_pos;
  bool m_eof;
};

#endif
