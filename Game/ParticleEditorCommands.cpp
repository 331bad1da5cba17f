// What the particle editor's dialog does with the user's changes: edits store their word, the
// check box and radios set the flags, the buttons restart, reset the box or run a file action.

#include <cstdlib>

#include "Engine/PC/PCApp.h"
#include "Game/EditorParticleSystem.h"
#include "Game/ParticleEditor.h"
#include "Game/ParticleEditorDialog.h"
#include "Platform/Dialog/Dialog.h"

using namespace particle_editor;

namespace {

constexpr int32_t kEditTextSize = 8;  // seven characters and the terminator
constexpr int32_t kPathSize = 260;

constexpr const char* kPs2Filter[] = {"PS2 Files (*.ps2)", "*.ps2", "All Files (*.*)", "*.*",
                                      nullptr};
constexpr const char* kSaveFilter[] = {"PSF Files (*.ps2)", "*.ps2", "All Files (*.*)", "*.*",
                                       nullptr};
constexpr const char* kPsfFilter[] = {"PSF Files (*.psf)", "*.psf", "All Files (*.*)", "*.*",
                                      nullptr};
constexpr const char* kDdsFilter[] = {"DDS Files (*.dds)", "*.dds", "All Files (*.*)", "*.*",
                                      nullptr};

void RestartTimer() {
  // Time spent in a file dialog is not owed to the simulation as frames to catch up.
  App& app = GetApp();
  app.GetTimer()->Create(app.GetTargetFrameRate());
}

void StoreEdit(plat::Dialog* dialog, const EditField& field) {
  char text[kEditTextSize];
  dialog->GetItemText(field.id, text, kEditTextSize);
  EditorParticleSystem& system = GetEditorParticleSystem();
  switch (field.unit) {
    case FieldUnit::kCount:
      system.SetMaxParticles(std::atol(text));
      break;
    case FieldUnit::kRadians:
      system.SetFloat(field.word, static_cast<float>(std::atof(text)) * kDegreesToRadians);
      break;
    case FieldUnit::kPlain:
      system.SetFloat(field.word, static_cast<float>(std::atof(text)));
      break;
  }
}

// Sets `bit` as the one blend, unless it is set already.
void ChooseBlend(uint32_t bit) {
  EditorParticleSystem& system = GetEditorParticleSystem();
  const uint32_t blends = kTemplateAlpha | kTemplateAdditive | kTemplateSubtractive;
  if (!(system.GetFlags() & bit)) system.SetFlags((system.GetFlags() & ~blends) | bit);
}

// The file buttons' common run: the dialog goes, the file dialog runs, the action runs on a
// chosen file, and the next frame builds the dialog again whether or not a file was chosen.
void RunFileAction(KavelParticleState& state, int32_t id) {
  ParticleEditorGlobals& globals = GetParticleEditorGlobals();
  char path[kPathSize] = {};
  plat::Dialog* dialog = state.dialog;
  state.dialog = nullptr;
  globals.dialog = nullptr;
  plat::GetDialogBackend().DestroyDialog(dialog);

  plat::FileDialogRequest request;
  request.defaultExtension = "txt";
  request.mustExist = id != kIdSave;
  EditorParticleSystem& system = GetEditorParticleSystem();
  switch (id) {
    case kIdLoad:
      request.filter = kPs2Filter;
      if (plat::GetOpenFileName(request, path, kPathSize)) system.Load(path);
      break;
    case kIdSave:
      request.filter = kSaveFilter;
      if (plat::GetSaveFileName(request, path, kPathSize)) system.Save(path);
      break;
    case kIdLoadPsf:
      request.filter = kPsfFilter;
      if (plat::GetOpenFileName(request, path, kPathSize)) system.LoadOldStyle(path);
      break;
    default:
      request.filter = kDdsFilter;
      if (plat::GetOpenFileName(request, path, kPathSize)) system.LoadNewTexture(path);
      break;
  }
  globals.recreateDialog = 1;
  if (globals.startFolder[0]) plat::SetWorkingFolder(globals.startFolder);
  RestartTimer();
}

// The user closed the dialog: it ends, and the editor runs on without it.
void CloseDialog(KavelParticleState& state) {
  ParticleEditorGlobals& globals = GetParticleEditorGlobals();
  plat::Dialog* dialog = state.dialog;
  state.dialog = nullptr;
  if (globals.dialog == dialog) globals.dialog = nullptr;
  plat::GetDialogBackend().DestroyDialog(dialog);
}

}  // namespace

void ParticleEditorDialogProc(void* user, int32_t id) {
  auto* state = static_cast<KavelParticleState*>(user);
  if (!state || !state->dialog) return;
  EditorParticleSystem& system = GetEditorParticleSystem();
  if (const EditField* field = FindEditField(id)) {
    StoreEdit(state->dialog, *field);
    return;
  }
  switch (id) {
    case kIdAdditive:
      ChooseBlend(kTemplateAdditive);
      break;
    case kIdSubtractive:
      ChooseBlend(kTemplateSubtractive);
      break;
    case kIdAlpha:
      ChooseBlend(kTemplateAlpha);
      break;
    case kIdLooped:
      system.SetFlags(system.GetFlags() ^ kTemplateLooped);
      break;
    case kIdRestart:
      system.RequestRestart();
      RestartTimer();
      break;
    case kIdResetBox:
      system.ResetBox();
      break;
    case kIdLoad:
    case kIdSave:
    case kIdLoadPsf:
    case kIdSelectTexture:
      RunFileAction(*state, id);
      break;
    case kIdCancel:
      CloseDialog(*state);
      break;
    default:
      break;
  }
}
