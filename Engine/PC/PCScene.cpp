#include "Engine/PC/PCScene.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "Engine/Assert.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/ParticleSystem.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCGeoObject.h"
#include "Engine/PC/PCNodeContainer.h"
#include "Engine/PC/PCNodeFactory.h"
#include "Engine/PC/PCParticleFactory.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Engine/PC/PCTexture.h"

namespace {

// "<name>.geo" and "<name>.ps2" are formatted into a buffer of this size; longer names are
// refused with the file.
constexpr size_t kNameBufferSize = 256;
constexpr size_t kMaxNodeNameLength = kNameBufferSize - sizeof(".geo");

void* AllocZeroed(const AllocOwner& owner, size_t bytes) {
  void* block = TrackedAlloc(owner, bytes);
  if (block) std::memset(block, 0, bytes);
  return block;
}

NodeFactory* Nodes() { return GetApp().GetNodeFactory(); }
ParticleFactory* Particles() { return GetApp().GetParticleFactory(); }

// Whether a packed name stands for "none": a first character that is a space.
bool IsNoName(const char* name) { return name[0] == ' '; }

}  // namespace

// ---- Loading

int32_t Scene::Load(const char* name) {
  CleanUp();
  if (!name) return 0;
  int32_t size = 0;
  m_pLoadedFile = FileIO::LoadFile(name, &size);
  if (!m_pLoadedFile) {
    DebugLog().Write("Could not find %s\n", name);
    return 0;
  }
  m_image = FileImage(m_pLoadedFile, static_cast<size_t>(size), name);
  bool loaded = ValidateFile();
  const ScnFileHeader* header = m_image.Get<ScnFileHeader>(0);
  if (loaded && m_objectCount > 0) {
    m_objects = static_cast<GeoMesh**>(
        AllocZeroed("Scene::Load", sizeof(GeoMesh*) * static_cast<size_t>(m_objectCount)));
    loaded = m_objects != nullptr;
    const uint32_t* table =
        loaded ? m_image.GetArray<uint32_t>(header->objectTableOffset, m_objectCount) : nullptr;
    for (int32_t i = 0; loaded && i < m_objectCount; ++i)
      loaded = CreateSceneObject(table[i], i);
  }
  loaded = loaded && CreateGameNodes();
  if (!loaded) {
    DebugLog().Write("Refused scene file %s\n", name);
    CleanUp();
    return 0;
  }
  return 1;
}

bool Scene::ValidateFile() {
  const ScnFileHeader* header = m_image.Get<ScnFileHeader>(0, "scene header");
  if (!header) return false;
  if (header->type != SCENE_TYPE) {
    AssertReport("m_pLoadedFile->Type==SCENE_TYPE", __FILE__, __LINE__);
    return false;
  }
  if (header->version != VERSION_NUM) {
    AssertReport("m_pLoadedFile->Version==VERSION_NUM", __FILE__, __LINE__);
    return false;
  }
  // A negative count is read as none, as drawing reads it.
  m_objectCount = header->objectCount > 0 ? header->objectCount : 0;
  if (m_objectCount > 0 &&
      !m_image.GetArray<uint32_t>(header->objectTableOffset, m_objectCount, "object table"))
    return false;
  return ValidateGameNodes() && ValidatePlacements();
}

bool Scene::ValidateGameNodes() {
  const ScnFileHeader* header = m_image.Get<ScnFileHeader>(0);
  const int32_t count = header->nodeCount;
  if (count <= 0) return true;
  // The matrices bound the count by the file's size before the strings are walked.
  if (!m_image.GetStrided(header->nodeMatricesOffset, count, sizeof(ScnMatrix),
                          "game-node matrices"))
    return false;
  const struct {
    uint32_t offset;
    const char* what;
  } lists[3] = {{header->nodeNamesOffset, "game-node name"},
                {header->nodeGeometryOffset, "game-node geometry name"},
                {header->nodeParticlesOffset, "game-node particle name"}};
  for (const auto& list : lists) {
    uint64_t cursor = list.offset;
    for (int32_t i = 0; i < count; ++i) {
      const char* text = m_image.GetString(cursor, list.what);
      if (!text) return false;
      const size_t length = std::strlen(text);
      if (list.offset != header->nodeNamesOffset && length > kMaxNodeNameLength) {
        DebugLog().Write("%s: %s %d is %zu characters long\n", m_image.Name(), list.what, i,
                         length);
        return false;
      }
      cursor += length + 1;
    }
  }
  return true;
}

