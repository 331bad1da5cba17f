#pragma once
// The bone hierarchy of a skinned character, built on the skeleton block that a ".geo" file
// carries. Several skeletons may stand on one block (the node factory makes one per caller); the
// block is shared and read in place, while each skeleton owns its bone matrices and the record of
// where each bone takes its rotation from.
//
// Per frame the user binds rotations (a pose, or the bind pose), sets the root position and calls
// UpdateHierarchy, which leaves one world matrix per bone; BuildSkinMatrices then turns those
// into the skinning palette (inverse bind x world) that the geometry draws and the CPU skinner
// read. Between the two calls the bone matrices are world matrices, which is when the bone
// getters and setters are meaningful.
//
// The block's offsets are resolved through a bounds-checked view every time they are used; a
// block is accepted only when every array fits and its parent, first-child and next-sibling
// tables describe one tree (CheckBlock), so nothing later can walk out of it or loop.

#include <cstdint>

#include "Engine/FastMath.h"
#include "Engine/FileImage.h"

class AnimationPose;

// The skeleton block's header: little-endian 32-bit words, offsets from the block's first byte.
struct SkeletonBlockHeader {
  uint32_t unused;
  // 0 on disk; 1 once a skeleton has accepted the block (its name table checked).
  uint32_t relocated;
  uint32_t boneCount;
  uint32_t parentsOffset;            // u32 per bone
  uint32_t firstChildrenOffset;      // u32 per bone, 0 = no child
  uint32_t nextSiblingsOffset;       // u32 per bone, 0 = no further sibling
  uint32_t inverseBindOffset;        // Matrix per bone
  uint32_t attachmentOffset;         // Matrix per bone
  uint32_t bindTranslationsOffset;   // four floats per bone (offset from the parent)
  uint32_t bindRotationsOffset;      // Quaternion per bone
  uint32_t namesOffset;              // u32 per bone: offset of a NUL-terminated name
};
static_assert(sizeof(SkeletonBlockHeader) == 44, "skeleton block header layout");

// The skeleton's interface, in its slot order.
class BaseSkeleton {
 public:
  virtual ~BaseSkeleton() = default;
  // Every bone takes its rotation from the bind pose.
  virtual void ResetToBindPose() = 0;
  // Root position := the bind translation of `bone` (w 1); every bone takes its rotation from
  // the pose.
  virtual void SetPoseWithBindRoot(const AnimationPose* pose, int32_t bone) = 0;
  // Every bone takes its rotation from the pose; the root position from the pose's root key.
  virtual void ApplyPose(const AnimationPose* pose) = 0;
  // x, y, z as given, w 1.
  virtual void SetRootPosition(const Vector4& position) = 0;
  virtual void UpdateHierarchy() = 0;
  // Index of the first bone named exactly `name` (case-sensitive), or -1.
  virtual int32_t FindBone(const char* name) const = 0;
  // The bone's parent, or -1 for a bone that does not exist.
  virtual int32_t GetParent(int32_t bone) const = 0;
  // out := attachment x current matrix. A bone that does not exist (FindBone's -1, say) gives
  // the identity and false.
  virtual bool GetBoneMatrix(int32_t bone, Matrix& out) const = 0;
  // out := attachment x current matrix x world (the character's world matrix): the translation
  // is the bone's position in the world. A bone that does not exist gives `world` itself (the
  // character's origin) and false.
  virtual bool GetBoneWorldMatrix(int32_t bone, const Matrix& world, Matrix& out) const = 0;
};

class Skeleton : public BaseSkeleton {
 public:
  // A skeleton without a block and without bones. Tests of the geometry draws give it a palette
  // of their own with SetSkinMatrices.
  Skeleton();
  // A skeleton on `block` (a view from the block's first byte to the end of its file image; a
  // writable view, since the first skeleton marks the block relocated). A block that CheckBlock
  // refuses gives a skeleton without bones (IsValid false); the node factory checks first.
  explicit Skeleton(const FileImage& block);
  ~Skeleton() override;
  Skeleton(const Skeleton&) = delete;
  Skeleton& operator=(const Skeleton&) = delete;

  // Whether `block` can carry a skeleton: the header and every array fit, no array or name lies
  // over the header (whose relocated word the first skeleton writes), every name ends inside the
  // image, parents precede their children, and the child and sibling links reach every bone
  // from bone 1 exactly once with links that agree with the parents. Logs why not.
  static bool CheckBlock(const FileImage& block);

  bool IsValid() const { return m_valid; }
  // The geometry file whose skeleton block this skeleton reads: the skeleton holds one reference
  // to it (taken by NodeFactory::MakeSkeleton) and gives it back when it is freed, so the block
  // cannot be freed under it.
  void HoldGeometry(int32_t nodeHandle) { m_nodeHandle = nodeHandle; }
  uint32_t GetBoneCount() const { return m_palette ? m_paletteCount : m_boneCount; }
  // The bone's name in the block, or null.
  const char* GetBoneName(int32_t bone) const;

  // BaseSkeleton.
  void ResetToBindPose() override;
  void SetPoseWithBindRoot(const AnimationPose* pose, int32_t bone) override;
  void ApplyPose(const AnimationPose* pose) override;
  void SetRootPosition(const Vector4& position) override;
  void UpdateHierarchy() override;
  int32_t FindBone(const char* name) const override;
  int32_t GetParent(int32_t bone) const override;
  bool GetBoneMatrix(int32_t bone, Matrix& out) const override;
  bool GetBoneWorldMatrix(int32_t bone, const Matrix& world, Matrix& out) const override;

