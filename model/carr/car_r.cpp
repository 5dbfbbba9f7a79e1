// Model "CAR_R": no dynamics. It takes 78 inputs (the six driver controls and the position and
// orientation of six bodies, set from outside) and copies them into named variables.
#include "model/core/tolvu_model.h"
#include "model/tables/carr_index.h"

namespace {

constexpr int kInputs = 78;
constexpr int kInputArea = 292;  // 0-based start of the input area (after the 292 variables)
constexpr int kTimeSlot = 35;    // element that receives the time of every evaluation but mode 2

double& at(double* s, int k) { return s[k - 1]; }

void Init_Car_R(double* s) {
  using namespace carr;
  for (int i = 0; i < 12; ++i) at(s, INT1 + i) = i + 1;
  at(s, PI) = 3.1415927;
  at(s, TWOPI) = 6.2831853;
  at(s, PIDEG) = 180.0;
  at(s, RAD2DEG) = 57.29577866666166;
  at(s, DEG2RAD) = 0.01745329277777778;
  at(s, ZERO) = 0.0;
  at(s, HALF) = 0.5;
  at(s, ONE) = 1.0;
  at(s, TWO) = 2.0;
  at(s, THREE) = 3.0;
  at(s, FOUR) = 4.0;
  at(s, FIVE) = 5.0;
  at(s, SIX) = 6.0;
  at(s, NINE) = 9.0;
  at(s, TEN) = 10.0;
  at(s, SMALL) = 1e-10;
  at(s, HALFPI) = 1.57079635;
  for (int i = 0; i < 3; ++i) at(s, ZERO_VEC + i) = 0.0;
  for (int i = 0; i < 9; ++i) {
    const double v = (i % 4 == 0) ? 1.0 : 0.0;
    at(s, CMDUM + i) = v;
    at(s, CM0 + i) = v;
  }
  at(s, STATUS) = 1.0;
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
    if (first == 1) {
      Init_Car_R(store);
      for (int i = 0; i < kInputs; ++i) store[kInputArea + i] = at(store, INP_VARS + i);
    } else {
      for (int i = 0; i < kInputs; ++i) at(store, INP_VARS + i) = store[kInputArea + i];
    }
    Equations_Car_R(store);
    // No states: the derivative gather writes nothing.
  }
  if (mode == 1) return 0;
  Output_Car_R(store);
  return 0;
}
