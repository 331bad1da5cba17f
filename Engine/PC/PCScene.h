#pragma once
// One level's static world, loaded from a ".scn" file: textured objects placed by matrices, and
// the named game nodes (locators) that games look up, each of which may carry a geometry file and
// a particle template. Games create scenes through the application's `SceneFactory`, hand them
// to a render window (`RenderWindow::SetScene`, which attaches them), and read the game nodes
// back by name or index. Every frame the window asks the scene to put its meshes into the
// window's mesh lists (PCSceneDraw.cpp).
//
// The file is used in place. Load checks every count, offset, index and string of it against
// the file's size before anything is built from it; a file that fails is refused with a log line
// and leaves nothing behind. Offsets stay offsets: they are resolved through the image each time.

#include <cstdint>

#include "Engine/BaseScene.h"
#include "Engine/FastMath.h"
#include "Engine/FileImage.h"
#include "Engine/PC/PCMeshRecord.h"

class RenderWindow;
struct GeoMesh;

// The ".scn" header: 14 little-endian words at the start of the file. Offsets count from the
// start of the file.
struct ScnFileHeader {
  uint32_t type;     // SCENE_TYPE
  uint32_t version;  // VERSION_NUM
  int32_t objectCount;
  uint32_t word3;
  // objectCount words, each the offset of an object record (the layout of a ".geo" node record).
  uint32_t objectTableOffset;
  int32_t nodeCount;
  // Packed NUL-terminated strings, one per game node, in node order.
  uint32_t nodeNamesOffset;
  // One 64-byte matrix per game node.
  uint32_t nodeMatricesOffset;
  // Packed strings as the names; a first character that is a space means none.
  uint32_t nodeGeometryOffset;
  uint32_t nodeParticlesOffset;
  // Non-zero when the placement list is present.
  uint32_t placementFlag;
  uint32_t placementRecordOffset;
  uint32_t matrixCount;
  uint32_t matrixTableOffset;
};
static_assert(sizeof(ScnFileHeader) == 56, ".scn header layout");

struct ScnPlacementRecord {
  uint32_t word0;
  uint32_t count;
  // count entries of ScnPlacementEntry.
  uint32_t entriesOffset;
};
static_assert(sizeof(ScnPlacementRecord) == 12, ".scn placement list layout");

struct ScnPlacementEntry {
  uint32_t object;  // index into the object table
  uint32_t matrix;  // index into the placement matrices
};
static_assert(sizeof(ScnPlacementEntry) == 8, ".scn placement entry layout");

// A 4 by 4 float matrix, row by row, as the file holds it (4-byte aligned at best).
struct ScnMatrix {
  float m[16];
};
static_assert(sizeof(ScnMatrix) == 64, ".scn matrix layout");

// A game node's runtime record. Games read its matrix and geometry handle and write its flags,
// matrix and tint; drawing reads them every frame. The name stays in the scene's image: ask the
// scene for it (`Scene::GetGameNode`, `Scene::GetGameNodeName`).
struct GameNode {
  // Flags read by drawing: 0x10 hides the node's geometry; any of 0x04, 0x20, 0x40 sends all its
  // meshes to the alpha list. The whole word reaches the node's mesh records. Games also use
  // 0x02 (placed by the game's matrix) and 0x80 (a fading shadow).
  static constexpr uint32_t kHidden = kNodeHidden;
  static constexpr uint32_t kAlphaMask = kNodeAlphaMask;

  // The node's placement; the fourth row holds its position.
  Matrix matrix;
  // Offsets in the scene's image of the node's name and particle-template name.
  uint32_t nameOffset;
  uint32_t particleNameOffset;
  // The geometry registry's handle of "<geometry name>.geo", or -1.
  int32_t geometry;
  // The particle registry's id of "<particle name>.ps2", or -1.
  int32_t particleTemplate;
  // The particle system started in the attached window, or -1.
  int32_t particleSystem;
  uint32_t flags;
  // Red, green, blue, alpha; 1.0 each at load.
  Vector4 tint;
};

class Scene : public BaseScene {
 public:
  static constexpr uint32_t SCENE_TYPE = 1;
  static constexpr uint32_t VERSION_NUM = 3;

