#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Engine/BaseScene.h"
#include "Engine/Camera.h"
#include "Engine/Font.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFontFactory.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCVertexStream.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/WftWriter.h"

namespace {

using content::AreaIs;
using content::kHeight;
using content::kWidth;
using content::ReadBack;
using content::Rgb;

// ---- Records a particle system's life in the window.

struct SystemLog {
  std::vector<int> updates;  // names, in update order
  std::vector<int> destroyed;
  std::vector<int> drawn;
  int cleanUps = 0;
  // The logs never grow inside a destructor, where the allocation would take the owner that
  // the window named for its delete.
  SystemLog() {
    updates.reserve(64);
    destroyed.reserve(64);
    drawn.reserve(64);
  }
};

class TestSystem : public BaseParticleSystem {
 public:
  // Ends at the update that brings `updatesLeft` to 0 (never for -1).
  TestSystem(SystemLog* log, int name, int updatesLeft, int32_t texture = -1, uint32_t flags = 0,
             bool live = true)
      : m_log(log),
        m_name(name),
        m_left(updatesLeft),
        m_texture(texture),
        m_flags(flags),
        m_live(live) {
    m_emitter.Identity();
  }
  ~TestSystem() override { m_log->destroyed.push_back(m_name); }

  int32_t Update(int32_t group) override {
    EXPECT_EQ(group, 1);
    m_log->updates.push_back(m_name);
    if (m_left < 0) return 1;
    return --m_left > 0 ? 1 : 0;
  }
  void CleanUp() override { ++m_log->cleanUps; }
  int32_t HasLiveParticles() const override { return m_live ? 1 : 0; }
  int32_t GetTexture() const override { return m_texture; }
  void SetTexture(int32_t handle) override { m_texture = handle; }
  uint32_t GetFlags() const override { return m_flags; }
  const Matrix& GetEmitterMatrix() const override { return m_emitter; }
  Vector4 GetEmitterPosition() const override { return Vector4(0, 0, 0, 1); }
  int name() const { return m_name; }

 private:
  SystemLog* m_log;
  int m_name;
  int m_left;
  int32_t m_texture;
  uint32_t m_flags;
  bool m_live;
  Matrix m_emitter;
};

SystemLog* g_drawLog = nullptr;
void RecordDraw(BaseParticleSystem* system, BaseRenderWindow*) {
  if (g_drawLog) g_drawLog->drawn.push_back(static_cast<TestSystem*>(system)->name());
}

// A window that records what its submission walks are handed.
class WalkingWindow : public RenderWindow {
 public:
  explicit WalkingWindow(int32_t instances = 0) : RenderWindow(instances) {}
  void UpdateNodeTree(NodeContainer* container, RenderNodeRecord* record) override {
    walked.push_back(container);
    walkedFlags.push_back(record->flags);
  }
  void CullNodeTree(NodeContainer* container, NodeInstanceBody* body) override {
    culled.push_back(container);
    culledFlags.push_back(body->flags);
  }
  // Handles 1 to 99 name a container; others none.
  NodeContainer* FindNodeContainer(int32_t handle) override {
    return (handle > 0 && handle < 100) ? reinterpret_cast<NodeContainer*>(0x1000 + handle * 16)
                                        : nullptr;
  }
  std::vector<NodeContainer*> walked;
  std::vector<uint32_t> walkedFlags;
  std::vector<NodeContainer*> culled;
  std::vector<uint32_t> culledFlags;
};

class TestScene : public BaseScene {
 public:
  void Draw(RenderWindow* window) override {
    if (!(m_flags & kHidden)) Render(window);
  }
  void Render(RenderWindow*) override { ++renders; }
  void CleanUp() override {}
  const char* GetGameNode(int32_t) override { return nullptr; }
  GameNode* FindGameNode(const char*) override { return nullptr; }
  int32_t GetNumGameNodes() override { return 0; }
  void AttachToWindow(RenderWindow* window) override { attachedTo = window; }
  float GetWaterTime() const override { return 2.5f; }
  int32_t GetWaterTexture() const override { return 77; }
  int renders = 0;
  RenderWindow* attachedTo = nullptr;
};

class RenderWindowTest : public AppTest {
 protected:
  void Start() { ASSERT_TRUE(m_harness.Start()); }

