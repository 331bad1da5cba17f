#pragma once
// The render target and depth-stencil surface drawing goes to (the back buffer until a texture
// surface is set).

namespace gfx {

class D3DDeviceGl;

class TargetState {
 public:
  explicit TargetState(D3DDeviceGl& device) : device_(device) {}

 private:
  D3DDeviceGl& device_;
};

}  // namespace gfx
