// Model "CAR_R": no dynamics. It takes 78 inputs (the six driver controls and the position and
// orientation of six bodies, set from outside) and copies them into named variables.
#include "model/core/model_common.h"
#include "model/core/tolvu_model.h"
#include "model/tables/carr_index.h"

namespace {

constexpr int kInputs = 78;
constexpr int kInputArea = 292;  // 0-based start of the input area (after the 292 variables)
constexpr int kTimeSlot = 35;    // element that receives the time of every evaluation but mode 2

double& at(double* s, int k) { return s[k - 1]; }

void Init_Car_R(double* s) {
  using namespace carr;
  tolvu::WriteModelConstants(s, {INT1 - 1, PI - 1, TWOPI - 1, HALFPI - 1, PIDEG - 1, DEG2RAD - 1, RAD2DEG - 1, ZERO - 1,
                                 HALF - 1, ONE - 1, TWO - 1, THREE - 1, FOUR - 1, FIVE - 1, SIX - 1, NINE - 1, TEN - 1,
                                 SMALL - 1, ZERO_VEC - 1, CMDUM - 1, CM0 - 1, STATUS - 1});
}

void Equations_Car_R(double* s) {
  using namespace carr;
  // List order of the controls: STEER, THROTTLE, BRAKE, CLUTCH, GEAR, PARK_BRAKE.
  at(s, STEER) = at(s, INP_VARS);
  at(s, PARK_BRAKE) = at(s, INP_VARS + 5);
  at(s, GEAR) = at(s, INP_VARS + 4);
  at(s, CLUTCH) = at(s, INP_VARS + 3);
  at(s, BRAKE) = at(s, INP_VARS + 2);
  at(s, THROTTLE) = at(s, INP_VARS + 1);
  for (int i = 0; i < 9; ++i) at(s, CM1000 + i) = at(s, INP_VARS + 9 + i);
  for (int i = 0; i < 3; ++i) at(s, RG1000 + i) = at(s, INP_VARS + 6 + i);
  for (int i = 0; i < 60; ++i) at(s, RG2100 + i) = at(s, INP_VARS + 18 + i);
}

void Output_Car_R(double* s) {
  using namespace carr;
  for (int i = 0; i < 3; ++i) {
    at(s, FL100 + i) = at(s, F_CLN100 + i);
    at(s, TL100 + i) = at(s, T_CLN100 + i);
  }
}

}  // namespace

int Call_Car_R(const int& first, const int& mode, const double& time, double* store, const int& /*length*/) {
  using namespace carr;
  if (mode != 2) {
    at(store, kTimeSlot) = time;
    if (first == 1) Init_Car_R(store);
    tolvu::CopyStatesAndInputs(store, first == 1, 0, 0, 0, kInputs, INP_VARS - 1, kInputArea);
    Equations_Car_R(store);
    // No states: the derivative gather writes nothing.
  }
  if (mode == 1) return 0;
  Output_Car_R(store);
  return 0;
}
