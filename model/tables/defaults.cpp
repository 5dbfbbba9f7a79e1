// Default values of the three models' variables. Every variable not written here is 0.0.
#include <initializer_list>

#include "model/core/tolvu_model.h"
#include "model/tables/car1_index.h"
#include "model/tables/car2_index.h"
#include "model/tables/carr_index.h"

namespace {

// Writes values to store elements first, first + 1, ... (1-based), never beyond count.
class Writer {
 public:
  Writer(double* store, int count) : m_store(store), m_count(count) {}
  void set(int first, std::initializer_list<double> values) {
    int k = first;
    for (double v : values) {
      if (k >= 1 && k <= m_count) m_store[k - 1] = v;
      ++k;
    }
  }
  void set(int first, double value) { set(first, {value}); }
  // Element (i, j) of an array with `rows` rows that starts at `first`.
  void elem(int first, int rows, int i, int j, double value) { set(first + (j - 1) * rows + (i - 1), value); }
  // Record-structure headers: element k holds k for each k listed.
  void field_numbers(int first, std::initializer_list<int> ks) {
    for (int k : ks) set(first + k - 1, static_cast<double>(k));
  }

 private:
  double* m_store;
  int m_count;
};

void clear(double* store, int count) {
  for (int k = 0; k < count; ++k) store[k] = 0.0;
}

// The viewing rotation shared by the models.
void cmhead(Writer& w, int first) {
  w.set(first, {0.57735027, 0.57735027, 0.57735027, -0.70710678, 0.70710678, 0.0, -0.40824829, -0.40824829,
                0.81649658});
}

void torque_table(Writer& w, int first) {
  w.set(first, {-0.01, 0.01, 0.3, 0.8, 1.0, 1.3, 1.4, 1.41});    // relative engine speed
  w.set(first + 8, {0.4, 0.4, 0.6, 0.9, 1.0, 0.6, 0.0, 0.0});    // relative torque
}

void structure_headers(Writer& w, int p3d, int ctyr, int rtyr) {
  w.field_numbers(p3d, {1, 2, 3, 4, 5, 6});
  w.field_numbers(ctyr, {1, 2, 3, 4, 5, 6, 7, 11, 12, 13, 14});
  w.field_numbers(rtyr, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
}

}  // namespace

int Defaults_Car_1(double* store, int count) {
  if (store == nullptr || count <= 0) return 0;
  clear(store, count);
  Writer w(store, count);
  using namespace car1;
  w.set(VG100, 1e-12);
  w.set(RG100, {1.4, 0.0, -0.8});
  w.set(EUL100, 1.0);
  // Run control and solver.
  w.set(COL_LISION, 4.0);
  w.set(DELTT, 0.001);
  w.set(TSTOP, 1.0);
  w.set(CINT, 0.01);
  w.set(HMAX, 0.1);
  w.set(HMIN, 1e-06);
  w.set(TOL, 3e-06);
  w.set(CGRAV, {0.0, 0.0, 9.80766});
  w.set(REINIT, 1.0);
  w.set(QALPHA, 100000.0);
  w.set(XALPHA, 0.001);
  w.set(MALPHA, 100.0);
  w.set(DELTA, 1e-05);
  w.set(DAMPING, 1.0);
  w.set(TAU_SLIP, 10.0);
  // Viewing.
  w.set(ONES, {1.0, 1.0, 1.0});
  w.set(SAME, 1.0);
  w.set(XOBS, {-10.0, -10.0, -10.0});
  w.set(WINDOW, 4.0);
  w.set(TRIAD, 0.05);
  w.set(VIEW_MAX, {19.506758, 0.91442288, 0.49916421});
  w.set(VIEW_MIN, {0.0, -2.7577164, -2.0213173});
  cmhead(w, CMHEAD);
  structure_headers(w, P_3D, C_TYR, R_TYR);
  // Car.
  w.set(M_CAR, 1000.0);
  w.set(X_COG, {1.4, 0.0, -0.8});
  w.set(DX_AXLES, 2.6);
  w.set(DY_AXLES, 1.7);
  w.set(Y_STUB, 0.05);
  w.set(R_WHEEL, 0.4);
  w.set(M_AXLE, 60.0);
  w.set(X_REAR, -0.6);
  w.set(X_FRONT, 3.5);
  w.set(Z_ROOF, -1.8);
  w.set(PRELOAD_F, 0.0001);
  w.set(PRELOAD_R, 0.0001);
  w.set(K_ROLL, 0.13);
  w.set(K_PITCH, 0.15);
  w.set(K_YAW, 0.15);
  w.set(SPRL_FRONT, 25000.0);
  w.set(DMPI_FRONT, 4000.0);
  w.set(SPRL_REAR, 25000.0);
  w.set(DMPI_REAR, 4000.0);
  w.set(INE_SIZE, 0.1);
  w.set(ANG_MAX, 0.2);
  w.set(STEER_RAT, 0.06);
  // Tyre data, front (900) and rear (950).
  for (int base : {FZN900, FZN950}) {
    // FZN, CZT, RZT, VXM, SYL, CYS, EYS, RRS, FTM are consecutive elements 14..22 of the set.
    w.set(base, {3000.0, 200000.0, 300.0, 0.1, 5.0, 1.0, -1.0, 0.01, 100000.0});
  }
  // Engine, gears, brake, air.
  w.set(VX_INIT, 1e-12);
  w.set(ENG_TC_MX, 200.0);
  w.set(ENG_RP_MX, 6000.0);
  w.set(ENG_TR_CM, 0.3);
  w.set(ENG_TR_VS, 0.1);
  w.set(ENG_RP_CM, 200.0);
  w.set(ENG_TH_MN, 0.1);
  w.set(ENG_PW_RR, 0.5);
  torque_table(w, ENG_TC_TB);
  w.set(TE_PP1600 - 1, 4.0);  // element 755: control of the spline preparation
  w.set(GEARS - 1, 2.0);      // element 788: control of the torque-table lookup
  w.set(GEARS, {-11.0, 0.0, 11.0, 8.0, 5.0, 3.0, 2.0, 0.0});
  w.set(GEAR_MAX, 5.0);
  w.set(GEAR_TAU, 3.0);
  w.set(GEAR_TAU + 1, {1.0, 1.0});  // elements 799, 800: controls of the gear-ratio pick
  w.set(BRAKE_MAX, 2.0);
  w.set(BRAKE_STF, 3000.0);
  w.set(BRAKE_DMP, 30.0);
  w.set(RHO_AIR, 1.0);
  w.set(AREA_CAR, 3.5);
  w.set(CW_CAR, 0.35);
  w.set(INP_LENG, 6.0);
  w.set(OUT_LENG, 120.0);
  return 0;
}

int Defaults_Car_2(double* store, int count) {
  if (store == nullptr || count <= 0) return 0;
  clear(store, count);
  Writer w(store, count);
  using namespace car2;
  // States.
  w.set(VG100, 1e-12);
  w.set(OWL2100, {-2.5e-12, -2.5e-12, -2.5e-12, -2.5e-12});
  w.set(RG100, {1.4, 0.0, -0.8});
  w.set(EUL100, {1.0, 0.0, 0.0, 0.0});
  // Run control.
  w.set(COL_LISION, 4.0);
  w.set(DELTT, 0.001);
  w.set(TSTOP, 1.0);
  w.set(CINT, 0.01);
  w.set(HMAX, 0.1);
  w.set(HMIN, 1e-06);
  w.set(TOL, 3e-06);
  w.set(CGRAV, {0.0, 0.0, 9.80766});
  w.set(REINIT, 1.0);
  w.set(ONES, {1.0, 1.0, 1.0});
  w.set(SAME, 1.0);
  w.set(QALPHA, 100000.0);
  w.set(XALPHA, 5.0);
  w.set(MALPHA, 100.0);
  w.set(DELTA, 1e-05);
  w.set(DAMPING, 1.0);
  w.set(TAU_SLIP, 10.0);
  w.set(INP_LENG, 6.0);
  w.set(OUT_LENG, 120.0);
  // Viewing.
  w.set(XOBS, {-10.0, -10.0, -10.0});
  w.set(WINDOW, 4.0);
  w.set(TRIAD, 0.05);
  w.set(VIEW_MAX, {19.522979, 1.0209947, 0.46175031});
  w.set(VIEW_MIN, {0.0, -2.8637683, -2.1818285});
  cmhead(w, CMHEAD);
  // Chassis.
  w.set(M_CAR, 1000.0);
  w.set(X_COG, {1.4, 0.0, -0.8});
  w.set(DX_AXLES, 2.6);
  w.set(DY_AXLES, 1.7);
  w.set(Y_STUB, 0.05);
  w.set(R_WHEEL, 0.4);
  w.set(X_REAR, -0.6);
  w.set(X_FRONT, 3.5);
  w.set(Z_ROOF, -1.8);
  w.set(M_AXLE, 60.0);
  w.set(I_WHEEL, 5.0);
  w.set(I_AXLE, 5.0);
  w.set(WD_TYRE, 0.3);
  w.set(K_ROLL, 0.13);
  w.set(K_PITCH, 0.15);
  w.set(K_YAW, 0.15);
  w.set(INE_SIZE, 0.1);
  // Suspension.
  w.set(PRELOAD_F, 0.0001);
  w.set(PRELOAD_R, 0.0001);
  for (int cam : {CAM_FRONT, CAM_REAR}) w.set(cam, {0.0, -0.134, 0.0, 8.76});
  for (int toe : {TOE_FRONT, TOE_REAR}) w.set(toe, {0.0, 0.037, 0.0, 1.52});
  w.set(CAST_FRONT, 0.01);
  w.set(CAST_REAR, 0.01);
  w.set(SPRL_FRONT, 25000.0);
  w.set(SPRL_REAR, 25000.0);
  w.set(SPRP_FRONT, 2000000.0);
  w.set(SPRP_REAR, 2000000.0);
  w.set(DMPI_FRONT, 4000.0);
  w.set(DMPI_REAR, 4000.0);
  w.set(DMPO_FRONT, 2000.0);
  w.set(DMPO_REAR, 2000.0);
  w.set(CRL_FRONT, 10000.0);
  w.set(CRL_REAR, 10000.0);
  w.set(RRL_FRONT, 1.0);
  w.set(RRL_REAR, 1.0);
  // Steering.
  w.set(ANG_MAX, 0.2);
  w.set(STEER_RAT, 0.06);
  // Tyres: elements 9, 10 (RRM, WRM) and 14..36 (FZN .. FTM) of each set.
  for (int set : {TYR900, TYR950}) {
    w.set(set + 8, {0.25, 0.35});
    w.set(set + 13, {3000.0, 200000.0, 300.0, 0.1, 1.0, 2.0, 1.0, 0.8, 5.0, 2.0, 1.3, -1.0, 5.0, 3.0, 1.3, -1.0,
                     10.0, 0.01, 4.0, 4.0, 0.05, 0.05, 100000.0});
  }
  // Engine.
  w.set(VX_INIT, 1e-12);
  w.set(ENG_TC_MX, 200.0);
  w.set(ENG_RP_MX, 6000.0);
  w.set(ENG_TR_CM, 0.5);
  w.set(ENG_TR_VS, 0.05);
  w.set(ENG_RP_CM, 200.0);
  w.set(ENG_PW_RR, 0.5);
  w.set(ENG_TH_MN, 0.1);
  w.set(ENG_XL_BD, {2.5, 0.0, -0.6});
  w.set(ENG_SZ_BL, {0.6, 0.2, 0.3});
  w.set(ENG_LC_BL, {0.0, 0.0, -0.1});
  w.set(ENG_IX_BD, 20.0);
  w.set(ENG_GM_BD, 1.570796);
  w.set(ENG_ST_MT, 10000.0);
  w.set(ENG_DM_MT, 100.0);
  w.set(ENG_TF_CL, 2.0);
  w.set(ENG_ST_CL, 100.0);
  w.set(ENG_DM_CL, 10.0);
  w.set(ENG_TA_CL, 3.0);
  w.set(ENG_DM_DF, 5.0);
  w.set(ENG_IX_CR, 1.0);
  w.set(ENG_GM_DF, 1e-12);
  w.set(SIZ1600, 0.05);
  torque_table(w, ENG_TC_TB);
  // Gears and the four integer table parameters (828, 829 after GEAR_TAU; 925 before and 958
  // after TE_PP1600).
  w.set(GEARS, {-11.0, 0.0, 11.0, 8.0, 5.0, 3.0, 2.0, 0.0});
  w.set(GEAR_MAX, 5.0);
  w.set(GEAR_TAU, 3.0);
  w.set(GEAR_TAU + 1, {1.0, 1.0});
  w.set(TE_PP1600 - 1, 4.0);
  w.set(TE_PP1600 + 32, 2.0);
  // Brakes and air.
  w.set(BRAKE_MAX, 2.0);
  w.set(BRAKE_STF, 3000.0);
  w.set(BRAKE_DMP, 30.0);
  w.set(BRAKE_FRN, 0.75);
  w.set(RHO_AIR, 1.0);
  w.set(AREA_CAR, 3.5);
  w.set(CW_CAR, 0.35);
  structure_headers(w, P_3D, C_TYR, R_TYR);
  return 0;
}

int Defaults_Car_R(double* store, int count) {
  if (store == nullptr || count <= 0) return 0;
  clear(store, count);
  Writer w(store, count);
  using namespace carr;
  w.set(COL_LISION, 4.0);
  w.set(DELTT, 0.001);
  w.set(TSTOP, 1.0);
  w.set(CINT, 0.01);
  w.set(HMAX, 0.1);
  w.set(HMIN, 1e-06);
  w.set(TOL, 3e-06);
  w.set(CGRAV, {0.0, 0.0, 9.80766});
  w.set(REINIT, 1.0);
  w.set(ONES, {1.0, 1.0, 1.0});
  w.set(SAME, 1.0);
  w.set(XOBS, {-10.0, -10.0, -10.0});
  w.set(WINDOW, 4.0);
  w.set(TRIAD, 0.05);
  w.set(VIEW_MAX, {17.378243, 0.035355339, 0.040824829});
  w.set(VIEW_MIN, {0.0, -0.070710678, -0.040824829});
  cmhead(w, CMHEAD);
  w.field_numbers(P_3D, {1, 2, 3, 4, 5, 6});
  w.set(QALPHA, 100000.0);
  w.set(XALPHA, 5.0);
  w.set(MALPHA, 100.0);
  w.set(DELTA, 1e-05);
  w.set(DAMPING, 1.0);
  w.set(TAU_SLIP, 10.0);
  w.set(DY_AXLES, 1.8);
  w.set(X_REAR, -0.6);
  w.set(X_FRONT, 4.0);
  w.set(Z_ROOF, -1.8);
  w.set(INP_LENG, 78.0);
  w.set(OUT_LENG, 0.0);
  // The six body orientations in the input list start at list elements 10, 22, ... (after the six
  // controls and each body's position); their diagonals are 1.
  for (int body = 0; body < 6; ++body) {
    const int m = INP_VARS + 9 + 12 * body;
    w.set(m, 1.0);
    w.set(m + 4, 1.0);
    w.set(m + 8, 1.0);
  }
  return 0;
}
