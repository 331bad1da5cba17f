#include "Engine/PC/PCAnimation.h"

#include <cmath>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"

namespace {

// Bone indices of keys are 16-bit: no pose can need more entries than they reach.
constexpr uint32_t kMaxTracks = 32768;

Quaternion Dequantise(const int16_t q[4]) {
  return Quaternion(float(q[0]) * kAnimRotationScale, float(q[1]) * kAnimRotationScale,
                    float(q[2]) * kAnimRotationScale, float(q[3]) * kAnimRotationScale);
}

}  // namespace

// ---- AnimationPose.

AnimationPose::AnimationPose(uint32_t boneCount) {
  if (boneCount == 0 || boneCount > kMaxTracks) return;
  m_rotations = static_cast<Quaternion*>(
      TrackedAlloc("AnimationPose::AnimationPose", size_t(boneCount) * sizeof(Quaternion)));
  if (!m_rotations) return;
  m_boneCount = boneCount;
  for (uint32_t i = 0; i < boneCount; ++i) m_rotations[i] = Quaternion(0.0f, 0.0f, 0.0f, 0.0f);
}

AnimationPose::~AnimationPose() {
  if (m_rotations) TrackedFree("AnimationPose::~AnimationPose", m_rotations);
  m_rotations = nullptr;
  m_boneCount = 0;
}

void AnimationPose::Blend(float weight, const AnimationPose* from, const AnimationPose* to) {
  if (!from || !to) return;
  // Only the bones all three poses have: a smaller pose on either side must not be read past.
  uint32_t n = m_boneCount;
  if (from->m_boneCount < n) n = from->m_boneCount;
  if (to->m_boneCount < n) n = to->m_boneCount;
  for (uint32_t i = 0; i < n; ++i)
    QuaternionSlerp(from->m_rotations[i], to->m_rotations[i], weight, m_rotations[i]);
  const Vector4 a = from->m_rootKey;
  const Vector4 b = to->m_rootKey;
  m_rootKey = Vector4(a.x + weight * (b.x - a.x), a.y + weight * (b.y - a.y),
                      a.z + weight * (b.z - a.z), 1.0f);
}

// ---- Animation: construction and checks.

Animation::Animation(void* image, size_t size, const char* name) {
  m_imageBase = image;
  m_image = FileImage(image, size, name ? name : "(animation)");
  m_valid = image && Check();
  if (!m_valid) DebugLog().Write("%s: animation refused\n", m_image.Name());
}

Animation::~Animation() {
  m_imageBase = nullptr;
  m_image = FileImage();
  m_tracks = FileImage();
  m_valid = false;
}

