#pragma once
// The two smallest bases of the registries that load assets by name (textures, fonts, geometry
// nodes, scenes, animations, particle templates). Every registry answers one argument-less
// operation; none of them has anything to do in it, so `Factory` gives the empty body that they
// all inherit unchanged.

class BaseFactory {
 public:
  virtual ~BaseFactory() = default;
  virtual void Process() = 0;
};

class Factory : public BaseFactory {
 public:
  void Process() override {}
};
