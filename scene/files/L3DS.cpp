#include "scene/files/L3DS.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <sys/stat.h>

// the format is little-endian, like the only machines this is built for
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the 3DS reader copies little-endian values as they are");

namespace {

// chunk identifiers
constexpr uint16_t kMain = 0x4D4D;
constexpr uint16_t kEditor = 0x3D3D;
constexpr uint16_t kObject = 0x4000;
constexpr uint16_t kTriMesh = 0x4100;
constexpr uint16_t kVertexList = 0x4110;
constexpr uint16_t kFaceList = 0x4120;
constexpr uint16_t kFaceMaterial = 0x4130;
constexpr uint16_t kMapList = 0x4140;
constexpr uint16_t kSmoothGroup = 0x4150;
constexpr uint16_t kMeshMatrix = 0x4160;
constexpr uint16_t kLight = 0x4600;
constexpr uint16_t kSpotlight = 0x4610;
constexpr uint16_t kLightRangeStart = 0x4659;
constexpr uint16_t kLightRangeEnd = 0x465A;
constexpr uint16_t kCamera = 0x4700;
constexpr uint16_t kCameraRanges = 0x4720;
constexpr uint16_t kMaterial = 0xAFFF;
constexpr uint16_t kMatName = 0xA000;
constexpr uint16_t kMatAmbient = 0xA010;
constexpr uint16_t kMatDiffuse = 0xA020;
constexpr uint16_t kMatSpecular = 0xA030;
constexpr uint16_t kMatShininess = 0xA040;
constexpr uint16_t kMatTransparency = 0xA050;
constexpr uint16_t kMatWire = 0xA085;
constexpr uint16_t kMatShading = 0xA100;
constexpr uint16_t kMatTexMap1 = 0xA200;
constexpr uint16_t kMatTexMap2 = 0xA33A;
constexpr uint16_t kMatOpacMap = 0xA210;
constexpr uint16_t kMatBumpMap = 0xA230;
constexpr uint16_t kMatSpecMap = 0xA204;
constexpr uint16_t kMatReflMap = 0xA220;
constexpr uint16_t kMapFile = 0xA300;
constexpr uint16_t kMapUScale = 0xA354;
constexpr uint16_t kMapVScale = 0xA356;
constexpr uint16_t kMapUOffset = 0xA358;
constexpr uint16_t kMapVOffset = 0xA35A;
constexpr uint16_t kMapAngle = 0xA35C;
constexpr uint16_t kColorF = 0x0010;
constexpr uint16_t kColor24 = 0x0011;
constexpr uint16_t kLinColor24 = 0x0012;
constexpr uint16_t kLinColorF = 0x0013;
constexpr uint16_t kPercentInt = 0x0030;
constexpr uint16_t kPercentFloat = 0x0031;

constexpr size_t kHeaderSize = 6;

// name limits per use; material names are also what material groups name, so a
// group reads as many characters as the name it must match
constexpr size_t kObjectNameMax = 98;
constexpr size_t kMaterialNameMax = 29;
constexpr size_t kMapNameMax = 19;

// a percentage: above 1 is 1; below 0, or not a number, is 0
float ClampUnit(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v > 1.0f ? 1.0f : v;
}

LVector3 Sub(const LVector4 &a, const LVector4 &b) { return LVector3{a.x - b.x, a.y - b.y, a.z - b.z}; }

void Add(LVector3 &to, const LVector3 &v) {
  to.x += v.x;
  to.y += v.y;
  to.z += v.z;
}

// unit length, or zero when the vector has no usable length
LVector3 Normalized(double x, double y, double z) {
  const double len = std::sqrt(x * x + y * y + z * z);
  if (!(len > 0.0) || !std::isfinite(len)) return LVector3{0, 0, 0};
  return LVector3{float(x / len), float(y / len), float(z / len)};
}

}  // namespace

// ---- materials ----