bool Scene::ValidatePlacements() {
  const ScnFileHeader* header = m_image.Get<ScnFileHeader>(0);
  m_matrixCount = header->matrixCount;
  m_matrixTableOffset = header->matrixTableOffset;
  if (m_matrixCount != 0 &&
      !m_image.GetStrided(m_matrixTableOffset, m_matrixCount, sizeof(ScnMatrix),
                          "placement matrices"))
    return false;
  m_placementCount = 0;
  m_placementOffset = 0;
  if (header->placementFlag == 0) return true;
  ScnPlacementRecord list;
  if (!m_image.Read(header->placementRecordOffset, &list, "placement list")) return false;
  const unsigned char* entries =
      m_image.GetStrided(list.entriesOffset, list.count, sizeof(ScnPlacementEntry),
                         "placement entries");
  if (!entries) return false;
  for (uint32_t i = 0; i < list.count; ++i) {
    ScnPlacementEntry entry;
    std::memcpy(&entry, entries + i * sizeof(ScnPlacementEntry), sizeof(entry));
    if (entry.object >= static_cast<uint32_t>(m_objectCount) || entry.matrix >= m_matrixCount) {
      DebugLog().Write("%s: placement %u names object %u of %d and matrix %u of %u\n",
                       m_image.Name(), i, entry.object, m_objectCount, entry.matrix,
                       m_matrixCount);
      return false;
    }
  }
  m_placementCount = list.count;
  m_placementOffset = list.entriesOffset;
  return true;
}

bool Scene::CreateSceneObject(uint32_t recordOffset, int32_t index) {
  GeoMesh* mesh = GeoMesh::Create(m_image, recordOffset, 0, 0, "Scene::CreateSceneObject");
  if (!mesh) return false;
  m_objects[index] = mesh;
  if (mesh->geoObject && (mesh->geoObject->GetFlags() & GeoObject::kWater)) m_water = 1;
  return true;
}

bool Scene::CreateGameNodes() {
  const ScnFileHeader* header = m_image.Get<ScnFileHeader>(0);
  const int32_t count = header->nodeCount;
  if (count <= 0) return true;
  m_gameNodes = static_cast<GameNode*>(
      AllocZeroed("Scene::Load", sizeof(GameNode) * static_cast<size_t>(count)));
  if (!m_gameNodes) return false;
  m_NumGameNodes = count;
  // The four lists were walked by ValidateGameNodes: every string ends inside the image.
  uint64_t names = header->nodeNamesOffset;
  uint64_t geometry = header->nodeGeometryOffset;
  uint64_t particles = header->nodeParticlesOffset;
  uint64_t matrices = header->nodeMatricesOffset;
  char buffer[kNameBufferSize];
  for (int32_t i = 0; i < count; ++i) {
    GameNode& node = *new (&m_gameNodes[i]) GameNode();
    node.geometry = -1;
    node.particleTemplate = -1;
    node.particleSystem = -1;
    node.flags = 0;
    node.tint.Set(1.0f, 1.0f, 1.0f, 1.0f);
    ScnMatrix matrix;
    m_image.Read(matrices, &matrix);
    std::memcpy(node.matrix.m, matrix.m, sizeof(matrix.m));
    node.nameOffset = static_cast<uint32_t>(names);
    node.particleNameOffset = static_cast<uint32_t>(particles);

    const char* geometryName = m_image.GetString(geometry);
    const char* particleName = m_image.GetString(particles);
    if (!IsNoName(geometryName) && Nodes()) {
      std::snprintf(buffer, sizeof(buffer), "%s.geo", geometryName);
      node.geometry = Nodes()->Add(buffer);
    }
    if (!IsNoName(particleName) && Particles()) {
      std::snprintf(buffer, sizeof(buffer), "%s.ps2", particleName);
      node.particleTemplate = Particles()->Add(buffer);
    }
    names += std::strlen(m_image.GetString(names)) + 1;
    geometry += std::strlen(geometryName) + 1;
    particles += std::strlen(particleName) + 1;
    matrices += sizeof(ScnMatrix);
  }
  return true;
}

// ---- Game nodes

const char* Scene::GetGameNode(int32_t index) {
  if (index < 0 || index >= m_NumGameNodes) {
    AssertReport("ID<(s32)m_NumGameNodes", __FILE__, __LINE__);
    return nullptr;
  }
  return m_image.GetString(m_gameNodes[index].nameOffset);
}

GameNode* Scene::GetGameNodeRecord(int32_t index) {
  if (index < 0 || index >= m_NumGameNodes) {
    AssertReport("ID<(s32)m_NumGameNodes", __FILE__, __LINE__);
    return nullptr;
  }
  return &m_gameNodes[index];
}

GameNode* Scene::FindGameNode(const char* name) {
  const int32_t index = FindGameNodeIndex(name);
  return index >= 0 ? &m_gameNodes[index] : nullptr;
}

