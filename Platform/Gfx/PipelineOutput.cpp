#include "Platform/Gfx/PipelineOutput.h"

namespace gfx {

namespace {

GLenum BlendFactor(uint32_t blend, GLenum fallback, bool targetAlpha) {
  if (!targetAlpha) {
    // Direct3D reads the destination alpha of a target without alpha as 1.
    if (blend == D3DBLEND_DESTALPHA) return GL_ONE;
    if (blend == D3DBLEND_INVDESTALPHA) return GL_ZERO;
    if (blend == D3DBLEND_SRCALPHASAT) return GL_ZERO;  // min(As, 1 - Ad)
  }
  switch (blend) {
    case D3DBLEND_ZERO:
      return GL_ZERO;
    case D3DBLEND_ONE:
      return GL_ONE;
    case D3DBLEND_SRCCOLOR:
      return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
      return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
      return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
      return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
      return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
      return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
      return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
      return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
      return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
      return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
      return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
      return fallback;
  }
}

GLenum BlendEquation(uint32_t op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT:
      return GL_FUNC_SUBTRACT;  // source - destination
    case D3DBLENDOP_REVSUBTRACT:
      return GL_FUNC_REVERSE_SUBTRACT;  // destination - source
    case D3DBLENDOP_MIN:
      return GL_MIN;
    case D3DBLENDOP_MAX:
      return GL_MAX;
    default:
      return GL_FUNC_ADD;
  }
}

GLenum CompareFunc(uint32_t func) {
  // D3DCMP_NEVER..ALWAYS run in the same order as GL_NEVER..GL_ALWAYS.
  if (func < D3DCMP_NEVER || func > D3DCMP_ALWAYS) return GL_ALWAYS;
  return GL_NEVER + (func - D3DCMP_NEVER);
}

}  // namespace

bool TargetHasAlpha(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_A2R10G10B10:
      return true;
    default:
      return false;
  }
}

OutputSettings MakeOutputSettings(const PipelineStates& states, bool targetAlpha) {
  const uint32_t* rs = states.render;
  OutputSettings s;
  s.depthTest = rs[D3DRS_ZENABLE] != D3DZB_FALSE;
  s.depthFunc = CompareFunc(rs[D3DRS_ZFUNC]);
  s.blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
  if (s.blend) {
    const uint32_t src = rs[D3DRS_SRCBLEND];
    if (src == D3DBLEND_BOTHSRCALPHA) {
      s.srcBlend = GL_SRC_ALPHA;
      s.dstBlend = GL_ONE_MINUS_SRC_ALPHA;
    } else if (src == D3DBLEND_BOTHINVSRCALPHA) {
      s.srcBlend = GL_ONE_MINUS_SRC_ALPHA;
      s.dstBlend = GL_SRC_ALPHA;
    } else {
      s.srcBlend = BlendFactor(src, GL_ONE, targetAlpha);
      s.dstBlend = BlendFactor(rs[D3DRS_DESTBLEND], GL_ZERO, targetAlpha);
    }
    s.blendOp = BlendEquation(rs[D3DRS_BLENDOP]);
    if (s.srcBlend == GL_CONSTANT_COLOR || s.srcBlend == GL_ONE_MINUS_CONSTANT_COLOR ||
        s.dstBlend == GL_CONSTANT_COLOR || s.dstBlend == GL_ONE_MINUS_CONSTANT_COLOR) {
      s.blendFactor = rs[D3DRS_BLENDFACTOR];
    }
  }
  // Direct3D's front faces are clockwise as seen on screen. Every target is drawn upside down
  // to GL (stored top row first), which turns the winding around.
  const uint32_t cull = rs[D3DRS_CULLMODE];
  s.cull = cull == D3DCULL_CW || cull == D3DCULL_CCW;
  s.frontFace = GL_CCW;
  s.cullFace = cull == D3DCULL_CW ? GL_FRONT : GL_BACK;
  switch (rs[D3DRS_FILLMODE]) {
    case D3DFILL_POINT:
      s.polygonMode = GL_POINT;
      break;
    case D3DFILL_WIREFRAME:
      s.polygonMode = GL_LINE;
      break;
    default:
      s.polygonMode = GL_FILL;
      break;
  }
  return s;
}

void PipelineOutput::Apply(const PipelineStates& states, bool targetAlpha, GlState& gl,
                           int targetWidth, int targetHeight) {
  const OutputSettings want = MakeOutputSettings(states, targetAlpha);
  OutputSettings& have = current_;
  if (!known_) {
    // Values no setting ever has, so that each is issued once.
    have.depthFunc = have.srcBlend = have.dstBlend = have.blendOp = 0;
    have.cullFace = have.frontFace = have.polygonMode = 0;
    have.blendFactor = 0x00DEAD00u;
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    have.depthTest = have.blend = have.cull = true;
    known_ = true;
  }
  if (want.depthTest != have.depthTest) {
    if (want.depthTest) {
      glEnable(GL_DEPTH_TEST);
    } else {
      glDisable(GL_DEPTH_TEST);
    }
    have.depthTest = want.depthTest;
  }
  if (want.depthTest && want.depthFunc != have.depthFunc) {
    glDepthFunc(want.depthFunc);
    have.depthFunc = want.depthFunc;
  }
  if (want.blend != have.blend) {
    if (want.blend) {
      glEnable(GL_BLEND);
    } else {
      glDisable(GL_BLEND);
    }
    have.blend = want.blend;
  }
  // The function, equation and colour matter only while blending is on.
  if (want.blend) {
    if (want.srcBlend != have.srcBlend || want.dstBlend != have.dstBlend) {
      glBlendFunc(want.srcBlend, want.dstBlend);
      have.srcBlend = want.srcBlend;
      have.dstBlend = want.dstBlend;
    }
    if (want.blendOp != have.blendOp) {
      glBlendEquation(want.blendOp);
      have.blendOp = want.blendOp;
    }
    if (want.blendFactor != have.blendFactor) {
      const uint32_t f = want.blendFactor;
      glBlendColor(static_cast<float>((f >> 16) & 0xFF) / 255.0f,
                   static_cast<float>((f >> 8) & 0xFF) / 255.0f,
                   static_cast<float>(f & 0xFF) / 255.0f,
                   static_cast<float>((f >> 24) & 0xFF) / 255.0f);
      have.blendFactor = want.blendFactor;
    }
  }
  if (want.cull != have.cull) {
    if (want.cull) {
      glEnable(GL_CULL_FACE);
    } else {
      glDisable(GL_CULL_FACE);
    }
    have.cull = want.cull;
  }
  if (want.cull && want.cullFace != have.cullFace) {
    glCullFace(want.cullFace);
    have.cullFace = want.cullFace;
  }
  if (want.cull && want.frontFace != have.frontFace) {
    glFrontFace(want.frontFace);
    have.frontFace = want.frontFace;
  }
  if (want.polygonMode != have.polygonMode) {
    glPolygonMode(GL_FRONT_AND_BACK, want.polygonMode);
    have.polygonMode = want.polygonMode;
  }

  // These go through the device's cache: Clear and Present borrow them.
  gl.SetDepthWriteMask(states.render[D3DRS_ZWRITEENABLE] != 0);
  gl.SetColorWriteMask(states.render[D3DRS_COLORWRITEENABLE]);
  if (states.render[D3DRS_SCISSORTESTENABLE]) {
    // The engine never sets a scissor rectangle, and Direct3D's default is the whole target.
    gl.EnableScissor(true);
    gl.SetScissor(GlRect{0, 0, targetWidth, targetHeight});
  } else {
    gl.EnableScissor(false);
  }
}

}  // namespace gfx