LMaterial::LMaterial()
    : m_id(0),
      m_ambient{0, 0, 0},
      m_diffuse{0, 0, 0},
      m_specular{0, 0, 0},
      m_shininess(0.0f),
      m_transparency(0.0f),
      m_shading(sGouraud) {}

// ---- meshes ----

LMesh::LMesh() { Clear(); }

void LMesh::Clear() {
  m_vertices.clear();
  m_normals.clear();
  m_uv.clear();
  m_colors.clear();
  m_tangents.clear();
  m_binormals.clear();
  m_faces.clear();
  m_triangles.clear();
  m_materials.clear();
  std::memset(&m_matrix, 0, sizeof m_matrix);
  for (int i = 0; i < 4; ++i) m_matrix.m[i][i] = 1.0f;
}

void LMesh::SetVertexArraySize(uint32_t count) {
  m_vertices.resize(count, LVector4{0, 0, 0, 1});
  m_normals.resize(count, LVector3{0, 0, 0});
  m_uv.resize(count, LVector2{0, 0});
  m_colors.resize(count, LColor3{0, 0, 0});
  if (!m_tangents.empty()) {
    m_tangents.resize(count, LVector3{0, 0, 0});
    m_binormals.resize(count, LVector3{0, 0, 0});
  }
}

void LMesh::SetFaceArraySize(uint32_t count) { m_faces.resize(count, LFace{0, 0, 0, 1, {0, 0, 0}, 0}); }

void LMesh::AddMaterial(uint32_t id) {
  if (std::find(m_materials.begin(), m_materials.end(), id) == m_materials.end()) m_materials.push_back(id);
}

void LMesh::DropInvalidFaces() {
  const size_t n = m_vertices.size();
  std::vector<unsigned char> usable(n);
  for (size_t i = 0; i < n; ++i) {
    const LVector4 &v = m_vertices[i];
    usable[i] = std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
  }
  auto ok = [&](uint32_t i) { return i < n && usable[i]; };
  size_t kept = 0;
  for (const LFace &f : m_faces)
    if (ok(f.a) && ok(f.b) && ok(f.c)) m_faces[kept++] = f;
  m_faces.resize(kept);
}

void LMesh::CalcFaceNormals() {
  const uint32_t n = GetVertexCount();
  for (LFace &f : m_faces) {
    if (f.a >= n || f.b >= n || f.c >= n) {
      f.normal = LVector3{0, 0, 0};
      continue;
    }
    // in double: a face of float corners has an exact enough cross product
    const LVector4 &a = m_vertices[f.a], &b = m_vertices[f.b], &c = m_vertices[f.c];
    const double ux = double(b.x) - a.x, uy = double(b.y) - a.y, uz = double(b.z) - a.z;
    const double vx = double(c.x) - a.x, vy = double(c.y) - a.y, vz = double(c.z) - a.z;
    // a face without area has no direction: it stays zero and adds nothing
    f.normal = Normalized(uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx);
  }
}

void LMesh::CalcNormals(bool useSmoothingGroups) {
  CalcFaceNormals();
  if (useSmoothingGroups) {
    SplitBySmoothingGroups();
    return;
  }
  const uint32_t n = GetVertexCount();
  m_normals.assign(n, LVector3{0, 0, 0});
  for (const LFace &f : m_faces) {
    if (f.a >= n || f.b >= n || f.c >= n) continue;
    Add(m_normals[f.a], f.normal);
    Add(m_normals[f.b], f.normal);
    Add(m_normals[f.c], f.normal);
  }
  for (LVector3 &v : m_normals) v = Normalized(v.x, v.y, v.z);
}

