#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "Engine/CRC32.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCSkeleton.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

using content::AreaIs;
using content::kHeight;
using content::kWidth;
using content::Modulate2x;
using content::Rgb;
constexpr uint32_t kGrey = 0xFF808080u;
// The crate texture: red 200, green 100, blue 50.
constexpr uint32_t kCrate = 0xFFC86432u;

Matrix Translation(float x, float y, float z) { return content::Translated(x, y, z); }

// Row-vector matrices multiplied here, apart from the engine's math.
Matrix Mul(const Matrix& a, const Matrix& b) {
  Matrix out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      double sum = 0.0;
      for (int k = 0; k < 4; ++k) sum += double(a[r * 4 + k]) * double(b[k * 4 + c]);
      out[r * 4 + c] = static_cast<float>(sum);
    }
  return out;
}

// A perspective with w = z: x and y are divided by the depth; z 1..10 maps to 0..1. `xScale`
// widens x (the device projection of the draws is made different from the culling one).
Matrix Perspective(float xScale = 1.0f) {
  Matrix p;
  p[0] = xScale;
  p[5] = 1.0f;
  p[10] = 10.0f / 9.0f;
  p[11] = 1.0f;
  p[14] = -10.0f / 9.0f;
  return p;
}

::testing::AssertionResult MatrixNear(const Matrix& got, const Matrix& want) {
  for (int i = 0; i < 16; ++i)
    if (std::fabs(got[i] - want[i]) > 1e-5f * (1.0f + std::fabs(want[i])))
      return ::testing::AssertionFailure()
             << "element " << i << " is " << got[i] << ", expected " << want[i];
  return ::testing::AssertionSuccess();
}

geowriter::Node Box(float size, uint32_t material, bool alpha) {
  const float lo[3] = {-size, -size, -size}, hi[3] = {size, size, size};
  geowriter::Node node;
  node.mesh = geowriter::BoxMesh(lo, hi, kGrey, material, alpha);
  node.textures = {"data\\textures\\crate.dds"};
  return node;
}

class NodeSubmissionTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(content::SaveSolidDds("data\\badtexture.dds", 0xFFFFFFFFu));
    ASSERT_TRUE(content::SaveSolidDds("data\\textures\\crate.dds", kCrate));
    // One box of half-size 0.5 with solid strips, lifted by 1; one with blended strips, lowered
    // by 1.
    geowriter::GeoDesc pair;
    pair.nodes = {Box(0.5f, 0, false), Box(0.5f, 0, true)};
    pair.nodes[0].mesh.matrix[13] = 1.0f;
    pair.nodes[1].mesh.matrix[13] = -1.0f;
    Save("data\\models\\pair.geo", pair);
    // The same two, the second 20 to the right: the file's box always straddles a view of the
    // first.
    pair.nodes[1].mesh.matrix[12] = 20.0f;
    Save("data\\models\\spread.geo", pair);
    ASSERT_TRUE(m_harness.Start());
    m_pair = GetApp().GetNodeFactory()->Add("data\\models\\pair.geo");
    m_spread = GetApp().GetNodeFactory()->Add("data\\models\\spread.geo");
    ASSERT_NE(Container(m_pair), nullptr);
    ASSERT_NE(Container(m_spread), nullptr);
    SetMatrices(Matrix(), Perspective(), Perspective());
  }

  static void Save(const std::string& name, const geowriter::GeoDesc& desc) {
    ASSERT_TRUE(geowriter::SaveGeo(content::HostPath(name), desc));
  }
  static NodeContainer* Container(int32_t handle) {
    return GetApp().GetNodeFactory()->GetContainer(handle);
  }
  // View (identity when given zeros), culling projection, device projection.
  void SetMatrices(Matrix view, const Matrix& projection, const Matrix& device) {
    if (view[15] == 0.0f) view = Translation(0, 0, 0);
    m_view = view;
    Display* display = GetApp().GetDisplay();
    display->SetViewMatrix(&view);
    display->SetProjectionMatrix(&projection);
    display->SetDeviceProjectionMatrix(&device);
  }
  static RenderNodeRecord Node(int32_t handle, const Matrix& placement, uint32_t flags) {
    RenderNodeRecord record;
    record.container = Container(handle);
    record.SetPlacement(placement);
    record.SetFlags(flags);
    record.SetTint(Vector4(1, 1, 1, 1));
    return record;
  }
  static NodeInstanceBody Body(const Matrix& placement, uint32_t flags) {
    NodeInstanceBody body;
    body.placement = placement;
    body.flags = flags;
    body.tint.Set(1, 1, 1, 1);
    return body;
  }
  static int Count(const RenderWindow& window, RenderWindow::MeshList list) {
    return window.GetMeshCount(list);
  }

  int32_t m_pair = -1;
  int32_t m_spread = -1;
  Matrix m_view;
};

