#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <set>
#include <tuple>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/PC/PCDebugLines.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderWindow.h"
#include "tests/support/AppHarness.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempDir.h"

namespace {

float Distance(const Vector4& a, const Vector4& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                   (a.z - b.z) * (a.z - b.z));
}

// Distance of p from the segment a-b.
float DistanceToSegment(const Vector4& p, const Vector4& a, const Vector4& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
  const double len2 = dx * dx + dy * dy + dz * dz;
  double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy + (p.z - a.z) * dz) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const Vector4 q(float(a.x + t * dx), float(a.y + t * dy), float(a.z + t * dz), 1.0f);
  return Distance(p, q);
}

void ExpectPoint(const Vector4& got, float x, float y, float z) {
  EXPECT_NEAR(got.x, x, 1e-5f);
  EXPECT_NEAR(got.y, y, 1e-5f);
  EXPECT_NEAR(got.z, z, 1e-5f);
}

// The edges of a box as unordered pairs of corners, each corner as (x, y, z).
using Corner = std::tuple<float, float, float>;
using Edge = std::pair<Corner, Corner>;
Edge MakeEdge(const Vector4& a, const Vector4& b) {
  Corner p{a.x, a.y, a.z}, q{b.x, b.y, b.z};
  return p < q ? Edge{p, q} : Edge{q, p};
}

class DebugLinesShapeTest : public TempDirTest {
 protected:
  DebugLines m_lines;
};

TEST_F(DebugLinesShapeTest, LinesAppendInOrderAndInitChangesTheGrowStep) {
  const Vector4 a(1, 2, 3, 1), b(4, 5, 6, 1);
  EXPECT_EQ(m_lines.GetGrowBy(), 16);
  EXPECT_EQ(m_lines.AddLine(&a, &b, 0xFF112233u), 0);
  EXPECT_EQ(m_lines.GetCapacity(), 16);
  EXPECT_EQ(m_lines.Init(), 0);
  EXPECT_EQ(m_lines.GetCount(), 0);
  EXPECT_EQ(m_lines.GetGrowBy(), 1);
  EXPECT_EQ(m_lines.AddLine(&a, &b, 1), 0);
  EXPECT_EQ(m_lines.AddLine(&b, &a, 2), 1);
  EXPECT_EQ(m_lines.AddLine(&a, &a, 3), 2);
  EXPECT_EQ(m_lines.GetCapacity(), 3);
  EXPECT_EQ(m_lines.GetLine(1).from.x, 4.0f);
  EXPECT_EQ(m_lines.GetLine(1).to.z, 3.0f);
  EXPECT_EQ(m_lines.GetLine(2).colour, 3u);
  m_lines.Empty();
  EXPECT_EQ(m_lines.GetCount(), 0);
  EXPECT_EQ(m_lines.GetCapacity(), 0);
}

TEST_F(DebugLinesShapeTest, MarkersCrossAlongYThenXThenZ) {
  const Vector4 p(1, 2, 3, 1);
  m_lines.AddMarker(&p, 0, 0xFFFFFFFFu);
  ASSERT_EQ(m_lines.GetCount(), 3);
  for (int i = 0; i < 3; ++i) {
    ExpectPoint(m_lines.GetLine(i).from, 1, 2, 3);
    ExpectPoint(m_lines.GetLine(i).to, 1, 2, 3);
  }
  m_lines.Empty();
  m_lines.AddMarker(&p, 5, 7);
  ASSERT_EQ(m_lines.GetCount(), 3);
  const float ends[3][6] = {{1, -3, 3, 1, 7, 3}, {-4, 2, 3, 6, 2, 3}, {1, 2, -2, 1, 2, 8}};
  for (int i = 0; i < 3; ++i) {
    ExpectPoint(m_lines.GetLine(i).from, ends[i][0], ends[i][1], ends[i][2]);
    ExpectPoint(m_lines.GetLine(i).to, ends[i][3], ends[i][4], ends[i][5]);
  }
  EXPECT_EQ(m_lines.GetLine(2).colour, 7u);
}

