#include "tests/support/SkeletonWriter.h"

#include <cstring>
#include <type_traits>

#include "tests/support/ByteWriter.h"

namespace skelwriter {

namespace {

using bytewriter::Align;
using bytewriter::PutU32;

// Appends the values (16-byte aligned) and returns where they went.
template <class T>
uint32_t AppendArray(std::vector<uint8_t>& out, const std::vector<T>& values) {
  const size_t at = Align(out, 16);
  for (size_t i = 0; i < values.size(); ++i) {
    if constexpr (std::is_same_v<T, float>)
      bytewriter::PutF32(out, at + 4 * i, values[i]);
    else
      PutU32(out, at + 4 * i, values[i]);
  }
  return uint32_t(at);
}

// Row vectors: row i of the rotation matrix is where axis i goes.
void RotationMatrix(const float q[4], float m[16]) {
  const float x = q[0], y = q[1], z = q[2], w = q[3];
  m[0] = 1 - 2 * (y * y + z * z);
  m[1] = 2 * (x * y + w * z);
  m[2] = 2 * (x * z - w * y);
  m[3] = 0;
  m[4] = 2 * (x * y - w * z);
  m[5] = 1 - 2 * (x * x + z * z);
  m[6] = 2 * (y * z + w * x);
  m[7] = 0;
  m[8] = 2 * (x * z + w * y);
  m[9] = 2 * (y * z - w * x);
  m[10] = 1 - 2 * (x * x + y * y);
  m[11] = 0;
  m[12] = m[13] = m[14] = 0;
  m[15] = 1;
}

void MultiplyRows(const float a[16], const float b[16], float out[16]) {
  float r[16];
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += double(a[i * 4 + k]) * double(b[k * 4 + j]);
      r[i * 4 + j] = float(s);
    }
  std::memcpy(out, r, sizeof(r));
}

// The inverse of a rotation-and-translation matrix: the transposed rotation, and the
// translation taken back through it.
void RigidInverse(const float m[16], float out[16]) {
  float r[16] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i * 4 + j] = m[j * 4 + i];
  for (int j = 0; j < 3; ++j) {
    double s = 0;
    for (int k = 0; k < 3; ++k) s += double(m[12 + k]) * double(r[k * 4 + j]);
    r[12 + j] = float(-s);
  }
  r[15] = 1;
  std::memcpy(out, r, sizeof(r));
}

}  // namespace

int32_t SkeletonDesc::Add(const std::string& name, int32_t parent, float tx, float ty, float tz) {
  Bone b;
  b.name = name;
  b.parent = parent;
  b.translation[0] = tx;
  b.translation[1] = ty;
  b.translation[2] = tz;
  bones.push_back(b);
  return int32_t(bones.size() - 1);
}

std::vector<float> BindWorldMatrices(const SkeletonDesc& desc) {
  const size_t n = desc.bones.size();
  std::vector<float> world(n * 16);
  for (size_t i = 0; i < n; ++i) {
    const Bone& b = desc.bones[i];
    float local[16];
    RotationMatrix(b.rotation, local);
    local[12] = b.translation[0];
    local[13] = b.translation[1];
    local[14] = b.translation[2];
    if (b.parent >= 0 && size_t(b.parent) < i)
      MultiplyRows(local, &world[size_t(b.parent) * 16], &world[i * 16]);
    else
      std::memcpy(&world[i * 16], local, sizeof(local));
  }
  return world;
}

SkeletonTables Tables(const SkeletonDesc& desc) {
  const size_t n = desc.bones.size();
  SkeletonTables t;
  t.boneCount = uint32_t(n);
  t.parents.assign(n, 0);
  t.firstChildren.assign(n, 0);
  t.nextSiblings.assign(n, 0);
  const std::vector<float> world = BindWorldMatrices(desc);
  t.inverseBinds.resize(n * 16);
  for (size_t i = 0; i < n; ++i) {
    const Bone& b = desc.bones[i];
    t.parents[i] = b.parent < 0 ? 0xFFFFFFFFu : uint32_t(b.parent);
    RigidInverse(&world[i * 16], &t.inverseBinds[i * 16]);
    t.attachments.insert(t.attachments.end(), b.attachment, b.attachment + 16);
    t.translations.insert(t.translations.end(),
                          {b.translation[0], b.translation[1], b.translation[2], 1.0f});
    t.rotations.insert(t.rotations.end(), b.rotation, b.rotation + 4);
    t.names.push_back(b.name);
  }
  // Children in index order: each parent's first child, and each child's next sibling under the
  // same parent. The root's first child is bone 1.
  for (size_t i = 1; i < n; ++i) {
    const uint32_t p = t.parents[i];
    if (p >= n) continue;
    if (t.firstChildren[p] == 0) {
      t.firstChildren[p] = uint32_t(i);
      continue;
    }
    uint32_t c = t.firstChildren[p];
    while (t.nextSiblings[c] != 0) c = t.nextSiblings[c];
    t.nextSiblings[c] = uint32_t(i);
  }
  return t;
}

