#include "Game/ParticleEditorDialog.h"

#include <cstdio>
#include <vector>

#include "Game/EditorParticleSystem.h"

namespace particle_editor {

namespace {

using plat::DialogItem;
using plat::DialogItemKind;

constexpr FieldUnit R = FieldUnit::kRadians;
constexpr FieldUnit P = FieldUnit::kPlain;

// Every edit control, by row of the dialog.
constexpr EditField kFields[kEditFieldCount] = {
    {1021, 16, P},
    {1024, 17, P},
    {1026, 18, P},  // Emitter Position
    {1017, 4, P},
    {1018, 5, P},
    {1020, 6, P},  // Emitter Position Variation
    {1028, 8, P},
    {1029, 9, P},
    {1030, 10, P},
    {1031, 11, P},  // Emitter Colour
    {1032, 12, P},
    {1033, 13, P},
    {1034, 14, P},
    {1035, 15, P},  // Emitter Colour Step
    {1036, 20, P},
    {1037, 21, P},
    {1038, 22, P},  // Friction
    {1040, 24, P},
    {1041, 25, P},
    {1042, 26, P},  // Gravity
    {1043, 28, P},
    {1044, 29, P},
    {1045, 30, P},  // Velocity
    {1075, 52, P},
    {1076, 53, P},
    {1077, 54, P},  // Velocity Var
    {1078, 58, R},
    {1079, 60, R},  // Yaw, Pitch
    {1080, 59, R},
    {1081, 61, R},  // Yaw Var, Pitch Var
    {1046, 32, R},
    {1047, 33, R},
    {1048, 34, R},  // Angle
    {1049, 36, R},
    {1050, 37, R},
    {1051, 38, R},  // Angle Step
    {1072, 48, R},
    {1073, 49, R},
    {1074, 50, R},  // Angle Variation
    {1052, 40, P},
    {1053, 41, P},
    {1054, 42, P},  // Scale
    {1055, 44, P},
    {1056, 45, P},
    {1057, 46, P},  // Scale Step
    {1058, 0, FieldUnit::kCount},
    {1059, 1, P},  // Max Particles, Emit Per frame
    {1060, 2, P},
    {1061, 3, P},   // MaxLife, Life Var
    {1071, 57, P},  // Emitter Life
};

// A row: one caption over up to four axis edits, or two captioned single edits side by side.
struct Row {
  const char* caption;
  const char* second;  // the right-hand caption of a pair row, else null
  const char* axes[4];
  int32_t fieldCount;
};

constexpr const char* kXyz[4] = {"X:", "Y:", "Z:", nullptr};
constexpr const char* kRgba[4] = {"R:", "G:", "B:", "A:"};
constexpr const char* kSmallXyz[4] = {"x:", "Y:", "Z:", nullptr};
constexpr const char* kNone[4] = {nullptr, nullptr, nullptr, nullptr};

constexpr Row kRows[] = {
    {"Emitter Position", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Emitter Position Variation", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Emitter Colour", nullptr, {kRgba[0], kRgba[1], kRgba[2], kRgba[3]}, 4},
    {"Emitter Colour Step", nullptr, {kRgba[0], kRgba[1], kRgba[2], kRgba[3]}, 4},
    {"Friction", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Gravity:", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Velocity:", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Velocity Var", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Yaw", "Pitch", {kNone[0]}, 2},
    {"Yaw Var", "Pitch Var", {kNone[0]}, 2},
    {"Angle", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Angle Step", nullptr, {kSmallXyz[0], kSmallXyz[1], kSmallXyz[2]}, 3},
    {"Angle Variation", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Scale", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Scale Step:", nullptr, {kXyz[0], kXyz[1], kXyz[2]}, 3},
    {"Max Particles", "Emit Per frame", {kNone[0]}, 2},
    {"MaxLife", "Life Var", {kNone[0]}, 2},
    {"Emitter Life", nullptr, {kNone[0]}, 1},
};

constexpr int16_t kRowHeight = 24;
constexpr int16_t kLeft = 6;
constexpr int16_t kPairColumn = 104;

DialogItem Item(DialogItemKind kind, int32_t id, const char* caption, int x, int y, int w, int h) {
  return DialogItem{kind,
                    id,
                    caption,
                    static_cast<int16_t>(x),
                    static_cast<int16_t>(y),
                    static_cast<int16_t>(w),
                    static_cast<int16_t>(h)};
}

void AddRow(std::vector<DialogItem>* items, const Row& row, int16_t y, int32_t* field) {
  items->push_back(Item(DialogItemKind::kLabel, -1, row.caption, kLeft, y, 180, 8));
  if (row.second) {
    items->push_back(Item(DialogItemKind::kLabel, -1, row.second, kPairColumn, y, 90, 8));
    items->push_back(Item(DialogItemKind::kEdit, kFields[(*field)++].id, "", kLeft, y + 9, 80, 12));
    items->push_back(
        Item(DialogItemKind::kEdit, kFields[(*field)++].id, "", kPairColumn, y + 9, 80, 12));
    return;
  }
  for (int32_t i = 0; i < row.fieldCount; ++i) {
    const int x = kLeft + i * 48;
    if (row.axes[i])
      items->push_back(Item(DialogItemKind::kLabel, -1, row.axes[i], x, y + 11, 9, 8));
    const int editX = row.axes[i] ? x + 9 : x;
    items->push_back(Item(DialogItemKind::kEdit, kFields[(*field)++].id, "", editX, y + 9,
                          row.axes[i] ? 37 : 80, 12));
  }
}

void AddButtons(std::vector<DialogItem>* items, int16_t y) {
  const struct {
    DialogItemKind kind;
    int32_t id;
    const char* caption;
    int x, dy, w, h;
  } buttons[] = {
      {DialogItemKind::kButton, kIdLoad, "Load", 0, 0, 60, 14},
      {DialogItemKind::kButton, kIdSave, "Save", 64, 0, 60, 14},
      {DialogItemKind::kButton, kIdLoadPsf, "Load .psf", 128, 0, 60, 14},
      {DialogItemKind::kButton, kIdSelectTexture, "SelectTexture", 0, 18, 60, 14},
      {DialogItemKind::kButton, kIdRestart, "Restart", 64, 18, 60, 14},
      {DialogItemKind::kButton, kIdResetBox, "Reset Box", 128, 18, 60, 14},
      {DialogItemKind::kCheckBox, kIdLooped, "Looped", 0, 38, 60, 10},
      {DialogItemKind::kRadio, kIdAdditive, "Additive", 0, 52, 60, 10},
      {DialogItemKind::kRadio, kIdSubtractive, "Subtractive", 64, 52, 60, 10},
      {DialogItemKind::kRadio, kIdAlpha, "Alpha", 128, 52, 60, 10},
  };
  for (const auto& b : buttons)
    items->push_back(Item(b.kind, b.id, b.caption, kLeft + b.x, y + b.dy, b.w, b.h));
}

std::vector<DialogItem> BuildItems() {
  std::vector<DialogItem> items;
  int32_t field = 0;
  int16_t y = 4;
  for (const Row& row : kRows) {
    AddRow(&items, row, y, &field);
    y = static_cast<int16_t>(y + kRowHeight);
  }
  AddButtons(&items, static_cast<int16_t>(y + 4));
  return items;
}

}  // namespace

const EditField* EditFields() { return kFields; }

const EditField* FindEditField(int32_t id) {
  for (const EditField& field : kFields)
    if (field.id == id) return &field;
  return nullptr;
}

const plat::DialogLayout& EditorDialogLayout() {
  static const std::vector<DialogItem> items = BuildItems();
  static const plat::DialogLayout layout{"Dialog", 203, 558, items.data(),
                                         static_cast<int32_t>(items.size())};
  return layout;
}

}  // namespace particle_editor

using namespace particle_editor;

void EditorParticleSystem::FieldsToDialog(plat::Dialog* dialog) const {
  if (!dialog) return;
  char text[64];
  for (int32_t i = 0; i < kEditFieldCount; ++i) {
    const EditField& field = EditFields()[i];
    if (field.unit == FieldUnit::kCount) {
      std::snprintf(text, sizeof(text), "%i", static_cast<int>(GetWord(field.word)));
    } else {
      float value = GetFloat(field.word);
      if (field.unit == FieldUnit::kRadians) value *= kRadiansToDegrees;
      std::snprintf(text, sizeof(text), "%f", static_cast<double>(value));
    }
    dialog->SetItemText(field.id, text);
  }
  const uint32_t flags = GetFlags();
  if (flags & kTemplateLooped) dialog->CheckButton(kIdLooped, true);
  // One blend shows; a file that holds more than one shows the first of this order.
  int32_t blend = 0;
  if (flags & kTemplateAlpha) {
    blend = kIdAlpha;
  } else if (flags & kTemplateAdditive) {
    blend = kIdAdditive;
  } else if (flags & kTemplateSubtractive) {
    blend = kIdSubtractive;
  }
  if (blend) dialog->CheckRadioButton(kIdAdditive, kIdAlpha, blend);
}
