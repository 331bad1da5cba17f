#pragma once
// The particle editor: an application body over the engine that shows the one template under
// edit (GetEditorParticleSystem) in a test scene and lets every word of it be edited in a
// modeless dialog beside the game window, loaded and saved as ".ps2", read from the older
// ".psf" layout, given a texture and restarted. Nothing in the game reaches it; its own
// executable registers it (KavelParticle::Register) and runs it instead of the game.
//
// Every file action destroys the dialog and the next frame builds it again from the values as
// stored, so the dialog always shows what the template holds.

#include <cstdint>

#include "Engine/BaseGameApp.h"

namespace plat {
class Dialog;
}
class RenderWindow;

struct KavelParticleState {
  int32_t scene = -1;
  int32_t windowId = -1;
  int32_t font = -1;
  int32_t testObject = -1;
  int32_t showTestObject = 1;
  plat::Dialog* dialog = nullptr;
};

class KavelParticle : public BaseGameApp {
 public:
  KavelParticle() = default;
  ~KavelParticle() override { CleanUp(); }
  KavelParticle(const KavelParticle&) = delete;
  KavelParticle& operator=(const KavelParticle&) = delete;

  int32_t Init() override { return Init(m_state); }
  void Update() override { Update(m_state); }
  void CleanUp() override { CleanUp(m_state); }
  int32_t MovieSkipCheck(int32_t, int32_t) override { return 1; }

  static int32_t Init(KavelParticleState& state);
  static void Update(KavelParticleState& state);
  static void CleanUp(KavelParticleState& state);
  static void CreateDialog(KavelParticleState& state);
  static void UpdateCamera(RenderWindow* window);

  KavelParticleState& State() { return m_state; }

  // Makes the editor the application's body, in place of the game.
  static void Register();
  // The editor body while one is initialised, else null.
  static KavelParticle* Current();

 private:
  KavelParticleState m_state;
};

// The dialog's command handler: a control the user changed or pressed.
void ParticleEditorDialogProc(void* state, int32_t id);

// The editor's globals beside the template.
struct ParticleEditorGlobals {
  static constexpr int32_t kFolderSize = 260;
  char startFolder[kFolderSize] = {};
  plat::Dialog* dialog = nullptr;
  int32_t recreateDialog = 0;
};
ParticleEditorGlobals& GetParticleEditorGlobals();