std::vector<uint8_t> WriteBlock(const SkeletonTables& t) {
  std::vector<uint8_t> out(kHeaderBytes, 0);
  uint32_t header[11] = {};
  header[kBoneCount] = t.boneCount;
  header[kParents] = AppendArray(out, t.parents);
  header[kFirstChildren] = AppendArray(out, t.firstChildren);
  header[kNextSiblings] = AppendArray(out, t.nextSiblings);
  header[kInverseBinds] = AppendArray(out, t.inverseBinds);
  header[kAttachments] = AppendArray(out, t.attachments);
  header[kTranslations] = AppendArray(out, t.translations);
  header[kRotations] = AppendArray(out, t.rotations);
  // The name table, then the names themselves.
  std::vector<uint32_t> nameOffsets(t.names.size(), 0);
  header[kNames] = AppendArray(out, nameOffsets);
  for (size_t i = 0; i < t.names.size(); ++i) {
    PutU32(out, header[kNames] + 4 * i, uint32_t(out.size()));
    out.insert(out.end(), t.names[i].begin(), t.names[i].end());
    out.push_back(0);
  }
  Align(out, 16);
  for (uint32_t w = 0; w < 11; ++w) PutU32(out, 4 * w, header[w]);
  return out;
}

uint32_t AppendSkeletonBlock(std::vector<uint8_t>& image, const SkeletonTables& tables) {
  Align(image, 16);
  const uint32_t at = uint32_t(image.size());
  const std::vector<uint8_t> block = WriteBlock(tables);
  image.insert(image.end(), block.begin(), block.end());
  return at;
}

uint32_t ReadHeaderWord(const std::vector<uint8_t>& block, uint32_t word) {
  return bytewriter::GetU32(block, 4 * word);
}

void WriteHeaderWord(std::vector<uint8_t>& block, uint32_t word, uint32_t value) {
  PutU32(block, 4 * word, value);
}

SkeletonDesc MakeBiped() {
  SkeletonDesc d;
  // Up is +z, the character faces -y, so its left is +x.
  const int32_t root = d.Add("Bip01", -1, 0.0f, 0.0f, 1.0f);
  const int32_t pelvis = d.Add("Bip01 Pelvis", root, 0.0f, 0.0f, 0.0f);
  const int32_t spine = d.Add("Bip01 Spine", pelvis, 0.0f, 0.0f, 0.1f);
  const int32_t spine1 = d.Add("Bip01 Spine1", spine, 0.0f, 0.0f, 0.2f);
  const int32_t neck = d.Add("Bip01 Neck", spine1, 0.0f, 0.0f, 0.3f);
  d.Add("Head_bone", neck, 0.0f, 0.0f, 0.1f);
  const char* sides[2] = {"L", "R"};
  for (int s = 0; s < 2; ++s) {
    const float x = s == 0 ? 1.0f : -1.0f;
    const std::string p = std::string("Bip01 ") + sides[s] + " ";
    const int32_t clavicle = d.Add(p + "Clavicle", neck, 0.08f * x, 0.0f, -0.05f);
    const int32_t upper = d.Add(p + "UpperArm", clavicle, 0.12f * x, 0.0f, 0.0f);
    const int32_t fore = d.Add(p + "Forearm", upper, 0.0f, 0.0f, -0.28f);
    d.Add(p + "Hand", fore, 0.0f, 0.0f, -0.25f);
  }
  for (int s = 0; s < 2; ++s) {
    const float x = s == 0 ? 1.0f : -1.0f;
    const std::string p = std::string("Bip01 ") + sides[s] + " ";
    const int32_t thigh = d.Add(p + "Thigh", pelvis, 0.1f * x, 0.0f, -0.05f);
    const int32_t calf = d.Add(p + "Calf", thigh, 0.0f, 0.0f, -0.45f);
    const int32_t foot = d.Add(p + "Foot", calf, 0.0f, 0.0f, -0.45f);
    d.Add(p + "Toe0", foot, 0.0f, -0.12f, -0.05f);
  }
  // Fingers last: a child may come long after its parent.
  for (int s = 0; s < 2; ++s) {
    const std::string hand = std::string("Bip01 ") + sides[s] + " Hand";
    for (size_t i = 0; i < d.bones.size(); ++i)
      if (d.bones[i].name == hand) {
        d.Add(std::string("Bip01 ") + sides[s] + " Finger0", int32_t(i), 0.0f, 0.0f, -0.08f);
        break;
      }
  }
  return d;
}

}  // namespace skelwriter
