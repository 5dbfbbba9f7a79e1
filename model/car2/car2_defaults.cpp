// Default values of the CAR_2 store: a complete, drivable car without any data file.
#include <initializer_list>

#include "model/car2/car2.h"
#include "model/car2/car2_math.h"
#include "model/car2/car2_vars.h"

namespace car2 {
namespace {

void Put(const Store& s, int n, int slot, double v) {
    if (slot >= 1 && slot <= n) s[slot] = v;
}
void PutN(const Store& s, int n, int slot, std::initializer_list<double> vals) {
    for (double v : vals) Put(s, n, slot++, v);
}

void PutTyre(const Store& s, int n, int base, int num) {
    // Offsets of the named tyre parameters from the set's first slot (shared by 900 and 950).
    const int d = base - TYR900;
    (void)num;
    Put(s, n, RRM900 + d, 0.25); Put(s, n, WRM900 + d, 0.35); Put(s, n, FZN900 + d, 3000);
    Put(s, n, CZT900 + d, 200000); Put(s, n, RZT900 + d, 300); Put(s, n, VXM900 + d, 0.1);
    Put(s, n, FZL900 + d, 1); Put(s, n, FZH900 + d, 2); Put(s, n, MUL900 + d, 1);
    Put(s, n, MUH900 + d, 0.8); Put(s, n, SXL900 + d, 5); Put(s, n, SXH900 + d, 2);
    Put(s, n, CXS900 + d, 1.3); Put(s, n, EXS900 + d, -1); Put(s, n, SYL900 + d, 5);
    Put(s, n, SYH900 + d, 3); Put(s, n, CYS900 + d, 1.3); Put(s, n, EYS900 + d, -1);
    Put(s, n, TAU900 + d, 10); Put(s, n, RRS900 + d, 0.01); Put(s, n, SLX900 + d, 4);
    Put(s, n, SLY900 + d, 4); Put(s, n, DMX900 + d, 0.05); Put(s, n, DMY900 + d, 0.05);
    Put(s, n, FTM900 + d, 100000);
}

}  // namespace

int Defaults_Car_2(double* store, int n) {
    if (!store || n <= 0) return 0;
    for (int i = 0; i < n; ++i) store[i] = 0.0;
    if (n > kNumVars) n = kNumVars;
    const Store s{store};

    // States.
    Put(s, n, VG100, 1e-12);
    for (int w : {OWL2100, OWL2200, OWL2300, OWL2400}) Put(s, n, w, -2.5e-12);
    PutN(s, n, RG100, {1.4, 0.0, -0.8});
    PutN(s, n, EUL100, {1.0, 0.0, 0.0, 0.0});

    // Run control.
    Put(s, n, COL_LISION, 4); Put(s, n, DELTT, 0.001); Put(s, n, TSTOP, 1); Put(s, n, CINT, 0.01);
    Put(s, n, HMAX, 0.1); Put(s, n, HMIN, 1e-06); Put(s, n, TOL, 3e-06);
    PutN(s, n, CGRAV, {0.0, 0.0, 9.80766});
    Put(s, n, REINIT, 1); PutN(s, n, ONES, {1, 1, 1}); Put(s, n, SAME, 1);
    Put(s, n, QALPHA, 100000); Put(s, n, XALPHA, 5); Put(s, n, MALPHA, 100); Put(s, n, DELTA, 1e-05);
    Put(s, n, DAMPING, 1); Put(s, n, TAU_SLIP, 10); Put(s, n, INP_LENG, 6); Put(s, n, OUT_LENG, 120);

    // Viewing.
    PutN(s, n, XOBS, {-10, -10, -10}); Put(s, n, WINDOW, 4); Put(s, n, TRIAD, 0.05);
    PutN(s, n, VIEW_MAX, {19.522979, 1.0209947, 0.46175031});
    PutN(s, n, VIEW_MIN, {0, -2.8637683, -2.1818285});
    PutN(s, n, CMHEAD, {0.57735027, 0.57735027, 0.57735027, -0.70710678, 0.70710678, 0,
                        -0.40824829, -0.40824829, 0.81649658});

    // Chassis.
    Put(s, n, M_CAR, 1000); PutN(s, n, X_COG, {1.4, 0, -0.8}); Put(s, n, DX_AXLES, 2.6);
    Put(s, n, DY_AXLES, 1.7); Put(s, n, Y_STUB, 0.05); Put(s, n, R_WHEEL, 0.4);
    Put(s, n, X_REAR, -0.6); Put(s, n, X_FRONT, 3.5); Put(s, n, Z_ROOF, -1.8);
    Put(s, n, M_AXLE, 60); Put(s, n, I_WHEEL, 5); Put(s, n, I_AXLE, 5); Put(s, n, WD_TYRE, 0.3);
    Put(s, n, K_ROLL, 0.13); Put(s, n, K_PITCH, 0.15); Put(s, n, K_YAW, 0.15); Put(s, n, INE_SIZE, 0.1);

    // Suspension.
    Put(s, n, PRELOAD_F, 0.0001); Put(s, n, PRELOAD_R, 0.0001);
    PutN(s, n, CAM_FRONT, {0, -0.134, 0, 8.76}); PutN(s, n, CAM_REAR, {0, -0.134, 0, 8.76});
    PutN(s, n, TOE_FRONT, {0, 0.037, 0, 1.52}); PutN(s, n, TOE_REAR, {0, 0.037, 0, 1.52});
    Put(s, n, CAST_FRONT, 0.01); Put(s, n, CAST_REAR, 0.01);
    Put(s, n, SPRL_FRONT, 25000); Put(s, n, SPRL_REAR, 25000);
    Put(s, n, SPRP_FRONT, 2000000); Put(s, n, SPRP_REAR, 2000000);
    Put(s, n, DMPI_FRONT, 4000); Put(s, n, DMPI_REAR, 4000);
    Put(s, n, DMPO_FRONT, 2000); Put(s, n, DMPO_REAR, 2000);
    Put(s, n, CRL_FRONT, 10000); Put(s, n, CRL_REAR, 10000);
    Put(s, n, RRL_FRONT, 1); Put(s, n, RRL_REAR, 1);

    // Steering.
    Put(s, n, ANG_MAX, 0.2); Put(s, n, STEER_RAT, 0.06);

    // Tyres.
    PutTyre(s, n, TYR900, 900);
    PutTyre(s, n, TYR950, 950);

    // Engine.
    Put(s, n, VX_INIT, 1e-12); Put(s, n, ENG_TC_MX, 200); Put(s, n, ENG_RP_MX, 6000);
    Put(s, n, ENG_TR_CM, 0.5); Put(s, n, ENG_TR_VS, 0.05); Put(s, n, ENG_RP_CM, 200);
    Put(s, n, ENG_PW_RR, 0.5); Put(s, n, ENG_TH_MN, 0.1);
    PutN(s, n, ENG_XL_BD, {2.5, 0, -0.6}); PutN(s, n, ENG_SZ_BL, {0.6, 0.2, 0.3});
    PutN(s, n, ENG_LC_BL, {0, 0, -0.1});
    Put(s, n, ENG_IX_BD, 20); Put(s, n, ENG_GM_BD, 1.570796); Put(s, n, ENG_ST_MT, 10000);
    Put(s, n, ENG_DM_MT, 100); Put(s, n, ENG_TF_CL, 2); Put(s, n, ENG_ST_CL, 100);
    Put(s, n, ENG_DM_CL, 10); Put(s, n, ENG_TA_CL, 3); Put(s, n, ENG_DM_DF, 5);
    Put(s, n, ENG_IX_CR, 1); Put(s, n, ENG_GM_DF, 1e-12); Put(s, n, SIZ1600, 0.05);
    PutN(s, n, ENG_TC_TB, {-0.01, 0.01, 0.3, 0.8, 1.0, 1.3, 1.4, 1.41,
                           0.4, 0.4, 0.6, 0.9, 1.0, 0.6, 0.0, 0.0});

    // Gears.
    PutN(s, n, GEARS, {-11, 0, 11, 8, 5, 3, 2, 0});
    Put(s, n, GEAR_MAX, 5); Put(s, n, GEAR_TAU, 3);

    // Brakes and air.
    Put(s, n, BRAKE_MAX, 2); Put(s, n, BRAKE_STF, 3000); Put(s, n, BRAKE_DMP, 30);
    Put(s, n, BRAKE_FRN, 0.75);
    Put(s, n, RHO_AIR, 1); Put(s, n, AREA_CAR, 3.5); Put(s, n, CW_CAR, 0.35);

    // Record layouts: every element holds its own field number.
    for (int i = 0; i < 8; ++i) Put(s, n, P_3D + i, i + 1);
    for (int i = 0; i < 14; ++i) Put(s, n, C_TYR + i, i + 1);
    for (int i = 0; i < 18; ++i) Put(s, n, R_TYR + i, i + 1);

    // Integer table parameters beside GEAR_TAU and TE_PP1600.
    Put(s, n, GEAR_TAU + 1, 1); Put(s, n, GEAR_TAU + 2, 1);
    Put(s, n, TE_PP1600 - 1, 4); Put(s, n, TE_PP1600 + 32, 2);
    return 0;
}

}  // namespace car2
