#include "Game/ParticleEditor.h"

#include <cstdlib>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/FastMathRotation.h"
#include "Engine/Input.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/EditorParticleSystem.h"
#include "Game/Helper/InputDevice.h"
#include "Game/ParticleEditorDialog.h"
#include "Platform/Dialog/Dialog.h"

using namespace particle_editor;

namespace {

constexpr const char* kEditorFolder = "data\\ParticleEditor\\";
constexpr const char* kFontName = "ariel_black_18.wft";
constexpr const char* kSceneName = "testscene.scn";
constexpr const char* kTestObjectName = "testobject.geo";
constexpr int32_t kWindowFlags = 6;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kEmitterMarkerSize = 128;

// DirectInput codes of the editor's keys that the input layer has no names for.
constexpr int kKeyF1 = 0x3B;
constexpr int kKeyF2 = 0x3C;

ParticleEditorGlobals s_globals;
KavelParticle* s_current = nullptr;

BaseGameApp* CreateKavelParticle() { return TrackedNew<KavelParticle>("App::InitApp"); }

// The editor's keys stay quiet while the user types into its dialog.
bool KeysForUs(const KavelParticleState& state) {
  return !state.dialog || !state.dialog->HasKeyboardFocus();
}

void ReadCameraNodes(Scene* scene, Vector4* eye, Vector4* target) {
  if (!scene) return;
  for (int32_t i = 0; i < scene->GetNumGameNodes(); ++i) {
    const GameNode* node = scene->GetGameNodeRecord(i);
    const char* name = scene->GetGameNode(i);
    if (!node || !name) continue;
    if (std::strcmp(name, "camera01") == 0) *eye = node->matrix.GetRow(3);
    if (std::strcmp(name, "camera_target01") == 0) *target = node->matrix.GetRow(3);
  }
}

int32_t MakeWindow() {
  App& app = GetApp();
  RenderWindow* window = TrackedNew<RenderWindow>("KavelParticle::Init");
  if (!window) return -1;
  window->Init(Vector2(0.0f, 0.0f),
               Vector2(static_cast<float>(app.GetWidth()), static_cast<float>(app.GetHeight())),
               Vector4(0.0f, 0.0f, 0.0f, 0.0f), kWindowFlags, 0.0f);
  return app.AddWindow(window);
}

}  // namespace

ParticleEditorGlobals& GetParticleEditorGlobals() { return s_globals; }

void KavelParticle::Register() { GetApp().SetGameFactory(&CreateKavelParticle); }

KavelParticle* KavelParticle::Current() { return s_current; }

int32_t KavelParticle::Init(KavelParticleState& state) {
  App& app = GetApp();
  MapFirstPadToItsStateWord();
  plat::GetWorkingFolder(s_globals.startFolder, ParticleEditorGlobals::kFolderSize);
  app.SetDataDir(kEditorFolder);
  state.windowId = MakeWindow();
  state.font = app.GetFontFactory()->AddFont(kFontName);
  GetEditorParticleSystem().CreateTestSystem();
  CreateDialog(state);
  state.scene = app.GetSceneFactory()->CreateScene(kSceneName);
  RenderWindow* window = app.FindWindow(state.windowId);
  Scene* scene = state.scene != -1 ? app.GetSceneFactory()->FindScene(state.scene) : nullptr;
  if (window && scene) window->SetScene(scene);
  Vector4 eye(0.0f, 1000.0f, 0.0f, 1.0f);
  Vector4 target(0.0f, 0.0f, 0.0f, 1.0f);
  ReadCameraNodes(scene, &eye, &target);
  state.testObject = app.GetNodeFactory()->Add(kTestObjectName);
  s_globals.recreateDialog = 0;
  if (window && window->GetCamera()) {
    Camera* camera = window->GetCamera();
    camera->SetEye(eye);
    camera->SetTarget(target);
    camera->SetUp(Vector4(0.0f, 0.0f, 1.0f, 0.0f));
  }
  if (KavelParticle* body = static_cast<KavelParticle*>(app.GetGameApp());
      body && &body->m_state == &state)
    s_current = body;
  return 1;
}

