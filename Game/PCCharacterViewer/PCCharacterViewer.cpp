#include "Game/PCCharacterViewer/PCCharacterViewer.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "Engine/Assert.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCApp.h"
#include "Game/Helper/AnimationHelper.h"
#include "Game/Helper/InputDevice.h"
#include "Platform/Dialog/Dialog.h"
#include "Platform/System/HostPath.h"

namespace {

constexpr const char* kViewerFolder = "data\\PCCharacterViewer\\";
constexpr const char* kSceneName = "viewer.scn";
constexpr const char* kDefaultModel = "Cobb.geo";
constexpr const char* kDefaultAnimation = "cobb_stand_talk.anm";
constexpr int32_t kWindowFlags = 6;
constexpr int32_t kWorkingFolderSize = 256;
constexpr float kEyeDrop = 1500.0f;

constexpr uint32_t kButtonReload = 0x1000;
constexpr uint32_t kButtonSlower = 0x4000;
constexpr uint32_t kButtonFaster = 0x8000;
constexpr uint32_t kHeldLeft = 0x4;
constexpr uint32_t kHeldRight = 0x8;

constexpr const char* kGeoFilter[] = {"GEO Files (*.geo)", "*.geo", "All Files (*.*)", "*.*",
                                      nullptr};
constexpr const char* kAnmFilter[] = {"ANM Files (*.anm)", "*.anm", "All Files (*.*)", "*.*",
                                      nullptr};

// The file name after the last folder separator of either kind.
const char* FileNamePart(const char* path) {
  const char* name = path;
  for (const char* at = path; *at; ++at)
    if (*at == '\\' || *at == '/') name = at + 1;
  return name;
}

}  // namespace

PCCharacterViewer::PCCharacterViewer(int32_t mode, int32_t level) : GameBaseClass(mode, level) {
  m_camera.Init();
  Init();
}

PCCharacterViewer::~PCCharacterViewer() { CleanUp(); }

int32_t PCCharacterViewer::Init() {
  App& app = GetApp();
  app.SetDataDir(kViewerFolder);
  RenderWindow* window = TrackedNew<RenderWindow>("PCCharacterViewer::Init");
  if (window) {
    window->Init(Vector2(0.0f, 0.0f),
                 Vector2(static_cast<float>(app.GetWidth()), static_cast<float>(app.GetHeight())),
                 Vector4(0.0f, 128.0f, 128.0f, 0.0f), kWindowFlags, 0.0f);
    m_windowId = app.AddWindow(window);
  }
  window = app.FindWindow(m_windowId);
  m_scene = app.GetSceneFactory()->CreateScene(kSceneName);
  Scene* scene = m_scene != -1 ? app.GetSceneFactory()->FindScene(m_scene) : nullptr;
  if (scene) {
    if (window) window->SetScene(scene);
    scene->SetDebugFlag(1);
  }
  ReadSceneNodes();
  m_orbitRadius = kOrbitRadius;
  m_orbitAngle = 3.1415927f;
  if (window && window->GetCamera()) {
    Camera* camera = window->GetCamera();
    camera->SetUp(Vector4(0.0f, 0.0f, 1.0f, 1.0f));
    m_camera.SetTarget(m_target);
    m_camera.SetPosition(m_eye);
    m_camera.SetFov(window, 0.7853982f);
    camera->SetNearFar(0.1f, 50000.0f);
  }
  LoadAnimAndGeo();
  return 1;
}

void PCCharacterViewer::ReadSceneNodes() {
  Scene* scene = m_scene != -1 ? GetApp().GetSceneFactory()->FindScene(m_scene) : nullptr;
  if (!scene) return;
  for (int32_t i = 0; i < scene->GetNumGameNodes(); ++i) {
    GameNode* node = scene->GetGameNodeRecord(i);
    const char* name = scene->GetGameNode(i);
    if (!node || !name) continue;
    if (std::strcmp(name, "camera01") == 0) {
      m_eye = node->matrix.GetRow(3);
      m_eye.y -= kEyeDrop;
    } else if (std::strcmp(name, "camera_target01") == 0) {
      m_target = node->matrix.GetRow(3);
    } else if (std::strcmp(name, "character") == 0) {
      m_characterPosition = node->matrix.GetRow(3);
      m_characterStart = m_characterPosition;
    }
    node->tint = Vector4(1.0f, 1.0f, 1.0f, 1.0f);
    node->flags = 0;
  }
}

