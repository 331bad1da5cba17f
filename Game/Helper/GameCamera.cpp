#include "Game/Helper/GameCamera.h"

#include "Engine/Camera.h"
#include "Engine/PC/PCApp.h"
#include "Engine/PC/PCRenderWindow.h"
#include "Game/Helper/InputDevice.h"

namespace {
constexpr float kFreeCameraStep = 20.0f;

Vector4 Lerp(const Vector4& a, const Vector4& b, float t) {
  return Vector4(a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t,
                 a.w + (b.w - a.w) * t);
}
}  // namespace

void GameCamera::Init() { *this = GameCamera(); }

void GameCamera::SetPosition(const Vector4& eye) {
  if (IsBlending()) {
    m_blendToEye = eye;
    return;
  }
  m_eye = eye;
  if (Camera* camera = WindowCamera()) camera->SetEye(m_eye);
}

void GameCamera::SetTarget(const Vector4& target) {
  if (IsBlending()) {
    m_blendToTarget = target;
    return;
  }
  m_target = target;
  if (Camera* camera = WindowCamera()) camera->SetTarget(m_target);
}

void GameCamera::UseWindow(RenderWindow* window) {
  m_window = window;
  m_windowId = window ? window->GetId() : -1;
}

Camera* GameCamera::WindowCamera() const {
  if (!m_window || GetApp().FindWindow(m_windowId) != m_window) return nullptr;
  return m_window->GetCamera();
}

void GameCamera::SetFov(RenderWindow* window, float horizontalFov) {
  if (window) UseWindow(window);
  if (!window || !window->GetCamera()) return;
  int32_t viewport[4];
  window->GetViewportRect()->ToArray(viewport);
  window->GetCamera()->SetFov(horizontalFov, viewport);
}

void GameCamera::BlendTo(const Vector4& eye, const Vector4& target, float ticks) {
  if (ticks <= 0.0f) {
    m_blendTicks = 0.0f;
    SetPosition(eye);
    SetTarget(target);
    return;
  }
  m_blendFromEye = m_eye;
  m_blendFromTarget = m_target;
  m_blendToEye = eye;
  m_blendToTarget = target;
  m_blendTicks = ticks;
  m_blendTime = 0.0f;
}

int32_t GameCamera::Update(RenderWindow* window) {
  UseWindow(window);
  if (m_freeCamera) {
    MoveFreeCamera();
  } else if (IsBlending()) {
    m_blendTime += 1.0f;
    const float t = m_blendTime >= m_blendTicks ? 1.0f : m_blendTime / m_blendTicks;
    m_eye = Lerp(m_blendFromEye, m_blendToEye, t);
    m_target = Lerp(m_blendFromTarget, m_blendToTarget, t);
    if (t >= 1.0f) m_blendTicks = 0.0f;
  }
  if (window && window->GetCamera()) {
    window->GetCamera()->SetEye(m_eye);
    window->GetCamera()->SetTarget(m_target);
  }
  return m_freeCamera;
}

void GameCamera::MoveFreeCamera() {
  const InputDevice* input = GetInputDevice();
  if (!input) return;
  Vector4 step(0.0f, 0.0f, 0.0f, 0.0f);
  if (input->IsPlayerButtonHeld(0, kInputLeft)) step.x -= kFreeCameraStep;
  if (input->IsPlayerButtonHeld(0, kInputRight)) step.x += kFreeCameraStep;
  if (input->IsPlayerButtonHeld(0, kInputUp)) step.y += kFreeCameraStep;
  if (input->IsPlayerButtonHeld(0, kInputDown)) step.y -= kFreeCameraStep;
  Add(m_eye, step);
  Add(m_target, step);
}
