#pragma once
// GLSL 330 for a vs.1.1 program. The source keeps to the interface the device's parts share:
//   layout(location = N) in vec4 vN;   for each declared input (undeclared inputs are never
//                                      read: the assembler refuses them)
//   uniform vec4 c[256];               the constant registers
//   uniform vec4 uPosFixup;            (x and y pixel-centre shift in clip units, y flip, 0;
//                                      the device sets the values it measured for its rasteriser)
//   out vec4 oD0v, oD1v, oT0v, oT1v;   colours saturated to 0..1; unwritten ones (0,0,0,1)
//   out float oFogv;                   oFog.x; oD1's alpha when oFog is never written
// and gl_Position from oPos with Direct3D's 0..w clip depth moved to GL's -w..w, the half-pixel
// shift and the render-target y flip (see VsGlsl.cpp).
//
// Direct3D semantics kept: rcp and rsq of 0 give +infinity (1 gives exactly 1), rsq and log
// take the absolute value, log of 0 is -FLT_MAX, frc is x - floor(x), mov to a0.x floors,
// indexed constant reads outside c0-c255 give (0,0,0,0), expp and logp are the vs.1.1 partial
// forms, lit clamps its power to +-127.9961. Temporaries start at (0,0,0,0).

#include <string>

#include "Platform/Gfx/VsInstruction.h"

namespace gfx {

std::string EmitVsGlsl(const VsProgram& program);

}  // namespace gfx
