// The OBJ loader: crafted files for the reader's rules and for each fault that
// real files bring (spacing, mixed corner forms, short texture coordinates,
// relative and bad indices, odd material libraries), and the mesh it builds.
#include "scene/files/CFileLoaderOBJ.h"
#include "scene/files/CMeshLoader.h"
#include "scene/files/COBJModel.h"
#include "scene/graph/CTexture2D.h"
#include "scene/graph/CWorld.h"
#include "scene/mesh/CMesh.h"
#include "tools/models/Models.h"
#include "tools/models/WriterObj.h"

#include "support/GlSceneTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// a directory of its own for each test (cases run in parallel processes)
class ObjFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "scene_obj_XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  std::string Write(const std::string &name, const std::string &text) const {
    const std::string p = dir + "/" + name;
    FILE *f = std::fopen(p.c_str(), "wb");
    EXPECT_NE(f, nullptr);
    if (f != nullptr) {
      std::fwrite(text.data(), 1, text.size(), f);
      std::fclose(f);
    }
    return p;
  }

  // parses the text as a file of this directory
  cOBJModel Parse(const std::string &text) {
    cOBJModel m;
    EXPECT_TRUE(m.LoadModel(Write("model.obj", text).c_str()));
    return m;
  }

  std::string dir;
};

cMesh *Child(cGenericObject *o, unsigned int i) { return dynamic_cast<cMesh *>(o->getChild(i)); }

const std::string kSquare =
    "v 0 0 0\n"
    "v 1 0 0\n"
    "v 1 1 0\n"
    "v 0 1 0\n";

// ---- the reader ------------------------------------------------------------------------

TEST_F(ObjFiles, CornersAreSplitOnAnyRunOfSpacesAndTabs) {
  const cOBJModel m = Parse(kSquare + "f  1\t2 \t 3   4  \r\nf 1 2 3\t\n");
  ASSERT_EQ(m.m_faces.size(), 2u);
  EXPECT_EQ(m.m_faces[0].m_vertexCount, 4u);
  EXPECT_EQ(m.m_faces[1].m_vertexCount, 3u);
  for (unsigned int k = 0; k < 4; ++k) EXPECT_EQ(m.m_corners[k].m_position, static_cast<int>(k));
}

TEST_F(ObjFiles, EachCornerIsReadInItsOwnForm) {
  const cOBJModel m = Parse(kSquare + "vt 0 0\nvt 1 0\nvn 0 0 2\nf 1 2/1 3//1 4/2/1\n");
  ASSERT_EQ(m.m_faces.size(), 1u);
  const cOBJCorner *c = &m.m_corners[0];
  EXPECT_EQ(c[0].m_texCoord, -1);
  EXPECT_EQ(c[0].m_normal, -1);
  EXPECT_EQ(c[1].m_texCoord, 0);
  EXPECT_EQ(c[1].m_normal, -1);
  EXPECT_EQ(c[2].m_texCoord, -1);
  EXPECT_EQ(c[2].m_normal, 0);
  EXPECT_EQ(c[3].m_position, 3);
  EXPECT_EQ(c[3].m_texCoord, 1);
  EXPECT_EQ(c[3].m_normal, 0);
  // normals are kept normalised
  EXPECT_EQ(m.m_normals[0], cVector3d(0, 0, 1));
}

TEST_F(ObjFiles, TextureCoordinatesWithTwoOrThreeValues) {
  const cOBJModel m = Parse("vt 0.25 0.75\nvt 0.5 0.5 0.125\nvt 1\n");
  ASSERT_EQ(m.m_texCoords.size(), 3u);
  EXPECT_EQ(m.m_texCoords[0], cVector3d(0.25, 0.75, 0));
  EXPECT_EQ(m.m_texCoords[1], cVector3d(0.5, 0.5, 0.125));
  EXPECT_EQ(m.m_texCoords[2], cVector3d(1, 0, 0));
}

