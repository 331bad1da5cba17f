#pragma once
// The geometry registry: ".geo" files loaded once by name, each kept with its file image and the
// `NodeContainer` built from it, shared by handle and counted. The handle is the asset
// identifier of the name (CRC32::CreateHash, data-folder prefix included); records live in 91
// buckets (handle mod 91), each a list with new records at its head. Two names with one
// identifier share one record.
//
// A file is accepted only when every part of it fits the file (see NodeContainer): a refused
// file registers nothing and gives -1, like a missing one.

#include <cstdint>

#include "Engine/AssetRegistry.h"
#include "Engine/BaseNodeFactory.h"
#include "Engine/CRC32.h"
#include "Engine/PC/PCNodeContainer.h"

// One loaded file.
struct HeaderInfo {
  char* name = nullptr;
  // The whole file (from FileIO::LoadFile) and its size.
  void* image = nullptr;
  int32_t refCount = 0;
  int32_t handle = -1;
  NodeContainer* container = nullptr;
  uint32_t imageSize = 0;

  HeaderInfo() = default;
  // Frees the container, the name and the image.
  ~HeaderInfo();
  HeaderInfo(const HeaderInfo&) = delete;
  HeaderInfo& operator=(const HeaderInfo&) = delete;
};

class NodeFactory : public BaseNodeFactory, private CRC32 {
  // A bucket keeps its list, empty or not, until CleanUp.
  using Registry = AssetRegistry<HeaderInfo, false>;

 public:
  static constexpr uint32_t kBucketCount = Registry::kBucketCount;

  NodeFactory() = default;
  ~NodeFactory() override { CleanUp(); }
  NodeFactory(const NodeFactory&) = delete;
  NodeFactory& operator=(const NodeFactory&) = delete;

  // Makes the empty buckets (a second Init starts afresh); 1, or 0 without memory.
  int32_t Init();
  // Frees every file, whatever its count, and the buckets.
  void CleanUp();
  bool IsInitialised() const { return m_registry.IsInitialised(); }

  int32_t Add(const char* name) override;
  void DeleteNode(int32_t handle) override;
  NodeContainer* GetContainer(int32_t handle) override;
  Skeleton* MakeSkeleton(int32_t handle) override;

  // The names the games use for two of the operations above.
  NodeContainer* Find(int32_t handle) { return GetContainer(handle); }
  void Delete(int32_t handle) { DeleteNode(handle); }

  // The record of a handle, or null.
  HeaderInfo* FindHeader(int32_t handle) const { return m_registry.Find(handle); }
  // Builds the container of a record whose image is loaded; the record's count goes up by one.
  // Null when the file is refused (the count is then as it was).
  NodeContainer* LoadNodeList(HeaderInfo* record);

  // For tests of the registry's shape: records in one bucket (0 without a list).
  int32_t GetBucketRecordCount(uint32_t bucket) const {
    return m_registry.GetBucketRecordCount(bucket);
  }
  bool BucketHasList(uint32_t bucket) const { return m_registry.BucketHasList(bucket); }
  static uint32_t BucketOf(int32_t handle) { return Registry::BucketOf(handle); }

 private:
  Registry m_registry;
};
