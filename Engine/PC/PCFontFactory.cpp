#include "Engine/PC/PCFontFactory.h"

#include <cstdint>
#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCFont.h"

FontFactory::~FontFactory() { CleanUp(); }

int32_t FontFactory::AddFont(const char* name) {
  if (!name) return -1;
  for (int32_t i = 0; i < m_fonts.GetCount(); ++i)
    if (std::strcmp(m_fonts[i]->name, name) == 0) return m_fonts[i]->id;

  // Identifiers are never reused; the last one is not given out rather than wrapping.
  if (m_nextId == INT32_MAX) return -1;
  // Until the font is registered, whatever was made goes again (newest first) on return.
  const char* const owner = "FontFactory::AddFont";
  int32_t size = 0;
  OwnedBlock<> image = AdoptBlock(owner, FileIO::LoadFile(name, &size));
  if (!image) return -1;

  const size_t length = std::strlen(name);
  OwnedBlock<char> copy = OwnedAlloc<char>(owner, length + 1);
  if (!copy) {
    DebugLog().Write("Unable to load font %s\n", name);
    return -1;
  }
  OwnedPtr<Font> font = Owned<Font>(owner, image.get(), static_cast<size_t>(size), name);
  if (!font || !font->IsLoaded()) {
    DebugLog().Write("Unable to load font %s\n", name);
    return -1;
  }
  OwnedPtr<FontWrapper> wrapper = Owned<FontWrapper>(owner, copy.get(), font.get(), m_nextId);
  if (!wrapper || m_fonts.Add(wrapper.get()) < 0) {
    DebugLog().Write("Unable to register font %s\n", name);
    return -1;
  }
  std::memcpy(copy.get(), name, length + 1);
  // The list holds them now; Destroy frees them.
  image.release();
  copy.release();
  font.release();
  wrapper.release();
  return m_nextId++;
}

void FontFactory::Destroy(FontWrapper* wrapper) {
  // The font goes before its image; nothing of it points into the image, but its owner frees
  // the image only once the font is gone.
  void* image = wrapper->font->GetImage();
  TrackedDelete("FontFactory::Destroy", wrapper->font);
  if (image) TrackedFree("FontFactory::Destroy", image);
  TrackedFree("FontFactory::Destroy", wrapper->name);
  TrackedDelete("FontFactory::Destroy", wrapper);
}

void FontFactory::DeleteFont(int32_t id) {
  for (int32_t i = 0; i < m_fonts.GetCount(); ++i) {
    if (m_fonts[i]->id != id) continue;
    FontWrapper* wrapper = m_fonts[i];
    m_fonts.Remove(i);
    Destroy(wrapper);
    return;
  }
}

Font* FontFactory::GetFont(int32_t id) {
  for (int32_t i = 0; i < m_fonts.GetCount(); ++i)
    if (m_fonts[i]->id == id) return m_fonts[i]->font;
  return nullptr;
}

void FontFactory::CleanUp() {
  while (m_fonts.GetCount() > 0) {
    FontWrapper* wrapper = m_fonts[m_fonts.GetCount() - 1];
    m_fonts.Remove(m_fonts.GetCount() - 1);
    Destroy(wrapper);
  }
  m_fonts.Empty();
}
