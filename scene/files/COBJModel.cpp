#include "scene/files/COBJModel.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

inline const char *SkipSpaces(const char *p, const char *end) {
  while (p < end && IsSpace(*p)) ++p;
  return p;
}

inline const char *TokenEnd(const char *p, const char *end) {
  while (p < end && !IsSpace(*p)) ++p;
  return p;
}

// the rest of a line without the spaces around it, so that names written with
// trailing spaces still match
std::string Rest(const char *p, const char *end) {
  p = SkipSpaces(p, end);
  while (end > p && IsSpace(end[-1])) --end;
  return std::string(p, end);
}

inline bool Keyword(const char *p, const char *tokenEnd, const char *word) {
  const size_t n = std::strlen(word);
  return static_cast<size_t>(tokenEnd - p) == n && std::memcmp(p, word, n) == 0;
}

// up to max numbers of the line; a comment or a word ends them. Numbers that are
// not finite count as 0, so no position or colour is poisoned.
int ReadFloats(const char *p, const char *end, double *out, int max) {
  int n = 0;
  while (n < max) {
    p = SkipSpaces(p, end);
    if (p >= end || *p == '#') break;
    if (*p == '+') ++p;
    double v = 0.0;
    const auto r = std::from_chars(p, end, v);
    if (r.ec == std::errc::result_out_of_range) {
      v = 0.0;
    } else if (r.ec != std::errc() || (r.ptr < end && !IsSpace(*r.ptr))) {
      break;
    }
    out[n++] = std::isfinite(v) ? v : 0.0;
    p = r.ptr;
  }
  return n;
}

// a 1-based index, or a negative one counted back from the end, into count items;
// false when it names none of them
bool ResolveIndex(const char *&p, const char *end, size_t count, int &index) {
  long v = 0;
  const auto r = std::from_chars(p, end, v);
  if (r.ec != std::errc()) return false;
  p = r.ptr;
  long i = v > 0 ? v - 1 : static_cast<long>(count) + v;
  if (v == 0 || i < 0 || static_cast<size_t>(i) >= count) return false;
  index = static_cast<int>(i);
  return true;
}

void ReadColor(const char *p, const char *end, float *rgb) {
  double v[3];
  const int n = ReadFloats(p, end, v, 3);
  if (n == 0) return;
  // "Kd r" alone is a grey
  rgb[0] = static_cast<float>(v[0]);
  rgb[1] = static_cast<float>(n > 1 ? v[1] : v[0]);
  rgb[2] = static_cast<float>(n > 2 ? v[2] : v[0]);
}

// calls f(begin, end) for each line of the text
template <typename F>
void ForEachLine(const char *data, size_t size, F f) {
  const char *p = data, *end = data + size;
  while (p < end) {
    const void *nl = std::memchr(p, '\n', static_cast<size_t>(end - p));
    const char *lineEnd = nl != nullptr ? static_cast<const char *>(nl) : end;
    f(p, lineEnd);
    p = lineEnd + 1;
  }
}

// the folder part of a path with its separator, empty when there is none
std::string Prefix(const char *path) {
  const char *slash = std::strrchr(path, '/');
  const char *back = std::strrchr(path, '\\');
  const char *sep = slash > back ? slash : back;
  return sep == nullptr ? std::string() : std::string(path, sep + 1);
}

}  // namespace

bool cReadWholeFile(const std::string &path, std::string &text) {
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  text.clear();
  char buf[65536];
  size_t n;
  bool ok = true;
  try {
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  } catch (...) {
    ok = false;
  }
  if (std::ferror(f)) ok = false;
  std::fclose(f);
  return ok;
}

void cOBJModel::clear() {
  m_positions.clear();
  m_normals.clear();
  m_texCoords.clear();
  m_faces.clear();
  m_corners.clear();
  m_materials.clear();
  m_groups.clear();
  m_info = cOBJFileInfo();
}

bool cOBJModel::LoadModel(const char *path) {
  if (path == nullptr) return false;
  std::string text;
  if (!cReadWholeFile(path, text)) return false;
  return LoadFromMemory(text.data(), text.size(), Prefix(path));
}

