// The tools' cameras fly by a pad as a player's machine presents one, which nothing but the
// tool itself has mapped.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/EditorParticleSystem.h"
#include "Game/KavelHelper.h"
#include "Game/ParticleEditor.h"
#include "Platform/Dialog/ScriptedDialog.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/VirtualPad.h"

namespace {

enum class Tool { kParticleEditor, kSampleHarness };

struct PadCase;

class ToolPadTest : public AppTest {
 protected:
  void Start(Tool tool) {
    LinkDemoData();
    m_harness.input().UseSystemPads(true);
    ASSERT_TRUE(m_pad.Attached());
    if (tool == Tool::kParticleEditor) {
      GetEditorParticleSystem().Reset();
      KavelParticle::Register();
    } else {
      KavelHelper::Register();
    }
    m_tool = tool;
    ASSERT_TRUE(m_harness.Start());
    m_harness.SkipPixelWork();
    m_harness.RunFrames(2);
  }
  void TearDown() override { m_harness.Stop(); }
  Camera* ToolCamera() {
    const int32_t id = m_tool == Tool::kParticleEditor ? KavelParticle::Current()->State().windowId
                                                       : KavelHelper::Current()->State().windowId;
    RenderWindow* window = GetApp().FindWindow(id);
    return window ? window->GetCamera() : nullptr;
  }

  void Fly(const PadCase& c);

  Tool m_tool = Tool::kParticleEditor;
  VirtualPad m_pad;
  plat::ScopedScriptedDialogs m_dialogs;
};

Vector4 Unit(const Vector4& from, const Vector4& to) {
  const Vector4 d(to.x - from.x, to.y - from.y, to.z - from.z, 0.0f);
  const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
  return Vector4(d.x / length, d.y / length, d.z / length, 0.0f);
}

struct PadCase {
  const char* what;
  std::function<void(bool)> set;
  float forward;  // sign of the eye's step along the view direction (0: no step along it)
  bool turns;     // the view direction changes
};

void ToolPadTest::Fly(const PadCase& c) {
  SCOPED_TRACE(c.what);
  Camera* camera = ToolCamera();
  ASSERT_NE(camera, nullptr);
  const Vector4 eye = camera->GetEye();
  const Vector4 view = Unit(eye, camera->GetTarget());
  c.set(true);
  m_harness.RunFrames(6);
  c.set(false);
  m_harness.RunFrames(1);
  const Vector4 moved = camera->GetEye();
  const float along =
      (moved.x - eye.x) * view.x + (moved.y - eye.y) * view.y + (moved.z - eye.z) * view.z;
  if (c.forward != 0.0f) {
    EXPECT_GT(along * c.forward, 5.0f);
  } else {
    EXPECT_NEAR(along, 0.0f, 0.01f);
  }
  const Vector4 now = Unit(moved, camera->GetTarget());
  const float turned = 1.0f - (now.x * view.x + now.y * view.y + now.z * view.z);
  if (c.turns) {
    EXPECT_GT(turned, 1e-4f);
  } else {
    EXPECT_LT(turned, 1e-5f);
  }
}

// The hat walks it, the stick's tilt turns the view about the eye (walking as it does, since the
// stick is also a direction).
TEST_F(ToolPadTest, TheParticleEditorsCameraWalksAndTurnsByThePad) {
  Start(Tool::kParticleEditor);
  const PadCase cases[] = {
      {"hat up", m_pad.Hat(VirtualPad::kHatUp), +1.0f, false},
      {"stick up", m_pad.Stick(1, -30000), +1.0f, true},
  };
  for (const PadCase& c : cases) Fly(c);
}

// The first button flies it forward; the directions turn it.
TEST_F(ToolPadTest, TheSampleHarnessFliesByThePad) {
  Start(Tool::kSampleHarness);
  const PadCase cases[] = {
      {"button 0", m_pad.Button(0), +1.0f, false},
      {"hat up", m_pad.Hat(VirtualPad::kHatUp), 0.0f, true},
  };
  for (const PadCase& c : cases) Fly(c);
}

}  // namespace
