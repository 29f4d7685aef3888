// The 3DS loader: files from our writer read back (importer and mesh tree), the
// faults a hostile or broken file can carry, and the two shipped models compared
// with what the generator builds.
#include "scene/files/CFileLoader3DS.h"
#include "scene/files/CMeshLoader.h"
#include "scene/files/L3DS.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "tools/models/Models.h"
#include "tools/models/Writer3ds.h"

#include "scene/files/ImageFiles.h"
#include "support/GlSceneTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
using models::ChunkWriter;

Bytes Encode(const models::Scene &scene) {
  Bytes b;
  std::string error;
  EXPECT_TRUE(models::Encode3ds(scene, b, &error)) << error;
  return b;
}

// the files this process writes, in a folder of its own that goes at exit
const std::string &Scratch() {
  static const imagetest::TempDir folder;
  return folder.path();
}

std::string TempPath(const std::string &name) { return Scratch() + "/" + name; }

std::string WriteTemp(const std::string &name, const Bytes &bytes) {
  const std::string path = TempPath(name);
  FILE *f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  if (f != nullptr) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

bool Parse(L3DS &model, const Bytes &b) { return model.LoadFromMemory(b.data(), b.size()); }

bool Load(cMesh &mesh, const Bytes &b) { return cLoadFile3DSFromMemory(&mesh, b.data(), b.size(), ""); }

cMesh *Child(cGenericObject *node, unsigned int i) { return dynamic_cast<cMesh *>(node->getChild(i)); }

// a unit cube, eight shared corners, two triangles per side, each side in its
// own smoothing group; sides 0..2 in material 0, 3..5 in material 1
models::Object Cube(const std::string &name, bool withMaterials) {
  models::Object o;
  o.name = name;
  for (int i = 0; i < 8; ++i) o.vertices.push_back({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
  const uint16_t sides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (int s = 0; s < 6; ++s) {
    const uint16_t *q = sides[s];
    o.faces.push_back({q[0], q[1], q[2]});
    o.faces.push_back({q[0], q[2], q[3]});
    o.smoothing.push_back(1u << s);
    o.smoothing.push_back(1u << s);
    if (withMaterials) {
      o.faceMaterial.push_back(s < 3 ? 0 : 1);
      o.faceMaterial.push_back(s < 3 ? 0 : 1);
    }
  }
  return o;
}

// the square 0..2 x 0..1 in the plane z = 0, texture coordinates following x and y
models::Object Square(const std::string &name) {
  models::Object o;
  o.name = name;
  o.vertices = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
  o.uv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  o.faces = {{0, 1, 2}, {0, 2, 3}};
  return o;
}

models::Scene TwoMaterialScene() {
  models::Scene s;
  models::Material red;
  red.name = "red";
  red.ambient = {0.25f, 0, 0};
  red.diffuse = {1, 0, 0};
  red.specular = {0.5f, 0.5f, 0.5f};
  red.shininess = 0.5f;
  red.transparency = 0.25f;
  red.texture = "brick.bmp";
  models::Material blue = red;
  blue.name = "blue";
  blue.diffuse = {0, 0, 1};
  blue.transparency = 0;
  blue.texture.clear();
  blue.shading = 1;
  s.materials = {red, blue};
  s.objects = {Cube("box", true), Square("plate")};
  return s;
}

// a file holding one object whose mesh chunk gets the given content
Bytes MeshFile(const std::function<void(ChunkWriter &)> &mesh, const std::string &name = "m",
               const std::function<void(ChunkWriter &)> &materials = nullptr) {
  ChunkWriter w;
  w.Begin(0x4D4D);
  w.Begin(0x3D3D);
  if (materials) materials(w);
  w.Begin(0x4000);
  w.Str(name);
  w.Begin(0x4100);
  mesh(w);
  w.End();
  w.End();
  w.End();
  w.End();
  return w.Bytes();
}

void Vertices(ChunkWriter &w, const std::vector<std::array<float, 3>> &v, uint16_t claimed = 0) {
  w.Begin(0x4110);
  w.U16(claimed != 0 ? claimed : uint16_t(v.size()));
  for (const auto &p : v)
    for (float c : p) w.F32(c);
  w.End();
}

void Faces(ChunkWriter &w, const std::vector<std::array<uint16_t, 3>> &f,
           const std::function<void(ChunkWriter &)> &sub = nullptr) {
  w.Begin(0x4120);
  w.U16(uint16_t(f.size()));
  for (const auto &t : f) {
    for (uint16_t i : t) w.U16(i);
    w.U16(7);
  }
  if (sub) sub(w);
  w.End();
}

void Put32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

bool Finite(const LVector3 &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// ---- round trip through our writer ------------------------------------------------

TEST(L3DS, ReadsBackWhatTheWriterWrote) {
  const models::Scene scene = TwoMaterialScene();
  L3DS model;
  ASSERT_TRUE(Parse(model, Encode(scene)));
  ASSERT_EQ(model.GetMeshCount(), 2u);
  ASSERT_EQ(model.GetMaterialCount(), 2u);
  EXPECT_EQ(model.GetLightCount(), 0u);
  EXPECT_EQ(model.GetCameraCount(), 0u);
  EXPECT_EQ(model.GetMesh(2), nullptr);

  const LMaterial &red = *model.FindMaterial("red");
  EXPECT_EQ(red.GetID(), 0u);
  EXPECT_EQ(red.GetDiffuseColor().r, 1.0f);
  EXPECT_EQ(red.GetAmbientColor().r, 0.25f);
  EXPECT_EQ(red.GetSpecularColor().g, 0.5f);
  EXPECT_FLOAT_EQ(red.GetShininess(), 0.5f);
  EXPECT_FLOAT_EQ(red.GetTransparency(), 0.25f);
  EXPECT_EQ(red.GetShadingType(), sPhong);
  EXPECT_EQ(red.GetTextureMap1().fileName, "brick.bmp");
  EXPECT_FLOAT_EQ(red.GetTextureMap1().strength, 1.0f);
  EXPECT_EQ(model.FindMaterial("blue")->GetID(), 1u);
  EXPECT_EQ(model.FindMaterial("blue")->GetShadingType(), sFlat);
  EXPECT_EQ(model.FindMaterial("green"), nullptr);

  for (uint32_t m = 0; m < 2; ++m) {
    const models::Object &o = scene.objects[m];
    const LMesh &mesh = *model.GetMesh(m);
    EXPECT_EQ(mesh.GetName(), o.name);
    ASSERT_EQ(mesh.GetVertexCount(), o.vertices.size());
    ASSERT_EQ(mesh.GetFaceCount(), o.faces.size());
    ASSERT_EQ(mesh.GetTriangleCount(), o.faces.size());
    for (uint32_t i = 0; i < mesh.GetVertexCount(); ++i) {
      EXPECT_EQ(mesh.GetVertex(i).x, o.vertices[i][0]);
      EXPECT_EQ(mesh.GetVertex(i).y, o.vertices[i][1]);
      EXPECT_EQ(mesh.GetVertex(i).z, o.vertices[i][2]);
      EXPECT_EQ(mesh.GetVertex(i).w, 1.0f);
      if (!o.uv.empty()) {
        EXPECT_EQ(mesh.GetUV(i).x, o.uv[i][0]);
      }
    }
    for (uint32_t i = 0; i < mesh.GetFaceCount(); ++i) {
      const LFace &f = mesh.GetFace(i);
      EXPECT_EQ(f.a, o.faces[i][0]);
      EXPECT_EQ(f.c, o.faces[i][2]);
      EXPECT_EQ(f.smoothingGroups, o.smoothing.empty() ? 1u : o.smoothing[i]);
      EXPECT_EQ(f.materialId, o.faceMaterial.empty() ? 0u : uint32_t(o.faceMaterial[i]));
      EXPECT_EQ(mesh.GetTriangle(i).b, f.b);
    }
    EXPECT_EQ(mesh.GetMatrix().m[0][0], 1.0f);
    EXPECT_EQ(mesh.GetMatrix().m[3][3], 1.0f);
  }
  EXPECT_EQ(model.GetMesh(0)->GetMaterialCount(), 2u);
  EXPECT_EQ(model.GetMesh(1)->GetMaterialCount(), 0u);
  EXPECT_EQ(model.FindMesh("plate"), model.GetMesh(1));

  // vertex colours: each face's material diffuse; the plate's faces name no group
  // (material 0), so they take the first material's colour
  EXPECT_EQ(model.GetMesh(1)->GetColor(0).r, 1.0f);
}

TEST(L3DS, SmoothNormalsAverageEveryFaceOfAVertexSplitNormalsFollowTheGroups) {
  models::Scene scene;
  scene.objects = {Cube("box", false)};
  L3DS smooth;
  ASSERT_TRUE(Parse(smooth, Encode(scene)));
  const LMesh &s = *smooth.GetMesh(0);
  EXPECT_EQ(s.GetVertexCount(), 8u);
  // the corner (1, 1, 1): its three sides' normals summed and normalised
  const float k = 1.0f / std::sqrt(3.0f);
  EXPECT_NEAR(s.GetNormal(7).x, k, 1e-6);
  EXPECT_NEAR(s.GetNormal(7).y, k, 1e-6);
  EXPECT_NEAR(s.GetNormal(0).z, -k, 1e-6);

  // one group per side: every corner splits into three, each with its side's normal
  L3DS split;
  split.SetOptimizationLevel(oFull);
  ASSERT_TRUE(Parse(split, Encode(scene)));
  const LMesh &m = *split.GetMesh(0);
  ASSERT_EQ(m.GetVertexCount(), 24u);
  ASSERT_TRUE(m.HasTangents());
  for (uint32_t i = 0; i < m.GetFaceCount(); ++i) {
    const LFace &f = m.GetFace(i);
    for (uint32_t v : {f.a, f.b, f.c}) {
      EXPECT_NEAR(m.GetNormal(v).x, f.normal.x, 1e-6);
      EXPECT_NEAR(m.GetNormal(v).y, f.normal.y, 1e-6);
      EXPECT_NEAR(m.GetNormal(v).z, f.normal.z, 1e-6);
    }
  }

  // one group for all: nothing splits; no group at all: every face is flat on its own
  scene.objects[0].smoothing.assign(12, 1);
  ASSERT_TRUE(Parse(split, Encode(scene)));
  EXPECT_EQ(split.GetMesh(0)->GetVertexCount(), 8u);
  scene.objects[0].smoothing.assign(12, 0);
  ASSERT_TRUE(Parse(split, Encode(scene)));
  EXPECT_EQ(split.GetMesh(0)->GetVertexCount(), 36u);
  // groups overlapping through a third face share a normal: 1, 3 (=1|2), 2
  scene.objects[0].smoothing = {1, 1, 3, 3, 2, 2, 8, 8, 16, 16, 32, 32};
  ASSERT_TRUE(Parse(split, Encode(scene)));
  EXPECT_LT(split.GetMesh(0)->GetVertexCount(), 24u);

  // level 0 leaves the normals as read: zero
  L3DS raw;
  raw.SetOptimizationLevel(oNone);
  ASSERT_TRUE(Parse(raw, Encode(scene)));
  EXPECT_EQ(raw.GetMesh(0)->GetNormal(0).z, 0.0f);
}

TEST(L3DS, TangentSpaceFollowsTheTextureCoordinates) {
  models::Scene scene;
  scene.objects = {Square("plate")};
  L3DS model;
  model.SetOptimizationLevel(oFull);
  ASSERT_TRUE(Parse(model, Encode(scene)));
  const LMesh &m = *model.GetMesh(0);
  for (uint32_t v = 0; v < m.GetVertexCount(); ++v) {
    EXPECT_NEAR(m.GetNormal(v).z, 1.0f, 1e-6);
    EXPECT_NEAR(m.GetTangent(v).x, 1.0f, 1e-6);
    EXPECT_NEAR(m.GetBinormal(v).y, 1.0f, 1e-6);
  }
}

TEST(L3DS, MaterialChunksOfEveryKind) {
  auto material = [](const std::function<void(ChunkWriter &)> &body) {
    return MeshFile([](ChunkWriter &) {}, "m",
                    [&body](ChunkWriter &w) {
                      w.Begin(0xAFFF);
                      w.Begin(0xA000);
                      w.Str("mat");
                      w.End();
                      body(w);
                      w.End();
                    });
  };
  L3DS model;
  ASSERT_TRUE(Parse(model, material([](ChunkWriter &w) {
                      // bytes over 255, a percentage of 150, a float percentage below 0
                      w.Begin(0xA020), w.Begin(0x0011), w.U8(255), w.U8(51), w.U8(0), w.End(), w.End();
                      w.Begin(0xA010), w.Begin(0x0099), w.F32(1), w.End(), w.End();
                      w.Begin(0xA040), w.Begin(0x0030), w.U16(150), w.End(), w.End();
                      w.Begin(0xA050), w.Begin(0x0031), w.F32(-0.5f), w.End(), w.End();
                      w.Begin(0xA100), w.U16(9), w.End();
                      w.Begin(0xA220), w.Begin(0x0030), w.U16(40), w.End(), w.End();
                      w.Begin(0xA230), w.Begin(0xA300), w.Str("bump.bmp"), w.End(), w.Begin(0xA354), w.F32(2), w.End(),
                          w.End();
                    })));
  const LMaterial &m = *model.GetMaterial(0);
  EXPECT_EQ(m.GetName(), "mat");
  EXPECT_FLOAT_EQ(m.GetDiffuseColor().g, 0.2f);
  EXPECT_EQ(m.GetAmbientColor().r, 0.0f) << "an unknown colour chunk is black";
  EXPECT_EQ(m.GetShininess(), 1.0f);
  EXPECT_EQ(m.GetTransparency(), 0.0f);
  EXPECT_EQ(m.GetShadingType(), sGouraud) << "an unknown shading keeps the default";
  EXPECT_EQ(m.GetReflectionMap().fileName, "auto");
  EXPECT_FLOAT_EQ(m.GetReflectionMap().strength, 0.4f);
  EXPECT_EQ(m.GetBumpMap().fileName, "bump.bmp");
  EXPECT_EQ(m.GetBumpMap().uScale, 2.0f);

  ASSERT_TRUE(Parse(model, material([](ChunkWriter &w) { w.Begin(0xA085), w.End(); })));
  EXPECT_EQ(model.GetMaterial(0)->GetShadingType(), sWireframe);
}

TEST(L3DS, LightsAndCameras) {
  ChunkWriter w;
  w.Begin(0x4D4D), w.Begin(0x3D3D);
  w.Begin(0x4000), w.Str("lamp"), w.Begin(0x4600);
  for (float v : {1.0f, 2.0f, 3.0f}) w.F32(v);
  w.Begin(0x0010), w.F32(1), w.F32(0.5f), w.F32(0), w.End();
  w.Begin(0x4610);
  for (float v : {0.0f, 0.0f, 0.0f, 20.0f, 30.0f}) w.F32(v);
  w.End();
  w.Begin(0x465A), w.F32(100), w.End();
  w.End(), w.End();
  w.Begin(0x4000), w.Str("eye"), w.Begin(0x4700);
  for (float v : {0.0f, -10.0f, 0.0f, 0.0f, 0.0f, 0.0f, 5.0f, 50.0f}) w.F32(v);
  w.Begin(0x4720), w.F32(1), w.F32(500), w.End();
  w.End(), w.End();
  w.End(), w.End();
  L3DS model;
  ASSERT_TRUE(Parse(model, w.Bytes()));
  ASSERT_EQ(model.GetLightCount(), 1u);
  const LLight &l = *model.FindLight("lamp");
  EXPECT_EQ(l.position.z, 3.0f);
  EXPECT_EQ(l.color.g, 0.5f);
  EXPECT_TRUE(l.spotlight);
  EXPECT_EQ(l.falloff, 30.0f);
  EXPECT_EQ(l.attenuationEnd, 100.0f);
  ASSERT_EQ(model.GetCameraCount(), 1u);
  const LCamera &c = *model.GetCamera(0);
  EXPECT_EQ(c.GetName(), "eye");
  EXPECT_EQ(c.bank, 5.0f);
  EXPECT_FLOAT_EQ(c.fov, 48.0f);
  EXPECT_EQ(c.farPlane, 500.0f);
  EXPECT_EQ(model.GetMeshCount(), 0u);
}

// ---- files that are refused -------------------------------------------------------

TEST(L3DS, RefusesWhatIsNotA3dsFile) {
  L3DS model;
  Bytes good = Encode(TwoMaterialScene());
  Bytes notMain = good;
  notMain[0] = 0x4C;
  EXPECT_FALSE(Parse(model, notMain));
  EXPECT_EQ(model.GetMeshCount(), 0u);
  ChunkWriter noEditor;
  noEditor.Begin(0x4D4D), noEditor.Begin(0x0002), noEditor.U32(3), noEditor.End(), noEditor.End();
  EXPECT_FALSE(Parse(model, noEditor.Bytes()));
  EXPECT_FALSE(Parse(model, Bytes{0x4D, 0x4D, 0x20}));
  EXPECT_FALSE(model.LoadFromMemory(nullptr, 0));
  EXPECT_FALSE(model.LoadFile(TempPath("missing.3ds").c_str()));
  EXPECT_FALSE(model.LoadFile(WriteTemp("empty.3ds", Bytes()).c_str()));
  EXPECT_FALSE(model.LoadFile(::testing::TempDir().c_str()));
  EXPECT_TRUE(model.LoadFile(WriteTemp("good.3ds", good).c_str()));
  EXPECT_EQ(model.GetMeshCount(), 2u);
}

TEST(CFileLoader3DS, AFailedLoadLeavesTheMeshAsItWas) {
  cWorld world;
  cMesh mesh(&world);
  mesh.newVertex(1, 2, 3);
  mesh.newTriangle(0, 0, 0);
  mesh.addChild(new cMesh(&world));
  Bytes bad = Encode(TwoMaterialScene());
  bad[1] = 0;
  EXPECT_FALSE(Load(mesh, bad));
  EXPECT_FALSE(cLoadFile3DS(&mesh, TempPath("nothing-here.3ds")));
  EXPECT_FALSE(cLoadFile3DS(nullptr, "x.3ds"));
  EXPECT_EQ(mesh.getNumVertices(), 1u);
  EXPECT_EQ(mesh.getNumTriangles(), 1u);
  EXPECT_EQ(mesh.getNumChildren(), 1u);
  EXPECT_EQ(mesh.m_vertexSlots[0].m_pos.y, 2.0);
}

// ---- the mesh tree ----------------------------------------------------------------

TEST(CFileLoader3DS, ObjectsBecomeChildrenAndMaterialsGrandchildren) {
  cWorld world;
  cMesh mesh(&world);
  mesh.newVertex(5, 5, 5);
  const std::string path = WriteTemp("tree.3DS", Encode(TwoMaterialScene()));
  ASSERT_TRUE(mesh.loadFromFile(path));
  EXPECT_EQ(mesh.getNumVertices(), 0u) << "the given mesh is cleared";
  ASSERT_EQ(mesh.getNumChildren(), 2u);
  cMesh *box = Child(&mesh, 0), *plate = Child(&mesh, 1);
  EXPECT_STREQ(box->getName(), "box");
  EXPECT_STREQ(plate->getName(), "plate");
  ASSERT_EQ(box->getNumChildren(), 2u);
  cMesh *red = Child(box, 0), *blue = Child(box, 1);
  EXPECT_STREQ(red->getName(), "box (mat 0)");
  EXPECT_STREQ(blue->getName(), "box (mat 1)");
  EXPECT_EQ(box->getNumTriangles(), 0u);
  EXPECT_EQ(red->getNumTriangles(), 6u);
  EXPECT_EQ(blue->getNumTriangles(), 6u);
  // every corner is used by both materials: once in each, never twice in one
  EXPECT_EQ(red->getNumVertices(), 8u);
  EXPECT_EQ(blue->getNumVertices(), 8u);
  // the plate's faces name material 0 without a group: no grandchild matches, so
  // the child itself holds them
  EXPECT_EQ(plate->getNumChildren(), 0u);
  EXPECT_EQ(plate->getNumTriangles(), 2u);
  EXPECT_EQ(plate->m_vertexSlots[2].m_pos.x, 2.0);
  EXPECT_EQ(plate->m_vertexSlots[2].m_uv.y, 1.0);

  // material: transparency 0.25 gives alpha 0.75 and blending on this mesh only
  EXPECT_FLOAT_EQ(red->m_surface.m_diffuseColor.a, 0.75f);
  EXPECT_EQ(red->m_surface.m_diffuseColor.r, 1.0f);
  EXPECT_EQ(red->m_surface.m_ambientColor.r, 0.25f);
  EXPECT_EQ(red->m_surface.getShininess(), 64u);
  EXPECT_TRUE(red->m_blend);
  EXPECT_FALSE(blue->m_blend);
  EXPECT_EQ(blue->m_surface.m_diffuseColor.b, 1.0f);
  // vertex colours: the diffuse colour of the last face over the corner (a blue
  // one), in bytes, alpha from the material of the mesh holding it
  EXPECT_EQ(red->m_vertexSlots[0].m_rgba, cColorb(0, 0, 255, 191));
  EXPECT_EQ(blue->m_vertexSlots[0].m_rgba, cColorb(0, 0, 255, 255));
  // the given mesh: material on, vertex colours off, blending on, box over the tree
  EXPECT_TRUE(mesh.m_surfaceOn);
  EXPECT_FALSE(mesh.m_vertexColorsOn);
  EXPECT_TRUE(mesh.m_blend);
  EXPECT_EQ(mesh.getBoundaryMax().x, 2.0);
  EXPECT_EQ(mesh.getBoundaryMin().z, 0.0);
  EXPECT_EQ(mesh.getBoundaryMax().z, 1.0);
  // the texture was not found: no texture, and none left in the world
  EXPECT_EQ(red->getTexture(), nullptr);
  EXPECT_EQ(world.getNumTextures(), 0u);
  // smooth normals from the file, unit length
  EXPECT_NEAR(red->m_vertexSlots[0].m_nrm.length(), 1.0, 1e-6);
}

TEST(CFileLoader3DS, WithoutMaterialsOneChildHoldsEverythingInVertexColours) {
  models::Scene scene;
  scene.objects = {Cube("box", false)};
  cMesh mesh(nullptr);
  ASSERT_TRUE(Load(mesh, Encode(scene)));
  ASSERT_EQ(mesh.getNumChildren(), 1u);
  EXPECT_EQ(Child(&mesh, 0)->getNumChildren(), 0u);
  EXPECT_EQ(Child(&mesh, 0)->getNumTriangles(), 12u);
  EXPECT_EQ(Child(&mesh, 0)->getNumVertices(), 8u);
  EXPECT_TRUE(mesh.m_vertexColorsOn);
  EXPECT_FALSE(mesh.m_surfaceOn);
  EXPECT_EQ(mesh.getNumTriangles(true), 12u);

  // every face its own three vertices
  g_3dsLoaderShouldGenerateExtraVertices = true;
  cMesh loose(nullptr);
  const bool ok = Load(loose, Encode(scene));
  g_3dsLoaderShouldGenerateExtraVertices = false;
  ASSERT_TRUE(ok);
  EXPECT_EQ(Child(&loose, 0)->getNumVertices(), 36u);
}

TEST(CFileLoader3DS, TextureIsFoundNextToTheModel) {
  const std::string dir = TempPath("textured");
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  gltest::WriteBmpFile(dir + "/brick.bmp", {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}});
  const std::string path = dir + "/model.3ds";
  {
    FILE *f = std::fopen(path.c_str(), "wb");
    const Bytes b = Encode(TwoMaterialScene());
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
  }
  cWorld world;
  cMesh mesh(&world);
  ASSERT_TRUE(cLoadMeshFromFile(&mesh, path));
  cMesh *red = Child(Child(&mesh, 0), 0);
  ASSERT_NE(red->getTexture(), nullptr);
  EXPECT_TRUE(red->getTexture()->hasPixels());
  EXPECT_EQ(world.getNumTextures(), 1u);
  EXPECT_EQ(Child(Child(&mesh, 0), 1)->getTexture(), nullptr);

  // a mesh without a world has nobody to own a texture: the model loads untextured
  cMesh orphan(nullptr);
  ASSERT_TRUE(cLoadFile3DS(&orphan, path));
  EXPECT_EQ(Child(Child(&orphan, 0), 0)->getTexture(), nullptr);
}

// ---- broken and hostile files -----------------------------------------------------

TEST(L3DS, AFaceNamingAMissingVertexIsDropped) {
  const Bytes file = MeshFile([](ChunkWriter &w) {
    Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    Faces(w, {{0, 1, 2}, {0, 1, 3}, {60000, 1, 2}, {2, 1, 0}});
  });
  L3DS model;
  ASSERT_TRUE(Parse(model, file));
  const LMesh &m = *model.GetMesh(0);
  ASSERT_EQ(m.GetFaceCount(), 2u);
  EXPECT_EQ(m.GetFace(1).a, 2u);
  for (uint32_t v = 0; v < 3; ++v) EXPECT_TRUE(Finite(m.GetNormal(v)));
  cMesh mesh(nullptr);
  ASSERT_TRUE(Load(mesh, file));
  EXPECT_EQ(Child(&mesh, 0)->getNumTriangles(), 2u);
  EXPECT_EQ(Child(&mesh, 0)->getNumVertices(), 3u);
}

TEST(L3DS, AFaceOverAPositionThatIsNotANumberIsDropped) {
  const Bytes file = MeshFile([](ChunkWriter &w) {
    Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {NAN, 0, 0}, {0, INFINITY, 0}});
    Faces(w, {{0, 1, 2}, {0, 1, 3}, {4, 1, 2}});
  });
  L3DS model;
  ASSERT_TRUE(Parse(model, file));
  EXPECT_EQ(model.GetMesh(0)->GetFaceCount(), 1u);
}

TEST(L3DS, AFaceWithoutAreaAddsNothingToTheNormals) {
  const Bytes file = MeshFile([](ChunkWriter &w) {
    Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {5, 5, 5}});
    // a proper face, a line through 0, 1, 3, and a face with all corners at one place
    Faces(w, {{0, 1, 2}, {0, 1, 3}, {4, 4, 4}});
  });
  for (LOptimizationLevel level : {oSimple, oFull}) {
    L3DS model;
    model.SetOptimizationLevel(level);
    ASSERT_TRUE(Parse(model, file));
    const LMesh &m = *model.GetMesh(0);
    for (uint32_t v = 0; v < m.GetVertexCount(); ++v) EXPECT_TRUE(Finite(m.GetNormal(v))) << v;
    EXPECT_EQ(m.GetNormal(0).z, 1.0f);
    EXPECT_EQ(m.GetNormal(1).z, 1.0f);
    EXPECT_EQ(m.GetNormal(3).z, 0.0f);
  }
}

