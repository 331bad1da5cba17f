// The render window's mesh lists: the slots the scene and the node walks fill, the opaque pass,
// the blended pass sorted together with the particle systems, and the reflection pass that draws
// the effect lists into the window's render target.

#include <algorithm>
#include <cfloat>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderStates.h"
#include "Engine/PC/PCRenderWindow.h"

using namespace gfx;

namespace {

const char* const kListOwners[RenderWindow::kMeshListCount] = {
    "RenderWindow::GetDiffuseMeshSlot", "RenderWindow::GetAlphaMeshSlot",
    "RenderWindow::GetEffectMeshSlot", "RenderWindow::GetAlphaEffectMeshSlot"};
const char* const kListMissing[RenderWindow::kMeshListCount] = {
    "m_pDiffuseMeshList!=NULL", "m_pAlphaMeshList!=NULL", "m_pEffectMeshList!=NULL",
    "m_pAlphaEffectMeshList!=NULL"};
const char* const kListFull[RenderWindow::kMeshListCount] = {
    "m_NumDiffuseMeshsAddedToList<=MAX_MESHS", "m_NumAlphaMeshsAddedToList<=MAX_MESHS",
    "m_NumEffectMeshsAddedToList<=MAX_MESHS", "m_NumAlphaEffectMeshsAddedToList<=MAX_MESHS"};

// The geometry a record draws, or null (reported) when the record names none.
GeoObject* ObjectOf(const MeshRecord& record) {
  GeoObject* object = record.node ? record.node->geoObject : nullptr;
  if (!object) AssertReport("m_pObject!=NULL", __FILE__, __LINE__);
  return object;
}

// The view-space depth of a local point placed by `world` (identity when null).
float ViewDepth(const Vector4& local, const Matrix* world, const Matrix& view) {
  Vector4 p = local;
  if (world) TransformVector4(p, *world);
  TransformVector4(p, view);
  // A broken matrix must not break the sort's ordering; such an entry goes last.
  return p.z == p.z ? p.z : -FLT_MAX;
}

}  // namespace

// ---- Slots

MeshRecord* RenderWindow::GetMeshSlot(MeshList list) {
  MeshRecord*& records = m_meshLists[list];
  if (!records) {
    const size_t bytes = sizeof(MeshRecord) * MAX_MESHS;
    void* block = TrackedAlloc(kListOwners[list], bytes);
    if (!block) {
      AssertReport(kListMissing[list], __FILE__, __LINE__);
      return nullptr;
    }
    std::memset(block, 0, bytes);
    records = static_cast<MeshRecord*>(block);
  }
  if (m_meshCounts[list] >= MAX_MESHS) {
    m_meshListFull[list].Raise(kListFull[list], __FILE__, __LINE__);
    return nullptr;
  }
  MeshRecord* record = &records[m_meshCounts[list]++];
  *record = MeshRecord();
  return record;
}

void RenderWindow::FreeMeshLists() {
  for (int32_t i = 0; i < kMeshListCount; ++i) {
    if (m_meshLists[i]) TrackedFree("RenderWindow::~RenderWindow", m_meshLists[i]);
    m_meshLists[i] = nullptr;
    m_meshCounts[i] = 0;
  }
}

// ---- Reflection target

void RenderWindow::CreateReflectionTexture() {
  if (m_renderTargets) return;
  m_renderTargets = TrackedNew<RenderTargetSet>("RenderWindow::CreateReflectionTexture");
  if (!m_renderTargets) return;
  RenderTarget::Init(m_renderTargets);
  m_reflectionId = RenderTarget::Create(m_renderTargets);
}

int32_t RenderWindow::GetReflectionTexture() {
  if (!m_renderTargets) {
    AssertReport("m_pRenderTargets!=NULL", __FILE__, __LINE__);
    return -1;
  }
  return RenderTarget::GetTexture(m_renderTargets, m_reflectionId);
}

TargetContainer* RenderWindow::GetReflectionTarget(int32_t id) {
  return RenderTarget::Find(m_renderTargets, id);
}

void RenderWindow::FreeRenderTargets() {
  if (!m_renderTargets) return;
  if (RenderTarget::Find(m_renderTargets, m_reflectionId))
    RenderTarget::Delete(m_renderTargets, m_reflectionId);
  RenderTarget::CleanUp(m_renderTargets);
  TrackedDelete("RenderWindow::FreeRenderTargets", m_renderTargets);
  m_renderTargets = nullptr;
  m_reflectionId = -1;
}

// ---- Sorting

