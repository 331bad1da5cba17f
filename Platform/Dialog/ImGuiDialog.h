#pragma once
// The real dialog back end: dialogs and file dialogs drawn with Dear ImGui in windows of their
// own (Platform/Dialog/ImGuiHost.h).

#include "Platform/Dialog/Dialog.h"

namespace plat {

DialogBackend& GetImGuiDialogBackend();

}  // namespace plat