TEST(L3DS, MappingCoordinatesBeyondTheVerticesAreNotWritten) {
  const Bytes file = MeshFile([](ChunkWriter &w) {
    Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    w.Begin(0x4140);
    w.U16(2000);
    for (int i = 0; i < 2000; ++i) w.F32(float(i)), w.F32(0.5f);
    w.End();
    Faces(w, {{0, 1, 2}});
  });
  L3DS model;
  ASSERT_TRUE(Parse(model, file));
  const LMesh &m = *model.GetMesh(0);
  EXPECT_EQ(m.GetVertexCount(), 3u);
  EXPECT_EQ(m.GetUV(2).x, 2.0f);

  // before any vertex list the coordinates size the vertex arrays themselves
  L3DS first;
  ASSERT_TRUE(Parse(first, MeshFile([](ChunkWriter &w) {
                      w.Begin(0x4140), w.U16(2), w.F32(1), w.F32(2), w.F32(3), w.F32(4), w.End();
                    })));
  EXPECT_EQ(first.GetMesh(0)->GetVertexCount(), 2u);
  EXPECT_EQ(first.GetMesh(0)->GetUV(1).y, 4.0f);
}

TEST(L3DS, AMaterialGroupEntryPastTheFacesIsSkipped) {
  const Bytes file = MeshFile(
      [](ChunkWriter &w) {
        Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
        Faces(w, {{0, 1, 2}, {0, 2, 1}}, [](ChunkWriter &w) {
          w.Begin(0x4130), w.Str("paint"), w.U16(3), w.U16(40000), w.U16(1), w.U16(2), w.End();
        });
      },
      "m",
      [](ChunkWriter &w) {
        w.Begin(0xAFFF), w.Begin(0xA000), w.Str("unused"), w.End(), w.End();
        w.Begin(0xAFFF), w.Begin(0xA000), w.Str("paint"), w.End(), w.End();
      });
  L3DS model;
  ASSERT_TRUE(Parse(model, file));
  const LMesh &m = *model.GetMesh(0);
  EXPECT_EQ(m.GetFace(0).materialId, 0u);
  EXPECT_EQ(m.GetFace(1).materialId, 1u);
  ASSERT_EQ(m.GetMaterialCount(), 1u);
  EXPECT_EQ(m.GetMaterial(0), 1u);
}

