#include "Game/EditorParticleSystem.h"

#include <cfloat>
#include <cstring>
#include <vector>

#include "Engine/Assert.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/SafeFile.h"

static_assert(sizeof(ParticleTemplateWords) == EditorParticleSystem::kWordCount * 4,
              "the template is 70 words");

namespace {

constexpr const char* kEditorFolder = "data\\ParticleEditor\\";
constexpr const char* kTestTexture = "shockwave01.dds";

// The largest float and the smallest positive normal one: an empty box, which the first
// particles open out.
constexpr float kBoxEmptyMin = FLT_MAX;
constexpr float kBoxEmptyMax = FLT_MIN;

EditorParticleSystem s_editorParticleSystem;

void SetFour(float* to, float a, float b, float c, float d) {
  to[0] = a;
  to[1] = b;
  to[2] = c;
  to[3] = d;
}

// The name after the last folder separator of either kind.
const char* FileNamePart(const char* path) {
  const char* name = path;
  for (const char* at = path; *at; ++at)
    if (*at == '\\' || *at == '/') name = at + 1;
  return name;
}

}  // namespace

EditorParticleSystem& GetEditorParticleSystem() { return s_editorParticleSystem; }

EditorParticleSystem::EditorParticleSystem() { Reset(); }

EditorParticleSystem::~EditorParticleSystem() {
  // The program's end: the application and its texture registry may be gone already, so only
  // the editor's own blocks go back.
  TrackedFree("EditorParticleSystem::~EditorParticleSystem", m_pool);
  TrackedFree("EditorParticleSystem::~EditorParticleSystem", m_textureName);
}

void EditorParticleSystem::Reset() {
  m_words = ParticleTemplateWords{};
  m_words.emitPerFrame = 1.0f;
  m_words.emitterLife = 100.0f;
  SetFour(m_words.friction, 1.0f, 1.0f, 1.0f, 1.0f);
  ResetBox();
  m_liveCount = 0;
  m_accumulator = 0.0f;
  m_age = 0.0f;
  m_restart = 0;
  m_texture = -1;
}

void EditorParticleSystem::ResetBox() {
  SetFour(m_words.boundsMin, kBoxEmptyMin, kBoxEmptyMin, kBoxEmptyMin, 0.0f);
  SetFour(m_words.boundsMax, kBoxEmptyMax, kBoxEmptyMax, kBoxEmptyMax, 0.0f);
}

float EditorParticleSystem::GetFloat(uint32_t word) const {
  float value = 0.0f;
  if (word < kWordCount)
    std::memcpy(&value, reinterpret_cast<const uint8_t*>(&m_words) + word * 4, 4);
  return value;
}

void EditorParticleSystem::SetFloat(uint32_t word, float value) {
  if (word < kWordCount) std::memcpy(reinterpret_cast<uint8_t*>(&m_words) + word * 4, &value, 4);
}

uint32_t EditorParticleSystem::GetWord(uint32_t word) const {
  uint32_t value = 0;
  if (word < kWordCount)
    std::memcpy(&value, reinterpret_cast<const uint8_t*>(&m_words) + word * 4, 4);
  return value;
}

void EditorParticleSystem::SetWord(uint32_t word, uint32_t value) {
  if (word < kWordCount) std::memcpy(reinterpret_cast<uint8_t*>(&m_words) + word * 4, &value, 4);
}

void EditorParticleSystem::SetMaxParticles(int64_t count) {
  // The pool is made once at its full size: more would step past its end.
  if (count < 0) count = 0;
  if (count > kPoolSize) {
    DebugLog().Write("Particle editor: Max Particles %lld held to the pool's %u",
                     static_cast<long long>(count), kPoolSize);
    count = kPoolSize;
  }
  m_words.maxParticles = static_cast<uint32_t>(count);
}

bool EditorParticleSystem::ReplaceTextureName(const char* name) {
  const size_t length = std::strlen(name);
  char* copy = TrackedAlloc<char>("EditorParticleSystem::Load", length + 1);
  if (!copy) return false;
  std::memcpy(copy, name, length + 1);
  TrackedFree("EditorParticleSystem::Load", m_textureName);
  m_textureName = copy;
  return true;
}

void EditorParticleSystem::ReleaseTexture() {
  if (m_texture != -1) GetApp().GetTexture()->Delete(m_texture);
  m_texture = -1;
}

void EditorParticleSystem::LoadTextureByName() {
  GetApp().SetDataDir(kEditorFolder);
  if (m_textureName) m_texture = GetApp().GetTexture()->Load(m_textureName);
}

