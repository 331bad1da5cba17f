#include "Platform/Dialog/ScriptedDialog.h"

#include <cstring>

namespace plat {

ScriptedDialog::ScriptedDialog(const DialogLayout& layout, DialogCommandHandler handler, void* user)
    : m_caption(layout.caption ? layout.caption : ""), m_handler(handler), m_user(user) {
  for (int32_t i = 0; i < layout.itemCount; ++i) {
    const DialogItem& item = layout.items[i];
    m_order.push_back(item.kind == DialogItemKind::kLabel ? -1 : item.id);
    if (item.kind == DialogItemKind::kLabel) continue;
    Control control;
    control.kind = item.kind;
    // Edits start empty; the others show their captions.
    if (item.kind != DialogItemKind::kEdit && item.caption) control.text = item.caption;
    control.index = i;
    m_controls[item.id] = control;
  }
}

ScriptedDialog::Control* ScriptedDialog::Live(int32_t id) {
  if (m_dead) {
    ++m_usesAfterDestroy;
    return nullptr;
  }
  auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : &found->second;
}

void ScriptedDialog::SetItemText(int32_t id, const char* text) {
  if (Control* control = Live(id)) control->text = text ? text : "";
}

int32_t ScriptedDialog::GetItemText(int32_t id, char* buffer, int32_t size) {
  if (!buffer || size <= 0) return 0;
  buffer[0] = '\0';
  Control* control = Live(id);
  if (!control) return 0;
  size_t count = control->text.size();
  if (count > static_cast<size_t>(size - 1)) count = static_cast<size_t>(size - 1);
  std::memcpy(buffer, control->text.data(), count);
  buffer[count] = '\0';
  return static_cast<int32_t>(count);
}

void ScriptedDialog::CheckButton(int32_t id, bool checked) {
  if (Control* control = Live(id)) control->checked = checked;
}

void ScriptedDialog::CheckRadioButton(int32_t first, int32_t last, int32_t id) {
  if (m_dead) {
    ++m_usesAfterDestroy;
    return;
  }
  // Radios only: a check box whose id falls in the range keeps its state.
  for (auto& [controlId, control] : m_controls)
    if (control.kind == DialogItemKind::kRadio && controlId >= first && controlId <= last)
      control.checked = controlId == id;
}

bool ScriptedDialog::IsButtonChecked(int32_t id) {
  Control* control = Live(id);
  return control && control->checked;
}

void ScriptedDialog::SetWindowPos(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (m_dead) {
    ++m_usesAfterDestroy;
    return;
  }
  m_x = x;
  m_y = y;
  m_width = width;
  m_height = height;
  m_shown = true;
}

void ScriptedDialog::Pump() {
  if (m_dead) {
    ++m_usesAfterDestroy;
    return;
  }
  ++m_pumps;
}

std::string ScriptedDialog::Text(int32_t id) const {
  auto found = m_controls.find(id);
  return found == m_controls.end() ? std::string() : found->second.text;
}

DialogItemKind ScriptedDialog::Kind(int32_t id) const {
  auto found = m_controls.find(id);
  return found == m_controls.end() ? DialogItemKind::kLabel : found->second.kind;
}

bool ScriptedDialog::Type(int32_t id, const char* text) {
  Control* control = Live(id);
  if (!control || control->kind != DialogItemKind::kEdit) return false;
  control->text = text ? text : "";
  if (m_handler) m_handler(m_user, id);
  return true;
}

// Automatic radios form a group with the radios next to them in the table.
void ScriptedDialog::ClearRadioRun(int32_t index) {
  auto isRadio = [this](int32_t at) {
    if (at < 0 || at >= static_cast<int32_t>(m_order.size()) || m_order[at] < 0) return false;
    return m_controls[m_order[at]].kind == DialogItemKind::kRadio;
  };
  for (int32_t at = index - 1; isRadio(at); --at) m_controls[m_order[at]].checked = false;
  for (int32_t at = index + 1; isRadio(at); ++at) m_controls[m_order[at]].checked = false;
}

bool ScriptedDialog::Click(int32_t id) {
  Control* control = Live(id);
  if (!control || control->kind == DialogItemKind::kEdit) return false;
  if (control->kind == DialogItemKind::kCheckBox) control->checked = !control->checked;
  if (control->kind == DialogItemKind::kRadio) {
    ClearRadioRun(control->index);
    control->checked = true;
  }
  if (m_handler) m_handler(m_user, id);
  return true;
}

bool ScriptedDialog::Close() {
  if (m_dead) {
    ++m_usesAfterDestroy;
    return false;
  }
  if (m_handler) m_handler(m_user, kDialogCancel);
  return true;
}

ScriptedDialogBackend::ScriptedDialogBackend() = default;
ScriptedDialogBackend::~ScriptedDialogBackend() = default;

Dialog* ScriptedDialogBackend::CreateDialog(const DialogLayout& layout,
                                            DialogCommandHandler handler, void* user) {
  if (m_failCreate) {
    m_failCreate = false;
    return nullptr;
  }
  m_dialogs.push_back(std::make_unique<ScriptedDialog>(layout, handler, user));
  return m_dialogs.back().get();
}

void ScriptedDialogBackend::DestroyDialog(Dialog* dialog) {
  for (auto& owned : m_dialogs) {
    if (owned.get() != dialog) continue;
    if (owned->IsDead()) break;
    owned->Kill();
    ++m_destroyed;
    return;
  }
  ++m_badDestroys;
}

bool ScriptedDialogBackend::RunFileDialog(const FileDialogRequest& request, char* path,
                                          int32_t size) {
  FileRequestRecord record;
  for (const char* const* entry = request.filter; entry && *entry; ++entry)
    record.filter.push_back(*entry);
  record.defaultExtension = request.defaultExtension ? request.defaultExtension : "";
  record.initialFolder = request.initialFolder ? request.initialFolder : "";
  record.save = request.save;
  record.mustExist = request.mustExist;
  record.dialogAlive = LiveCount() > 0;
  m_requests.push_back(record);

  std::optional<std::string> answer;
  if (!m_answers.empty()) {
    answer = m_answers.front();
    m_answers.pop_front();
  }
  if (!answer || !path || size <= 0 || answer->size() + 1 > static_cast<size_t>(size)) return false;
  std::memcpy(path, answer->c_str(), answer->size() + 1);
  return true;
}

ScriptedDialog* ScriptedDialogBackend::Current() const {
  if (m_dialogs.empty() || m_dialogs.back()->IsDead()) return nullptr;
  return m_dialogs.back().get();
}

int32_t ScriptedDialogBackend::LiveCount() const {
  int32_t live = 0;
  for (const auto& dialog : m_dialogs) live += dialog->IsDead() ? 0 : 1;
  return live;
}

int32_t ScriptedDialogBackend::UsesAfterDestroy() const {
  int32_t uses = 0;
  for (const auto& dialog : m_dialogs) uses += dialog->UsesAfterDestroy();
  return uses;
}

}  // namespace plat
