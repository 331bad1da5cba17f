#include "tests/support/ContentTestSupport.h"

#include "Engine/CRC32.h"
#include "Engine/PC/PCApp.h"
#include "tests/support/DdsWriter.h"

namespace content {

std::vector<uint32_t> ReadBack() {
  return pixelprobe::ReadBack(GetApp().GetDisplay()->GetDevice(), kWidth, kHeight);
}

::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0, int x1,
                                  int y1, const Rgb& want, double tolerance) {
  return pixelprobe::AreaIs(pixels, kWidth, x0, y0, x1, y1, want, tolerance);
}

std::string HostPath(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

bool SaveSolidDds(const std::string& name, uint32_t argb, uint32_t size) {
  const std::vector<uint32_t> texels(size * size, argb);
  return ddswriter::SaveDds(HostPath(name), gfx::D3DFMT_A8R8G8B8, size, size, texels.data(),
                            false);
}

int32_t Identifier(const std::string& name) {
  return static_cast<int32_t>(CRC32::Compute(name.data() + 10, name.size() - 10));
}

Matrix Translated(float x, float y, float z) {
  Matrix m;
  m.Translation(Vector4(x, y, z, 1.0f));
  return m;
}

ScopedWindow::ScopedWindow() : m_window(new RenderWindow()) {
  m_window->SetViewportBounds(0.0f, 0.0f, float(kWidth), float(kHeight));
  m_id = GetApp().AddWindow(m_window);
}

ScopedWindow::~ScopedWindow() { GetApp().DeleteWindow(m_id); }

}  // namespace content
