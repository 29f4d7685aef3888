// The textures demo: four pictured tiles of material (plastic, stone, silicone,
// motif). What is seen is a flat textured square; what is felt is an invisible
// relief built from the same picture behind it, each of its own hardness, and
// the silicone one with friction.
#ifndef DEMO_CDEMOTEXTURES_H
#define DEMO_CDEMOTEXTURES_H

#include "demo/CDemo.h"

class cDemoTextures : public cDemo {
 public:
  static constexpr int kTiles = 4;
  // the side of a tile, seen and felt
  static constexpr double kTileSize = 0.15;
  // the silicone tile, the only one with friction
  static constexpr int kStickyTile = 2;
  static constexpr double kStickyFriction = 0.6;

  cDemoTextures();

  int setup(int arg) override;
  void reset(int arg) override;
  void exit(int arg) override;
  void update(int arg) override;

  // makes mesh an invisible relief of the picture at path (height scale height)
  // with a visible, untouchable square of the same picture as its child
  bool createTexture(cMesh *mesh, const char *path, double height);

  // the invisible reliefs, children of m_scene; null until built
  cMesh *m_tiles[kTiles];
  double m_tileStiffness[kTiles];
};

#endif