TEST_F(NodeSubmissionTest, RecordsCarryTheMeshMatricesAndTheNodesFields) {
  const Matrix view = Translation(0.0f, 0.0f, 1.0f);
  const Matrix device = Perspective(2.0f);
  SetMatrices(view, Perspective(), device);
  RenderWindow window;
  NodeContainer* pair = Container(m_pair);
  const Matrix placement = Translation(0.25f, 0.0f, 3.0f);
  RenderNodeRecord node = Node(m_pair, placement, 0x8);
  node.SetTint(Vector4(0.5f, 0.25f, 1.0f, 0.75f));
  node.SetOverrideTexture(7);
  Skeleton skeleton;
  node.SetSkeleton(&skeleton);
  AssertCounter asserts;
  window.UpdateNodeTree(pair, &node);
  EXPECT_EQ(asserts.Count(), 0u);
  ASSERT_EQ(Count(window, RenderWindow::kDiffuse), 1);
  ASSERT_EQ(Count(window, RenderWindow::kAlpha), 1);

  const Matrix solidWorld = Translation(0.25f, 1.0f, 3.0f);
  const Matrix alphaWorld = Translation(0.25f, -1.0f, 3.0f);
  const MeshRecord* solid = window.GetMesh(RenderWindow::kDiffuse, 0);
  const MeshRecord* blended = window.GetMesh(RenderWindow::kAlpha, 0);
  EXPECT_EQ(solid->node, pair->GetMesh(0));
  EXPECT_EQ(blended->node, pair->GetMesh(1));
  EXPECT_TRUE(MatrixNear(solid->world, solidWorld));
  EXPECT_TRUE(MatrixNear(blended->world, alphaWorld));
  EXPECT_TRUE(MatrixNear(solid->drawMatrix, Mul(Mul(solidWorld, view), device)));
  EXPECT_TRUE(MatrixNear(blended->drawMatrix, Mul(Mul(alphaWorld, view), device)));
  for (const MeshRecord* record : {solid, blended}) {
    EXPECT_EQ(record->flags, 0x8u | MeshRecord::kLit);
    EXPECT_EQ(record->tint.y, 0.25f);
    EXPECT_EQ(record->tint.w, 0.75f);
    EXPECT_EQ(record->overrideTexture, 7);
    EXPECT_EQ(record->skeleton, &skeleton);
  }

  // An instance: the body's flags as they are, no skeleton, no override.
  NodeInstanceBody body = Body(placement, 0x8);
  window.CullNodeTree(pair, &body);
  ASSERT_EQ(Count(window, RenderWindow::kDiffuse), 2);
  ASSERT_EQ(Count(window, RenderWindow::kAlpha), 2);
  for (const MeshRecord* record :
       {window.GetMesh(RenderWindow::kDiffuse, 1), window.GetMesh(RenderWindow::kAlpha, 1)}) {
    EXPECT_EQ(record->flags, 0x8u);
    EXPECT_EQ(record->skeleton, nullptr);
    EXPECT_EQ(record->overrideTexture, -1);
  }
  EXPECT_TRUE(MatrixNear(window.GetMesh(RenderWindow::kDiffuse, 1)->drawMatrix, solid->drawMatrix));

  // The window finds instance containers in the application's registry.
  EXPECT_EQ(window.FindNodeContainer(m_pair), pair);
  EXPECT_EQ(window.FindNodeContainer(m_pair + 1), nullptr);
}

