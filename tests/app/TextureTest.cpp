#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Engine/BackDropFactory.h"
#include "Engine/CRC32.h"
#include "Engine/DataFolder.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCShaderSet.h"
#include "Engine/PC/PCTexture.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ContentTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using content::Identifier;

// A file the registry can load; without a device its image is kept but no texture is made.
void WriteBlob(const std::string& name) {
  WriteFileText(content::HostPath(name), "not a picture, but a file of some bytes");
}

// Two texture names, different, whose handles fall into the same bucket.
std::pair<std::string, std::string> NamesSharingABucket() {
  std::vector<std::string> byBucket(Texture::kBucketCount);
  for (int i = 0;; ++i) {
    std::string name = "data\\textures\\t" + std::to_string(i) + ".dds";
    uint32_t bucket = static_cast<uint32_t>(Identifier(name)) % Texture::kBucketCount;
    if (!byBucket[bucket].empty()) return {byBucket[bucket], name};
    byBucket[bucket] = name;
  }
}

class TextureRegistryTest : public TempDirTest {
 protected:
  void SetUp() override { m_textures.Init(); }
  Texture m_textures;
};

TEST_F(TextureRegistryTest, SameNameSharesOneRecordUntilTheLastDelete) {
  WriteBlob("data\\wood.dds");
  int32_t first = m_textures.Load("data\\wood.dds");
  EXPECT_EQ(first, Identifier("data\\wood.dds"));
  EXPECT_EQ(m_textures.Load("data\\wood.dds"), first);
  TextureData* record = m_textures.Find(first);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->refCount, 2);
  EXPECT_EQ(record->dataSize, ReadFileBytes("data/wood.dds").size());
  EXPECT_EQ(record->flags & TextureData::kMadeInMemory, 0);

  m_textures.Delete(first);
  ASSERT_EQ(m_textures.Find(first), record) << "the first Delete leaves the shared record";
  EXPECT_EQ(record->refCount, 1);
  m_textures.Delete(first);
  EXPECT_EQ(m_textures.Find(first), nullptr);

  // Only the characters from the 11th on are hashed: names alike from there share a texture.
  WriteBlob("data\\a\\brick.dds");
  WriteBlob("data\\b\\brick.dds");
  const int32_t a = m_textures.Load("data\\a\\brick.dds");
  EXPECT_EQ(m_textures.Load("data\\b\\brick.dds"), a);
  EXPECT_EQ(m_textures.Find(a)->refCount, 2);
  // The data folder is part of the name hashed.
  SetDataFolder("data\\Frontend\\");
  WriteBlob("data\\Frontend\\logo.dds");
  EXPECT_EQ(m_textures.Load("logo.dds"), Identifier("data\\Frontend\\logo.dds"));
  SetDataFolder(nullptr);
}

TEST_F(TextureRegistryTest, MissingFileGivesMinusOneAndRegistersNothing) {
  EXPECT_EQ(m_textures.Load("data\\missing.dds"), -1);
  EXPECT_TRUE(DebugLogContains("Unable to find file data\\missing.dds"));
  uint32_t bucket = static_cast<uint32_t>(Identifier("data\\missing.dds")) % Texture::kBucketCount;
  EXPECT_FALSE(m_textures.BucketHasList(bucket));
  EXPECT_EQ(m_textures.Find(Identifier("data\\missing.dds")), nullptr);

  // An empty file counts as missing.
  WriteFileText("data/empty.dds", "");
  EXPECT_EQ(m_textures.Load("data\\empty.dds"), -1);
}

