#include "Platform/Dialog/ImGuiDialog.h"

#include <imgui.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Platform/Dialog/FileBrowser.h"
#include "Platform/Dialog/ImGuiHost.h"
#include "Platform/System/System.h"

namespace plat {

namespace {

// Dialog units in pixels for the 8-point face the layouts were made for (6 x 13 pixel cells).
constexpr float kUnitX = 1.5f;
constexpr float kUnitY = 1.625f;
constexpr size_t kEditCapacity = 128;

// A window of the application that loses the keyboard to its own dialog has not been left by
// the user: the application should stay active (and keep drawing), as it does when a dialog
// of a Win32 program takes the focus. SDL reports the application window's focus loss all the
// same; the first dialog frame after it reports the focus back, and a later frame in which no
// window of the program has the keyboard reports it lost again.
class FocusKeeper {
 public:
  void Watch() {
    static bool installed = false;
    if (installed) return;
    SDL_AddEventWatch(&FocusKeeper::OnEvent, this);
    installed = true;
  }
  void Update(SDL_Window* dialog) {
    SDL_Window* app = static_cast<SDL_Window*>(GetSystem().GetAppWindow());
    if (!app || !dialog) return;
    SDL_Window* focus = SDL_GetKeyboardFocus();
    if (focus == dialog && !m_appReportedFocused) Post(app, SDL_WINDOWEVENT_FOCUS_GAINED);
    if (!focus && m_appReportedFocused && m_reportedByUs) Post(app, SDL_WINDOWEVENT_FOCUS_LOST);
  }

 private:
  static int OnEvent(void* self, SDL_Event* event) {
    auto* keeper = static_cast<FocusKeeper*>(self);
    if (event->type != SDL_WINDOWEVENT) return 0;
    SDL_Window* app = static_cast<SDL_Window*>(GetSystem().GetAppWindow());
    if (!app || event->window.windowID != SDL_GetWindowID(app)) return 0;
    if (event->window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
      keeper->m_appReportedFocused = true;
      keeper->m_reportedByUs = event->window.data1 == kOurMark;
    } else if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
      keeper->m_appReportedFocused = false;
      keeper->m_reportedByUs = false;
    }
    return 0;
  }
  void Post(SDL_Window* app, Uint8 what) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = SDL_GetWindowID(app);
    event.window.event = what;
    event.window.data1 = kOurMark;
    SDL_PushEvent(&event);
  }

  static constexpr Sint32 kOurMark = 0x44474C47;
  bool m_appReportedFocused = true;
  bool m_reportedByUs = false;
};

FocusKeeper& Keeper() {
  static FocusKeeper keeper;
  return keeper;
}

class ImGuiDialog : public Dialog {
 public:
  ImGuiDialog(const DialogLayout& layout, DialogCommandHandler handler, void* user)
      : m_handler(handler), m_user(user) {
    m_caption = layout.caption ? layout.caption : "";
    m_width = static_cast<int>(layout.width * kUnitX);
    m_height = static_cast<int>(layout.height * kUnitY);
    for (int32_t i = 0; i < layout.itemCount; ++i) {
      Control control;
      control.item = layout.items[i];
      control.text = control.item.caption ? control.item.caption : "";
      if (control.item.kind == DialogItemKind::kEdit) control.text.clear();
      m_controls.push_back(control);
    }
  }

  bool Open() { return m_host.Create(m_caption.c_str(), m_width, m_height); }

  void SetItemText(int32_t id, const char* text) override {
    if (Control* control = Find(id)) control->text = text ? text : "";
  }
  int32_t GetItemText(int32_t id, char* buffer, int32_t size) override {
    if (!buffer || size <= 0) return 0;
    buffer[0] = '\0';
    Control* control = Find(id);
    if (!control) return 0;
    size_t count = std::min(control->text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, control->text.data(), count);
    buffer[count] = '\0';
    return static_cast<int32_t>(count);
  }
  void CheckButton(int32_t id, bool checked) override {
    if (Control* control = Find(id)) control->checked = checked;
  }
  // Radios only: a check box whose id falls in the range keeps its state.
  void CheckRadioButton(int32_t first, int32_t last, int32_t id) override {
    for (Control& control : m_controls)
      if (control.item.kind == DialogItemKind::kRadio && control.item.id >= first &&
          control.item.id <= last)
        control.checked = control.item.id == id;
  }
  bool IsButtonChecked(int32_t id) override {
    Control* control = Find(id);
    return control && control->checked;
  }
  void SetWindowPos(int32_t x, int32_t y, int32_t width, int32_t height) override {
    m_host.Show(x, y, width, height);
  }
  bool HasKeyboardFocus() override { return m_host.HasKeyboardFocus(); }