  // A window over the whole client area, added to the application.
  template <class W = RenderWindow>
  W* AddWindow(Rgb clear, int32_t flags, float key, W* window = nullptr) {
    if (!window) window = new W();
    window->Init(Vector2(0, 0), Vector2(kWidth, kHeight), Vector4(clear.r, clear.g, clear.b, 255),
                 flags, key);
    GetApp().AddWindow(window);
    return window;
  }
  bool ScreenIs(Rgb want) { return AreaIs(ReadBack(), 4, 4, kWidth - 4, kHeight - 4, want); }
};

// ---- Without the device.

TEST(WindowRect, OperationsKeepTheirCornersAndSizes) {
  using Box = std::array<int32_t, 4>;
  auto box = [](const WindowRect& r) { return Box{r.x, r.y, r.width, r.height}; };
  WindowRect r;
  r.Set(10, 20, 100, 50);
  r.Offset(5, -5);
  EXPECT_EQ(box(r), (Box{15, 15, 100, 50}));
  r.Inset(10, 5);
  EXPECT_EQ(box(r), (Box{25, 20, 80, 40}));
  r.Outset(10, 5);
  EXPECT_EQ(box(r), (Box{15, 15, 100, 50}));
  r.SetFromCorners(3, 4, 3, 4);  // one pixel
  EXPECT_EQ(box(r), (Box{3, 4, 1, 1}));
  r.Set(7, 8, 9, 10);
  r.SetToOrigin();
  EXPECT_EQ(box(r), (Box{0, 0, 9, 10}));

  // Clipped to the screen: one sticking out on every side becomes the screen, one inside keeps
  // its corners, one reaching past the right edge is cut there.
  WindowRect screen;
  screen.Set(0, 0, 640, 480);
  const std::pair<Box, Box> clips[] = {{{-10, -20, 700, 600}, {0, 0, 640, 480}},
                                       {{600, 10, 100, 20}, {600, 10, 40, 20}}};
  for (const auto& [from, to] : clips) {
    r.Set(from[0], from[1], from[2], from[3]);
    r.Clip(screen);
    EXPECT_EQ(box(r), to);
  }
}

TEST(LightSetupRecord, OperationsWriteTheFileLayout) {
  LightSetup lights = DefaultLightSetup();
  lights.count = 3;
  lights.SetAmbient(0.1f, 0.2f, 0.3f);
  lights.SetLightDirection(2, 1.0f, 2.0f, 3.0f);
  lights.SetLightColour(1, 0.4f, 0.5f, 0.6f);
  lights.SetLightDirection(3, 9.0f, 9.0f, 9.0f);  // no fourth light: ignored
  lights.SetOneLight();
  // The record is the first 88 bytes of a ".lgt" file: words in the file's order.
  const float* words = reinterpret_cast<const float*>(&lights);
  EXPECT_EQ(lights.count, 1u);
  EXPECT_EQ(words[1], 0.1f);
  EXPECT_EQ(words[3], 0.3f);
  EXPECT_EQ(words[4], 0.0f);   // light 0 direction x
  EXPECT_EQ(words[6], -1.0f);  // light 0 direction z
  EXPECT_EQ(words[13], 0.4f);  // light 1 colour red
  EXPECT_EQ(words[16], 1.0f);  // light 2 direction x
  EXPECT_EQ(words[18], 3.0f);
  EXPECT_EQ(words[21], 0.0f);  // light 2 colour blue
  LightSetup copy;
  copy.CopyFrom(lights);
  EXPECT_EQ(std::memcmp(&copy, &lights, sizeof(copy)), 0);
}

TEST(TextColour, ChannelsScaleByTheirFactorsAndHoldAtFull) {
  const float ones[4] = {1, 1, 1, 1};
  EXPECT_EQ(BaseRenderWindow::ScaleColour(0x80C0FF10u, ones), 0x80C0FF10u);
  const float halfAlpha[4] = {1, 1, 1, 0.5f};
  EXPECT_EQ(BaseRenderWindow::ScaleColour(0xFF102030u, halfAlpha), 0x7F102030u);
  // Red 0x80 x 3 is 384: held at 255, not wrapped to 0x80; blue x 0 is 0; green x 0.5 of 0x41
  // is 32.5, truncated.
  const float mixed[4] = {3.0f, 0.5f, 0.0f, 2.0f};
  EXPECT_EQ(BaseRenderWindow::ScaleColour(0x40804141u, mixed), 0x80FF2000u);
  const float negative[4] = {-1, 1, 1, 1};
  EXPECT_EQ(BaseRenderWindow::ScaleColour(0xFFFFFFFFu, negative), 0xFF00FFFFu);
}

// ---- Windows on the device.

TEST_F(RenderWindowTest, InitAndSetViewportSetTheViewportsAndTheCamera) {
  Start();
  RenderWindow* window = new RenderWindow();
  window->Init(Vector2(100.5f, 50.0f), Vector2(421.0f, 291.0f), Vector4(1, 2, 3, 4), 6, 2.5f);
  GetApp().AddWindow(window);
  EXPECT_EQ(window->GetWidth(), 320);  // 421 - 100.5 = 320.5, truncated
  EXPECT_EQ(window->GetHeight(), 241);
  const WindowRect* rect = window->GetViewportRect();
  EXPECT_EQ(rect->x, 100);
  EXPECT_EQ(rect->width, 320);
  EXPECT_EQ(rect->height, 241);
  Camera* camera = window->GetCamera();
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->GetEye().z, -160.0f);
  EXPECT_EQ(camera->GetUp().y, 1.0f);
  EXPECT_EQ(camera->GetSizeWidth(), 320);
  EXPECT_EQ(camera->GetCentre()[0], 160.0f);
  EXPECT_EQ(camera->GetCentre()[1], 120.0f);  // 241 / 2 in integers
  EXPECT_NEAR(camera->GetVerticalFov(), kPi / 4.0f, 1e-6f);
  EXPECT_EQ(camera->GetViewport()[3], 241);
  EXPECT_TRUE(window->GetLightManager()->IsInitialised());

