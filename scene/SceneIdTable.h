#pragma once

#include <cstddef>
#include <list>
#include <vector>

#include "sdk/SceneId.h"

// A hash table keyed by SceneId: the id's hash masked by a power-of-two bucket count (8 at
// creation, doubled whenever the load would pass 1.0). Elements are walked in insertion order, so
// every walk (and every mesh assembled from one) is the same from run to run. Element addresses
// are stable until the element is erased. Not safe for concurrent writes; concurrent lookups are.
template <class Value>
class SceneIdTable {
public:
  struct Element {
    SceneId id;
    Value value;
  };

private:
  struct Node;
  using List = std::list<Node>;
  using Link = typename List::iterator;
  struct Node {
    Element element;
    Link nextInBucket;
  };

public:
  class Iterator {
  public:
    explicit Iterator(typename List::const_iterator position) : position_(position) {}
    const Element& operator*() const { return position_->element; }
    const Element* operator->() const { return &position_->element; }
    Iterator& operator++() {
      ++position_;
      return *this;
    }
    bool operator==(const Iterator&) const = default;

  private:
    typename List::const_iterator position_;
  };

  SceneIdTable() { buckets_.assign(kInitialBuckets, elements_.end()); }
  // Bucket chains refer into the element list, which must therefore stay where it is.
  SceneIdTable(const SceneIdTable&) = delete;
  SceneIdTable& operator=(const SceneIdTable&) = delete;

  Value* find(const SceneId& id) {
    const Link node = Locate(id);
    return node == elements_.end() ? nullptr : &node->element.value;
  }
  const Value* find(const SceneId& id) const {
    return const_cast<SceneIdTable*>(this)->find(id);
  }

  // The value under `id`, default-constructed in place when absent.
  Value& operator[](const SceneId& id) { return tryEmplace(id).first; }
  // The value under `id` and whether it was just created.
  std::pair<Value&, bool> tryEmplace(const SceneId& id) {
    if (Value* existing = find(id)) return {*existing, false};
    if (elements_.size() + 1 > buckets_.size()) Rehash(2 * buckets_.size());
    elements_.emplace_back();
    const Link node = std::prev(elements_.end());
    node->element.id = id;
    Link& head = buckets_[BucketOf(id)];
    node->nextInBucket = head;
    head = node;
    return {node->element.value, true};
  }
  // True when `id` was not there yet.
  bool insert(const SceneId& id) { return tryEmplace(id).second; }

  bool erase(const SceneId& id) {
    for (Link* link = &buckets_[BucketOf(id)]; *link != elements_.end();
         link = &(*link)->nextInBucket) {
      if ((*link)->element.id == id) {
        const Link node = *link;
        *link = node->nextInBucket;
        elements_.erase(node);
        return true;
      }
    }
    return false;
  }

  void clear() {
    elements_.clear();
    buckets_.assign(kInitialBuckets, elements_.end());
  }

  size_t size() const { return elements_.size(); }
  bool empty() const { return elements_.empty(); }
  size_t bucketCount() const { return buckets_.size(); }

  Iterator begin() const { return Iterator(elements_.begin()); }
  Iterator end() const { return Iterator(elements_.end()); }

private:
  static constexpr size_t kInitialBuckets = 8;

  size_t BucketOf(const SceneId& id) const { return SceneIdHash{}(id) & (buckets_.size() - 1); }

  Link Locate(const SceneId& id) {
    for (Link node = buckets_[BucketOf(id)]; node != elements_.end(); node = node->nextInBucket) {
      if (node->element.id == id) return node;
    }
    return elements_.end();
  }

  void Rehash(size_t bucketCount) {
    buckets_.assign(bucketCount, elements_.end());
    for (Link node = elements_.begin(); node != elements_.end(); ++node) {
      Link& head = buckets_[BucketOf(node->element.id)];
      node->nextInBucket = head;
      head = node;
    }
  }

  List elements_;
  std::vector<Link> buckets_;
};

struct NoValue {};
using SceneIdSet = SceneIdTable<NoValue>;
