// Resolution of the CAR_1 store offsets from the model's name records.
#include "model/car1/car1_vars.h"

#include <cstdio>
#include <cstring>

#include "model/core/tolvu_model.h"
#include "model/tables/name_records.h"

namespace car1 {
namespace {

// 1-based record of a variable name in the CAR_1 name table, or 0. Searches the generated records
// directly, so resolving leaves the library's shared name table alone.
int recordOf(const char* name) {
  const size_t n = std::strlen(name);
  if (n == 0 || n > 10) return 0;
  for (int k = 0; k < kCar1NameRecordCount; ++k) {
    const char* r = kCar1NameRecords[k];
    if (std::memcmp(r, name, n) != 0) continue;
    bool blanks = true;
    for (size_t i = n; i < 10; ++i) blanks = blanks && r[i] == ' ';
    if (blanks) return k + 1;
  }
  return 0;
}

// True when record k (1-based) has no name of its own.
bool unnamed(int k) {
  if (k < 1 || k > kCar1NameRecordCount) return false;
  for (int i = 0; i < 10; ++i)
    if (kCar1NameRecords[k - 1][i] != ' ') return false;
  return true;
}

struct Resolver {
  Index& o;
  void scalar(int& slot, const char* name) {
    const int k = recordOf(name);
    slot = k - 1;
    if (k == 0) miss(name);
  }
  void corner(int (&slot)[4], const char* fmt, int base) {
    char name[16];
    // Hub and contact-frame families count their first corner as 0 (2096 .. 2396, 2099 .. 2399).
    for (int w = 0; w < 4; ++w) {
      std::snprintf(name, sizeof name, fmt, w + base);
      const int k = recordOf(name);
      slot[w] = k - 1;
      if (k == 0) miss(fmt);
    }
  }
  void axle(int (&slot)[2], const char* fmt) {
    char name[16];
    for (int a = 0; a < 2; ++a) {
      std::snprintf(name, sizeof name, fmt, a == 0 ? 0 : 5);
      const int k = recordOf(name);
      slot[a] = k - 1;
      if (k == 0) miss(fmt);
    }
  }
  void miss(const char* name) {
    if (!o.missing) o.missing = name;
    o.complete = false;
  }
};

Index resolve() {
  Index o;
  o.complete = true;
  int nin = 0, nout = 0, ni = 0;
  Sizes_Car_1(o.nv, o.ns, ni, nin, nout);
  if (o.nv != kCar1NameRecordCount || o.ns != 19 || nin != 6 || nout != 120) {
    o.complete = false;
    o.missing = "sizes";
    return o;
  }
  Resolver r{o};
#define CAR1_RESOLVE_S(n) r.scalar(o.n, #n);
#define CAR1_RESOLVE_W(n, f, b) r.corner(o.n, f, b);
#define CAR1_RESOLVE_A(n, f) r.axle(o.n, f);
  CAR1_SCALARS(CAR1_RESOLVE_S)
  CAR1_CORNERS(CAR1_RESOLVE_W)
  CAR1_AXLES(CAR1_RESOLVE_A)
#undef CAR1_RESOLVE_S
#undef CAR1_RESOLVE_W
#undef CAR1_RESOLVE_A
  r.scalar(o.GAM1x00[0], "GAM1100");
  r.scalar(o.GAM1x00[1], "GAM1200");

  // The unnamed integer controls beside the engine table and the gear ratios.
  auto beside = [&](int& slot, int named, int delta, const char* what) {
    const int k = named + 1 + delta;  // 1-based
    if (named < 0 || !unnamed(k)) r.miss(what);
    slot = k - 1;
  };
  beside(o.splineControl, o.TE_PP1600, -1, "spline control");
  beside(o.lookupControl, o.TE_PP1600, 32, "lookup control");
  beside(o.pickRows, o.GEAR_TAU, 1, "pick rows");
  beside(o.pickCols, o.GEAR_TAU, 2, "pick columns");
  if (!unnamed(o.NETV1600 + 2)) r.miss("NETV1600 segment");
  return o;
}

}  // namespace

const Index& index() {
  static const Index o = resolve();
  return o;
}

}  // namespace car1
