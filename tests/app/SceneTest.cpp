#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "Engine/CRC32.h"
#include "Engine/Camera.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCNodeContainer.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSceneFactory.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/ScnWriter.h"

namespace {

using scnwriter::ObjectDesc;
using scnwriter::SceneDesc;

using content::kHeight;
using content::kWidth;

bool SaveSolidTexture(const std::string& path, uint32_t argb) {
  return content::SaveSolidDds(path, argb);
}

ObjectDesc QuadObject(float half, uint32_t material = 0xFFFFFFFFu, bool alpha = false,
                      uint16_t flags = 0) {
  ObjectDesc object;
  object.mesh = scnwriter::Quad(-half, -half, half, half, 0.0f, 0xFF808080u, material, alpha);
  object.mesh.flags = flags;
  return object;
}

bool Equal(const Matrix& a, const Matrix& b) {
  for (int i = 0; i < 16; ++i)
    if (a.m[i] != b.m[i]) return false;
  return true;
}

Matrix FromRows(const scnwriter::Matrix16& m) {
  Matrix out;
  for (int i = 0; i < 16; ++i) out.m[i] = m[i];
  return out;
}

class SceneTest : public AppTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SaveSolidTexture("data/badtexture.dds", 0xFF20C040u));
    ASSERT_TRUE(SaveSolidTexture("data/Scene/red.dds", 0xFFC83232u));
    ASSERT_TRUE(SaveSolidTexture("data/Scene/water.dds", 0xFF3060F0u));
    geowriter::GeoDesc geo;
    const float lo[3] = {-4, -4, -4}, hi[3] = {4, 4, 4};
    geo.nodes.push_back({geowriter::BoxMesh(lo, hi, 0xFF808080u, 0xFFFFFFFFu), {}});
    ASSERT_TRUE(geowriter::SaveGeo("data/Scene/crate.geo", geo));
    ps2writer::Template spark;
    spark.texture = "red.dds";
    spark.flags = ps2writer::kLooped;
    ASSERT_TRUE(ps2writer::SavePs2("data/Scene/spark.ps2", spark));
    ASSERT_TRUE(m_harness.Start());
    GetApp().SetDataDir("data\\Scene\\");
  }

  SceneFactory* scenes() { return GetApp().GetSceneFactory(); }

  Scene* Load(const SceneDesc& desc, const char* name = "test.scn") {
    EXPECT_TRUE(scnwriter::SaveScn(std::string("data/Scene/") + name, desc));
    const int32_t id = scenes()->CreateScene(name);
    EXPECT_NE(id, -1);
    m_ids.push_back(id);
    return scenes()->FindScene(id);
  }
  void TearDown() override {
    for (int32_t id : m_ids) scenes()->DeleteScene(id);
  }

  // A window of the whole client area on a dark blue clear, registered with the application.
  RenderWindow* AddWindow() {
    RenderWindow* window = new RenderWindow();
    window->Init(Vector2(0, 0), Vector2(kWidth, kHeight), Vector4(0, 0, 64, 255), 6, 0.0f);
    GetApp().AddWindow(window);
    return window;
  }
  // Runs the window's update alone, as the frame does, and leaves its lists to be read.
  void UpdateOnly(RenderWindow* window) { window->Update(); }
  // Draws and so empties the lists.
  void Flush(RenderWindow* window) {
    Display* display = GetApp().GetDisplay();
    display->BeginScene();
    window->Render();
    display->EndScene();
  }
  int32_t Count(RenderWindow* window, RenderWindow::MeshList list) {
    return window->GetMeshCount(list);
  }
  static std::vector<uint32_t> ReadBack() { return content::ReadBack(); }

  std::vector<int32_t> m_ids;
};

// ---- Submission

