#include "Engine/PC/PCVertexStream.h"

#include "Engine/Assert.h"
#include "Engine/PC/PCApp.h"

using namespace gfx;

int32_t VertexStream::Create() { return Create(GetApp().GetDisplay()->GetDevice()); }

int32_t VertexStream::Create(D3DDevice* device) {
  // Buffers of an earlier Create would otherwise be lost.
  Release();
  if (!device) return 1;
  ReportD3DError(device->CreateVertexBuffer(TOTALVB_SIZE * kVertexSize,
                                            D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, kFvf,
                                            D3DPOOL_DEFAULT, &m_vertexBuffer));
  ReportD3DError(device->CreateIndexBuffer(kQuads * 6 * sizeof(uint16_t), D3DUSAGE_WRITEONLY,
                                           D3DFMT_INDEX16, D3DPOOL_DEFAULT, &m_indexBuffer));
  if (!m_indexBuffer) return 1;
  void* data = nullptr;
  HRESULT hr = m_indexBuffer->Lock(0, 0, &data, 0);
  ReportD3DError(hr);
  if (SUCCEEDED(hr) && data) {
    uint16_t* index = static_cast<uint16_t*>(data);
    for (uint32_t q = 0; q < kQuads; ++q) {
      const uint16_t v = static_cast<uint16_t>(q * 4);
      *index++ = v;
      *index++ = static_cast<uint16_t>(v + 1);
      *index++ = static_cast<uint16_t>(v + 2);
      *index++ = static_cast<uint16_t>(v + 2);
      *index++ = static_cast<uint16_t>(v + 1);
      *index++ = static_cast<uint16_t>(v + 3);
    }
  }
  if (SUCCEEDED(hr)) ReportD3DError(m_indexBuffer->Unlock());
  return 1;
}

StreamVertex* VertexStream::Lock(uint32_t n) {
  // More than the whole ring cannot be handed out: the caller would write past the buffer.
  if (n > TOTALVB_SIZE) {
    AssertReport("m_Offset<TOTALVB_SIZE && \"Increase Dynamic VB Size\"", __FILE__, __LINE__);
    return nullptr;
  }
  if (!m_vertexBuffer) return nullptr;
  m_count = n;
  if (m_Offset + n >= TOTALVB_SIZE) m_Offset = 0;
  m_startVertex = m_Offset;
  const uint32_t flags = m_Offset == 0 ? (D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK)
                                       : (D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK);
  m_lastLockOffset = m_Offset * kVertexSize;
  m_lastLockSize = n * kVertexSize;
  m_lastLockFlags = flags;
  if (m_Offset == 0) {
    ++m_discardLocks;
  } else {
    ++m_appendLocks;
  }
  void* data = nullptr;
  HRESULT hr = m_vertexBuffer->Lock(m_lastLockOffset, m_lastLockSize, &data, flags);
  ReportD3DError(hr);
  if (FAILED(hr) || !data) return nullptr;
  m_data = static_cast<StreamVertex*>(data);
  m_Offset += m_count;
  m_locked = 1;
  KASSERT(m_Offset<TOTALVB_SIZE && "Increase Dynamic VB Size");
  return m_data;
}

void VertexStream::Unlock() {
  if (m_vertexBuffer) ReportD3DError(m_vertexBuffer->Unlock());
  m_locked = 0;
}

void VertexStream::Release() {
  if (m_locked) Unlock();
  if (m_vertexBuffer) {
    m_vertexBuffer->Release();
    m_vertexBuffer = nullptr;
  }
  if (m_indexBuffer) {
    m_indexBuffer->Release();
    m_indexBuffer = nullptr;
  }
}