TEST_F(ObjFiles, NegativeIndicesCountBackFromTheLastItemRead) {
  const cOBJModel m = Parse("v 9 9 9\n" + kSquare + "vt 0 0\nvt 1 1\nf -4/-2 -3/-1 -2 -1\nv 5 5 5\nf -1 -2 -3\n");
  ASSERT_EQ(m.m_faces.size(), 2u);
  EXPECT_EQ(m.m_corners[0].m_position, 1);
  EXPECT_EQ(m.m_corners[0].m_texCoord, 0);
  EXPECT_EQ(m.m_corners[1].m_texCoord, 1);
  EXPECT_EQ(m.m_corners[3].m_position, 4);
  // the second face counts from the five positions it sees
  EXPECT_EQ(m.m_corners[4].m_position, 5);
  EXPECT_EQ(m.m_corners[6].m_position, 3);
}

TEST_F(ObjFiles, FacesNamingNothingAreSkippedWhole) {
  const cOBJModel m = Parse(kSquare +
                            "vn 0 0 1\n"
                            "f 0 1 2\n"           // 0 is no index
                            "f 1 2 5\n"           // past the positions
                            "f -5 1 2\n"          // before the first
                            "f 1//2 2//1 3//1\n"  // past the normals
                            "f 1/1 2 3\n"         // no texture coordinates at all
                            "f 1 2 99999999999999999999\n"
                            "f 1 2 3x\n"
                            "f 1 2 3 # a comment\n");
  EXPECT_EQ(m.m_info.m_faceCount, 8u);
  ASSERT_EQ(m.m_faces.size(), 1u);
  EXPECT_EQ(m.m_faces[0].m_vertexCount, 3u);
  EXPECT_EQ(m.m_corners.size(), 3u);
}

TEST_F(ObjFiles, LinesOfAnyLengthAndBytesOfAnyKind) {
  std::string longName(200000, 'n');
  std::string text = kSquare + "g " + longName + "\nf";
  for (int i = 0; i < 30000; ++i) text += " 1 2 3";
  text += "\n";
  text += std::string("\0\xff\x01 garbage\n", 12);
  text += "v 1e999 nan -inf\nf 1 2 3";  // no final line break
  const cOBJModel m = Parse(text);
  ASSERT_EQ(m.m_groups.size(), 1u);
  EXPECT_EQ(m.m_groups[0], longName);
  ASSERT_EQ(m.m_faces.size(), 2u);
  EXPECT_EQ(m.m_faces[0].m_vertexCount, 90000u);
  EXPECT_EQ(m.m_faces[0].m_groupIndex, 0);
  // numbers that are not finite read as 0
  EXPECT_EQ(m.m_positions.back(), cVector3d(0, 0, 0));
  EXPECT_FALSE(cOBJModel().LoadModel((dir + "/missing.obj").c_str()));
}

// ---- material libraries ------------------------------------------------------------------