TEST_F(NodeSubmissionTest, AlphaFlagsSendEveryMeshToTheAlphaList) {
  const Matrix placement = Translation(0.0f, 0.0f, 4.0f);
  // 0x10 is no alpha flag and hides nothing: it only travels with the rest.
  for (uint32_t flags : {0x04u, 0x20u, 0x40u, 0x24u, 0x30u}) {
    SCOPED_TRACE(flags);
    RenderWindow window;
    RenderNodeRecord node = Node(m_pair, placement, flags);
    window.UpdateNodeTree(Container(m_pair), &node);
    // The solid mesh gets two blended records, the blended one its one.
    EXPECT_EQ(Count(window, RenderWindow::kDiffuse), 0);
    ASSERT_EQ(Count(window, RenderWindow::kAlpha), 3);
    EXPECT_EQ(window.GetMesh(RenderWindow::kAlpha, 0)->node, Container(m_pair)->GetMesh(0));
    EXPECT_EQ(window.GetMesh(RenderWindow::kAlpha, 1)->node, Container(m_pair)->GetMesh(0));
    EXPECT_EQ(window.GetMesh(RenderWindow::kAlpha, 2)->node, Container(m_pair)->GetMesh(1));
    EXPECT_EQ(window.GetMesh(RenderWindow::kAlpha, 0)->flags, flags | MeshRecord::kLit);

    RenderWindow instances;
    NodeInstanceBody body = Body(placement, flags);
    instances.CullNodeTree(Container(m_pair), &body);
    EXPECT_EQ(Count(instances, RenderWindow::kDiffuse), 0);
    EXPECT_EQ(Count(instances, RenderWindow::kAlpha), 2) << "one record per mesh";
  }
}

TEST_F(NodeSubmissionTest, WhatLiesOutsideTheViewAddsNoRecords) {
  struct Case {
    const char* what;
    Matrix placement;
  };
  const Case outside[] = {
      {"far to the right", Translation(10.0f, 0.0f, 3.0f)},
      {"behind the eye", Translation(0.0f, 0.0f, -5.0f)},
      {"beyond the far plane", Translation(0.0f, 0.0f, 40.0f)},
  };
  for (const Case& c : outside) {
    SCOPED_TRACE(c.what);
    RenderWindow window;
    RenderNodeRecord node = Node(m_pair, c.placement, 0);
    window.UpdateNodeTree(Container(m_pair), &node);
    NodeInstanceBody body = Body(c.placement, 0x100);
    window.CullNodeTree(Container(m_pair), &body);
    EXPECT_EQ(Count(window, RenderWindow::kDiffuse) + Count(window, RenderWindow::kAlpha), 0);
    // Flag 0x100 turns culling off for render nodes (not for instances, above).
    node.SetFlags(0x100);
    window.UpdateNodeTree(Container(m_pair), &node);
    EXPECT_EQ(Count(window, RenderWindow::kDiffuse), 1);
    EXPECT_EQ(Count(window, RenderWindow::kAlpha), 1);
  }

  // The file's box is in view, one mesh is not: only that mesh is left out.
  RenderWindow window;
  const Matrix placement = Translation(0.0f, 0.0f, 3.0f);
  RenderNodeRecord node = Node(m_spread, placement, 0);
  window.UpdateNodeTree(Container(m_spread), &node);
  NodeInstanceBody body = Body(placement, 0);
  window.CullNodeTree(Container(m_spread), &body);
  EXPECT_EQ(Count(window, RenderWindow::kDiffuse), 2);
  EXPECT_EQ(Count(window, RenderWindow::kAlpha), 0);
  node.SetFlags(0x100);
  window.UpdateNodeTree(Container(m_spread), &node);
  EXPECT_EQ(Count(window, RenderWindow::kAlpha), 1);
}

