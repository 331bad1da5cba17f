#include "tests/gfx/PipelineTestSupport.h"
namespace pipetest {
TEST_F(PipelineTest, Scratch) {
  DiffuseOnly();
  // cull default
  // z on
  Clear(0xFF000000u);
  ASSERT_EQ(Rect(20, 30, 30, 40, 0xFF00FF00u), D3D_OK);
  auto p = Read();
  int n = 0;
  for (int y = 0; y < (int)kHeight; ++y) for (int x = 0; x < (int)kWidth; ++x) if ((At(p,x,y) & 0xFFFFFF) != 0) { if (n < 5) printf("%d,%d %08x\n", x, y, At(p,x,y)); ++n; }
  printf("n=%d\n", n);
}
}
