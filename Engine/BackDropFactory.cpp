#include "Engine/BackDropFactory.h"

#include "Engine/BaseApp.h"
#include "Engine/BaseTexture.h"

int32_t BackDropFactory::Load(const char* name) { return GetBaseApp().GetTexture()->Load(name); }

void BackDropFactory::Delete(int32_t handle) { GetBaseApp().GetTexture()->Delete(handle); }