  // SetViewport puts the float viewport at the origin and keeps the int one where it is.
  camera->SetEye(Vector4(5, 5, 5, 1));
  window->SetViewport(10, 20, 210, 120);
  EXPECT_EQ(window->GetViewportMin()[0], 0.0f);
  EXPECT_EQ(window->GetViewportMax()[0], 200.0f);
  EXPECT_EQ(window->GetWidth(), 200);
  EXPECT_EQ(rect->x, 10);
  EXPECT_EQ(rect->y, 20);
  EXPECT_EQ(rect->height, 100);
  EXPECT_EQ(camera->GetEye().z, -160.0f);
  EXPECT_EQ(camera->GetSizeHeight(), 100);
  EXPECT_EQ(camera->GetCentre()[0], 100.0f);

  // A camera of the caller's is used but not taken: clean-up deletes only the window's own.
  Camera mine;
  EXPECT_EQ(window->SetCamera(&mine), &mine);
  EXPECT_EQ(window->GetCamera(), &mine);
  window->CleanUp();
  EXPECT_EQ(window->GetCamera(), &mine);
  window->SetCamera(nullptr);
}

TEST_F(RenderWindowTest, TheClearColourIsScaledByTheFactorsAndHeldAtFull) {
  Start();
  RenderWindow* window = AddWindow({200, 100, 50}, 6, 0.0f);
  window->SetColourFactors(0.5f, 1.0f, 2.0f, 1.0f);
  m_harness.RunFrames(1);
  EXPECT_TRUE(ScreenIs({100, 100, 100}));
  // 200 x 1.5 is 300 and 100 x 3 is 300: full, not 300 - 256.
  window->SetColourFactors(1.5f, 3.0f, 0.5f, 1.0f);
  m_harness.RunFrames(1);
  EXPECT_TRUE(ScreenIs({255, 255, 25}));
}

TEST_F(RenderWindowTest, WindowsClearInSortKeyOrderAndDepthOnlyKeepsTheColour) {
  Start();
  RenderWindow* green = AddWindow({0, 255, 0}, 6, 1.0f);
  RenderWindow* red = AddWindow({255, 0, 0}, 6, 0.5f);
  m_harness.RunFrames(1);
  // Red sorts first; green, cleared after it, covers it.
  EXPECT_TRUE(ScreenIs({0, 255, 0}));

  red->SetSortKey(2.0f);
  GetApp().SortWindows();
  m_harness.RunFrames(1);
  EXPECT_TRUE(ScreenIs({255, 0, 0}));

  // Clearing only the depth leaves the earlier window's picture.
  red->SetFlags(BaseRenderWindow::kClearDepth);
  m_harness.RunFrames(1);
  EXPECT_TRUE(ScreenIs({0, 255, 0}));
  (void)green;
}

TEST_F(RenderWindowTest, ASuspendedWindowDrawsNothingAndCarriesNothingOver) {
  ASSERT_TRUE(content::SaveSolidDds("data\\badtexture.dds", 0xFFFFFFFFu));
  Start();
  AddWindow({255, 0, 0}, 6, 0.0f);
  WalkingWindow* window = AddWindow<WalkingWindow>({0, 0, 255}, 6 | 8, 1.0f, new WalkingWindow(4));

  // A full-screen white 2D quad, a line, a text, an instance and a render node.
  const PolyVertex2D quad[4] = {{0, 0, 0.5f, 1, 0xFFFFFFFFu, 0, 0},
                                {640, 0, 0.5f, 1, 0xFFFFFFFFu, 1, 0},
                                {0, 480, 0.5f, 1, 0xFFFFFFFFu, 0, 1},
                                {640, 480, 0.5f, 1, 0xFFFFFFFFu, 1, 1}};
  ASSERT_NE(window->Add2DPolyStrip(-1, 4, quad, nullptr, 0), nullptr);
  const Vector4 a(0, 0, 0, 1), b(10, 10, 10, 1);
  window->GetDebugLines()->AddLine(&a, &b, 0xFFFFFFFFu);
  window->PrintText(u"asleep", 10, 10, 0xFFFFFFFFu, 0.5f, nullptr);
  ASSERT_NE(window->AddNodeInstance(5), nullptr);
  RenderNodeRecord node;
  node.container = reinterpret_cast<NodeContainer*>(0x2000);
  ASSERT_NE(window->AddRenderNode(node), nullptr);
  ASSERT_NE(window->GetDiffuseMeshSlot(), nullptr);

  m_harness.RunFrames(1);
  // Neither cleared nor drawn: the first window's red stays.
  EXPECT_TRUE(ScreenIs({255, 0, 0}));
  EXPECT_TRUE(window->walked.empty());
  EXPECT_TRUE(window->culled.empty());
  EXPECT_EQ(window->GetPolygonPools().GetPolygonCount(PolygonPools::kOpaque2D), 0);
  EXPECT_EQ(window->GetDebugLines()->GetCount(), 0);
  EXPECT_EQ(window->GetTextItemCount(), 0);
  EXPECT_EQ(window->GetNodeInstanceCount(), 0);
  EXPECT_EQ(window->GetRenderNodeCount(), 0);
  EXPECT_EQ(window->GetMeshCount(RenderWindow::kDiffuse), 0);

  // Awake, it clears blue and has nothing of the sleeping frame to draw.
  window->SetFlags(6);
  m_harness.RunFrames(1);
  EXPECT_TRUE(ScreenIs({0, 0, 255}));
  EXPECT_TRUE(window->walked.empty());
  EXPECT_TRUE(window->culled.empty());

  // The same quad submitted to the awake window does show, so the check above could fail.
  ASSERT_NE(window->Add2DPolyStrip(-1, 4, quad, nullptr, 0), nullptr);
  m_harness.RunFrames(1);
  EXPECT_TRUE(ScreenIs({255, 255, 255}));
}

