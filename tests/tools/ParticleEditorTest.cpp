// The particle editor run through the real application on the demo data, its dialog driven
// through the scripted back end as a user would drive it.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/EditorParticleSystem.h"
#include "Game/ParticleEditor.h"
#include "Game/ParticleEditorDialog.h"
#include "Platform/Dialog/ScriptedDialog.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DemoData.h"
#include "tests/support/LogCapture.h"
#include "tests/support/Ps2Writer.h"

using namespace particle_editor;

namespace {

std::string Absolute(const std::string& relative) {
  return (std::filesystem::current_path() / relative).string();
}

constexpr const char* kSample = "data/ParticleEditor/sample.ps2";

class ParticleEditorTest : public AppTest {
 protected:
  void SetUp() override {
    LinkDemoData();
    GetEditorParticleSystem().Reset();
    KavelParticle::Register();
    ASSERT_TRUE(m_harness.Start());
    m_harness.RunFrames(2);
  }
  void TearDown() override { m_harness.Stop(); }

  plat::ScriptedDialogBackend& Dialogs() { return m_dialogs.backend(); }
  plat::ScriptedDialog* Dialog() { return Dialogs().Current(); }
  // A file button answered with `answer` (nullopt cancels), then the frame that rebuilds the
  // dialog.
  void FileAction(int32_t id, std::optional<std::string> answer) {
    Dialogs().QueueFileAnswer(std::move(answer));
    ASSERT_NE(Dialog(), nullptr);
    Dialog()->Click(id);
    m_harness.RunFrames(1);
  }
  static std::string Shown(float value) {
    char text[64];
    std::snprintf(text, sizeof(text), "%f", static_cast<double>(value));
    return text;
  }