TEST_F(TextureRegistryTest, UnknownHandlesAndMinusOneAreHarmless) {
  WriteBlob("data\\wood.dds");
  int32_t known = m_textures.Load("data\\wood.dds");
  const int32_t unknown = known + 91;  // same bucket, no record
  for (int32_t handle : {-1, unknown, 12345}) {
    m_textures.Delete(handle);
    m_textures.SetStage(handle);
    m_textures.SetStage1(handle);
    m_textures.UploadPixels(handle);
    EXPECT_EQ(m_textures.GetPixels(handle), nullptr);
    EXPECT_EQ(m_textures.GetWidth(handle), 0);
    EXPECT_EQ(m_textures.GetHeight(handle), 0);
    EXPECT_EQ(m_textures.Find(handle), nullptr);
  }
  EXPECT_EQ(m_textures.Find(known)->refCount, 1) << "other records are untouched";
  // A loaded texture has no pixel buffer to upload from: nothing happens.
  m_textures.UploadPixels(known);

  // Before Init and after CleanUp every operation is just as safe.
  Texture idle;
  EXPECT_EQ(idle.Load("data\\wood.dds"), -1);
  EXPECT_EQ(idle.CreateSystemTexture(8, 8, 0), -1);
  EXPECT_EQ(idle.CreateRenderTarget(), -1);
  idle.Delete(known);
  idle.SetStage(known);
  idle.ReleaseAll();
  idle.RestoreAll();
  idle.CleanUp();
  EXPECT_EQ(idle.GetPixels(known), nullptr);
}

TEST_F(TextureRegistryTest, SystemTexturesArePaintedAndFreedByTheirFirstDelete) {
  const uint32_t before = MemoryTracker::CountBlocksFromFile("PCTexture.cpp");
  int32_t handle = m_textures.CreateSystemTexture(128, 64, 0);
  EXPECT_EQ(handle, Identifier("SystemTextureTargetN0"));
  EXPECT_TRUE(DebugLogContains(
      "Non square texture page created, could have performance implications on PC"));
  TextureData* record = m_textures.Find(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->refCount, 0);
  EXPECT_EQ(record->flags, TextureData::kMadeInMemory);
  EXPECT_EQ(m_textures.GetWidth(handle), 128);
  EXPECT_EQ(m_textures.GetHeight(handle), 64);

  uint8_t* pixels = m_textures.GetPixels(handle);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(record->flags & TextureData::kPixelsHandedOut, TextureData::kPixelsHandedOut);
  std::vector<uint8_t> zero(128 * 64 * 4, 0);
  EXPECT_EQ(std::memcmp(pixels, zero.data(), zero.size()), 0);
  const AllocUnit* unit = MemoryTracker::FindUnit(pixels);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(unit->reportedSize, 128u * 64u * 4u);

  EXPECT_EQ(m_textures.DeleteSystemTexture(handle), 0);
  EXPECT_EQ(m_textures.Find(handle), nullptr) << "a count of 0 does not keep it";
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCTexture.cpp"), before);
}

TEST_F(TextureRegistryTest, ImpossibleSystemTextureSizesAreRefused) {
  for (auto [w, h] : {std::pair{0, 16}, std::pair{-4, 4}, std::pair{70000, 1}}) {
    EXPECT_EQ(m_textures.CreateSystemTexture(w, h, 0), -1);
    EXPECT_TRUE(DebugLogContains("Unable to create textures of Dim " + std::to_string(w) + " x " +
                                 std::to_string(h)));
  }
}

TEST_F(TextureRegistryTest, SystemTexturesAndRenderTargetsShareOneCounter) {
  int32_t system0 = m_textures.CreateSystemTexture(16, 16, 0);
  int32_t target1 = m_textures.CreateRenderTarget();
  int32_t system2 = m_textures.CreateSystemTexture(16, 16, 0);
  EXPECT_EQ(system0, Identifier("SystemTextureTargetN0"));
  EXPECT_EQ(target1, Identifier("RenderTextureTargetN1"));
  EXPECT_EQ(system2, Identifier("SystemTextureTargetN2"));
  TextureData* target = m_textures.Find(target1);
  ASSERT_NE(target, nullptr);
  EXPECT_EQ(target->flags, TextureData::kMadeInMemory | TextureData::kRenderTarget);
  EXPECT_EQ(target->refCount, 1);
  EXPECT_EQ(target->width, 256);
  EXPECT_EQ(target->height, 256);
  EXPECT_EQ(target->data, nullptr);

  // Deleting does not give names back; only Init starts the count again.
  m_textures.Delete(system2);
  EXPECT_EQ(m_textures.CreateRenderTarget(), Identifier("RenderTextureTargetN3"));
  m_textures.CleanUp();
  m_textures.Init();
  EXPECT_EQ(m_textures.CreateSystemTexture(4, 4, 0), Identifier("SystemTextureTargetN0"));
}