// Each kind of list of a window overflowed in three frames running: one report, and the count
// of the others in one line when the window goes.
TEST_F(RenderWindowTest, AnOverflowEveryFrameIsReportedOnceAndCountedWhenTheWindowGoes) {
  Start();
  const int32_t whole = PolygonPools::VERTEX_POOL_SIZE;
  const std::vector<PolyVertex2D> big2D(whole, PolyVertex2D{});
  struct Case {
    const char* count;  // the start of the line that counts the repeats
    std::function<void(WalkingWindow*)> overflowTwice;
  };
  const Case cases[] = {
      {"RenderWindow: render nodes beyond a frame's room",
       [](WalkingWindow* w) {
         RenderNodeRecord node;
         for (int i = 0; i < RenderWindow::kMaxRenderNodes + 2; ++i) w->AddRenderNode(node);
       }},
      {"RenderWindow: geometry instances beyond a frame's room",
       [](WalkingWindow* w) {
         for (int i = 0; i < 4 + 2; ++i) w->AddNodeInstance(200);
       }},
      {"PolygonPools: blended 2D polygons beyond the vertex pool",
       [&](WalkingWindow* w) {
         // A pool filled to the last vertex, then two strips that find no room.
         for (int32_t n : {whole, 3, 3})
           w->Add2DPolyStrip(-1, n, big2D.data(), nullptr, PolygonPools::kBlended);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    WalkingWindow* window = AddWindow<WalkingWindow>({0, 0, 0}, 6, 0.0f, new WalkingWindow(4));
    AssertCounter reports;
    for (int frame = 0; frame < 3; ++frame) {
      c.overflowTwice(window);
      m_harness.RunFrames(1);
    }
    EXPECT_EQ(reports.Count(), 1u);
    EXPECT_FALSE(DebugLogContains(c.count)) << "not while the window lives";
    GetApp().DeleteWindow(window->GetId());
    EXPECT_TRUE(DebugLogContains(std::string(c.count) + ": 5 more time(s) after its report"));
  }
}

TEST_F(RenderWindowTest, RenderNodesAreWalkedInTheirFrameAndGoneAfter) {
  Start();
  WalkingWindow* window = AddWindow<WalkingWindow>({0, 0, 0}, 6, 0.0f, new WalkingWindow(2));
  RenderNodeRecord node;
  for (int i = 1; i <= 3; ++i) {
    node.container = reinterpret_cast<NodeContainer*>(0x1000 * i);
    node.SetFlags(i);
    RenderNodeRecord* stored = window->AddRenderNode(node);
    ASSERT_NE(stored, nullptr);
    EXPECT_NE(stored, &node) << "the record is copied";
  }
  m_harness.RunFrames(1);
  ASSERT_EQ(window->walked.size(), 3u);
  EXPECT_EQ(window->walked[0], reinterpret_cast<NodeContainer*>(0x1000));
  EXPECT_EQ(window->walked[2], reinterpret_cast<NodeContainer*>(0x3000));
  EXPECT_EQ(window->walkedFlags[1], 2u);
  EXPECT_EQ(window->GetRenderNodeCount(), 0);
  m_harness.RunFrames(1);
  EXPECT_EQ(window->walked.size(), 3u) << "nodes live for one frame";

  // Geometry instances: found ones are walked in Render, with the body the caller filled.
  NodeInstanceBody* first = window->AddNodeInstance(7);
  ASSERT_NE(first, nullptr);
  first->flags = 0x20;
  NodeInstanceBody* second = window->AddNodeInstance(500);  // no such geometry
  ASSERT_NE(second, nullptr);
  {
    AssertCounter asserts;
    EXPECT_EQ(window->AddNodeInstance(8), nullptr) << "room for two";
    EXPECT_EQ(asserts.Count(), 1u);
  }
  EXPECT_EQ(window->GetNodeInstanceCount(), 2);
  m_harness.RunFrames(1);
  ASSERT_EQ(window->culled.size(), 1u);
  EXPECT_EQ(window->culled[0], reinterpret_cast<NodeContainer*>(0x1000 + 7 * 16));
  EXPECT_EQ(window->culledFlags[0], 0x20u);
  EXPECT_EQ(window->GetNodeInstanceCount(), 0);
  EXPECT_NE(window->AddNodeInstance(9), nullptr) << "the next frame has room again";
}

TEST_F(RenderWindowTest, AFullRenderNodeArrayRefusesWithoutWritingPastIt) {
  Start();
  WalkingWindow* window = AddWindow<WalkingWindow>({0, 0, 0}, 6, 0.0f, new WalkingWindow());
  RenderNodeRecord node;
  node.container = reinterpret_cast<NodeContainer*>(0x1000);
  for (int i = 0; i < RenderWindow::kMaxRenderNodes; ++i)
    ASSERT_NE(window->AddRenderNode(node), nullptr);
  const AllocUnit* unit = MemoryTracker::FindUnit(window->GetRenderNode(0));
  ASSERT_NE(unit, nullptr);
  AssertCounter asserts;
  EXPECT_EQ(window->AddRenderNode(node), nullptr);
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_EQ(window->GetRenderNodeCount(), RenderWindow::kMaxRenderNodes);
  // The guard words behind the array are whole.
  EXPECT_EQ(MemoryTracker::ValidateUnit(unit), 1);
  // A window made for no instances takes none.
  EXPECT_EQ(window->AddNodeInstance(1), nullptr);
  m_harness.RunFrames(1);
  EXPECT_EQ(window->walked.size(), size_t(RenderWindow::kMaxRenderNodes));
}

TEST_F(RenderWindowTest, TheSceneIsAttachedDrawnEachFrameAndGivesTheDrawContext) {
  Start();
  RenderWindow* window = AddWindow({0, 0, 0}, 6, 0.0f);
  window->SetColourFactors(0.25f, 0.5f, 0.75f, 1.0f);
  GeoDrawContext plain = window->MakeDrawContext();
  EXPECT_EQ(plain.windowTint.y, 0.5f);
  EXPECT_EQ(plain.reflectionTexture, -1);
  TestScene* scene = new TestScene();
  EXPECT_EQ(window->SetScene(scene), 1);
  EXPECT_EQ(scene->attachedTo, window);
  EXPECT_EQ(window->GetScene(), scene);
  m_harness.RunFrames(2);
  EXPECT_EQ(scene->renders, 2);
  scene->SetFlags(scene->GetFlags() | BaseScene::kHidden);
  m_harness.RunFrames(1);
  EXPECT_EQ(scene->renders, 2);
  GeoDrawContext context = window->MakeDrawContext();
  EXPECT_EQ(context.windowTint.x, 0.25f);
  EXPECT_EQ(context.windowTint.z, 0.75f);
  EXPECT_EQ(context.waterTime, 2.5f);
  EXPECT_EQ(context.reflectionTexture, 77);
  window->DeleteScene();
  EXPECT_EQ(window->GetScene(), nullptr);
  EXPECT_EQ(window->SetScene(nullptr), 1);
}

TEST_F(RenderWindowTest, TheTextQueueHoldsTwentyItemsAndBelowTheBufferSize) {
  Start();
  RenderWindow* window = AddWindow({0, 0, 0}, 6, 0.0f);
  BaseFont* font = reinterpret_cast<BaseFont*>(0x10);  // never drawn: the queue is emptied below
  for (int i = 0; i < 21; ++i) window->PrintText(u"ab", i, 0, 0xFFFFFFFFu, 0.5f, font);
  EXPECT_EQ(window->GetTextItemCount(), 20);
  EXPECT_EQ(window->GetTextUsed(), 60);
  EXPECT_EQ(window->GetTextItem(19)->x, 19);
  EXPECT_EQ(window->GetTextItem(20), nullptr);
  window->DropText();

  // An empty text takes one character and one item.
  window->PrintText(u"", 0, 0, 0, 0.0f, font);
  EXPECT_EQ(window->GetTextItemCount(), 1);
  EXPECT_EQ(window->GetTextUsed(), 1);
  // 1 + 2046 characters + terminator is exactly 2048: dropped; one character less fits.
  std::u16string long_(2046, u'x');
  window->PrintText(long_.c_str(), 0, 0, 0, 0.0f, font);
  EXPECT_EQ(window->GetTextItemCount(), 1);
  long_.pop_back();
  window->PrintText(long_.c_str(), 0, 0, 0, 0.0f, font);
  EXPECT_EQ(window->GetTextItemCount(), 2);
  EXPECT_EQ(window->GetTextUsed(), 2047);
  const TextItem* item = window->GetTextItem(1);
  EXPECT_EQ(std::u16string(item->text), long_);
  window->PrintText(u"", 0, 0, 0, 0.0f, font);  // the 2048th character: dropped
  EXPECT_EQ(window->GetTextItemCount(), 2);
  window->PrintText(static_cast<const char16_t*>(nullptr), 0, 0, 0, 0.0f, font);
  EXPECT_EQ(window->GetTextItemCount(), 2);
  window->DropText();
  EXPECT_EQ(window->GetTextUsed(), 0);

  // A text far longer than the buffer is refused without being read to its end.
  std::u16string huge(100000, u'y');
  window->PrintText(huge.c_str(), 0, 0, 0, 0.0f, font);
  EXPECT_EQ(window->GetTextItemCount(), 0);
  std::string hugeNarrow(5000, 'z');
  window->PrintText(hugeNarrow.c_str(), 0, 0, 0, 0.0f, font);
  EXPECT_EQ(window->GetTextItemCount(), 0);
}

TEST_F(RenderWindowTest, TextIsPlacedInTheWindowAndColouredByItsFactors) {
  Start();
  RenderWindow* window = new RenderWindow();
  window->Init(Vector2(100.7f, 50.2f), Vector2(600, 400), Vector4(0, 0, 0, 255), 6, 0.0f);
  GetApp().AddWindow(window);
  BaseFont* font = reinterpret_cast<BaseFont*>(0x10);
  window->PrintText(u"corner", 0, 0, 0xFF804020u, 0.25f, font, 120);
  const TextItem* item = window->GetTextItem(0);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->x, 100);
  EXPECT_EQ(item->y, 50);
  EXPECT_EQ(item->colour, 0xFF804020u) << "factors of 1 leave the colour";
  EXPECT_EQ(item->depth, 0.25f);
  EXPECT_EQ(item->wrapWidth, 120);
  EXPECT_EQ(item->font, font);

  window->SetColourFactors(2.0f, 0.5f, 1.0f, 0.5f);
  // Narrow text: each byte is one character of the same value, and no wrapping.
  const char narrow[] = {'a', static_cast<char>(0xE9), 'b', 0};
  window->PrintText(narrow, -10, 7, 0xFF804020u, 0.0f, font);
  item = window->GetTextItem(1);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->x, 90);
  EXPECT_EQ(item->y, 57);
  EXPECT_EQ(item->colour, 0x7FFF2020u);
  EXPECT_EQ(item->wrapWidth, 0);
  EXPECT_EQ(std::u16string(item->text), std::u16string(u"a\u00E9b"));
  window->DropText();
}

