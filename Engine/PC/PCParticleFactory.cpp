#include "Engine/PC/PCParticleFactory.h"

#include <cmath>
#include <cstring>

#include "Engine/FileImage.h"
#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/ParticleSystem.h"
#include "Engine/PC/PCFileIO.h"

namespace {

// Words of the block that hold integers; every other word is a float.
constexpr int kMaxParticlesWord = 0;
constexpr int kFlagsWord = 56;
constexpr int kWords = 70;

}  // namespace

ParticleFactory::~ParticleFactory() { CleanUp(); }

int32_t ParticleFactory::Init() {
  // An Init over a factory in use must not lose the templates it holds.
  CleanUp();
  return 1;
}

const char* ParticleFactory::CheckTemplate(void* image, uint32_t size, const char* name) {
  FileImage file(image, size, name);
  ParticleTemplate* data = file.GetMutable<ParticleTemplate>(0, "template block");
  if (!data) return "the file is shorter than the template block";
  if (!file.GetString(sizeof(ParticleTemplate), "texture name"))
    return "the texture name does not end inside the file";

  const auto* words = reinterpret_cast<const uint32_t*>(data);
  for (int i = 0; i < kWords; ++i) {
    if (i == kMaxParticlesWord || i == kFlagsWord) continue;
    float value;
    std::memcpy(&value, &words[i], sizeof(value));
    if (!std::isfinite(value)) return "a float word is not a finite number";
  }

  if (data->maxParticles > ParticleSystem::kMaxParticles) {
    DebugLog().Write("Particle template %s: Max Particles %u cut to %u, the most one draw takes\n",
                     name, data->maxParticles, ParticleSystem::kMaxParticles);
    data->maxParticles = ParticleSystem::kMaxParticles;
  }
  return nullptr;
}

int32_t ParticleFactory::NextId() const {
  const int32_t count = m_entries.GetCount();
  if (IndexOf(count) < 0) return count;
  int32_t largest = count;
  for (int32_t i = 0; i < count; ++i)
    if (m_entries[i].id > largest) largest = m_entries[i].id;
  return largest + 1;
}

int32_t ParticleFactory::Add(const char* name) {
  if (!name) return -1;
  for (int32_t i = 0; i < m_entries.GetCount(); ++i) {
    if (std::strcmp(m_entries[i].name, name) == 0) {
      ++m_entries[i].refCount;
      return m_entries[i].id;
    }
  }

  // Until the template is registered, whatever was made goes again (newest first) on return.
  const char* const owner = "ParticleFactory::Add";
  int32_t size = 0;
  OwnedBlock<> image = AdoptBlock(owner, FileIO::LoadFile(name, &size));
  if (!image) return -1;
  if (const char* fault = CheckTemplate(image.get(), static_cast<uint32_t>(size), name)) {
    DebugLog().Write("Particle template %s refused: %s\n", name, fault);
    return -1;
  }

  const size_t length = std::strlen(name);
  OwnedBlock<char> copy = OwnedAlloc<char>(owner, length + 1);
  const int32_t id = NextId();
  if (copy) {
    std::memset(copy.get(), 0, length + 1);
    std::memcpy(copy.get(), name, length);
  }
  const ParticleContainer entry = {copy.get(), static_cast<ParticleTemplate*>(image.get()), 1, id,
                                   static_cast<uint32_t>(size)};
  if (!copy || m_entries.Add(entry) < 0) {
    DebugLog().Write("Unable to register particle template %s\n", name);
    return -1;
  }
  // The list holds them now; the entry's release frees them.
  image.release();
  copy.release();
  return id;
}

int32_t ParticleFactory::IndexOf(int32_t id) const {
  for (int32_t i = 0; i < m_entries.GetCount(); ++i)
    if (m_entries[i].id == id) return i;
  return -1;
}

int32_t ParticleFactory::GetRefCount(int32_t id) const {
  const int32_t i = IndexOf(id);
  return i < 0 ? 0 : m_entries[i].refCount;
}

const ParticleTemplate* ParticleFactory::Find(int32_t id) {
  if (id == -1) return nullptr;
  if (id >= 0 && id < m_entries.GetCount() && m_entries[id].id == id) return m_entries[id].data;
  const int32_t i = IndexOf(id);
  if (i >= 0 && m_entries[i].data) return m_entries[i].data;
  DebugLog().Write("Unable to find Particle System %i\n", id);
  return nullptr;
}

void ParticleFactory::Free(ParticleContainer* entry, const char* owner) {
  if (entry->name) TrackedFree(owner, entry->name);
  if (entry->data) TrackedFree(owner, entry->data);
  entry->name = nullptr;
  entry->data = nullptr;
}

void ParticleFactory::Delete(int32_t id) {
  const int32_t i = IndexOf(id);
  if (i < 0) return;
  if (--m_entries[i].refCount > 0) return;
  Free(&m_entries[i], "ParticleFactory::Delete");
  m_entries.Remove(i);
}

void ParticleFactory::CleanUp() {
  for (int32_t i = 0; i < m_entries.GetCount(); ++i)
    Free(&m_entries[i], "ParticleFactory::CleanUp");
  m_entries.Empty();
}
