#pragma once
// What every platform's geometry container answers: the corners of the box around the whole
// file, the eight floats that the frustum test takes as one box.

#include "Engine/FastMath.h"

class BaseNodeContainer {
 public:
  virtual ~BaseNodeContainer() = default;
  // Address of the box's minimum corner (x, y, z, w) inside the loaded file.
  virtual const Vector4* GetBoundsMin() const = 0;
  // Address of the maximum corner; it follows the minimum directly.
  virtual const Vector4* GetBoundsMax() const = 0;
};
