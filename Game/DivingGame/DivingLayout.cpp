#include "Game/DivingGame/DivingLayout.h"

#include <cstring>

#include "Engine/FastMathRotation.h"
#include "Engine/LogFile.h"

namespace {

constexpr float kTwoPi = 6.2831855f;
// Path segments whose length is the step climb's, not the distance of their points.
constexpr uint32_t kClimbSegment11 = 11;
constexpr uint32_t kClimbSegment15 = 15;
constexpr float kClimb11Length = 300.0f;
constexpr float kClimb15Length = 450.0f;
constexpr uint32_t kFirstTotalSegments = 10;

// A route prefix: counted by `countPrefix`, indexed by the digits after `indexPrefix`.
struct RouteName {
  const char* countPrefix;
  const char* indexPrefix;
  int32_t digits;
  bool positiveHeadings;
};
constexpr RouteName kRouteNames[kRouteCount] = {
    {"path", "path", 2, true},         {"return0", "return0", 1, false},
    {"return1", "return1", 1, false},  {"return2", "return2", 1, false},
    {"tochair", "tochair0", 1, false}, {"board0", "board0", 1, true},
    {"board1", "board1", 1, true},     {"board2", "board2", 1, true},
};

constexpr const char* kCameraNames[kCameraPointCount] = {
    "camera_c00", "camera_c01", "camera_d00", "camera_d01", "camera_e00",
    "camera_e01", "camera_f",   "camera_g",   "camera_h",   "camera_i",
    "camera_j00", "camera_j01", "camera_k00", "camera_k01"};
constexpr const char* kLateCameraNames[kLateCameraCount] = {"camera_l", "camera_m", "camera_n",
                                                            "camera_o"};
constexpr const char* kLateTargetNames[kLateCameraCount] = {"cameratarget_l", "cameratarget_m",
                                                            "cameratarget_n", "cameratarget_o"};

bool StartsWith(const char* name, const char* prefix) {
  return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

// The index written as exactly `digits` decimal digits after `prefix`, or -1.
int32_t ParseIndex(const char* name, const char* prefix, int32_t digits) {
  const char* at = name + std::strlen(prefix);
  int32_t value = 0;
  for (int32_t i = 0; i < digits; ++i) {
    if (at[i] < '0' || at[i] > '9') return -1;
    value = value * 10 + (at[i] - '0');
  }
  return at[digits] == '\0' ? value : -1;
}

Vector4 Position(const Matrix& m) { return m.GetRow(3); }

Vector4 Angles(const Matrix& m) {
  Vector4 angles;
  MatrixToEuler(m, angles);
  angles.w = 0.0f;
  return angles;
}

float Heading(const Matrix& m) { return Angles(m).z; }

// The route a node belongs to by its count prefix, or -1.
int32_t RouteOf(const char* name) {
  for (int32_t r = 0; r < kRouteCount; ++r)
    if (StartsWith(name, kRouteNames[r].countPrefix)) return r;
  return -1;
}

bool CountRoutes(const DivingNode* nodes, int32_t count, uint32_t counts[kRouteCount]) {
  for (int32_t i = 0; i < count; ++i) {
    if (!nodes[i].name || !nodes[i].matrix) {
      DebugLog().Write("cDivingGame: game node %d has no name or matrix\n", i);
      return false;
    }
    const int32_t route = RouteOf(nodes[i].name);
    if (route >= 0) ++counts[route];
  }
  for (int32_t r = 0; r < kRouteCount; ++r)
    if (counts[r] < kMinRoutePoints[r]) {
      DebugLog().Write("cDivingGame: route \"%s\" has %u points, the walk needs %u\n",
                       kRouteNames[r].countPrefix, counts[r], kMinRoutePoints[r]);
      return false;
    }
  return true;
}

bool AllocateRoutes(DivingLayout* layout, const uint32_t counts[kRouteCount],
                    const AllocOwner& owner) {
  for (int32_t r = 0; r < kRouteCount; ++r) {
    DivingRoute& route = layout->routes[r];
    route.count = counts[r];
    route.points = TrackedAlloc<Vector4>(owner, counts[r]);
    route.headings = TrackedAlloc<float>(owner, counts[r]);
    if (!route.points || !route.headings) {
      DebugLog().Write("cDivingGame: no memory for route \"%s\"\n", kRouteNames[r].countPrefix);
      return false;
    }
  }
  return true;
}

// Stores a route node; false when its index breaks the rules. `seen` marks indices per route.
bool StoreRoutePoint(DivingLayout* layout, int32_t r, const DivingNode& node, uint8_t* seen) {
  const RouteName& kind = kRouteNames[r];
  DivingRoute& route = layout->routes[r];
  const int32_t index = StartsWith(node.name, kind.indexPrefix)
                            ? ParseIndex(node.name, kind.indexPrefix, kind.digits)
                            : -1;
  if (index < 0 || static_cast<uint32_t>(index) >= route.count || seen[index]) {
    DebugLog().Write("cDivingGame: route node \"%s\" is not a point of its route (%u points)\n",
                     node.name, route.count);
    return false;
  }
  seen[index] = 1;
  route.points[index] = Position(*node.matrix);
  const float heading = Heading(*node.matrix);
  route.headings[index] = kind.positiveHeadings ? PositiveHeading(heading) : heading;
  return true;
}

// The fixed names; false only for an index out of its range.
bool StoreNamedPoint(DivingLayout* layout, const DivingNode& node) {
  const char* name = node.name;
  const Matrix& m = *node.matrix;
  if (StartsWith(name, "render_chair")) {
    layout->renderChair = Position(m);
  } else if (StartsWith(name, "cobbstand")) {
    layout->cobbStand = Position(m);
    layout->cobbAngles = Angles(m);
  } else if (StartsWith(name, "lifeguardstand")) {
    layout->lifeguardStand = Position(m);
    layout->lifeguardAngles = Angles(m);
  } else if (StartsWith(name, "boardlocator")) {
    const int32_t index = ParseIndex(name, "boardlocator", 2);
    if (index < 0 || index >= kBoardCount) {
      DebugLog().Write("cDivingGame: \"%s\" names no board locator\n", name);
      return false;
    }
    layout->boardLocators[index] = Position(m);
  } else if (StartsWith(name, "cameratarget0")) {
    const int32_t index = ParseIndex(name, "cameratarget0", 1);
    if (index != 1 && index != 2) {
      DebugLog().Write("cDivingGame: \"%s\" names no camera target\n", name);
      return false;
    }
    layout->cameraTargets[index] = Position(m);
  } else if (StartsWith(name, "camera_a")) {
    layout->cameraA = Position(m);
  } else if (StartsWith(name, "camera_b")) {
    layout->cameraB = Position(m);
  } else if (StartsWith(name, "chairnode")) {
    layout->chair = Position(m);
    layout->chairHeading = PositiveHeading(Heading(m));
  } else {
    for (int32_t i = 0; i < kCameraPointCount; ++i)
      if (StartsWith(name, kCameraNames[i])) layout->cameraPoints[i] = Position(m);
    for (int32_t i = 0; i < kLateCameraCount; ++i) {
      if (StartsWith(name, kLateCameraNames[i])) layout->lateCameras[i] = Position(m);
      if (StartsWith(name, kLateTargetNames[i])) layout->lateTargets[i] = Position(m);
    }
  }
  return true;
}

bool StoreNodes(const DivingNode* nodes, int32_t count, DivingLayout* layout,
                const AllocOwner& owner) {
  uint32_t total = 0;
  for (const DivingRoute& route : layout->routes) total += route.count;
  uint8_t* seen = TrackedAlloc<uint8_t>(owner, total);
  if (!seen) return false;
  std::memset(seen, 0, total);
  uint8_t* seenOf[kRouteCount];
  uint32_t at = 0;
  for (int32_t r = 0; r < kRouteCount; ++r) {
    seenOf[r] = seen + at;
    at += layout->routes[r].count;
  }
  bool ok = true;
  for (int32_t i = 0; i < count && ok; ++i) {
    const int32_t route = RouteOf(nodes[i].name);
    ok = route >= 0 ? StoreRoutePoint(layout, route, nodes[i], seenOf[route])
                    : StoreNamedPoint(layout, nodes[i]);
  }
  TrackedFree(owner, seen);
  return ok;
}

float* BuildLengths(const DivingRoute& route, const AllocOwner& owner) {
  const uint32_t n = route.count > 0 ? route.count - 1 : 0;
  // One entry more than needed, so an empty table is still a block of its own.
  float* lengths = TrackedAlloc<float>(owner, n + 1);
  if (!lengths) return nullptr;
  for (uint32_t i = 0; i < n; ++i) lengths[i] = PointDistance(route.points[i], route.points[i + 1]);
  return lengths;
}

}  // namespace

float PointDistance(const Vector4& a, const Vector4& b) {
  Vector4 d;
  Subtract(a, b, d);
  return Length(d);
}

float SegmentStep(float speed, float length) {
  if (length > 0.0f) return speed / length;
  return speed > 0.0f ? 2.0f : 0.0f;
}

float PositiveHeading(float heading) { return heading < 0.0f ? heading + kTwoPi : heading; }

bool ReadDivingLayout(const DivingNode* nodes, int32_t count, DivingLayout* layout,
                      const AllocOwner& owner) {
  uint32_t counts[kRouteCount] = {};
  if ((!nodes && count > 0) || count < 0) {
    DebugLog().Write("cDivingGame: no game node list (%d nodes)\n", count);
    return false;
  }
  if (!CountRoutes(nodes, count, counts)) return false;
  if (!AllocateRoutes(layout, counts, owner) || !StoreNodes(nodes, count, layout, owner)) {
    FreeDivingLayout(layout, owner);
    return false;
  }
  return true;
}

bool BuildRouteLengths(DivingLayout* layout, const AllocOwner& owner) {
  DivingRoute* routes = layout->routes;
  const DivingRoute& path = routes[kRoutePath];
  const DivingRoute& toChair = routes[kRouteToChair];
  if (path.count == 0 || toChair.count == 0) {
    DebugLog().Write("cDivingGame: no route to measure\n");
    return false;
  }
  for (float& total : layout->totals) total = 0.0f;
  layout->chairToPath = PointDistance(layout->chair, path.points[0]);
  for (DivingRoute& route : layout->routes) {
    if (route.lengths) TrackedFree(owner, route.lengths);
    route.lengths = BuildLengths(route, owner);
    if (!route.lengths) return false;
  }
  // The two step climbs are measured by how high they go, not by their points.
  if (path.count - 1 > kClimbSegment11) path.lengths[kClimbSegment11] = kClimb11Length;
  if (path.count - 1 > kClimbSegment15) path.lengths[kClimbSegment15] = kClimb15Length;
  for (uint32_t i = 0; i + 1 < path.count; ++i)
    layout->totals[i < kFirstTotalSegments ? kTotalPathFirst : kTotalPathSecond] += path.lengths[i];
  // A return route's last segment runs to the pool exit, the to-chair route's first point.
  for (int32_t k = 0; k < kBoardCount; ++k) {
    DivingRoute& back = routes[kRouteReturn0 + k];
    if (back.count >= 2)
      back.lengths[back.count - 2] = PointDistance(back.points[back.count - 2], toChair.points[0]);
    for (uint32_t i = 0; i + 1 < back.count; ++i)
      layout->totals[kTotalReturn0 + k] += back.lengths[i];
  }
  return true;
}

void FreeDivingLayout(DivingLayout* layout, const AllocOwner& owner) {
  for (DivingRoute& route : layout->routes) {
    TrackedFree(owner, route.points);
    TrackedFree(owner, route.headings);
    TrackedFree(owner, route.lengths);
    route = DivingRoute();
  }
}
