// A list of nodes linked both ways, owning its nodes. Node classes derive from VQListNode;
// deleting a node through the list runs the derived class's destructor.
#pragma once

#include <cstdint>

class VQListNode {
 public:
  virtual ~VQListNode() = default;
  VQListNode* Next() const { return m_next; }
  VQListNode* Prev() const { return m_prev; }

 private:
  friend class VQList;
  VQListNode* m_prev = nullptr;
  VQListNode* m_next = nullptr;
};

class VQList {
 public:
  VQList() = default;
  ~VQList() { DeleteAll(); }
  VQList(const VQList&) = delete;
  VQList& operator=(const VQList&) = delete;

  // The node must not be on a list. The list owns it from now on.
  void Append(VQListNode* node);
  void Prepend(VQListNode* node);
  // Inserts node directly after `after` (which is on this list); a null `after` prepends.
  void InsertAfter(VQListNode* after, VQListNode* node);
  // Takes node off the list without deleting it; the caller owns it again.
  void Remove(VQListNode* node);
  // Deletes every node.
  void DeleteAll();

  uint32_t Count() const { return m_count; }
  VQListNode* First() const { return m_first; }
  VQListNode* Last() const { return m_last; }

 private:
  uint32_t m_count = 0;
  VQListNode* m_first = nullptr;
  VQListNode* m_last = nullptr;
};
