#include "tests/gfx/VsInterpreter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

namespace gfx {

namespace {

struct Vec4 {
  float v[4];
};

constexpr float kInfinity = std::numeric_limits<float>::infinity();

float Rcp(float x) {
  if (x == 1.0f) return 1.0f;
  if (x == 0.0f) return kInfinity;
  return 1.0f / x;
}

float Rsq(float x) {
  const float a = std::fabs(x);
  if (a == 1.0f) return 1.0f;
  if (a == 0.0f) return kInfinity;
  return 1.0f / std::sqrt(a);
}

float Log(float x) {
  const float a = std::fabs(x);
  return a == 0.0f ? -FLT_MAX : std::log2(a);
}

Vec4 Expp(float x) {
  const float f = std::floor(x);
  return Vec4{{std::exp2(f), x - f, std::exp2(x), 1.0f}};
}

Vec4 Logp(float x) {
  const float a = std::fabs(x);
  if (a == 0.0f) return Vec4{{-FLT_MAX, -FLT_MAX, -FLT_MAX, 1.0f}};
  uint32_t bits = 0;
  std::memcpy(&bits, &a, sizeof bits);
  const uint32_t mantissaBits = (bits & 0x7FFFFFu) | 0x3F800000u;
  float mantissa = 0.0f;
  std::memcpy(&mantissa, &mantissaBits, sizeof mantissa);
  return Vec4{{static_cast<float>(static_cast<int>(bits >> 23) - 127), mantissa, std::log2(a),
               1.0f}};
}

Vec4 Lit(const Vec4& s) {
  Vec4 d{{1.0f, 0.0f, 0.0f, 1.0f}};
  if (s.v[0] > 0.0f) {
    d.v[1] = s.v[0];
    if (s.v[1] > 0.0f) d.v[2] = std::pow(s.v[1], std::clamp(s.v[3], -127.9961f, 127.9961f));
  }
  return d;
}

float Dot(const Vec4& a, const Vec4& b, uint32_t n) {
  float sum = a.v[0] * b.v[0];
  for (uint32_t i = 1; i < n; ++i) sum = sum + a.v[i] * b.v[i];
  return sum;
}

Vec4 Splat(float x) { return Vec4{{x, x, x, x}}; }

class Machine {
 public:
  Machine(const float (*inputs)[4], const float (*constants)[4])
      : inputs_(inputs), constants_(constants) {
    for (Vec4& t : temps_) t = Splat(0.0f);
    position_ = Splat(0.0f);
    for (Vec4& c : colors_) c = Vec4{{0.0f, 0.0f, 0.0f, 1.0f}};
    for (Vec4& t : texCoords_) t = Vec4{{0.0f, 0.0f, 0.0f, 1.0f}};
    fog_ = Splat(1.0f);
    pointSize_ = Splat(0.0f);
  }

  void Execute(const VsInstruction& inst) {
    const VsOpInfo* info = FindVsOp(inst.op);
    if (!info || info->kind == VsOpKind::None) return;
    if (inst.dst.file == VsReg::Address) {
      const float f = std::floor(Read(inst.src[0], 0).v[0]);
      // Far outside the constant range any index reads zeros; keep the conversion defined.
      address_ = (f >= -1.0e6f && f <= 1.0e6f) ? static_cast<int>(f) : -1;
      return;
    }
    Vec4 value{};
    Vec4 a = Read(inst.src[0], 0);
    Vec4 b = inst.srcCount > 1 ? Read(inst.src[1], 0) : Splat(0.0f);
    const Vec4 c = inst.srcCount > 2 ? Read(inst.src[2], 0) : Splat(0.0f);
    for (uint32_t i = 0; i < 4; ++i) {
      float& out = value.v[i];
      const float x = a.v[i];
      const float y = b.v[i];
      switch (inst.op) {
        case VsOp::Mov: out = x; break;
        case VsOp::Add: out = x + y; break;
        case VsOp::Sub: out = x - y; break;
        case VsOp::Mul: out = x * y; break;
        case VsOp::Mad: out = x * y + c.v[i]; break;
        case VsOp::Min: out = std::min(x, y); break;
        case VsOp::Max: out = std::max(x, y); break;
        case VsOp::Slt: out = x < y ? 1.0f : 0.0f; break;
        case VsOp::Sge: out = x >= y ? 1.0f : 0.0f; break;
        case VsOp::Frc: out = x - std::floor(x); break;
        default: break;
      }
    }
    switch (inst.op) {
      case VsOp::Dp3:
      case VsOp::Dp4: value = Splat(Dot(a, b, info->cols)); break;
      case VsOp::Rcp: value = Splat(Rcp(a.v[0])); break;
      case VsOp::Rsq: value = Splat(Rsq(a.v[0])); break;
      case VsOp::Exp: value = Splat(std::exp2(a.v[0])); break;
      case VsOp::Log: value = Splat(Log(a.v[0])); break;
      case VsOp::Expp: value = Expp(a.v[0]); break;
      case VsOp::Logp: value = Logp(a.v[0]); break;
      case VsOp::Lit: value = Lit(a); break;
      case VsOp::Dst: value = Vec4{{1.0f, a.v[1] * b.v[1], a.v[2], b.v[3]}}; break;
      default: break;
    }
    if (info->kind == VsOpKind::Matrix) {
      for (uint32_t row = 0; row < info->rows; ++row) {
        value.v[row] = Dot(a, Read(inst.src[1], row), info->cols);
      }
    }
    if (inst.dst.file == VsReg::RastOut && inst.dst.index == kVsOutFog) fogWritten_ = true;
    Vec4* target = Target(inst.dst);
    for (uint32_t i = 0; i < 4; ++i) {
      if (target && (inst.dst.mask & (1u << i))) target->v[i] = value.v[i];
    }
  }

