#pragma once
// The pool as the diving game reads it from its scene: walking routes (points, a heading at each
// and the length of each segment), the camera points, where Cobb and the lifeguard stand and
// where the props are drawn. Everything comes from the scene's named game nodes; a route is a
// prefix with its point's index after it ("path07", "board12", "tochair03").
//
// The play code walks routes by index, so the reader refuses a scene whose routes it could not
// walk safely: an index that is not all digits, a point missing or given twice, or a route
// shorter than the walk needs. Refusal is a log line and false, never a half-read layout.

#include <cstdint>

#include "Engine/FastMath.h"
#include "Engine/MemoryTracker.h"

enum DivingRouteId : int32_t {
  kRoutePath,
  kRouteReturn0,
  kRouteReturn1,
  kRouteReturn2,
  kRouteToChair,
  kRouteBoard0,
  kRouteBoard1,
  kRouteBoard2,
  kRouteCount,
};

// The fourteen camera points, in the order of their node names.
enum DivingCameraPoint : int32_t {
  kCamC00,
  kCamC01,
  kCamD00,
  kCamD01,
  kCamE00,
  kCamE01,
  kCamF,
  kCamG,
  kCamH,
  kCamI,
  kCamJ00,
  kCamJ01,
  kCamK00,
  kCamK01,
  kCameraPointCount,
};

// The late shots' cameras L, M, N and O.
constexpr int32_t kLateCameraCount = 4;
constexpr int32_t kBoardCount = 3;

// The route totals: path segments 0..9, path segments from 10 on, and the three return routes.
enum DivingTotal : int32_t { kTotalPathFirst, kTotalPathSecond, kTotalReturn0, kTotalCount = 5 };

struct DivingRoute {
  Vector4* points = nullptr;
  float* headings = nullptr;
  float* lengths = nullptr;  // count - 1 entries once the lengths are built
  uint32_t count = 0;
};

struct DivingLayout {
  DivingRoute routes[kRouteCount];
  Vector4 chair;
  float chairHeading = 0.0f;
  Vector4 renderChair;
  Vector4 cobbStand;
  Vector4 cobbAngles;  // three Euler angles and a spare
  Vector4 lifeguardStand;
  Vector4 lifeguardAngles;
  Vector4 boardLocators[kBoardCount];
  Vector4 cameraA;
  Vector4 cameraB;
  Vector4 cameraTargets[3];  // 1 and 2 are read ("cameratarget01", "cameratarget02")
  Vector4 cameraPoints[kCameraPointCount];
  Vector4 lateCameras[kLateCameraCount];
  Vector4 lateTargets[kLateCameraCount];
  float chairToPath = 0.0f;
  float totals[kTotalCount] = {};
};

// One game node as the reader sees it.
struct DivingNode {
  const char* name;
  const Matrix* matrix;
};

// The fewest points each route needs for the walk (the path's step climbs are at points 11 and
// 15, the high board's tower top is point 16; the to-chair route closes the chair offer at 3).
constexpr uint32_t kMinRoutePoints[kRouteCount] = {17, 2, 2, 2, 4, 3, 4, 1};

// Reads the nodes into `layout` (whose route arrays must be empty), allocating the point and
// heading arrays under `owner`. False, with a log line and nothing allocated, when the routes
// break the rules above.
bool ReadDivingLayout(const DivingNode* nodes, int32_t count, DivingLayout* layout,
                      const AllocOwner& owner);
// Builds the segment lengths and the totals. False (log line) when the tables cannot be made.
bool BuildRouteLengths(DivingLayout* layout, const AllocOwner& owner);
// Frees every array; safe on an empty or partly built layout.
void FreeDivingLayout(DivingLayout* layout, const AllocOwner& owner);

// Length over all four components, as every route length is measured.
float PointDistance(const Vector4& a, const Vector4& b);
// How far along a segment of `length` a step of `speed` goes: a segment of no length is passed
// at once by any movement, instead of dividing by zero.
float SegmentStep(float speed, float length);
// 0 .. 2π: the reader adds 2π once to the headings that must not be negative.
float PositiveHeading(float heading);
