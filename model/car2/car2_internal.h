// Private parts of the CAR_2 model shared by its source files.
#pragma once

#include "model/car2/car2.h"
#include "model/car2/car2_math.h"
#include "model/car2/car2_vars.h"
#include "model/core/tolvu_model.h"

namespace car2 {

#include "model/car2/car2_bodies.inc"

// One of the four integer parameters kept in the unnamed slots beside GEAR_TAU and TE_PP1600
// (0 when the slot holds no sensible integer).
int IntParameter(const double* store, int i);

int Init_Car_2(double* store);
// eulerRates receives the Euler-parameter rates of this evaluation (they are not store variables).
int Equations_Car_2(double* store, double eulerRates[4]);
int Loads_Car_2(double* store);
int Accelerations_Car_2(double* store);
// Copies the 47 derivatives into the derivative block; with eulerRates null the Euler-parameter
// rates already in the block are kept.
void Gather_Car_2(double* store, const double* eulerRates);

}  // namespace car2
