// The character viewer, run instead of the game: the game's own application with the viewer
// started as soon as it is up, as the front end's start callback would.

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Frontend/PDFE.h"
#include "Game/KavelApp.h"

namespace {

class ViewerApp : public KavelApp {
 public:
  int32_t Init() override {
    if (!KavelApp::Init()) return 0;
    PDFE_StartAnimationViewer();
    return 1;
  }
};

BaseGameApp* CreateViewerApp() { return TrackedNew<ViewerApp>("App::InitApp"); }

}  // namespace

int main() {
  GetApp().SetGameFactory(&CreateViewerApp);
  return WinMain();
}
