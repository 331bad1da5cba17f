#pragma once
// The tools' dialogs: a modeless dialog of controls addressed by id (static labels, edit texts,
// check boxes, radio buttons and push buttons), laid out from a table that stands where a dialog
// resource would, and the modal open and save file dialogs.
//
// The dialog tells its owner about the user's own changes only: an edit the user typed into, a
// box or radio the user clicked, a button the user pressed. What the program writes into a
// control (SetItemText and the checks) is never reported back, so the owner never re-reads a
// value it has just written (and never cuts it to the length it reads).
//
// The real back end draws with Dear ImGui in windows of its own; tests install a scripted back
// end (Platform/Dialog/ScriptedDialog.h) that types into controls, clicks them and answers the
// file dialogs.

#include <cstdint>

namespace plat {

enum class DialogItemKind : int32_t {
  kLabel,
  kEdit,      // single-line edit text
  kCheckBox,  // automatic: a click toggles it
  kRadio,     // automatic: a click checks it and clears the radios next to it in the table
  kButton,
};

// One control of a dialog layout; positions and sizes in dialog units (a quarter of the average
// character width across, an eighth of the character height down).
struct DialogItem {
  DialogItemKind kind;
  int32_t id;  // -1 for labels
  const char* caption;
  int16_t x;
  int16_t y;
  int16_t width;
  int16_t height;
};

struct DialogLayout {
  const char* caption;
  int16_t width;  // dialog units
  int16_t height;
  const DialogItem* items;
  int32_t itemCount;
};

// Called with the id of a control that the user changed or pressed. The handler may destroy
// the dialog it was called from; nothing more is reported by a destroyed dialog.
using DialogCommandHandler = void (*)(void* user, int32_t id);

// The id the handler hears when the user closes the dialog's window (its close box, or the
// window manager's close): the dialog stays until its owner destroys it.
constexpr int32_t kDialogCancel = 2;

class Dialog {
 public:
  virtual ~Dialog() = default;

  // The text of an edit or the caption of another control; an unknown id does nothing.
  virtual void SetItemText(int32_t id, const char* text) = 0;
  // Copies at most size - 1 characters and a terminator into `buffer`; returns the count copied
  // (0 for an unknown id, which leaves an empty string).
  virtual int32_t GetItemText(int32_t id, char* buffer, int32_t size) = 0;
  virtual void CheckButton(int32_t id, bool checked) = 0;
  // Checks `id` and clears every other radio whose id lies in first..last; other kinds of
  // control in that range are left alone.
  virtual void CheckRadioButton(int32_t first, int32_t last, int32_t id) = 0;
  virtual bool IsButtonChecked(int32_t id) = 0;
  // Places the dialog on the desktop and shows it (pixels).
  virtual void SetWindowPos(int32_t x, int32_t y, int32_t width, int32_t height) = 0;
  // Once a frame: takes what the user did since the last call (reporting it to the handler)
  // and draws the dialog.
  virtual void Pump() = 0;
  // Whether the keyboard types into the dialog (the program's own keys should stay quiet).
  virtual bool HasKeyboardFocus() = 0;
};

// What a file dialog asks for.
struct FileDialogRequest {
  // Pairs of description and pattern ("PS2 Files (*.ps2)", "*.ps2"), ended by a null.
  const char* const* filter = nullptr;
  // Added, after a dot, to a chosen name that has none ("txt"); null adds nothing.
  const char* defaultExtension = nullptr;
  // The folder shown first; null for the working folder.
  const char* initialFolder = nullptr;
  bool save = false;
  // The chosen file must exist (open dialogs).
  bool mustExist = false;
};

class DialogBackend {
 public:
  virtual ~DialogBackend() = default;
  // A new dialog, not yet shown; null when it cannot be made.
  virtual Dialog* CreateDialog(const DialogLayout& layout, DialogCommandHandler handler,
                               void* user) = 0;
  // Hides the dialog and frees it; it must not be used again. Safe from inside its own handler.
  virtual void DestroyDialog(Dialog* dialog) = 0;
  // Runs a modal file dialog; true with the chosen path (as the user gave it, before the
  // default extension) in `path`, false when the user cancelled or no dialog can be shown.
  virtual bool RunFileDialog(const FileDialogRequest& request, char* path, int32_t size) = 0;
};

// The back end in use: the Dear ImGui one unless a test installed another.
DialogBackend& GetDialogBackend();
// Installs a back end (null restores the real one). The caller keeps ownership.
void SetDialogBackend(DialogBackend* backend);

// The common dialogs. True with the chosen path in `path` (a terminated string of at most
// size - 1 characters), the default extension added to a file name without one; false when the
// user cancelled or the path does not fit.
bool GetOpenFileName(const FileDialogRequest& request, char* path, int32_t size);
bool GetSaveFileName(const FileDialogRequest& request, char* path, int32_t size);
// Adds "." and `extension` to a path whose file name has no dot. False when it would not fit
// in `size` characters with the terminator (the path is then unchanged).
bool ApplyDefaultExtension(char* path, int32_t size, const char* extension);

// The process's working folder, which a file dialog may change: false when it does not fit.
bool GetWorkingFolder(char* buffer, int32_t size);
bool SetWorkingFolder(const char* folder);

}  // namespace plat