// The two dialogs; true only when both a model and an animation were chosen.
bool PCCharacterViewer::ChooseFiles(char* model, char* animation) {
  char folder[kWorkingFolderSize] = {};
  plat::GetWorkingFolder(folder, kWorkingFolderSize);
  char initial[kPathSize];
  // A long working folder is cut rather than written past the buffer.
  std::snprintf(initial, sizeof(initial), "%s/%s", folder, HostPath(kViewerFolder).c_str());
  plat::FileDialogRequest request;
  request.filter = kGeoFilter;
  request.defaultExtension = "txt";
  request.initialFolder = initial;
  request.mustExist = true;
  bool chosen = plat::GetOpenFileName(request, model, kPathSize);
  if (chosen) {
    request.filter = kAnmFilter;
    chosen = plat::GetOpenFileName(request, animation, kPathSize);
  }
  if (folder[0]) plat::SetWorkingFolder(folder);
  return chosen;
}

void PCCharacterViewer::ReleaseHelper() {
  if (m_helper) TrackedDelete("PCCharacterViewer::LoadAnimAndGeo", m_helper);
  m_helper = nullptr;
  m_animId = -1;
  m_modelId = -1;
}

void PCCharacterViewer::LoadAnimAndGeo() {
  ReleaseHelper();
  char modelPath[kPathSize] = {};
  char animationPath[kPathSize] = {};
  const char* model = kDefaultModel;
  const char* animation = kDefaultAnimation;
  if (ChooseFiles(modelPath, animationPath)) {
    // Only the names count: they are looked up in the viewer's own folder.
    model = FileNamePart(modelPath);
    animation = FileNamePart(animationPath);
  }
  GetApp().SetDataDir(kViewerFolder);
  m_helper = TrackedNew<AnimationHelper>("PCCharacterViewer::LoadAnimAndGeo");
  if (!m_helper) return;
  m_animId = m_helper->AddAnimation(animation);
  m_modelId = m_helper->LoadModel(model);
  m_helper->SetCurrentAnimation(m_animId);
  m_helper->SetEndCallback(&PCCharacterViewer::AnimationEnded, this);
  if (m_modelId != -1 && m_helper->CreateSkeleton() && m_animId != -1)
    m_helper->Play(m_animId, 1, 0.0f);
}

void PCCharacterViewer::AnimationEnded(void*, float) {}

int32_t PCCharacterViewer::Update() {
  RenderWindow* window = GetApp().FindWindow(m_windowId);
  if (window) m_camera.Update(window);
  m_camera.SetTarget(m_target);
  m_camera.SetPosition(m_eye);
  InputDevice* input = GetInputDevice();
  if (input) {
    if (input->IsButtonPressed(kButtonReload)) LoadAnimAndGeo();
    if (input->IsButtonPressed(kButtonSlower) && m_speed > 0.0f) m_speed -= 0.1f;
    if (input->IsButtonPressed(kButtonFaster) && m_speed < 1.0f) m_speed += 0.1f;
    const uint32_t held = input->LocalHeld();
    if (held & kHeldRight) {
      m_orbitAngle -= kOrbitStep;
      if (m_orbitAngle <= 0.0f) m_orbitAngle += kFullTurn;
    }
    if (held & kHeldLeft) {
      m_orbitAngle += kOrbitStep;
      if (m_orbitAngle >= kFullTurn) m_orbitAngle -= kFullTurn;
    }
  }
  m_eye.x = std::sin(m_orbitAngle) * m_orbitRadius;
  m_eye.y = std::cos(m_orbitAngle) * m_orbitRadius;
  if (m_helper && m_speed > 0.0f) m_helper->Update(m_speed);
  return 0;
}

void PCCharacterViewer::Render() {
  RenderWindow* window = GetApp().FindWindow(m_windowId);
  if (!window || !m_helper || m_modelId == -1) return;
  NodeContainer* node = GetApp().GetNodeFactory()->GetContainer(m_modelId);
  KASSERT(node != nullptr);
  if (!node) return;
  Skeleton* skeleton = m_helper->PoseGeo();
  RenderNodeRecord record;
  record.container = node;
  record.placement.Identity();
  record.placement.SetTranslation(
      Vector4(m_characterPosition.x, m_characterPosition.y, m_characterPosition.z, 1.0f));
  record.tint = Vector4(1.0f, 1.0f, 1.0f, 1.0f);
  record.skeleton = skeleton;
  window->AddRenderNode(record);
}

// Gives back everything Init and the reloads took, so that the viewer can be made again.
void PCCharacterViewer::CleanUp() {
  App& app = GetApp();
  ReleaseHelper();
  if (m_scene != -1) {
    if (RenderWindow* window = app.FindWindow(m_windowId)) window->SetScene(nullptr);
    app.GetSceneFactory()->DeleteScene(m_scene);
  }
  m_scene = -1;
  if (m_windowId != -1) app.DeleteWindow(m_windowId);
  m_windowId = -1;
}
