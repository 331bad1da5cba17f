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

struct MeshRecord {
  // Entry flags.
  static constexpr uint32_t kNoCulling = 0x1;
  static constexpr uint32_t kWireframe = 0x8;
  static constexpr uint32_t kAdditive = 0x20;
  static constexpr uint32_t kSubtractive = 0x40;
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
