// The CAR_2 equations: from the 47 states and six inputs in the store, the kinematics of
// every body, the four ground contacts, suspension, tyre, driveline, brake and air forces,
// and the derivatives of the 31 position-type states. The 16 inertia-state derivatives come
// from the loads and accelerations (car2_loads.cpp).
//
// Axes: x forward, y right, z down (gravity is +z). A body's CM matrix turns body axes into
// global axes; its CMP or C0M matrix turns body axes into its parent's axes.
#include "model/car2/car2_internal.h"
#include "model/core/model_common.h"

namespace car2 {
namespace {

// Pivot orientation Rz(g) Ry(b) Rx(a), kinematics of a one-degree-of-freedom body about its
// own x axis under a parent (position rg, orientation cm, velocity vl, angular velocity ol).
// Returns the parent's angular velocity component about the joint axis.
double RotJoint(const Store& s, int alp, int ogy, double bet, double gam, int c0m, int rp, int rg,
                int igy, int iog, int vl, int ol, int cm, int prg, int pcm, int pvl, int pol,
                bool pointOffset) {
  double* C = s(c0m);
  rotZYX(C, s[alp], bet, gam);
  double v[3], t[3], o[3];
  if (pointOffset) {
    cross(t, s(pol), s(rp));
    add3(v, s(pvl), t);
    mv(t, s(pcm), s(rp));
    add3(s(rg), s(prg), t);
  } else {
    copy3(v, s(pvl));
    copy3(s(rg), s(prg));
  }
  s[iog] = s[igy] * s[ogy];
  mtv(s(vl), C, v);
  mtv(o, C, s(pol));
  set3(s(ol), s[ogy], o[1], o[2]);
  mm(s(cm), s(pcm), C);
  return o[0];
}

void EarlyContact(const Store& s, const Wheel& k, int w, double vxm) {
  const double tol = s[TOL];
  double t[3];
  // Contact search point below the carrier and the ground under it.
  mv(s(k.nzwl), s(k.cm96), s(k.rlcw));
  add3(s(k.rgcw), s(k.rg96), s(k.nzwl));
  GetEarthData(s(k.prcr), s(k.rgcw), s(k.nzwl), w + 1.0);
  double* out = s(k.prcr);
  s[k.murd] = out[6];
  s[k.rres] = out[7];

  double* ol96 = s(k.ol96);
  s[k.orl] = s[k.owl] - ol96[1];
  set3(s(k.owd), ol96[0], s[k.owl], ol96[2]);

  // Contact frame: x along the road under the wheel plane, y the wheel axis.
  set3(s(k.nrd), -out[3], -out[4], -out[5]);
  mtv(s(k.nrl), s(k.cm96), s(k.nrd));
  copy3(s(k.rpr), s(k.nrl));
  cross(t, s(k.ryn), s(k.rpr));
  normalise3(s(k.rxn), t);
  double* cm99 = s(k.cm99);
  copy3(cm99, s(k.rxn));
  copy3(cm99 + 3, s(k.ryn));
  cross(cm99 + 6, s(k.rxn), s(k.ryn));
  mtv(s(k.vax), cm99, s(k.vl96));
  double m[3];
  mtv(m, cm99, s(k.nrl));

  // Road camber and the cambered contact frame.
  s[k.cmb] = std::atan2(m[1], m[2]);
  const double cc = std::cos(s[k.cmb]), sc = std::sin(s[k.cmb]);
  s[k.ccm] = cc;
  s[k.cam] = s[k.cmb];
  double* cwr = s(k.cwr);
  identity(cwr);
  cwr[4] = cwr[8] = cc;
  cwr[7] = sc;
  cwr[5] = -sc;

  // Heading of the wheel on the road (display only).
  const double* c96 = s(k.cm96);
  const double* nrd = s(k.nrd);
  const double p = c96[0] * nrd[2] - c96[2] * nrd[0];
  const double q = c96[6] * nrd[2] - c96[8] * nrd[0];
  const double r = c96[3] * nrd[2] - c96[5] * nrd[0];
  const double u = cm99[2] * q + cm99[0] * p;
  const double v = (cm99[8] * q + cm99[6] * p) * (-sc) + r * cm99[4] * cc;
  s[k.gam] = std::atan2(-v, u);
  double* crw = s(k.crw);
  identity(crw);
  crw[0] = crw[4] = std::cos(s[k.gam]);
  crw[1] = std::sin(s[k.gam]);
  crw[3] = -crw[1];

  // Longitudinal slip speed and the wheel's pose.
  s[k.vx] = s(k.vax)[0];
  s[k.vrl] = s[k.owl] * s[k.ref];
  s[k.vsx] = s[k.vx] + s[k.vrl];
  copy3(s(k.rg), s(k.rg96));
  mm(s(k.cm), s(k.cm96), s(k.caw));

  double vxc = (std::fabs(s[k.vx]) + tol) * withSign(1.0, s[k.vx]);
  if (std::fabs(vxc) < kFloor) vxc = withSign(1.0, vxc) * kFloor;
  s[k.vxc] = vxc;
  s[k.vxhl] = std::fabs(vxc) - vxm;
  s[k.tsvlo] = SMOOTH_STEP(s[k.vxhl], vxm * 0.5, 1.0, 0.0);
  s[k.tsvhi] = 1.0 - s[k.tsvlo];
  s[k.muc] = s[k.murd];

  s[k.kap] = -s[k.vsx] / std::fabs(vxc);
  s[k.kpu] = clamp(s[k.kap], -1.0, 1.0);
  s[k.dkph] = (s[k.kpu] - s[k.kpd]) * s[k.tau];
  s[k.kpdl] = s[k.tsvlo] * s[k.kpd];
  s[k.aldl] = s[k.tsvlo] * s[k.alpd];
  s[k.rrs] = s[k.rres];
}

void LateContact(const Store& s, const Wheel& k, double rzt900) {
  double d[3], c[3], t[3], om[3];
  copy3(s(k.rgcr), s(k.prcr));
  for (int i = 0; i < 3; ++i) d[i] = s(k.rg96)[i] - s(k.rgcr)[i];
  s[k.rcl] = norm3(d);
  s(k.rcp)[2] = s[k.rcl];

  mtv(om, s(k.cm99), s(k.owd));
  cross(t, om, s(k.rcp));
  add3(c, t, s(k.vax));
  mtv(t, s(k.cwr), c);
  s[k.vsy] = t[1];
  s[k.vzt] = t[2];

  s[k.ezt] = s[k.rfr] - s(k.rcp)[2];
  s[k.fct] = std::max(s[k.czt] * s[k.ezt], 0.0);
  s[k.xrz] = 2.0 * timesRecip(s[k.ezt], s[k.ezm]) - 1.0;
  s[k.rzt] = SMOOTH_STEP(s[k.xrz], 1.0, 0.0, rzt900);
  s[k.frt] = std::max(s[DAMPING] * s[k.rzt] * s[k.vzt], 0.0);
  s[k.fzd] = s[k.czt] * s[k.ezt] + s[k.frt];

  s[k.alps] = std::atan2(-s[k.vsy], std::fabs(s[k.vxc]));
  s[k.dalh] = (s[k.alps] - s[k.alpd]) * s[k.tau];
}

void TyreForces(const Store& s, const Wheel& k, int d, double spinSign, double nomLoad) {
  const double damping = s[DAMPING];
  s[k.fzu] = s[k.fzd];
  s[k.fza] = std::max(s[k.fzd], 0.0);
  s[k.fzdl] = s[k.fza] / nomLoad;
  s[k.fzsw] = s[k.fzdl] - (s[FZH900 + d] + s[FZL900 + d]) * 0.5;
  s[k.tsflo] = SMOOTH_STEP(s[k.fzsw], s[k.fzbw], 1.0, 0.0);
  s[k.tsfhi] = 1.0 - s[k.tsflo];

  const double vlo = s[k.tsvlo], vhi = s[k.tsvhi];
  const double flo = s[k.tsflo], fhi = s[k.tsfhi];
  s[k.mun] = (s[MUH900 + d] * fhi + s[MUL900 + d] * flo) * s[k.muc];
  const double mun = s[k.mun];

  // Longitudinal.
  s[k.stux] = s[SXH900 + d] * fhi + s[SXL900 + d] * flo;
  s[k.stx] = (s[SLX900 + d] * vlo + 1.0) * s[k.stux];
  s[k.bxt] = s[k.stx] / std::max(s[CXS900 + d] * mun, kFloor);
  s[k.exml] = timesRecip(vlo * mun, s[k.stx]);
  s[k.dkpl] = STICK_SLIP(-s[k.vsx], s[k.kpdl], s[k.exml], s[TAU_SLIP]);
  s[k.dkpp] = vhi * s[k.dkph] + vlo * s[k.dkpl];
  s[k.kpt] = s[k.kpd] + s[DMX900 + d] * damping * vlo * s[k.dkpl];
  {
    const double B = s[k.bxt], E = s[EXS900 + d];
    s[k.arx] = (1.0 - E) * s[k.kpt] + (E / std::max(B, kFloor)) * std::atan(B * s[k.kpt]);
    s[k.fxdl] = std::sin(s[CXS900 + d] * std::atan(B * s[k.arx]));
  }
  const double fx = s[k.fza] * mun * s[k.fxdl];

  s[k.scxy] = 1.0 - std::min(s[XALPHA] * s[k.fxdl] * s[k.fxdl], 1.0);

  // Lateral.
  s[k.stuy] = s[SYH900 + d] * fhi + s[SYL900 + d] * flo;
  s[k.sty] = (s[SLY900 + d] * vlo + 1.0) * s[k.stuy];
  s[k.byt] = s[k.sty] / std::max(s[CYS900 + d] * mun, kFloor);
  s[k.eyml] = timesRecip(vlo * mun, s[k.sty]);
  s[k.dall] = STICK_SLIP(-s[k.vsy], s[k.aldl], s[k.eyml], s[TAU_SLIP]);
  s[k.dalp] = vhi * s[k.dalh] + vlo * s[k.dall];
  s[k.alpt] = s[k.alpd] + s[DMY900 + d] * damping * vlo * s[k.dall];
  {
    const double B = s[k.byt], E = s[EYS900 + d];
    s[k.argy] = (1.0 - E) * s[k.alpt] + (E / std::max(B, kFloor)) * std::atan(B * s[k.alpt]);
    s[k.fydl] = std::sin(s[CYS900 + d] * std::atan(B * s[k.argy])) * s[k.scxy];
  }
  const double fy = s[k.fza] * mun * s[k.fydl];

  s[k.tmrl] = s[k.rrs] * s[k.ref] * s[k.fza];
  double* fty = s(k.fty);
  const double ftm = s[FTM900 + d];
  MLIMIT(fty[0], fx, ftm);
  MLIMIT(fty[1], fy, ftm);
  MLIMIT(fty[2], s[k.fza], ftm);
  fty[3] = 0.0;
  fty[4] = -spinSign * s[k.tmrl];
  fty[5] = 0.0;
}

}  // namespace

int Equations_Car_2(double* store, double eulerRates[4]) {
  const Store s{store};
  double t[3], v[3];

  // 1. Masses.
  s[M_C_BODY] = s[M_CAR] + s[M_FUEL];
  s[M_TOTAL] = s[M_C_BODY] + 4.0 * s[M_AXLE];
  s[M100] = s[M_TOTAL];
  {
    double* mm = s(MM100);
    double* mi = s(MI100);
    identity(mm);
    for (int i = 0; i < 9; ++i) mm[i] *= s[M100];
    identity(mi);
    const double r = recip(s[M100]);
    for (int i = 0; i < 9; ++i) mi[i] *= r;
  }
  for (int i = 0; i < 3; ++i) s[FGR100 + i] = s[M_C_BODY] * s[CGRAV + i];

  // 2. Orientation from unit Euler parameters.
  {
    double* q = s(EUL100);
    const double len2 = q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3];
    s[DLT100] = len2 - 1.0;
    s[COR100] = 1.0 / std::max(std::sqrt(len2), kFloor);
    for (int i = 0; i < 4; ++i) q[i] *= s[COR100];
    const double* w = s(OL100);
    double r[4] = {0.5 * (-q[1] * w[0] - q[2] * w[1] - q[3] * w[2]),
                   0.5 * (q[0] * w[0] - q[3] * w[1] + q[2] * w[2]),
                   0.5 * (q[0] * w[1] + q[3] * w[0] - q[1] * w[2]),
                   0.5 * (q[0] * w[2] + q[1] * w[1] - q[2] * w[0])};
    s[SGM100] = q[0] * r[0] + q[1] * r[1] + q[2] * r[2] + q[3] * r[3];
    for (int i = 0; i < 4; ++i) eulerRates[i] = r[i] - s[SGM100] * q[i];
    tolvu::EulerMatrix(s(CM100), q);
  }

