// The particle editor's keyboard and pad camera.

#include "Engine/FastMathRotation.h"
#include "Engine/Input.h"
#include "Engine/PC/PCApp.h"
#include "Game/ParticleEditor.h"

namespace {

constexpr float kDegreesToRadians = 0.01745329238474369f;
constexpr float kStride = 2.0f;

// The stick's own bits of the first pad turn the view.
constexpr uint32_t kPadTurnDownA = kPadBitStickUp, kPadTurnUpA = kPadBitStickDown,
                   kPadTurnDownB = kPadBitStickLeft, kPadTurnUpB = kPadBitStickRight;

Vector4 Along(const Vector4& v, float amount) {
  return Vector4(v.x * amount, v.y * amount, v.z * amount, 0.0f);
}

Vector4 Added(const Vector4& a, const Vector4& b) {
  return Vector4(a.x + b.x, a.y + b.y, a.z + b.z, a.w + b.w);
}

// -1, 0 or +1 from a pair of inputs; the second wins when both are held.
float Pair(bool negative, bool positive) { return positive ? 1.0f : (negative ? -1.0f : 0.0f); }

}  // namespace

// The camera walks along its own view: Up and Down forward and back, Left and Right sideways,
// two units a frame; the pad's shoulder buttons turn the view about the eye. The camera's first
// axis points to the left of the picture (the projection mirrors it onto the screen), so Right
// walks the eye against it and the scene slides left, as it does when one steps right. Down wins
// over Up and Left over Right when both of a pair are held.
void KavelParticle::UpdateCamera(RenderWindow* window) {
  Camera* camera = window ? window->GetCamera() : nullptr;
  if (!camera) return;
  camera->UpdateMatrices();
  App& app = GetApp();
  const float f = app.GetTimeStep();
  const Keyboard* keyboard = app.GetKeyboard();
  const uint32_t pad = g_gamePad ? g_gamePad->MappedCurrent(0) : 0;
  // Forward: Up -f, Down +f; side: Right -f, Left +f.
  const float forward = f * Pair(keyboard->IsKeyDown(plat::kDIK_UP) || (pad & kPadBitUp),
                                 keyboard->IsKeyDown(plat::kDIK_DOWN) || (pad & kPadBitDown));
  const float side = f * Pair(keyboard->IsKeyDown(plat::kDIK_RIGHT) || (pad & kPadBitRight),
                              keyboard->IsKeyDown(plat::kDIK_LEFT) || (pad & kPadBitLeft));
  const float turnA = f * kDegreesToRadians * Pair(pad & kPadTurnDownA, pad & kPadTurnUpA);
  const float turnB = f * kDegreesToRadians * Pair(pad & kPadTurnDownB, pad & kPadTurnUpB);

  // The rows of the inverse view rotation: the first is the camera's first axis, the third its
  // view direction.
  const Vector4 step = Added(Along(camera->GetRightVector(), kStride * side),
                             Along(camera->GetForwardVector(), -kStride * forward));
  const Vector4 eye = Added(camera->GetEye(), step);
  Vector4 offset = Added(camera->GetTarget(), step);
  offset = Vector4(offset.x - eye.x, offset.y - eye.y, offset.z - eye.z, 0.0f);
  if (turnA != 0.0f || turnB != 0.0f) {
    Matrix turn;
    MatrixFromRotation(kRotationEulerZYX, Vector4(turnA, turnB, 0.0f, 0.0f), turn);
    TransformVector4(offset, turn);
  }
  camera->SetEye(eye);
  camera->SetTarget(Vector4(eye.x + offset.x, eye.y + offset.y, eye.z + offset.z, 1.0f));
}