TEST_F(DebugLinesShapeTest, ABoxIsItsTwelveEdges) {
  const Vector4 a(-1, 2, 5, 1), b(3, -4, 6, 1);
  m_lines.AddBox(&a, &b, 9);
  ASSERT_EQ(m_lines.GetCount(), 12);
  // Every pair of corners that differ in exactly one coordinate, found by brute force.
  std::vector<Vector4> corners;
  for (float x : {a.x, b.x})
    for (float y : {a.y, b.y})
      for (float z : {a.z, b.z}) corners.emplace_back(x, y, z, 1.0f);
  std::set<Edge> want;
  for (const Vector4& p : corners)
    for (const Vector4& q : corners) {
      int differ = (p.x != q.x) + (p.y != q.y) + (p.z != q.z);
      if (differ == 1) want.insert(MakeEdge(p, q));
    }
  ASSERT_EQ(want.size(), 12u);
  std::set<Edge> got;
  for (int i = 0; i < 12; ++i) got.insert(MakeEdge(m_lines.GetLine(i).from, m_lines.GetLine(i).to));
  EXPECT_EQ(got, want);
}

TEST_F(DebugLinesShapeTest, CirclesAndSpheres) {
  const Vector4 c(1, 2, 3, 1);
  m_lines.AddCircleXY(&c, 2.0f, 0, 1);
  m_lines.AddSphere(&c, 2.0f, 0, 1);
  EXPECT_EQ(m_lines.GetCount(), 0);

  // Four segments: a diamond starting at angle 0 on the plane's first axis.
  m_lines.AddCircleXY(&c, 2.0f, 4, 1);
  ASSERT_EQ(m_lines.GetCount(), 4);
  ExpectPoint(m_lines.GetLine(0).from, 3, 2, 3);
  ExpectPoint(m_lines.GetLine(0).to, 1, 4, 3);
  ExpectPoint(m_lines.GetLine(1).to, -1, 2, 3);
  ExpectPoint(m_lines.GetLine(2).to, 1, 0, 3);
  ExpectPoint(m_lines.GetLine(3).to, 3, 2, 3);
  for (int i = 0; i + 1 < 4; ++i)
    ExpectPoint(m_lines.GetLine(i + 1).from, m_lines.GetLine(i).to.x, m_lines.GetLine(i).to.y,
                m_lines.GetLine(i).to.z);
  m_lines.Empty();
  m_lines.AddCircleXZ(&c, 2.0f, 4, 1);
  ExpectPoint(m_lines.GetLine(0).from, 3, 2, 3);
  ExpectPoint(m_lines.GetLine(0).to, 1, 2, 5);
  m_lines.Empty();
  m_lines.AddCircleYZ(&c, 2.0f, 4, 1);
  ExpectPoint(m_lines.GetLine(0).from, 1, 4, 3);
  ExpectPoint(m_lines.GetLine(0).to, 1, 2, 5);
  m_lines.Empty();

  // Segment counts on both sides of 32 give closed circles of n lines.
  for (int n : {3, 12, 31, 32, 40}) {
    SCOPED_TRACE(n);
    m_lines.AddSphere(&c, 2.5f, n, 0xFF00FF00u);
    ASSERT_EQ(m_lines.GetCount(), 3 * n);
    for (int i = 0; i < 3 * n; ++i) {
      const FE_Line& line = m_lines.GetLine(i);
      EXPECT_NEAR(Distance(line.from, c), 2.5f, 1e-4f);
      EXPECT_NEAR(Distance(line.to, c), 2.5f, 1e-4f);
      // YZ first, then XZ, then XY: the fixed coordinate is the centre's.
      const int plane = i / n;
      EXPECT_EQ(plane == 0   ? line.from.x
                : plane == 1 ? line.from.y
                             : line.from.z,
                plane == 0   ? c.x
                : plane == 1 ? c.y
                             : c.z);
    }
    // Each circle ends where it started.
    for (int k = 0; k < 3; ++k) {
      const Vector4& first = m_lines.GetLine(k * n).from;
      const Vector4& last = m_lines.GetLine(k * n + n - 1).to;
      EXPECT_EQ(Distance(first, last), 0.0f);
    }
    m_lines.Empty();
  }
}

