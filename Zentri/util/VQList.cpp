#include "Zentri/util/VQList.h"

void VQList::Append(VQListItem* node) { InsertAfter(m_last, node); }

void VQList::Prepend(VQListItem* node) { InsertAfter(nullptr, node); }

void VQList::InsertAfter(VQListItem* after, VQListItem* node) {
  VQListItem* next = after ? after->m_next : m_first;
  node->m_prev = after;
  node->m_next = next;
  if (after)
    after->m_next = node;
  else
    m_first = node;
  if (next)
    next->m_prev = node;
  else
    m_last = node;
  ++m_count;
}

void VQList::Remove(VQListItem* node) {
  if (node->m_prev)
    node->m_prev->m_next = node->m_next;
  else
    m_first = node->m_next;
  if (node->m_next)
    node->m_next->m_prev = node->m_prev;
  else
    m_last = node->m_prev;
  node->m_prev = node->m_next = nullptr;
  --m_count;
}

void VQList::DeleteAll() {
  VQListItem* node = m_first;
  while (node) {
    VQListItem* next = node->m_next;
    delete node;
    node = next;
  }
  m_first = m_last = nullptr;
  m_count = 0;
}
