// Vertex and index buffers on the real device: creation checks, Lock ranges and flags, the
// dynamic stream's DISCARD / NOOVERWRITE pattern, stream offsets, indexed draws with a base
// vertex, draws that would read outside their buffers, and the DEFAULT-pool count.
#include <string>

#include "tests/gfx/PipelineTestSupport.h"

namespace pipetest {
namespace {

using gfxtest::Ref;

// Four screen vertices of a rectangle, in strip order, written at `out`.
void WriteRect(ScreenVertex* out, float x0, float y0, float x1, float y1, uint32_t color) {
  out[0] = {x0, y0, 0, 1, color, 0, 0};
  out[1] = {x1, y0, 0, 1, color, 1, 0};
  out[2] = {x0, y1, 0, 1, color, 0, 1};
  out[3] = {x1, y1, 0, 1, color, 1, 1};
}

TEST_F(PipelineTest, BufferCreationChecksItsArguments) {
  // Length, usage, pool.
  const uint32_t refused[][3] = {{0, 0, D3DPOOL_MANAGED}, {64, D3DUSAGE_DYNAMIC, D3DPOOL_MANAGED},
                                 {64, 0, D3DPOOL_SCRATCH}, {64, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT}};
  for (const auto& r : refused) {
    D3DVertexBuffer* vb = reinterpret_cast<D3DVertexBuffer*>(1);
    EXPECT_EQ(device_->CreateVertexBuffer(r[0], r[1], 0, static_cast<D3DPOOL>(r[2]), &vb),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(vb, nullptr);
  }
  EXPECT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, nullptr), D3DERR_INVALIDCALL);
  D3DIndexBuffer* ib = reinterpret_cast<D3DIndexBuffer*>(1);
  EXPECT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &ib),
            D3DERR_INVALIDCALL);
  EXPECT_EQ(ib, nullptr);

  for (D3DPOOL pool : {D3DPOOL_DEFAULT, D3DPOOL_MANAGED, D3DPOOL_SYSTEMMEM}) {
    Ref<D3DVertexBuffer> vb;
    ASSERT_EQ(device_->CreateVertexBuffer(96, D3DUSAGE_WRITEONLY, kFvfScreen, pool, &vb), D3D_OK);
    EXPECT_EQ(vb->GetLength(), 96u);
  }
  Ref<D3DIndexBuffer> index;
  ASSERT_EQ(device_->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_MANAGED, &index), D3D_OK);
  EXPECT_TRUE(index->GetFormat() == D3DFMT_INDEX32 && index->GetLength() == 12u);
}

