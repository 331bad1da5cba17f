#pragma once
// Skeleton blocks for ".geo" file images, for tests and for the demo data. The writer packs every
// field at its byte offset itself (it does not borrow the reader's record types), so that a
// layout mistake on either side shows as a failed round trip.
//
// A skeleton is described bone by bone (name, parent, bind pose); Tables() derives the block's
// arrays (first children and next siblings from the parents, inverse bind matrices from the bind
// pose). Tests that need a broken block edit the tables, or the bytes of the written block.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace skelwriter {

struct Bone {
  std::string name;
  // Index of the parent bone; bone 0 (the root) has -1. Parents come before their children.
  int32_t parent = -1;
  // Bind rotation as x, y, z, w.
  float rotation[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  // Offset from the parent in the parent's frame (for the root: its bind position).
  float translation[3] = {0.0f, 0.0f, 0.0f};
  // Row-major, row vectors; identity unless a test sets one.
  float attachment[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

struct SkeletonDesc {
  std::vector<Bone> bones;
  // Appends a bone and returns its index.
  int32_t Add(const std::string& name, int32_t parent, float tx, float ty, float tz);
};

// The block's arrays, entry for entry.
struct SkeletonTables {
  std::vector<uint32_t> parents;        // the root's entry is 0xFFFFFFFF
  std::vector<uint32_t> firstChildren;  // 0 = none
  std::vector<uint32_t> nextSiblings;   // 0 = none
  std::vector<float> inverseBinds;      // 16 per bone
  std::vector<float> attachments;       // 16 per bone
  std::vector<float> translations;      // 4 per bone (w 1)
  std::vector<float> rotations;         // 4 per bone
  std::vector<std::string> names;
  // The header's bone count; the arrays are written with their own sizes whatever it says.
  uint32_t boneCount = 0;
};

// Word indices of the block header, for tests that corrupt a written block.
enum HeaderWord : uint32_t {
  kRelocated = 1,
  kBoneCount = 2,
  kParents = 3,
  kFirstChildren = 4,
  kNextSiblings = 5,
  kInverseBinds = 6,
  kAttachments = 7,
  kTranslations = 8,
  kRotations = 9,
  kNames = 10,
};
constexpr size_t kHeaderBytes = 44;

// The world matrices of the bind pose (16 floats per bone, row vectors: a bone's world matrix is
// its local matrix times its parent's), computed here independently of the engine.
std::vector<float> BindWorldMatrices(const SkeletonDesc& desc);

SkeletonTables Tables(const SkeletonDesc& desc);

// The block's bytes; its offsets count from its first byte. Arrays are 16-byte aligned.
std::vector<uint8_t> WriteBlock(const SkeletonTables& tables);
inline std::vector<uint8_t> WriteBlock(const SkeletonDesc& desc) { return WriteBlock(Tables(desc)); }

// Appends the block to a ".geo" image being written (padding it to 16 bytes first) and returns
// the block's offset in the image: the value of the file's word 4.
uint32_t AppendSkeletonBlock(std::vector<uint8_t>& image, const SkeletonTables& tables);
inline uint32_t AppendSkeletonBlock(std::vector<uint8_t>& image, const SkeletonDesc& desc) {
  return AppendSkeletonBlock(image, Tables(desc));
}

// The header word `word` of a written block.
uint32_t ReadHeaderWord(const std::vector<uint8_t>& block, uint32_t word);
void WriteHeaderWord(std::vector<uint8_t>& block, uint32_t word, uint32_t value);

// A standing biped of 24 bones, about 1.8 units tall, up the z axis, facing -y, with the names
// the games look up ("Bip01 Pelvis", "Bip01 L Hand", "Bip01 R Hand", "Bip01 L Foot",
// "Bip01 R Foot", "Head_bone", ...). Every bind rotation is the identity, so a bone's bind
// position is the sum of the translations up its chain.
SkeletonDesc MakeBiped();

}  // namespace skelwriter