TEST_F(ObjFiles, MaterialsFromLibrariesWithTheirDefaults) {
  Write("a.mtl",
        "# first\nnewmtl red\nKa 0.1 0.2 0.3\nKd 1 0 0\nKs 0.5\nNs 500\nmap_Kd tex/red.bmp\n"
        "newmtl plain\n");
  Write("b.mtl", "newmtl glass\nd 0.25\n");
  const cOBJModel m = Parse(kSquare +
                            "mtllib a.mtl\nmtllib b.mtl\nmtllib missing.mtl\n"
                            "f 1 2 3\nusemtl glass\nf 1 2 3\nusemtl nothing\nf 1 3 4\nusemtl red\nf 2 3 4\n");
  ASSERT_EQ(m.m_materials.size(), 3u);
  const cMaterialInfo &red = m.m_materials[0];
  EXPECT_EQ(red.m_name, "red");
  EXPECT_FLOAT_EQ(red.m_ambient[2], 0.3f);
  EXPECT_FLOAT_EQ(red.m_diffuse[0], 1.0f);
  EXPECT_FLOAT_EQ(red.m_specular[1], 0.5f);
  EXPECT_EQ(red.m_shininess, 64);
  EXPECT_EQ(red.m_textureFlag, 1);
  EXPECT_EQ(red.m_texturePath, dir + "/tex/red.bmp");
  const cMaterialInfo &plain = m.m_materials[1];
  EXPECT_FLOAT_EQ(plain.m_diffuse[0], 0.8f);
  EXPECT_FLOAT_EQ(plain.m_specular[0], 0.3f);
  EXPECT_FLOAT_EQ(plain.m_opacity, 1.0f);
  EXPECT_EQ(plain.m_textureFlag, -1);
  EXPECT_FLOAT_EQ(m.m_materials[2].m_opacity, 0.25f);
  // before any usemtl the first material; an unknown name keeps the current one
  ASSERT_EQ(m.m_faces.size(), 4u);
  EXPECT_EQ(m.m_faces[0].m_materialIndex, 0);
  EXPECT_EQ(m.m_faces[1].m_materialIndex, 2);
  EXPECT_EQ(m.m_faces[2].m_materialIndex, 2);
  EXPECT_EQ(m.m_faces[3].m_materialIndex, 0);
}

TEST_F(ObjFiles, ALibraryWithoutNewmtlShiftsNothing) {
  Write("empty.mtl", "Kd 0 1 0\nd 0.5\n");
  Write("real.mtl", "newmtl blue\nKd 0 0 1\n");
  const cOBJModel m = Parse(kSquare + "mtllib empty.mtl\nmtllib real.mtl\nusemtl blue\nf 1 2 3\n");
  ASSERT_EQ(m.m_materials.size(), 1u);
  EXPECT_EQ(m.m_materials[0].m_name, "blue");
  EXPECT_FLOAT_EQ(m.m_materials[0].m_diffuse[2], 1.0f);
  EXPECT_FLOAT_EQ(m.m_materials[0].m_opacity, 1.0f);
  EXPECT_EQ(m.m_faces[0].m_materialIndex, 0);
}

TEST_F(ObjFiles, TrIsTransparencyAndDIsOpacity) {
  Write("t.mtl", "newmtl a\nTr 0\nnewmtl b\nTr 0.25\nnewmtl c\nd 0.25\nnewmtl d\nd 1\n");
  const cOBJModel m = Parse("mtllib t.mtl\n");
  ASSERT_EQ(m.m_materials.size(), 4u);
  EXPECT_FLOAT_EQ(m.m_materials[0].m_opacity, 1.0f);
  EXPECT_FLOAT_EQ(m.m_materials[1].m_opacity, 0.75f);
  EXPECT_FLOAT_EQ(m.m_materials[2].m_opacity, 0.25f);
  EXPECT_FLOAT_EQ(m.m_materials[3].m_opacity, 1.0f);
}

TEST_F(ObjFiles, NamesWithSpacesAroundThemMatch) {
  Write("lib with space.mtl", "newmtl  wood  \t\r\nKd 0.5 0.25 0\r\nnewmtl metal\r\n");
  const cOBJModel m =
      Parse(kSquare + "mtllib lib with space.mtl  \r\nusemtl metal \r\nf 1 2 3\r\nusemtl wood\r\nf 1 3 4\r\n");
  ASSERT_EQ(m.m_materials.size(), 2u);
  EXPECT_EQ(m.m_materials[0].m_name, "wood");
  ASSERT_EQ(m.m_faces.size(), 2u);
  EXPECT_EQ(m.m_faces[0].m_materialIndex, 1);
  EXPECT_EQ(m.m_faces[1].m_materialIndex, 0);
}

// ---- the mesh it builds --------------------------------------------------------------------