void KavelParticle::CreateDialog(KavelParticleState& state) {
  plat::Dialog* dialog = plat::GetDialogBackend().CreateDialog(EditorDialogLayout(),
                                                               &ParticleEditorDialogProc, &state);
  state.dialog = dialog;
  s_globals.dialog = dialog;
  if (!dialog) return;
  GetEditorParticleSystem().FieldsToDialog(dialog);
  dialog->SetWindowPos(10, 10, 320, 1024);
}

void KavelParticle::Update(KavelParticleState& state) {
  App& app = GetApp();
  RenderWindow* window = app.FindWindow(state.windowId);
  BaseFont* font = state.font != -1 ? app.GetFontFactory()->GetFont(state.font) : nullptr;
  EditorParticleSystem& system = GetEditorParticleSystem();
  const bool keys = KeysForUs(state);
  if (window && keys) UpdateCamera(window);
  system.Update(window);
  system.Render(window);
  Keyboard* keyboard = app.GetKeyboard();
  if (keys && keyboard->WasKeyReleased(kKeyF1)) state.showTestObject = state.showTestObject == 0;
  if (keys && keyboard->WasKeyReleased(kKeyF2) && window && window->GetScene()) {
    BaseScene* scene = window->GetScene();
    scene->SetFlags((scene->GetFlags() & 1) ? 2 : 1);
  }
  if (window) {
    const ParticleTemplateWords& words = system.Words();
    const Vector4 emitter(words.position[0], words.position[1], words.position[2], 1.0f);
    window->GetDebugLines()->AddMarker(&emitter, kEmitterMarkerSize, kWhite);
    char text[32];
    std::snprintf(text, sizeof(text), "Active %i", static_cast<int>(system.GetLiveCount()));
    window->PrintText(text, 1, 1, kWhite, 0.0f, font);
  }
  if (window && state.showTestObject == 1 && state.testObject != -1) {
    NodeContainer* node = app.GetNodeFactory()->GetContainer(state.testObject);
    KASSERT(node != nullptr);
    if (node) {
      RenderNodeRecord record;
      record.container = node;
      record.placement.Identity();
      record.flags = 1;
      record.tint = Vector4(1.0f, 1.0f, 1.0f, 1.0f);
      window->AddRenderNode(record);
    }
  }
  if (s_globals.recreateDialog == 1) {
    CreateDialog(state);
    s_globals.recreateDialog = 0;
  }
  // The dialog takes what the user did since the last frame; its handler may destroy it.
  if (state.dialog) state.dialog->Pump();
  if (keys && keyboard->WasKeyReleased(plat::kDIK_ESCAPE)) app.SetExitFlag(1);
}

void KavelParticle::CleanUp(KavelParticleState& state) {
  App& app = GetApp();
  GetEditorParticleSystem().CleanUp();
  // The dialog's handler writes into this state: it must not outlive it.
  if (state.dialog) plat::GetDialogBackend().DestroyDialog(state.dialog);
  if (s_globals.dialog == state.dialog) s_globals.dialog = nullptr;
  state.dialog = nullptr;
  s_globals.recreateDialog = 0;
  if (state.testObject != -1) app.GetNodeFactory()->DeleteNode(state.testObject);
  state.testObject = -1;
  if (state.font != -1) app.GetFontFactory()->DeleteFont(state.font);
  state.font = -1;
  if (state.scene != -1) {
    app.GetSceneFactory()->DeleteScene(state.scene);
    if (RenderWindow* window = app.FindWindow(state.windowId)) window->SetScene(nullptr);
  }
  state.scene = -1;
  if (state.windowId != -1) app.DeleteWindow(state.windowId);
  state.windowId = -1;
  if (s_current && &s_current->m_state == &state) s_current = nullptr;
}