bool cOBJModel::readFace(const char *p, const char *end, int material) {
  const size_t first = m_corners.size();
  bool bad = false;
  for (;;) {
    p = SkipSpaces(p, end);
    if (p >= end || *p == '#') break;
    // each corner has its own form: v, v/t, v//n or v/t/n
    cOBJCorner c;
    bad = !ResolveIndex(p, end, m_positions.size(), c.m_position);
    if (!bad && p < end && *p == '/') {
      ++p;
      if (p < end && *p != '/' && !IsSpace(*p)) bad = !ResolveIndex(p, end, m_texCoords.size(), c.m_texCoord);
      if (!bad && p < end && *p == '/') {
        ++p;
        bad = !ResolveIndex(p, end, m_normals.size(), c.m_normal);
      }
    }
    if (bad || (p < end && !IsSpace(*p))) {
      bad = true;
      break;
    }
    m_corners.push_back(c);
  }
  // a corner that names nothing drops the whole face
  if (bad || m_corners.size() == first) {
    m_corners.resize(first);
    return false;
  }
  cFace face;
  face.m_vertexCount = static_cast<unsigned int>(m_corners.size() - first);
  face.m_firstCorner = static_cast<unsigned int>(first);
  face.m_materialIndex = material;
  face.m_groupIndex = static_cast<int>(m_groups.size()) - 1;
  m_faces.push_back(face);
  return true;
}

bool cOBJModel::LoadFromMemory(const char *data, size_t size, const std::string &directory) {
  clear();
  if (data == nullptr && size > 0) return false;
  try {
    int material = 0;
    ForEachLine(data, size, [&](const char *p, const char *end) {
      p = SkipSpaces(p, end);
      const char *k = TokenEnd(p, end);
      if (p == k || *p == '#') return;
      double v[3] = {0.0, 0.0, 0.0};
      if (Keyword(p, k, "v")) {
        ReadFloats(k, end, v, 3);
        m_positions.emplace_back(v[0], v[1], v[2]);
        ++m_info.m_vertexCount;
      } else if (Keyword(p, k, "vt")) {
        // usually two values; the third is optional
        ReadFloats(k, end, v, 3);
        m_texCoords.emplace_back(v[0], v[1], v[2]);
        ++m_info.m_texCoordCount;
      } else if (Keyword(p, k, "vn")) {
        ReadFloats(k, end, v, 3);
        cVector3d n(v[0], v[1], v[2]);
        const double len = n.length();
        if (len > 0.0) n = n / len;
        m_normals.push_back(n);
        ++m_info.m_normalCount;
      } else if (Keyword(p, k, "f")) {
        ++m_info.m_faceCount;
        readFace(k, end, material);
      } else if (Keyword(p, k, "g")) {
        m_groups.push_back(Rest(k, end));
      } else if (Keyword(p, k, "usemtl")) {
        const std::string name = Rest(k, end);
        for (size_t i = 0; i < m_materials.size(); ++i) {
          if (m_materials[i].m_name == name) {
            material = static_cast<int>(i);
            break;
          }
        }
      } else if (Keyword(p, k, "mtllib")) {
        const std::string path = directory + Rest(k, end);
        std::string text;
        const bool read = m_libraryReader ? m_libraryReader(path, text) : cReadWholeFile(path, text);
        if (read) ReadMaterialLibrary(text.data(), text.size(), directory);
      }
    });
  } catch (const std::exception &) {
    // out of memory: the file is refused
    clear();
    return false;
  }
  m_info.m_materialCount = static_cast<unsigned int>(m_materials.size());
  return true;
}

void cOBJModel::ReadMaterialLibrary(const char *data, size_t size, const std::string &directory) {
  if (data == nullptr) return;
  // statements before the library's first "newmtl" belong to no material
  cMaterialInfo *current = nullptr;
  ForEachLine(data, size, [&](const char *p, const char *end) {
    p = SkipSpaces(p, end);
    const char *k = TokenEnd(p, end);
    if (p == k || *p == '#') return;
    if (Keyword(p, k, "newmtl")) {
      m_materials.emplace_back();
      current = &m_materials.back();
      current->m_name = Rest(k, end);
      return;
    }
    if (current == nullptr) return;
    double v = 0.0;
    if (Keyword(p, k, "d")) {
      if (ReadFloats(k, end, &v, 1) == 1) current->m_opacity = static_cast<float>(v);
    } else if (Keyword(p, k, "Tr")) {
      // transparency: "Tr 0" is opaque
      if (ReadFloats(k, end, &v, 1) == 1) current->m_opacity = static_cast<float>(1.0 - v);
    } else if (Keyword(p, k, "Ka")) {
      ReadColor(k, end, current->m_ambient);
    } else if (Keyword(p, k, "Kd")) {
      ReadColor(k, end, current->m_diffuse);
    } else if (Keyword(p, k, "Ks")) {
      ReadColor(k, end, current->m_specular);
    } else if (Keyword(p, k, "map_Kd")) {
      const std::string name = Rest(k, end);
      if (name.empty()) return;
      current->m_texturePath = directory + name;
      current->m_textureFlag = 1;
    } else if (Keyword(p, k, "Ns")) {
      if (ReadFloats(k, end, &v, 1) == 1) {
        const double s = v / 1000.0 * 128.0;
        current->m_shininess = s > 0.0 ? (s < 128.0 ? static_cast<int>(s) : 128) : 0;
      }
    }
  });
}