TEST_F(DebugLinesShapeTest, CapsuleLinesLieOnTheCapsule) {
  struct Case {
    int segments;
    int ring;  // the segment count actually used
  };
  const Case cases[] = {{3, 4}, {4, 4}, {5, 6}, {-7, 4}, {0, 4}, {31, 32}, {100, 32}};
  CapsuleShape shapes[3];
  shapes[0].point.Set(0, 0, 0, 1);
  shapes[0].axis.Set(0, 0, 10, 0);
  shapes[0].radius = 2.0f;
  shapes[1].point.Set(5, -3, 2, 1);
  shapes[1].axis.Set(3, 4, -12, 0);
  shapes[1].radius = 1.5f;
  shapes[2].point.Set(1, 1, 1, 1);  // no axis: a sphere's outline
  shapes[2].radius = 3.0f;
  for (const CapsuleShape& shape : shapes) {
    const Vector4 end(shape.point.x + shape.axis.x, shape.point.y + shape.axis.y,
                      shape.point.z + shape.axis.z, 1.0f);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.segments);
      m_lines.AddCapsule(&shape, c.segments, 5);
      // Two rings, half as many joins, and four half circles of half as many segments.
      ASSERT_EQ(m_lines.GetCount(), 2 * c.ring + c.ring / 2 + 4 * (c.ring / 2));
      for (int i = 0; i < m_lines.GetCount(); ++i) {
        EXPECT_NEAR(DistanceToSegment(m_lines.GetLine(i).from, shape.point, end), shape.radius,
                    1e-3f);
        EXPECT_NEAR(DistanceToSegment(m_lines.GetLine(i).to, shape.point, end), shape.radius,
                    1e-3f);
      }
      m_lines.Empty();
    }
  }
}

TEST_F(DebugLinesShapeTest, MeshBoundsFollowTheMeshOriginButNotTheRotation) {
  GeoMeshFileRecord record{};
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 0, 0, 1};
  std::memcpy(record.matrix, identity, sizeof(identity));
  const float lo[4] = {-1, -2, -3, 1}, hi[4] = {1, 2, 3, 1};
  std::memcpy(record.boxMin, lo, sizeof(lo));
  std::memcpy(record.boxMax, hi, sizeof(hi));
  FileImage image(&record, sizeof(record), "bounds.geo");
  GeoObject geo;
  ASSERT_EQ(geo.Create(image, 0, 1), 1);
  SceneNode mesh;
  mesh.geoObject = &geo;

  // Turned a quarter round z, scaled by 2 and moved up 5: the origin (10, 0, 0) goes to
  // (0, 20, 0) + (0, 5, 0); the box keeps its size and axes.
  const Matrix m = {{0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 0, 5, 0, 1}};
  const SceneNode* meshes[3] = {&mesh, nullptr, &mesh};
  m_lines.AddMeshBounds(meshes, 3, 0xFFFF00FFu, &m);
  ASSERT_EQ(m_lines.GetCount(), 24) << "the failed mesh in the middle is passed over";
  float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f, minZ = 1e9f, maxZ = -1e9f;
  for (int i = 0; i < 12; ++i)
    for (const Vector4* p : {&m_lines.GetLine(i).from, &m_lines.GetLine(i).to}) {
      minX = std::min(minX, p->x), maxX = std::max(maxX, p->x);
      minY = std::min(minY, p->y), maxY = std::max(maxY, p->y);
      minZ = std::min(minZ, p->z), maxZ = std::max(maxZ, p->z);
    }
  const float got[6] = {minX, maxX, minY, maxY, minZ, maxZ}, want[6] = {-1, 1, 23, 27, -3, 3};
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(got[i], want[i], 1e-4f) << i;
  m_lines.Empty();

  // A mesh without its geometry object is reported and adds nothing; no meshes add nothing.
  AssertCounter asserts;
  SceneNode empty;
  const SceneNode* broken[1] = {&empty};
  m_lines.AddMeshBounds(broken, 1, 1, &m);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_TRUE(DebugLogContains("m_pObject!=NULL"));
  m_lines.AddMeshBounds(meshes, 0, 1, &m);
  EXPECT_EQ(m_lines.GetCount(), 0);
}

// ---- On the device.

class DebugLinesDrawTest : public AppTest {
 protected:
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;

  Display* display() { return m_harness.app().GetDisplay(); }
  gfx::D3DDevice* device() { return display()->GetDevice(); }

