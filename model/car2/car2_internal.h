// Private parts of the CAR_2 model shared by its source files.
#pragma once

#include "model/car2/car2.h"
#include "model/core/tolvu_model.h"
#include "model/car2/car2_math.h"
#include "model/car2/car2_vars.h"

namespace car2 {

#include "model/car2/car2_bodies.inc"

// The model type's integer table (four integers from the J slots), library-global.
int* IntTable();
// Library-global scratch of the equations: elements 5..8 (1-based) hold the Euler-parameter
// rates of the last evaluation that ran the equations.
double* Scratch();
constexpr int kScratchLen = 805;

int Init_Car_2(double* store);
int Equations_Car_2(double* store);
int Loads_Car_2(double* store);
int Accelerations_Car_2(double* store);
// Copies the 47 derivatives into the derivative block; with eulerFromScratch false the
// Euler-parameter rates already in the block are kept.
void Gather_Car_2(double* store, bool eulerFromScratch);

}  // namespace car2
