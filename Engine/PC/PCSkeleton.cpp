#include "Engine/PC/PCSkeleton.h"

#include "Engine/PC/PCApp.h"

#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCAnimation.h"

namespace {

constexpr const char* kOwnerConstruct = "Skeleton::Skeleton";
constexpr const char* kOwnerDestruct = "Skeleton::~Skeleton";
constexpr const char* kOwnerCheck = "Skeleton::CheckBlock";

void* AllocArray(size_t count, size_t size) {
  if (count == 0) return nullptr;
  return TrackedAlloc(kOwnerConstruct, count * size);
}

template <class T>
void FreeArray(T*& p) {
  if (p) TrackedFree(kOwnerDestruct, const_cast<void*>(static_cast<const void*>(p)));
  p = nullptr;
}

// The rotation matrix of q with (t.x, t.y, t.z, 1) as its fourth row.
void RotationWithTranslation(const Quaternion& q, float tx, float ty, float tz, Matrix& out) {
  QuaternionToMatrix(q, out);
  out.m[12] = tx;
  out.m[13] = ty;
  out.m[14] = tz;
  out.m[15] = 1.0f;
}

}  // namespace

// ---- Construction.

Skeleton::Skeleton() { m_valid = true; }

Skeleton::Skeleton(const FileImage& block) {
  if (!CheckBlock(block)) {
    DebugLog().Write("%s: skeleton block refused\n", block.Name());
    return;
  }
  m_block = block;
  block.Read(0, &m_header);
  const uint32_t count = m_header.boneCount;

  // Names stay offsets (they are resolved through the view); the word still tells readers of the
  // image that the block has been taken into use.
  if (m_header.relocated == 0) {
    if (uint32_t* word = m_block.GetMutable<uint32_t>(4)) *word = 1;
  }

  m_boneMatrices = static_cast<Matrix*>(AllocArray(count, sizeof(Matrix)));
  m_rotationSources = static_cast<const Quaternion**>(AllocArray(count, sizeof(Quaternion*)));
  m_overrideSlots = static_cast<int32_t*>(AllocArray(count, sizeof(int32_t)));
  m_overrideRotations = static_cast<Quaternion*>(AllocArray(count, sizeof(Quaternion)));
  m_bindRotations = static_cast<Quaternion*>(AllocArray(count, sizeof(Quaternion)));
  if (count && (!m_boneMatrices || !m_rotationSources || !m_overrideSlots ||
                !m_overrideRotations || !m_bindRotations)) {
    DebugLog().Write("%s: no memory for a skeleton of %u bones\n", block.Name(), count);
    Release();
    m_block = FileImage();
    return;
  }

  m_boneCount = count;
  m_overrideCapacity = count;
  const Quaternion* bind = m_block.GetArray<Quaternion>(m_header.bindRotationsOffset, count);
  for (uint32_t i = 0; i < count; ++i) {
    m_boneMatrices[i].Identity();
    m_rotationSources[i] = nullptr;
    m_overrideSlots[i] = -1;
    m_overrideRotations[i] = Quaternion(0.0f, 0.0f, 0.0f, 1.0f);
    m_bindRotations[i] = bind[i];
  }
  m_valid = true;
}

Skeleton::~Skeleton() {
  Release();
  if (m_nodeHandle != -1) GetApp().GetNodeFactory()->DeleteNode(m_nodeHandle);
}

void Skeleton::Release() {
  FreeArray(m_boneMatrices);
  FreeArray(m_rotationSources);
  FreeArray(m_overrideSlots);
  FreeArray(m_overrideRotations);
  FreeArray(m_bindRotations);
  m_boneCount = 0;
  m_overrideCapacity = 0;
}

