// Fuzzes the 3DS loader on whole files held in memory: the importer at both
// normal levels, then the conversion into a mesh tree, whose every triangle must
// name vertices that exist and whose every normal must be a number. A refused
// file must leave the mesh as it was.
#include "scene/files/CFileLoader3DS.h"
#include "scene/files/L3DS.h"
#include "scene/mesh/CMesh.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void CheckImporter(L3DS &model) {
  for (uint32_t m = 0; m < model.GetMeshCount(); ++m) {
    const LMesh &mesh = *model.GetMesh(m);
    const uint32_t n = mesh.GetVertexCount();
    for (uint32_t i = 0; i < mesh.GetTriangleCount(); ++i) {
      const LTriangle &t = mesh.GetTriangle(i);
      if (t.a >= n || t.b >= n || t.c >= n) std::abort();
    }
    for (uint32_t v = 0; v < n; ++v) {
      const LVector3 &nrm = mesh.GetNormal(v);
      if (!std::isfinite(nrm.x) || !std::isfinite(nrm.y) || !std::isfinite(nrm.z)) std::abort();
    }
  }
}

void CheckTree(cMesh *mesh) {
  const size_t n = mesh->m_vertexSlots.size();
  for (const cTriangle &t : mesh->m_triangleSlots)
    if (t.m_corner0 >= n || t.m_corner1 >= n || t.m_corner2 >= n || t.m_parentNode != mesh) std::abort();
  for (const cVertex &v : mesh->m_vertexSlots)
    if (!std::isfinite(v.m_nrm.x) || !std::isfinite(v.m_nrm.y) || !std::isfinite(v.m_nrm.z) ||
        !std::isfinite(v.m_pos.x))
      std::abort();
  for (unsigned int i = 0; i < mesh->getNumChildren(); ++i)
    if (cMesh *child = dynamic_cast<cMesh *>(mesh->getChild(i))) CheckTree(child);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // a copy of exactly the input, so a read one byte past the file is caught
  std::vector<unsigned char> file(data, data + size);
  for (LOptimizationLevel level : {oSimple, oFull}) {
    L3DS model;
    model.SetOptimizationLevel(level);
    if (model.LoadFromMemory(file.data(), file.size()))
      CheckImporter(model);
    else if (model.GetMeshCount() != 0 || model.GetMaterialCount() != 0)
      std::abort();
  }

  // without a world: no texture is looked for on disk
  cMesh mesh(nullptr);
  mesh.newVertex(1, 2, 3);
  if (!cLoadFile3DSFromMemory(&mesh, file.data(), file.size(), "")) {
    if (mesh.getNumVertices() != 1 || mesh.getNumChildren() != 0) std::abort();
    return 0;
  }
  if (mesh.getNumVertices() != 0) std::abort();
  CheckTree(&mesh);
  return 0;
}
