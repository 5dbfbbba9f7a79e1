// The CAR_2 model: the detailed car (47 states) that the game runs for human drivers.
// All per-car data lives in the caller's store (2743 doubles); the model keeps only scratch
// values that every evaluation rewrites. The evaluation entry is Call_Car_2 of
// model/core/tolvu_model.h; the name table and defaults live in model/tables.
#pragma once

namespace car2 {

// One evaluation: mode 1 derivatives only, mode 2 outputs and inertia derivatives only,
// any other mode both. first = 1 runs the one-time set-up from the parameters in the store.
int Evaluate(int first, int mode, double time, double* store);

}  // namespace car2
