#pragma once
// A render-list entry: one mesh to draw in one render window this frame. The scene and the node
// submission fill these; the geometry draws read them.

#include <cstdint>

#include "Engine/FastMath.h"

class GeoObject;
class Skeleton;

// A drawable node: its geometry object and the textures its strips name by material index
// (-1 marks a texture that was not found).
struct SceneNode {
  GeoObject* geoObject = nullptr;
  int32_t textureCount = 0;
  int32_t* textures = nullptr;
};

// A node's flag word (game nodes and render nodes alike). It reaches the node's mesh records
// whole, so the entry flags below share its bits.
enum NodeFlag : uint32_t {
  kNodeAlpha = 0x04,
  kNodeHidden = 0x10,
  kNodeAdditive = 0x20,
  kNodeSubtractive = 0x40,
  kNodeNoCulling = 0x100,  // render nodes only: no box tests at all
  // Any of these sends every mesh of the node to the alpha list.
  kNodeAlphaMask = kNodeAlpha | kNodeAdditive | kNodeSubtractive,
};

struct MeshRecord {
  // Entry flags.
  static constexpr uint32_t kNoCulling = 0x1;
  static constexpr uint32_t kWireframe = 0x8;
  static constexpr uint32_t kAdditive = kNodeAdditive;
  static constexpr uint32_t kSubtractive = kNodeSubtractive;
  static constexpr uint32_t kNoAlphaTest = 0x80;
  static constexpr uint32_t kTextureOverride = 0x200;
  static constexpr uint32_t kLit = 0x400;

  SceneNode* node = nullptr;
  // World × view × device projection.
  Matrix drawMatrix;
  Vector4 tint{1.0f, 1.0f, 1.0f, 1.0f};
  uint32_t flags = 0;
  Matrix world;
  int32_t overrideTexture = -1;
  // Null when the mesh is not skinned.
  Skeleton* skeleton = nullptr;
};