TEST_F(RenderWindowTest, QueuedTextIsDrawnLastAtItsPlaceInTheWindowsColour) {
  ASSERT_TRUE(content::SaveSolidDds("data\\glyphs.dds", 0xFFFFFFFFu));
  wftwriter::FontDesc desc;
  desc.pageBaseName = "data\\glyphs.wft";
  desc.lineHeight = 8;
  desc.Add(u'A', 0, 0, 8, 8, 0, 2);  // a solid 8 by 8 block
  ASSERT_TRUE(wftwriter::SaveWft("data/glyphs.wft", desc));
  Start();
  const int32_t fontId = GetApp().GetFontFactory()->AddFont("data\\glyphs.wft");
  ASSERT_NE(fontId, -1);
  BaseFont* font = GetApp().GetFontFactory()->GetFont(fontId);
  ASSERT_NE(font, nullptr);

  RenderWindow* window = new RenderWindow();
  window->Init(Vector2(100, 50), Vector2(640, 480), Vector4(0, 0, 0, 255), 6, 0.0f);
  GetApp().AddWindow(window);
  // Half red: the block comes out at half red once, not a quarter.
  window->SetColourFactors(0.5f, 1.0f, 1.0f, 1.0f);
  window->PrintText(u"A", 20, 30, 0xFF808080u, 0.5f, font);
  window->PrintText("A", 40, 30, 0xFF808080u, 0.5f, font);
  m_harness.RunFrames(1);
  std::vector<uint32_t> pixels = ReadBack();
  // The stage doubles the text colour: 0x80 gives full, 0x40 half.
  EXPECT_TRUE(AreaIs(pixels, 121, 81, 127, 87, {128, 255, 255}));
  EXPECT_TRUE(AreaIs(pixels, 141, 81, 147, 87, {128, 255, 255}));
  EXPECT_TRUE(AreaIs(pixels, 110, 60, 119, 100, {0, 0, 0}));
  EXPECT_TRUE(AreaIs(pixels, 129, 60, 139, 100, {0, 0, 0}));
  EXPECT_EQ(window->GetTextItemCount(), 0);
  EXPECT_EQ(window->GetColourFactors()[0], 0.5f) << "the window keeps its factors";
  // Drawn once: the next frame has only the clear.
  m_harness.RunFrames(1);
  EXPECT_TRUE(AreaIs(ReadBack(), 100, 60, 200, 100, {0, 0, 0}));
}

