#pragma once
// The application's fonts, loaded by file name. Each font has one identifier for as long as the
// program runs: identifiers are never given out twice, so a deleted font's identifier cannot
// come to name another font. Adding a name that is registered returns its identifier; there
// are no reference counts, so one delete ends the font for everyone who added it.

#include <cstdint>

#include "Engine/BaseFontFactory.h"
#include "Engine/DataArray.h"
#include "Engine/PC/PCFont.h"

struct FontWrapper {
  char* name;  // owned copy of the file name
  Font* font;  // owned, with the file image it keeps
  int32_t id;
};

class FontFactory : public BaseFontFactory {
 public:
  FontFactory() = default;
  ~FontFactory() override;
  FontFactory(const FontFactory&) = delete;
  FontFactory& operator=(const FontFactory&) = delete;

  // A file that is missing, or whose contents do not check out, gives -1 with a log line and leaves
  // nothing behind.
  int32_t AddFont(const char* name) override;
  void DeleteFont(int32_t id) override;
  Font* GetFont(int32_t id) override;

  // Deletes every font (the application's shutdown, while the texture registry still exists).
  void CleanUp();
  int32_t GetCount() const { return m_fonts.GetCount(); }

 private:
  void Destroy(FontWrapper* wrapper);

  DataArray<FontWrapper*> m_fonts{4};
  int32_t m_nextId = 0;
};
