// A list of nodes linked both ways, owning its nodes. Node classes derive from VQListItem;
// deleting a node through the list runs the derived class's destructor.
#pragma once

#include <cstdint>

class VQListItem {
 public:
  virtual ~VQListItem() = default;
  VQListItem* Next() const { return m_next; }
  VQListItem* Prev() const { return m_prev; }

 private:
  friend class VQList;
  VQListItem* m_prev = nullptr;
  VQListItem* m_next = nullptr;
};

class VQList {
 public:
  VQList() = default;
  ~VQList() { DeleteAll(); }
  VQList(const VQList&) = delete;
  VQList& operator=(const VQList&) = delete;

  // The node must not be on a list. The list owns it from now on.
  void Append(VQListItem* node);
  void Prepend(VQListItem* node);
  // Inserts node directly after `after` (which is on this list); a null `after` prepends.
  void InsertAfter(VQListItem* after, VQListItem* node);
  // Takes node off the list without deleting it; the caller owns it again.
  void Remove(VQListItem* node);
  // Deletes every node.
  void DeleteAll();

  uint32_t Count() const { return m_count; }
  VQListItem* First() const { return m_first; }
  VQListItem* Last() const { return m_last; }

 private:
  uint32_t m_count = 0;
  VQListItem* m_first = nullptr;
  VQListItem* m_last = nullptr;
};