TEST_F(RenderWindowTest, TheAspectScaleMakesTheWindowFourByThree) {
  Start();
  RenderWindow* window = AddWindow({0, 0, 0}, 6, 0.0f);
  float x = 0, y = 0;
  window->GetAspectScale(&x, &y);
  EXPECT_FLOAT_EQ(x, 4.0f / 3.0f);
  EXPECT_EQ(y, 1.0f);
  float sx = 0, sy = 0;
  window->ScaleTo43(320, 240, &sx, &sy);
  EXPECT_FLOAT_EQ(sx, 0.5f * 4.0f / 3.0f);
  EXPECT_FLOAT_EQ(sy, 0.5f);

  // Half as wide, as tall: the window is 2:3 of the client's shape.
  window->SetViewportBounds(0, 0, 320, 480);
  window->GetAspectScale(&x, &y);
  EXPECT_FLOAT_EQ(x, (0.5f * 4.0f / 3.0f) / 1.0f);
  // A window without height has no shape to correct and gives finite numbers.
  window->SetViewportBounds(0, 0, 320, 0);
  window->GetAspectScale(&x, &y);
  EXPECT_EQ(x, 1.0f);
  window->ScaleTo43(10, 10, &sx, &sy);
  EXPECT_TRUE(std::isfinite(sx) && std::isfinite(sy));
}

