#include "Engine/PC/PCNodeFactory.h"

#include <cstring>

#include "Engine/LogFile.h"
#include "Engine/MemoryTracker.h"
#include "Engine/PC/PCFileIO.h"
#include "Engine/PC/PCSkeleton.h"


// ---- HeaderInfo

HeaderInfo::~HeaderInfo() {
  if (container) {
    // The meshes go first, under their own owners; then the container's record.
    container->CleanUp();
    TrackedDelete("HeaderInfo::~HeaderInfo", container);
  }
  TrackedFree("HeaderInfo::~HeaderInfo", name);
  TrackedFree("HeaderInfo::~HeaderInfo", image);
}

// ---- NodeFactory

int32_t NodeFactory::Init() {
  // Tests start the application many times; a second start must not keep the first one's files.
  CleanUp();
  return m_registry.Init("NodeFactory::Init") ? 1 : 0;
}

void NodeFactory::CleanUp() {
  m_registry.Clear([](HeaderInfo* record) { TrackedDelete("NodeFactory::CleanUp", record); },
                   "NodeFactory::CleanUp");
}

NodeContainer* NodeFactory::GetContainer(int32_t handle) {
  HeaderInfo* record = FindHeader(handle);
  return record ? record->container : nullptr;
}

int32_t NodeFactory::Add(const char* name) {
  if (!name || !IsInitialised()) return -1;
  const int32_t handle = static_cast<int32_t>(CRC32::CreateHash(name));
  // Names are not compared: two names with one identifier share one file.
  if (m_registry.Share(handle)) return handle;
  if (FileIO::GetFileSize(name) == 0) return -1;

  int32_t size = 0;
  OwnedBlock<> image = AdoptBlock("NodeFactory::Add", FileIO::LoadFile(name, &size));
  if (!image) return -1;
  OwnedPtr<HeaderInfo> record = Owned<HeaderInfo>("NodeFactory::Add");
  if (!record) return -1;
  // From here the record frees whatever it took (image, name, container) when it goes.
  record->image = image.release();
  record->imageSize = static_cast<uint32_t>(size);
  record->handle = handle;
  const size_t nameLength = std::strlen(name);
  record->name = TrackedAlloc<char>("NodeFactory::Add", nameLength + 1);
  if (!record->name) return -1;
  std::memcpy(record->name, name, nameLength + 1);
  record->container = LoadNodeList(record.get());
  if (!record->container || !m_registry.Add(record.get(), "NodeFactory::Add")) return -1;
  record.release();
  return handle;
}

NodeContainer* NodeFactory::LoadNodeList(HeaderInfo* record) {
  if (!record || !record->image) return nullptr;
  OwnedPtr<NodeContainer> container = Owned<NodeContainer>("NodeFactory::LoadNodeList");
  if (!container) return nullptr;
  ++record->refCount;
  const FileImage image(record->image, record->imageSize, record->name);
  if (!container->Load(image, record, "NodeFactory::LoadNodeList")) {
    --record->refCount;
    return nullptr;
  }
  return container.release();
}

void NodeFactory::DeleteNode(int32_t handle) {
  HeaderInfo* record = FindHeader(handle);
  if (!record || !Registry::Release(record)) return;
  TrackedDelete("NodeFactory::DeleteNode", m_registry.Remove(handle, "NodeFactory::DeleteNode"));
}

Skeleton* NodeFactory::MakeSkeleton(int32_t handle) {
  NodeContainer* container = GetContainer(handle);
  if (!container || !container->HasSkeleton()) return nullptr;
  OwnedPtr<Skeleton> skeleton =
      Owned<Skeleton>("NodeFactory::MakeSkeleton", container->GetSkeletonBlock());
  if (skeleton && !skeleton->IsValid()) return nullptr;
  if (skeleton) {
    // The skeleton reads the file's block: the file stays while the skeleton lives.
    m_registry.Share(handle);
    skeleton->HoldGeometry(handle);
  }
  return skeleton.release();
}
