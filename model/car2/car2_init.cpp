// One-time set-up of a CAR_2 store: derived constants, body geometry, inverse inertias and
// the torque-curve spline, computed from the parameters. Touches no state variable.
#include "model/car2/car2_internal.h"
#include "model/core/model_common.h"

namespace car2 {

int Init_Car_2(double* store) {
  const Store s{store};
  // The spline control is read before the set-up writes anything.
  const int splineControl = IntParameter(store, 2);

  // Constants (the store's 1-based slots, one less as positions).
  tolvu::WriteModelConstants(
      store,
      {INT1 - 1, PI - 1,    TWOPI - 1,    HALFPI - 1, PIDEG - 1, DEG2RAD - 1, RAD2DEG - 1, ZERO - 1,
       HALF - 1, ONE - 1,   TWO - 1,      THREE - 1,  FOUR - 1,  FIVE - 1,    SIX - 1,     NINE - 1,
       TEN - 1,  SMALL - 1, ZERO_VEC - 1, CMDUM - 1,  CM0 - 1,   STATUS - 1});

  // Chassis.
  s[CXY100] = s[CXZ100] = s[CYZ100] = 0.0;
  s[Z_AXLE] = -s[R_WHEEL];
  s[CAR_LENG] = s[X_FRONT] - s[X_REAR];
  s[Y_AXLE] = s[DY_AXLES] * 0.5;
  for (int i = 0; i < 3; ++i) s[RP1000 + i] = -s[X_COG + i];
  s[AST_MAX] = timesRecip(s[ANG_MAX], s[STEER_RAT]);

  // Axles.
  s[IPV1150] = s[M_AXLE] * s[Y_AXLE] * s[Y_AXLE];
  s[IPV1350] = s[IPV1150];
  for (int i = 0; i < 3; ++i) {
    s[FGR1150 + i] = s[M_AXLE] * s[CGRAV + i];
    s[FGR1350 + i] = s[FGR1150 + i];
  }
  s[CRR1150] = s[CRL_FRONT];
  s[RRR1150] = s[RRL_FRONT];
  s[CRR1350] = s[CRL_REAR];
  s[RRR1350] = s[RRL_REAR];

  // Corner pivots and corner bodies.
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    const bool front = c < 2;
    s[k.bet] = 0.0;
    s[k.gam] = 0.0;
    double* c0m = s(k.c0m);
    set3(c0m, 1.0, 0.0, 0.0);
    set3(s(k.rp), front ? s[DX_AXLES] : 0.0, 0.0, s[Z_AXLE]);
    s[k.igy] = front ? s[IPV1150] : s[IPV1350];
    s[k.igi] = recip(s[k.igy]);

    s[k.ystb] = (c % 2 == 0) ? -s[Y_AXLE] : s[Y_AXLE];
    s[k.yneg] = -s[k.ystb];
    set3(s(k.rpc), 0.0, s[k.ystb], 0.0);
    s[k.betc] = front ? s[CAST_FRONT] : s[CAST_REAR];
    s[k.cmp + 6] = std::sin(s[k.betc]);
  }

  // Static loads and spring preloads.
  s[FGR_CAR] = s[M_CAR] * s[CGRAV + 2];
  s[FZS_FRONT] = (s[FGR_CAR] * 0.5) * s[X_COG] * recip(s[DX_AXLES]);
  s[FZS_REAR] = s[FGR_CAR] * 0.5 - s[FZS_FRONT];
  s[FZW_FRONT] = s[FZS_FRONT] + s[M_AXLE] * s[CGRAV + 2];
  s[FZW_REAR] = s[FZS_REAR] + s[M_AXLE] * s[CGRAV + 2];
  s[PZJ1097] = s[PZJ1197] = s[PRELOAD_F] * s[SPRL_FRONT] + s[FZS_FRONT];
  s[PZJ1297] = s[PZJ1397] = s[PRELOAD_R] * s[SPRL_REAR] + s[FZS_REAR];

