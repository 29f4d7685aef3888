// A picture turned into a relief: one vertex per pixel, raised along +x by the
// pixel's brightness, the picture itself laid on as the texture. The relief lies
// in the y-z plane (columns along +y, rows along +z, bottom row first) and is
// scaled so that its largest extent is a given size.
#ifndef SCENE_CIMAGEHEIGHTFIELD_H
#define SCENE_CIMAGEHEIGHTFIELD_H

class cImageLoader;
class cMesh;

class cImageHeightField {
 public:
  // a relief needs at least two pixels each way: one row or column spans nothing
  static constexpr int kMinSide = 2;
  // larger pictures are refused; a relief of this many pixels already has about
  // two million triangles
  static constexpr long kMaxPixels = 1L << 20;

  // loads the picture at path into a new texture of the mesh's world and builds
  // the relief on the mesh, ready to be touched (AABB tree, no friction, display
  // list, no back-face culling); height is the rise of a white pixel before the
  // scaling, size the largest extent after it. False, with the mesh left without
  // geometry or texture and no texture added to the world, when the picture
  // cannot be loaded, is smaller than 2 x 2 or larger than the limit, or when
  // the arguments are not usable (no mesh or world, size not positive).
  static bool create(cMesh *mesh, const char *path, double height, double size);

  // the geometry alone from an RGBA picture: vertices, texture coordinates and
  // triangles, normals, then the scaling; the mesh should be empty. False, with
  // the mesh untouched, under the same conditions as create.
  static bool buildGeometry(cMesh *mesh, const cImageLoader &image, double height, double size);
};

#endif