TEST_F(ObjFiles, AQuadIsAFanOfTwoTrianglesSharingTwoVertices) {
  cMesh mesh(nullptr);
  ASSERT_TRUE(mesh.loadFromFile(Write("quad.obj", kSquare + "f 1 2 3 4\nf 1 2\n")));
  ASSERT_EQ(mesh.getNumChildren(), 1u);
  cMesh *c = Child(&mesh, 0);
  ASSERT_EQ(c->getNumTriangles(), 2u);
  EXPECT_EQ(c->getNumVertices(), 4u);
  const cTriangle &t0 = c->m_triangleSlots[0], &t1 = c->m_triangleSlots[1];
  EXPECT_EQ(c->m_vertexSlots[t0.m_corner0].m_pos, cVector3d(0, 0, 0));
  EXPECT_EQ(c->m_vertexSlots[t0.m_corner1].m_pos, cVector3d(1, 0, 0));
  EXPECT_EQ(c->m_vertexSlots[t0.m_corner2].m_pos, cVector3d(1, 1, 0));
  EXPECT_EQ(t1.m_corner0, t0.m_corner0);
  EXPECT_EQ(t1.m_corner1, t0.m_corner2);
  EXPECT_EQ(c->m_vertexSlots[t1.m_corner2].m_pos, cVector3d(0, 1, 0));
  // no normals in the file: computed, facing +z; no materials: white vertex colours
  EXPECT_TRUE(c->m_vertexSlots[0].m_nrm.equals(cVector3d(0, 0, 1), 1e-12));
  EXPECT_TRUE(c->m_vertexColorsOn);
  EXPECT_FALSE(c->m_surfaceOn);
  EXPECT_EQ(c->m_vertexSlots[0].m_rgba.r, 255);
}

TEST_F(ObjFiles, CornersShareAVertexOnlyWithTheSameNormalAndTextureCoordinate) {
  cMesh mesh(nullptr);
  ASSERT_TRUE(cLoadFileOBJ(&mesh, Write("split.obj", kSquare + "vn 0 0 3\nvn 1 0 0\nvt 0 0\n"
                                                               "f 1//1 2//1 3//1\nf 1//1 3//1 4//1\n"
                                                               "f 1//2 3//2 4//2\nf 1/1/2 3//2 4//2\n")));
  cMesh *c = Child(&mesh, 0);
  ASSERT_EQ(c->getNumTriangles(), 4u);
  // 4 with normal 1, 3 more with normal 2, one more with a texture coordinate
  EXPECT_EQ(c->getNumVertices(), 8u);
  EXPECT_EQ(c->m_triangleSlots[1].m_corner0, c->m_triangleSlots[0].m_corner0);
  EXPECT_NE(c->m_triangleSlots[2].m_corner0, c->m_triangleSlots[0].m_corner0);
  EXPECT_NE(c->m_triangleSlots[3].m_corner0, c->m_triangleSlots[2].m_corner0);
  EXPECT_EQ(c->m_triangleSlots[3].m_corner1, c->m_triangleSlots[2].m_corner1);
  // the file's normals are kept, normalised
  EXPECT_EQ(c->m_vertexSlots[c->m_triangleSlots[0].m_corner0].m_nrm, cVector3d(0, 0, 1));
  EXPECT_EQ(c->m_vertexSlots[c->m_triangleSlots[2].m_corner0].m_nrm, cVector3d(1, 0, 0));
}