bool Skeleton::CheckBlock(const FileImage& block) {
  SkeletonBlockHeader header;
  if (!block.Read(0, &header, "skeleton header")) return false;
  const uint32_t n = header.boneCount;
  // The first skeleton writes the header's relocated word: an array or name lying over the
  // header would change under the checks made here (a parent entry turning into a loop).
  const struct {
    uint32_t offset;
    const char* what;
  } arrays[] = {{header.parentsOffset, "bone parents"},
                {header.firstChildrenOffset, "bone first children"},
                {header.nextSiblingsOffset, "bone next siblings"},
                {header.inverseBindOffset, "inverse bind matrices"},
                {header.attachmentOffset, "attachment matrices"},
                {header.bindTranslationsOffset, "bind translations"},
                {header.bindRotationsOffset, "bind rotations"},
                {header.namesOffset, "bone names"}};
  for (const auto& a : arrays) {
    if (n != 0 && a.offset < sizeof(SkeletonBlockHeader)) {
      DebugLog().Write("%s: %s at %u overlap the skeleton header\n", block.Name(), a.what,
                       a.offset);
      return false;
    }
  }
  const uint32_t* parents = block.GetArray<uint32_t>(header.parentsOffset, n, "bone parents");
  const uint32_t* children =
      block.GetArray<uint32_t>(header.firstChildrenOffset, n, "bone first children");
  const uint32_t* siblings =
      block.GetArray<uint32_t>(header.nextSiblingsOffset, n, "bone next siblings");
  const uint32_t* names = block.GetArray<uint32_t>(header.namesOffset, n, "bone names");
  if (!parents || !children || !siblings || !names ||
      !block.GetArray<Matrix>(header.inverseBindOffset, n, "inverse bind matrices") ||
      !block.GetArray<Matrix>(header.attachmentOffset, n, "attachment matrices") ||
      !block.GetArray<Vector4>(header.bindTranslationsOffset, n, "bind translations") ||
      !block.GetArray<Quaternion>(header.bindRotationsOffset, n, "bind rotations"))
    return false;
  for (uint32_t i = 0; i < n; ++i) {
    if (!block.GetString(names[i], "bone name")) return false;
    if (names[i] < sizeof(SkeletonBlockHeader)) {
      DebugLog().Write("%s: bone name %u at %u overlaps the skeleton header\n", block.Name(), i,
                       names[i]);
      return false;
    }
  }

  // Matrices are combined in index order, so a parent must come before its child; the child and
  // sibling links (used by the pose walks) must agree with the parents. The root's own child
  // and sibling entries are never followed.
  for (uint32_t b = 1; b < n; ++b) {
    if (parents[b] >= b) {
      DebugLog().Write("%s: bone %u has parent %u, not an earlier bone\n", block.Name(), b,
                       parents[b]);
      return false;
    }
  }
  for (uint32_t b = 1; b < n; ++b) {
    const uint32_t c = children[b];
    if (c != 0 && (c >= n || parents[c] != b)) {
      DebugLog().Write("%s: bone %u has first child %u, whose parent it is not\n", block.Name(),
                       b, c);
      return false;
    }
    const uint32_t s = siblings[b];
    if (s != 0 && (s >= n || parents[s] != parents[b])) {
      DebugLog().Write("%s: bone %u has next sibling %u under another parent\n", block.Name(), b,
                       s);
      return false;
    }
  }
  if (n <= 1) return true;

  // The walk from bone 1 must reach every bone once: twice means a loop in the links, never
  // means a bone that no pose would bind.
  auto* scratch = static_cast<uint32_t*>(TrackedAlloc(kOwnerCheck, size_t(n) * 8));
  if (!scratch) {
    DebugLog().Write("%s: no memory to check a skeleton of %u bones\n", block.Name(), n);
    return false;
  }
  uint32_t* visited = scratch;
  uint32_t* stack = scratch + n;
  std::memset(visited, 0, size_t(n) * 4);
  uint32_t depth = 0, reached = 0;
  bool ok = true;
  stack[depth++] = 1;
  while (ok && depth > 0) {
    for (uint32_t b = stack[--depth]; b != 0; b = siblings[b]) {
      if (visited[b]) {
        DebugLog().Write("%s: bone %u is reached twice (the links loop)\n", block.Name(), b);
        ok = false;
        break;
      }
      visited[b] = 1;
      ++reached;
      // One push per bone visited, each visited once: the stack never holds more than n.
      if (children[b]) stack[depth++] = children[b];
    }
  }
  if (ok && reached != n - 1) {
    DebugLog().Write("%s: %u of %u bones are not reached from bone 1\n", block.Name(),
                     n - 1 - reached, n);
    ok = false;
  }
  TrackedFree(kOwnerCheck, scratch);
  return ok;
}

// ---- The block's arrays.

const uint32_t* Skeleton::Parents() const {
  return m_block.GetArray<uint32_t>(m_header.parentsOffset, m_boneCount);
}
const Matrix* Skeleton::InverseBinds() const {
  return m_block.GetArray<Matrix>(m_header.inverseBindOffset, m_boneCount);
}
const Matrix* Skeleton::Attachments() const {
  return m_block.GetArray<Matrix>(m_header.attachmentOffset, m_boneCount);
}
const Vector4* Skeleton::BindTranslations() const {
  return m_block.GetArray<Vector4>(m_header.bindTranslationsOffset, m_boneCount);
}

const char* Skeleton::GetBoneName(int32_t bone) const {
  if (!ValidBone(bone)) return nullptr;
  const uint32_t* names = m_block.GetArray<uint32_t>(m_header.namesOffset, m_boneCount);
  return names ? m_block.GetString(names[bone]) : nullptr;
}

