#include "Platform/System/System.h"

#include <new>

#include "Platform/System/SdlSystem.h"

namespace plat {

namespace {

System* g_installed = nullptr;

// Built on first use and never destroyed: the application object is a global whose destructor
// may still reach the system after other statics are gone.
alignas(SdlSystem) unsigned char g_sdlStorage[sizeof(SdlSystem)];

}  // namespace

System& GetSdlSystem() {
  static SdlSystem* const sdl = new (g_sdlStorage) SdlSystem();
  return *sdl;
}

System& GetSystem() { return g_installed ? *g_installed : GetSdlSystem(); }

void SetSystem(System* system) { g_installed = system; }

}  // namespace plat