TEST_F(TextureRegistryTest, ABucketsListLivesExactlyAsLongAsItsRecords) {
  auto [first, second] = NamesSharingABucket();
  WriteBlob(first);
  WriteBlob(second);
  const uint32_t bucket = static_cast<uint32_t>(Identifier(first)) % Texture::kBucketCount;
  int32_t a = m_textures.Load(first.c_str());
  int32_t b = m_textures.Load(second.c_str());
  ASSERT_NE(a, b);
  EXPECT_EQ(m_textures.GetBucketRecordCount(bucket), 2);
  EXPECT_EQ(m_textures.Find(a)->handle, static_cast<uint32_t>(a));
  EXPECT_EQ(m_textures.Find(b)->handle, static_cast<uint32_t>(b));

  m_textures.Delete(a);
  EXPECT_TRUE(m_textures.BucketHasList(bucket));
  EXPECT_EQ(m_textures.GetBucketRecordCount(bucket), 1);
  EXPECT_NE(m_textures.Find(b), nullptr);
  m_textures.Delete(b);
  EXPECT_FALSE(m_textures.BucketHasList(bucket)) << "the last record takes the list with it";

  EXPECT_EQ(m_textures.Load(second.c_str()), b);
  EXPECT_TRUE(m_textures.BucketHasList(bucket));
}

TEST_F(TextureRegistryTest, CleanUpFreesEveryRecordListAndImageOnce) {
  const uint32_t ownBlocks = MemoryTracker::CountBlocksFromFile("PCTexture.cpp");
  const uint32_t images = MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile");
  auto [first, second] = NamesSharingABucket();
  WriteBlob(first);
  WriteBlob(second);
  WriteBlob("data\\other.dds");
  m_textures.Load(first.c_str());
  m_textures.Load(second.c_str());
  m_textures.Load("data\\other.dds");
  m_textures.Load("data\\other.dds");
  m_textures.CreateSystemTexture(32, 32, 0);
  m_textures.CreateRenderTarget();
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), images + 3);

  AssertCounter asserts;
  m_textures.CleanUp();
  EXPECT_FALSE(m_textures.IsInitialised());
  EXPECT_EQ(MemoryTracker::CountBlocksOwnedBy("FileIO::LoadFile"), images);
  // Without the buckets array itself (the fixture's Init made it before the count was taken).
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCTexture.cpp") + 1, ownBlocks);
  EXPECT_EQ(MemoryTracker::ValidateAll(), 0) << "no block was freed twice or overrun";
  EXPECT_EQ(asserts.Count(), 0u);
  m_textures.CleanUp();  // a second CleanUp finds nothing to free
}

TEST(TexturePixels, UploadCopiesRowByRowWhenThePitchIsWider) {
  const int32_t width = 3, height = 2;
  std::vector<uint8_t> source(width * height * 4);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i + 1);

  std::vector<uint8_t> packed(source.size(), 0xEE);
  ASSERT_TRUE(Texture::CopyPixelRows(packed.data(), width * 4, source.data(), width, height));
  EXPECT_EQ(packed, source);

  const int32_t pitch = 16;
  std::vector<uint8_t> padded(pitch * height, 0xEE);
  ASSERT_TRUE(Texture::CopyPixelRows(padded.data(), pitch, source.data(), width, height));
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < pitch; ++x) {
      uint8_t expected = x < width * 4 ? source[y * width * 4 + x] : 0xEE;
      EXPECT_EQ(padded[y * pitch + x], expected) << "row " << y << " byte " << x;
    }
  }

  std::vector<uint8_t> narrow(64, 0xEE);
  EXPECT_FALSE(Texture::CopyPixelRows(narrow.data(), width * 4 - 4, source.data(), width, height));
  EXPECT_FALSE(Texture::CopyPixelRows(narrow.data(), -12, source.data(), width, height));
  EXPECT_EQ(narrow, std::vector<uint8_t>(64, 0xEE));
}

