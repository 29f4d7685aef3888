#include "tools/models/Writer3ds.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace models {

void ChunkWriter::Begin(uint16_t id) {
  m_open.push_back(m_out.size());
  U16(id);
  U32(0);
}

void ChunkWriter::End() {
  if (m_open.empty()) return;
  const size_t at = m_open.back();
  m_open.pop_back();
  const uint32_t length = static_cast<uint32_t>(m_out.size() - at);
  for (int i = 0; i < 4; ++i) m_out[at + 2 + i] = static_cast<uint8_t>(length >> (8 * i));
}

void ChunkWriter::U16(uint16_t v) {
  m_out.push_back(static_cast<uint8_t>(v));
  m_out.push_back(static_cast<uint8_t>(v >> 8));
}

void ChunkWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) m_out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ChunkWriter::F32(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  U32(bits);
}

void ChunkWriter::Str(const std::string &s) {
  m_out.insert(m_out.end(), s.begin(), s.end());
  m_out.push_back(0);
}

namespace {

bool Fail(std::string *error, const std::string &why) {
  if (error != nullptr) *error = why;
  return false;
}

bool NameOk(const std::string &name, size_t max) {
  return !name.empty() && name.size() <= max && name.find('\0') == std::string::npos;
}

void Colour(ChunkWriter &w, uint16_t id, const std::array<float, 3> &c) {
  w.Begin(id);
  w.Begin(0x0010);
  for (float v : c) w.F32(v);
  w.End();
  w.End();
}

void Percent(ChunkWriter &w, uint16_t id, float v) {
  w.Begin(id);
  w.Begin(0x0030);
  w.U16(static_cast<uint16_t>(std::lround(v * 100.0f)));
  w.End();
  w.End();
}

bool Check(const Scene &scene, std::string *error) {
  for (const Material &m : scene.materials) {
    if (!NameOk(m.name, kMaxMaterialName)) return Fail(error, "material name empty or too long: " + m.name);
    if (!m.texture.empty() && !NameOk(m.texture, kMaxMapName))
      return Fail(error, "texture name too long: " + m.texture);
    if (!(m.shininess >= 0 && m.shininess <= 1 && m.transparency >= 0 && m.transparency <= 1 &&
          m.shininessStrength >= 0 && m.shininessStrength <= 1))
      return Fail(error, "material " + m.name + ": a percentage outside 0..1");
  }
  for (const Object &o : scene.objects) {
    if (!NameOk(o.name, kMaxObjectName)) return Fail(error, "object name empty or too long: " + o.name);
    if (o.vertices.size() > kMaxVertices) return Fail(error, o.name + ": more vertices than the format counts");
    if (o.faces.size() > kMaxFaces) return Fail(error, o.name + ": more faces than the format counts");
    if (!o.uv.empty() && o.uv.size() != o.vertices.size()) return Fail(error, o.name + ": uv count");
    if (!o.smoothing.empty() && o.smoothing.size() != o.faces.size()) return Fail(error, o.name + ": smoothing count");
    if (!o.faceMaterial.empty() && o.faceMaterial.size() != o.faces.size())
      return Fail(error, o.name + ": face material count");
    for (const auto &f : o.faces)
      for (uint16_t i : f)
        if (i >= o.vertices.size()) return Fail(error, o.name + ": a face names a missing vertex");
    for (int m : o.faceMaterial)
      if (m < -1 || m >= static_cast<int>(scene.materials.size()))
        return Fail(error, o.name + ": a face names a missing material");
  }
  return true;
}

void WriteMaterial(ChunkWriter &w, const Material &m) {
  w.Begin(0xAFFF);
  w.Begin(0xA000);
  w.Str(m.name);
  w.End();
  Colour(w, 0xA010, m.ambient);
  Colour(w, 0xA020, m.diffuse);
  Colour(w, 0xA030, m.specular);
  Percent(w, 0xA040, m.shininess);
  Percent(w, 0xA041, m.shininessStrength);
  Percent(w, 0xA050, m.transparency);
  w.Begin(0xA100);
  w.U16(m.shading);
  w.End();
  if (!m.texture.empty()) {
    w.Begin(0xA200);
    w.Begin(0x0030);
    w.U16(100);
    w.End();
    w.Begin(0xA300);
    w.Str(m.texture);
    w.End();
    w.End();
  }
  w.End();
}

void WriteObject(ChunkWriter &w, const Scene &scene, const Object &o) {
  w.Begin(0x4000);
  w.Str(o.name);
  w.Begin(0x4100);

  w.Begin(0x4110);
  w.U16(static_cast<uint16_t>(o.vertices.size()));
  for (const auto &v : o.vertices)
    for (float c : v) w.F32(c);
  w.End();

  if (!o.uv.empty()) {
    w.Begin(0x4140);
    w.U16(static_cast<uint16_t>(o.uv.size()));
    for (const auto &t : o.uv) {
      w.F32(t[0]);
      w.F32(t[1]);
    }
    w.End();
  }

  // the local frame: identity axes, no offset
  w.Begin(0x4160);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) w.F32(r == c ? 1.0f : 0.0f);
  w.End();

  w.Begin(0x4120);
  w.U16(static_cast<uint16_t>(o.faces.size()));
  for (const auto &f : o.faces) {
    w.U16(f[0]);
    w.U16(f[1]);
    w.U16(f[2]);
    // all three edges visible
    w.U16(7);
  }
  for (size_t m = 0; m < scene.materials.size(); ++m) {
    std::vector<uint16_t> faces;
    for (size_t i = 0; i < o.faceMaterial.size(); ++i)
      if (o.faceMaterial[i] == static_cast<int>(m)) faces.push_back(static_cast<uint16_t>(i));
    if (faces.empty()) continue;
    w.Begin(0x4130);
    w.Str(scene.materials[m].name);
    w.U16(static_cast<uint16_t>(faces.size()));
    for (uint16_t i : faces) w.U16(i);
    w.End();
  }
  if (!o.smoothing.empty()) {
    w.Begin(0x4150);
    for (uint32_t s : o.smoothing) w.U32(s);
    w.End();
  }
  w.End();  // faces

  w.End();  // mesh
  w.End();  // object
}

}  // namespace

bool Encode3ds(const Scene &scene, std::vector<uint8_t> &out, std::string *error) {
  if (!Check(scene, error)) return false;
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x0002);  // file version
  w.U32(3);
  w.End();
  w.Begin(0x3D3D);
  w.Begin(0x3D3E);  // editor version
  w.U32(3);
  w.End();
  for (const Material &m : scene.materials) WriteMaterial(w, m);
  w.Begin(0x0100);  // one unit is one unit
  w.F32(1.0f);
  w.End();
  for (const Object &o : scene.objects) WriteObject(w, scene, o);
  w.End();
  w.End();
  if (w.Bytes().size() > UINT32_MAX) return Fail(error, "file longer than a chunk can say");
  out = w.Bytes();
  return true;
}

bool Write3dsFile(const Scene &scene, const std::string &path, std::string *error) {
  std::vector<uint8_t> bytes;
  if (!Encode3ds(scene, bytes, error)) return false;
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return Fail(error, "cannot create " + path);
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok) return Fail(error, "cannot write " + path);
  return true;
}

}  // namespace models