float RenderWindow::MeshSortKey(const MeshRecord& record, const Matrix& view) {
  const GeoObject* object = record.node ? record.node->geoObject : nullptr;
  Vector4 centre(0.0f, 0.0f, 0.0f, 1.0f);
  if (object) {
    const Vector4& lo = object->GetBoxMin();
    const Vector4& hi = object->GetBoxMax();
    centre.Set((lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f, 1.0f);
  }
  return ViewDepth(centre, &record.world, view);
}

float RenderWindow::ParticleSortKey(const BaseParticleSystem& system, const Matrix& view) {
  Vector4 point = system.GetEmitterPosition();
  point.w = 1.0f;
  return ViewDepth(point, &system.GetEmitterMatrix(), view);
}

AlphaSortEntry* RenderWindow::SortEntries(int32_t n) {
  if (n <= m_sortCapacity) return m_sortEntries;
  void* block = TrackedRealloc("RenderWindow::RenderListAlpha", m_sortEntries,
                               sizeof(AlphaSortEntry) * static_cast<size_t>(n));
  if (!block) return nullptr;
  m_sortEntries = static_cast<AlphaSortEntry*>(block);
  m_sortCapacity = n;
  return m_sortEntries;
}

void RenderWindow::SortByKey(AlphaSortEntry* entries, int32_t count) {
  // Farthest first; entries at one depth keep their submission order, so a frame draws the
  // same way every time. The order is part of the key rather than left to a stable sort, whose
  // scratch buffer would be an allocation every frame. A depth that is no number (a degenerate
  // placement) sorts as the nearest, so that the ordering stays a strict one.
  for (int32_t i = 0; i < count; ++i) {
    entries[i].order = i;
    if (entries[i].key != entries[i].key) entries[i].key = -FLT_MAX;
  }
  std::sort(entries, entries + count, [](const AlphaSortEntry& a, const AlphaSortEntry& b) {
    return a.key != b.key ? a.key > b.key : a.order < b.order;
  });
}

int32_t RenderWindow::AddMeshEntries(MeshList list, const Matrix& view, AlphaSortEntry* entries) {
  const int32_t count = m_meshCounts[list];
  for (int32_t i = 0; i < count; ++i) {
    const MeshRecord& record = m_meshLists[list][i];
    entries[i] = AlphaSortEntry{MeshSortKey(record, view), 0, &record, nullptr};
  }
  return count;
}

// ---- Passes

void RenderWindow::RenderDiffuseList() {
  const int32_t count = m_meshCounts[kDiffuse];
  if (count == 0) return;
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
  const GeoDrawContext context = MakeDrawContext();
  for (int32_t i = 0; i < count; ++i) {
    const MeshRecord& record = m_meshLists[kDiffuse][i];
    if (GeoObject* object = ObjectOf(record)) object->DrawSolid(record, 0, context);
  }
}

void RenderWindow::RenderListAlpha() {
  const int32_t systems = m_particles.GetCount();
  const int32_t meshes = m_meshCounts[kAlpha];
  if (systems + meshes == 0) return;
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 0);
  if (D3DDevice* device = GetApp().GetDisplay()->GetDevice())
    ReportD3DError(device->SetVertexShader(nullptr));
  RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);

  AlphaSortEntry* entries = SortEntries(systems + meshes);
  if (!entries) {
    AssertReport("pAlphaList!=NULL", __FILE__, __LINE__);
  } else {
    const Matrix view = *GetApp().GetDisplay()->GetViewMatrix();
    int32_t n = AddMeshEntries(kAlpha, view, entries);
    for (int32_t i = 0; i < systems; ++i) {
      BaseParticleSystem* system = m_particles[i].system;
      const float key = system ? ParticleSortKey(*system, view) : -FLT_MAX;
      entries[n++] = AlphaSortEntry{key, 1, nullptr, system};
    }
    SortByKey(entries, n);
    const GeoDrawContext context = MakeDrawContext();
    for (int32_t i = 0; i < n; ++i) {
      const AlphaSortEntry& entry = entries[i];
      if (entry.kind == 1) {
        if (entry.system && entry.system->HasLiveParticles())
          ParticleRenderer::Draw(entry.system, this);
        continue;
      }
      GeoObject* object = ObjectOf(*entry.mesh);
      if (!object) continue;
      // A double-sided mesh shows its solid strips through the blended ones.
      if ((entry.mesh->flags & MeshRecord::kNoCulling) && object->HasSolidStrips())
        object->DrawSolid(*entry.mesh, 1, context);
      object->DrawAlpha(*entry.mesh, context);
    }
  }
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
}

void RenderWindow::RenderEffects() {
  if (m_meshCounts[kEffect] == 0 && m_meshCounts[kAlphaEffect] == 0) return;
  RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
  RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
  RenderStateCache::SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);

  if (m_renderTargets) {
    RenderTarget::SaveTargets(m_renderTargets);
    RenderTarget::Set(m_renderTargets, m_reflectionId);
  } else {
    // No target was made for the window: the pass draws into the back buffer.
    DebugLog().Write("Unable to set render target!\n");
  }
  RenderTarget::Clear();

  const GeoDrawContext context = MakeDrawContext();
  for (int32_t i = 0; i < m_meshCounts[kEffect]; ++i) {
    const MeshRecord& record = m_meshLists[kEffect][i];
    if (GeoObject* object = ObjectOf(record)) object->DrawSolid(record, 0, context);
  }

  const int32_t alphaCount = m_meshCounts[kAlphaEffect];
  if (alphaCount > 0) {
    RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 0);
    RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    AlphaSortEntry* entries = SortEntries(alphaCount);
    if (!entries) {
      AssertReport("pAlphaList!=NULL", __FILE__, __LINE__);
    } else {
      const Matrix view = *GetApp().GetDisplay()->GetViewMatrix();
      const int32_t n = AddMeshEntries(kAlphaEffect, view, entries);
      SortByKey(entries, n);
      for (int32_t i = 0; i < n; ++i)
        if (GeoObject* object = ObjectOf(*entries[i].mesh))
          object->DrawAlpha(*entries[i].mesh, context);
    }
    m_meshCounts[kAlphaEffect] = 0;
    RenderStateCache::SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    RenderStateCache::SetRenderState(D3DRS_ZWRITEENABLE, 1);
    RenderStateCache::SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
  }

  if (m_renderTargets) RenderTarget::RestoreTargets(m_renderTargets);
  RenderTarget::Clear();
}