TEST_F(PipelineTest, LocksStayInsideTheBuffer) {
  for (uint32_t usage :
       {uint32_t{D3DUSAGE_WRITEONLY}, uint32_t{D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY}}) {
    Ref<D3DVertexBuffer> vb;
    const D3DPOOL pool = (usage & D3DUSAGE_DYNAMIC) ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
    ASSERT_EQ(device_->CreateVertexBuffer(96, usage, 0, pool, &vb), D3D_OK);
    // Past the end, nothing left, sizes that reach or wrap past the end, both flags at once.
    const uint32_t refusedLocks[][3] = {{97, 0, 0}, {90, 8, 0}, {96, 0, 0}, {0, 0xFFFFFFFFu, 0},
                                        {8, 0xFFFFFFFCu, 0},
                                        {0, 8, D3DLOCK_READONLY | D3DLOCK_DISCARD}};
    void* data = nullptr;
    for (const auto& r : refusedLocks) {
      data = reinterpret_cast<void*>(1);
      EXPECT_EQ(vb->Lock(r[0], r[1], &data, r[2]), D3DERR_INVALIDCALL) << r[0] << "+" << r[1];
      EXPECT_EQ(data, nullptr);
    }
    EXPECT_EQ(vb->Lock(0, 8, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);  // not locked

    // Size 0 locks to the end; the whole range can be written.
    ASSERT_EQ(vb->Lock(32, 0, &data, 0), D3D_OK);
    ASSERT_NE(data, nullptr);
    std::memset(data, 0xAB, 64);
    void* again = nullptr;
    EXPECT_EQ(vb->Lock(0, 8, &again, 0), D3DERR_INVALIDCALL);  // already locked
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
  }

  // A managed buffer reads back what was written.
  Ref<D3DIndexBuffer> ib;
  ASSERT_EQ(device_->CreateIndexBuffer(16, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
  const uint16_t written[8] = {7, 6, 5, 4, 3, 2, 1, 0};
  std::memcpy(data, written, sizeof written);
  ASSERT_EQ(ib->Unlock(), D3D_OK);
  ASSERT_EQ(ib->Lock(4, 4, &data, D3DLOCK_READONLY), D3D_OK);
  uint16_t read[2];
  std::memcpy(read, data, sizeof read);
  EXPECT_EQ(read[0], 5);
  EXPECT_EQ(read[1], 4);
  ASSERT_EQ(ib->Unlock(), D3D_OK);
}

TEST_F(PipelineTest, DynamicBufferDiscardThenNoOverwriteKeepsEarlierData) {
  DiffuseOnly();
  // The dynamic vertex stream's buffer: DEFAULT, DYNAMIC | WRITEONLY.
  D3DVertexBuffer* vb = nullptr;
  ASSERT_EQ(
      device_->CreateVertexBuffer(12 * sizeof(ScreenVertex), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                  kFvfScreen, D3DPOOL_DEFAULT, &vb),
      D3D_OK);
  device_->SetFVF(kFvfScreen);
  ASSERT_EQ(device_->SetStreamSource(0, vb, 0, sizeof(ScreenVertex)), D3D_OK);

  void* data = nullptr;
  ASSERT_EQ(vb->Lock(0, 4 * sizeof(ScreenVertex), &data, D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK),
            D3D_OK);
  WriteRect(static_cast<ScreenVertex*>(data), 10, 10, 30, 30, 0xFF00FF00u);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);

  // Appending behind it without waiting, as the stream does for each further lock.
  ASSERT_EQ(vb->Lock(4 * sizeof(ScreenVertex), 4 * sizeof(ScreenVertex), &data,
                     D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK),
            D3D_OK);
  WriteRect(static_cast<ScreenVertex*>(data), 40, 10, 60, 30, 0xFFFF0000u);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
  std::vector<uint32_t> pixels = Read();
  EXPECT_EQ(CountOff(pixels, 10, 10, 30, 30, 0xFF00FF00u), 0);
  EXPECT_EQ(CountOff(pixels, 40, 10, 60, 30, 0xFFFF0000u), 0);

  // The first rectangle's vertices are still there after the append.
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 4, 2), D3D_OK);
  pixels = Read();
  EXPECT_EQ(CountOff(pixels, 10, 10, 30, 30, 0xFF00FF00u), 0);
  EXPECT_EQ(CountOff(pixels, 40, 10, 60, 30, 0xFFFF0000u), 0);

  // A third append through a stream offset (the particles' way: offset = start vertex x 24).
  ASSERT_EQ(
      vb->Lock(8 * sizeof(ScreenVertex), 4 * sizeof(ScreenVertex), &data, D3DLOCK_NOOVERWRITE),
      D3D_OK);
  WriteRect(static_cast<ScreenVertex*>(data), 70, 10, 90, 30, 0xFF0000FFu);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  ASSERT_EQ(device_->SetStreamSource(0, vb, 8 * sizeof(ScreenVertex), sizeof(ScreenVertex)),
            D3D_OK);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  pixels = Read();
  EXPECT_EQ(CountOff(pixels, 70, 10, 90, 30, 0xFF0000FFu), 0);
  EXPECT_EQ(CountColour(pixels, 0xFF0000FFu), 400);

  // Discarding starts over: the new contents are what draws.
  ASSERT_EQ(vb->Lock(0, 4 * sizeof(ScreenVertex), &data, D3DLOCK_DISCARD), D3D_OK);
  WriteRect(static_cast<ScreenVertex*>(data), 10, 50, 30, 70, 0xFFFFFF00u);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  ASSERT_EQ(device_->SetStreamSource(0, vb, 0, sizeof(ScreenVertex)), D3D_OK);
  Clear(0xFF000000u);
  ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  pixels = Read();
  EXPECT_EQ(CountOff(pixels, 10, 50, 30, 70, 0xFFFFFF00u), 0);
  EXPECT_EQ(CountColour(pixels, 0xFF00FF00u), 0);

  device_->SetStreamSource(0, nullptr, 0, 0);
  vb->Release();
}