  // World = identity, a view that moves x by 0.1 and a projection that skews depth into x and
  // y, so that the back face of a box shows beside its front face: x' = x + 0.1 + 0.3 z,
  // y' = y + 0.2 z, z' = z / 2.
  void UseSkewProjection() {
    Matrix identity;
    identity.Identity();
    display()->SetWorldMatrix(&identity);
    Matrix view = identity;
    view.m[12] = 0.1f;
    display()->SetViewMatrix(&view);
    Matrix skew;
    skew.Identity();
    skew.m[8] = 0.3f;
    skew.m[9] = 0.2f;
    skew.m[10] = 0.5f;
    display()->SetDeviceProjectionMatrix(&skew);
    display()->UpdateMatrices();
  }
  static void Project(const Vector4& p, int* x, int* y) {
    const float cx = p.x + 0.1f + 0.3f * p.z;
    const float cy = p.y + 0.2f * p.z;
    *x = int(std::lround((cx + 1.0f) * 0.5f * kWidth));
    *y = int(std::lround((1.0f - cy) * 0.5f * kHeight));
  }
  // True when a pixel within two of (x, y) has the colour.
  static bool Near(const std::vector<uint32_t>& pixels, int x, int y, uint32_t rgb) {
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx) {
        int px = x + dx, py = y + dy;
        if (px < 0 || py < 0 || px >= kWidth || py >= kHeight) continue;
        if ((pixels[size_t(py * kWidth + px)] & 0xFFFFFFu) == rgb) return true;
      }
    return false;
  }
  std::vector<uint32_t> DrawByHand(DebugLines* lines) {
    EXPECT_EQ(display()->BeginScene(), 1);
    const gfx::D3DVIEWPORT9 full = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
    device()->SetViewport(&full);
    device()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    lines->Draw();
    display()->EndScene();
    std::vector<uint32_t> pixels(kWidth * kHeight);
    EXPECT_EQ(device()->ReadBackBuffer(pixels.data(), kWidth, kHeight), gfx::D3D_OK);
    return pixels;
  }
};

TEST_F(DebugLinesDrawTest, EveryEdgeOfABoxIsDrawn) {
  ASSERT_TRUE(m_harness.Start());
  UseSkewProjection();
  DebugLines lines;
  lines.Init();
  const Vector4 a(-0.6f, -0.6f, 0.0f, 1.0f), b(0.2f, 0.2f, 1.0f, 1.0f);
  lines.AddBox(&a, &b, 0xFFFF0000u);
  std::vector<FE_Line> edges;
  for (int i = 0; i < lines.GetCount(); ++i) edges.push_back(lines.GetLine(i));
  ASSERT_EQ(edges.size(), 12u);
  std::vector<uint32_t> pixels = DrawByHand(&lines);
  for (const FE_Line& e : edges)
    for (float t : {0.2f, 0.5f, 0.8f}) {
      Vector4 p;
      Lerp(e.from, e.to, t, p);
      int x, y;
      Project(p, &x, &y);
      EXPECT_TRUE(Near(pixels, x, y, 0xFF0000u)) << "edge point at (" << x << ", " << y << ")";
    }
  // Inside the front face, clear of every edge, nothing is drawn.
  int x, y;
  Project(Vector4(-0.5f, -0.5f, 0.0f, 1.0f), &x, &y);
  EXPECT_FALSE(Near(pixels, x + 6, y - 6, 0xFF0000u));
  // Stage 0 takes its colour from the texture again afterwards, and the lines are gone.
  EXPECT_EQ(RenderStateCache::GetTextureStageState(0, gfx::D3DTSS_COLORARG1), gfx::D3DTA_TEXTURE);
  EXPECT_EQ(RenderStateCache::GetTextureStageState(0, gfx::D3DTSS_ALPHAARG1), gfx::D3DTA_TEXTURE);
  EXPECT_EQ(lines.GetCount(), 0);
  EXPECT_EQ(lines.GetCapacity(), 0);
}

TEST_F(DebugLinesDrawTest, LinesAreDrawnInOneFrameOnly) {
  ASSERT_TRUE(m_harness.Start());
  DebugLines lines;
  // Nothing gathered: not one call reaches the device.
  device()->ResetCallCounts();
  lines.Draw();
  for (uint32_t call = 0; call < uint32_t(gfx::DeviceCall::Count); ++call)
    EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall(call)), 0u) << "call " << call;

  // Through a window's frame: one draw per line in the frame they were added in, none after.
  auto* window = TrackedNew<RenderWindow>("test", 0);
  window->Init(Vector2(0, 0), Vector2(640, 480), Vector4(0, 0, 0, 255), 6, 0.0f);
  m_harness.app().AddWindow(window);
  m_harness.RunFrames(2);
  device()->ResetCallCounts();
  m_harness.RunFrames(1);
  const uint32_t quiet = device()->GetCallCount(gfx::DeviceCall::DrawPrimitiveUP);
  const Vector4 a(-1, -1, -1, 1), b(1, 1, 1, 1);
  window->GetDebugLines()->AddBox(&a, &b, 0xFFFFFFFFu);
  window->GetDebugLines()->AddMarker(&a, 2, 0xFFFFFFFFu);
  device()->ResetCallCounts();
  m_harness.RunFrames(1);
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::DrawPrimitiveUP), quiet + 15);
  EXPECT_EQ(window->GetDebugLines()->GetCount(), 0);
  device()->ResetCallCounts();
  m_harness.RunFrames(1);
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::DrawPrimitiveUP), quiet);
}

}  // namespace
