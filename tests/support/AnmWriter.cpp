#include "tests/support/AnmWriter.h"

#include <cmath>

#include "tests/support/ByteWriter.h"

namespace anmwriter {

namespace {

using bytewriter::PutF32;
using bytewriter::PutU32;
void Put16(std::vector<uint8_t>& out, size_t at, int16_t v) {
  bytewriter::PutU16(out, at, uint16_t(v));
}
// Grows the image by `bytes` zeros at a 16-byte boundary and returns where they start.
size_t Reserve(std::vector<uint8_t>& out, size_t bytes) {
  const size_t at = bytewriter::Align(out, 16);
  out.resize(at + bytes, 0);
  return at;
}

constexpr float kTwoPi = 6.28318531f;

bool AllFinite(const AnimDesc& desc) {
  bool finite = std::isfinite(desc.startTime) && std::isfinite(desc.endTime);
  for (const Segment& segment : desc.segments) {
    finite = finite && std::isfinite(segment.endTime);
    for (const KeyList& list : segment.lists)
      for (const Key& key : list.keys) finite = finite && key.finite;
  }
  for (const RootKey& r : desc.rootKeys)
    finite = finite && std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z) &&
             std::isfinite(r.time);
  return finite;
}

}  // namespace

int16_t Quantise(float v) {
  // A NaN or an infinity has no 16-bit value (converting it is undefined).
  if (!std::isfinite(v)) return 0;
  const double q = std::round(double(v) * 32767.0);
  if (q > 32767.0) return 32767;
  if (q < -32768.0) return -32768;
  return int16_t(q);
}

Key MakeKey(int16_t bone, const float from[4], const float to[4], int32_t startTick,
            int32_t durationTicks) {
  Key k;
  for (int i = 0; i < 4; ++i) {
    k.start[i] = Quantise(from[i]);
    k.end[i] = Quantise(to[i]);
    k.finite = k.finite && std::isfinite(from[i]) && std::isfinite(to[i]);
  }
  k.tickOffset = int16_t(-startTick);
  k.duration = int16_t(durationTicks);
  k.bone = bone;
  return k;
}

std::vector<uint8_t> Write(const AnimDesc& desc, Layout* layoutOut) {
  if (!AllFinite(desc)) return {};
  Layout layout;
  std::vector<uint8_t> out(16, 0);
  const size_t segments = desc.segments.size();

  layout.trackBlock = uint32_t(Reserve(out, 32));
  const size_t tb = layout.trackBlock;
  layout.segmentEndTimes = uint32_t(Reserve(out, segments * 4));
  for (size_t s = 0; s < segments; ++s)
    PutF32(out, layout.segmentEndTimes + 4 * s, desc.segments[s].endTime);
  layout.segmentTable = uint32_t(Reserve(out, segments * 4));

  for (size_t s = 0; s < segments; ++s) {
    const Segment& seg = desc.segments[s];
    const size_t at = Reserve(out, 4 + 4 * seg.lists.size());
    layout.segments.push_back(uint32_t(at));
    PutU32(out, layout.segmentTable + 4 * s, uint32_t(at - tb));
    PutU32(out, at, uint32_t(seg.lists.size()));
    std::vector<uint32_t> lists;
    for (size_t l = 0; l < seg.lists.size(); ++l) {
      const KeyList& list = seg.lists[l];
      const size_t la = Reserve(out, 16 + 24 * list.keys.size());
      lists.push_back(uint32_t(la));
      PutU32(out, at + 4 + 4 * l, uint32_t(la - tb));
      PutU32(out, la, uint32_t(list.keys.size()));
      for (size_t k = 0; k < list.keys.size(); ++k) {
        const Key& key = list.keys[k];
        const size_t ka = la + 16 + 24 * k;
        for (int i = 0; i < 4; ++i) {
          Put16(out, ka + 2 * i, key.start[i]);
          Put16(out, ka + 8 + 2 * i, key.end[i]);
        }
        Put16(out, ka + 16, key.tickOffset);
        Put16(out, ka + 18, key.duration);
        Put16(out, ka + 20, key.unused);
        Put16(out, ka + 22, key.bone);
      }
    }
    layout.keyLists.push_back(lists);
  }

  layout.rootKeys = uint32_t(Reserve(out, 16 + 16 * desc.rootKeys.size()));
  PutU32(out, layout.rootKeys + 4, uint32_t(desc.rootKeys.size()));
  for (size_t i = 0; i < desc.rootKeys.size(); ++i) {
    const RootKey& r = desc.rootKeys[i];
    const size_t at = layout.rootKeys + 16 + 16 * i;
    PutF32(out, at, r.x);
    PutF32(out, at + 4, r.y);
    PutF32(out, at + 8, r.z);
    PutF32(out, at + 12, r.time);
  }

  PutU32(out, 8, layout.trackBlock);
  PutU32(out, 12, layout.rootKeys);
  PutU32(out, tb + 8, desc.trackCount);
  PutF32(out, tb + 12, desc.startTime);
  PutF32(out, tb + 16, desc.endTime);
  PutU32(out, tb + 20, uint32_t(segments));
  PutU32(out, tb + 24, uint32_t(layout.segmentEndTimes - tb));
  PutU32(out, tb + 28, uint32_t(layout.segmentTable - tb));
  if (layoutOut) *layoutOut = layout;
  return out;
}