TEST_F(PipelineTest, IndexedDrawsAddTheBaseVertexAndStartAtTheirIndex) {
  DiffuseOnly();
  D3DVertexBuffer* vb = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(12 * sizeof(ScreenVertex), D3DUSAGE_WRITEONLY, kFvfScreen,
                                        D3DPOOL_MANAGED, &vb),
            D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
  ScreenVertex* v = static_cast<ScreenVertex*>(data);
  WriteRect(v + 0, 10, 10, 30, 30, 0xFF00FF00u);
  WriteRect(v + 4, 40, 10, 60, 30, 0xFFFF0000u);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  // The third through a lock of its own, so that only that range is sent again.
  ASSERT_EQ(vb->Lock(8 * sizeof(ScreenVertex), 4 * sizeof(ScreenVertex), &data, 0), D3D_OK);
  WriteRect(static_cast<ScreenVertex*>(data), 70, 10, 90, 30, 0xFF0000FFu);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  device_->SetFVF(kFvfScreen);
  device_->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));

  for (D3DFORMAT format : {D3DFMT_INDEX16, D3DFMT_INDEX32}) {
    // Two copies of the stream's quad pattern (0, 1, 2, 2, 1, 3): the second from index 6.
    const uint32_t pattern[12] = {0, 1, 2, 2, 1, 3, 0, 1, 2, 2, 1, 3};
    const uint32_t size = format == D3DFMT_INDEX32 ? 4 : 2;
    D3DIndexBuffer* ib = nullptr;
    ASSERT_EQ(
        device_->CreateIndexBuffer(12 * size, D3DUSAGE_WRITEONLY, format, D3DPOOL_DEFAULT, &ib),
        D3D_OK);
    ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
    for (int i = 0; i < 12; ++i) {
      if (size == 4) {
        static_cast<uint32_t*>(data)[i] = pattern[i];
      } else {
        static_cast<uint16_t*>(data)[i] = static_cast<uint16_t>(pattern[i]);
      }
    }
    ASSERT_EQ(ib->Unlock(), D3D_OK);
    ASSERT_EQ(device_->SetIndices(ib), D3D_OK);

    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 4, 0, 4, 0, 2), D3D_OK);
    std::vector<uint32_t> pixels = Read();
    EXPECT_EQ(CountOff(pixels, 40, 10, 60, 30, 0xFFFF0000u), 0) << format;
    EXPECT_EQ(CountColour(pixels, 0xFFFF0000u), 400);
    EXPECT_EQ(CountColour(pixels, 0xFF00FF00u) + CountColour(pixels, 0xFF0000FFu), 0);

    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 8, 0, 4, 6, 2), D3D_OK);
    pixels = Read();
    EXPECT_EQ(CountOff(pixels, 70, 10, 90, 30, 0xFF0000FFu), 0) << format;
    EXPECT_EQ(CountColour(pixels, 0xFF0000FFu), 400);

    // One triangle from the second half of the first copy: (2, 1, 3) of quad 0.
    Clear(0xFF000000u);
    ASSERT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 3, 1), D3D_OK);
    EXPECT_EQ(CountColour(Read(), 0xFF00FF00u),
              190);  // the lower right half of 20 x 20, diagonal in

    device_->SetIndices(nullptr);
    ib->Release();
  }
  device_->SetStreamSource(0, nullptr, 0, 0);
  vb->Release();
}