// ---- Binding rotations.

void Skeleton::BindOne(uint32_t bone, const Quaternion* rotations, uint32_t count) {
  // A pose smaller than the skeleton drives the bones it has; the rest keep the bind pose
  // rather than reading past the pose's array.
  if (!rotations)
    m_rotationSources[bone] = nullptr;
  else
    m_rotationSources[bone] = bone < count ? rotations : m_bindRotations;
}

void Skeleton::BindAll(const Quaternion* rotations, uint32_t count) {
  // CheckBlock made sure the walk from bone 1 reaches every bone once, so binding the root and
  // then every other bone in index order binds exactly what the walk would.
  for (uint32_t i = 0; i < m_boneCount; ++i) BindOne(i, rotations, count);
}

void Skeleton::BindSubtree(uint32_t bone, const Quaternion* rotations, uint32_t count) {
  // Its descendants are the later bones whose parent chains reach it: the same bones as the
  // walk from its first child through the sibling links.
  BindOne(bone, rotations, count);
  for (uint32_t j = bone + 1; j < m_boneCount; ++j)
    if (IsBelow(j, bone)) BindOne(j, rotations, count);
}

bool Skeleton::IsBelow(uint32_t bone, uint32_t ancestor) const {
  const uint32_t* parents = Parents();
  // Parents precede children, so the chain falls below `ancestor` within a few steps. The block
  // lies in a file image that others can write to; a chain longer than the skeleton loops.
  uint32_t p = bone;
  for (uint32_t steps = 0; p > ancestor; ++steps) {
    if (steps == m_boneCount || p >= m_boneCount) {
      DebugLog().Write("%s: the parents of bone %u loop\n", m_block.Name(), bone);
      return false;
    }
    p = parents[p];
  }
  return p == ancestor && bone != ancestor;
}

void Skeleton::ResetToBindPose() { BindAll(m_bindRotations, m_boneCount); }

void Skeleton::SetPoseWithBindRoot(const AnimationPose* pose, int32_t bone) {
  if (const Vector4* translations = BindTranslations(); translations && ValidBone(bone)) {
    const Vector4& t = translations[bone];
    m_rootPosition = Vector4(t.x, t.y, t.z, 1.0f);
  }
  if (pose) BindPose(pose);
}

void Skeleton::BindPose(const AnimationPose* pose) {
  // An empty pose has no array at all: every bone keeps the bind pose then.
  if (const Quaternion* rotations = pose->GetRotations())
    BindAll(rotations, pose->GetBoneCount());
  else
    BindAll(m_bindRotations, m_boneCount);
}

void Skeleton::ApplyPose(const AnimationPose* pose) {
  if (!pose) return;
  BindPose(pose);
  SetRootPosition(*pose->GetRootKey());
}

void Skeleton::SetRootPosition(const Vector4& position) {
  m_rootPosition = Vector4(position.x, position.y, position.z, 1.0f);
}

void Skeleton::SetRotationSource(const Quaternion* rotations, uint32_t count) {
  BindAll(rotations, count);
}

void Skeleton::SetSubtreeRotationSource(int32_t bone, const Quaternion* rotations, uint32_t count) {
  if (bone <= 0 || !ValidBone(bone)) return;
  BindSubtree(uint32_t(bone), rotations, count);
}

void Skeleton::SetHasPose(bool hasPose) {
  if (hasPose)
    ResetToBindPose();
  else
    BindAll(nullptr, 0);
}

void Skeleton::CopyBindRotations(Quaternion* dest, uint32_t destCount) const {
  if (!dest) return;
  const uint32_t n = destCount < m_boneCount ? destCount : m_boneCount;
  for (uint32_t i = 0; i < n; ++i) dest[i] = m_bindRotations[i];
}

void Skeleton::SetOverrideRotation(int32_t bone, const Quaternion& rotation) {
  if (!ValidBone(bone)) return;
  m_overrideSlots[bone] = bone;
  m_overrideRotations[bone] = rotation;
}

void Skeleton::ClearOverrideRotation(int32_t bone) {
  if (ValidBone(bone)) m_overrideSlots[bone] = -1;
}

const Quaternion* Skeleton::GetBoneRotation(int32_t bone) const {
  if (!ValidBone(bone)) return nullptr;
  const int32_t slot = m_overrideSlots[bone];
  if (slot >= 0 && uint32_t(slot) < m_overrideCapacity) return &m_overrideRotations[slot];
  const Quaternion* source = m_rotationSources[bone];
  return source ? &source[bone] : nullptr;
}

bool Skeleton::HasPose() const { return GetBoneRotation(0) != nullptr; }

// ---- The hierarchy.

