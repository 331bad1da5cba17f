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
    DeleteOwned(container, __FILE__, __LINE__, "HeaderInfo::~HeaderInfo");
  }
  FreeOwned(name, __FILE__, __LINE__, "HeaderInfo::~HeaderInfo");
  FreeOwned(image, __FILE__, __LINE__, "HeaderInfo::~HeaderInfo");
}

// ---- NodeFactory

int32_t NodeFactory::Init() {
  // Tests start the application many times; a second start must not keep the first one's files.
  CleanUp();
  return m_registry.Init({__FILE__, __LINE__, "NodeFactory::Init"}) ? 1 : 0;
}

void NodeFactory::CleanUp() {
  m_registry.Clear(
      [](HeaderInfo* record) { DeleteOwned(record, __FILE__, __LINE__, "NodeFactory::CleanUp"); },
      {__FILE__, __LINE__, "NodeFactory::CleanUp"});
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
  void* image = FileIO::LoadFile(name, &size);
  HeaderInfo* record =
      image ? NewOwned<HeaderInfo>(__FILE__, __LINE__, "NodeFactory::Add") : nullptr;
  if (!record) {
    FreeOwned(image, __FILE__, __LINE__, "NodeFactory::Add");
    return -1;
  }
  record->image = image;
  record->imageSize = static_cast<uint32_t>(size);
  record->handle = handle;
  const size_t nameLength = std::strlen(name);
  record->name = static_cast<char*>(MemoryTracker::Allocate(
      __FILE__, __LINE__, "NodeFactory::Add", kAllocMalloc, nameLength + 1));
  if (record->name) {
    std::memcpy(record->name, name, nameLength + 1);
    record->container = LoadNodeList(record);
  }
  // The record frees whatever it took (name, image, container).
  if (!record->container || !m_registry.Add(record, {__FILE__, __LINE__, "NodeFactory::Add"})) {
    DeleteOwned(record, __FILE__, __LINE__, "NodeFactory::Add");
    return -1;
  }
  return handle;
}

NodeContainer* NodeFactory::LoadNodeList(HeaderInfo* record) {
  if (!record || !record->image) return nullptr;
  NodeContainer* container =
      NewOwned<NodeContainer>(__FILE__, __LINE__, "NodeFactory::LoadNodeList");
  if (!container) return nullptr;
  ++record->refCount;
  const FileImage image(record->image, record->imageSize, record->name);
  if (!container->Load(image, record, "NodeFactory::LoadNodeList")) {
    --record->refCount;
    DeleteOwned(container, __FILE__, __LINE__, "NodeFactory::LoadNodeList");
    return nullptr;
  }
  return container;
}

void NodeFactory::DeleteNode(int32_t handle) {
  HeaderInfo* record = FindHeader(handle);
  if (!record || !Registry::Release(record)) return;
  record = m_registry.Remove(handle, {__FILE__, __LINE__, "NodeFactory::DeleteNode"});
  DeleteOwned(record, __FILE__, __LINE__, "NodeFactory::DeleteNode");
}

Skeleton* NodeFactory::MakeSkeleton(int32_t handle) {
  NodeContainer* container = GetContainer(handle);
  if (!container || !container->HasSkeleton()) return nullptr;
  Skeleton* skeleton = NewOwned<Skeleton>(__FILE__, __LINE__, "NodeFactory::MakeSkeleton",
                                          container->GetSkeletonBlock());
  if (skeleton && !skeleton->IsValid()) {
    DeleteOwned(skeleton, __FILE__, __LINE__, "NodeFactory::MakeSkeleton");
    return nullptr;
  }
  if (skeleton) {
    // The skeleton reads the file's block: the file stays while the skeleton lives.
    m_registry.Share(handle);
    skeleton->HoldGeometry(handle);
  }
  return skeleton;
}