void LMesh::SplitBySmoothingGroups() {
  const uint32_t n = GetVertexCount();
  m_normals.assign(n, LVector3{0, 0, 0});
  // the corners around each vertex, as face * 3 + corner
  std::vector<uint32_t> first(size_t(n) + 1, 0);
  for (const LFace &f : m_faces) {
    if (f.a >= n || f.b >= n || f.c >= n) continue;
    ++first[f.a + 1], ++first[f.b + 1], ++first[f.c + 1];
  }
  for (uint32_t v = 0; v < n; ++v) first[v + 1] += first[v];
  std::vector<uint32_t> corners(first[n]);
  std::vector<uint32_t> fill(first.begin(), first.end() - 1);
  for (uint32_t i = 0; i < m_faces.size(); ++i) {
    const LFace &f = m_faces[i];
    if (f.a >= n || f.b >= n || f.c >= n) continue;
    corners[fill[f.a]++] = i * 3 + 0;
    corners[fill[f.b]++] = i * 3 + 1;
    corners[fill[f.c]++] = i * 3 + 2;
  }
  auto cornerRef = [this](uint32_t c) -> uint32_t & {
    LFace &f = m_faces[c / 3];
    return c % 3 == 0 ? f.a : (c % 3 == 1 ? f.b : f.c);
  };

  // around one vertex, faces whose groups overlap (directly or through others)
  // share a normal; a face without any group is flat on its own
  std::vector<uint32_t> cluster;
  std::vector<LVector3> sums;
  std::vector<uint32_t> vertexOf;
  for (uint32_t v = 0; v < n; ++v) {
    const uint32_t *begin = corners.data() + first[v], *end = corners.data() + first[v + 1];
    if (begin == end) continue;
    int parent[32];
    for (int b = 0; b < 32; ++b) parent[b] = b;
    auto find = [&parent](int b) {
      while (parent[b] != b) b = parent[b] = parent[parent[b]];
      return b;
    };
    for (const uint32_t *c = begin; c != end; ++c) {
      const uint32_t mask = m_faces[*c / 3].smoothingGroups;
      if (mask == 0) continue;
      const int low = __builtin_ctz(mask);
      for (uint32_t rest = mask & (mask - 1); rest != 0; rest &= rest - 1) {
        const int a = find(low), b = find(__builtin_ctz(rest));
        if (a != b) parent[b] = a;
      }
    }
    // clusters 0..31 by group root, then one per face without a group
    const size_t count = size_t(end - begin);
    cluster.assign(count, 0);
    sums.assign(32 + count, LVector3{0, 0, 0});
    for (size_t i = 0; i < count; ++i) {
      const LFace &f = m_faces[begin[i] / 3];
      cluster[i] = f.smoothingGroups == 0 ? uint32_t(32 + i) : uint32_t(find(__builtin_ctz(f.smoothingGroups)));
      Add(sums[cluster[i]], f.normal);
    }
    // the first cluster keeps the vertex, each further one gets a copy
    vertexOf.assign(32 + count, UINT32_MAX);
    bool used = false;
    for (size_t i = 0; i < count; ++i) {
      uint32_t &target = vertexOf[cluster[i]];
      if (target == UINT32_MAX) {
        const LVector3 &s = sums[cluster[i]];
        const LVector3 nrm = Normalized(s.x, s.y, s.z);
        if (!used) {
          target = v;
          used = true;
        } else {
          target = static_cast<uint32_t>(m_vertices.size());
          m_vertices.push_back(m_vertices[v]);
          m_uv.push_back(m_uv[v]);
          m_colors.push_back(m_colors[v]);
          m_normals.push_back(LVector3{0, 0, 0});
          if (!m_tangents.empty()) {
            m_tangents.push_back(m_tangents[v]);
            m_binormals.push_back(m_binormals[v]);
          }
        }
        m_normals[target] = nrm;
      }
      cornerRef(begin[i]) = target;
    }
  }
}