bool Animation::Check() {
  AnmFileHeader header;
  if (!m_image.Read(0, &header, "anm header")) return false;
  const AnmTrackBlock* track = m_image.Get<AnmTrackBlock>(header.trackBlockOffset, "track block");
  if (!track) return false;
  m_tracks = m_image.SubToEnd(header.trackBlockOffset);

  const auto* rootHeader =
      m_image.Get<AnmRootKeyTableHeader>(header.rootKeyOffset, "root key table");
  if (!rootHeader) return false;
  const uint32_t rootCount = rootHeader->keyCount;
  const AnmRootKey* root = m_image.GetArray<AnmRootKey>(
      uint64_t(header.rootKeyOffset) + sizeof(AnmRootKeyTableHeader), rootCount, "root keys");
  if (!root) return false;
  m_rootKeyOffset = header.rootKeyOffset;

  if (track->trackCount > kMaxTracks) {
    DebugLog().Write("%s: track count %u is more than keys can address\n", m_image.Name(),
                     track->trackCount);
    return false;
  }
  if (!std::isfinite(track->startTime) || !std::isfinite(track->endTime)) {
    DebugLog().Write("%s: start or end time is not a number\n", m_image.Name());
    return false;
  }

  const uint32_t segments = track->segmentCount;
  if (!m_tracks.GetArray<float>(track->segmentEndTimesOffset, segments, "segment end times"))
    return false;
  const uint32_t* table =
      m_tracks.GetArray<uint32_t>(track->segmentTableOffset, segments, "segment table");
  if (!table) return false;
  for (uint32_t s = 0; s < segments; ++s) {
    const uint32_t* listCount = m_tracks.Get<uint32_t>(table[s], "segment");
    if (!listCount) return false;
    const uint32_t* lists =
        m_tracks.GetArray<uint32_t>(uint64_t(table[s]) + 4, *listCount, "segment key lists");
    if (!lists) return false;
    for (uint32_t l = 0; l < *listCount; ++l) {
      const auto* list = m_tracks.Get<AnmKeyListHeader>(lists[l], "key list");
      if (!list) return false;
      if (!m_tracks.GetArray<AnmKey>(uint64_t(lists[l]) + sizeof(AnmKeyListHeader),
                                     list->keyCount, "keys"))
        return false;
    }
  }

  // The range covers the whole root path.
  m_startTime = track->startTime;
  m_endTime = track->endTime;
  if (rootCount > 0) {
    if (m_startTime > root[0].time) m_startTime = root[0].time;
    if (m_endTime < root[rootCount - 1].time) m_endTime = root[rootCount - 1].time;
  }
  if (!(m_endTime >= m_startTime)) {
    // A negative length would make every player of the animation count time backwards.
    DebugLog().Write("%s: end time %f before start time %f\n", m_image.Name(), m_endTime,
                     m_startTime);
    return false;
  }

  // The image keeps its offsets; the words still tell that it has been taken into use.
  if (auto* word = m_image.GetMutable<uint32_t>(0)) *word = 1;
  if (auto* word = m_tracks.GetMutable<uint32_t>(4)) *word = 1;
  return true;
}

const AnmTrackBlock* Animation::TrackBlock() const {
  return m_valid ? m_tracks.Get<AnmTrackBlock>(0) : nullptr;
}

const AnmRootKey* Animation::RootKeys(uint32_t* count) const {
  *count = 0;
  if (!m_valid) return nullptr;
  const auto* header = m_image.Get<AnmRootKeyTableHeader>(m_rootKeyOffset);
  if (!header) return nullptr;
  const AnmRootKey* keys = m_image.GetArray<AnmRootKey>(
      uint64_t(m_rootKeyOffset) + sizeof(AnmRootKeyTableHeader), header->keyCount);
  if (keys) *count = header->keyCount;
  return keys;
}

// ---- Queries.

uint32_t Animation::GetNumTracks() const {
  const AnmTrackBlock* track = TrackBlock();
  return track ? track->trackCount : 0;
}

float Animation::GetTrackStartTime() const {
  const AnmTrackBlock* track = TrackBlock();
  return track ? track->startTime : 0.0f;
}

float Animation::GetTrackEndTime() const {
  const AnmTrackBlock* track = TrackBlock();
  return track ? track->endTime : 0.0f;
}

uint32_t Animation::GetSegmentCount() const {
  const AnmTrackBlock* track = TrackBlock();
  return track ? track->segmentCount : 0;
}

uint32_t Animation::GetRootKeyCount() const {
  uint32_t n;
  RootKeys(&n);
  return n;
}

float Animation::GetFirstRootKeyTime() const {
  uint32_t n;
  const AnmRootKey* keys = RootKeys(&n);
  return n ? keys[0].time : 0.0f;
}

float Animation::GetLastRootKeyTime() const {
  uint32_t n;
  const AnmRootKey* keys = RootKeys(&n);
  return n ? keys[n - 1].time : 0.0f;
}

void Animation::GetFirstRootKey(Vector4& out) const {
  uint32_t n;
  const AnmRootKey* keys = RootKeys(&n);
  if (n == 0) {
    out.SetZero();
    return;
  }
  out.Set(keys[0].x, keys[0].y, keys[0].z, keys[0].time);
}

void Animation::GetLastRootKey(Vector4& out) const {
  uint32_t n;
  const AnmRootKey* keys = RootKeys(&n);
  if (n == 0) {
    out.SetZero();
    return;
  }
  const AnmRootKey& k = keys[n - 1];
  out.Set(k.x, k.y, k.z, k.time);
}

