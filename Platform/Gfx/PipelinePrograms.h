#pragma once
// Linked GL programs, one per (vertex program, fragment key) pair, made on first use and kept
// for the device's life. Compiled shader objects are kept too, so that a vertex program meets
// each new pixel-state key with one link and no compile. A pair that does not compile or link
// is logged once and remembered as failed, so draws with it are refused without retrying.

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "Platform/Gfx/FixedFunctionVertex.h"
#include "Platform/Gfx/FragmentProgram.h"

namespace gfx {

constexpr uint32_t kVertexConstants = 256;

// A compiled shader object, or 0 with the compiler's report in `log` (when given).
GLuint CompileShader(GLenum stage, const std::string& source, std::string* log);

struct PipelineProgram {
  GLuint name = 0;  // 0: the pair failed to build
  ProgramInputs inputs;
  bool fixedFunction = false;

  // Uniform locations, -1 where the program has none.
  GLint constants = -1;
  uint32_t constantsSize = 0;  // registers of c[] the program really has
  GLint posFixup = -1;
  GLint worldView = -1;
  GLint projection = -1;
  GLint texMatrix[2] = {-1, -1};
  GLint screen = -1;
  GLint tfactor = -1;
  GLint stageConst[2] = {-1, -1};
  GLint alphaRef = -1;
  GLint fogColor = -1;
  GLint fogParams = -1;

  // What was last uploaded, so that repeated draws send nothing.
  uint64_t constantsVersion = 0;
  uint64_t transformsVersion = 0;
  uint64_t pixelVersion = 0;
  float posFixupValue[4] = {0, 0, 0, 0};
  float screenValue[4] = {0, 0, 0, 0};
};

class PipelinePrograms {
 public:
  PipelinePrograms() = default;
  PipelinePrograms(const PipelinePrograms&) = delete;
  PipelinePrograms& operator=(const PipelinePrograms&) = delete;

  // Deletes every GL object (with the context current).
  void ReleaseGl();
  // Forgets every GL object without deleting it (the context is gone).
  void Forget();

  // The program of a pair seen before, or null.
  PipelineProgram* Find(uint64_t vertexId, const FragmentKey& fragment);
  // Builds (or fails to build) the program of a new pair; never null, but its name is 0 when
  // it failed. `vertexSource` is read only when this vertex program was not compiled yet.
  PipelineProgram* Build(uint64_t vertexId, const std::string& vertexSource,
                         const ProgramInputs& inputs, bool fixedFunction,
                         const FragmentKey& fragment);

  size_t ProgramCount() const { return programs_.size(); }

 private:
  struct PairKey {
    uint64_t vertexId;
    FragmentKey fragment;
    bool operator==(const PairKey&) const = default;
  };
  struct PairKeyHash {
    size_t operator()(const PairKey& key) const {
      return FragmentKeyHash()(key.fragment) ^ (key.vertexId * 0x9E3779B97F4A7C15ull);
    }
  };

  GLuint CompileVertex(uint64_t vertexId, const std::string& source);
  GLuint CompileFragment(const FragmentKey& fragment);

  std::unordered_map<PairKey, std::unique_ptr<PipelineProgram>, PairKeyHash> programs_;
  std::unordered_map<uint64_t, GLuint> vertexShaders_;  // 0: failed
  std::unordered_map<FragmentKey, GLuint, FragmentKeyHash> fragmentShaders_;
};

}  // namespace gfx
