#include "Game/KavelApp.h"

#include "Engine/Input.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Frontend/VideoModes.h"

namespace {

// The skip button: the first action button on the first pad, or Return, Space or Escape.
constexpr uint32_t kPadSkipBits = 0x1000;

BaseGameApp* CreateKavelApp() { return TrackedNew<KavelApp>("App::InitApp"); }

}  // namespace

void KavelApp::Register() { GetApp().SetGameFactory(&CreateKavelApp); }

KavelApp::~KavelApp() { CleanUp(); }

int32_t KavelApp::Init() {
  GetApp().GetDisplay()->ListResolutions(&GetDisplayModeTable(), &HideDisplayModeItems, nullptr);
  m_initialised = 1;
  return 1;
}

void KavelApp::Update() {
  App& app = GetApp();
  app.SetPause(0);
  ++m_frame;
  // Until the front end draws, the frame shows a slowly breathing backdrop colour.
  if (gfx::D3DDevice* device = app.GetDisplay()->GetDevice()) {
    uint32_t level = static_cast<uint32_t>(48 + (m_frame % 120 < 60 ? m_frame % 60 : 60 - m_frame % 60));
    device->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER,
                  0xFF000000u | (16u << 16) | (24u << 8) | level, 1.0f, 0);
  }
  if (app.GetKeyboard()->WasKeyPressed(plat::kDIK_ESCAPE)) app.SetExitFlag(1);
}

void KavelApp::CleanUp() { m_initialised = 0; }

int32_t KavelApp::MovieSkipCheck(int32_t, int32_t) {
  Keyboard* keys = GetApp().GetKeyboard();
  if (keys->WasKeyPressed(plat::kDIK_RETURN) || keys->WasKeyPressed(plat::kDIK_SPACE) ||
      keys->WasKeyPressed(plat::kDIK_ESCAPE))
    return 0;
  if (g_gamePad && (g_gamePad->RawPressed(0) & kPadSkipBits)) return 0;
  return 1;
}