  plat::ScopedScriptedDialogs m_dialogs;
};

TEST_F(ParticleEditorTest, StartsWithTheTestSystemShownInItsDialog) {
  ASSERT_NE(Dialog(), nullptr);
  EXPECT_EQ(Dialog()->Caption(), "Dialog");
  EXPECT_TRUE(Dialog()->IsShown());
  EXPECT_EQ(Dialog()->Width(), 320);
  EXPECT_EQ(Dialog()->Height(), 1024);
  EXPECT_EQ(Dialog()->Text(kIdMaxParticles), "200");
  EXPECT_EQ(Dialog()->Text(1028), "0.000000");    // Emitter Colour R
  EXPECT_EQ(Dialog()->Text(1031), "255.000000");  // Emitter Colour A
  EXPECT_EQ(Dialog()->Text(1017), "255.000000");  // Emitter Position Variation X
  EXPECT_TRUE(Dialog()->IsButtonChecked(kIdLooped));
  EXPECT_TRUE(Dialog()->IsButtonChecked(kIdAlpha));
  EXPECT_FALSE(Dialog()->IsButtonChecked(kIdAdditive));
  EXPECT_STREQ(GetEditorParticleSystem().GetTextureName(), "shockwave01.dds");
  EXPECT_NE(GetEditorParticleSystem().GetTexture(), -1);
  m_harness.RunFrames(5);
  EXPECT_GT(GetEditorParticleSystem().GetLiveCount(), 0u);
  EXPECT_GT(Dialog()->PumpCount(), 0);
}

TEST_F(ParticleEditorTest, EveryEditControlCarriesItsWord) {
  // Each field gets a value of its own; the word it names must hold exactly that value.
  EditorParticleSystem& system = GetEditorParticleSystem();
  for (int32_t i = 0; i < kEditFieldCount; ++i) {
    const EditField& field = EditFields()[i];
    ASSERT_TRUE(Dialog()->HasControl(field.id)) << field.id;
    const std::string text = std::to_string(i + 2);
    ASSERT_TRUE(Dialog()->Type(field.id, text.c_str()));
    if (field.unit == FieldUnit::kCount) {
      EXPECT_EQ(system.GetWord(field.word), static_cast<uint32_t>(i + 2)) << field.id;
    } else if (field.unit == FieldUnit::kRadians) {
      EXPECT_EQ(system.GetFloat(field.word), static_cast<float>(i + 2) * kDegreesToRadians)
          << field.id;
    } else {
      EXPECT_EQ(system.GetFloat(field.word), static_cast<float>(i + 2)) << field.id;
    }
  }
}

TEST_F(ParticleEditorTest, TypedDegreesAreStoredAsRadiansAndShownAgainInDegrees) {
  ASSERT_TRUE(Dialog()->Type(1078, "90"));  // Yaw
  const float stored = GetEditorParticleSystem().Words().yaw;
  EXPECT_EQ(stored, 90.0f * kDegreesToRadians);
  EXPECT_FLOAT_EQ(stored, 1.5707964f);
  // A file action rebuilds the dialog from the stored values.
  FileAction(kIdLoad, std::nullopt);
  ASSERT_NE(Dialog(), nullptr);
  EXPECT_EQ(Dialog()->Text(1078), Shown(stored * kRadiansToDegrees));
}

TEST_F(ParticleEditorTest, EditTextIsReadUpToSevenCharactersAndNonNumbersAreZero) {
  struct Case {
    const char* typed;
    float stored;
  } cases[] = {{"12.5", 12.5f}, {"123.456789", 123.456f}, {"abc", 0.0f}, {"-3", -3.0f}};
  for (const Case& c : cases) {
    ASSERT_TRUE(Dialog()->Type(1059, c.typed));  // Emit Per frame
    EXPECT_EQ(GetEditorParticleSystem().Words().emitPerFrame, c.stored) << c.typed;
  }
}

TEST_F(ParticleEditorTest, MaxParticlesFromTheDialogIsHeldToThePool) {
  struct Case {
    const char* typed;
    uint32_t stored;
  } cases[] = {{"50", 50}, {"1024", 1024}, {"5000", 1024}, {"-5", 0}};
  for (const Case& c : cases) {
    ASSERT_TRUE(Dialog()->Type(kIdMaxParticles, c.typed));
    EXPECT_EQ(GetEditorParticleSystem().GetMaxParticles(), c.stored) << c.typed;
  }
  // A full pool steps, emits and draws without leaving it.
  Dialog()->Type(kIdMaxParticles, "9999");
  Dialog()->Type(1059, "100");
  m_harness.RunFrames(5);
  EXPECT_LE(GetEditorParticleSystem().GetLiveCount(), EditorParticleSystem::kPoolSize);
}

TEST_F(ParticleEditorTest, BlendChoicesReplaceEachOtherAndKeepTheLoop) {
  EditorParticleSystem& system = GetEditorParticleSystem();
  ASSERT_EQ(system.GetFlags(), kTemplateLooped | kTemplateAlpha);
  struct Step {
    int32_t click;
    uint32_t flags;
  } steps[] = {{kIdAdditive, kTemplateLooped | kTemplateAdditive},
               {kIdAdditive, kTemplateLooped | kTemplateAdditive},
               {kIdSubtractive, kTemplateLooped | kTemplateSubtractive},
               {kIdLooped, kTemplateSubtractive},
               {kIdAlpha, kTemplateAlpha},
               {kIdLooped, kTemplateLooped | kTemplateAlpha}};
  for (const Step& step : steps) {
    ASSERT_TRUE(Dialog()->Click(step.click));
    EXPECT_EQ(system.GetFlags(), step.flags) << step.click;
  }
}

TEST_F(ParticleEditorTest, RestartKillsEveryParticleAndResetBoxEmptiesTheBox) {
  m_harness.RunFrames(10);
  EditorParticleSystem& system = GetEditorParticleSystem();
  ASSERT_GT(system.GetLiveCount(), 0u);
  ASSERT_LT(system.Words().boundsMin[0], system.Words().boundsMax[0]);
  Dialog()->Click(kIdResetBox);
  EXPECT_EQ(system.Words().boundsMin[0], 3.4028235e38f);
  EXPECT_EQ(system.Words().boundsMax[2], 1.1754944e-38f);
  EXPECT_EQ(system.Words().boundsMax[3], 0.0f);
  const float age = system.GetEmitterAge();
  Dialog()->Click(kIdRestart);
  m_harness.RunFrames(1);
  // Only what the first frame after the restart emitted lives.
  EXPECT_LT(system.GetEmitterAge(), age);
  EXPECT_LE(system.GetLiveCount(), 2u);
}

TEST_F(ParticleEditorTest, ATemplateEditedAndSavedLoadsBackEqual) {
  FileAction(kIdLoad, Absolute(kSample));
  EditorParticleSystem& system = GetEditorParticleSystem();
  ASSERT_EQ(system.GetMaxParticles(), 300u);
  ASSERT_STREQ(system.GetTextureName(), "flare01.dds");
  ASSERT_NE(Dialog(), nullptr);
  EXPECT_EQ(Dialog()->Text(kIdMaxParticles), "300");
  EXPECT_TRUE(Dialog()->IsButtonChecked(kIdAdditive));

  Dialog()->Type(kIdMaxParticles, "77");
  Dialog()->Type(1079, "45");    // Pitch
  Dialog()->Type(1052, "3.25");  // Scale X
  Dialog()->Click(kIdSubtractive);
  Dialog()->Click(kIdLooped);
  m_harness.RunFrames(3);  // the box grows and is saved with the rest
  const ParticleTemplateWords edited = system.Words();
  const std::string name = system.GetTextureName();

  // A name typed without an extension gets the dialogs' default one.
  FileAction(kIdSave, Absolute("edited"));
  ASSERT_TRUE(std::filesystem::exists("edited.txt"));
  system.Reset();
  system.CreateTestSystem();
  FileAction(kIdLoad, Absolute("edited.txt"));
  EXPECT_EQ(std::memcmp(&system.Words(), &edited, sizeof(edited)), 0);
  EXPECT_EQ(name, system.GetTextureName());
  EXPECT_EQ(Dialog()->Text(kIdMaxParticles), "77");
  EXPECT_TRUE(Dialog()->IsButtonChecked(kIdSubtractive));
}

TEST_F(ParticleEditorTest, APsfLoadsWithTheBoxReset) {
  ps2writer::Template sample;
  sample.maxParticles = 40;
  sample.emitPerFrame = 2.5f;
  sample.pitchVariation = 0.25f;
  sample.flags = ps2writer::kLooped | ps2writer::kAdditive;
  sample.texture = "flare01.dds";
  std::vector<uint8_t> image = ps2writer::WritePs2(sample);
  std::vector<uint8_t> psf(image.begin(), image.begin() + 248);
  psf.insert(psf.end(), {'f', 'l', 'a', 'r', 'e', '0', '1', '.', 'd', 'd', 's', 0});
  std::ofstream("old.psf", std::ios::binary)
      .write(reinterpret_cast<const char*>(psf.data()), static_cast<std::streamsize>(psf.size()));

  m_harness.RunFrames(5);  // a box grown by the test system
  Dialogs().QueueFileAnswer(Absolute("old.psf"));
  Dialog()->Click(kIdLoadPsf);
  EditorParticleSystem& system = GetEditorParticleSystem();
  EXPECT_EQ(system.GetMaxParticles(), 40u);
  EXPECT_EQ(system.Words().emitPerFrame, 2.5f);
  EXPECT_EQ(system.Words().pitchVariation, 0.25f);
  EXPECT_EQ(system.GetFlags(), ps2writer::kLooped | ps2writer::kAdditive);
  EXPECT_STREQ(system.GetTextureName(), "flare01.dds");
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(system.Words().boundsMin[axis], 3.4028235e38f);
    EXPECT_EQ(system.Words().boundsMax[axis], 1.1754944e-38f);
  }
  EXPECT_EQ(system.Words().boundsMin[3], 0.0f);
  EXPECT_EQ(system.Words().boundsMax[3], 0.0f);
  m_harness.RunFrames(1);
  ASSERT_NE(Dialog(), nullptr);
  EXPECT_EQ(Dialog()->Text(kIdMaxParticles), "40");
  const auto& request = Dialogs().FileRequests().back();
  EXPECT_EQ(request.filter[0], "PSF Files (*.psf)");
  EXPECT_EQ(request.filter[1], "*.psf");
}

