// Loads a Wavefront OBJ model (with its MTL material libraries) into a mesh: one
// child mesh per material, faces triangulated as fans, corners sharing a vertex
// when they share position, normal and texture coordinate.
#ifndef SCENE_CFILELOADEROBJ_H
#define SCENE_CFILELOADEROBJ_H

#include <string>

class cMesh;
class cOBJModel;

// false, the mesh untouched, when the file cannot be read; otherwise the mesh is
// cleared and the model becomes its children
bool cLoadFileOBJ(cMesh *mesh, const std::string &fileName);

// builds the mesh from a parsed model; textures are looked up as given, then in
// the folder of modelPath
bool cBuildMeshFromOBJ(cMesh *mesh, const cOBJModel &model, const std::string &modelPath);

#endif
