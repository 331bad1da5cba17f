#include "tests/support/ScnWriter.h"

#include <algorithm>
#include <cmath>

#include "tests/support/AnmWriter.h"
#include "tests/support/DdsWriter.h"
#include "tests/support/GeoWriter.h"
#include "tests/support/LgtWriter.h"
#include "tests/support/Ps2Writer.h"
#include "tests/support/SkeletonWriter.h"

namespace scnwriter {

namespace {

void Align4(std::vector<uint8_t>* image) { bytewriter::Align(*image, 4); }

size_t AppendString(std::vector<uint8_t>* image, const std::string& text) {
  return bytewriter::AppendString(*image, text);
}

size_t AppendMatrix(std::vector<uint8_t>* image, const Matrix16& m) {
  const size_t offset = image->size();
  for (size_t i = 0; i < 16; ++i) PutF32(image, offset + i * 4, m[i]);
  return offset;
}

Vertex MakeVertex(float x, float y, float z, const float normal[3], uint32_t colour, float u,
                  float v) {
  Vertex vertex;
  vertex.position[0] = x;
  vertex.position[1] = y;
  vertex.position[2] = z;
  std::copy(normal, normal + 3, vertex.normal);
  vertex.colour = colour;
  vertex.u = u;
  vertex.v = v;
  return vertex;
}

}  // namespace

Matrix16 Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Matrix16 Translation(float x, float y, float z) { return ScaleTranslation(1.0f, x, y, z); }

Matrix16 ScaleTranslation(float s, float x, float y, float z) {
  return {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, x, y, z, 1};
}

void MeshDesc::FitBox() {
  if (vertices.empty()) return;
  for (int axis = 0; axis < 3; ++axis) {
    boxMin[axis] = boxMax[axis] = vertices[0].position[axis];
    for (const Vertex& v : vertices) {
      boxMin[axis] = std::min(boxMin[axis], v.position[axis]);
      boxMax[axis] = std::max(boxMax[axis], v.position[axis]);
    }
  }
  boxMin[3] = boxMax[3] = 1.0f;
}

MeshDesc Quad(float x0, float y0, float x1, float y1, float z, uint32_t colour, uint32_t material,
              bool alpha) {
  MeshDesc mesh;
  const float normal[3] = {0.0f, 0.0f, 1.0f};
  mesh.vertices = {MakeVertex(x0, y0, z, normal, colour, 0, 1),
                   MakeVertex(x1, y0, z, normal, colour, 1, 1),
                   MakeVertex(x0, y1, z, normal, colour, 0, 0),
                   MakeVertex(x1, y1, z, normal, colour, 1, 0)};
  // Clockwise seen from the +z side: the side a culled draw shows.
  mesh.indices = {0, 2, 1, 1, 2, 3};
  Strip strip{material, 0, 0, 6};
  (alpha ? mesh.alphaStrips : mesh.solidStrips).push_back(strip);
  mesh.FitBox();
  return mesh;
}

MeshDesc Box(const float lo[3], const float hi[3], uint32_t colour, uint32_t material) {
  MeshDesc mesh;
  // Each face: an axis, a side, and the two other axes spanning it.
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      const int a = (axis + 1) % 3, b = (axis + 2) % 3;
      float normal[3] = {0, 0, 0};
      normal[axis] = side ? 1.0f : -1.0f;
      const uint16_t first = static_cast<uint16_t>(mesh.vertices.size());
      for (int corner = 0; corner < 4; ++corner) {
        float p[3];
        p[axis] = side ? hi[axis] : lo[axis];
        p[a] = (corner & 1) ? hi[a] : lo[a];
        p[b] = (corner & 2) ? hi[b] : lo[b];
        mesh.vertices.push_back(MakeVertex(p[0], p[1], p[2], normal, colour,
                                           float(corner & 1), float(corner >> 1)));
      }
      // Clockwise seen from outside. Corner 1 steps along a and corner 2 along b, and a x b
      // points along +axis: the (0, 1, 2) turn is clockwise seen from the -axis side.
      const uint16_t low[6] = {0, 1, 2, 1, 3, 2}, high[6] = {0, 2, 1, 1, 2, 3};
      for (uint16_t i : side ? high : low) mesh.indices.push_back(static_cast<uint16_t>(first + i));
    }
  }
  mesh.solidStrips.push_back({material, 0, 0, static_cast<uint32_t>(mesh.indices.size())});
  mesh.FitBox();
  return mesh;
}

