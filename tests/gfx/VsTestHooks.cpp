#include "tests/gfx/VsTestHooks.h"

#include <epoxy/gl.h>

#include <cstring>
#include <vector>

#include "Platform/Gfx/D3DDeviceGl.h"
#include "Platform/Gfx/FragmentProgram.h"
#include "Platform/Gfx/PipelinePrograms.h"
#include "Platform/Gfx/VertexShaderGl.h"

namespace gfx::TestHooks {

namespace {

const char kFragmentSource[] =
    "#version 330 core\n"
    GFX_FRAGMENT_INPUTS
    "uniform sampler2D uTex0, uTex1;\n"
    "out vec4 fragColour;\n"
    "void main() {\n"
    "  fragColour = oD0v * texture(uTex0, oT0v.xy) + oD1v * texture(uTex1, oT1v.xy) + oFogv;\n"
    "}\n";

const char* const kCaptured[] = {"gl_Position", "oD0v", "oD1v", "oT0v", "oT1v", "oFogv"};
constexpr uint32_t kCapturedFloats = 4 * 5 + 1;

// A linked program, or 0 with the log; `capture` records the outputs by transform feedback.
GLuint Link(const std::string& vertexSource, bool capture, std::string* log) {
  const GLuint vertex = CompileShader(GL_VERTEX_SHADER, vertexSource, log);
  if (!vertex) return 0;
  const GLuint fragment = CompileShader(GL_FRAGMENT_SHADER, kFragmentSource, log);
  if (!fragment) {
    glDeleteShader(vertex);
    return 0;
  }
  const GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  if (capture) {
    glTransformFeedbackVaryings(program, sizeof kCaptured / sizeof kCaptured[0], kCaptured,
                                GL_INTERLEAVED_ATTRIBS);
  }
  glLinkProgram(program);
  glDeleteShader(vertex);
  glDeleteShader(fragment);
  GLint ok = GL_FALSE;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok != GL_TRUE) {
    char message[4096] = {};
    glGetProgramInfoLog(program, sizeof message, nullptr, message);
    if (log) *log = message;
    glDeleteProgram(program);
    return 0;
  }
  return program;
}

}  // namespace

bool CompileVertexGlsl(D3DDevice* device, const std::string& source, std::string* log) {
  if (log) log->clear();
  if (!device || !static_cast<D3DDeviceGl*>(device)->MakeCurrent()) {
    if (log) *log = "no device context";
    return false;
  }
  const GLuint program = Link(source, false, log);
  if (!program) return false;
  glDeleteProgram(program);
  return true;
}

bool RunVertexShaderOnGpu(D3DDevice* device, D3DVertexShader* shader, const float (*constants)[4],
                          const float (*inputs)[kVsInputCount][4], uint32_t count,
                          const float posFixup[4], VsCapture* out, std::string* log) {
  if (log) log->clear();
  if (!device || !shader || !constants || !inputs || !out || count == 0 ||
      !static_cast<D3DDeviceGl*>(device)->MakeCurrent()) {
    if (log) *log = "bad arguments or no device context";
    return false;
  }
  const VertexShaderGl& vs = *static_cast<VertexShaderGl*>(shader);
  const GLuint program = Link(vs.GlslSource(), true, log);
  if (!program) return false;

  // Whatever the device's draw code has bound is put back afterwards.
  GLint oldProgram = 0;
  GLint oldArray = 0;
  GLint oldBuffer = 0;
  GLint oldFeedback = 0;
  glGetIntegerv(GL_CURRENT_PROGRAM, &oldProgram);
  glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &oldArray);
  glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &oldBuffer);
  glGetIntegerv(GL_TRANSFORM_FEEDBACK_BUFFER_BINDING, &oldFeedback);
  while (glGetError() != GL_NO_ERROR) {
  }

  glUseProgram(program);
  glUniform4fv(glGetUniformLocation(program, "c"), kVsConstCount, &constants[0][0]);
  glUniform4fv(glGetUniformLocation(program, "uPosFixup"), 1, posFixup);

  GLuint array = 0;
  GLuint buffers[2] = {};
  glGenVertexArrays(1, &array);
  glGenBuffers(2, buffers);
  glBindVertexArray(array);
  glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
  const GLsizei stride = static_cast<GLsizei>(sizeof inputs[0]);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(stride) * count, inputs, GL_STATIC_DRAW);
  for (uint32_t r = 0; r < kVsInputCount; ++r) {
    if (!vs.InputUsed(r)) continue;
    glEnableVertexAttribArray(r);
    glVertexAttribPointer(r, 4, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(size_t{r} * 4 * sizeof(float)));
  }
  const GLsizeiptr capturedBytes =
      static_cast<GLsizeiptr>(count) * kCapturedFloats * sizeof(float);
  glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, buffers[1]);
  glBufferData(GL_TRANSFORM_FEEDBACK_BUFFER, capturedBytes, nullptr, GL_STATIC_READ);

  glEnable(GL_RASTERIZER_DISCARD);
  glBeginTransformFeedback(GL_POINTS);
  glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(count));
  glEndTransformFeedback();
  glDisable(GL_RASTERIZER_DISCARD);

  std::vector<float> captured(static_cast<size_t>(count) * kCapturedFloats, 0.0f);
  glGetBufferSubData(GL_TRANSFORM_FEEDBACK_BUFFER, 0, capturedBytes, captured.data());
  const GLenum error = glGetError();

  glBindBufferBase(GL_TRANSFORM_FEEDBACK_BUFFER, 0, 0);
  glBindBuffer(GL_TRANSFORM_FEEDBACK_BUFFER, static_cast<GLuint>(oldFeedback));
  glBindVertexArray(static_cast<GLuint>(oldArray));
  glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(oldBuffer));
  glUseProgram(static_cast<GLuint>(oldProgram));
  glDeleteBuffers(2, buffers);
  glDeleteVertexArrays(1, &array);
  glDeleteProgram(program);

  if (error != GL_NO_ERROR) {
    if (log) *log = "GL error " + std::to_string(error);
    return false;
  }
  for (uint32_t k = 0; k < count; ++k) {
    const float* v = captured.data() + size_t{k} * kCapturedFloats;
    VsCapture& c = out[k];
    std::memcpy(c.position, v + 0, sizeof c.position);
    std::memcpy(c.color0, v + 4, sizeof c.color0);
    std::memcpy(c.color1, v + 8, sizeof c.color1);
    std::memcpy(c.texCoord0, v + 12, sizeof c.texCoord0);
    std::memcpy(c.texCoord1, v + 16, sizeof c.texCoord1);
    c.fog = v[20];
  }
  return true;
}

}  // namespace gfx::TestHooks