TEST_F(RenderWindowTest, ParticleIdsAreNeverReusedAndFinishedSystemsGoInTheirFrame) {
  ASSERT_TRUE(content::SaveSolidDds("data\\spark.dds", 0xFFFFFFFFu));
  Start();
  RenderWindow* window = AddWindow({0, 0, 0}, 6, 0.0f);
  SystemLog log;
  Texture* textures = GetApp().GetTexture();
  const int32_t spark = textures->Load("data\\spark.dds");
  ASSERT_NE(spark, -1);
  // The window's systems each hold one reference of their own.
  textures->Load("data\\spark.dds");
  textures->Load("data\\spark.dds");
  ASSERT_EQ(textures->Find(spark)->refCount, 3);

  EXPECT_EQ(window->AddParticleSystem(new TestSystem(&log, 10, -1)), 0);
  EXPECT_EQ(window->AddParticleSystem(new TestSystem(&log, 11, 1, spark)), 1);
  EXPECT_EQ(window->AddParticleSystem(new TestSystem(&log, 12, -1, spark)), 2);
  {
    AssertCounter asserts;
    EXPECT_EQ(window->AddParticleSystem(nullptr), -1);
    EXPECT_EQ(asserts.Count(), 1u);
  }
  window->DeleteParticleSystem(0);
  EXPECT_EQ(log.destroyed, std::vector<int>({10}));
  EXPECT_EQ(log.cleanUps, 1);
  window->DeleteParticleSystem(0);  // gone already: nothing
  EXPECT_EQ(log.destroyed.size(), 1u);
  EXPECT_EQ(window->AddParticleSystem(new TestSystem(&log, 13, -1)), 3);
  EXPECT_EQ(window->GetParticleSystem(0), nullptr);
  ASSERT_NE(window->GetParticleSystem(3), nullptr);
  EXPECT_EQ(static_cast<TestSystem*>(window->GetParticleSystem(3))->name(), 13);

  // System 11 ends at its first update; 12, behind it, is still updated in that frame.
  m_harness.RunFrames(1);
  EXPECT_EQ(log.updates, std::vector<int>({11, 12, 13}));
  EXPECT_EQ(log.destroyed, std::vector<int>({10, 11}));
  EXPECT_EQ(textures->Find(spark)->refCount, 2) << "its texture reference is given back";
  EXPECT_EQ(window->GetParticleSystemCount(), 2);
  EXPECT_EQ(window->GetParticleSystem(1), nullptr);
  m_harness.RunFrames(1);
  EXPECT_EQ(log.updates, std::vector<int>({11, 12, 13, 12, 13}));

  // Deleting by id gives the texture back as well.
  window->DeleteParticleSystem(2);
  EXPECT_EQ(textures->Find(spark)->refCount, 1);
  // A suspended window does not step its systems.
  window->SetFlags(6 | 8);
  m_harness.RunFrames(1);
  EXPECT_EQ(log.updates.size(), 5u);
  window->CleanUpParticleSystems();
  EXPECT_EQ(window->GetParticleSystemCount(), 0);
  EXPECT_EQ(log.destroyed, std::vector<int>({10, 11, 12, 13}));
  EXPECT_EQ(window->AddParticleSystem(new TestSystem(&log, 14, -1)), 4);
  window->CleanUpParticleSystems();  // before the log goes
}

TEST_F(RenderWindowTest, RenderParticleSystemsPicksByTemplateFlags) {
  Start();
  RenderWindow* window = AddWindow({0, 0, 0}, 6, 0.0f);
  SystemLog log;
  g_drawLog = &log;
  ParticleRenderer::DrawFunction before = ParticleRenderer::SetDrawFunction(&RecordDraw);
  window->AddParticleSystem(new TestSystem(&log, 0, -1, -1, 0x0));
  window->AddParticleSystem(new TestSystem(&log, 1, -1, -1, 0x2));  // looped: not a draw flag
  window->AddParticleSystem(new TestSystem(&log, 4, -1, -1, 0x4));
  window->AddParticleSystem(new TestSystem(&log, 8, -1, -1, 0x8 | 0x2));
  window->AddParticleSystem(new TestSystem(&log, 24, -1, -1, 0x18));
  window->AddParticleSystem(new TestSystem(&log, 99, -1, -1, 0x4, false));  // nothing alive
  window->RenderParticleSystems(0);
  EXPECT_EQ(log.drawn, std::vector<int>({0, 1}));
  log.drawn.clear();
  window->RenderParticleSystems(0x4);
  EXPECT_EQ(log.drawn, std::vector<int>({4}));
  log.drawn.clear();
  window->RenderParticleSystems(0x18);
  EXPECT_EQ(log.drawn, std::vector<int>({8, 24}));
  log.drawn.clear();
  window->RenderParticleSystems(0x1C);
  EXPECT_EQ(log.drawn, std::vector<int>({4, 8, 24}));
  ParticleRenderer::SetDrawFunction(before);
  g_drawLog = nullptr;
  window->CleanUpParticleSystems();  // before the log goes
}

