#include "Engine/BackDropFactory.h"

#include "Engine/PC/PCApp.h"

int32_t BackDropFactory::Load(const char* name) { return GetApp().GetTexture()->Load(name); }

void BackDropFactory::Delete(int32_t handle) { GetApp().GetTexture()->Delete(handle); }
