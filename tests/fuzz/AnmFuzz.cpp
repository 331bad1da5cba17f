// ".anm" animations: loaded by the animation factory, then sampled across and beyond their time
// range into a biped's pose, as the sequencer does.

#include "Engine/BaseAnimation.h"
#include "Engine/PC/PCAnimFactory.h"
#include "Engine/PC/PCAnimation.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/AnmWriter.h"

std::vector<FuzzSeed> FuzzSeeds() {
  const skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  auto still = [](uint32_t, float, float* q) { q[0] = q[1] = q[2] = 0.0f, q[3] = 1.0f; };
  auto line = [](float t, float* p) { p[0] = t, p[1] = 0.0f, p[2] = 0.0f; };
  return {{"walk.anm", anmwriter::Write(anmwriter::MakeWalk(biped))},
          {"still.anm", anmwriter::Write(anmwriter::MakeSampled(3, 0.5f, 2, still, line))}};
}

bool FuzzSetUp() { return true; }

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.anm", data, size);
  static AnimFactory s_factory;
  static const bool s_ready = s_factory.Init() == 1;
  if (!s_ready) return;
  const int32_t id = s_factory.AddAnim("fuzz.anm");
  if (id < 0) return;
  if (Animation* anim = s_factory.FindAnim(id)) {
    AnimationPose pose(24);
    const float start = anim->GetStartTime(), length = anim->GetLength();
    for (float t : {-1.0f, 0.0f, 0.25f, 0.5f, 0.75f, 1.0f, 2.0f})
      anim->Sample(start + t * length, &pose);
    Vector4 root;
    anim->GetRootKeyAt(start + 0.5f * length, root);
    anim->GetStartRootPosition(root);
    anim->GetEndRootPosition(root);
  }
  s_factory.DeleteAnim(id);
}