bool Save(const std::string& path, const AnimDesc& desc) {
  const std::vector<uint8_t> image = Write(desc);
  return !image.empty() && bytewriter::SaveBytes(path, image);
}

void AxisAngle(float ax, float ay, float az, float angle, float out[4]) {
  const float s = std::sin(angle * 0.5f);
  out[0] = ax * s;
  out[1] = ay * s;
  out[2] = az * s;
  out[3] = std::cos(angle * 0.5f);
}

AnimDesc MakeSampled(uint32_t trackCount, float length, uint32_t segmentCount,
                     const std::function<void(uint32_t, float, float*)>& rotationAt,
                     const std::function<void(float, float*)>& rootAt) {
  AnimDesc d;
  d.trackCount = trackCount;
  d.startTime = 0.0f;
  d.endTime = length;
  const uint32_t segments = segmentCount ? segmentCount : 1;
  for (uint32_t s = 0; s <= segments; ++s) {
    const float t = length * float(s) / float(segments);
    float p[3];
    rootAt(t, p);
    d.rootKeys.push_back(RootKey{p[0], p[1], p[2], t});
  }
  for (uint32_t s = 0; s < segments; ++s) {
    const float t0 = length * float(s) / float(segments);
    const float t1 = length * float(s + 1) / float(segments);
    const int32_t tick0 = int32_t(std::lround(t0 * 480.0f));
    const int32_t tick1 = int32_t(std::lround(t1 * 480.0f));
    Segment seg;
    seg.endTime = t1;
    for (uint32_t b = 0; b < trackCount; ++b) {
      float from[4], to[4];
      rotationAt(b, t0, from);
      rotationAt(b, t1, to);
      KeyList list;
      list.keys.push_back(MakeKey(int16_t(b), from, to, tick0, tick1 - tick0));
      seg.lists.push_back(list);
    }
    d.segments.push_back(seg);
  }
  return d;
}

AnimDesc MakeWalk(const skelwriter::SkeletonDesc& biped, float stride) {
  const size_t n = biped.bones.size();
  // Per bone: swing axis, amplitude, phase (in turns) and whether it only bends one way.
  struct Swing {
    float axis[3] = {1.0f, 0.0f, 0.0f};
    float amplitude = 0.0f;
    float phase = 0.0f;
    bool oneWay = false;
  };
  std::vector<Swing> swings(n);
  for (size_t i = 0; i < n; ++i) {
    const std::string& name = biped.bones[i].name;
    Swing& s = swings[i];
    const bool left = name.find(" L ") != std::string::npos;
    const float side = left ? 0.0f : 0.5f;
    if (name.find("Thigh") != std::string::npos) {
      s.amplitude = 0.5f;
      s.phase = side;
    } else if (name.find("Calf") != std::string::npos) {
      s.amplitude = -0.6f;
      s.phase = side + 0.25f;
      s.oneWay = true;
    } else if (name.find("UpperArm") != std::string::npos) {
      s.amplitude = -0.4f;
      s.phase = side;
    } else if (name.find("Forearm") != std::string::npos) {
      s.amplitude = 0.3f;
      s.phase = side;
      s.oneWay = true;
    } else if (name == "Bip01 Spine") {
      s.axis[0] = 0.0f;
      s.axis[2] = 1.0f;
      s.amplitude = 0.12f;
    } else if (name == "Head_bone") {
      s.axis[0] = 0.0f;
      s.axis[2] = 1.0f;
      s.amplitude = -0.08f;
    }
  }
  auto rotationAt = [&](uint32_t bone, float t, float* q) {
    const Swing& s = swings[bone];
    float wave = std::sin(kTwoPi * (t + s.phase));
    if (s.oneWay) wave = 0.5f * (wave + 1.0f);
    AxisAngle(s.axis[0], s.axis[1], s.axis[2], s.amplitude * wave, q);
  };
  const float height = n ? biped.bones[0].translation[2] : 0.0f;
  auto rootAt = [&](float t, float* p) {
    p[0] = 0.0f;
    p[1] = -stride * t;
    p[2] = height + 0.03f * std::fabs(std::sin(kTwoPi * t));
  };
  return MakeSampled(uint32_t(n), 1.0f, 16, rotationAt, rootAt);
}

}  // namespace anmwriter