TEST_F(ObjFiles, OneChildPerMaterialWithItsColoursAndTransparency) {
  Write("m.mtl", "newmtl solid\nKd 2 0.5 -1\nKa 0 0 0\nnewmtl glass\nKd 0 0 1\nd 0.4\nnewmtl unused\n");
  cWorld world;
  cMesh mesh(&world);
  ASSERT_TRUE(mesh.loadFromFile(Write("m.obj", kSquare + "mtllib m.mtl\nusemtl glass\nf 1 2 3\nusemtl solid\n"
                                                         "f 1 3 4\nf 2 3 4\n")));
  ASSERT_EQ(mesh.getNumChildren(), 3u);
  cMesh *solid = Child(&mesh, 0), *glass = Child(&mesh, 1), *unused = Child(&mesh, 2);
  EXPECT_EQ(solid->getNumTriangles(), 2u);
  EXPECT_EQ(glass->getNumTriangles(), 1u);
  EXPECT_EQ(unused->getNumTriangles(), 0u);
  // components clamped to 0..1, alpha the opacity
  EXPECT_FLOAT_EQ(solid->m_surface.m_diffuseColor.r, 1.0f);
  EXPECT_FLOAT_EQ(solid->m_surface.m_diffuseColor.g, 0.5f);
  EXPECT_FLOAT_EQ(solid->m_surface.m_diffuseColor.b, 0.0f);
  EXPECT_FLOAT_EQ(solid->m_surface.m_diffuseColor.a, 1.0f);
  EXPECT_FLOAT_EQ(glass->m_surface.m_diffuseColor.a, 0.4f);
  EXPECT_FALSE(solid->m_blend);
  EXPECT_TRUE(glass->m_blend);
  EXPECT_TRUE(mesh.m_blend);
  EXPECT_TRUE(solid->m_surfaceOn);
  EXPECT_FALSE(solid->m_vertexColorsOn);
}

TEST_F(ObjFiles, TextureIsFoundNextToTheModelAndTexCoordinatesReachTheVertices) {
  ASSERT_EQ(mkdir((dir + "/tex").c_str(), 0700), 0);
  gltest::WriteBmpFile(dir + "/tex/label.bmp", {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}});
  Write("t.mtl", "newmtl label\nmap_Kd tex/label.bmp\nnewmtl bare\nmap_Kd tex/missing.bmp\n");
  const std::string path = Write(
      "t.obj", kSquare + "vt 0 0\nvt 1 0\nvt 1 1\nmtllib t.mtl\nusemtl label\nf 1/1 2/2 3/3\nusemtl bare\nf 1 3 4\n");
  cWorld world;
  cMesh mesh(&world);
  ASSERT_TRUE(cLoadFileOBJ(&mesh, path));
  cMesh *label = Child(&mesh, 0);
  ASSERT_NE(label->getTexture(), nullptr);
  EXPECT_TRUE(label->getTexture()->hasPixels());
  EXPECT_EQ(Child(&mesh, 1)->getTexture(), nullptr);
  EXPECT_EQ(world.getNumTextures(), 1u);
  EXPECT_EQ(label->m_vertexSlots[label->m_triangleSlots[0].m_corner1].m_uv, cVector3d(1, 0, 0));
  // without a world nobody owns textures: the model loads untextured
  cMesh orphan(nullptr);
  ASSERT_TRUE(cLoadFileOBJ(&orphan, path));
  EXPECT_EQ(Child(&orphan, 0)->getTexture(), nullptr);
}

TEST_F(ObjFiles, AnUnreadableFileLeavesTheMeshAsItWas) {
  cMesh mesh(nullptr);
  mesh.newVertex(1, 2, 3);
  EXPECT_FALSE(mesh.loadFromFile(dir + "/none.obj"));
  EXPECT_FALSE(cLoadFileOBJ(nullptr, Write("x.obj", kSquare)));
  EXPECT_EQ(mesh.getNumVertices(), 1u);
  EXPECT_EQ(mesh.getNumChildren(), 0u);
  // a readable file replaces the mesh's own geometry
  ASSERT_TRUE(mesh.loadFromFile(Write("y.obj", kSquare + "f 1 2 3\n")));
  EXPECT_EQ(mesh.getNumVertices(), 0u);
  EXPECT_EQ(mesh.getNumTriangles(true), 1u);
}

}  // namespace

