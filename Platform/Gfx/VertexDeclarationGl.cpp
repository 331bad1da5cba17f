#include "Platform/Gfx/VertexDeclarationGl.h"

#include <algorithm>

#include "Platform/Gfx/GfxLog.h"

namespace gfx {

namespace {

// Direct3D's own limit on a declaration's length (MAXD3DDECLLENGTH).
constexpr uint32_t kMaxElements = 64;
constexpr uint16_t kEndStream = 0xFF;
constexpr uint8_t kLastUsage = D3DDECLUSAGE_SAMPLE;
constexpr uint8_t kMaxUsageIndex = 15;

uint64_t NextId() {
  static uint64_t next = 0;
  return ++next;
}

}  // namespace

uint32_t VertexDeclarationGl::TypeSize(uint8_t type) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1:
      return 4;
    case D3DDECLTYPE_FLOAT2:
      return 8;
    case D3DDECLTYPE_FLOAT3:
      return 12;
    case D3DDECLTYPE_FLOAT4:
      return 16;
    case D3DDECLTYPE_D3DCOLOR:
      return 4;
    case D3DDECLTYPE_UBYTE4:
      return 4;
    default:
      return 0;
  }
}

VertexDeclarationGl::VertexDeclarationGl(std::vector<D3DVERTEXELEMENT9> elements)
    : elements_(std::move(elements)), id_(NextId()) {
  for (const D3DVERTEXELEMENT9& e : elements_) {
    if (e.Usage == D3DDECLUSAGE_POSITIONT) pretransformed_ = true;
    streamMask_ |= 1u << e.Stream;
    extent_[e.Stream] = std::max(extent_[e.Stream], uint32_t{e.Offset} + TypeSize(e.Type));
  }
}

VertexDeclarationGl* VertexDeclarationGl::Create(const D3DVERTEXELEMENT9* elements) {
  if (!elements) return nullptr;
  std::vector<D3DVERTEXELEMENT9> copied;
  for (uint32_t i = 0;; ++i) {
    if (i > kMaxElements) {
      GfxLog("gfx: vertex declaration refused: no D3DDECL_END within %u elements\n", kMaxElements);
      return nullptr;
    }
    const D3DVERTEXELEMENT9& e = elements[i];
    if (e.Stream == kEndStream) break;
    const char* why = nullptr;
    if (e.Stream >= kMaxStreams) {
      why = "stream beyond 2";
    } else if (TypeSize(e.Type) == 0) {
      why = "type not FLOAT1-4, D3DCOLOR or UBYTE4";
    } else if (e.Method != D3DDECLMETHOD_DEFAULT) {
      why = "method not DEFAULT";
    } else if (e.Usage > kLastUsage || e.UsageIndex > kMaxUsageIndex) {
      why = "unknown usage";
    } else if (e.Offset % 4 != 0) {
      why = "offset not a multiple of 4";
    } else if (e.Usage == D3DDECLUSAGE_POSITIONT &&
               (e.Type != D3DDECLTYPE_FLOAT4 || e.UsageIndex != 0)) {
      why = "POSITIONT not FLOAT4 with index 0";
    } else {
      for (const D3DVERTEXELEMENT9& before : copied) {
        if (before.Usage == e.Usage && before.UsageIndex == e.UsageIndex) why = "usage given twice";
      }
    }
    if (why) {
      GfxLog(
          "gfx: vertex declaration refused: element %u (stream %u, offset %u, type %u, usage "
          "%u.%u): %s\n",
          i, e.Stream, e.Offset, e.Type, e.Usage, e.UsageIndex, why);
      return nullptr;
    }
    copied.push_back(e);
  }
  return new VertexDeclarationGl(std::move(copied));
}

VertexDeclarationGl* VertexDeclarationGl::FromFvf(uint32_t fvf) {
  constexpr uint32_t kPositionBits = D3DFVF_XYZ | D3DFVF_XYZRHW | D3DFVF_XYZW;
  constexpr uint32_t kKnown = kPositionBits | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
  const uint32_t position = fvf & kPositionBits;
  if ((fvf & ~kKnown) != 0 ||
      (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW && position != D3DFVF_XYZW)) {
    return nullptr;
  }
  std::vector<D3DVERTEXELEMENT9> elements;
  uint16_t offset = 0;
  auto add = [&](uint8_t type, uint8_t usage) {
    elements.push_back(D3DVERTEXELEMENT9{0, offset, type, D3DDECLMETHOD_DEFAULT, usage, 0});
    offset = static_cast<uint16_t>(offset + TypeSize(type));
  };
  if (position == D3DFVF_XYZ) {
    add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION);
  } else if (position == D3DFVF_XYZW) {
    add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION);
  } else {
    add(D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT);
  }
  if (fvf & D3DFVF_NORMAL) add(D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL);
  if (fvf & D3DFVF_DIFFUSE) add(D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR);
  if (fvf & D3DFVF_TEX1) add(D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD);
  return new VertexDeclarationGl(std::move(elements));
}

const D3DVERTEXELEMENT9* VertexDeclarationGl::Find(uint8_t usage, uint8_t usageIndex) const {
  for (const D3DVERTEXELEMENT9& e : elements_) {
    if (e.Usage == usage && e.UsageIndex == usageIndex) return &e;
  }
  return nullptr;
}

}  // namespace gfx