TEST_F(SceneTest, PlacedObjectsFillTheFourListsByKind) {
  SceneDesc desc;
  ObjectDesc both = QuadObject(10);
  both.mesh.alphaStrips = both.mesh.solidStrips;
  desc.objects = {QuadObject(10),                             // 0 solid
                  QuadObject(10, 0xFFFFFFFFu, true),          // 1 alpha
                  both,                                       // 2 solid and alpha
                  QuadObject(10, 0xFFFFFFFFu, false, 2),      // 3 effect, solid
                  QuadObject(10, 0xFFFFFFFFu, true, 2),       // 4 effect, alpha
                  QuadObject(10, 0xFFFFFFFFu, false, 4)};     // 5 water
  const scnwriter::Matrix16 here = scnwriter::Translation(3, 4, 5);
  const scnwriter::Matrix16 behind = scnwriter::Translation(0, 0, -1000);
  desc.matrices = {here, behind};
  desc.placements = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {0, 1}, {3, 1}, {1, 1}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  EXPECT_EQ(scene->HasWater(), 1);
  RenderWindow* window = AddWindow();
  window->SetScene(scene);
  const int32_t reflection = window->GetReflectionTexture();
  EXPECT_NE(reflection, -1);

  UpdateOnly(window);
  GeoMesh* solid = scene->GetObject(0);
  GeoMesh* alpha = scene->GetObject(1);
  GeoMesh* mixed = scene->GetObject(2);
  GeoMesh* water = scene->GetObject(5);
  // Placement order within each list; the three placements behind the eye are culled.
  int32_t diffuse = 0, blended = 0;
  ASSERT_GE(Count(window, RenderWindow::kDiffuse), 2);
  EXPECT_EQ(window->GetMesh(RenderWindow::kDiffuse, diffuse++)->node, solid);
  EXPECT_EQ(window->GetMesh(RenderWindow::kDiffuse, diffuse++)->node, mixed);
  ASSERT_GE(Count(window, RenderWindow::kAlpha), 2);
  EXPECT_EQ(window->GetMesh(RenderWindow::kAlpha, blended++)->node, alpha);
  EXPECT_EQ(window->GetMesh(RenderWindow::kAlpha, blended++)->node, mixed);
  // The water mesh comes after them, in whichever lists its strips send it to, with the
  // window's reflection as its texture.
  int32_t waterRecords = 0;
  for (RenderWindow::MeshList list : {RenderWindow::kDiffuse, RenderWindow::kAlpha}) {
    for (int32_t i = list == RenderWindow::kDiffuse ? diffuse : blended; i < Count(window, list);
         ++i) {
      const MeshRecord* record = window->GetMesh(list, i);
      EXPECT_EQ(record->node, water);
      EXPECT_EQ(record->flags, 0x201u);
      EXPECT_EQ(record->overrideTexture, reflection);
      ++waterRecords;
    }
  }
  EXPECT_GE(waterRecords, 1);
  ASSERT_EQ(Count(window, RenderWindow::kEffect), 1);
  EXPECT_EQ(window->GetMesh(RenderWindow::kEffect, 0)->node, scene->GetObject(3));
  ASSERT_EQ(Count(window, RenderWindow::kAlphaEffect), 1);
  EXPECT_EQ(window->GetMesh(RenderWindow::kAlphaEffect, 0)->node, scene->GetObject(4));

  // Every non-water record: flags 0x1, white, placed by the placement's matrix, no skeleton.
  Display* display = GetApp().GetDisplay();
  Matrix draw;
  Multiply(FromRows(here), *display->GetViewMatrix(), draw);
  Multiply(draw, *display->GetDeviceProjectionMatrix(), draw);
  for (RenderWindow::MeshList list : {RenderWindow::kDiffuse, RenderWindow::kAlpha,
                                      RenderWindow::kEffect, RenderWindow::kAlphaEffect}) {
    for (int32_t i = 0; i < Count(window, list); ++i) {
      const MeshRecord* record = window->GetMesh(list, i);
      SCOPED_TRACE(testing::Message() << "list " << list << " record " << i);
      if (record->node != water) {
        EXPECT_EQ(record->flags, 0x1u);
        EXPECT_EQ(record->overrideTexture, -1);
      }
      EXPECT_TRUE(Equal(record->world, FromRows(here)));
      EXPECT_TRUE(Equal(record->drawMatrix, draw));
      EXPECT_EQ(record->tint.x, 1.0f);
      EXPECT_EQ(record->tint.w, 1.0f);
      EXPECT_EQ(record->skeleton, nullptr);
    }
  }
  Flush(window);

  // The hide bit stops all submission; clearing it brings it back on the next frame.
  scene->SetFlags(scene->GetFlags() | BaseScene::kHidden);
  UpdateOnly(window);
  for (RenderWindow::MeshList list : {RenderWindow::kDiffuse, RenderWindow::kAlpha,
                                      RenderWindow::kEffect, RenderWindow::kAlphaEffect})
    EXPECT_EQ(Count(window, list), 0);
  Flush(window);
  scene->SetFlags(1);
  UpdateOnly(window);
  EXPECT_EQ(Count(window, RenderWindow::kEffect), 1);
  Flush(window);
}

