#include "Platform/Gfx/PipelinePrograms.h"

#include <vector>

#include "Platform/Gfx/GfxLog.h"

namespace gfx {

namespace {

std::string ShaderLog(GLuint shader) {
  GLint length = 0;
  glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> text(static_cast<size_t>(length > 0 ? length : 1), '\0');
  glGetShaderInfoLog(shader, static_cast<GLsizei>(text.size()), nullptr, text.data());
  return text.data();
}

std::string ProgramLog(GLuint program) {
  GLint length = 0;
  glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
  std::vector<char> text(static_cast<size_t>(length > 0 ? length : 1), '\0');
  glGetProgramInfoLog(program, static_cast<GLsizei>(text.size()), nullptr, text.data());
  return text.data();
}

// GfxLog cuts lines at 512 characters; a compiler's report can be longer.
void LogLong(const char* heading, const std::string& text) {
  GfxLog("%s\n", heading);
  for (size_t at = 0; at < text.size(); at += 400) {
    GfxLog("%s", text.substr(at, 400).c_str());
  }
  GfxLog("\n");
}

GLuint Compile(GLenum type, const std::string& source, const char* what) {
  std::string log;
  const GLuint shader = CompileShader(type, source, &log);
  if (!shader) {
    LogLong((std::string("gfx: the ") + what + " program does not compile:").c_str(), log);
    LogLong("gfx: its source:", source);
  }
  return shader;
}

// The number of elements of a uniform array that survived linking (unused tail elements are
// dropped by the compiler).
uint32_t ActiveArraySize(GLuint program, const char* name) {
  GLint count = 0;
  glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
  const std::string plain = name;
  const std::string element = plain + "[0]";
  for (GLint i = 0; i < count; ++i) {
    char text[256];
    GLsizei length = 0;
    GLint size = 0;
    GLenum type = 0;
    glGetActiveUniform(program, static_cast<GLuint>(i), sizeof text, &length, &size, &type, text);
    if (plain == text || element == text) return static_cast<uint32_t>(size);
  }
  return 0;
}

}  // namespace

GLuint CompileShader(GLenum stage, const std::string& source, std::string* log) {
  const GLuint shader = glCreateShader(stage);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = GL_FALSE;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (ok != GL_TRUE) {
    if (log) *log = ShaderLog(shader);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

void PipelinePrograms::ReleaseGl() {
  for (auto& entry : programs_) {
    if (entry.second->name) glDeleteProgram(entry.second->name);
  }
  for (auto& entry : vertexShaders_) {
    if (entry.second) glDeleteShader(entry.second);
  }
  for (auto& entry : fragmentShaders_) {
    if (entry.second) glDeleteShader(entry.second);
  }
  Forget();
}

void PipelinePrograms::Forget() {
  programs_.clear();
  vertexShaders_.clear();
  fragmentShaders_.clear();
}

PipelineProgram* PipelinePrograms::Find(uint64_t vertexId, const FragmentKey& fragment) {
  auto found = programs_.find(PairKey{vertexId, fragment});
  return found == programs_.end() ? nullptr : found->second.get();
}

GLuint PipelinePrograms::CompileVertex(uint64_t vertexId, const std::string& source) {
  auto found = vertexShaders_.find(vertexId);
  if (found != vertexShaders_.end()) return found->second;
  const GLuint shader = Compile(GL_VERTEX_SHADER, source, "vertex");
  vertexShaders_[vertexId] = shader;
  return shader;
}

GLuint PipelinePrograms::CompileFragment(const FragmentKey& fragment) {
  auto found = fragmentShaders_.find(fragment);
  if (found != fragmentShaders_.end()) return found->second;
  const GLuint shader = Compile(GL_FRAGMENT_SHADER, FragmentSource(fragment), "pixel");
  fragmentShaders_[fragment] = shader;
  return shader;
}

PipelineProgram* PipelinePrograms::Build(uint64_t vertexId, const std::string& vertexSource,
                                         const ProgramInputs& inputs, bool fixedFunction,
                                         const FragmentKey& fragment) {
  auto program = std::make_unique<PipelineProgram>();
  program->inputs = inputs;
  program->fixedFunction = fixedFunction;
  const GLuint vertex = CompileVertex(vertexId, vertexSource);
  const GLuint pixel = CompileFragment(fragment);
  if (vertex && pixel) {
    GLuint name = glCreateProgram();
    glAttachShader(name, vertex);
    glAttachShader(name, pixel);
    glLinkProgram(name);
    glDetachShader(name, vertex);
    glDetachShader(name, pixel);
    GLint ok = GL_FALSE;
    glGetProgramiv(name, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
      LogLong("gfx: a vertex and a pixel program do not link:", ProgramLog(name));
      glDeleteProgram(name);
    } else {
      PipelineProgram& p = *program;
      p.name = name;
      p.constants = glGetUniformLocation(name, "c");
      if (p.constants >= 0) p.constantsSize = ActiveArraySize(name, "c");
      p.posFixup = glGetUniformLocation(name, "uPosFixup");
      p.worldView = glGetUniformLocation(name, "uWorldView");
      p.projection = glGetUniformLocation(name, "uProjection");
      p.texMatrix[0] = glGetUniformLocation(name, "uTexMatrix0");
      p.texMatrix[1] = glGetUniformLocation(name, "uTexMatrix1");
      p.screen = glGetUniformLocation(name, "uScreen");
      p.tfactor = glGetUniformLocation(name, "uTFactor");
      p.stageConst[0] = glGetUniformLocation(name, "uStageConst0");
      p.stageConst[1] = glGetUniformLocation(name, "uStageConst1");
      p.alphaRef = glGetUniformLocation(name, "uAlphaRef");
      p.fogColor = glGetUniformLocation(name, "uFogColor");
      p.fogParams = glGetUniformLocation(name, "uFogParams");
      glUseProgram(name);
      glUniform1i(glGetUniformLocation(name, "uTex0"), 0);
      glUniform1i(glGetUniformLocation(name, "uTex1"), 1);
    }
  }
  PipelineProgram* result = program.get();
  programs_[PairKey{vertexId, fragment}] = std::move(program);
  return result;
}

}  // namespace gfx