void Animation::GetStartRootPosition(Vector4& out) const {
  GetFirstRootKey(out);
  out.w = 1.0f;
}

void Animation::GetEndRootPosition(Vector4& out) const {
  GetLastRootKey(out);
  out.w = 1.0f;
}

// ---- Sampling.

void Animation::GetRootKeyAt(float time, Vector4& out) const {
  uint32_t n;
  const AnmRootKey* keys = RootKeys(&n);
  if (n <= 1) DebugLog().Write("Animation Dosn't have enough keyframes, ask Dace to re-export\n");
  if (n == 0) {
    // The format always carries keys; without any the root stays at the origin.
    out.Set(0.0f, 0.0f, 0.0f, 1.0f);
    return;
  }
  if (time <= keys[0].time) {
    out.Set(keys[0].x, keys[0].y, keys[0].z, 1.0f);
    return;
  }
  const AnmRootKey& last = keys[n - 1];
  if (time >= last.time) {
    out.Set(last.x, last.y, last.z, 1.0f);
    return;
  }
  for (uint32_t i = 1; i < n; ++i) {
    if (keys[i].time < time) continue;
    // keys[i - 1].time < time <= keys[i].time, so the span is never empty.
    const AnmRootKey& a = keys[i - 1];
    const AnmRootKey& b = keys[i];
    const float f = (time - a.time) / (b.time - a.time);
    const float g = 1.0f - f;
    out.Set(a.x * g + b.x * f, a.y * g + b.y * f, a.z * g + b.z * f, 1.0f);
    return;
  }
  // Only a time that compares with nothing (not a number) gets here.
  out.Set(last.x, last.y, last.z, 1.0f);
}

void Animation::Sample(float time, AnimationPose* pose) {
  if (!m_valid) return;
  Vector4 root;
  GetRootKeyAt(time, root);
  m_currentRootKey = root;
  if (!pose) return;
  pose->SetRootKey(root);

  const AnmTrackBlock* track = TrackBlock();
  const uint32_t segments = track->segmentCount;
  const float* ends = m_tracks.GetArray<float>(track->segmentEndTimesOffset, segments);
  const uint32_t* table = m_tracks.GetArray<uint32_t>(track->segmentTableOffset, segments);
  if (!ends || !table) return;
  uint32_t s = 0;
  while (s < segments && !(ends[s] >= time)) ++s;
  if (s == segments) return;

  const float ticks = time * kAnimTicksPerSecond;
  const uint32_t* listCount = m_tracks.Get<uint32_t>(table[s]);
  if (!listCount) return;
  const uint32_t* lists = m_tracks.GetArray<uint32_t>(uint64_t(table[s]) + 4, *listCount);
  if (!lists) return;
  const uint32_t poseBones = pose->GetBoneCount();
  Quaternion* rotations = pose->GetRotations();
  for (uint32_t l = 0; l < *listCount; ++l) {
    const auto* list = m_tracks.Get<AnmKeyListHeader>(lists[l]);
    if (!list) continue;
    const AnmKey* keys = m_tracks.GetArray<AnmKey>(
        uint64_t(lists[l]) + sizeof(AnmKeyListHeader), list->keyCount);
    if (!keys) continue;
    for (uint32_t k = 0; k < list->keyCount; ++k) {
      const AnmKey& key = keys[k];
      if (key.bone < 0 || uint32_t(key.bone) >= poseBones) continue;
      const float into = ticks + float(key.tickOffset);
      // A key of no duration is a step: its end rotation from its start tick on. (Dividing by
      // 0 would hand the slerp an infinity or a NaN.) Otherwise f is not clamped: a key whose
      // window does not hold the time extrapolates.
      float f;
      if (key.duration > 0)
        f = into / float(key.duration);
      else
        f = into >= 0.0f ? 1.0f : 0.0f;
      QuaternionSlerp(Dequantise(key.startRotation), Dequantise(key.endRotation), f,
                      rotations[key.bone]);
    }
  }
}