  Scene() = default;
  ~Scene() override { CleanUp(); }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // ---- The scene's operations.
  // Render unless the scene is hidden (flags bit 2).
  void Draw(RenderWindow* window) override;
  // Fills the window's four mesh lists with the placed objects and the game nodes' geometry.
  void Render(RenderWindow* window) override;
  // Gives back everything the scene holds; safe to call more than once.
  void CleanUp() override;
  // The name of game node `index`, or null when there is no such node.
  const char* GetGameNode(int32_t index) override;
  // The first game node whose name is `name` (case-sensitive), or null.
  GameNode* FindGameNode(const char* name) override;
  int32_t GetNumGameNodes() override { return m_NumGameNodes; }
  // Unless the game is paused, moves the scene's time on by the frame's time step.
  void AdvanceTime(int32_t unused) override;
  // Starts the game nodes' particle systems in `window` (those of an earlier attachment are
  // deleted first, in the window they run in) and, for a scene with water, sets up the window's
  // reflection. The scene finds the window again through the application by its id and serial
  // number: a window the application does not hold keeps the systems until it is cleaned up.
  void AttachToWindow(RenderWindow* window) override;
  float GetWaterTime() const override { return m_time; }
  int32_t GetWaterTexture() const override { return m_waterTexture; }
  // 1 when the file is loaded, 0 when it is missing or refused (nothing is kept then).
  int32_t Load(const char* name);

  // ---- What the games read of a scene.
  // Game node `index`'s record, or null when there is no such node.
  GameNode* GetGameNodeRecord(int32_t index);
  // The index of the first game node named `name`, or -1.
  int32_t FindGameNodeIndex(const char* name) const;
  // A node's name, or null for a record that is not one of this scene's.
  const char* GetGameNodeName(const GameNode* node) const;
  // A node's particle-template name as written in the file (a space first means none).
  const char* GetGameNodeParticleName(const GameNode* node) const;

  // The debug word: 1 draws a marker at every game node. The draw-mode word is the flags word
  // (GetFlags/SetFlags; bit 2 hides the scene).
  int32_t GetDebugFlag() const { return m_debug; }
  void SetDebugFlag(int32_t debug) { m_debug = debug; }

  // ---- Inspection.
  int32_t GetObjectCount() const { return m_objectCount; }
  GeoMesh* GetObject(int32_t i) const {
    return (m_objects && i >= 0 && i < m_objectCount) ? m_objects[i] : nullptr;
  }
  uint32_t GetPlacementCount() const { return m_placementCount; }
  uint32_t GetPlacementMatrixCount() const { return m_matrixCount; }
  int32_t HasWater() const { return m_water; }
  int32_t GetWindowId() const { return m_windowId; }
  float GetTime() const { return m_time; }
  const FileImage& GetImage() const { return m_image; }

 private:
  // Checks everything Load reads of the file; false (with a log line) when anything does not fit.
  bool ValidateFile();
  bool ValidateGameNodes();
  bool ValidatePlacements();
  // Builds object `index` from the object record at `recordOffset`; false when it is refused.
  bool CreateSceneObject(uint32_t recordOffset, int32_t index);
  bool CreateGameNodes();
  // Deletes the particle systems the scene started, in the window it started them in.
  void DeleteParticleSystems();
  // The window the scene was attached to, while it is still the application's window of that id.
  RenderWindow* FindAttachedWindow() const;
  // Placement `i` and its matrix (both checked at load).
  ScnPlacementEntry GetPlacement(uint32_t i) const;
  Matrix GetPlacementMatrix(uint32_t i) const;
  // The submission passes (PCSceneDraw.cpp).
  void SubmitPlacements(RenderWindow* window, const Matrix& viewProjection, bool effects);
  void SubmitGameNodes(RenderWindow* window, const Matrix& viewProjection);
  void DrawGameNodeMarkers(RenderWindow* window);

  void* m_pLoadedFile = nullptr;
  FileImage m_image;
  GeoMesh** m_objects = nullptr;
  int32_t m_objectCount = 0;
  int32_t m_NumGameNodes = 0;
  GameNode* m_gameNodes = nullptr;
  int32_t m_debug = 0;
  int32_t m_water = 0;
  uint32_t m_matrixCount = 0;
  uint32_t m_matrixTableOffset = 0;
  uint32_t m_placementCount = 0;
  uint32_t m_placementOffset = 0;
  int32_t m_windowId = -1;
  // The serial number of the window attached to: the window found by id must be that very one
  // before the scene touches its particle systems (0: never attached).
  uint64_t m_windowSerial = 0;
  int32_t m_waterTexture = -1;
  float m_time = 0.0f;
};