size_t AppendMesh(std::vector<uint8_t>* image, const MeshDesc& mesh) {
  // The same record as a ".geo" mesh: written by the one mesh writer, with this box as given.
  geowriter::Mesh geo;
  geo.flags = mesh.flags;
  for (const Vertex& v : mesh.vertices)
    geo.vertices.push_back({{v.position[0], v.position[1], v.position[2]},
                            {v.normal[0], v.normal[1], v.normal[2]}, v.colour, v.u, v.v});
  geo.indices = mesh.indices;
  for (const Strip& s : mesh.solidStrips)
    geo.solidStrips.push_back({s.material, s.flags, s.firstIndex, s.indexCount});
  for (const Strip& s : mesh.alphaStrips)
    geo.alphaStrips.push_back({s.material, s.flags, s.firstIndex, s.indexCount});
  geo.hasBox = true;
  std::copy(mesh.boxMin, mesh.boxMin + 4, geo.boxMin);
  std::copy(mesh.boxMax, mesh.boxMax + 4, geo.boxMax);
  std::copy(mesh.matrix.begin(), mesh.matrix.end(), geo.matrix);
  const size_t record = geowriter::AppendMesh(*image, geo);
  Align4(image);
  return record;
}

size_t AppendObject(std::vector<uint8_t>* image, const ObjectDesc& object, Layout* layout) {
  Align4(image);
  const size_t record = image->size();
  image->resize(record + kObjectRecordSize, 0);
  const size_t table = image->size();
  image->resize(table + 4 * object.textures.size(), 0);
  for (size_t i = 0; i < object.textures.size(); ++i)
    PutU32(image, table + 4 * i, static_cast<uint32_t>(AppendString(image, object.textures[i])));
  const size_t mesh = AppendMesh(image, object.mesh);
  PutU32(image, record + 4, static_cast<uint32_t>(object.textures.size()));
  PutU32(image, record + 8, static_cast<uint32_t>(mesh));
  PutU32(image, record + 12, static_cast<uint32_t>(table));
  if (layout) {
    layout->objectRecords.push_back(record);
    layout->textureTables.push_back(table);
    layout->meshRecords.push_back(mesh);
  }
  return record;
}

std::vector<uint8_t> Write(const SceneDesc& desc, Layout* layout) {
  Layout local;
  Layout& out = layout ? *layout : local;
  out = Layout();
  std::vector<uint8_t> image(kHeaderSize, 0);
  PutU32(&image, kOffsetType, desc.type);
  PutU32(&image, kOffsetVersion, desc.version);

  PutU32(&image, kOffsetObjectCount, static_cast<uint32_t>(desc.objects.size()));
  out.objectTable = image.size();
  image.resize(image.size() + 4 * desc.objects.size(), 0);
  PutU32(&image, kOffsetObjectTable, static_cast<uint32_t>(out.objectTable));
  for (size_t i = 0; i < desc.objects.size(); ++i) {
    const size_t record = AppendObject(&image, desc.objects[i], &out);
    PutU32(&image, out.objectTable + 4 * i, static_cast<uint32_t>(record));
  }

  PutU32(&image, kOffsetNodeCount, static_cast<uint32_t>(desc.nodes.size()));
  out.nodeNames = image.size();
  for (const GameNodeDesc& node : desc.nodes) AppendString(&image, node.name);
  Align4(&image);
  out.nodeMatrices = image.size();
  for (const GameNodeDesc& node : desc.nodes) AppendMatrix(&image, node.matrix);
  out.nodeGeometry = image.size();
  for (const GameNodeDesc& node : desc.nodes) AppendString(&image, node.geometry);
  out.nodeParticles = image.size();
  for (const GameNodeDesc& node : desc.nodes) AppendString(&image, node.particles);
  Align4(&image);
  PutU32(&image, kOffsetNodeNames, static_cast<uint32_t>(out.nodeNames));
  PutU32(&image, kOffsetNodeMatrices, static_cast<uint32_t>(out.nodeMatrices));
  PutU32(&image, kOffsetNodeGeometry, static_cast<uint32_t>(out.nodeGeometry));
  PutU32(&image, kOffsetNodeParticles, static_cast<uint32_t>(out.nodeParticles));

  out.matrixTable = image.size();
  for (const Matrix16& m : desc.matrices) AppendMatrix(&image, m);
  PutU32(&image, kOffsetMatrixCount, static_cast<uint32_t>(desc.matrices.size()));
  PutU32(&image, kOffsetMatrixTable, static_cast<uint32_t>(out.matrixTable));

  if (desc.placementList) {
    out.placementRecord = image.size();
    image.resize(image.size() + kPlacementRecordSize, 0);
    out.placementEntries = image.size();
    for (size_t i = 0; i < desc.placements.size(); ++i) {
      PutU32(&image, out.placementEntries + i * kPlacementEntrySize, desc.placements[i].object);
      PutU32(&image, out.placementEntries + i * kPlacementEntrySize + 4, desc.placements[i].matrix);
    }
    PutU32(&image, out.placementRecord + 4, static_cast<uint32_t>(desc.placements.size()));
    PutU32(&image, out.placementRecord + 8, static_cast<uint32_t>(out.placementEntries));
    PutU32(&image, kOffsetPlacementFlag, 1);
    PutU32(&image, kOffsetPlacementRecord, static_cast<uint32_t>(out.placementRecord));
  }
  out.size = image.size();
  return image;
}