  void Finish(VsOutputs* out) const {
    std::memcpy(out->position, position_.v, sizeof out->position);
    for (uint32_t k = 0; k < kVsColorOutCount; ++k) {
      for (uint32_t i = 0; i < 4; ++i) out->color[k][i] = std::clamp(colors_[k].v[i], 0.0f, 1.0f);
    }
    for (uint32_t k = 0; k < kVsTexCoordOutCount; ++k) {
      std::memcpy(out->texCoord[k], texCoords_[k].v, sizeof out->texCoord[k]);
    }
    // A program that writes no fog has the specular alpha taken for it.
    out->fog = fogWritten_ ? fog_.v[0] : out->color[1][3];
    out->pointSize = pointSize_.v[0];
  }

 private:
  Vec4 Read(const VsOperand& o, uint32_t row) const {
    Vec4 base = Splat(0.0f);
    const uint32_t index = o.index + row;
    switch (o.file) {
      case VsReg::Temp:
        if (index < kVsTempCount) base = temps_[index];
        break;
      case VsReg::Input:
        if (index < kVsInputCount) std::memcpy(base.v, inputs_[index], sizeof base.v);
        break;
      case VsReg::Const: {
        const int64_t at = o.relative ? int64_t{address_} + index : int64_t{index};
        if (at >= 0 && at < int64_t{kVsConstCount}) std::memcpy(base.v, constants_[at], sizeof base.v);
        break;
      }
      default:
        break;
    }
    Vec4 result{};
    for (uint32_t i = 0; i < 4; ++i) {
      const float x = base.v[o.Component(i)];
      result.v[i] = o.negate ? -x : x;
    }
    return result;
  }

  Vec4* Target(const VsOperand& d) {
    switch (d.file) {
      case VsReg::Temp: return d.index < kVsTempCount ? &temps_[d.index] : nullptr;
      case VsReg::AttrOut: return d.index < kVsColorOutCount ? &colors_[d.index] : nullptr;
      case VsReg::TexCrdOut: return d.index < kVsTexCoordOutCount ? &texCoords_[d.index] : nullptr;
      case VsReg::RastOut:
        return d.index == kVsOutPos ? &position_ : d.index == kVsOutFog ? &fog_ : &pointSize_;
      default: return nullptr;
    }
  }

  const float (*inputs_)[4];
  const float (*constants_)[4];
  Vec4 temps_[kVsTempCount];
  int address_ = 0;
  Vec4 position_;
  Vec4 colors_[kVsColorOutCount];
  Vec4 texCoords_[kVsTexCoordOutCount];
  Vec4 fog_;
  bool fogWritten_ = false;
  Vec4 pointSize_;
};

}  // namespace

void RunVsProgram(const VsProgram& program, const float (*inputs)[4], const float (*constants)[4],
                  VsOutputs* out) {
  Machine machine(inputs, constants);
  for (const VsInstruction& inst : program.code) machine.Execute(inst);
  machine.Finish(out);
}

}  // namespace gfx
