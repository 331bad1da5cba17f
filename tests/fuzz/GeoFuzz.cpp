// ".geo" geometry files: loaded by the node factory (meshes, textures named by the file, the
// skeleton block), then a skeleton made on the block, posed, searched and used to skin every
// mesh on the processor.

#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCNodeContainer.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCSkeleton.h"
#include "tests/fuzz/FuzzTarget.h"
#include "tests/support/GeoWriter.h"

std::vector<FuzzSeed> FuzzSeeds() {
  const float lo[3] = {-0.5f, -0.5f, -0.5f}, hi[3] = {0.5f, 0.5f, 0.5f};
  geowriter::GeoDesc boxes;
  boxes.nodes.resize(2);
  boxes.nodes[0].mesh = geowriter::BoxMesh(lo, hi, 0xFF808080u);
  boxes.nodes[0].textures = {"crate.dds"};
  boxes.nodes[1].mesh = geowriter::BoxMesh(lo, hi, 0x80FFFFFFu, 1, true);
  boxes.nodes[1].textures = {"crate.dds", "glass.dds"};
  geowriter::GeoDesc biped;
  biped.nodes.resize(1);
  biped.nodes[0].mesh = geowriter::BoxMesh(lo, hi, 0xFF808080u);
  // Each vertex hangs from one bone, in turn (bone indices are three times the bone's number).
  geowriter::Mesh& skinned = biped.nodes[0].mesh;
  for (size_t i = 0; i < skinned.vertices.size(); ++i)
    skinned.skinWeights.push_back(GeoSkinWeight{{uint8_t(3 * (i % 24)), 0, 0, 0}, {1, 0, 0, 0}});
  biped.SetSkeleton(skelwriter::MakeBiped());
  return {{"boxes.geo", geowriter::WriteGeo(boxes)}, {"biped.geo", geowriter::WriteGeo(biped)}};
}

bool FuzzSetUp() { return StartHeadlessApp(); }

void FuzzOne(const uint8_t* data, size_t size) {
  WriteInputFile("fuzz.geo", data, size);
  NodeFactory* nodes = GetApp().GetNodeFactory();
  const int32_t handle = nodes->Add("fuzz.geo");
  if (handle == -1) return;
  if (Skeleton* skeleton = nodes->MakeSkeleton(handle)) {
    skeleton->ResetToBindPose();
    skeleton->UpdateHierarchy();
    skeleton->FindBone("Bip01 L Hand");
    Matrix m;
    for (int32_t bone = 0; bone < int32_t(skeleton->GetBoneCount()); ++bone)
      skeleton->GetBoneMatrix(bone, m);
    MeshRecord entry;
    entry.skeleton = skeleton;
    const NodeContainer* container = nodes->GetContainer(handle);
    for (uint32_t i = 0; container && i < container->GetNodeCount(); ++i)
      if (GeoMesh* mesh = container->GetMesh(i)) mesh->geoObject->SkinSoftware(entry);
    TrackedDelete("FuzzOne", skeleton);
  }
  nodes->DeleteNode(handle);
}
