#pragma once
// The vs.1.1 assembler behind D3DXAssembleShader: macro replacement, comments, the version line,
// dcl_ lines and the instructions, into a VsProgram (see VsInstruction.h for its rules).
//
// Text: one statement per line; `//` and `;` start a comment to the end of the line, `/* */`
// comments may span lines. The first statement must be "vs.1.1" (or "vs_1_1"). Opcodes and
// register names are case-insensitive; operands are separated by commas, tabs or spaces
// (spaces inside `c[a0.x + 13]` are fine). Macro names are case-sensitive and replace whole
// identifiers only, so `Water1` leaves `Water10` alone; a replacement may itself carry a swizzle
// (`value0` -> `c4.x`).
//
// Messages, one per line: "(line N): error: ..." and "(line N): warning: ..." (a temporary read
// before it is written, a0 used before it is set).

#include <cstddef>
#include <string>

#include "Platform/Gfx/D3DTypes.h"
#include "Platform/Gfx/VsInstruction.h"

namespace gfx {

// The text with every macro name (a whole identifier) replaced by its definition; definitions
// are expanded in turn, a name never inside its own expansion. `macros` ends with a null name
// and may itself be null.
std::string VsExpandMacros(const std::string& text, const D3DXMACRO* macros);

// Assembles `length` bytes of `text` (stopping early at a NUL). True when there were no errors;
// *messages gets the errors and warnings either way (empty when there were none).
bool AssembleVs(const char* text, size_t length, const D3DXMACRO* macros, VsProgram* program,
                std::string* messages);

}  // namespace gfx
