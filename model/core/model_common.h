// Pieces that every car model of the library shares: the constants a first call writes into the
// store, the orientation matrix of unit Euler parameters, the copies between the state and input
// blocks and their named variables at the start of an evaluation, the driver inputs taken from
// the input list, and the gear selection. Header-only; each model passes the positions of its own
// variables (0-based store elements).
#pragma once

#include <cmath>

namespace tolvu {

// Positions of the constant variables of a model's store (0-based).
struct ConstantSlots {
  int int1;  // INT1 .. INT12 follow it
  int pi, twoPi, halfPi, piDeg, deg2Rad, rad2Deg;
  int zero, half, one, two, three, four, five, six, nine, ten, small;
  int zeroVec, cmDum, cm0, status;
};

// The model's own rounded values of pi and its relatives are part of every store image.
inline void WriteModelConstants(double* store, const ConstantSlots& k) {
  for (int i = 0; i < 12; ++i) store[k.int1 + i] = i + 1;
  store[k.pi] = 3.1415927;
  store[k.twoPi] = 6.2831853;
  store[k.halfPi] = 1.57079635;
  store[k.piDeg] = 180.0;
  store[k.deg2Rad] = 0.01745329277777778;
  store[k.rad2Deg] = 57.29577866666166;
  const int small[] = {k.zero, k.half, k.one, k.two, k.three, k.four, k.five, k.six, k.nine, k.ten};
  const double values[] = {0.0, 0.5, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 9.0, 10.0};
  for (int i = 0; i < 10; ++i) store[small[i]] = values[i];
  store[k.small] = 1e-10;
  for (int i = 0; i < 3; ++i) store[k.zeroVec + i] = 0.0;
  for (int i = 0; i < 9; ++i) store[k.cmDum + i] = store[k.cm0 + i] = i % 4 == 0 ? 1.0 : 0.0;
  store[k.status] = 1.0;
}

// The column-major rotation matrix (body to ground) of unit Euler parameters e[0..3].
inline void EulerMatrix(double* cm, const double* e) {
  cm[0] = 2.0 * (e[0] * e[0] + e[1] * e[1]) - 1.0;
  cm[4] = 2.0 * (e[0] * e[0] + e[2] * e[2]) - 1.0;
  cm[8] = 2.0 * (e[0] * e[0] + e[3] * e[3]) - 1.0;
  cm[1] = 2.0 * (e[1] * e[2] + e[0] * e[3]);
  cm[2] = 2.0 * (e[1] * e[3] - e[0] * e[2]);
  cm[3] = 2.0 * (e[1] * e[2] - e[0] * e[3]);
  cm[5] = 2.0 * (e[2] * e[3] + e[0] * e[1]);
  cm[6] = 2.0 * (e[1] * e[3] + e[0] * e[2]);
  cm[7] = 2.0 * (e[2] * e[3] - e[0] * e[1]);
}

// At the start of an evaluation other than mode 2: a first call copies the named states and the
// input list into the state block and the input area; any later call copies them back, so that
// the equations see the integrated states and the caller's inputs. Positions 0-based.
inline void CopyStatesAndInputs(double* store, bool firstCall, int states, int stateVars,
                                int stateBlock, int inputs, int inputVars, int inputArea) {
  for (int i = 0; i < states; ++i) {
    double& var = store[stateVars + i];
    double& block = store[stateBlock + i];
    if (firstCall)
      block = var;
    else
      var = block;
  }
  for (int i = 0; i < inputs; ++i) {
    double& var = store[inputVars + i];
    double& area = store[inputArea + i];
    if (firstCall)
      area = var;
    else
      var = area;
  }
}

// Positions of the named driver inputs (0-based).
struct DriverInputSlots {
  int steer, throttle, brake, clutch, gear, parkBrake;
};

// The named driver inputs from the first six values of the input list INP_VARS, which holds them
// in the order steering, throttle, brake, clutch, gear, parking brake.
inline void CopyDriverInputs(double* store, int inputList, const DriverInputSlots& k) {
  const double* in = store + inputList;
  store[k.steer] = in[0];
  store[k.throttle] = in[1];
  store[k.brake] = in[2];
  store[k.clutch] = in[3];
  store[k.gear] = in[4];
  store[k.parkBrake] = in[5];
}

// Positions of the gear variables (0-based); gears is the first of the 8 ratios of GEARS.
struct GearSlots {
  int gear, gearMax, gearIndex, gears, selected, rate, ratio, tau;
};

// The selected gear: GEAR limited to reverse (-1) .. GEAR_MAX (a NaN selects neutral), its
// position GEAR_IND = gear + 2 (1 reverse, 2 neutral, 3 first), the ratio of that row of GEARS
// (rounded and kept inside the table's 8 rows whatever GEAR_MAX a data file holds) and the rate
// at which the overall ratio state GEAR_RAT follows it.
inline void SelectGear(double* store, const GearSlots& k) {
  double g = store[k.gear];
  if (!(g == g)) g = 0.0;
  if (g > store[k.gearMax]) g = store[k.gearMax];
  if (!(g >= -1.0)) g = -1.0;
  store[k.gearIndex] = g + 2.0;
  double row = store[k.gearIndex];
  row = row < 1.0 ? 1.0 : (row > 8.0 ? 8.0 : row);
  store[k.selected] = store[k.gears + static_cast<int>(std::lround(row)) - 1];
  store[k.rate] = (store[k.selected] - store[k.ratio]) * store[k.tau];
}

}  // namespace tolvu