TEST_F(ParticleEditorTest, EveryFileButtonDestroysTheDialogAndTheNextFrameBuildsItAgain) {
  const std::string start = std::filesystem::current_path().string();
  struct Case {
    int32_t id;
    const char* description;
    bool save;
  } cases[] = {{kIdLoad, "PS2 Files (*.ps2)", false},
               {kIdSave, "PSF Files (*.ps2)", true},
               {kIdLoadPsf, "PSF Files (*.psf)", false},
               {kIdSelectTexture, "DDS Files (*.dds)", false}};
  for (const Case& c : cases) {
    const int32_t created = Dialogs().CreatedCount();
    // As a file dialog may leave it elsewhere: the action brings the working folder back.
    std::filesystem::current_path("data");
    Dialog()->Click(c.id);  // cancelled: nothing queued
    EXPECT_EQ(std::filesystem::current_path().string(), start) << "folder not restored";
    EXPECT_EQ(Dialog(), nullptr) << c.id;
    const auto& request = Dialogs().FileRequests().back();
    EXPECT_FALSE(request.dialogAlive) << c.id;
    EXPECT_EQ(request.filter.at(0), c.description);
    EXPECT_EQ(request.filter.at(2), "All Files (*.*)");
    EXPECT_EQ(request.defaultExtension, "txt");
    EXPECT_EQ(request.save, c.save);
    EXPECT_EQ(request.mustExist, !c.save);
    m_harness.RunFrames(1);
    ASSERT_NE(Dialog(), nullptr) << c.id;
    EXPECT_EQ(Dialogs().CreatedCount(), created + 1);
  }
  EXPECT_EQ(Dialogs().UsesAfterDestroy(), 0);
}

