#pragma once
// The texture formats the device keeps, their sizes, and conversions between each format and
// A8R8G8B8 words (0xAARRGGBB), which is what mip generation, the software DXT path and test
// read-backs work in. Free of GL so that the DDS reader and tests can use it alone.
//
// Layouts are Direct3D's, little-endian: a 16-bit format is one word per texel with red in the
// high bits; R8G8B8 is three bytes B, G, R; A8L8 is the bytes L, A. DXT data is 4 x 4 blocks,
// blocks left to right, block rows top first; a level whose size is not a multiple of 4 still
// has whole blocks, the texels outside the level being ignored.

#include <cstddef>
#include <cstdint>

#include "Platform/Gfx/D3DTypes.h"

namespace gfx {

// True for the formats textures may have: A8R8G8B8, X8R8G8B8, R8G8B8, R5G6B5, X1R5G5B5,
// A1R5G5B5, A4R4G4B4, L8, A8, A8L8, DXT1, DXT3, DXT5.
bool IsTextureFormat(D3DFORMAT format);
bool IsCompressedFormat(D3DFORMAT format);
// Bytes per texel of an uncompressed format; 0 for DXT and unknown formats.
uint32_t BytesPerPixel(D3DFORMAT format);
// Bytes per 4 x 4 block of a DXT format (8 or 16); 0 otherwise.
uint32_t BlockBytes(D3DFORMAT format);

// A level's row pitch: width x bytes per texel, or for DXT the bytes of one row of blocks.
uint64_t FormatPitch(D3DFORMAT format, uint32_t width);
// Rows of the pitch above: the height, or the number of block rows for DXT.
uint32_t FormatRows(D3DFORMAT format, uint32_t height);
// Bytes of a whole level (pitch x rows); 0 for an unknown format.
uint64_t FormatLevelSize(D3DFORMAT format, uint32_t width, uint32_t height);

// The size of mip level `level` of a `size` texture (halved, at least 1).
uint32_t MipSize(uint32_t size, uint32_t level);
// The number of levels of a full chain down to 1 x 1.
uint32_t FullMipCount(uint32_t width, uint32_t height);

// One row of `width` texels of an uncompressed format to A8R8G8B8 words, and back. Formats
// without alpha read as opaque; L8 reads as grey, A8 as black with its alpha.
void RowToArgb(D3DFORMAT format, const uint8_t* source, uint32_t width, uint32_t* argb);
void RowFromArgb(D3DFORMAT format, const uint32_t* argb, uint32_t width, uint8_t* dest);

// A whole level (its pitch as FormatPitch gives, DXT included) to width x height A8R8G8B8 words,
// top row first, and back. `source` must hold FormatLevelSize bytes; false for unknown formats.
bool LevelToArgb(D3DFORMAT format, const uint8_t* source, uint32_t width, uint32_t height,
                 uint32_t* argb);
bool LevelFromArgb(D3DFORMAT format, const uint32_t* argb, uint32_t width, uint32_t height,
                   uint8_t* dest);

// One DXT block to its 16 texels, row by row.
void DecodeDxtBlock(D3DFORMAT format, const uint8_t* block, uint32_t texels[16]);
// 16 texels to one DXT block: end points from the block's colour (and alpha) range, each texel
// taking the nearest palette entry. DXT1 uses its transparent entry for texels under half alpha.
void EncodeDxtBlock(D3DFORMAT format, const uint32_t texels[16], uint8_t* block);

// The next mip level of an A8R8G8B8 image: each texel the rounded mean of a 2 x 2 box (2 x 1
// or 1 x 2 once a side is 1; an odd last row or column is left out).
void BoxFilterArgb(const uint32_t* source, uint32_t width, uint32_t height, uint32_t* dest);

}  // namespace gfx