TEST_F(SceneTest, GameNodeGeometryIsCulledWholeAndCarriesTheNodesFlagsAndTint) {
  SceneDesc desc;
  desc.objects = {QuadObject(10)};
  desc.matrices = {scnwriter::Translation(0, 0, 0)};
  desc.placements = {};
  desc.nodes = {{"crate", scnwriter::Translation(20, 0, 0), "crate", " "},
                {"marker", scnwriter::Translation(0, 10, 0), " ", " "}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  RenderWindow* window = AddWindow();
  window->SetScene(scene);
  GameNode* crate = scene->FindGameNode("crate");
  ASSERT_NE(crate, nullptr);
  ASSERT_NE(crate->geometry, -1);
  NodeContainer* container = GetApp().GetNodeFactory()->GetContainer(crate->geometry);
  ASSERT_NE(container, nullptr);
  GeoMesh* box = container->GetMesh(0);
  crate->tint.Set(0.5f, 0.25f, 1.0f, 0.75f);

  UpdateOnly(window);
  ASSERT_EQ(Count(window, RenderWindow::kDiffuse), 1);
  EXPECT_EQ(Count(window, RenderWindow::kAlpha), 0);
  const MeshRecord* record = window->GetMesh(RenderWindow::kDiffuse, 0);
  EXPECT_EQ(record->node, box);
  EXPECT_EQ(record->flags, 0x401u);
  EXPECT_EQ(record->tint.y, 0.25f);
  EXPECT_EQ(record->tint.w, 0.75f);
  Matrix world;
  Multiply(box->geoObject->GetLocalMatrix(), crate->matrix, world);
  EXPECT_TRUE(Equal(record->world, world));
  EXPECT_EQ(record->world.m[12], 20.0f);
  Flush(window);

  // Any of 0x04, 0x20, 0x40 sends even solid meshes to the alpha list, once.
  crate->flags = 0x20;
  UpdateOnly(window);
  EXPECT_EQ(Count(window, RenderWindow::kDiffuse), 0);
  ASSERT_EQ(Count(window, RenderWindow::kAlpha), 1);
  EXPECT_EQ(window->GetMesh(RenderWindow::kAlpha, 0)->flags, 0x421u);
  Flush(window);

  // Hidden, or moved behind the eye: nothing.
  crate->flags = GameNode::kHidden;
  UpdateOnly(window);
  EXPECT_EQ(Count(window, RenderWindow::kDiffuse) + Count(window, RenderWindow::kAlpha), 0);
  Flush(window);
  crate->flags = 0;
  crate->matrix.m[14] = -1000.0f;
  UpdateOnly(window);
  EXPECT_EQ(Count(window, RenderWindow::kDiffuse) + Count(window, RenderWindow::kAlpha), 0);
  Flush(window);
  crate->matrix.m[14] = 0.0f;

  // The debug word adds a marker of three lines at every game node.
  EXPECT_EQ(window->GetDebugLines()->GetCount(), 0);
  scene->SetDebugFlag(1);
  UpdateOnly(window);
  EXPECT_EQ(window->GetDebugLines()->GetCount(), 6);
  EXPECT_EQ(Count(window, RenderWindow::kDiffuse), 1);
  Flush(window);
}

TEST_F(SceneTest, ASceneWithoutObjectsSubmitsNothingNotEvenItsNodes) {
  SceneDesc desc;
  desc.placementList = false;
  desc.nodes = {{"crate", scnwriter::Translation(0, 0, 0), "crate", " "}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  ASSERT_NE(scene->GetGameNodeRecord(0)->geometry, -1);
  RenderWindow* window = AddWindow();
  window->SetScene(scene);
  scene->SetDebugFlag(1);
  UpdateOnly(window);
  for (RenderWindow::MeshList list : {RenderWindow::kDiffuse, RenderWindow::kAlpha,
                                      RenderWindow::kEffect, RenderWindow::kAlphaEffect})
    EXPECT_EQ(Count(window, list), 0);
  EXPECT_EQ(window->GetDebugLines()->GetCount(), 0);
  Flush(window);
}

TEST_F(SceneTest, AWindowDeletingItsSceneGoesThroughTheFactoryAndFreedScenesLeaveEveryWindow) {
  SceneDesc desc;
  desc.nodes = {{"crate", scnwriter::Translation(0, 0, 0), "crate", " "}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  const int32_t before = scenes()->GetCount();
  RenderWindow* window = AddWindow();
  window->SetScene(scene);
  window->DeleteScene();
  EXPECT_EQ(window->GetScene(), nullptr);
  // The factory no longer holds it, so neither the test's own delete nor shutdown frees it again.
  EXPECT_EQ(scenes()->GetCount(), before - 1);
  EXPECT_EQ(scenes()->FindScene(m_ids.back()), nullptr);
  m_ids.pop_back();

  // Freed through the factory, a scene leaves every window showing it.
  scene = Load(desc);
  RenderWindow* second = AddWindow();
  window->SetScene(scene);
  second->SetScene(scene);
  scenes()->DeleteScene(m_ids.back());
  m_ids.pop_back();
  EXPECT_EQ(window->GetScene(), nullptr) << "the window shown first would draw a freed scene";
  EXPECT_EQ(second->GetScene(), nullptr);
}

// ---- Pixels

using content::Rgb;

// A MODULATE2X stage: texture times a vertex colour of 0x80, doubled.
double Modulate2x(int texture) { return content::Modulate2x(texture, 0x80); }

::testing::AssertionResult AreaIs(const std::vector<uint32_t>& pixels, int x0, int y0, int x1,
                                  int y1, const Rgb& want) {
  return content::AreaIs(pixels, x0, y0, x1, y1, want, 3.0);
}

// Where the window's default camera (eye 160 in front of the origin on -z, a vertical field of
// view of 45 degrees over 480 rows) puts a point of the z = 0 plane: pixels per unit are
// 240 / (160 tan 22.5 degrees). The camera's world is z-up: looking straight along +z it pitches
// up by a right angle, so its own up is world -y and world +y runs down the screen.
struct Screen {
  static double Scale() { return 240.0 / (160.0 * std::tan(3.14159265358979 / 8.0)); }
  static int X(double x) { return static_cast<int>(std::lround(320.0 + x * Scale())); }
  static int Y(double y) { return static_cast<int>(std::lround(240.0 + y * Scale())); }
};

TEST_F(SceneTest, PlacementsAreDrawnWhereTheirMatricesPutThem) {
  SceneDesc desc;
  ObjectDesc red = QuadObject(20, 0);
  red.textures = {"red.dds"};
  desc.objects = {red, QuadObject(10)};
  desc.matrices = {scnwriter::Translation(-60, 0, 0), scnwriter::Translation(60, 30, 0),
                   scnwriter::Translation(0, -40, 0), scnwriter::Translation(0, 0, -1000)};
  // The red square twice, the fallback-textured one once, and once behind the eye.
  desc.placements = {{0, 0}, {0, 1}, {1, 2}, {1, 3}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  RenderWindow* window = AddWindow();
  window->SetScene(scene);
  m_harness.RunFrames(1);
  const std::vector<uint32_t> pixels = ReadBack();

  const Rgb redColour = {Modulate2x(0xC8), Modulate2x(0x32), Modulate2x(0x32)};
  const Rgb green = {Modulate2x(0x20), Modulate2x(0xC0), Modulate2x(0x40)};
  const Rgb clear = {0, 0, 64};
  const int m = 3;  // keep off the edges
  // Red square at (-60, 0): x -80..-40, y -20..20.
  EXPECT_TRUE(AreaIs(pixels, Screen::X(-80) + m, Screen::Y(-20) + m, Screen::X(-40) - m,
                     Screen::Y(20) - m, redColour));
  // The same object again at (60, 30): x 40..80, y 10..50.
  EXPECT_TRUE(AreaIs(pixels, Screen::X(40) + m, Screen::Y(10) + m, Screen::X(80) - m,
                     Screen::Y(50) - m, redColour));
  // The small square at (0, -40): x -10..10, y -50..-30.
  EXPECT_TRUE(AreaIs(pixels, Screen::X(-10) + m, Screen::Y(-50) + m, Screen::X(10) - m,
                     Screen::Y(-30) - m, green));
  // Elsewhere the clear colour: a band round the centre, the corners beyond the squares.
  EXPECT_TRUE(AreaIs(pixels, Screen::X(-35), Screen::Y(-25), Screen::X(35), Screen::Y(5), clear));
  EXPECT_TRUE(AreaIs(pixels, 0, 0, Screen::X(-85), kHeight, clear));
  EXPECT_TRUE(AreaIs(pixels, Screen::X(-80), 0, Screen::X(-15), Screen::Y(-25), clear));
  EXPECT_TRUE(AreaIs(pixels, Screen::X(35), Screen::Y(55), kWidth, kHeight, clear));

  // Hidden, the scene leaves only the clear colour.
  scene->SetFlags(scene->GetFlags() | BaseScene::kHidden);
  m_harness.RunFrames(1);
  EXPECT_TRUE(AreaIs(ReadBack(), 0, 0, kWidth, kHeight, clear));
}

// ---- Attachment

TEST_F(SceneTest, AttachingStartsTheNodesParticleSystemsOnceInThatWindow) {
  SceneDesc desc;
  desc.objects = {QuadObject(10)};
  desc.matrices = {scnwriter::Translation(0, 0, 0)};
  desc.placements = {{0, 0}};
  desc.nodes = {{"fire", scnwriter::Translation(5, 6, 7), " ", "spark"},
                {"camera01", scnwriter::Translation(0, 0, -100), " ", " "},
                {"smoke", scnwriter::Translation(-5, 0, 0), " ", "spark"}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  RenderWindow* window = AddWindow();
  window->SetScene(scene);
  EXPECT_EQ(scene->GetWindowId(), window->GetId());
  ASSERT_EQ(window->GetParticleSystemCount(), 2);
  GameNode* fire = scene->FindGameNode("fire");
  BaseParticleSystem* system = window->GetParticleSystem(fire->particleSystem);
  ASSERT_NE(system, nullptr);
  EXPECT_TRUE(Equal(system->GetEmitterMatrix(), fire->matrix));
  EXPECT_EQ(scene->FindGameNode("camera01")->particleSystem, -1);

  // Attached again: the first set goes, a new one starts under new ids.
  const int32_t firstId = fire->particleSystem;
  window->SetScene(scene);
  EXPECT_EQ(window->GetParticleSystemCount(), 2);
  EXPECT_NE(fire->particleSystem, firstId);
  EXPECT_EQ(window->GetParticleSystem(firstId), nullptr);
  m_harness.RunFrames(2);
  EXPECT_EQ(window->GetParticleSystemCount(), 2);

  // Attached to another window: the systems move there.
  RenderWindow* other = AddWindow();
  other->SetScene(scene);
  window->SetScene(nullptr);
  EXPECT_EQ(window->GetParticleSystemCount(), 0);
  EXPECT_EQ(other->GetParticleSystemCount(), 2);
  EXPECT_EQ(scene->GetWindowId(), other->GetId());
  EXPECT_NE(other->GetParticleSystem(fire->particleSystem), nullptr);

  // Deleting the scene takes its systems out of the window and the scene out of the window.
  const int32_t sparkId = fire->particleTemplate;
  scenes()->DeleteScene(m_ids.back());
  m_ids.pop_back();
  EXPECT_EQ(other->GetParticleSystemCount(), 0);
  EXPECT_EQ(other->GetScene(), nullptr);
  EXPECT_EQ(GetApp().GetParticleFactory()->GetRefCount(sparkId), 0);
  m_harness.RunFrames(1);
}

TEST_F(SceneTest, SystemsAreDeletedOnlyInTheWindowTheSceneWasAttachedTo) {
  SceneDesc desc;
  desc.objects = {QuadObject(10)};
  desc.matrices = {scnwriter::Translation(0, 0, 0)};
  desc.placements = {{0, 0}};
  desc.nodes = {{"fire", scnwriter::Translation(5, 6, 7), " ", "spark"}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  RenderWindow* first = AddWindow();
  first->SetScene(scene);
  const int32_t firstId = first->GetId();
  const int32_t systemId = scene->FindGameNode("fire")->particleSystem;
  ASSERT_EQ(systemId, 0);
  GetApp().DeleteWindow(firstId);

  // Another window, with a system of its own under the id the scene's system had.
  RenderWindow* second = AddWindow();
  ASSERT_GE(second->AddParticleSystem(scene->FindGameNode("fire")->particleTemplate,
                                      scene->FindGameNode("fire")->matrix),
            0);
  ASSERT_NE(second->GetParticleSystem(systemId), nullptr);
  scenes()->DeleteScene(m_ids.back());
  m_ids.pop_back();
  EXPECT_NE(second->GetParticleSystem(systemId), nullptr);
  EXPECT_EQ(second->GetParticleSystemCount(), 1);
}

TEST_F(SceneTest, WaterTakesTheReflectionAndItsTextureOnceHoweverOftenAttached) {
  SceneDesc desc;
  desc.objects = {QuadObject(10, 0xFFFFFFFFu, false, 4)};
  desc.matrices = {scnwriter::Translation(0, 0, 0)};
  desc.placements = {{0, 0}};
  Scene* scene = Load(desc);
  ASSERT_NE(scene, nullptr);
  ASSERT_EQ(scene->HasWater(), 1);
  EXPECT_EQ(scene->GetWaterTexture(), -1);
  RenderWindow* window = AddWindow();
  EXPECT_EQ(window->GetRenderTargets(), nullptr);
  window->SetScene(scene);
  EXPECT_NE(window->GetRenderTargets(), nullptr);
  const int32_t water = static_cast<int32_t>(CRC32::CreateHash("water.dds"));
  EXPECT_EQ(scene->GetWaterTexture(), water);
  Texture* textures = GetApp().GetTexture();
  ASSERT_NE(textures->Find(water), nullptr);
  EXPECT_EQ(textures->Find(water)->refCount, 1);
  window->SetScene(scene);
  window->SetScene(scene);
  EXPECT_EQ(textures->Find(water)->refCount, 1);
  EXPECT_EQ(window->MakeDrawContext().reflectionTexture, water);
  m_harness.RunFrames(2);

  scenes()->DeleteScene(m_ids.back());
  m_ids.pop_back();
  EXPECT_EQ(textures->Find(water), nullptr);
  m_harness.RunFrames(1);
}

}  // namespace