TEST_F(ParticleEditorTest, SelectTextureKeepsOnlyTheFileName) {
  FileAction(kIdSelectTexture, Absolute("data/ParticleEditor/flare01.dds"));
  EXPECT_STREQ(GetEditorParticleSystem().GetTextureName(), "flare01.dds");
  EXPECT_NE(GetEditorParticleSystem().GetTexture(), -1);
}

TEST_F(ParticleEditorTest, CleanUpDestroysTheDialogAndNothingUsesItAfter) {
  m_harness.RunFrames(3);
  m_harness.Stop();
  EXPECT_EQ(Dialogs().LiveCount(), 0);
  EXPECT_EQ(Dialogs().DestroyCount(), Dialogs().CreatedCount());
  EXPECT_EQ(Dialogs().BadDestroyCount(), 0);
  EXPECT_EQ(Dialogs().UsesAfterDestroy(), 0);
  EXPECT_EQ(GetParticleEditorGlobals().dialog, nullptr);
  EXPECT_EQ(GetEditorParticleSystem().GetPool(), nullptr);
  EXPECT_EQ(GetEditorParticleSystem().GetTexture(), -1);
}

TEST_F(ParticleEditorTest, AFailedSaveReportsAndKeepsWhatWasThere) {
  std::filesystem::create_directory("kept");
  std::ofstream("kept/inside") << "x";
  AssertCounter asserts;
  EXPECT_FALSE(GetEditorParticleSystem().Save(Absolute("kept").c_str()));
  EXPECT_EQ(asserts.Count(), 1u);
  EXPECT_TRUE(std::filesystem::is_directory("kept"));
  EXPECT_TRUE(std::filesystem::exists("kept/inside"));
  EXPECT_FALSE(GetEditorParticleSystem().Save(Absolute("no/such/folder/x.ps2").c_str()));
  EXPECT_TRUE(DebugLogContains("Particle editor: cannot write"));
}

TEST_F(ParticleEditorTest, ClosingTheDialogEndsItAndTheEditorRunsOn) {
  ASSERT_NE(Dialog(), nullptr);
  const int32_t created = Dialogs().CreatedCount();
  ASSERT_TRUE(Dialog()->Close());
  EXPECT_EQ(Dialog(), nullptr) << "the dialog stayed";
  EXPECT_EQ(GetParticleEditorGlobals().dialog, nullptr);
  ASSERT_NE(KavelParticle::Current(), nullptr);
  EXPECT_EQ(KavelParticle::Current()->State().dialog, nullptr);
  m_harness.RunFrames(3);
  EXPECT_EQ(Dialogs().CreatedCount(), created) << "closed, not rebuilt";
  EXPECT_GT(GetEditorParticleSystem().GetLiveCount(), 0u);
  EXPECT_EQ(GetApp().GetExitFlag(), 0);
  m_harness.Stop();
  EXPECT_EQ(Dialogs().BadDestroyCount(), 0);
  EXPECT_EQ(Dialogs().UsesAfterDestroy(), 0);
}

// Where the world's origin lands across the window after the frame, and how far the eye is from
// it: the camera seen through the matrices the frame was drawn with.
struct OriginView {
  float screenX;
  float distance;
};
OriginView ViewOfOrigin() {
  const Matrix& m = *GetApp().GetDisplay()->GetWorldToScreenMatrix();
  const float w = m.m[15];
  RenderWindow* window = GetApp().FindWindow(KavelParticle::Current()->State().windowId);
  const Vector4& eye = window->GetCamera()->GetEye();
  return {w != 0.0f ? m.m[12] / w : 0.0f, std::sqrt(eye.x * eye.x + eye.y * eye.y + eye.z * eye.z)};
}