TEST_F(PipelineTest, DrawsThatWouldReadOutsideTheirBuffersAreRefused) {
  DiffuseOnly();
  D3DVertexBuffer* vb = nullptr;
  ASSERT_EQ(
      device_->CreateVertexBuffer(4 * sizeof(ScreenVertex), 0, kFvfScreen, D3DPOOL_MANAGED, &vb),
      D3D_OK);
  void* data = nullptr;
  ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
  WriteRect(static_cast<ScreenVertex*>(data), 10, 10, 30, 30, 0xFF00FF00u);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  D3DIndexBuffer* ib = nullptr;
  ASSERT_EQ(device_->CreateIndexBuffer(8 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
  ASSERT_EQ(ib->Lock(0, 0, &data, 0), D3D_OK);
  const uint16_t indices[8] = {0, 1, 2, 2, 1, 3, 0, 9};  // 9 is past the four vertices
  std::memcpy(data, indices, sizeof indices);
  ASSERT_EQ(ib->Unlock(), D3D_OK);

  ::testing::internal::CaptureStderr();
  device_->SetFVF(kFvfScreen);
  // No buffer on stream 0: it reads zeros, as Direct3D's does, and draws nothing out of range.
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  device_->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 1, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0xFFFFFFF0u, 2), D3DERR_INVALIDCALL);
  device_->SetStreamSource(0, vb, 8, sizeof(ScreenVertex));  // the offset pushes the last out
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  device_->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
  device_->SetFVF(D3DFVF_XYZRHW);  // a position alone still has its stream checked
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 3), D3DERR_INVALIDCALL);
  device_->SetFVF(kFvfScreen);
  // No index buffer; then indices past the buffer's end, an index past the vertices, a base
  // that makes an index negative.
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  device_->SetIndices(ib);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 4, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 6, 1), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, -1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3DERR_INVALIDCALL);
  // A locked buffer cannot be drawn from.
  ASSERT_EQ(vb->Lock(0, 0, &data, 0), D3D_OK);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  ASSERT_EQ(vb->Unlock(), D3D_OK);
  // User-pointer draws: null data, a stride below the vertex, an unknown primitive type.
  const ScreenVertex quad[4] = {};
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, nullptr, 28), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, 20), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(7), 2, quad, 28),
            D3DERR_INVALIDCALL);
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("draw refused: vertices beyond the end of a vertex buffer"),
            std::string::npos);
  EXPECT_NE(log.find("draw refused: indices beyond the end of the index buffer"),
            std::string::npos);

  // Everything in range draws.
  Clear(0xFF000000u);
  EXPECT_EQ(device_->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF00FF00u), 400);
  Clear(0xFF000000u);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF00FF00u), 400);

  // A user-pointer draw leaves stream 0 unset, as Direct3D does: the next draw reads zeros, so
  // every vertex lands on the origin and nothing is drawn.
  const ScreenVertex other[4] = {{40, 10, 0, 1, 0xFFFF0000u, 0, 0},
                                 {60, 10, 0, 1, 0xFFFF0000u, 0, 0},
                                 {40, 30, 0, 1, 0xFFFF0000u, 0, 0},
                                 {60, 30, 0, 1, 0xFFFF0000u, 0, 0}};
  EXPECT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, other, sizeof(ScreenVertex)), D3D_OK);
  Clear(0xFF000000u);
  EXPECT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
  EXPECT_EQ(CountColour(Read(), 0xFF000000u), static_cast<int>(kWidth * kHeight));

  device_->SetIndices(nullptr);
  ib->Release();
  vb->Release();
}

TEST_F(PipelineTest, DefaultPoolBuffersAreCountedAndBindingsDoNotBlockReset) {
  const int before = device_->LiveDefaultPoolResources();
  D3DVertexBuffer* managed = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &managed), D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), before);
  D3DVertexBuffer* vb = nullptr;
  ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &vb), D3D_OK);
  D3DIndexBuffer* ib = nullptr;
  ASSERT_EQ(device_->CreateIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib), D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), before + 2);

  // The device's own references keep the buffers alive while bound...
  device_->SetStreamSource(0, vb, 0, 16);
  device_->SetIndices(ib);
  vb->Release();
  ib->Release();
  EXPECT_EQ(device_->LiveDefaultPoolResources(), before + 2);
  // ... but a Reset unbinds everything first, so they do not stop it.
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  D3DPRESENT_PARAMETERS params = Params(kWidth, kHeight);
  EXPECT_EQ(device_->Reset(&params), D3D_OK);
  EXPECT_EQ(device_->LiveDefaultPoolResources(), before);

  // One the application still holds does stop it.
  ASSERT_EQ(device_->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &vb), D3D_OK);
  EXPECT_EQ(device_->Reset(&params), D3DERR_INVALIDCALL);
  vb->Release();
  EXPECT_EQ(device_->Reset(&params), D3D_OK);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);

  // A buffer may outlive its device: releasing it afterwards touches nothing that is gone.
  managed->AddRef();
  device_->SetStreamSource(0, managed, 0, 16);
  device_->Release();
  device_ = nullptr;
  void* data = nullptr;
  EXPECT_EQ(managed->Lock(0, 0, &data, 0), D3D_OK);  // its copy in memory is still there
  EXPECT_EQ(managed->Unlock(), D3D_OK);
  EXPECT_EQ(managed->Release(), 1u);
  EXPECT_EQ(managed->Release(), 0u);
}

}  // namespace
}  // namespace pipetest