void LMesh::CalcTextureSpace() {
  const uint32_t n = GetVertexCount();
  std::vector<LVector3> t(n, LVector3{0, 0, 0}), b(n, LVector3{0, 0, 0});
  for (const LFace &f : m_faces) {
    if (f.a >= n || f.b >= n || f.c >= n) continue;
    const LVector3 e1 = Sub(m_vertices[f.b], m_vertices[f.a]), e2 = Sub(m_vertices[f.c], m_vertices[f.a]);
    const float du1 = m_uv[f.b].x - m_uv[f.a].x, dv1 = m_uv[f.b].y - m_uv[f.a].y;
    const float du2 = m_uv[f.c].x - m_uv[f.a].x, dv2 = m_uv[f.c].y - m_uv[f.a].y;
    const float det = du1 * dv2 - du2 * dv1;
    // a face whose texture coordinates have no area says nothing about the directions
    if (!(std::fabs(det) > 1e-20f) || !std::isfinite(det)) continue;
    const float r = 1.0f / det;
    const LVector3 ft{(e1.x * dv2 - e2.x * dv1) * r, (e1.y * dv2 - e2.y * dv1) * r, (e1.z * dv2 - e2.z * dv1) * r};
    const LVector3 fb{(e2.x * du1 - e1.x * du2) * r, (e2.y * du1 - e1.y * du2) * r, (e2.z * du1 - e1.z * du2) * r};
    for (uint32_t v : {f.a, f.b, f.c}) {
      Add(t[v], ft);
      Add(b[v], fb);
    }
  }
  m_tangents.assign(n, LVector3{0, 0, 0});
  m_binormals.assign(n, LVector3{0, 0, 0});
  for (uint32_t v = 0; v < n; ++v) {
    const LVector3 &nr = m_normals[v];
    const float d = nr.x * t[v].x + nr.y * t[v].y + nr.z * t[v].z;
    LVector3 tan = Normalized(t[v].x - nr.x * d, t[v].y - nr.y * d, t[v].z - nr.z * d);
    LVector3 bin = Normalized(nr.y * tan.z - nr.z * tan.y, nr.z * tan.x - nr.x * tan.z, nr.x * tan.y - nr.y * tan.x);
    // keep the handedness of the texture mapping
    if (bin.x * b[v].x + bin.y * b[v].y + bin.z * b[v].z < 0.0f) bin = LVector3{-bin.x, -bin.y, -bin.z};
    m_tangents[v] = tan;
    m_binormals[v] = bin;
  }
}

void LMesh::TransferFacesToTriangles() {
  m_triangles.resize(m_faces.size());
  for (size_t i = 0; i < m_faces.size(); ++i) m_triangles[i] = LTriangle{m_faces[i].a, m_faces[i].b, m_faces[i].c};
}

// ---- importer ----

LImporter::LImporter() : m_optLevel(oSimple) {}

void LImporter::Clear() {
  m_meshes.clear();
  m_lights.clear();
  m_materials.clear();
  m_cameras.clear();
}

LMesh *LImporter::FindMesh(const std::string &name) {
  for (LMesh &m : m_meshes)
    if (m.IsObject(name)) return &m;
  return nullptr;
}

LMaterial *LImporter::FindMaterial(const std::string &name) {
  for (LMaterial &m : m_materials)
    if (m.IsObject(name)) return &m;
  return nullptr;
}

LLight *LImporter::FindLight(const std::string &name) {
  for (LLight &l : m_lights)
    if (l.IsObject(name)) return &l;
  return nullptr;
}

// ---- 3DS reader ----

L3DS::L3DS() : m_buffer(nullptr), m_bufferSize(0), m_pos(0), m_eof(false) {}

