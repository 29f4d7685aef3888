// Fuzzes the OBJ reader and its material-library reader: the input up to its
// first NUL byte is the model, the rest the text every "mtllib" line reads. The
// parsed corners must name items that exist, and the mesh built from them must
// name vertices that exist and hold only numbers.
#include "scene/files/CFileLoaderOBJ.h"
#include "scene/files/COBJModel.h"
#include "scene/mesh/CMesh.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool Finite(const cVector3d &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

void CheckModel(const cOBJModel &m) {
  for (const cFace &f : m.m_faces) {
    if (f.m_vertexCount == 0 || size_t(f.m_firstCorner) + f.m_vertexCount > m.m_corners.size()) std::abort();
    if (f.m_materialIndex < 0 || (!m.m_materials.empty() && size_t(f.m_materialIndex) >= m.m_materials.size()))
      std::abort();
  }
  for (const cOBJCorner &c : m.m_corners) {
    if (c.m_position < 0 || size_t(c.m_position) >= m.m_positions.size()) std::abort();
    if (c.m_normal >= int(m.m_normals.size()) || c.m_texCoord >= int(m.m_texCoords.size())) std::abort();
  }
  for (const cVector3d &p : m.m_positions)
    if (!Finite(p)) std::abort();
}

void CheckTree(cMesh *mesh) {
  const size_t n = mesh->m_vertexSlots.size();
  for (const cTriangle &t : mesh->m_triangleSlots)
    if (t.m_corner0 >= n || t.m_corner1 >= n || t.m_corner2 >= n || t.m_parentNode != mesh) std::abort();
  for (const cVertex &v : mesh->m_vertexSlots)
    if (!Finite(v.m_pos) || !Finite(v.m_uv)) std::abort();
  for (unsigned int i = 0; i < mesh->getNumChildren(); ++i)
    if (cMesh *child = dynamic_cast<cMesh *>(mesh->getChild(i))) CheckTree(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *text = reinterpret_cast<const char *>(data);
  const void *nul = std::memchr(text, 0, size);
  const size_t objSize = nul != nullptr ? size_t(static_cast<const char *>(nul) - text) : size;
  // copies of exactly each part, so a read one byte past either is caught
  const std::vector<char> obj(text, text + objSize);
  const std::string mtl = nul != nullptr ? std::string(text + objSize + 1, size - objSize - 1) : std::string();

  cOBJModel model;
  // no file is opened: every library is the second part
  model.m_libraryReader = [&mtl](const std::string &, std::string &out) {
    out = mtl;
    return true;
  };
  if (!model.LoadFromMemory(obj.data(), obj.size(), "")) return 0;
  CheckModel(model);

  // without a world: no texture is looked for on disk
  cMesh mesh(nullptr);
  if (!cBuildMeshFromOBJ(&mesh, model, "")) return 0;
  CheckTree(&mesh);
  return 0;
}
