#pragma once
// ".scn" scene file images for tests and for the demo data. The writer packs every field at its
// byte offset itself (it borrows none of the reader's record types), so that a layout mistake on
// either side shows as a failed round trip.
//
// A scene is described by its objects (textured meshes), its placement list (object index and
// matrix index pairs) with the matrices it indexes, and its game nodes (name, matrix, geometry
// and particle-template names). Write() lays them out as the loader expects and reports where
// each table went, so that tests can break the image afterwards.
//
// Meshes are single-buffer meshes: vertices, 16-bit indices, solid and alpha strips, the mesh
// flags (2 effect, 4 water), a bounding box and a local matrix.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ByteWriter.h"

namespace scnwriter {

using Matrix16 = std::array<float, 16>;

Matrix16 Identity();
// Identity with the translation (x, y, z) in the fourth row.
Matrix16 Translation(float x, float y, float z);
// A uniform scale s followed by the translation (x, y, z).
Matrix16 ScaleTranslation(float s, float x, float y, float z);

struct Vertex {
  float position[3] = {};
  float normal[3] = {0.0f, 0.0f, -1.0f};
  uint32_t colour = 0xFF808080u;
  float u = 0.0f;
  float v = 0.0f;
};

struct Strip {
  uint32_t material = 0xFFFFFFFFu;  // index into the object's texture names; all ones for none
  uint32_t flags = 0;
  uint32_t firstIndex = 0;
  uint32_t indexCount = 0;
};

struct MeshDesc {
  uint16_t flags = 0;  // 2 effect, 4 water
  std::vector<Vertex> vertices;
  std::vector<uint16_t> indices;
  std::vector<Strip> solidStrips;
  std::vector<Strip> alphaStrips;
  float boxMin[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  float boxMax[4] = {0.0f, 0.0f, 0.0f, 1.0f};
  Matrix16 matrix = Identity();

  // Sets the box to the vertices' extent.
  void FitBox();
};

// A square in the z = `z` plane from (x0, y0) to (x1, y1), facing +z (a floor seen from above),
// in one strip of `material`; solid unless `alpha`.
MeshDesc Quad(float x0, float y0, float x1, float y1, float z, uint32_t colour,
              uint32_t material = 0xFFFFFFFFu, bool alpha = false);
// A box with six outward faces from `lo` to `hi` (x, y, z) in one solid strip.
MeshDesc Box(const float lo[3], const float hi[3], uint32_t colour,
             uint32_t material = 0xFFFFFFFFu);

struct ObjectDesc {
  std::vector<std::string> textures;  // file names, relative to the data folder
  MeshDesc mesh;
};

struct Placement {
  uint32_t object = 0;
  uint32_t matrix = 0;
};

struct GameNodeDesc {
  std::string name;
  Matrix16 matrix = Identity();
  std::string geometry = " ";   // a first character that is a space: no geometry
  std::string particles = " ";  // likewise for the particle template
};

struct SceneDesc {
  uint32_t type = 1;
  uint32_t version = 3;
  std::vector<ObjectDesc> objects;
  std::vector<Matrix16> matrices;
  std::vector<Placement> placements;
  // Word 10: whether the placement list is present.
  bool placementList = true;
  std::vector<GameNodeDesc> nodes;
};

// Byte offsets of the header words.
constexpr size_t kOffsetType = 0;
constexpr size_t kOffsetVersion = 4;
constexpr size_t kOffsetObjectCount = 8;
constexpr size_t kOffsetObjectTable = 16;
constexpr size_t kOffsetNodeCount = 20;
constexpr size_t kOffsetNodeNames = 24;
constexpr size_t kOffsetNodeMatrices = 28;
constexpr size_t kOffsetNodeGeometry = 32;
constexpr size_t kOffsetNodeParticles = 36;
constexpr size_t kOffsetPlacementFlag = 40;
constexpr size_t kOffsetPlacementRecord = 44;
constexpr size_t kOffsetMatrixCount = 48;
constexpr size_t kOffsetMatrixTable = 52;
constexpr size_t kHeaderSize = 56;
// Sizes of the other records.
constexpr size_t kObjectRecordSize = 16;
constexpr size_t kMeshRecordSize = 188;
constexpr size_t kVertexSize = 36;
constexpr size_t kStripSize = 16;
constexpr size_t kMatrixSize = 64;
constexpr size_t kPlacementRecordSize = 12;
constexpr size_t kPlacementEntrySize = 8;

// Where things are in an image from Write.
struct Layout {
  size_t objectTable = 0;
  std::vector<size_t> objectRecords;  // the 16-byte object records
  std::vector<size_t> textureTables;  // each object's texture-name offset table
  std::vector<size_t> meshRecords;    // each object's 188-byte mesh record
  size_t nodeNames = 0;
  size_t nodeMatrices = 0;
  size_t nodeGeometry = 0;
  size_t nodeParticles = 0;
  size_t placementRecord = 0;
  size_t placementEntries = 0;
  size_t matrixTable = 0;
  size_t size = 0;
};

std::vector<uint8_t> Write(const SceneDesc& desc, Layout* layout = nullptr);
// Write into a file (folders are created); false when it cannot be written.
bool SaveScn(const std::string& path, const SceneDesc& desc);

// Appends an object record (texture names and mesh) to `image` at a 4-byte boundary; returns the
// record's offset. Offsets inside it count from the start of `image`. A ".geo" node record has
// the same layout. Where the pieces went is added to `layout` when given.
size_t AppendObject(std::vector<uint8_t>* image, const ObjectDesc& object,
                    Layout* layout = nullptr);
// Appends a mesh record with its data; returns the record's offset.
size_t AppendMesh(std::vector<uint8_t>* image, const MeshDesc& mesh);

// ---- The demo data's placeholder level and character. tools/datagen writes them into the data
// folder; the end-to-end tests write the very same files into theirs.
//
// The level (z up, one unit a metre): a textured floor and two crates placed by the scene's
// matrices, and the game nodes "camera01", "camera_target01", "character", "crate01" (with the
// geometry "crate"), "fire01" (with the particle template "spark") and "light01". Writes into
// `folder`: "scene.scn", "scene.lgt", "crate.geo", "spark.ps2" and the textures "floor.dds",
// "crate.dds" and "spark.dds".
bool SaveDemoScene(const std::string& folder);
SceneDesc DemoScene();

// The character: the biped of the skeleton writer (about 1.8 units tall, up the z axis, facing
// -y) with a small cube round every bone, each cube skinned wholly to its bone and textured by
// part, so that a picture shows which bone is where (a lit mesh takes its colour from its
// texture and the lights alone). Writes "character.geo", its four textures and "walk.anm" (a
// one-second looping walk) into `folder`.
bool SaveDemoCharacter(const std::string& folder);
// The part textures' colours.
constexpr uint32_t kDemoHandColour = 0xFFA02020u;  // the hands and fingers: red
constexpr uint32_t kDemoFootColour = 0xFF2020A0u;  // the feet and toes: blue
constexpr uint32_t kDemoHeadColour = 0xFFA0A020u;  // the head: yellow
constexpr uint32_t kDemoBodyColour = 0xFF606060u;  // every other bone: grey
// Half the side of a bone's cube, and of the head's.
constexpr float kDemoCubeHalf = 0.06f;
constexpr float kDemoHeadHalf = 0.1f;

using bytewriter::GetU32;
using bytewriter::SaveBytes;
using bytewriter::PutU16;
using bytewriter::PutU32;
using bytewriter::PutF32;

}  // namespace scnwriter
