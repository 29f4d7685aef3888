// Loads a 3D Studio (.3ds) model into a mesh: one child mesh per object of the
// file, and under it one mesh per material its faces use.
#ifndef SCENE_CFILELOADER3DS_H
#define SCENE_CFILELOADER3DS_H

#include <cstddef>
#include <string>

class cMesh;

// false makes each face its own three vertices; otherwise vertices are shared
// within each target mesh
extern bool g_3dsLoaderShouldGenerateExtraVertices;

// false, the mesh untouched, when the file cannot be read or is not a 3DS file;
// otherwise the mesh is cleared and the file's objects become its children
bool cLoadFile3DS(cMesh *mesh, const std::string &fileName);

// the same from a file image in memory; texture names are looked up as given,
// then in the folder of modelPath
bool cLoadFile3DSFromMemory(cMesh *mesh, const unsigned char *data, size_t size, const std::string &modelPath);

#endif