bool L3DS::LoadFile(const char *path) {
  Clear();
  if (path == nullptr) return false;
  FILE *f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  // a regular file no longer than a chunk can say (a folder opens too, with no size)
  struct stat info;
  if (fstat(fileno(f), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
      uint64_t(info.st_size) > UINT32_MAX) {
    std::fclose(f);
    return false;
  }
  const size_t size = size_t(info.st_size);
  std::unique_ptr<unsigned char[]> image(new (std::nothrow) unsigned char[size]);
  if (image == nullptr) {
    std::fclose(f);
    return false;
  }
  const size_t got = std::fread(image.get(), 1, size, f);
  std::fclose(f);
  if (got != size) return false;
  return LoadFromMemory(image.get(), got);
}

bool L3DS::LoadFromMemory(const unsigned char *data, size_t size) {
  Clear();
  if (data == nullptr || size == 0) return false;
  m_buffer = data;
  m_bufferSize = size;
  m_pos = 0;
  m_eof = false;
  const bool ok = Read3DS();
  m_buffer = nullptr;
  m_bufferSize = 0;
  if (!ok) Clear();
  return ok;
}

uint8_t L3DS::ReadByte() {
  if (m_pos >= m_bufferSize) {
    m_eof = true;
    return 0;
  }
  return m_buffer[m_pos++];
}

uint16_t L3DS::ReadShort() {
  if (m_bufferSize - std::min(m_pos, m_bufferSize) < 2) {
    m_eof = true;
    return 0;
  }
  uint16_t v;
  std::memcpy(&v, m_buffer + m_pos, 2);
  m_pos += 2;
  return v;
}

uint32_t L3DS::ReadInt() {
  if (m_bufferSize - std::min(m_pos, m_bufferSize) < 4) {
    m_eof = true;
    return 0;
  }
  uint32_t v;
  std::memcpy(&v, m_buffer + m_pos, 4);
  m_pos += 4;
  return v;
}

float L3DS::ReadFloat() {
  if (m_bufferSize - std::min(m_pos, m_bufferSize) < 4) {
    m_eof = true;
    return 0.0f;
  }
  float v;
  std::memcpy(&v, m_buffer + m_pos, 4);
  m_pos += 4;
  return v;
}

std::string L3DS::ReadASCIIZ(size_t maxChars, size_t limit) {
  limit = std::min(limit, m_bufferSize);
  if (m_pos >= limit) {
    m_eof = m_eof || m_pos >= m_bufferSize;
    return std::string();
  }
  const unsigned char *from = m_buffer + m_pos;
  const void *zero = std::memchr(from, 0, limit - m_pos);
  const size_t len = zero != nullptr ? size_t(static_cast<const unsigned char *>(zero) - from) : limit - m_pos;
  std::string s(reinterpret_cast<const char *>(from), std::min(len, maxChars));
  // past the terminator: what follows a cut name is still part of the name
  m_pos = zero != nullptr ? m_pos + len + 1 : limit;
  return s;
}

bool L3DS::ReadChunkHeader(size_t parentEnd, LChunk &chunk) {
  // a parent that claims more than the file holds ends with the file
  parentEnd = std::min(parentEnd, m_bufferSize);
  if (m_pos >= parentEnd || parentEnd - m_pos < kHeaderSize) {
    if (m_pos + kHeaderSize > m_bufferSize) m_eof = true;
    return false;
  }
  const size_t at = m_pos;
  chunk.id = ReadShort();
  const uint32_t length = ReadInt();
  // a length that does not cover its own header would never move the walk on
  if (length < kHeaderSize) return false;
  chunk.start = at + kHeaderSize;
  chunk.end = std::min(at + size_t(length), parentEnd);
  return true;
}

bool L3DS::FindChunk(uint16_t id, const LChunk &parent, LChunk &found) {
  size_t at = std::max(m_pos, parent.start);
  while (true) {
    m_pos = at;
    if (!ReadChunkHeader(parent.end, found)) return false;
    if (found.id == id) return true;
    at = found.end;
  }
}

template <typename F>
void L3DS::ForEachChunk(size_t from, size_t end, F f) {
  size_t at = from;
  LChunk chunk;
  while (true) {
    m_pos = at;
    if (!ReadChunkHeader(end, chunk)) return;
    f(chunk);
    // every chunk is at least a header long: the walk always advances
    at = chunk.end;
  }
}

bool L3DS::Read3DS() {
  m_pos = 0;
  LChunk main;
  if (!ReadChunkHeader(m_bufferSize, main) || main.id != kMain) return false;
  LChunk editor;
  if (!FindChunk(kEditor, main, editor)) return false;

  // materials first: the objects' material groups find them by name
  ForEachChunk(editor.start, editor.end, [this](const LChunk &c) {
    if (c.id == kMaterial) ReadMaterial(c);
  });
  ForEachChunk(editor.start, editor.end, [this](const LChunk &c) {
    if (c.id == kObject) ReadObject(c);
  });
  // the keyframer (0xB000) changes nothing here and is not read

  for (LMesh &mesh : m_meshes) {
    if (m_optLevel == oSimple) {
      mesh.CalcNormals(false);
    } else if (m_optLevel == oFull) {
      mesh.CalcNormals(true);
      mesh.CalcTextureSpace();
    }
  }
  if (!m_materials.empty()) CalcVertexColors();
  for (LMesh &mesh : m_meshes) mesh.TransferFacesToTriangles();
  return true;
}

LColor3 L3DS::ReadColor(const LChunk &chunk) {
  m_pos = chunk.start;
  LChunk c;
  if (!ReadChunkHeader(chunk.end, c)) return LColor3{0, 0, 0};
  switch (c.id) {
    case kColorF:
    case kLinColorF: {
      const float r = ReadFloat(), g = ReadFloat(), b = ReadFloat();
      return LColor3{r, g, b};
    }
    case kColor24:
    case kLinColor24: {
      const float r = ReadByte() / 255.0f, g = ReadByte() / 255.0f, b = ReadByte() / 255.0f;
      return LColor3{r, g, b};
    }
    default:
      return LColor3{0, 0, 0};
  }
}

float L3DS::ReadPercentage(const LChunk &chunk) {
  m_pos = chunk.start;
  LChunk c;
  if (!ReadChunkHeader(chunk.end, c)) return 0.0f;
  if (c.id == kPercentInt) return ClampUnit(int16_t(ReadShort()) / 100.0f);
  if (c.id == kPercentFloat) return ClampUnit(ReadFloat());
  return 0.0f;
}

void L3DS::ReadMap(const LChunk &chunk, LMap &map) {
  ForEachChunk(chunk.start, chunk.end, [this, &map](const LChunk &c) {
    m_pos = c.start;
    switch (c.id) {
      case kPercentInt:
        map.strength = ClampUnit(int16_t(ReadShort()) / 100.0f);
        break;
      case kPercentFloat:
        map.strength = ClampUnit(ReadFloat());
        break;
      case kMapFile:
        map.fileName = ReadASCIIZ(kMapNameMax, c.end);
        break;
      case kMapUScale:
        map.uScale = ReadFloat();
        break;
      case kMapVScale:
        map.vScale = ReadFloat();
        break;
      case kMapUOffset:
        map.uOffset = ReadFloat();
        break;
      case kMapVOffset:
        map.vOffset = ReadFloat();
        break;
      case kMapAngle:
        map.angle = ReadFloat();
        break;
      default:
        break;
    }
  });
}

void L3DS::ReadMaterial(const LChunk &chunk) {
  LMaterial mat;
  mat.SetID(static_cast<uint32_t>(m_materials.size()));
  ForEachChunk(chunk.start, chunk.end, [this, &mat](const LChunk &c) {
    m_pos = c.start;
    switch (c.id) {
      case kMatName:
        mat.SetName(ReadASCIIZ(kMaterialNameMax, c.end));
        break;
      case kMatAmbient:
        mat.SetAmbientColor(ReadColor(c));
        break;
      case kMatDiffuse:
        mat.SetDiffuseColor(ReadColor(c));
        break;
      case kMatSpecular:
        mat.SetSpecularColor(ReadColor(c));
        break;
      case kMatShininess:
        mat.SetShininess(ReadPercentage(c));
        break;
      case kMatTransparency:
        mat.SetTransparency(ReadPercentage(c));
        break;
      case kMatWire:
        mat.SetShadingType(sWireframe);
        break;
      case kMatShading: {
        const uint16_t s = ReadShort();
        if (s <= sMetal) mat.SetShadingType(static_cast<LShading>(s));
        break;
      }
      case kMatTexMap1:
        ReadMap(c, mat.GetTextureMap1());
        break;
      case kMatTexMap2:
        ReadMap(c, mat.GetTextureMap2());
        break;
      case kMatOpacMap:
        ReadMap(c, mat.GetOpacityMap());
        break;
      case kMatBumpMap:
        ReadMap(c, mat.GetBumpMap());
        break;
      case kMatSpecMap:
        ReadMap(c, mat.GetSpecularMap());
        break;
      case kMatReflMap:
        ReadMap(c, mat.GetReflectionMap());
        if (mat.GetReflectionMap().fileName.empty()) mat.GetReflectionMap().fileName = "auto";
        break;
      default:
        break;
    }
  });
  m_materials.push_back(std::move(mat));
}

void L3DS::ReadObject(const LChunk &chunk) {
  m_pos = chunk.start;
  const std::string name = ReadASCIIZ(kObjectNameMax, chunk.end);
  ForEachChunk(m_pos, chunk.end, [this, &name](const LChunk &c) {
    if (c.id == kTriMesh)
      ReadMesh(c, name);
    else if (c.id == kLight)
      ReadLight(c, name);
    else if (c.id == kCamera)
      ReadCamera(c, name);
  });
}

void L3DS::ReadMesh(const LChunk &chunk, const std::string &name) {
  LMesh mesh;
  mesh.SetName(name);
  ForEachChunk(chunk.start, chunk.end, [this, &mesh](const LChunk &c) {
    m_pos = c.start;
    switch (c.id) {
      case kVertexList: {
        // a count is believed only as far as the chunk holds the records (read
        // first: it moves the position the room is measured from)
        const uint16_t claimed = ReadShort();
        const uint32_t count = std::min<size_t>(claimed, BytesLeft(c.end) / 12);
        mesh.SetVertexArraySize(count);
        for (uint32_t i = 0; i < count; ++i) {
          float p[3];
          std::memcpy(p, m_buffer + m_pos, sizeof p);
          m_pos += sizeof p;
          mesh.SetVertex(i, LVector4{p[0], p[1], p[2], 1.0f});
        }
        break;
      }
      case kFaceList:
        ReadFaceList(c, mesh);
        break;
      case kMapList: {
        const uint16_t claimed = ReadShort();
        const uint32_t count = std::min<size_t>(claimed, BytesLeft(c.end) / 8);
        if (mesh.GetVertexCount() == 0) mesh.SetVertexArraySize(count);
        // never more pairs than there are vertices to take them
        const uint32_t n = std::min(count, mesh.GetVertexCount());
        for (uint32_t i = 0; i < n; ++i) {
          float uv[2];
          std::memcpy(uv, m_buffer + m_pos, sizeof uv);
          m_pos += sizeof uv;
          mesh.SetUV(i, LVector2{uv[0], uv[1]});
        }
        break;
      }
      case kMeshMatrix: {
        LMatrix4 m = mesh.GetMatrix();
        for (int i = 0; i < 3; ++i)
          for (int j = 0; j < 3; ++j) m.m[i][j] = ReadFloat();
        mesh.SetMatrix(m);
        break;
      }
      default:
        break;
    }
  });
  mesh.DropInvalidFaces();
  m_meshes.push_back(std::move(mesh));
}

void L3DS::ReadFaceList(const LChunk &chunk, LMesh &mesh) {
  const uint16_t claimed = ReadShort();
  const uint32_t count = std::min<size_t>(claimed, BytesLeft(chunk.end) / 8);
  mesh.SetFaceArraySize(0);
  mesh.SetFaceArraySize(count);
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t rec[4];
    std::memcpy(rec, m_buffer + m_pos, sizeof rec);
    m_pos += sizeof rec;
    LFace &f = mesh.GetFace(i);
    f.a = rec[0];
    f.b = rec[1];
    f.c = rec[2];
    // rec[3], the edge-visibility flags, is not used
  }
  ForEachChunk(m_pos, chunk.end, [this, &mesh, count](const LChunk &c) {
    m_pos = c.start;
    if (c.id == kFaceMaterial) {
      const std::string name = ReadASCIIZ(kMaterialNameMax, c.end);
      const uint16_t claimed = ReadShort();
      const uint32_t n = std::min<size_t>(claimed, BytesLeft(c.end) / 2);
      const LMaterial *mat = FindMaterial(name);
      if (mat == nullptr) return;
      mesh.AddMaterial(mat->GetID());
      for (uint32_t i = 0; i < n; ++i) {
        const uint16_t face = ReadShort();
        // an entry naming a face that does not exist is skipped
        if (face < count) mesh.GetFace(face).materialId = mat->GetID();
      }
    } else if (c.id == kSmoothGroup) {
      const uint32_t n = std::min<size_t>(count, BytesLeft(c.end) / 4);
      for (uint32_t i = 0; i < n; ++i) mesh.GetFace(i).smoothingGroups = ReadInt();
    }
  });
}