  // The rotation the bone uses: its override when it has one, else entry `bone` of its rotation
  // source; null when neither is bound (or the bone does not exist).
  const Quaternion* GetBoneRotation(int32_t bone) const;
  // True when bone 0 has a rotation, so that UpdateHierarchy has something to build from.
  bool HasPose() const;

  // Every bone takes entry (bone) of `rotations`, an array of `count` quaternions indexed by
  // bone number; bones at `count` or beyond take their bind rotation.
  void SetRotationSource(const Quaternion* rotations, uint32_t count);
  // The same for `bone` and every bone below it (not its siblings); bone 0 changes nothing.
  void SetSubtreeRotationSource(int32_t bone, const Quaternion* rotations, uint32_t count);
  // Copies the bind rotations into `dest` (at most `destCount` of them): a pose starts from
  // the bind pose that way.
  void CopyBindRotations(Quaternion* dest, uint32_t destCount) const;

  // Overrides replace a bone's pose rotation until cleared. Nothing here sets them on its own.
  void SetOverrideRotation(int32_t bone, const Quaternion& rotation);
  void ClearOverrideRotation(int32_t bone);

  // false (and identity) for a bone that does not exist.
  bool GetAttachmentMatrix(int32_t bone, Matrix& out) const;
  // The bind rotation as a matrix with the bind translation in the fourth row.
  bool GetBindLocalMatrix(int32_t bone, Matrix& out) const;
  // The bone's matrix := `matrix` (a world matrix); the bones below it follow.
  void SetBoneWorldMatrix(int32_t bone, const Matrix& matrix);
  // The bone's matrix := `matrix` x the parent's current matrix; the bones below it follow.
  void SetBoneLocalMatrix(const Matrix& matrix, int32_t bone);
  // Recomputes every bone below `bone` from its rotation source, bind translation and parent.
  void PropagateFromBone(int32_t bone);

  // Each bone's matrix := inverse bind x world. Runs once per hierarchy update: a second call
  // without a fresh UpdateHierarchy in between (a mesh drawn in both passes, a skeleton with
  // nothing bound) leaves the palette as it is instead of applying the inverse bind again, and
  // a skeleton never updated keeps its identity palette.
  void BuildSkinMatrices();
  // The palette (after BuildSkinMatrices), one matrix per bone; null when there are no bones.
  const Matrix* GetSkinMatrices() const { return m_palette ? m_palette : m_boneMatrices; }
  // The current bone matrices (local, world or skinning, by the stage of the frame).
  const Matrix* GetBoneMatrices() const { return m_boneMatrices; }
  const Vector4& GetRootPosition() const { return m_rootPosition; }

  // Test hooks of the geometry draws: a palette of the caller's (`count` matrices that must
  // outlive the skeleton's use) stands in for the bone matrices, and SetHasPose binds the bind
  // pose (true) or unbinds every rotation (false).
  void SetSkinMatrices(Matrix* matrices, uint32_t count) {
    m_palette = matrices;
    m_paletteCount = matrices ? count : 0;
  }
  void SetHasPose(bool hasPose);

 private:
  bool ValidBone(int32_t bone) const { return bone >= 0 && uint32_t(bone) < m_boneCount; }
  // Every bone's rotation source (a checked block's walk from bone 1 reaches every bone).
  void BindAll(const Quaternion* rotations, uint32_t count);
  void BindPose(const AnimationPose* pose);
  void BindOne(uint32_t bone, const Quaternion* rotations, uint32_t count);
  // The bone and every bone below it.
  void BindSubtree(uint32_t bone, const Quaternion* rotations, uint32_t count);
  // Rotation matrix of `rotation` with the bone's bind translation in the fourth row.
  void LocalMatrix(uint32_t bone, const Quaternion& rotation, Matrix& out) const;
  bool IsBelow(uint32_t bone, uint32_t ancestor) const;
  void Release();

  // The block's arrays, resolved on use (their fit was checked once, at construction).
  const uint32_t* Parents() const;
  const Matrix* InverseBinds() const;
  const Matrix* Attachments() const;
  const Vector4* BindTranslations() const;

  uint32_t m_boneCount = 0;
  uint32_t m_overrideCapacity = 0;
  FileImage m_block;
  SkeletonBlockHeader m_header = {};
  Matrix* m_boneMatrices = nullptr;
  const Quaternion** m_rotationSources = nullptr;
  int32_t* m_overrideSlots = nullptr;
  Quaternion* m_overrideRotations = nullptr;
  // A copy of the block's bind rotations: the rotation source of the bind pose, and what a bone
  // without a source of its own falls back to.
  Quaternion* m_bindRotations = nullptr;
  Vector4 m_rootPosition{0.0f, 0.0f, 0.0f, 1.0f};
  // True while the bone matrices hold world matrices (the palette is not built yet). The
  // identities of a new skeleton count as a palette: a skeleton that was never posed draws its
  // meshes as modelled, on either skinning path.
  bool m_matricesAreWorld = false;
  bool m_valid = false;
  int32_t m_nodeHandle = -1;
  Matrix* m_palette = nullptr;
  uint32_t m_paletteCount = 0;
};
