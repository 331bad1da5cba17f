// The libFuzzer driver shared by every reader's target (see FuzzTarget.h).

#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Engine/LogFile.h"
#include "Engine/PC/PCApp.h"
#include "Platform/Input/ScriptedInput.h"
#include "Platform/System/ScriptedSystem.h"
#include "tests/fuzz/FuzzTarget.h"

namespace {

// The first folder named among the arguments (libFuzzer's corpus), when it holds nothing yet.
const char* EmptyCorpusFolder(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;
    std::error_code error;
    if (std::filesystem::is_directory(argv[i], error) &&
        std::filesystem::is_empty(argv[i], error))
      return argv[i];
  }
  return nullptr;
}

bool WriteSeeds(const std::filesystem::path& folder) {
  for (const FuzzSeed& seed : FuzzSeeds()) {
    FILE* fp = std::fopen((folder / seed.name).c_str(), "wb");
    if (!fp) return false;
    const size_t size = seed.bytes.size();
    const bool written = std::fwrite(seed.bytes.data(), 1, size, fp) == size;
    if (std::fclose(fp) != 0 || !written) return false;
  }
  return true;
}

}  // namespace

bool StartHeadlessApp() {
  // The single-instance lock lives in the user's runtime folder: a private one inside the
  // working folder keeps targets that run side by side from shutting each other out.
  const std::string runtime = (std::filesystem::current_path() / "runtime").string();
  mkdir(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  // Never destroyed: the App goes on using them until the process ends.
  static auto* s_system = new plat::ScriptedSystem;
  static auto* s_input = new plat::ScriptedInput;
  s_system->SetMessageBoxPassThrough(false);
  s_system->Install();
  s_input->Install();
  return GetApp().InitHardware() && GetApp().InitApp() != 0;
}

void WriteInputFile(const char* path, const uint8_t* data, size_t size) {
  FILE* fp = std::fopen(path, "wb");
  if (!fp) std::abort();
  if (size) std::fwrite(data, 1, size, fp);
  std::fclose(fp);
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  if (const char* folder = EmptyCorpusFolder(*argc, *argv)) {
    if (!WriteSeeds(folder)) {
      std::fprintf(stderr, "fuzz: cannot write the seeds into %s\n", folder);
      std::exit(1);
    }
  }
  if (!FuzzSetUp()) {
    std::fprintf(stderr, "fuzz: set-up failed\n");
    std::exit(1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Every refused input adds a line to "Debug.log"; starting it afresh now and then keeps a long
  // run from filling the disk.
  static uint32_t s_runs = 0;
  if (++s_runs % 4096 == 0) DebugLog().SetFirstWrite();
  FuzzOne(data, size);
  return 0;
}
