// The CAR_2 model: the detailed car (47 states) that the game runs for human drivers.
// All per-car data lives in the caller's store (2743 doubles); the routines below keep only
// scratch values that are rewritten by every evaluation.
#pragma once

namespace car2 {

// Writes the model's sizes: 2523 variables, 47 states, 16 inertia states, 6 inputs, 120 extra.
int Size_Car_2(int& nvars, int& nstates, int& ninertia, int& ninputs, int& nextra);
// Zeroes the first n doubles of the store, then writes the default values (n at most 2523 used).
int Defaults_Car_2(double* store, int n);
// Fills n 12-byte name records with blanks, then writes the model's records (at most n).
int Names_Car_2(char* table, int n);
// One evaluation: mode 1 derivatives only, mode 2 outputs and inertia derivatives only,
// any other mode both. first = 1 runs the one-time set-up from the parameters in the store.
int Call_Car_2(int first, int mode, double time, double* store);

// Ground query used for every wheel: out[0..7] road point, road normal (pointing up, out of
// the road), friction and rolling-resistance coefficients. Provided by the library core.
using EarthQuery = void (*)(double* out, const double* point, const double* aux, double wheel);
// Replaces the query (null restores flat ground); the core forwards its trampoline here.
void SetEarthQuery(EarthQuery q);

}  // namespace car2
