#pragma once
// A doubly linked list whose links live inside the items, for objects that must be unlinked in
// constant time. The list owns nothing.

#include <cstdint>

struct LinkedListNode {
  LinkedListNode* prev = nullptr;
  LinkedListNode* next = nullptr;
};

struct LinkedList {
  LinkedListNode* head = nullptr;
  LinkedListNode* tail = nullptr;

  void AddHead(LinkedListNode* node) {
    node->prev = nullptr;
    node->next = head;
    if (head) head->prev = node;
    head = node;
    if (!tail) tail = node;
  }

  void AddTail(LinkedListNode* node) {
    node->next = nullptr;
    node->prev = tail;
    if (tail) tail->next = node;
    tail = node;
    if (!head) head = node;
  }

  // Links `node` directly behind `other`; head and tail are the caller's to fix.
  static void InsertAfter(LinkedListNode* node, LinkedListNode* other) {
    node->prev = other;
    node->next = other->next;
    if (other->next) other->next->prev = node;
    other->next = node;
  }

  // Joins the node's neighbours; head and tail are the caller's to fix.
  static void Unlink(LinkedListNode* node) {
    if (node->prev) node->prev->next = node->next;
    if (node->next) node->next->prev = node->prev;
    node->prev = node->next = nullptr;
  }

  void Remove(LinkedListNode* node) {
    if (head == node) head = node->next;
    if (tail == node) tail = node->prev;
    Unlink(node);
  }

  LinkedListNode* RemoveHead() {
    LinkedListNode* first = head;
    if (!first) return nullptr;
    head = first->next;
    if (tail == first) tail = first->prev;
    Unlink(first);
    return first;
  }

  LinkedListNode* RemoveTail() {
    LinkedListNode* last = tail;
    if (!last) return nullptr;
    tail = last->prev;
    if (head == last) head = last->next;
    Unlink(last);
    return last;
  }

  int32_t GetCount() const {
    int32_t n = 0;
    for (const LinkedListNode* p = head; p; p = p->next) ++n;
    return n;
  }

  int Contains(const LinkedListNode* node) const {
    for (const LinkedListNode* p = head; p; p = p->next)
      if (p == node) return 1;
    return 0;
  }
};
