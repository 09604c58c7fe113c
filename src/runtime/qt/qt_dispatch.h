// Counts the model handlers running on behalf of a Qt event, so that the
// widgets of an unloaded form are deleted only when none of their code is
// still on the stack.
#pragma once

namespace runtime::qt {

inline int& DispatchDepth() {
  static int depth = 0;
  return depth;
}

class DispatchScope {
 public:
  DispatchScope() { ++DispatchDepth(); }
  ~DispatchScope() { --DispatchDepth(); }
  DispatchScope(const DispatchScope&) = delete;
  DispatchScope& operator=(const DispatchScope&) = delete;
};

}  // namespace runtime::qt