TEST_F(RenderWindowTest, TheBackdropCoversTheClientAndPutsTheStatesBack) {
  ASSERT_TRUE(content::SaveSolidDds("data\\back.dds", 0xFF00FF00u, 16));
  Start();
  RenderWindow* window = AddWindow({0, 0, 255}, 6, 0.0f);
  const int32_t back = GetApp().GetBackDropFactory()->Load("data\\back.dds");
  ASSERT_NE(back, -1);
  window->SetBackdrop(back);
  RenderStateCache::SetRenderState(gfx::D3DRS_ZWRITEENABLE, 1);
  RenderStateCache::SetRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_LESSEQUAL);
  RenderStateCache::SetRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_CCW);
  m_harness.RunFrames(1);
  // Texture x grey 0x7F x 2.
  const int lit = 255 * 0x7F * 2 / 255;
  EXPECT_TRUE(ScreenIs({0, lit, 0}));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ZWRITEENABLE), 1u);
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ZFUNC), uint32_t(gfx::D3DCMP_LESSEQUAL));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_CULLMODE), uint32_t(gfx::D3DCULL_CCW));
  EXPECT_EQ(RenderStateCache::GetRenderState(gfx::D3DRS_ALPHATESTENABLE), 1u);
  window->SetBackdrop(-1);
  m_harness.RunFrames(1);
  EXPECT_TRUE(ScreenIs({0, 0, 255}));
  GetApp().GetBackDropFactory()->Delete(back);
}

TEST_F(RenderWindowTest, EveryFrameRewindsTheVertexStream) {
  Start();
  AddWindow({0, 0, 0}, 6, 0.0f);
  VertexStream* stream = GetApp().GetDisplay()->GetVertexStream();
  ASSERT_NE(stream, nullptr);
  stream->SetOffset(1234);
  m_harness.RunFrames(1);
  EXPECT_EQ(stream->GetOffset(), 0u);
}

TEST_F(RenderWindowTest, CleanUpAndDestructionFreeEveryBlockOnce) {
  Start();
  const uint32_t windowBlocks = MemoryTracker::CountBlocksFromFile("PCRenderWindow.cpp");
  const uint32_t baseBlocks = MemoryTracker::CountBlocksFromFile("BaseRenderWindow.cpp");
  const uint32_t listBlocks = MemoryTracker::CountBlocksFromFile("PCRenderWindowLists.cpp");
  const uint32_t lightBlocks = MemoryTracker::CountBlocksFromFile("PCLightManager.cpp");
  SystemLog log;
  {
    RenderWindow* window = new RenderWindow(10);
    window->Init(Vector2(0, 0), Vector2(640, 480), Vector4(0, 0, 0, 0), 6, 0.0f);
    const int32_t id = GetApp().AddWindow(window);
    RenderNodeRecord node;
    window->AddRenderNode(node);
    window->AddNodeInstance(1);
    for (int list = 0; list < RenderWindow::kMeshListCount; ++list) {
      EXPECT_NE(window->GetDiffuseMeshSlot(), nullptr);
      EXPECT_NE(window->GetAlphaMeshSlot(), nullptr);
      EXPECT_NE(window->GetEffectMeshSlot(), nullptr);
      EXPECT_NE(window->GetAlphaEffectMeshSlot(), nullptr);
    }
    window->CreateReflectionTexture();
    EXPECT_NE(window->GetReflectionTexture(), -1);
    window->AddParticleSystem(new TestSystem(&log, 1, -1));
    EXPECT_GT(MemoryTracker::CountBlocksFromFile("PCRenderWindow.cpp"), windowBlocks);
    EXPECT_GT(MemoryTracker::CountBlocksFromFile("PCRenderWindowLists.cpp"), listBlocks);
    // Clean-up twice, then the destructor: each block goes once.
    window->CleanUp();
    window->CleanUp();
    EXPECT_EQ(log.destroyed.size(), 1u);
    EXPECT_EQ(window->GetCamera(), nullptr);
    EXPECT_EQ(window->AddNodeInstance(2), nullptr) << "the instance array is gone";
    GetApp().DeleteWindow(id);
  }
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCRenderWindow.cpp"), windowBlocks);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("BaseRenderWindow.cpp"), baseBlocks);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCRenderWindowLists.cpp"), listBlocks);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCLightManager.cpp"), lightBlocks);
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0) << "no block was freed twice or overrun";
}

}  // namespace
