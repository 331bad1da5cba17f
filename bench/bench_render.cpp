// The main-thread cost of drawing geometry: one textured mesh of 1,000 triangles (a geometry
// object made from a mesh record in memory, as the geometry loader makes them) drawn 500 times a
// frame through GeoObject::DrawSolid, each instance with its own draw matrix, on the headless
// device the tests use. One iteration is one frame: BeginScene, a clear, the 500 draws,
// EndScene and Present.
//
// The CPU time Google Benchmark reports is the calling thread's (CLOCK_THREAD_CPUTIME_ID): the
// main thread's, without the software rasteriser's own threads. Run with
// --benchmark_repetitions=N to get its median. The render-state cache's set is timed alone as
// well: a value the shadow already holds (no device call) and a value that changes every call.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "Engine/FileImage.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCMeshRecord.h"
#include "Engine/PC/PCRenderStates.h"
#include "tests/support/AppHarness.h"
#include "tests/support/DdsWriter.h"

namespace {

// A 25 × 20 grid of squares, two triangles each, over -1..1 in x and y: 1,000 triangles.
constexpr int kColumns = 25;
constexpr int kRows = 20;
constexpr int kTriangles = kColumns * kRows * 2;
constexpr int kInstances = 500;
static_assert(kTriangles == 1000, "the mesh of the benchmark");

std::vector<uint8_t> GridMesh() {
  std::vector<GeoVertex> vertices;
  for (int r = 0; r <= kRows; ++r) {
    for (int c = 0; c <= kColumns; ++c) {
      const float u = float(c) / kColumns, v = float(r) / kRows;
      vertices.push_back(GeoVertex{{-1.0f + 2.0f * u, 1.0f - 2.0f * v, 0.5f},
                                   {0.0f, 0.0f, 1.0f},
                                   0xFF808080u,
                                   u,
                                   v});
    }
  }
  std::vector<uint16_t> indices;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const auto i = static_cast<uint16_t>(r * (kColumns + 1) + c);
      const auto below = static_cast<uint16_t>(i + kColumns + 1);
      for (uint16_t k : {i, uint16_t(i + 1), below, uint16_t(i + 1), uint16_t(below + 1), below})
        indices.push_back(k);
    }
  }
  const GeoStrip strip{0, 0, 0, static_cast<uint32_t>(indices.size())};

  GeoMeshFileRecord record{};
  const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  std::memcpy(record.matrix, identity, sizeof(identity));
  std::vector<uint8_t> image(sizeof(record));
  auto append = [&image](const void* data, size_t size) {
    const auto offset = static_cast<uint32_t>(image.size());
    const auto* p = static_cast<const uint8_t*>(data);
    image.insert(image.end(), p, p + size);
    while (image.size() % 4) image.push_back(0);
    return offset;
  };
  record.vertexOffset = append(vertices.data(), vertices.size() * sizeof(GeoVertex));
  record.vertexCount = static_cast<uint32_t>(vertices.size());
  record.indexOffset = append(indices.data(), indices.size() * sizeof(uint16_t));
  record.indexCount = static_cast<uint32_t>(indices.size());
  record.solidStripOffset = append(&strip, sizeof(strip));
  record.solidStripCount = 1;
  std::memcpy(image.data(), &record, sizeof(record));
  return image;
}

// The application started headless once for every benchmark of this program, with the mesh and
// its texture.
struct RenderFixture {
  AppHarness harness;  // a fresh temporary working folder, scripted system and input
  std::vector<uint8_t> image = GridMesh();
  std::unique_ptr<GeoObject> mesh;
  SceneNode node;
  int32_t textures[1] = {-1};
  std::vector<MeshRecord> entries;
  bool ready = false;

