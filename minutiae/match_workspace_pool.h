// Working memory that match calls borrow for their duration. One is made
// when no free one is left and kept for later calls: there are as many as
// calls ever ran at the same time, and a call in the steady state makes none.
// No thread-local storage, so ending threads neither leak nor need a
// destructor registered on first use.
#pragma once

#include <mutex>
#include <new>

namespace minutiae {

template <class T>
class WorkspacePool {
  struct Node {
    T value;
    Node *next = nullptr;
  };

 public:
  class Lease {
   public:
    Lease(WorkspacePool *pool, Node *node) : pool_(pool), node_(node) {}
    Lease(Lease &&other) noexcept : pool_(other.pool_), node_(other.node_) { other.node_ = nullptr; }
    Lease(const Lease &) = delete;
    Lease &operator=(const Lease &) = delete;
    Lease &operator=(Lease &&) = delete;
    ~Lease() {
      if (node_) pool_->Release(node_);
    }
    // Null when no workspace could be made.
    T *get() const { return node_ ? &node_->value : nullptr; }

   private:
    WorkspacePool *pool_;
    Node *node_;
  };

  constexpr WorkspacePool() = default;
  WorkspacePool(const WorkspacePool &) = delete;
  WorkspacePool &operator=(const WorkspacePool &) = delete;
  ~WorkspacePool() {
    while (head_) {
      Node *n = head_;
      head_ = n->next;
      delete n;
    }
  }

  Lease Acquire() {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (Node *n = head_) {
        head_ = n->next;
        return Lease(this, n);
      }
    }
    try {
      return Lease(this, new Node());
    } catch (const std::bad_alloc &) {
      return Lease(this, nullptr);
    }
  }

 private:
  void Release(Node *n) {
    std::lock_guard<std::mutex> hold(lock_);
    n->next = head_;
    head_ = n;
  }

  std::mutex lock_;
  Node *head_ = nullptr;
};

}  // namespace minutiae