void L3DS::ReadLight(const LChunk &chunk, const std::string &name) {
  LLight light;
  light.SetName(name);
  m_pos = chunk.start;
  light.position.x = ReadFloat();
  light.position.y = ReadFloat();
  light.position.z = ReadFloat();
  ForEachChunk(m_pos, chunk.end, [this, &light](const LChunk &c) {
    m_pos = c.start;
    switch (c.id) {
      case kColorF:
      case kLinColorF:
        light.color.r = ReadFloat();
        light.color.g = ReadFloat();
        light.color.b = ReadFloat();
        break;
      case kColor24:
      case kLinColor24:
        light.color.r = ReadByte() / 255.0f;
        light.color.g = ReadByte() / 255.0f;
        light.color.b = ReadByte() / 255.0f;
        break;
      case kSpotlight:
        light.spotlight = true;
        light.target.x = ReadFloat();
        light.target.y = ReadFloat();
        light.target.z = ReadFloat();
        light.hotspot = ReadFloat();
        light.falloff = ReadFloat();
        break;
      case kLightRangeStart:
        light.attenuationStart = ReadFloat();
        break;
      case kLightRangeEnd:
        light.attenuationEnd = ReadFloat();
        break;
      default:
        break;
    }
  });
  m_lights.push_back(std::move(light));
}