TEST_F(ParticleEditorTest, TheArrowsWalkTheCameraAsAPersonWalksAndTheLaterKeyOfAPairLoses) {
  // Right steps the eye to the right, so what it sees slides left; Up walks towards what it
  // looks at. Of Left and Right Left wins, of Up and Down Down.
  struct Case {
    std::vector<int> keys;
    int slide;   // -1 the origin moves left on the screen, +1 right (0: not looked at)
    int nearer;  // +1 the eye comes nearer the origin, -1 goes away (0: not looked at)
  } cases[] = {{{plat::kDIK_RIGHT}, -1, 0},
               {{plat::kDIK_LEFT}, +1, 0},
               {{plat::kDIK_LEFT, plat::kDIK_RIGHT}, +1, 0},
               {{plat::kDIK_UP}, 0, +1},
               {{plat::kDIK_UP, plat::kDIK_DOWN}, 0, -1}};
  for (const Case& c : cases) {
    const OriginView before = ViewOfOrigin();
    for (int key : c.keys) m_harness.input().SetKey(key, true);
    m_harness.RunFrames(6);
    for (int key : c.keys) m_harness.input().SetKey(key, false);
    m_harness.RunFrames(1);
    const OriginView after = ViewOfOrigin();
    const float slide = after.screenX - before.screenX;
    const float nearer = before.distance - after.distance;
    const std::string name =
        "keys " + std::to_string(c.keys.size()) + " first " + std::to_string(c.keys[0]);
    if (c.slide != 0) {
      EXPECT_GT(slide * static_cast<float>(c.slide), 5.0f) << name;
    }
    if (c.nearer != 0) {
      EXPECT_GT(nearer * static_cast<float>(c.nearer), 5.0f) << name;
    }
  }
}

// F1 shows or hides the test object, F2 switches the scene between its two looks; the frame
// counts the live particles in its corner.
TEST_F(ParticleEditorTest, F1AndF2SwitchWhatIsShownAndTheLiveCountIsPrinted) {
  ASSERT_NE(KavelParticle::Current(), nullptr);
  KavelParticleState& state = KavelParticle::Current()->State();
  RenderWindow* window = GetApp().FindWindow(state.windowId);
  ASSERT_NE(window, nullptr);
  ASSERT_NE(window->GetScene(), nullptr);
  auto tap = [&](int key) {
    m_harness.input().SetKey(key, true);
    m_harness.RunFrames(1);
    m_harness.input().SetKey(key, false);
    m_harness.RunFrames(1);
  };
  // One frame of the editor, read before the window draws it.
  auto frame = [&](int32_t* nodes, std::string* text) {
    m_harness.RunFrames(1);  // no key left released from a tap
    window->DropText();
    const int32_t before = window->GetRenderNodeCount();
    KavelParticle::Update(state);
    *nodes = window->GetRenderNodeCount() - before;
    text->clear();
    if (const TextItem* item = window->GetTextItem(0)) {
      for (const char16_t* c = item->text; *c; ++c) *text += char(*c);
      EXPECT_EQ(item->x, 1) << "in the top left corner";
      EXPECT_EQ(item->y, 1);
    }
    window->DropText();
  };
  int32_t nodes = 0;
  std::string text;
  ASSERT_EQ(state.showTestObject, 1);
  frame(&nodes, &text);
  EXPECT_EQ(nodes, 1) << "the test object";
  EXPECT_EQ(text, "Active " + std::to_string(GetEditorParticleSystem().GetLiveCount()));
  EXPECT_GT(GetEditorParticleSystem().GetLiveCount(), 0u);
  tap(0x3B);
  EXPECT_EQ(state.showTestObject, 0);
  frame(&nodes, &text);
  EXPECT_EQ(nodes, 0);
  tap(0x3B);
  EXPECT_EQ(state.showTestObject, 1);
  const uint32_t look = window->GetScene()->GetFlags() & 3;
  tap(0x3C);
  EXPECT_EQ(window->GetScene()->GetFlags() & 3, look == 1 ? 2u : 1u);
  tap(0x3C);
  EXPECT_EQ(window->GetScene()->GetFlags() & 3, look);
}

TEST_F(ParticleEditorTest, EscapeEndsTheEditor) {
  m_harness.input().SetKey(plat::kDIK_ESCAPE, true);
  m_harness.RunFrames(1);
  m_harness.input().SetKey(plat::kDIK_ESCAPE, false);
  m_harness.RunFrames(2);
  EXPECT_NE(GetApp().GetExitFlag(), 0);
}

}  // namespace
