#pragma once
// The application's particle templates (".ps2" files), loaded once by name, shared by reference
// count and handed out by id. A template is used where it lies in its loaded file; particle
// systems copy what they need from it, so a template may go while systems made from it still
// run.
//
// A file is checked when it is loaded for what cannot be used safely: it must hold the whole
// block and the texture name with its terminator, and every float must be a finite number. A
// file that fails is refused with a line in the debug log and -1. Values merely outside their
// usual ranges (colours past 0..255, friction past 0..1, negative rates or lives) are files the
// particle editor writes: they load, and the particle systems hold them where it matters when
// they use them. "Max Particles" above what one draw can take is not refused either: it is cut
// down to that, and the log says so.

#include <cstdint>

#include "Engine/BaseParticleFactory.h"
#include "Engine/DataArray.h"

class ParticleFactory : public BaseParticleFactory {
 public:
  struct ParticleContainer {
    char* name;              // owned copy of the file name
    ParticleTemplate* data;  // the loaded file image, owned
    int32_t refCount;
    int32_t id;
    uint32_t size;  // bytes of the image
  };

  ParticleFactory() = default;
  ~ParticleFactory() override;
  ParticleFactory(const ParticleFactory&) = delete;
  ParticleFactory& operator=(const ParticleFactory&) = delete;

  int32_t Add(const char* name) override;
  void Delete(int32_t id) override;
  const ParticleTemplate* Find(int32_t id) override;
  int32_t Init() override;
  void CleanUp() override;

  int32_t GetCount() const { return m_entries.GetCount(); }
  // The reference count of the template with that id (0 for none).
  int32_t GetRefCount(int32_t id) const;

  // Checks a loaded image in place and cuts an oversized "Max Particles" down. Null when the
  // image will do, else what is wrong with it.
  static const char* CheckTemplate(void* image, uint32_t size, const char* name);

 private:
  int32_t IndexOf(int32_t id) const;
  // The entry count, or when an entry still carries that id (an earlier one was deleted out
  // of order), one past the largest id in use: ids never name two templates at once.
  int32_t NextId() const;
  static void Free(ParticleContainer* entry, const char* owner);

  DataArray<ParticleContainer> m_entries{1};
};