  // Tyres and wheels.
  s[RFR900] = s[RFR950] = s[R_WHEEL];
  s[WTY900] = s[WTY950] = s[WD_TYRE];
  for (int w = 0; w < 4; ++w) {
    const Wheel& k = kWheels[w];
    const int d = w < 2 ? 0 : TYR950 - TYR900;
    set3(s(k.rp), 0.0, (w % 2 == 0) ? -s[Y_STUB] : s[Y_STUB], 0.0);
    identity(s(k.cmp));
    s[k.rlcw + 2] = s[RFR900 + d];
    s[k.iwl] = s[I_WHEEL];
    s[k.iwa] = s[I_AXLE];
    s[k.iwt] = s[I_WHEEL] + s[I_AXLE];
    s[k.iwi] = recip(s[k.iwt]);
    double* caw = s(k.caw);
    caw[1] = caw[3] = caw[5] = caw[7] = 0.0;
    caw[4] = 1.0;
    set3(s(k.rpq), 0.0, 1.0, 0.0);
    normalise3(s(k.ryn), s(k.rpq));
    s[k.czt] = s[CZT900 + d];
    s[k.rfr] = s[RFR900 + d];
    double czt = s[k.czt] > kFloor ? s[k.czt] : kFloor;
    double ezn = s[FZN900 + d] / czt;
    s[k.ezn] = ezn > kFloor ? ezn : kFloor;
    s[k.xzs] = 0.05;
    s[k.ezm] = s[k.ezn] * 0.05;
    s[k.tau] = s[TAU900 + d];
    s[k.sizt] = s[WTY900 + d] * 0.5;
    s[k.fzbw] = (s[FZH900 + d] - s[FZL900 + d]) * 0.5;
    copy3(s(k.cm99) + 3, s(k.ryn));
    identity(s(k.cwr));
    identity(s(k.crw));
    s[k.ref] = s[k.rfr];
  }

  s[OWL_INIT] = -timesRecip(s[VX_INIT], s[R_WHEEL]);

  // Driveline split.
  s[ENG_PW_RC] = clamp(s[ENG_PW_RR], 0.0, 1.0);
  s[ENG_PW_FR] = 1.0 - s[ENG_PW_RC];
  s[GEARS + 1] = 0.0;

  // Engine block and crank.
  s[BET1500] = 0.0;
  s[GAM1500] = s[ENG_GM_BD];
  set3(s(C0M1500), std::cos(s[ENG_GM_BD]), std::sin(s[ENG_GM_BD]), 0.0);
  copy3(s(RP1500), s(ENG_XL_BD));
  s[IGY1500] = s[ENG_IX_BD];
  s[IGI1500] = recip(s[IGY1500]);
  s[C_MT_ENG] = s[ENG_ST_MT];
  s[R_MT_ENG] = s[ENG_DM_MT];
  s[BET1599] = s[GAM1599] = 0.0;
  set3(s(C0M1599), 1.0, 0.0, 0.0);
  s[IGY1599] = s[ENG_IX_CR];
  s[IGI1599] = recip(s[IGY1599]);

  // Engine, clutch and differential.
  s[ALP1600] = s[BET1600] = 0.0;
  s[GAM1600] = s[ENG_GM_DF];
  rotZYX(s(CM1600), s[ALP1600], s[BET1600], s[GAM1600]);
  s[CTF1600] = s[ENG_TF_CL];
  s[CCL1600] = s[ENG_ST_CL];
  s[RCL1600] = s[ENG_DM_CL];
  s[TAU1600] = s[ENG_TA_CL];
  s[RPP1600] = s[ENG_RP_MX];
  s[TEP1600] = s[ENG_TC_MX];
  s[RPF1600] = 9.549296596425382;
  s[VFA1600] = s[ENG_TR_VS];
  s[THM1600] = s[ENG_TH_MN];
  s[CMA1600] = s[ENG_TR_CM];
  s[RPC1600] = s[ENG_RP_CM];
  s[RDF1600] = s[ENG_DM_DF];

  // Torque curve: 8 x 2 knots and values into the 8 x 4 spline table.
  SPLPRE(s(TE_PP1600), s(ENG_TC_TB), splineControl, 8, 2);
  s[NETV1600 + 1] = 1.0;

  // Brakes.
  s[BRAKE_FRC] = clamp(s[BRAKE_FRN], 0.0, 1.0);
  s[CBR2700] = s[BRAKE_STF];
  s[RBR2700] = s[BRAKE_DMP];
  s[BRAKE_TMF] = s[FZW_FRONT] * s[R_WHEEL] * s[BRAKE_FRC];
  s[BRAKE_TMR] = (1.0 - s[BRAKE_FRC]) * s[FZW_REAR] * s[R_WHEEL];

  // Aerodynamics.
  s[FCT_SHAPE] = s[CW_CAR] * 0.5 * s[RHO_AIR] * s[AREA_CAR];

  // Chassis inertia coupling (the diagonal is written by every evaluation).
  double* im = s(IM100);
  im[1] = im[3] = -s[CXY100];
  im[2] = im[6] = -s[CXZ100];
  im[5] = im[7] = -s[CYZ100];
  return 0;
}

}  // namespace car2