  // 3. Chassis kinematics and the reference frame 1000.
  mtv(s(VL100), s(CM100), s(VG100));
  copy3(s(OL1000), s(OL100));
  cross(t, s(OL100), s(RP1000));
  add3(s(VL1000), s(VL100), t);
  mv(t, s(CM100), s(RP1000));
  add3(s(RG1000), s(RG100), t);
  copy9(s(CM1000), s(CM100));

  // 4. Corner pivots and corner bodies.
  double pivotSpin[4];
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    const double* camc = s(c < 2 ? CAM_FRONT : CAM_REAR);
    const double* toec = s(c < 2 ? TOE_FRONT : TOE_REAR);
    pivotSpin[c] = RotJoint(s, k.alp, k.ogy, s[k.bet], s[k.gam], k.c0m, k.rp, k.rg, k.igy, k.iog,
                            k.vl, k.ol, k.cm, RG1000, CM1000, VL1000, OL1000, true);
    mv(t, s(k.cm), s(k.rpc));
    add3(s(k.rgc), s(k.rg), t);
    s[k.xpr] = s[k.yneg] * s[k.alp];
    s[k.toe] = cubic(s[k.xpr], toec);
    s[k.camb] = cubic(s[k.xpr], camc);
    s[k.ezj] = s[k.xpr];
    if (c == 1) s[ERR1150] = s[XPR1195] - s[XPR1095];
    if (c == 3) s[ERR1350] = s[XPR1395] - s[XPR1295];
  }

  // 5. Wheel rotations, engine block and crank.
  double spinSign[4], nomLoad[4];
  for (int w = 0; w < 4; ++w) {
    const Wheel& k = kWheels[w];
    const int d = w < 2 ? 0 : TYR950 - TYR900;
    s[k.iow] = s[k.iwl] * s[k.owl];
    double* caw = s(k.caw);
    const double cb = std::cos(s[k.bew]), sb = std::sin(s[k.bew]);
    caw[0] = caw[8] = cb;
    caw[6] = sb;
    caw[2] = -sb;
    nomLoad[w] = std::max(std::max(s[FZN900 + d], s[TOL]), kFloor);
    spinSign[w] = SMOOTH_STEP(s[k.owl], 0.5, -1.0, 1.0);
  }
  const double blockSpinParent =
      RotJoint(s, ALP1500, OGY1500, s[BET1500], s[GAM1500], C0M1500, RP1500, RG1500, IGY1500,
               IOG1500, VL1500, OL1500, CM1500, RG1000, CM1000, VL1000, OL1000, true);
  s[E_MT_ENG] = s[ALP1500];
  const double crankSpinParent =
      RotJoint(s, ALP1599, OGY1599, s[BET1599], s[GAM1599], C0M1599, RP1500, RG1599, IGY1599,
               IOG1599, VL1599, OL1599, CM1599, RG1500, CM1500, VL1500, OL1500, false);
  s[GET1600] = -s[GEAR_RAT] * 0.5;

  // 6. Aerodynamics.
  s[SPEED] = s(VL100)[0];
  s[F_WIND] = -withSign(1.0, s[SPEED]) * std::fabs(s[FCT_SHAPE]) * s[SPEED] * s[SPEED];
  s[POW_WIND] = s[F_WIND] * s[SPEED];
  s[YAW_RATE] = s[OL100 + 2];
  s[RAD_CURVE] = std::fabs(s[SPEED]) / std::max(std::max(std::fabs(s[YAW_RATE]), s[TOL]), kFloor);

  // 7. Inputs.
  tolvu::CopyDriverInputs(
      store, INP_VARS - 1,
      {STEER - 1, THROTTLE - 1, BRAKE - 1, CLUTCH - 1, GEAR - 1, PARK_BRAKE - 1});

  // 8. Springs.
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    const double x = s[k.ezj];
    s[k.czj] = (s[c < 2 ? SPRP_FRONT : SPRP_REAR] * x * x + s[c < 2 ? SPRL_FRONT : SPRL_REAR]) * x;
  }

  // 9. Chassis inertia.
  s[I_TOTAL] = std::fabs(s[Z_ROOF] + s[X_COG + 2]) * s[K_ROLL] * s[M_TOTAL] * s[DY_AXLES];
  s[I_TOTAL + 1] = s[K_PITCH] * s[M_TOTAL] * s[DX_AXLES] * s[CAR_LENG];
  s[I_TOTAL + 2] = s[K_YAW] * s[M_TOTAL] * s[DX_AXLES] * s[CAR_LENG];
  copy3(s(I100), s(I_TOTAL));

  // 10. Steering and the corner bodies' camber and steer angles.
  s[ANG_SCOR] = clamp(s[STEER], -s[AST_MAX], s[AST_MAX]);
  s[ANG_WHEEL] = s[ANG_SCOR] * s[STEER_RAT];
  s[ALP1100] = -s[ALP1095] - s[CAMB1100];
  s[ALP1200] = -s[ALP1195] + s[CAMB1200];
  s[ALP1300] = -s[ALP1295] - s[CAMB1300];
  s[ALP1400] = -s[ALP1395] + s[CAMB1400];
  s[GAM1100] = s[ANG_WHEEL] - s[TOE1100];
  s[GAM1200] = s[ANG_WHEEL] + s[TOE1200];
  s[GAM1300] = -s[TOE1300];
  s[GAM1400] = s[TOE1400];

  // 11. Suspension joints, dampers, corner-body orientation, anti-roll couplings.
  double damperRate[4];
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    s[k.org] = s[k.ogy] - pivotSpin[c];
    s[k.vzj] = s[k.yneg] * s[k.org];
    damperRate[c] = SMOOTH_STEP(s[k.vzj], s[TOL], s[c < 2 ? DMPO_FRONT : DMPO_REAR],
                                s[c < 2 ? DMPI_FRONT : DMPI_REAR]);
    const double a = s[k.alpc], b = s[k.betc], g = s[k.gamc];
    const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    const double cg = std::cos(g), sg = std::sin(g);
    double* P = s(k.cmp);
    P[0] = cb * cg;
    P[1] = sa * sb * cg + ca * sg;
    P[2] = sa * sg - ca * sb * cg;
    P[3] = -cb * sg;
    P[4] = ca * cg - sa * sb * sg;
    P[5] = ca * sb * sg + sa * cg;
    P[6] = sb;
    P[7] = -sa * cb;
    P[8] = ca * cb;
    cross(t, s(k.ol), s(k.rpc));
    add3(v, s(k.vl), t);
    mtv(s(k.vlc), P, v);
    mtv(s(k.olc), P, s(k.ol));
    mm(s(k.cmc), s(k.cm), P);
    if (c == 1) {
      s[VRR1150] = s[VZJ1197] - s[VZJ1097];
      s[TRR1150] = -s[CRR1150] * s[ERR1150] - s[DAMPING] * s[RRR1150] * s[VRR1150];
    }
    if (c == 3) {
      s[VRR1350] = s[VZJ1397] - s[VZJ1297];
      s[TRR1350] = -s[CRR1350] * s[ERR1350] - s[DAMPING] * s[RRR1350] * s[VRR1350];
    }
  }

  // 12. Wheel carriers and the early contact stage of each wheel.
  for (int w = 0; w < 4; ++w) {
    const Wheel& k = kWheels[w];
    const Corner& c = kCorners[w];
    const int d = w < 2 ? 0 : TYR950 - TYR900;
    cross(t, s(c.olc), s(k.rp));
    add3(v, s(c.vlc), t);
    mv(t, s(c.cmc), s(k.rp));
    add3(s(k.rg96), s(c.rgc), t);
    mtv(s(k.vl96), s(k.cmp), v);
    mtv(s(k.ol96), s(k.cmp), s(c.olc));
    mm(s(k.cm96), s(c.cmc), s(k.cmp));
    EarlyContact(s, k, w, s[VXM900 + d]);
  }

  // 13. Driveline: gear, engine mount, shaft speeds, engine torques, clutch and brakes.
  tolvu::SelectGear(store, {GEAR - 1, GEAR_MAX - 1, GEAR_IND - 1, GEARS - 1, GEAR_DSC - 1,
                            GEAR_DLT - 1, GEAR_RAT - 1, GEAR_TAU - 1});
  s[ORG1500] = s[OGY1500] - blockSpinParent;
  s[V_MT_ENG] = s[ORG1500];
  s[T_MT_ENG] = -s[C_MT_ENG] * s[E_MT_ENG] - s[DAMPING] * s[R_MT_ENG] * s[ORG1500];
  s[ORG1599] = s[OGY1599] - crankSpinParent;
  // Side-shaft speeds: the wheels' spins relative to their carriers, weighted by the split.
  // (The carrier-relative spin already holds the chassis's own rotation; subtracting the
  // engine block's spin as well would count it twice and unbalance the driveline torques.)
  const double shaftL = s[ENG_PW_RC] * s[ORL2400] + s[ENG_PW_FR] * s[ORL2200];
  const double shaftR = s[ENG_PW_RC] * s[ORL2300] + s[ENG_PW_FR] * s[ORL2100];
  s[OEN1600] = s[ORG1599];
  s[ODF1600] = shaftL - shaftR;
  s[RPM1600] = s[RPF1600] * s[ORG1599];

  s[THR1600] = std::min(std::max(s[THROTTLE], s[THM1600]), 1.0);
  s[CAE1600] = SMOOTH_STEP(s[THROTTLE] - 2.0 * s[THM1600], s[THM1600], 1.0, 0.0);
  {
    const double x = s[CAE1600] * s[CMA1600] * s[TEP1600];
    s[TCO1600] = SMOOTH_STEP(s[RPM1600], s[RPC1600], x, -x);
  }
  s[TCM1600] = s[CLUTCH] * s[CTF1600] * s[TEP1600];
  s[ECM1600] = timesRecip(s[TCM1600], s[CCL1600]);
  s[VDF1600] = s[ODF1600];
  s[TDF1600] = -s[DAMPING] * s[RDF1600] * s[ODF1600];

  s[BRAKE_INP] = clamp(s[BRAKE], 0.0, 1.0);
  s[BRAKE_PIN] = clamp(s[PARK_BRAKE], 0.0, 1.0);
  s[BRAKE_TFR] = s[BRAKE_INP] * s[BRAKE_MAX] * s[BRAKE_TMF];
  s[BRAKE_TRR] = (s[BRAKE_INP] + s[BRAKE_PIN]) * s[BRAKE_MAX] * s[BRAKE_TMR];
  for (int w = 0; w < 4; ++w) {
    const Wheel& k = kWheels[w];
    const double tmax = std::fabs(s[w < 2 ? BRAKE_TFR : BRAKE_TRR]);
    s[k.ebm] = timesRecip(tmax, s[CBR2700]);
    s[k.deb] = STICK_SLIP(s[k.orl], s[k.ebr], s[k.ebm], s[TAU_SLIP]);
    s[k.tbl] = -s[k.ebr] * s[CBR2700] - s[DAMPING] * s[k.deb] * s[RBR2700];
    s[k.trb] = clamp(s[k.tbl], -tmax, tmax);
  }

  s[RPN1600] = timesRecip(s[RPM1600], s[RPP1600]);
  s[OCR1600] = s[OEN1600] - (shaftL + shaftR) * s[GET1600];

  // Suspension forces and the chassis inertia.
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    s[k.rzj] = s[k.vzj] * damperRate[c];
  }
  {
    double* im = s(IM100);
    im[0] = s[I100];
    im[4] = s[I100 + 1];
    im[8] = s[I100 + 2];
    cofactorInverse3(s(II100), im);
  }
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    s[k.fzj] = -s[k.czj] - s[DAMPING] * s[k.rzj];
  }

  // Engine torques and the clutch.
  s[TFR1600] = -s[VFA1600] * s[TEP1600] * s[RPN1600] * s[DAMPING];
  s[RPNP1600] = std::max(s[RPN1600], 0.0);
  SPLINE_LOOKUP(s(NETV1600), s[RPNP1600], s(TE_PP1600), IntParameter(store, 3), 8, 4);
  s[NET1600] = s[NETV1600];
  s[TCT1600] = s[THR1600] * s[TEP1600] * s[NET1600];
  s[POWER1600] = s[TCT1600] * s[OEN1600];
  s[OCL1600] = STICK_SLIP(s[OCR1600], s[ECL1600], s[ECM1600], s[TAU1600]);
  s[TCL_L1600] = -s[ECL1600] * s[CCL1600] - s[DAMPING] * s[OCL1600] * s[RCL1600];
  s[TCL_T1600] = clamp(s[TCL_L1600], -std::fabs(s[TCM1600]), std::fabs(s[TCM1600]));
  s[TCR1600] = s[TCL_T1600];

  // 14. Output poses of the ten bodies.
  {
    static const int kPoses[10][2] = {
        {RG1000, CM1000}, {RG1100, CM1100}, {RG1200, CM1200}, {RG1300, CM1300}, {RG1400, CM1400},
        {RG2100, CM2100}, {RG2200, CM2200}, {RG2300, CM2300}, {RG2400, CM2400}, {RG1500, CM1500}};
    double* out = s(OUT_VARS);
    for (const auto& p : kPoses) {
      copy3(out, s(p[0]));
      copy9(out + 3, s(p[1]));
      out += 12;
    }
  }
  mv(s(IOM100), s(IM100), s(OL100));

  // 15. Late contact stage, handling summary and the tyre force law.
  for (int w = 0; w < 4; ++w) LateContact(s, kWheels[w], s[RZT900 + (w < 2 ? 0 : TYR950 - TYR900)]);
  s[SLIP_FRONT] = std::fabs((s[ALPS2100] + s[ALPS2200]) / kPi * 90.0);
  s[SLIP_REAR] = std::fabs((s[ALPS2300] + s[ALPS2400]) / kPi * 90.0);
  s[CAR_SSLIP] = (s[SLIP_FRONT] + s[SLIP_REAR]) * 0.5;
  s[CAR_U_STR] = s[SLIP_FRONT] - s[SLIP_REAR];
  for (int w = 0; w < 4; ++w)
    TyreForces(s, kWheels[w], w < 2 ? 0 : TYR950 - TYR900, spinSign[w], nomLoad[w]);

  s[FZ_FRONT] = s[FTY2100 + 2] + s[FTY2200 + 2];
  s[FZ_REAR] = s[FTY2300 + 2] + s[FTY2400 + 2];
  s[FZ_TOTAL] = s[FZ_FRONT] + s[FZ_REAR];
  const double tol = std::max(s[TOL], kFloor);
  s[FZP_FRONT] = s[FZ_FRONT] / std::max(s[FZ_TOTAL], tol);
  s[FZP_REAR] = s[FZ_REAR] / std::max(s[FZ_TOTAL], tol);
  s[DFZ_FRONT] = (s[FTY2200 + 2] - s[FTY2100 + 2]) / std::max(s[FZ_FRONT], tol);
  s[DFZ_REAR] = (s[FTY2400 + 2] - s[FTY2300 + 2]) / std::max(s[FZ_REAR], tol);
  return 0;
}

}  // namespace car2