TEST(TexturePixels, DdsSizesMustFitSixteenBits) {
  uint8_t header[24] = {};
  auto put = [&](int offset, uint32_t value) { std::memcpy(header + offset, &value, 4); };
  uint32_t width = 0, height = 0;
  put(12, 64);
  put(16, 128);
  ASSERT_TRUE(Texture::ReadDdsSize(header, sizeof(header), &width, &height));
  EXPECT_EQ(width, 128u);
  EXPECT_EQ(height, 64u);
  put(16, 0x10080);  // would read as 128 if cut to 16 bits
  EXPECT_FALSE(Texture::ReadDdsSize(header, sizeof(header), &width, &height));
  put(16, 128);
  put(12, 0xFFFF0040);
  EXPECT_FALSE(Texture::ReadDdsSize(header, sizeof(header), &width, &height));
  EXPECT_FALSE(Texture::ReadDdsSize(header, 19, &width, &height)) << "too short for the width";
  EXPECT_FALSE(Texture::ReadDdsSize(nullptr, 100, &width, &height));
}

class TextureAppTest : public AppTest {};

TEST_F(TextureAppTest, TheAppLoadsTheFallbackAndLetsGoOfEverythingAtShutdown) {
  WriteBlob("data\\badtexture.dds");
  ASSERT_TRUE(m_harness.Start());
  Texture* textures = m_harness.app().GetTexture();
  EXPECT_TRUE(textures->IsInitialised());
  EXPECT_EQ(textures->GetFallback(), Identifier("data\\badtexture.dds"));
  EXPECT_NE(textures->Find(textures->GetFallback()), nullptr);
  m_harness.Stop();
  EXPECT_FALSE(textures->IsInitialised());
  EXPECT_EQ(textures->GetFallback(), -1);
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCTexture.cpp"), 0u);
}

TEST_F(TextureAppTest, WithoutTheFallbackFileTheFallbackIsNone) {
  ASSERT_TRUE(m_harness.Start());
  EXPECT_EQ(m_harness.app().GetTexture()->GetFallback(), -1);
  EXPECT_TRUE(DebugLogContains("Unable to find file data\\badtexture.dds"));
  m_harness.app().GetTexture()->SetStage(-1);  // binds nothing, and does not fail
}

TEST_F(TextureAppTest, ABackdropIsAnOrdinaryTexture) {
  WriteBlob("data\\sky.dds");
  ASSERT_TRUE(m_harness.Start());
  BackDropFactory* backdrops = m_harness.app().GetBackDropFactory();
  Texture* textures = m_harness.app().GetTexture();
  int32_t backdrop = backdrops->Load("data\\sky.dds");
  EXPECT_EQ(backdrop, Identifier("data\\sky.dds"));
  EXPECT_EQ(textures->Load("data\\sky.dds"), backdrop);
  EXPECT_EQ(textures->Find(backdrop)->refCount, 2);
  backdrops->Hook2(5);
  backdrops->Hook3(5);
  backdrops->Delete(backdrop);
  EXPECT_EQ(textures->Find(backdrop)->refCount, 1);
  textures->Delete(backdrop);
  EXPECT_EQ(textures->Find(backdrop), nullptr);
  EXPECT_EQ(backdrops->Load("data\\nothing.dds"), -1);
}

// ---- On the device.

using content::AreaIs;
using content::kHeight;
using content::kWidth;
using content::Rgb;

// A channel through stage 0's MODULATE2X with the quad's grey 0x80.
int Shown(int channel) {
  int v = (channel * 0x80 * 2 + 127) / 255;
  return v > 255 ? 255 : v;
}
Rgb Shown(uint32_t argb) {
  return {Shown(int(argb >> 16 & 0xFF)), Shown(int(argb >> 8 & 0xFF)), Shown(int(argb & 0xFF))};
}

class TextureDrawTest : public AppTest {
 protected:
  static constexpr uint32_t kFallback = 0xFF2080C0u;
  static constexpr uint32_t kWall = 0xFFC86432u;

  void Start() {
    ASSERT_TRUE(content::SaveSolidDds("data\\badtexture.dds", kFallback, 4));
    std::vector<uint32_t> wall(64 * 32, kWall);
    ASSERT_TRUE(
        ddswriter::SaveDds("data/wall.dds", gfx::D3DFMT_A8R8G8B8, 64, 32, wall.data(), true));
    ASSERT_TRUE(m_harness.Start());
  }
  Texture* textures() { return m_harness.app().GetTexture(); }
  gfx::D3DDevice* device() { return m_harness.app().GetDisplay()->GetDevice(); }

