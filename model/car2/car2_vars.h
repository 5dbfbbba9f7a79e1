// Store blocks of the CAR_2 model (1-based slots); the variables' own slots are the generated
// constants of model/tables/car2_index.h.
#pragma once

#include "model/tables/car2_index.h"

namespace car2 {

constexpr int kNumVars = 2523;
constexpr int kNumStates = 47;
constexpr int kNumInertia = 16;
constexpr int kNumInputs = 6;
constexpr int kNumExtra = 120;
constexpr int kStoreLength = kNumVars + 2 * kNumStates + kNumInputs + kNumExtra;
constexpr int kStateBlock = kNumVars + 1;                  // first slot of the state block
constexpr int kDerivBlock = kNumVars + kNumStates + 1;     // first slot of the derivative block
constexpr int kInputArea = kNumVars + 2 * kNumStates + 1;  // first slot of the input area
constexpr int kOutputBlock = kInputArea + kNumInputs;      // first slot of the output block

}  // namespace car2