void Skeleton::LocalMatrix(uint32_t bone, const Quaternion& rotation, Matrix& out) const {
  const Vector4& t = BindTranslations()[bone];
  RotationWithTranslation(rotation, t.x, t.y, t.z, out);
}

void Skeleton::UpdateHierarchy() {
  const Quaternion* root = GetBoneRotation(0);
  if (!root) return;
  RotationWithTranslation(*root, m_rootPosition.x, m_rootPosition.y, m_rootPosition.z,
                          m_boneMatrices[0]);
  const uint32_t* parents = Parents();
  const Vector4* translations = BindTranslations();
  for (uint32_t i = 1; i < m_boneCount; ++i) {
    // A bone left without a source (a subtree bound on its own) holds its bind rotation.
    const Quaternion* q = GetBoneRotation(int32_t(i));
    const Vector4& t = translations[i];
    Matrix local;
    RotationWithTranslation(q ? *q : m_bindRotations[i], t.x, t.y, t.z, local);
    // The parent's index is lower, so its matrix is a world matrix already.
    Multiply(local, m_boneMatrices[parents[i]], m_boneMatrices[i]);
  }
  m_matricesAreWorld = true;
}

void Skeleton::PropagateFromBone(int32_t bone) {
  if (!ValidBone(bone)) return;
  const uint32_t* parents = Parents();
  const uint32_t start = uint32_t(bone);
  for (uint32_t j = start + 1; j < m_boneCount; ++j) {
    if (!IsBelow(j, start)) continue;
    const Quaternion* source = m_rotationSources[j];
    Matrix local;
    LocalMatrix(j, source ? source[j] : m_bindRotations[j], local);
    Multiply(local, m_boneMatrices[parents[j]], m_boneMatrices[j]);
  }
}

void Skeleton::SetBoneWorldMatrix(int32_t bone, const Matrix& matrix) {
  if (!ValidBone(bone)) return;
  m_boneMatrices[bone] = matrix;
  PropagateFromBone(bone);
}

void Skeleton::SetBoneLocalMatrix(const Matrix& matrix, int32_t bone) {
  if (!ValidBone(bone)) return;
  // The root has no parent: its local matrix is its world matrix.
  if (bone == 0)
    m_boneMatrices[0] = matrix;
  else
    Multiply(matrix, m_boneMatrices[Parents()[bone]], m_boneMatrices[bone]);
  PropagateFromBone(bone);
}

void Skeleton::BuildSkinMatrices() {
  if (!m_matricesAreWorld || m_boneCount == 0) return;
  const Matrix* inverseBinds = InverseBinds();
  for (uint32_t i = 0; i < m_boneCount; ++i)
    Multiply(inverseBinds[i], m_boneMatrices[i], m_boneMatrices[i]);
  m_matricesAreWorld = false;
}

// ---- Queries.

int32_t Skeleton::FindBone(const char* name) const {
  if (!name || m_boneCount == 0) return -1;
  const uint32_t* names = m_block.GetArray<uint32_t>(m_header.namesOffset, m_boneCount);
  if (!names) return -1;
  for (uint32_t i = 0; i < m_boneCount; ++i) {
    const char* boneName = m_block.GetString(names[i]);
    if (boneName && std::strcmp(boneName, name) == 0) return int32_t(i);
  }
  return -1;
}

int32_t Skeleton::GetParent(int32_t bone) const {
  // The root has no parent whatever its entry holds: a caller climbing to the root stops there
  // instead of circling on a root that names itself.
  if (!ValidBone(bone) || bone == 0) return -1;
  const uint32_t parent = Parents()[bone];
  return parent < m_boneCount ? int32_t(parent) : -1;
}

bool Skeleton::GetAttachmentMatrix(int32_t bone, Matrix& out) const {
  if (!ValidBone(bone)) {
    out.Identity();
    return false;
  }
  out = Attachments()[bone];
  return true;
}

bool Skeleton::GetBindLocalMatrix(int32_t bone, Matrix& out) const {
  if (!ValidBone(bone)) {
    out.Identity();
    return false;
  }
  LocalMatrix(uint32_t(bone), m_bindRotations[bone], out);
  return true;
}

bool Skeleton::GetBoneMatrix(int32_t bone, Matrix& out) const {
  if (!ValidBone(bone)) {
    out.Identity();
    return false;
  }
  Multiply(Attachments()[bone], m_boneMatrices[bone], out);
  return true;
}

bool Skeleton::GetBoneWorldMatrix(int32_t bone, const Matrix& world, Matrix& out) const {
  if (!ValidBone(bone)) {
    out = world;
    return false;
  }
  Matrix m;
  Multiply(Attachments()[bone], m_boneMatrices[bone], m);
  Multiply(m, world, out);
  return true;
}
