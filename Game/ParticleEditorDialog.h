#pragma once
// The particle editor's dialog: its layout (the table that stands for dialog resource 105),
// the ids of its controls and the template word each edit carries.

#include <cstdint>

#include "Platform/Dialog/Dialog.h"

namespace particle_editor {

enum ControlId : int32_t {
  kIdAdditive = 1065,
  kIdSubtractive = 1066,
  kIdLooped = 1067,
  kIdAlpha = 1068,
  kIdSelectTexture = 1069,
  kIdRestart = 1070,
  kIdLoad = 1062,
  kIdSave = 1063,
  kIdResetBox = 1082,
  kIdLoadPsf = 1083,
  kIdMaxParticles = 1058,
  kIdCancel = plat::kDialogCancel,
};

enum class FieldUnit : int32_t { kPlain, kRadians, kCount };

// One edit control and the template word it carries.
struct EditField {
  int32_t id;
  uint32_t word;
  FieldUnit unit;
};

constexpr int32_t kEditFieldCount = 50;
const EditField* EditFields();
// The field of an edit control, or null.
const EditField* FindEditField(int32_t id);

const plat::DialogLayout& EditorDialogLayout();

// Degrees to radians and back, as the dialog converts them.
constexpr float kDegreesToRadians = 0.01745329238474369f;
constexpr float kRadiansToDegrees = 57.2957763671875f;

}  // namespace particle_editor
