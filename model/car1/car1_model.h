// Evaluation entry of model type 1, CAR_1 (the routine behind CALL_MODEL for type 1).
#pragma once

namespace car1 {

constexpr int kInputCount = 6;     // driver inputs in the store's input block
constexpr int kOutputCount = 120;  // doubles of the output block

// One evaluation of a CAR_1 store (whole store, laid out by the model's sizes):
// mode 1 evaluates the equations and every state derivative; mode 2 turns the forces of the last
// mode 0/1 evaluation into chassis accelerations, gathers the derivatives again and refreshes the
// output block; any other mode does both. first = 1 (modes other than 2) sets the car up from
// its parameters and seeds the state and input blocks from the variables. Returns 0.
int Evaluate(int first, int mode, double time, double* store);

}  // namespace car1