void L3DS::ReadCamera(const LChunk &chunk, const std::string &name) {
  LCamera camera;
  camera.SetName(name);
  m_pos = chunk.start;
  camera.position.x = ReadFloat();
  camera.position.y = ReadFloat();
  camera.position.z = ReadFloat();
  camera.target.x = ReadFloat();
  camera.target.y = ReadFloat();
  camera.target.z = ReadFloat();
  camera.bank = ReadFloat();
  // the lens as a focal length in millimetres on 35 mm film
  const float lens = ReadFloat();
  camera.fov = lens > 0.0f ? 2400.0f / lens : 0.0f;
  ForEachChunk(m_pos, chunk.end, [this, &camera](const LChunk &c) {
    if (c.id != kCameraRanges) return;
    m_pos = c.start;
    camera.nearPlane = ReadFloat();
    camera.farPlane = ReadFloat();
  });
  m_cameras.push_back(std::move(camera));
}

void L3DS::CalcVertexColors() {
  // the running material carries over from face to face and from mesh to mesh
  uint32_t running = 0;
  const uint32_t materials = static_cast<uint32_t>(m_materials.size());
  for (LMesh &mesh : m_meshes) {
    const uint32_t n = mesh.GetVertexCount();
    for (uint32_t i = 0; i < mesh.GetFaceCount(); ++i) {
      const LFace &f = mesh.GetFace(i);
      if (f.materialId < materials) running = f.materialId;
      const LColor3 &c = m_materials[running].GetDiffuseColor();
      for (uint32_t v : {f.a, f.b, f.c})
        if (v < n) mesh.SetColor(v, c);
    }
  }
}
