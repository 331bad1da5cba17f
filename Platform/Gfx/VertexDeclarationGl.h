#pragma once
// A vertex declaration: the element list as Direct3D describes it, checked once at creation,
// with what draws ask of it (the element for a usage, whether positions are pre-transformed,
// how many bytes a vertex needs in each stream). Also stands for flexible vertex formats.

#include <cstdint>
#include <vector>

#include "Platform/Gfx/D3D.h"

namespace gfx {

constexpr uint32_t kMaxStreams = 3;

class VertexDeclarationGl final : public D3DVertexDeclaration {
 public:
  // Copies the elements up to D3DDECL_END. Null, with a log line, when an element is one this
  // device cannot feed (types other than FLOAT1-4, D3DCOLOR and UBYTE4, streams beyond 2, a
  // method other than the default, unaligned offsets, a usage given twice).
  static VertexDeclarationGl* Create(const D3DVERTEXELEMENT9* elements);
  // The declaration a flexible vertex format stands for: position (XYZ, XYZW or XYZRHW), then
  // the normal, the diffuse colour and one texture coordinate as the bits ask. Null for codes
  // with other bits, or without a position.
  static VertexDeclarationGl* FromFvf(uint32_t fvf);

  // The element with this usage and index, or null.
  const D3DVERTEXELEMENT9* Find(uint8_t usage, uint8_t usageIndex) const;
  bool Pretransformed() const { return pretransformed_; }
  // Bit n: stream n is read.
  uint32_t StreamMask() const { return streamMask_; }
  // Bytes of a vertex in the stream that the elements reach (offset + size of the furthest).
  uint32_t StreamExtent(uint32_t stream) const { return extent_[stream]; }
  // Never reused by another declaration, so caches may key on it.
  uint64_t Id() const { return id_; }

  static uint32_t TypeSize(uint8_t type);

 private:
  explicit VertexDeclarationGl(std::vector<D3DVERTEXELEMENT9> elements);

  std::vector<D3DVERTEXELEMENT9> elements_;
  bool pretransformed_ = false;
  uint32_t streamMask_ = 0;
  uint32_t extent_[kMaxStreams] = {};
  uint64_t id_;
};

}  // namespace gfx