  // The bound stage-0 texture over the whole back buffer (cleared to black first), read back.
  std::vector<uint32_t> DrawBound() {
    Display* display = m_harness.app().GetDisplay();
    EXPECT_EQ(display->BeginScene(), 1);
    const gfx::D3DVIEWPORT9 full = {0, 0, kWidth, kHeight, 0.0f, 1.0f};
    device()->SetViewport(&full);
    device()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER, 0xFF000000u, 1.0f, 0);
    ShaderSet* shaders = display->GetShaderSet();
    shaders->SetColourMultiplier(Vector4(1, 1, 1, 1));
    shaders->SelectScreenShader();
    RenderStateCache::SetRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_ALWAYS);
    RenderStateCache::SetRenderState(gfx::D3DRS_CULLMODE, gfx::D3DCULL_NONE);
    RenderStateCache::SetRenderState(gfx::D3DRS_ALPHATESTENABLE, 0);
    RenderStateCache::SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
    RenderStateCache::SetSamplerState(0, gfx::D3DSAMP_MINFILTER, gfx::D3DTEXF_POINT);
    RenderStateCache::SetSamplerState(0, gfx::D3DSAMP_MAGFILTER, gfx::D3DTEXF_POINT);
    struct Vertex {
      float x, y, z, rhw;
      uint32_t colour;
      float u, v;
    };
    const uint32_t grey = 0xFF808080u;
    const Vertex quad[4] = {{0, 0, 0, 1, grey, 0, 0},
                            {kWidth, 0, 0, 1, grey, 1, 0},
                            {0, kHeight, 0, 1, grey, 0, 1},
                            {kWidth, kHeight, 0, 1, grey, 1, 1}};
    EXPECT_EQ(device()->DrawPrimitiveUP(gfx::D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex)),
              gfx::D3D_OK);
    display->EndScene();
    return content::ReadBack();
  }
};

TEST_F(TextureDrawTest, LoadedTexturesTakeTheirSizeFromTheHeader) {
  Start();
  int32_t wall = textures()->Load("data\\wall.dds");
  ASSERT_NE(textures()->Find(wall), nullptr);
  EXPECT_NE(textures()->Find(wall)->texture, nullptr);
  EXPECT_EQ(textures()->GetWidth(wall), 64);
  EXPECT_EQ(textures()->GetHeight(wall), 32);
  textures()->SetStage(wall);
  EXPECT_TRUE(AreaIs(DrawBound(), 4, 4, kWidth - 4, kHeight - 4, Shown(kWall)));
}

TEST_F(TextureDrawTest, MinusOneAndUnknownHandlesBindTheFallback) {
  Start();
  int32_t wall = textures()->Load("data\\wall.dds");
  for (int32_t handle : {-1, wall + 91, 77}) {
    SCOPED_TRACE(handle);
    textures()->SetStage(wall);
    textures()->SetStage(handle);
    EXPECT_TRUE(AreaIs(DrawBound(), 4, 4, kWidth - 4, kHeight - 4, Shown(kFallback)));
  }
}

TEST_F(TextureDrawTest, AFileTheDeviceRefusesStaysRegisteredWithoutATexture) {
  WriteFileText("data/broken.dds", "DDS but nothing that follows makes sense");
  Start();
  int32_t broken = textures()->Load("data\\broken.dds");
  ASSERT_NE(broken, -1);
  TextureData* record = textures()->Find(broken);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->texture, nullptr);
  EXPECT_EQ(textures()->GetWidth(broken), 0);
  EXPECT_EQ(textures()->GetHeight(broken), 0);
  EXPECT_EQ(textures()->Load("data\\broken.dds"), broken);
  EXPECT_EQ(record->refCount, 2);
}