TEST(L3DS, CountsAreBelievedOnlyAsFarAsTheChunkHoldsThem) {
  const Bytes file = MeshFile([](ChunkWriter &w) {
    Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 65535);
    w.Begin(0x4120);
    w.U16(65535);
    for (uint16_t i : {0, 1, 2, 0}) w.U16(i);
    w.Begin(0x4150), w.U32(6), w.End();
    w.End();
  });
  L3DS model;
  ASSERT_TRUE(Parse(model, file));
  const LMesh &m = *model.GetMesh(0);
  EXPECT_EQ(m.GetVertexCount(), 3u);
  // the smoothing chunk after the one face record is what the face list holds
  ASSERT_EQ(m.GetFaceCount(), 1u);
  EXPECT_EQ(m.GetFace(0).smoothingGroups, 1u);
}

TEST(L3DS, TheChunkWalkEndsOnEveryBrokenLength) {
  const Bytes good = MeshFile([](ChunkWriter &w) {
    Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    Faces(w, {{0, 1, 2}});
  });
  // a chunk shorter than its header after the object: the walk stops there
  for (uint32_t length : {0u, 1u, 5u}) {
    Bytes b = good;
    b.insert(b.end(), {0x00, 0x40, 0, 0, 0, 0, 1, 2, 3});
    Put32(b, b.size() - 7, length);
    Put32(b, 2, uint32_t(b.size()));
    Put32(b, 8, uint32_t(b.size() - 6));
    L3DS model;
    ASSERT_TRUE(Parse(model, b)) << length;
    EXPECT_EQ(model.GetMeshCount(), 1u);
  }
  // parents claiming far more than the file: they end with it
  Bytes huge = good;
  Put32(huge, 2, 0xFFFFFFFFu);
  Put32(huge, 8, 0xFFFFFFF0u);
  L3DS model;
  ASSERT_TRUE(Parse(model, huge));
  EXPECT_EQ(model.GetMesh(0)->GetFaceCount(), 1u);
  // every truncation of a file reads without running past it
  for (size_t n = 6; n < good.size(); ++n) {
    const Bytes cut(good.begin(), good.begin() + n);
    L3DS part;
    part.LoadFromMemory(cut.data(), cut.size());
    if (part.GetMeshCount() == 1) {
      EXPECT_LE(part.GetMesh(0)->GetVertexCount(), 3u);
    }
  }
}