int32_t Scene::FindGameNodeIndex(const char* name) const {
  if (!name || !m_gameNodes) return -1;
  for (int32_t i = 0; i < m_NumGameNodes; ++i) {
    const char* nodeName = m_image.GetString(m_gameNodes[i].nameOffset);
    if (nodeName && std::strcmp(nodeName, name) == 0) return i;
  }
  return -1;
}

const char* Scene::GetGameNodeName(const GameNode* node) const {
  if (!node || !m_gameNodes || node < m_gameNodes || node >= m_gameNodes + m_NumGameNodes)
    return nullptr;
  return m_image.GetString(node->nameOffset);
}

const char* Scene::GetGameNodeParticleName(const GameNode* node) const {
  if (!GetGameNodeName(node)) return nullptr;
  return m_image.GetString(node->particleNameOffset);
}

// ---- Time

void Scene::AdvanceTime(int32_t) {
  App& app = GetApp();
  if (app.GetPause() != 0) return;
  // The step is scaled by the single-precision 0.08 in double precision, as it always was.
  m_time = static_cast<float>(static_cast<double>(m_time) +
                              static_cast<double>(app.GetTimeStep()) * static_cast<double>(0.08f));
}

// ---- Windows

RenderWindow* Scene::FindAttachedWindow() const {
  if (m_windowSerial == 0) return nullptr;
  RenderWindow* found = GetApp().FindWindow(m_windowId);
  // A window's owner may give it any id, and a new window may take a deleted one's place in
  // memory: only the very window the scene was attached to will do.
  return found && found->GetSerial() == m_windowSerial ? found : nullptr;
}

void Scene::DeleteParticleSystems() {
  RenderWindow* window = FindAttachedWindow();
  for (int32_t i = 0; m_gameNodes && i < m_NumGameNodes; ++i) {
    GameNode& node = m_gameNodes[i];
    if (node.particleSystem != -1 && window) window->DeleteParticleSystem(node.particleSystem);
    node.particleSystem = -1;
  }
}

void Scene::AttachToWindow(RenderWindow* window) {
  if (!window) return;
  // A second attachment starts the systems afresh: those of the first go, wherever they run.
  DeleteParticleSystems();
  for (int32_t i = 0; m_gameNodes && i < m_NumGameNodes; ++i) {
    GameNode& node = m_gameNodes[i];
    if (node.particleTemplate != -1)
      node.particleSystem = window->AddParticleSystem(node.particleTemplate, node.matrix);
  }
  m_windowId = window->GetId();
  m_windowSerial = window->GetSerial();
  if (m_water == 1) {
    window->CreateReflectionTexture();
    // The texture is the scene's, taken once however often the scene is attached.
    if (m_waterTexture == -1) m_waterTexture = GetApp().GetTexture()->Load("water.dds");
  }
}

// ---- Clean-up

void Scene::CleanUp() {
  if (m_waterTexture != -1) {
    GetApp().GetTexture()->Delete(m_waterTexture);
    m_waterTexture = -1;
  }
  for (int32_t i = 0; m_objects && i < m_objectCount; ++i) {
    GeoMesh* mesh = m_objects[i];
    if (!mesh) continue;
    mesh->CleanUp();
    TrackedDelete("Scene::CleanUp", mesh);
  }
  TrackedFree("Scene::CleanUp", m_objects);
  m_objects = nullptr;
  m_objectCount = 0;

  // Systems go only in the window they were started in; the geometry and the templates are the
  // scene's own, whether or not it was ever attached.
  DeleteParticleSystems();
  // A window that still holds the scene would draw it after it is gone: the one it was attached
  // to last, and any other the scene was shown in.
  if (RenderWindow* window = FindAttachedWindow())
    if (window->GetScene() == this) window->SetScene(nullptr);
  for (int32_t i = 0; i < GetApp().GetWindowCount(); ++i) {
    RenderWindow* window = GetApp().GetWindowAt(i);
    if (window && window->GetScene() == this) window->SetScene(nullptr);
  }
  for (int32_t i = 0; m_gameNodes && i < m_NumGameNodes; ++i) {
    GameNode& node = m_gameNodes[i];
    if (node.geometry != -1 && Nodes()) Nodes()->DeleteNode(node.geometry);
    if (node.particleTemplate != -1 && Particles()) Particles()->Delete(node.particleTemplate);
    node.geometry = -1;
    node.particleTemplate = -1;
  }
  TrackedFree("Scene::CleanUp", m_gameNodes);
  m_gameNodes = nullptr;
  m_NumGameNodes = 0;

  TrackedFree("Scene::CleanUp", m_pLoadedFile);
  m_pLoadedFile = nullptr;
  m_image = FileImage();
  m_water = 0;
  m_matrixCount = 0;
  m_matrixTableOffset = 0;
  m_placementCount = 0;
  m_placementOffset = 0;
  m_windowSerial = 0;
  m_windowId = -1;
}