TEST_F(TextureDrawTest, SystemTexturesShowWhatWasPaintedOnceUploaded) {
  Start();
  const int32_t poolBefore = device()->LiveDefaultPoolResources();
  int32_t page = textures()->CreateSystemTexture(128, 64, 0);
  ASSERT_NE(page, -1);
  TextureData* record = textures()->Find(page);
  ASSERT_NE(record->texture, nullptr);
  ASSERT_NE(record->staging, nullptr);
  auto* pixels = reinterpret_cast<uint32_t*>(textures()->GetPixels(page));
  const uint32_t top = 0xFFFF4000u, bottom = 0xFF0040FFu;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x) pixels[y * 128 + x] = y < 32 ? top : bottom;

  // While its staging texture cannot be locked, an upload sends nothing.
  gfx::D3DLOCKED_RECT held = {};
  ASSERT_EQ(record->staging->LockRect(0, &held, nullptr, 0), gfx::D3D_OK);
  device()->ResetCallCounts();
  textures()->UploadPixels(page);
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::UpdateTexture), 0u);
  record->staging->UnlockRect(0);

  textures()->UploadPixels(page);
  EXPECT_EQ(device()->GetCallCount(gfx::DeviceCall::UpdateTexture), 1u);
  textures()->SetStage(page);
  std::vector<uint32_t> shown = DrawBound();
  EXPECT_TRUE(AreaIs(shown, 4, 4, kWidth - 4, 236, Shown(top)));
  EXPECT_TRUE(AreaIs(shown, 4, 244, kWidth - 4, kHeight - 4, Shown(bottom)));

  // The upload let go of its lock, and the first Delete (once unbound) frees the device texture.
  ASSERT_EQ(record->staging->LockRect(0, &held, nullptr, 0), gfx::D3D_OK);
  record->staging->UnlockRect(0);
  textures()->SetStage(-1);
  textures()->Delete(page);
  EXPECT_EQ(device()->LiveDefaultPoolResources(), poolBefore);
}

TEST_F(TextureDrawTest, EveryTextureIsMadeAgainAfterALostDevice) {
  for (bool resetFails : {false, true}) {
    SCOPED_TRACE(resetFails ? "a new device" : "a reset");
    Start();
    int32_t wall = textures()->Load("data\\wall.dds");
    int32_t page = textures()->CreateSystemTexture(16, 16, 0);
    int32_t target = textures()->CreateRenderTarget();
    ASSERT_NE(textures()->Find(target)->texture, nullptr);

    m_harness.faults().ForceDeviceLost(resetFails);
    m_harness.RunFrames(3);
    EXPECT_EQ(m_harness.app().GetDisplay()->GetModeChanged(), 0) << "the device came back";
    EXPECT_NE(textures()->Find(wall)->texture, nullptr);
    EXPECT_NE(textures()->Find(page)->texture, nullptr);
    EXPECT_NE(textures()->Find(page)->staging, nullptr);
    EXPECT_NE(textures()->Find(target)->texture, nullptr);
    EXPECT_EQ(textures()->GetWidth(wall), 64);

    textures()->SetStage(wall);
    EXPECT_TRUE(AreaIs(DrawBound(), 4, 4, kWidth - 4, kHeight - 4, Shown(kWall)))
        << "rebuilt from the kept file image";
    textures()->SetStage(-1);
    EXPECT_TRUE(AreaIs(DrawBound(), 4, 4, kWidth - 4, kHeight - 4, Shown(kFallback)));
    auto* pixels = reinterpret_cast<uint32_t*>(textures()->GetPixels(page));
    for (int i = 0; i < 16 * 16; ++i) pixels[i] = 0xFF00FF00u;
    textures()->UploadPixels(page);
    textures()->SetStage(page);
    EXPECT_TRUE(AreaIs(DrawBound(), 4, 4, kWidth - 4, kHeight - 4, Shown(0xFF00FF00u)));
    m_harness.Stop();
  }
}

TEST_F(TextureDrawTest, TexturesCanBeFreedAfterTheDisplayWentDown) {
  Start();
  Texture* textures = m_harness.app().GetTexture();
  textures->Load("data\\wall.dds");
  textures->CreateSystemTexture(8, 8, 0);
  textures->CreateRenderTarget();
  // Ending from game code takes the display down first (ExitApp); ShutdownApp then frees the
  // textures of a device that is gone.
  m_harness.app().ExitApp();
  EXPECT_EQ(m_harness.app().GetDisplay()->GetDevice(), nullptr);
  m_harness.Stop();
  EXPECT_FALSE(textures->IsInitialised());
  EXPECT_EQ(MemoryTracker::CountBlocksFromFile("PCTexture.cpp"), 0u);
  EXPECT_EQ(gfx::TestHooks::LiveDeviceCount(), 0);
}

}  // namespace