bool SaveScn(const std::string& path, const SceneDesc& desc) { return SaveBytes(path, Write(desc)); }

// ---- The demo level and character

namespace {

// A square texture of `size` texels, each from `texel` (x, y).
bool SaveTexture(const std::string& path, uint32_t size,
                 uint32_t (*texel)(uint32_t x, uint32_t y)) {
  std::vector<uint32_t> texels(size * size);
  for (uint32_t y = 0; y < size; ++y)
    for (uint32_t x = 0; x < size; ++x) texels[y * size + x] = texel(x, y);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, size, size, texels.data(), true);
}

uint32_t FloorTexel(uint32_t x, uint32_t y) {
  return ((x / 8 + y / 8) % 2) ? 0xFF9A9A9Au : 0xFF7A7A7Au;
}
uint32_t CrateTexel(uint32_t x, uint32_t y) {
  // Planks with a darker frame.
  const bool frame = x < 3 || y < 3 || x > 28 || y > 28;
  return frame ? 0xFF5A3A1Au : ((y / 8) % 2 ? 0xFFA0703Au : 0xFF946632u);
}
uint32_t SparkTexel(uint32_t x, uint32_t y) {
  // A soft round dot: opaque in the middle, transparent at the rim.
  const float dx = float(x) - 7.5f, dy = float(y) - 7.5f;
  const float d = std::min(1.0f, std::sqrt(dx * dx + dy * dy) / 8.0f);
  const uint32_t alpha = static_cast<uint32_t>((1.0f - d) * 255.0f);
  return alpha << 24 | 0x00FFB040u;
}
// The four parts of the character, each drawn with a texture of its own colour.
enum Part : uint32_t { kBody, kHand, kFoot, kHead, kPartCount };
constexpr const char* kPartTextures[kPartCount] = {"body.dds", "hand.dds", "foot.dds",
                                                   "head.dds"};
constexpr uint32_t kPartColours[kPartCount] = {kDemoBodyColour, kDemoHandColour, kDemoFootColour,
                                               kDemoHeadColour};

Part PartOf(const std::string& bone) {
  if (bone.find("Hand") != std::string::npos || bone.find("Finger") != std::string::npos)
    return kHand;
  if (bone.find("Foot") != std::string::npos || bone.find("Toe") != std::string::npos)
    return kFoot;
  if (bone == "Head_bone") return kHead;
  return kBody;
}

bool SaveSolid(const std::string& path, uint32_t argb) {
  std::vector<uint32_t> texels(8 * 8, argb);
  return ddswriter::SaveDds(path, gfx::D3DFMT_A8R8G8B8, 8, 8, texels.data(), true);
}

}  // namespace

SceneDesc DemoScene() {
  SceneDesc desc;
  ObjectDesc floor;
  floor.textures = {"floor.dds"};
  floor.mesh = Quad(-10, -10, 10, 10, 0, 0xFF808080u, 0);
  // Texture coordinates: the checker repeats five times across the floor.
  for (Vertex& v : floor.mesh.vertices) {
    v.u *= 5.0f;
    v.v *= 5.0f;
  }
  ObjectDesc crate;
  crate.textures = {"crate.dds"};
  const float lo[3] = {-0.5f, -0.5f, 0.0f}, hi[3] = {0.5f, 0.5f, 1.0f};
  crate.mesh = Box(lo, hi, 0xFF808080u, 0);
  desc.objects = {floor, crate};
  desc.matrices = {Identity(), Translation(3, 2, 0), Translation(-3, 3, 0)};
  desc.placements = {{0, 0}, {1, 1}, {1, 2}};
  desc.nodes = {{"camera01", Translation(-4.5f, -4.5f, 1.6f), " ", " "},
                {"camera_target01", Translation(0, 0, 1), " ", " "},
                {"character", Identity(), " ", " "},
                {"crate01", Translation(4, -2, 0), "crate", " "},
                {"fire01", Translation(-3, 3, 1), " ", "spark"},
                {"light01", Translation(2, -2, 4), " ", " "}};
  return desc;
}