// Drawn through the application's frame: a box straight ahead shows only its front face, which
// must cover exactly the pixels its corners project to. A light shining from the eye along the
// view lights that face alone, so a box drawn inside out (its back and sides, whose outline is
// the same) shows in another colour. The projection shows the world as the cameras do, x
// mirrored into the screen's columns (a right-handed world seen unmirrored).
TEST_F(NodeSubmissionTest, ATexturedBoxIsDrawnAtItsProjectedPixels) {
  geowriter::GeoDesc cube;
  cube.nodes = {Box(0.5f, 0, false)};
  Save("data\\models\\cube.geo", cube);
  const int32_t handle = GetApp().GetNodeFactory()->Add("data\\models\\cube.geo");
  ASSERT_NE(Container(handle), nullptr);

  RenderWindow* window = new RenderWindow(8);
  window->Init(Vector2(0, 0), Vector2(kWidth, kHeight), Vector4(0, 0, 0, 255), 6, 0.0f);
  GetApp().AddWindow(window);
  // The test's own matrices stay: no camera overwrites them.
  window->SetCamera(nullptr);
  LightSetup* lights = window->GetOwnLightSetup();
  lights->count = 1;
  lights->SetAmbient(0.25f, 0.25f, 0.25f);
  lights->lights[0] = {{0.0f, 0.0f, 1.0f}, {0.5f, 1.0f, 0.25f}};

  SetMatrices(Matrix(), Perspective(-1.0f), Perspective(-1.0f));
  // The front face lies at depth 1.5: x and y are divided by 1.5. Pixel x = (1 - x) * 320 with
  // the projection's x turned round, row = (1 - y) * 240.
  auto column = [](double x) { return (1.0 - x / 1.5) * 320.0; };
  auto row = [](double y) { return (1.0 - y / 1.5) * 240.0; };
  const Rgb black = {0, 0, 0};
  const int y0 = int(std::ceil(row(0.5))) + 2, y1 = int(row(-0.5)) - 2;

  // A render node centred at (0.25, 0, 2): the front face spans x -0.25..0.75, y -0.5..0.5. Lit:
  // the ambient plus half the light's colour (the face looks straight at the light).
  ASSERT_NE(window->AddRenderNode(Node(handle, Translation(0.25f, 0.0f, 2.0f), 0)), nullptr);
  m_harness.RunFrames(1);
  std::vector<uint32_t> pixels = content::ReadBack();
  const Rgb lit = {Modulate2x(200, 0.5 * 255), Modulate2x(100, 0.75 * 255),
                   Modulate2x(50, 0.375 * 255)};
  const int x0 = int(std::ceil(column(0.75))) + 2, x1 = int(column(-0.25)) - 2;
  EXPECT_TRUE(AreaIs(pixels, x0, y0, x1, y1, lit));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, x0 - 4, kHeight, black));
  EXPECT_TRUE(AreaIs(pixels, x1 + 4, 0, kWidth, kHeight, black));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, kWidth, y0 - 4, black));
  EXPECT_TRUE(AreaIs(pixels, 0, y1 + 4, kWidth, kHeight, black));

  // An instance of the same file: unlit, vertex colour times tint, placed to the left.
  NodeInstanceBody* body = window->AddNodeInstance(handle);
  ASSERT_NE(body, nullptr);
  *body = Body(Translation(-0.25f, 0.0f, 2.0f), 0);
  body->tint.Set(1.0f, 0.5f, 1.0f, 1.0f);
  m_harness.RunFrames(1);
  pixels = content::ReadBack();
  const Rgb unlit = {Modulate2x(200, 128), Modulate2x(100, 64), Modulate2x(50, 128)};
  const int u0 = int(std::ceil(column(0.25))) + 2, u1 = int(column(-0.75)) - 2;
  EXPECT_TRUE(AreaIs(pixels, u0, y0, u1, y1, unlit));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, u0 - 4, kHeight, black)) << "the render node is gone";
  EXPECT_TRUE(AreaIs(pixels, u1 + 4, 0, kWidth, kHeight, black));

  // Both placed out of view: nothing is drawn.
  ASSERT_NE(window->AddRenderNode(Node(handle, Translation(10.0f, 0.0f, 2.0f), 0)), nullptr);
  body = window->AddNodeInstance(handle);
  ASSERT_NE(body, nullptr);
  *body = Body(Translation(0.0f, 0.0f, -5.0f), 0);
  m_harness.RunFrames(1);
  EXPECT_TRUE(AreaIs(content::ReadBack(), 0, 0, kWidth, kHeight, black));
}

}  // namespace