namespace {

// ---- the shipped model ------------------------------------------------------------------------

TEST(ShippedOBJ, TheTurntableIsWhatTheGeneratorMakesNow) {
  char dir[] = "/tmp/scene_obj_gen_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/turntable.obj";
  ASSERT_TRUE(models::WriteObjFiles(models::MakeTurntable(), path));
  for (const char *name : {"turntable.obj", "turntable.mtl"}) {
    std::string made, shipped;
    ASSERT_TRUE(cReadWholeFile(std::string(dir) + "/" + name, made));
    ASSERT_TRUE(cReadWholeFile(std::string(TKX_SOURCE_DIR "/resources/models/") + name, shipped));
    EXPECT_EQ(made, shipped) << name << ": run make-models";
  }
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

TEST(ShippedOBJ, TheTurntableLoadsAsPlinthPlatterAndArm) {
  cWorld world;
  cMesh mesh(&world);
  ASSERT_TRUE(mesh.loadFromFile(TKX_SOURCE_DIR "/resources/models/turntable.obj"));
  ASSERT_EQ(mesh.getNumChildren(), 3u);
  cMesh *plinth = Child(&mesh, 0), *platter = Child(&mesh, 1), *arm = Child(&mesh, 2);
  EXPECT_EQ(plinth->getNumTriangles(), 12u);
  // 64 side quads and two 64-sided caps
  EXPECT_EQ(platter->getNumTriangles(), 64u * 2 + 62u * 2);
  EXPECT_GT(arm->getNumTriangles(), 0u);
  // the platter is centred on the origin, its top just above it, z up
  platter->computeBoundaryBox(false);
  EXPECT_NEAR(platter->getBoundaryMin().x, -15.5, 1e-4);
  EXPECT_NEAR(platter->getBoundaryMax().y, 15.5, 1e-4);
  EXPECT_NEAR(platter->getBoundaryMin().z, 0.0, 1e-6);
  EXPECT_NEAR(platter->getBoundaryMax().z, 1.6, 1e-6);
  mesh.computeBoundaryBox(true);
  EXPECT_NEAR(mesh.getBoundaryMax().x - mesh.getBoundaryMin().x, 45.0, 1e-4);
  EXPECT_FALSE(mesh.m_blend);
  // the file's normals: the platter's top faces up
  for (const cTriangle &t : platter->m_triangleSlots) {
    const cVertex &v = platter->m_vertexSlots[t.m_corner0];
    if (v.m_pos.z > 1.5 && platter->m_vertexSlots[t.m_corner1].m_pos.z > 1.5 &&
        platter->m_vertexSlots[t.m_corner2].m_pos.z > 1.5) {
      EXPECT_EQ(v.m_nrm, cVector3d(0, 0, 1));
    }
  }
}

}  // namespace

namespace {

// the shipped turntable as another program wrote it back (assimp's exporter: a
// double space after "f", a default material first, colours to nine digits)
TEST(ForeignOBJ, AFileWrittenByAnotherProgramLoadsLikeTheOriginal) {
  cWorld world;
  cMesh ours(&world), theirs(&world);
  ASSERT_TRUE(ours.loadFromFile(TKX_SOURCE_DIR "/resources/models/turntable.obj"));
  ASSERT_TRUE(theirs.loadFromFile(SCENE_TEST_DATA "/turntable-exported.obj"));
  ASSERT_EQ(theirs.getNumChildren(), 4u);
  EXPECT_EQ(Child(&theirs, 0)->getNumTriangles(), 0u);
  for (unsigned int i = 0; i < 3; ++i) {
    cMesh *a = Child(&ours, i), *b = Child(&theirs, i + 1);
    EXPECT_EQ(a->getNumTriangles(), b->getNumTriangles()) << i;
    EXPECT_EQ(a->getNumVertices(), b->getNumVertices()) << i;
    EXPECT_NEAR(a->m_surface.m_diffuseColor.r, b->m_surface.m_diffuseColor.r, 1e-6) << i;
    EXPECT_EQ(a->m_surface.getShininess(), b->m_surface.getShininess()) << i;
    a->computeBoundaryBox(false);
    b->computeBoundaryBox(false);
    EXPECT_TRUE(a->getBoundaryMin().equals(b->getBoundaryMin(), 1e-5)) << i;
    EXPECT_TRUE(a->getBoundaryMax().equals(b->getBoundaryMax(), 1e-5)) << i;
  }
}

}  // namespace
