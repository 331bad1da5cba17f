// The particle editor's files: the input read as a ".ps2" template and as the older ".psf"
// layout, and each one that loads run for a few frames of emission, stepping and drawing. The
// drawing goes into a window that is never shown, whose submissions are dropped each frame.

#include <vector>

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/EditorParticleSystem.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/Ps2Writer.h"

namespace {

RenderWindow* s_window = nullptr;

// The ".psf" layout: the ".ps2" block without its last eight words, the name at byte 248.
std::vector<uint8_t> OldStyle(const std::vector<uint8_t>& ps2) {
  std::vector<uint8_t> psf(ps2.begin(), ps2.begin() + EditorParticleSystem::kPsfNameOffset);
  psf.insert(psf.end(), ps2.begin() + EditorParticleSystem::kPs2NameOffset, ps2.end());
  return psf;
}

void RunFrames(EditorParticleSystem& system) {
  system.RequestRestart();
  for (int frame = 0; frame < 3; ++frame) {
    system.Update(s_window);
    system.Render(s_window);
    s_window->Render();
  }
}

}  // namespace

std::vector<FuzzSeed> FuzzSeeds() {
  ps2writer::Template plain;
  ps2writer::Template busy;
  busy.maxParticles = 200;
  busy.emitPerFrame = 40.0f;
  busy.flags = ps2writer::kLooped | ps2writer::kAdditive;
  busy.colourStep[0] = -3.0f;
  busy.velocity[1] = 30.0f;
  busy.velocityVariation[0] = 10.0f;
  busy.scaleStep[0] = 0.2f;
  busy.texture = "flare01.dds";
  return {{"plain.ps2", ps2writer::WritePs2(plain)},
          {"busy.ps2", ps2writer::WritePs2(busy)},
          {"busy.psf", OldStyle(ps2writer::WritePs2(busy))}};
}

bool FuzzSetUp() {
  if (!StartHeadlessApp() || !GetEditorParticleSystem().CreateTestSystem()) return false;
  s_window = TrackedNew<RenderWindow>("EditorParticleFuzz");
  if (!s_window) return false;
  s_window->Init(Vector2(0.0f, 0.0f), Vector2(640.0f, 480.0f), Vector4(0.0f, 0.0f, 0.0f, 0.0f), 6,
                 0.0f);
  s_window->SetFlags(s_window->GetFlags() | BaseRenderWindow::kSuspended);
  return true;
}

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.ps2", data, size);
  EditorParticleSystem& system = GetEditorParticleSystem();
  if (system.Load("fuzz.ps2")) RunFrames(system);
  if (system.LoadOldStyle("fuzz.ps2")) RunFrames(system);
}
