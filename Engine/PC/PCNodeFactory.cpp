#include "Engine/PC/PCNodeFactory.h"

#include <cstring>
#include <new>
#include <utility>

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
  m_buckets = static_cast<LinkedList**>(MemoryTracker::Allocate(
      __FILE__, __LINE__, "NodeFactory::Init", kAllocMalloc, sizeof(LinkedList*) * kBucketCount));
  if (!m_buckets) return 0;
  for (uint32_t i = 0; i < kBucketCount; ++i) m_buckets[i] = nullptr;
  return 1;
}

void NodeFactory::CleanUp() {
  if (!m_buckets) return;
  for (uint32_t i = 0; i < kBucketCount; ++i) {
    LinkedList* list = m_buckets[i];
    if (!list) continue;
    while (LinkedListNode* first = list->RemoveHead()) {
      NodeLink* link = static_cast<NodeLink*>(first);
      DeleteOwned(link->header, __FILE__, __LINE__, "NodeFactory::CleanUp");
      DeleteOwned(link, __FILE__, __LINE__, "NodeFactory::CleanUp");
    }
    DeleteOwned(m_buckets[i], __FILE__, __LINE__, "NodeFactory::CleanUp");
  }
  FreeOwned(m_buckets, __FILE__, __LINE__, "NodeFactory::CleanUp");
}

NodeLink* NodeFactory::FindLink(int32_t handle) const {
  if (!m_buckets) return nullptr;
  const LinkedList* list = m_buckets[BucketOf(handle)];
  if (!list) return nullptr;
  for (LinkedListNode* n = list->head; n; n = n->next) {
    NodeLink* link = static_cast<NodeLink*>(n);
    if (link->header && link->header->handle == handle) return link;
  }
  return nullptr;
}

HeaderInfo* NodeFactory::FindHeader(int32_t handle) const {
  NodeLink* link = FindLink(handle);
  return link ? link->header : nullptr;
}

NodeContainer* NodeFactory::GetContainer(int32_t handle) {
  HeaderInfo* record = FindHeader(handle);
  return record ? record->container : nullptr;
}

int32_t NodeFactory::Add(const char* name) {
  if (!name || !m_buckets) return -1;
  const int32_t handle = static_cast<int32_t>(CRC32::CreateHash(name));
  if (HeaderInfo* known = FindHeader(handle)) {
    // Names are not compared: two names with one identifier share one file.
    ++known->refCount;
    return handle;
  }
  if (FileIO::GetFileSize(name) == 0) return -1;

  LinkedList*& list = m_buckets[BucketOf(handle)];
  const bool madeList = list == nullptr;
  if (madeList) list = NewOwned<LinkedList>(__FILE__, __LINE__, "NodeFactory::Add");
  int32_t size = 0;
  void* image = list ? FileIO::LoadFile(name, &size) : nullptr;
  HeaderInfo* record = image ? NewOwned<HeaderInfo>(__FILE__, __LINE__, "NodeFactory::Add") : nullptr;
  if (record) {
    record->image = image;
    record->imageSize = static_cast<uint32_t>(size);
    record->handle = handle;
  }
  NodeLink* link = record ? NewOwned<NodeLink>(__FILE__, __LINE__, "NodeFactory::Add") : nullptr;
  const size_t nameLength = std::strlen(name);
  char* nameCopy = link ? static_cast<char*>(MemoryTracker::Allocate(
                              __FILE__, __LINE__, "NodeFactory::Add", kAllocMalloc, nameLength + 1))
                        : nullptr;
  if (nameCopy) {
    std::memcpy(nameCopy, name, nameLength + 1);
    record->name = nameCopy;
    record->container = LoadNodeList(record);
  }
  if (!record || !record->container) {
    // The record frees whatever it took (name, image); the rest is freed here.
    if (record) {
      DeleteOwned(record, __FILE__, __LINE__, "NodeFactory::Add");
    } else if (image) {
      FreeOwned(image, __FILE__, __LINE__, "NodeFactory::Add");
    }
    DeleteOwned(link, __FILE__, __LINE__, "NodeFactory::Add");
    if (madeList) DeleteOwned(list, __FILE__, __LINE__, "NodeFactory::Add");
    return -1;
  }
  link->header = record;
  list->AddHead(link);
  return handle;
}

NodeContainer* NodeFactory::LoadNodeList(HeaderInfo* record) {
  if (!record || !record->image) return nullptr;
  NodeContainer* container = NewOwned<NodeContainer>(__FILE__, __LINE__, "NodeFactory::LoadNodeList");
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

void NodeFactory::RemoveLink(NodeLink* link, const char* owner) {
  LinkedList* list = m_buckets[BucketOf(link->header->handle)];
  list->Remove(link);
  DeleteOwned(link->header, __FILE__, __LINE__, owner);
  DeleteOwned(link, __FILE__, __LINE__, owner);
}

void NodeFactory::DeleteNode(int32_t handle) {
  NodeLink* link = FindLink(handle);
  if (!link) return;
  if (--link->header->refCount <= 0) RemoveLink(link, "NodeFactory::DeleteNode");
}

Skeleton* NodeFactory::MakeSkeleton(int32_t handle) {
  NodeContainer* container = GetContainer(handle);
  if (!container || !container->HasSkeleton()) return nullptr;
  Skeleton* skeleton =
      NewOwned<Skeleton>(__FILE__, __LINE__, "NodeFactory::MakeSkeleton", container->GetSkeletonBlock());
  if (skeleton && !skeleton->IsValid()) {
    DeleteOwned(skeleton, __FILE__, __LINE__, "NodeFactory::MakeSkeleton");
    return nullptr;
  }
  if (skeleton) {
    // The skeleton reads the file's block: the file stays while the skeleton lives.
    ++FindLink(handle)->header->refCount;
    skeleton->HoldGeometry(handle);
  }
  return skeleton;
}

int32_t NodeFactory::GetBucketRecordCount(uint32_t bucket) const {
  if (!m_buckets || bucket >= kBucketCount || !m_buckets[bucket]) return 0;
  return m_buckets[bucket]->GetCount();
}

bool NodeFactory::BucketHasList(uint32_t bucket) const {
  return m_buckets && bucket < kBucketCount && m_buckets[bucket] != nullptr;
}
