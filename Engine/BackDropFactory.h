#pragma once
// On the PC a backdrop is an ordinary texture: this factory holds nothing and forwards to the
// application's texture manager, so a backdrop and a texture loaded by the same name share one
// record and one reference count.

#include "Engine/BaseBackDropFactory.h"

class BackDropFactory : public BaseBackDropFactory {
 public:
  int32_t Load(const char* name) override;
  void Delete(int32_t handle) override;
  void Hook2(int32_t) override {}
  void Hook3(int32_t) override {}
};
