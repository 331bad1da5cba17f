#pragma once
// The registry of the assets that are loaded by name and shared by handle (textures, geometry
// files). The handle is the asset identifier of the name (CRC32::CreateHash); records live in 91
// buckets (handle mod 91), each null or a list with the newest record at its head, and two names
// with one identifier share one record. A record counts its users in `refCount`.
//
// The registry owns its buckets, lists and links; the records are the caller's, who makes them
// before Add and frees them after Remove (and in Clear's callback). Every block the registry
// takes is booked to the caller's owner, so the memory log names the asset manager, not this.

#include <cstdint>

#include "Engine/LinkedList.h"
#include "Engine/MemoryTracker.h"

// Record: a type with `handle` (32 bits, signed or not) and an integer `refCount`.
// kFreeEmptyLists: whether a bucket's list goes with its last record, or stays until Clear.
template <class Record, bool kFreeEmptyLists>
class AssetRegistry {
 public:
  static constexpr uint32_t kBucketCount = 91;

  struct Link : LinkedListNode {
    Record* record = nullptr;
  };

  AssetRegistry() = default;
  AssetRegistry(const AssetRegistry&) = delete;
  AssetRegistry& operator=(const AssetRegistry&) = delete;

  static uint32_t BucketOf(int32_t handle) { return static_cast<uint32_t>(handle) % kBucketCount; }

  // Makes the empty buckets; false without memory. The registry must be clear.
  bool Init(const AllocOwner& owner) {
    m_buckets = TrackedAlloc<LinkedList*>(owner, kBucketCount);
    if (!m_buckets) return false;
    for (uint32_t i = 0; i < kBucketCount; ++i) m_buckets[i] = nullptr;
    return true;
  }

  bool IsInitialised() const { return m_buckets != nullptr; }

  // Unlinks every record, handing each to `freeRecord`, and frees the lists and the buckets.
  template <class FreeRecord>
  void Clear(FreeRecord freeRecord, const AllocOwner& owner) {
    if (!m_buckets) return;
    for (uint32_t i = 0; i < kBucketCount; ++i) {
      LinkedList* list = m_buckets[i];
      if (!list) continue;
      while (LinkedListNode* first = list->RemoveHead()) {
        Link* link = static_cast<Link*>(first);
        freeRecord(link->record);
        TrackedDelete(owner, link);
      }
      TrackedDelete(owner, list);
      m_buckets[i] = nullptr;
    }
    TrackedFree(owner, m_buckets);
    m_buckets = nullptr;
  }

  Link* FindLink(int32_t handle) const {
    if (!m_buckets) return nullptr;
    const LinkedList* list = m_buckets[BucketOf(handle)];
    if (!list) return nullptr;
    for (LinkedListNode* n = list->head; n; n = n->next) {
      Link* link = static_cast<Link*>(n);
      const Record* record = link->record;
      if (record && static_cast<uint32_t>(record->handle) == static_cast<uint32_t>(handle))
        return link;
    }
    return nullptr;
  }

  Record* Find(int32_t handle) const {
    Link* link = FindLink(handle);
    return link ? link->record : nullptr;
  }

  // The registered record of a handle with one more user, or null when there is none.
  Record* Share(int32_t handle) {
    Record* record = Find(handle);
    if (record) ++record->refCount;
    return record;
  }

  // One user fewer (never below none); true when none is left.
  static bool Release(Record* record) {
    if (record->refCount > 0) --record->refCount;
    return record->refCount == 0;
  }

  // Links a record at the head of its bucket, making the bucket's list when it has none. False,
  // with nothing changed, when no memory could be had.
  bool Add(Record* record, const AllocOwner& owner) {
    if (!m_buckets) return false;
    LinkedList*& list = m_buckets[BucketOf(static_cast<int32_t>(record->handle))];
    const bool madeList = list == nullptr;
    if (madeList) list = TrackedNew<LinkedList>(owner);
    Link* link = list ? TrackedNew<Link>(owner) : nullptr;
    if (!link) {
      if (madeList) {
        TrackedDelete(owner, list);
        list = nullptr;
      }
      return false;
    }
    link->record = record;
    list->AddHead(link);
    return true;
  }

  // Unlinks the record of a handle and frees its link; the record, now the caller's, or null.
  Record* Remove(int32_t handle, const AllocOwner& owner) {
    Link* link = FindLink(handle);
    if (!link) return nullptr;
    LinkedList*& list = m_buckets[BucketOf(handle)];
    list->Remove(link);
    Record* record = link->record;
    TrackedDelete(owner, link);
    if (kFreeEmptyLists && !list->head) {
      TrackedDelete(owner, list);
      list = nullptr;
    }
    return record;
  }

  // Calls fn(record) for every record, bucket by bucket, each from its head.
  template <class Fn>
  void ForEach(Fn fn) const {
    if (!m_buckets) return;
    for (uint32_t i = 0; i < kBucketCount; ++i) {
      if (!m_buckets[i]) continue;
      for (LinkedListNode* n = m_buckets[i]->head; n; n = n->next)
        if (Record* record = static_cast<Link*>(n)->record) fn(record);
    }
  }

  // Records in one bucket (0 without a list).
  int32_t GetBucketRecordCount(uint32_t bucket) const {
    if (!m_buckets || bucket >= kBucketCount || !m_buckets[bucket]) return 0;
    return m_buckets[bucket]->GetCount();
  }

  bool BucketHasList(uint32_t bucket) const {
    return m_buckets && bucket < kBucketCount && m_buckets[bucket] != nullptr;
  }

 private:
  LinkedList** m_buckets = nullptr;
};