TEST(L3DS, ALongNameIsCutAndItsRestIsNotReadAsChunks) {
  // the name's tail would read as a chunk (0x4141, far too long) if the walk began there
  const std::string name(300, 'A');
  L3DS model;
  ASSERT_TRUE(Parse(model, MeshFile(
                               [](ChunkWriter &w) {
                                 Vertices(w, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
                                 Faces(w, {{0, 1, 2}});
                               },
                               name)));
  ASSERT_EQ(model.GetMeshCount(), 1u);
  EXPECT_EQ(model.GetMesh(0)->GetName(), std::string(98, 'A'));
  EXPECT_EQ(model.GetMesh(0)->GetFaceCount(), 1u);
  // an object whose name runs to the end of its chunk has nothing else in it
  ChunkWriter w;
  w.Begin(0x4D4D), w.Begin(0x3D3D), w.Begin(0x4000), w.U8('x'), w.End(), w.End(), w.End();
  ASSERT_TRUE(Parse(model, w.Bytes()));
  EXPECT_EQ(model.GetMeshCount(), 0u);
}

TEST(L3DS, AMaterialNameLongerThanNineteenStillMatchesItsGroup) {
  models::Scene scene;
  models::Material m;
  m.name = "a-twenty-five-char-colour";
  scene.materials = {m};
  scene.objects = {Cube("box", false)};
  scene.objects[0].faceMaterial.assign(12, 0);
  L3DS model;
  ASSERT_TRUE(Parse(model, Encode(scene)));
  ASSERT_EQ(model.GetMesh(0)->GetMaterialCount(), 1u);
}

TEST(CFileLoader3DS, ColoursOutsideTheUnitRangeAreClamped) {
  models::Scene scene;
  models::Material m;
  m.name = "loud";
  m.diffuse = {2.0f, -1.0f, NAN};
  m.ambient = {INFINITY, 0.5f, 0};
  scene.materials = {m};
  scene.objects = {Cube("box", false)};
  scene.objects[0].faceMaterial.assign(12, 0);
  cMesh mesh(nullptr);
  ASSERT_TRUE(Load(mesh, Encode(scene)));
  cMesh *g = Child(Child(&mesh, 0), 0);
  EXPECT_EQ(g->m_surface.m_diffuseColor, cColorf(1, 0, 0, 1));
  EXPECT_EQ(g->m_surface.m_ambientColor.r, 1.0f);
  EXPECT_EQ(g->m_vertexSlots[0].m_rgba, cColorb(255, 0, 0, 255));
}

// ---- the shipped models -----------------------------------------------------------

// the loaded tree against the scene the generator builds now: objects, materials
// per object, triangles per material, and every triangle's corners
void ExpectSameModel(const char *path, const models::Scene &scene) {
  cWorld world;
  cMesh mesh(&world);
  ASSERT_TRUE(mesh.loadFromFile(path)) << path;
  ASSERT_EQ(mesh.getNumChildren(), scene.objects.size());
  for (size_t o = 0; o < scene.objects.size(); ++o) {
    const models::Object &obj = scene.objects[o];
    cMesh *child = Child(&mesh, unsigned(o));
    EXPECT_STREQ(child->getName(), obj.name.c_str());
    // the materials in order of their first face
    std::vector<int> used;
    for (int m : obj.faceMaterial)
      if (std::find(used.begin(), used.end(), m) == used.end()) used.push_back(m);
    std::sort(used.begin(), used.end());
    ASSERT_EQ(child->getNumChildren(), used.size()) << obj.name;
    for (size_t k = 0; k < used.size(); ++k) {
      cMesh *g = Child(child, unsigned(k));
      const models::Material &mat = scene.materials[used[k]];
      EXPECT_FLOAT_EQ(g->m_surface.m_diffuseColor.g, mat.diffuse[1]);
      std::vector<size_t> faces;
      for (size_t f = 0; f < obj.faces.size(); ++f)
        if (obj.faceMaterial[f] == used[k]) faces.push_back(f);
      ASSERT_EQ(g->getNumTriangles(), faces.size()) << obj.name << " " << mat.name;
      for (size_t t = 0; t < faces.size(); ++t)
        for (int c = 0; c < 3; ++c) {
          const cVector3d &p = g->m_triangleSlots[t].getVertex(c)->m_pos;
          const auto &want = obj.vertices[obj.faces[faces[t]][c]];
          ASSERT_NEAR(p.x, want[0], 1e-3) << obj.name;
          ASSERT_NEAR(p.y, want[1], 1e-3);
          ASSERT_NEAR(p.z, want[2], 1e-3);
        }
    }
  }
}

TEST(ShippedModels, AreWhatTheGeneratorMakes) {
  ExpectSameModel("resources/models/tooth.3ds", models::MakeTooth());
  ExpectSameModel("resources/models/fraise.3ds", models::MakeFraise());
  ExpectSameModel("resources/models/box.3ds", models::MakeBox());
}

TEST(ShippedModels, ToothIsAClosedMolarWithNothingTooSmallToFeel) {
  L3DS model;
  ASSERT_TRUE(model.LoadFile("resources/models/tooth.3ds"));
  // the contact demo draws the second object in wire mode: it must exist
  ASSERT_GE(model.GetMeshCount(), 2u);
  const LMesh &tooth = *model.GetMesh(0);
  EXPECT_GT(tooth.GetFaceCount(), 2000u);
  EXPECT_LT(tooth.GetFaceCount(), 10000u);
  float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  double shortest = 1e9;
  std::map<std::pair<uint32_t, uint32_t>, int> edges;
  for (uint32_t i = 0; i < tooth.GetFaceCount(); ++i) {
    const LFace &f = tooth.GetFace(i);
    const uint32_t c[3] = {f.a, f.b, f.c};
    for (int k = 0; k < 3; ++k) {
      const LVector4 &a = tooth.GetVertex(c[k]), &b = tooth.GetVertex(c[(k + 1) % 3]);
      shortest = std::min(shortest, std::hypot(double(a.x - b.x), double(a.y - b.y), double(a.z - b.z)));
      ++edges[{c[k], c[(k + 1) % 3]}];
      const float p[3] = {a.x, a.y, a.z};
      for (int d = 0; d < 3; ++d) lo[d] = std::min(lo[d], p[d]), hi[d] = std::max(hi[d], p[d]);
    }
  }
  // at the demo's scale of 0.0006, two units are over a millimetre
  EXPECT_GE(shortest, 2.0);
  // closed: every edge once in each direction
  for (const auto &e : edges) {
    ASSERT_EQ(e.second, 1);
    ASSERT_EQ(edges.count({e.first.second, e.first.first}), 1u);
  }
  for (int d = 0; d < 3; ++d) {
    EXPECT_GT(hi[d] - lo[d], 80.0f);
    EXPECT_LT(hi[d] - lo[d], 350.0f);
    EXPECT_NEAR(hi[d] + lo[d], 0.0f, 25.0f) << "the origin at the tooth's centre";
  }
  EXPECT_GT(hi[2] - lo[2], 150.0f) << "crown to root tips";
  // one smooth surface
  for (uint32_t i = 0; i < tooth.GetFaceCount(); ++i) ASSERT_EQ(tooth.GetFace(i).smoothingGroups, 1u);
}

TEST(ShippedModels, BurrHasItsTipAtTheOriginAndItsShankAlongX) {
  L3DS model;
  ASSERT_TRUE(model.LoadFile("resources/models/fraise.3ds"));
  ASSERT_EQ(model.GetMeshCount(), 1u);
  const LMesh &burr = *model.GetMesh(0);
  float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  for (uint32_t v = 0; v < burr.GetVertexCount(); ++v) {
    const float p[3] = {burr.GetVertex(v).x, burr.GetVertex(v).y, burr.GetVertex(v).z};
    for (int d = 0; d < 3; ++d) lo[d] = std::min(lo[d], p[d]), hi[d] = std::max(hi[d], p[d]);
  }
  EXPECT_EQ(lo[0], 0.0f);
  EXPECT_GE(hi[0], 20.0f);
  EXPECT_LE(hi[0], 25.0f);
  EXPECT_NEAR(hi[1] - lo[1], 1.6f, 0.05f);
  const LMaterial &steel = *model.GetMaterial(0);
  EXPECT_GT(steel.GetSpecularColor().r, 0.8f);
  EXPECT_GT(steel.GetShininess(), 0.6f);
  EXPECT_NEAR(steel.GetDiffuseColor().r, steel.GetDiffuseColor().b, 0.1f);
}

// the dynamics demo's skin: re-skinned and re-lit every display tick, so it
// stays small; it covers the sheet's nodes
TEST(ShippedModels, BoxIsAThinSlabOverTheSheetOfAFewThousandVertices) {
  L3DS model;
  ASSERT_TRUE(model.LoadFile("resources/models/box.3ds"));
  ASSERT_EQ(model.GetMeshCount(), 1u);
  const LMesh &box = *model.GetMesh(0);
  EXPECT_GT(box.GetVertexCount(), 1000u);
  EXPECT_LT(box.GetVertexCount(), 4000u);
  float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  for (uint32_t v = 0; v < box.GetVertexCount(); ++v) {
    const float p[3] = {box.GetVertex(v).x, box.GetVertex(v).y, box.GetVertex(v).z};
    for (int d = 0; d < 3; ++d) lo[d] = std::min(lo[d], p[d]), hi[d] = std::max(hi[d], p[d]);
  }
  EXPECT_NEAR(lo[0], -0.45f, 1e-5f);
  EXPECT_NEAR(hi[0], 0.45f, 1e-5f);
  EXPECT_NEAR(lo[1], -0.43f, 1e-5f);
  EXPECT_NEAR(hi[1], 0.47f, 1e-5f);
  EXPECT_LT(hi[2] - lo[2], 0.05f);
  EXPECT_NEAR(hi[2] + lo[2], 0.0f, 1e-5f);
}

}  // namespace
