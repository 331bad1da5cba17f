#pragma once
// The font registry as the rest of the engine sees it: fonts loaded by file name and handed out
// by integer identifier (-1 for none).

#include <cstdint>

#include "Engine/Factory.h"

class BaseFont;

class BaseFontFactory : public Factory {
 public:
  // The identifier of the font loaded from the file (relative to the data folder), or -1.
  virtual int32_t AddFont(const char* name) = 0;
  // Ends the font; an identifier that names no font does nothing.
  virtual void DeleteFont(int32_t id) = 0;
  // The font, or null.
  virtual BaseFont* GetFont(int32_t id) = 0;
};
