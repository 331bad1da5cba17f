#pragma once
// The dialog back end of the tests: dialogs that keep their controls' state in memory, which a
// test types into and clicks as a user would (the owner's handler hears of it at once), and
// file dialogs that give queued answers and record what they were asked.
//
// A destroyed dialog is kept, dead, until the back end goes, so that a use after destruction is
// counted instead of reaching freed memory.

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Dialog/Dialog.h"

namespace plat {

class ScriptedDialog : public Dialog {
 public:
  ScriptedDialog(const DialogLayout& layout, DialogCommandHandler handler, void* user);

  void SetItemText(int32_t id, const char* text) override;
  int32_t GetItemText(int32_t id, char* buffer, int32_t size) override;
  void CheckButton(int32_t id, bool checked) override;
  void CheckRadioButton(int32_t first, int32_t last, int32_t id) override;
  bool IsButtonChecked(int32_t id) override;
  void SetWindowPos(int32_t x, int32_t y, int32_t width, int32_t height) override;
  void Pump() override;
  bool HasKeyboardFocus() override { return false; }

  // ---- What a user does. False when the dialog is dead or has no such control.
  // Replaces an edit's text, as typing it would, and tells the owner.
  bool Type(int32_t id, const char* text);
  // Presses a button, toggles a check box, or checks a radio (clearing its neighbours).
  bool Click(int32_t id);
  // Closes the dialog's window: the owner hears kDialogCancel.
  bool Close();

  // ---- What a test looks at.
  bool HasControl(int32_t id) const { return m_controls.count(id) != 0; }
  std::string Text(int32_t id) const;
  DialogItemKind Kind(int32_t id) const;
  bool IsShown() const { return m_shown; }
  int32_t X() const { return m_x; }
  int32_t Y() const { return m_y; }
  int32_t Width() const { return m_width; }
  int32_t Height() const { return m_height; }
  const std::string& Caption() const { return m_caption; }
  int32_t PumpCount() const { return m_pumps; }
  bool IsDead() const { return m_dead; }
  void Kill() { m_dead = true; }
  // Calls made on the dialog after it was destroyed.
  int32_t UsesAfterDestroy() const { return m_usesAfterDestroy; }

 private:
  struct Control {
    DialogItemKind kind;
    std::string text;
    bool checked = false;
    int32_t index = 0;  // position in the layout table
  };
  Control* Live(int32_t id);
  void ClearRadioRun(int32_t index);

  std::map<int32_t, Control> m_controls;
  std::vector<int32_t> m_order;  // control ids by table position (-1 for labels)
  std::string m_caption;
  DialogCommandHandler m_handler;
  void* m_user;
  bool m_shown = false;
  bool m_dead = false;
  int32_t m_x = 0, m_y = 0, m_width = 0, m_height = 0;
  int32_t m_pumps = 0;
  int32_t m_usesAfterDestroy = 0;
};

class ScriptedDialogBackend : public DialogBackend {
 public:
  ScriptedDialogBackend();
  ~ScriptedDialogBackend() override;
  ScriptedDialogBackend(const ScriptedDialogBackend&) = delete;
  ScriptedDialogBackend& operator=(const ScriptedDialogBackend&) = delete;

  Dialog* CreateDialog(const DialogLayout& layout, DialogCommandHandler handler,
                       void* user) override;
  void DestroyDialog(Dialog* dialog) override;
  bool RunFileDialog(const FileDialogRequest& request, char* path, int32_t size) override;

  // The next file dialog answers with this path, or cancels (nullopt). Without a queued answer
  // a file dialog cancels.
  void QueueFileAnswer(std::optional<std::string> path) { m_answers.push_back(std::move(path)); }
  // Refuses the next dialog creations.
  void FailNextCreate() { m_failCreate = true; }

  struct FileRequestRecord {
    std::vector<std::string> filter;
    std::string defaultExtension;
    std::string initialFolder;
    bool save = false;
    bool mustExist = false;
    bool dialogAlive = false;  // a dialog of this back end was live during the file dialog
  };
  const std::vector<FileRequestRecord>& FileRequests() const { return m_requests; }

  // The last dialog created while it lives, else null.
  ScriptedDialog* Current() const;
  int32_t CreatedCount() const { return static_cast<int32_t>(m_dialogs.size()); }
  int32_t LiveCount() const;
  int32_t DestroyCount() const { return m_destroyed; }
  // Uses of destroyed dialogs, summed over all of them.
  int32_t UsesAfterDestroy() const;
  // Destroy calls for a dialog that was destroyed already or is not this back end's.
  int32_t BadDestroyCount() const { return m_badDestroys; }

 private:
  std::vector<std::unique_ptr<ScriptedDialog>> m_dialogs;
  std::deque<std::optional<std::string>> m_answers;
  std::vector<FileRequestRecord> m_requests;
  int32_t m_destroyed = 0;
  int32_t m_badDestroys = 0;
  bool m_failCreate = false;
};

// Installs a scripted back end for the lifetime of the object.
class ScopedScriptedDialogs {
 public:
  ScopedScriptedDialogs() { SetDialogBackend(&m_backend); }
  ~ScopedScriptedDialogs() { SetDialogBackend(nullptr); }
  ScopedScriptedDialogs(const ScopedScriptedDialogs&) = delete;
  ScopedScriptedDialogs& operator=(const ScopedScriptedDialogs&) = delete;
  ScriptedDialogBackend& backend() { return m_backend; }

 private:
  ScriptedDialogBackend m_backend;
};

}  // namespace plat
