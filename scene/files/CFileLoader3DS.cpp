#include "scene/files/CFileLoader3DS.h"

#include "scene/files/L3DS.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

bool g_3dsLoaderShouldGenerateExtraVertices = false;

namespace {

// into 0..1; not a number is 0
float Unit(float v) {
  if (!(v > 0.0f)) return 0.0f;
  return v > 1.0f ? 1.0f : v;
}

uint8_t Byte(float v) { return static_cast<uint8_t>(Unit(v) * 255.0f); }

// the folder part of a path, empty when there is none
std::string Directory(const std::string &path) {
  const size_t sep = path.find_last_of("/\\");
  return sep == std::string::npos ? std::string() : path.substr(0, sep);
}

// a material's colours, transparency and texture on the mesh that draws its faces;
// true when the material is transparent
bool ApplyMaterial(cMesh *target, const LMaterial &mat, cWorld *world, const std::string &modelPath,
                   std::vector<std::unique_ptr<cTexture2D>> &textures) {
  const std::string &name = mat.GetTextureMap1().fileName;
  // textures belong to the world: without one there is nobody to keep them
  if (!name.empty() && world != nullptr) {
    std::unique_ptr<cTexture2D> texture(new cTexture2D());
    bool loaded = texture->loadFromFile(name.c_str());
    if (!loaded) loaded = texture->loadFromFile((Directory(modelPath) + "/" + name).c_str());
    if (loaded) {
      target->setTexture(texture.get(), false);
      textures.push_back(std::move(texture));
    }
  }
  const float opacity = 1.0f - mat.GetTransparency();
  const bool transparent = opacity < 1.0f;
  if (transparent) target->enableTransparency(true, false);
  const float alpha = Unit(opacity);
  cMaterial &s = target->m_surface;
  const LColor3 &a = mat.GetAmbientColor(), &d = mat.GetDiffuseColor(), &sp = mat.GetSpecularColor();
  s.m_ambientColor.set(Unit(a.r), Unit(a.g), Unit(a.b), alpha);
  s.m_diffuseColor.set(Unit(d.r), Unit(d.g), Unit(d.b), alpha);
  s.m_specularColor.set(Unit(sp.r), Unit(sp.g), Unit(sp.b), alpha);
  s.setShininess(static_cast<unsigned int>(Unit(mat.GetShininess()) * 128.0f));
  return transparent;
}

// one importer mesh into the child mesh: faces go to the grandchild of their
// material, or to the child itself
void ConvertFaces(const LMesh &lm, cMesh *child, const std::vector<cMesh *> &grandchildren,
                  const std::vector<int> &targetOfMaterial) {
  const uint32_t nv = lm.GetVertexCount();
  const uint32_t nf = lm.GetFaceCount();
  std::vector<cMesh *> targets(grandchildren);
  targets.push_back(child);
  const size_t own = targets.size() - 1;

  std::vector<uint32_t> faceTarget(nf);
  std::vector<uint32_t> faceCount(targets.size(), 0);
  for (uint32_t i = 0; i < nf; ++i) {
    const uint32_t id = lm.GetFace(i).materialId;
    const int t = id < targetOfMaterial.size() ? targetOfMaterial[id] : -1;
    faceTarget[i] = t >= 0 ? uint32_t(t) : uint32_t(own);
    ++faceCount[faceTarget[i]];
  }
  const bool extra = g_3dsLoaderShouldGenerateExtraVertices;
  for (size_t t = 0; t < targets.size(); ++t) {
    targets[t]->m_triangleSlots.reserve(targets[t]->m_triangleSlots.size() + faceCount[t]);
    const size_t verts = extra ? size_t(faceCount[t]) * 3 : std::min<size_t>(nv, size_t(faceCount[t]) * 3);
    targets[t]->m_vertexSlots.reserve(targets[t]->m_vertexSlots.size() + verts);
  }

  // file vertex -> vertex of each target, made on first use
  std::vector<std::vector<uint32_t>> tables(targets.size());
  std::vector<uint8_t> alphas(targets.size());
  for (size_t t = 0; t < targets.size(); ++t) alphas[t] = Byte(targets[t]->m_surface.m_diffuseColor.a);

  auto newVertex = [&lm](cMesh *m, uint32_t fileIndex, uint8_t alpha) {
    const LVector4 &p = lm.GetVertex(fileIndex);
    const unsigned int index = m->newVertex(p.x, p.y, p.z);
    cVertex &v = m->m_vertexSlots[index];
    const LVector3 &n = lm.GetNormal(fileIndex);
    v.m_nrm.set(n.x, n.y, n.z);
    const LVector2 &uv = lm.GetUV(fileIndex);
    v.m_uv.set(uv.x, uv.y, 0.0);
    const LColor3 &c = lm.GetColor(fileIndex);
    v.m_rgba = cColorb(Byte(c.r), Byte(c.g), Byte(c.b), alpha);
    return index;
  };

  for (uint32_t i = 0; i < nf; ++i) {
    const LFace &f = lm.GetFace(i);
    // the importer drops such faces; a corner past the list is never followed
    if (f.a >= nv || f.b >= nv || f.c >= nv) continue;
    const uint32_t t = faceTarget[i];
    cMesh *m = targets[t];
    const uint32_t corner[3] = {f.a, f.b, f.c};
    unsigned int v[3];
    if (extra) {
      for (int k = 0; k < 3; ++k) v[k] = newVertex(m, corner[k], alphas[t]);
    } else {
      std::vector<uint32_t> &table = tables[t];
      if (table.empty()) table.assign(nv, UINT32_MAX);
      for (int k = 0; k < 3; ++k) {
        uint32_t &mapped = table[corner[k]];
        if (mapped == UINT32_MAX) mapped = newVertex(m, corner[k], alphas[t]);
        v[k] = mapped;
      }
    }
    m->newTriangle(v[0], v[1], v[2]);
  }
}

bool Convert(cMesh *mesh, L3DS &model, const std::string &modelPath) {
  cWorld *world = mesh->getParentWorld();
  // everything is built aside and handed over at the end
  std::vector<std::unique_ptr<cMesh>> children;
  std::vector<std::unique_ptr<cTexture2D>> textures;
  bool transparent = false;
  bool materialsUsed = false;

  for (uint32_t i = 0; i < model.GetMeshCount(); ++i) {
    const LMesh &lm = *model.GetMesh(i);
    std::unique_ptr<cMesh> child(mesh->createMesh());
    child->setName(lm.GetName().c_str(), false);

    const uint32_t n = lm.GetMaterialCount();
    std::vector<cMesh *> grandchildren;
    // material identifier -> grandchild, the first in the mesh's order
    std::vector<int> targetOfMaterial(model.GetMaterialCount(), -1);
    for (uint32_t k = 0; k < n; ++k) {
      const uint32_t id = lm.GetMaterial(k);
      std::unique_ptr<cMesh> g(child->createMesh());
      if (n == 1) {
        g->setName(lm.GetName().c_str(), false);
      } else {
        char label[160];
        std::snprintf(label, sizeof label, "%s (mat %u)", lm.GetName().c_str(), k);
        g->setName(label, false);
      }
      if (const LMaterial *mat = model.GetMaterial(id)) {
        transparent |= ApplyMaterial(g.get(), *mat, world, modelPath, textures);
        if (targetOfMaterial[id] < 0) targetOfMaterial[id] = static_cast<int>(k);
      }
      grandchildren.push_back(g.get());
      child->addChild(g.release());
    }
    if (n > 0) materialsUsed = true;
    ConvertFaces(lm, child.get(), grandchildren, targetOfMaterial);
    children.push_back(std::move(child));
  }

  // nothing fails from here on
  mesh->clear();
  for (std::unique_ptr<cMesh> &child : children) mesh->addChild(child.release());
  for (std::unique_ptr<cTexture2D> &texture : textures) world->addTexture(texture.release());
  if (transparent) mesh->enableTransparency(true, false);
  mesh->useMaterial(materialsUsed, false);
  mesh->useColors(!materialsUsed, false);
  mesh->computeBoundaryBox(true);
  if (world != nullptr) world->computeGlobalPositions(true, cVector3d(0, 0, 0), cMatrix3d());
  return true;
}

}  // namespace

bool cLoadFile3DS(cMesh *mesh, const std::string &fileName) {
  if (mesh == nullptr) return false;
  L3DS model;
  if (!model.LoadFile(fileName.c_str())) return false;
  return Convert(mesh, model, fileName);
}

bool cLoadFile3DSFromMemory(cMesh *mesh, const unsigned char *data, size_t size, const std::string &modelPath) {
  if (mesh == nullptr) return false;
  L3DS model;
  if (!model.LoadFromMemory(data, size)) return false;
  return Convert(mesh, model, modelPath);
}
