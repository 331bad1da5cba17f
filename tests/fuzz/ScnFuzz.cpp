// ".scn" scenes: loaded by the scene factory in a folder that holds the demo scene's geometry,
// particle template and textures, so that names the file gives are found, then its game nodes
// read back.

#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCScene.h"
#include "Engine/PC/PCSceneFactory.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/ScnWriter.h"

std::vector<FuzzSeed> FuzzSeeds() {
  scnwriter::SceneDesc empty;
  return {{"demo.scn", scnwriter::Write(scnwriter::DemoScene())},
          {"empty.scn", scnwriter::Write(empty)}};
}

bool FuzzSetUp() {
  if (!scnwriter::SaveDemoScene("scene") || !StartHeadlessApp()) return false;
  GetApp().SetDataDir("scene\\");
  return true;
}

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("scene/fuzz.scn", data, size);
  SceneFactory* scenes = GetApp().GetSceneFactory();
  const int32_t id = scenes->CreateScene("fuzz.scn");
  if (id == -1) return;
  if (Scene* scene = scenes->FindScene(id)) {
    for (int32_t i = 0; i < scene->GetNumGameNodes(); ++i) scene->GetGameNode(i);
    scene->AdvanceTime(0);
  }
  scenes->DeleteScene(id);
}