  RenderFixture() {
    std::vector<uint32_t> texels(64 * 64);
    for (int i = 0; i < 64 * 64; ++i)
      texels[i] = ((i / 64 / 8 + i % 64 / 8) % 2) ? 0xFFC08040u : 0xFF4080C0u;
    if (!ddswriter::SaveDds("data/checker.dds", gfx::D3DFMT_A8R8G8B8, 64, 64, texels.data(),
                            true) ||
        !harness.Start())
      return;
    textures[0] = harness.app().GetTexture()->Load("data\\checker.dds");
    mesh = std::make_unique<GeoObject>();
    if (textures[0] == -1 ||
        mesh->Create(FileImage(image.data(), image.size(), "bench.geo"), 0, 1) != 1)
      return;
    node.geoObject = mesh.get();
    node.textures = textures;
    node.textureCount = 1;
    // 25 × 20 instances, each filling its own cell of the screen.
    for (int i = 0; i < kInstances; ++i) {
      MeshRecord entry;
      entry.node = &node;
      entry.drawMatrix.Identity();
      entry.drawMatrix.m[0] = 1.0f / kColumns;
      entry.drawMatrix.m[5] = 1.0f / kRows;
      entry.drawMatrix.m[12] = -1.0f + (2.0f * float(i % kColumns) + 1.0f) / kColumns;
      entry.drawMatrix.m[13] = 1.0f - (2.0f * float(i / kColumns) + 1.0f) / kRows;
      entry.world.Identity();
      entries.push_back(entry);
    }
    ready = true;
  }
  ~RenderFixture() { mesh.reset(); }

  // One frame; with `covered`, the share of the back buffer the meshes covered (read before
  // the Present), so that the figures are known to come from frames that drew.
  void Frame(double* covered = nullptr) {
    Display* display = harness.app().GetDisplay();
    display->BeginScene();
    display->GetDevice()->Clear(0, nullptr, gfx::D3DCLEAR_TARGET | gfx::D3DCLEAR_ZBUFFER,
                                0xFF000000u, 1.0f, 0);
    for (const MeshRecord& entry : entries) mesh->DrawSolid(entry, 0);
    if (covered) {
      std::vector<uint32_t> pixels(640 * 480);
      display->GetDevice()->ReadBackBuffer(pixels.data(), 640, 480);
      int drawn = 0;
      for (uint32_t p : pixels) drawn += (p & 0xFFFFFFu) != 0;
      *covered = double(drawn) / double(pixels.size());
    }
    display->EndScene();
    display->Present();
  }
};

RenderFixture* g_fixture = nullptr;

void BM_FrameOf500Meshes(benchmark::State& state) {
  if (!g_fixture || !g_fixture->ready) {
    state.SkipWithError("the application did not start");
    return;
  }
  for (int i = 0; i < 10; ++i) g_fixture->Frame();  // programs linked, buffers warm
  double covered = 0.0;
  g_fixture->Frame(&covered);
  if (covered < 0.99) {
    state.SkipWithError("the meshes did not cover the screen");
    return;
  }
  for (auto _ : state) g_fixture->Frame();
  state.counters["draws_per_frame"] = kInstances;
  state.counters["triangles_per_frame"] = double(kInstances) * kTriangles;
}

// A value the shadow already holds: one comparison, no device call.
void BM_SetRenderStateRedundant(benchmark::State& state) {
  if (!g_fixture || !g_fixture->ready) {
    state.SkipWithError("the application did not start");
    return;
  }
  RenderStateCache::SetRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_LESSEQUAL);
  for (auto _ : state) RenderStateCache::SetRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_LESSEQUAL);
}

// A value that differs from the shadow every time: each set reaches the device.
void BM_SetRenderStateChanging(benchmark::State& state) {
  if (!g_fixture || !g_fixture->ready) {
    state.SkipWithError("the application did not start");
    return;
  }
  uint32_t value = gfx::D3DCMP_LESSEQUAL;
  for (auto _ : state) {
    value = value == gfx::D3DCMP_LESSEQUAL ? gfx::D3DCMP_ALWAYS : gfx::D3DCMP_LESSEQUAL;
    RenderStateCache::SetRenderState(gfx::D3DRS_ZFUNC, value);
  }
  RenderStateCache::SetRenderState(gfx::D3DRS_ZFUNC, gfx::D3DCMP_LESSEQUAL);
}

}  // namespace

BENCHMARK(BM_FrameOf500Meshes)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SetRenderStateRedundant)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_SetRenderStateChanging)->Unit(benchmark::kNanosecond);

int main(int argc, char** argv) {
  // Headless, as the tests run: SDL's offscreen video and dummy audio drivers, set before SDL
  // or anything else reads them.
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  {
    RenderFixture fixture;
    g_fixture = &fixture;
    benchmark::RunSpecifiedBenchmarks();
    g_fixture = nullptr;
  }
  benchmark::Shutdown();
  return 0;
}
