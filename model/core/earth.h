// Registration of the program's ground-query function, and the ground query of the evaluation that
// runs on the calling thread (the trampoline is GetEarthData in model/core/tolvu_model.h).
#pragma once

#include "model/include/tolvu.h"

namespace tolvu {
void SetEarthDataFunction(TolvuEarthDataFunction function);

// While alive, the ground queries of evaluations on this thread go to ground(context, ...)
// (ground null: the registered function). Scopes nest: the previous query comes back at the end.
class GroundScope {
 public:
  GroundScope(TolvuGroundFunction ground, void* context);
  ~GroundScope();
  GroundScope(const GroundScope&) = delete;
  GroundScope& operator=(const GroundScope&) = delete;

 private:
  TolvuGroundFunction m_savedGround;
  void* m_savedContext;
};
}  // namespace tolvu
