#pragma once
// The garden's path maps: a count and 40-byte records, one file per level and kind (the junctions
// where the men in white coats choose their way, and the intermediate points along the paths by
// which one who has left the network finds it again). The images are read whole at load time and
// turned into linked node arrays when a level is built; the queries below are what the enemies
// ask of those arrays.
//
// Distances are squared and taken over the ground plane (x and y) only.

#include <cstdint>

#include "Engine/FastMath.h"

// Neighbour links by direction, as the files store them.
enum TesselDirection : int32_t {
  kTesselNoDirection = -1,
  kTesselPlusY = 0,
  kTesselMinusY = 1,
  kTesselMinusX = 2,
  kTesselPlusX = 3,
};
constexpr int32_t kTesselLinkCount = 4;

// Record flags.
constexpr uint32_t kTesselEnemyStartFlag = 1;   // junction maps only
constexpr uint32_t kTesselPlayerStartFlag = 8;  // either map

// One record as the file holds it. The file's second and third coordinates are the height and
// the ground y, in that order.
struct TesselMapRecord {
  uint32_t unused;
  uint32_t flags;
  float a;  // ground x
  float b;  // height
  float c;  // ground y
  float w;
  int32_t links[kTesselLinkCount];
};
static_assert(sizeof(TesselMapRecord) == 40, "a path-map record is 40 bytes");
constexpr int32_t kTesselMapHeaderBytes = 4;

// A record at run time: z is the height.
struct TesselNavNode {
  uint32_t flags;
  Vector4 position;
  TesselNavNode* links[kTesselLinkCount];
  uint32_t spare;
};

// The number of records of an image of `size` bytes: 0 for no image, -1 (with a log line naming
// `name`) when the image is too short for its header or for the records its count announces.
int32_t TesselPathMapCount(const void* image, int32_t size, const char* name);
// Fills `count` nodes (as TesselPathMapCount gave it) from the image. A link that is neither -1
// nor the index of a record of the same file reads as none, with a log line.
void TesselBuildNavNodes(const void* image, uint32_t count, TesselNavNode* nodes, const char* name);

// The direction code of the segment from `from` to `to`: the link that leads back the way the
// segment came (3 when it ran towards -x, 2 towards +x, 0 towards -y, 1 towards +y), -1 when
// the nodes share a ground position or either is missing.
int32_t TesselDirectionCode(const TesselNavNode* from, const TesselNavNode* to);
float TesselGroundDistanceSq(const Vector4& a, const Vector4& b);

// Queries. Each is safe on an empty map and a null node (none comes back).
bool IsNearJunction(const TesselNavNode* junctions, uint32_t count, const Vector4& p);
TesselNavNode* FindNearestJunction(TesselNavNode* junctions, uint32_t count, const Vector4& p);
// The nearest of the first `count` intermediate nodes; `legLength` receives the ground distance
// to it (0 when there is none).
TesselNavNode* FindNearestIntermediateNode(TesselNavNode* nodes, uint32_t count, const Vector4& p,
                                           float* legLength);
// Walks on past `target` in the direction from `current` to it: `current` becomes `target` and
// `target` its neighbour that way (none at a dead end). Nothing changes without a target.
void ContinueStraight(TesselNavNode** current, TesselNavNode** target);
// The neighbour of `junction` that leads from `p` towards `t`, never by `excluded` while another
// way is open; a random exit when neither wanted way is usable.
TesselNavNode* ChooseExitTowards(TesselNavNode* junction, const Vector4& p, const Vector4& t,
                                 int32_t excluded);
// A random neighbour other than `excluded` (one draw of the shared generator); the excluded way
// when it is the only one.
TesselNavNode* ChooseRandomExit(TesselNavNode* junction, int32_t excluded);