bool EditorParticleSystem::CreateTestSystem() {
  m_words.maxParticles = 200;
  m_words.flags = kTemplateLooped | kTemplateAlpha;
  m_words.maxLife = 100.0f;
  m_words.lifeVariation = 0.5f;
  SetFour(m_words.colour, 0.0f, 0.0f, 0.0f, 255.0f);
  SetFour(m_words.colourStep, 2.0f, 2.0f, 2.0f, 2.0f);
  SetFour(m_words.position, 0.0f, 0.0f, 0.0f, 0.0f);
  SetFour(m_words.positionVariation, 255.0f, 255.0f, 255.0f, 0.0f);
  SetFour(m_words.friction, 1.0f, 1.0f, 1.0f, 1.0f);
  SetFour(m_words.scale, 1.0f, 1.0f, 1.0f, 1.0f);
  SetFour(m_words.gravity, 0.0f, 0.0f, 0.0f, 0.0f);
  SetFour(m_words.scaleStep, 0.1f, 0.1f, 0.0f, 0.0f);
  m_accumulator = 0.0f;
  if (!ReplaceTextureName(kTestTexture)) return false;
  ReleaseTexture();
  m_texture = GetApp().GetTexture()->Load(m_textureName);
  if (!m_pool) {
    m_pool = TrackedAlloc<EditorParticle>("EditorParticleSystem::CreateTestSystem", kPoolSize);
    if (!m_pool) return false;
  }
  std::memset(static_cast<void*>(m_pool), 0, sizeof(EditorParticle) * kPoolSize);
  return true;
}

// The whole file is checked before anything of the template changes: the words, and a name
// that ends inside the file.
bool EditorParticleSystem::ReadTemplate(const char* path, uint32_t wordCount, uint32_t nameOffset) {
  GetApp().SetDataDir(nullptr);
  int32_t size = 0;
  void* image = path ? FileIO::LoadFile(path, &size) : nullptr;
  if (!image) {
    DebugLog().Write("Particle editor: cannot read %s", path ? path : "(no file)");
    return false;
  }
  const auto* bytes = static_cast<const uint8_t*>(image);
  const size_t length = static_cast<size_t>(size);
  bool ok = length > nameOffset && std::memchr(bytes + nameOffset, 0, length - nameOffset);
  if (!ok) DebugLog().Write("Particle editor: %s is not a particle template", path);
  if (ok) ok = ReplaceTextureName(reinterpret_cast<const char*>(bytes + nameOffset));
  if (ok) {
    ReleaseTexture();
    std::memcpy(&m_words, bytes, wordCount * 4);
    SetMaxParticles(m_words.maxParticles);
  }
  GlobalFileIO().FreeFileMemory(image);
  return ok;
}

bool EditorParticleSystem::Load(const char* path) {
  const bool ok = ReadTemplate(path, kWordCount, kPs2NameOffset);
  // A failed read keeps the texture it had (and its one reference).
  if (ok) LoadTextureByName();
  GetApp().SetDataDir(kEditorFolder);
  return ok;
}

bool EditorParticleSystem::LoadOldStyle(const char* path) {
  const bool ok = ReadTemplate(path, kPsfWordCount, kPsfNameOffset);
  if (ok) {
    ResetBox();
    LoadTextureByName();
  }
  GetApp().SetDataDir(kEditorFolder);
  return ok;
}

bool EditorParticleSystem::LoadNewTexture(const char* path) {
  if (!path || !*path) return false;
  ReleaseTexture();
  GetApp().SetDataDir(nullptr);
  m_texture = GetApp().GetTexture()->Load(path);
  GetApp().SetDataDir(kEditorFolder);
  return ReplaceTextureName(FileNamePart(path));
}

bool EditorParticleSystem::Save(const char* path) const {
  const char* name = m_textureName ? m_textureName : "";
  const size_t nameLength = std::strlen(name) + 1;
  std::vector<uint8_t> image(kPs2NameOffset + nameLength);
  std::memcpy(image.data(), &m_words, kPs2NameOffset);
  std::memcpy(image.data() + kPs2NameOffset, name, nameLength);
  const int error = path && *path ? WriteFileWhole(path, image.data(), image.size()) : -1;
  if (error != 0) {
    DebugLog().Write("Particle editor: cannot write %s (error %d)", path ? path : "(no file)",
                     error);
    AssertReport("pFileHandle!=NULL", __FILE__, __LINE__);
    return false;
  }
  return true;
}

void EditorParticleSystem::CleanUp() {
  TrackedFree("EditorParticleSystem::CleanUp", m_pool);
  m_pool = nullptr;
  m_liveCount = 0;
  TrackedFree("EditorParticleSystem::CleanUp", m_textureName);
  m_textureName = nullptr;
  ReleaseTexture();
}
