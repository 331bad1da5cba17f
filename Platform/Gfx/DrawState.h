#pragma once
// Render, texture-stage and sampler states as Direct3D values, the bound buffers, declaration,
// shader and constants, and the GL programs built from them at draw time.

namespace gfx {

class D3DDeviceGl;

class DrawState {
 public:
  explicit DrawState(D3DDeviceGl& device) : device_(device) {}

 private:
  D3DDeviceGl& device_;
};

}  // namespace gfx