bool SaveDemoScene(const std::string& folder) {
  bool ok = SaveScn(folder + "/scene.scn", DemoScene());
  lgtwriter::LightDesc lights;
  lights.count = 2;
  lights.ambient[0] = lights.ambient[1] = lights.ambient[2] = 0.4f;
  lights.lights[0] = {{0.3f, 0.5f, -0.8f}, {0.7f, 0.7f, 0.6f}};
  lights.lights[1] = {{-0.5f, -0.2f, -0.3f}, {0.2f, 0.2f, 0.3f}};
  ok = lgtwriter::SaveLgt(folder + "/scene.lgt", lights) && ok;

  geowriter::GeoDesc crate;
  const float lo[3] = {-0.4f, -0.4f, 0.0f}, hi[3] = {0.4f, 0.4f, 0.8f};
  crate.nodes.push_back({geowriter::BoxMesh(lo, hi, 0xFF808080u, 0), {"crate.dds"}});
  ok = geowriter::SaveGeo(folder + "/crate.geo", crate) && ok;

  ps2writer::Template spark;
  spark.maxParticles = 64;
  spark.emitPerFrame = 0.5f;
  spark.maxLife = 45.0f;
  spark.lifeVariation = 15.0f;
  spark.colour[1] = 200.0f;
  spark.colour[2] = 80.0f;
  spark.colourStep[3] = -4.0f;
  spark.velocity[2] = 0.02f;
  spark.velocityVariation[0] = spark.velocityVariation[1] = 0.01f;
  spark.scale[0] = spark.scale[1] = 0.1f;
  spark.flags = ps2writer::kLooped | ps2writer::kAdditive;
  spark.boundsMin[0] = spark.boundsMin[1] = -1.0f;
  spark.boundsMin[2] = 0.0f;
  spark.boundsMax[0] = spark.boundsMax[1] = 1.0f;
  spark.boundsMax[2] = 2.0f;
  spark.texture = "spark.dds";
  ok = ps2writer::SavePs2(folder + "/spark.ps2", spark) && ok;

  ok = SaveTexture(folder + "/floor.dds", 64, FloorTexel) && ok;
  ok = SaveTexture(folder + "/crate.dds", 32, CrateTexel) && ok;
  ok = SaveTexture(folder + "/spark.dds", 16, SparkTexel) && ok;
  return ok;
}

bool SaveDemoCharacter(const std::string& folder) {
  const skelwriter::SkeletonDesc biped = skelwriter::MakeBiped();
  const std::vector<float> world = skelwriter::BindWorldMatrices(biped);
  // One strip per part: the cubes are gathered by part, each part's indices in one run.
  geowriter::Mesh body;
  std::vector<uint16_t> partIndices[kPartCount];
  for (size_t bone = 0; bone < biped.bones.size(); ++bone) {
    const float* at = &world[bone * 16 + 12];
    const Part part = PartOf(biped.bones[bone].name);
    const float half = part == kHead ? kDemoHeadHalf : kDemoCubeHalf;
    const float lo[3] = {at[0] - half, at[1] - half, at[2] - half};
    const float hi[3] = {at[0] + half, at[1] + half, at[2] + half};
    const geowriter::Mesh cube = geowriter::BoxMesh(lo, hi, 0xFF808080u, part);
    const uint16_t first = static_cast<uint16_t>(body.vertices.size());
    body.vertices.insert(body.vertices.end(), cube.vertices.begin(), cube.vertices.end());
    for (uint16_t index : cube.indices)
      partIndices[part].push_back(static_cast<uint16_t>(first + index));
    // Wholly the bone's: its index is three times its number (its first constant register).
    const GeoSkinWeight weight = {{static_cast<uint8_t>(bone * 3), 0, 0, 0}, {1.0f, 0, 0, 0}};
    body.skinWeights.insert(body.skinWeights.end(), cube.vertices.size(), weight);
  }
  geowriter::Node node;
  bool ok = true;
  for (uint32_t part = 0; part < kPartCount; ++part) {
    const uint32_t firstIndex = static_cast<uint32_t>(body.indices.size());
    body.indices.insert(body.indices.end(), partIndices[part].begin(), partIndices[part].end());
    body.solidStrips.push_back(
        {part, 0, firstIndex, static_cast<uint32_t>(partIndices[part].size())});
    node.textures.push_back(kPartTextures[part]);
    ok = SaveSolid(folder + "/" + kPartTextures[part], kPartColours[part]) && ok;
  }
  node.mesh = body;
  geowriter::GeoDesc character;
  character.nodes.push_back(node);
  character.SetSkeleton(biped);
  ok = geowriter::SaveGeo(folder + "/character.geo", character) && ok;
  ok = anmwriter::Save(folder + "/walk.anm", anmwriter::MakeWalk(biped)) && ok;
  return ok;
}

}  // namespace scnwriter
