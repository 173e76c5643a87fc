// A pin handle on a node buffer of an index's cache. Taking a buffer adds 1 to
// its pin count and letting it go subtracts 1; a pinned buffer is never chosen
// as an eviction victim. Handles are move-only, so every pin taken is let go
// exactly once.
#ifndef KRO_ENGINE_INDEXFILE_NODEPIN_H
#define KRO_ENGINE_INDEXFILE_NODEPIN_H

namespace kro {

template <typename Node>
class NodePin {
 public:
  NodePin() = default;
  explicit NodePin(Node* node) { Reset(node); }
  ~NodePin() { Reset(nullptr); }
  NodePin(const NodePin&) = delete;
  NodePin& operator=(const NodePin&) = delete;
  NodePin(NodePin&& other) noexcept : node_(other.node_) { other.node_ = nullptr; }
  NodePin& operator=(NodePin&& other) noexcept {
    if (this != &other) {
      Reset(nullptr);
      node_ = other.node_;
      other.node_ = nullptr;
    }
    return *this;
  }

  // Pins `node` (may be null) and lets the previous buffer go.
  void Reset(Node* node) {
    if (node != nullptr) ++node->pinCount;
    if (node_ != nullptr) --node_->pinCount;
    node_ = node;
  }

  Node* get() const { return node_; }
  Node* operator->() const { return node_; }
  Node& operator*() const { return *node_; }
  explicit operator bool() const { return node_ != nullptr; }

 private:
  Node* node_ = nullptr;
};

}  // namespace kro

#endif