  void Pump() override {
    Keeper().Update(m_host.Window());
    std::vector<int32_t> commands;
    if (m_host.BeginFrame()) {
      DrawControls(&commands);
      m_host.EndFrame();
    }
    if (m_host.TakeCloseRequest()) commands.push_back(kDialogCancel);
    m_inPump = true;
    for (int32_t id : commands) {
      if (m_destroyed) break;
      if (m_handler) m_handler(m_user, id);
    }
    m_inPump = false;
    // The handler destroyed the dialog: it goes now that nothing of it runs any more.
    if (m_destroyed) delete this;
  }

  // Gone at once, or after the handler that asked returns.
  void Destroy() {
    m_host.Hide();
    if (m_inPump) {
      m_destroyed = true;
    } else {
      delete this;
    }
  }

 private:
  struct Control {
    DialogItem item;
    std::string text;
    bool checked = false;
  };

  Control* Find(int32_t id) {
    for (Control& control : m_controls)
      if (control.item.kind != DialogItemKind::kLabel && control.item.id == id) return &control;
    return nullptr;
  }

  void ClearRadioRun(size_t index) {
    for (size_t at = index; at-- > 0 && m_controls[at].item.kind == DialogItemKind::kRadio;)
      m_controls[at].checked = false;
    for (size_t at = index + 1;
         at < m_controls.size() && m_controls[at].item.kind == DialogItemKind::kRadio; ++at)
      m_controls[at].checked = false;
  }

  void DrawControls(std::vector<int32_t>* commands) {
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(io.DisplaySize);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoSavedSettings |
                                   ImGuiWindowFlags_NoBringToFrontOnFocus;
    ImGui::Begin("##dialog", nullptr, flags);
    for (size_t i = 0; i < m_controls.size(); ++i)
      if (DrawControl(i)) commands->push_back(m_controls[i].item.id);
    ImGui::End();
  }

  // True when the user changed or pressed the control.
  bool DrawControl(size_t index) {
    Control& control = m_controls[index];
    const DialogItem& item = control.item;
    ImGui::SetCursorPos(ImVec2(item.x * kUnitX, item.y * kUnitY));
    ImGui::PushID(static_cast<int>(index));
    bool changed = false;
    switch (item.kind) {
      case DialogItemKind::kLabel:
        ImGui::TextUnformatted(control.text.c_str());
        break;
      case DialogItemKind::kEdit:
        changed = DrawEdit(control);
        break;
      case DialogItemKind::kCheckBox:
        changed = ImGui::Checkbox(control.text.c_str(), &control.checked);
        break;
      case DialogItemKind::kRadio:
        changed = ImGui::RadioButton(control.text.c_str(), control.checked);
        if (changed) {
          ClearRadioRun(index);
          control.checked = true;
        }
        break;
      case DialogItemKind::kButton:
        changed =
            ImGui::Button(control.text.c_str(), ImVec2(item.width * kUnitX, item.height * kUnitY));
        break;
    }
    ImGui::PopID();
    return changed;
  }

  static bool DrawEdit(Control& control) {
    char buffer[kEditCapacity];
    std::snprintf(buffer, sizeof(buffer), "%s", control.text.c_str());
    ImGui::SetNextItemWidth(control.item.width * kUnitX);
    if (!ImGui::InputText("##edit", buffer, sizeof(buffer))) return false;
    control.text = buffer;
    return true;
  }

  ImGuiHost m_host;
  std::string m_caption;
  int m_width = 0;
  int m_height = 0;
  std::vector<Control> m_controls;
  DialogCommandHandler m_handler;
  void* m_user;
  bool m_inPump = false;
  bool m_destroyed = false;
};

class ImGuiDialogBackend : public DialogBackend {
 public:
  Dialog* CreateDialog(const DialogLayout& layout, DialogCommandHandler handler,
                       void* user) override {
    Keeper().Watch();
    auto* dialog = new ImGuiDialog(layout, handler, user);
    if (!dialog->Open()) {
      delete dialog;
      return nullptr;
    }
    return dialog;
  }
  void DestroyDialog(Dialog* dialog) override {
    if (dialog) static_cast<ImGuiDialog*>(dialog)->Destroy();
  }
  bool RunFileDialog(const FileDialogRequest& request, char* path, int32_t size) override {
    return RunFileBrowser(request, path, size);
  }
};

}  // namespace

DialogBackend& GetImGuiDialogBackend() {
  static ImGuiDialogBackend backend;
  return backend;
}

}  // namespace plat
