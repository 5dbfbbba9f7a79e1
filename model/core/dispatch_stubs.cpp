// Stand-ins for the evaluation entries of the car models whose equations live in model/car1 and
// model/car2. They are weak, so the models' own definitions replace them when linked in; until
// then an evaluation of those types does nothing and returns 0.
#include "model/core/tolvu_model.h"

__attribute__((weak)) int Call_Car_1(const int&, const int&, const double&, double*, const int&) { return 0; }
__attribute__((weak)) int Call_Car_2(const int&, const int&, const double&, double*, const int&) { return 0; }
