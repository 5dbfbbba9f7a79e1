// CAR_2 joint loads, accelerations, the derivative gather and the call driver.
//
// The chassis carries the whole car's mass and inertia; the corner pivots, the engine block
// and the crank each add one rotation about their own x axis, and the wheels their spin.
// Loads run from the tyres inward: each body passes its force and the torque components
// that its joint cannot turn about to its parent; about the joint axis only the joint's
// spring and damper torque reaches the parent, the rest accelerates the body itself.
#include "model/car2/car2_internal.h"
#include "model/core/model_common.h"

namespace car2 {
namespace {

// Torque passed from a one-axis body to its parent, in the body's axes: the joint torque's
// reaction about the axis, the off-axis load and the gyroscopic reaction of the spin h.
void JointReaction(const double* tl, double jointTorque, const double* ol, double h, double* out) {
  set3(out, -jointTorque, tl[1] - ol[2] * h, tl[2] + ol[1] * h);
}

}  // namespace

int IntParameter(const double* store, int i) {
  const int slots[4] = {GEAR_TAU + 1, GEAR_TAU + 2, TE_PP1600 - 1, TE_PP1600 + 32};
  const double v = store[slots[i] - 1];
  return std::isfinite(v) && std::fabs(v) < 1e9 ? static_cast<int>(std::lround(v)) : 0;
}
int Loads_Car_2(double* store) {
  const Store s{store};
  double t[3], u[3];

  // 1. Axle gravity on the corner bodies.
  for (int c = 0; c < 4; ++c)
    mtv(s(kCorners[c].fgg), s(kCorners[c].cmc), s(c < 2 ? FGR1150 : FGR1350));

  // 2. Pivot torques from the springs and the anti-roll couplings.
  s[FRR1150] = s[TRR1150];
  s[FRR1350] = s[TRR1350];
  s[TRG1095] = ((s[FZJ1097] - s[PZJ1097]) - s[FRR1150]) * s[YNEG1100];
  s[TRG1195] = ((s[FZJ1197] - s[PZJ1197]) + s[FRR1150]) * s[YNEG1200];
  s[TRG1295] = ((s[FZJ1297] - s[PZJ1297]) - s[FRR1350]) * s[YNEG1300];
  s[TRG1395] = ((s[FZJ1397] - s[PZJ1397]) + s[FRR1350]) * s[YNEG1400];

  // 3. Engine and driveline. The clutch torque reaches the side shafts through the gear:
  // the torque on each shaft is the clutch torque times the shaft's share of the slip speed.
  s[TEN1600] = s[TCT1600] + s[TCR1600] + s[TCO1600] + s[TFR1600];
  s[TRG1599] = s[TGY1599] = s[TEN1600];
  const double h = -(s[GET1600] * s[TCR1600]);
  const double left = h - s[TDF1600];
  const double right = h + s[TDF1600];
  s[TRL2100] = s[ENG_PW_FR] * left + s[TRB2800];
  s[TRL2200] = s[ENG_PW_FR] * right + s[TRB2850];
  s[TRL2300] = s[ENG_PW_RC] * left + s[TRB2900];
  s[TRL2400] = s[ENG_PW_RC] * right + s[TRB2950];

  // Crank to block: the engine's torque (the clutch torque included) reacts on the block;
  // the shafts' torques react on the wheel carriers (TA below). Driveline torques therefore
  // sum to zero and the clutch does work only at its own slip speed.
  {
    double zero[3] = {0.0, 0.0, 0.0};
    double tp[3];
    JointReaction(zero, s[TEN1600], s(OL1599), s[IOG1599], tp);
    mv(s(TP1599), s(C0M1599), tp);
    copy3(s(TL1500), s(TP1599));
    s(TL1500)[0] += s[T_MT_ENG];
    s[TRG1500] = s[T_MT_ENG];
    s[TGY1500] = s(TL1500)[0];
    JointReaction(s(TL1500), s[T_MT_ENG], s(OL1500), s[IOG1500], tp);
    mv(s(TP1500), s(C0M1500), tp);
  }

  // 4. Tyre loads onto the wheels and their carriers.
  for (int w = 0; w < 4; ++w) {
    const Wheel& k = kWheels[w];
    const double* fty = s(k.fty);
    double fc[3] = {fty[0], fty[1], -fty[2]};
    mv(s(k.fp), s(k.cwr), fc);
    mv(u, s(k.cwr), fty + 3);
    cross(t, s(k.rcp), s(k.fp));
    add3(s(k.tp), t, u);
    mv(s(k.fp99), s(k.cm99), s(k.fp));
    copy3(s(k.fl96), s(k.fp99));
    mv(s(k.twd), s(k.cm99), s(k.tp));
    s[k.twl] = s[k.trl] + s(k.twd)[1];
    const double* ol96 = s(k.ol96);
    set3(s(k.ta), s[k.iow] * ol96[2] + s(k.twd)[0], -s[k.trl], -(s[k.iow] * ol96[0]) + s(k.twd)[2]);
    copy3(s(k.tp99), s(k.ta));
    copy3(s(k.tl96), s(k.ta));
  }

  // 5. Carriers to corner bodies to pivots.
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    const Wheel& w = kWheels[c];
    mv(s(w.fp96), s(w.cmp), s(w.fl96));
    mv(s(w.tp96), s(w.cmp), s(w.tl96));
    add3(s(k.flc), s(k.fgg), s(w.fp96));
    cross(t, s(w.rp), s(w.fp96));
    add3(s(k.tlc), s(w.tp96), t);
    mv(s(k.fpc), s(k.cmp), s(k.flc));
    mv(s(k.tpc), s(k.cmp), s(k.tlc));
    copy3(s(k.fl), s(k.fpc));
    cross(t, s(k.rpc), s(k.fpc));
    add3(s(k.tl), s(k.tpc), t);
    s[k.tgy] = s(k.tl)[0] + s[k.trg];
    mv(s(k.fp), s(k.c0m), s(k.fl));
    JointReaction(s(k.tl), s[k.trg], s(k.ol), s[k.iog], u);
    mv(s(k.tp), s(k.c0m), u);
  }

  // 6. Chassis: pivots and engine block, air drag, collision loads, gravity, gyroscopic term.
  double* fl = s(FL1000);
  double* tl = s(TL1000);
  set3(fl, 0, 0, 0);
  copy3(tl, s(TP1500));
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    add3(fl, fl, s(k.fp));
    add3(tl, tl, s(k.tp));
    cross(t, s(k.rp), s(k.fp));
    add3(tl, tl, t);
  }
  copy3(s(FP1000), fl);
  cross(t, s(RP1000), s(FP1000));
  add3(s(TP1000), t, tl);
  s[FL_WIND] = s[F_WIND];
  const double* fcl = s(F_CLN100);
  double fc[3] = {s[FP1000] + s[FL_WIND] + fcl[0], s[FP1000 + 1] + fcl[1], s[FP1000 + 2] + fcl[2]};
  mv(t, s(CM100), fc);
  add3(s(FG100), s(FGR100), t);
  cross(t, s(IOM100), s(OL100));
  add3(u, t, s(TP1000));
  add3(s(TL100), u, s(T_CLN100));
  return 0;
}

int Accelerations_Car_2(double* store) {
  const Store s{store};
  double a[3], r[3], t[3];

  for (int c = 0; c < 4; ++c) s[kCorners[c].dog] = s[kCorners[c].igi] * s[kCorners[c].tgy];
  s[DOG1500] = s[IGI1500] * s[TGY1500];
  s[DOG1599] = s[IGI1599] * s[TGY1599];
  for (int w = 0; w < 4; ++w) s[kWheels[w].dow] = s[kWheels[w].iwi] * s[kWheels[w].twl];

  mv(s(AG100), s(MI100), s(FG100));
  mtv(s(AL100), s(CM100), s(AG100));
  mv(s(DL100), s(II100), s(TL100));
  pointAcceleration(s(DM100), s(OL100), s(DL100));

  mv(t, s(DM100), s(RP1000));
  add3(s(AL1000), s(AL100), t);
  copy3(s(DL1000), s(DL100));
  pointAcceleration(s(DM1000), s(OL1000), s(DL1000));

  // One-axis bodies: the parent's point acceleration, the joint's relative acceleration and
  // the velocity product of the parent's rotation with the joint rate.
  auto joint = [&](int al, int dl, int dm, int drg, int dog, int org, int ol, int c0m, int rp,
                   int pal, int pdl, int pdm) {
    double vp[3], jr[3] = {s[org], 0.0, 0.0};
    mv(t, s(pdm), s(rp));
    add3(a, s(pal), t);
    mtv(s(al), s(c0m), a);
    mtv(r, s(c0m), s(pdl));
    s[drg] = s[dog] - r[0];
    cross(vp, s(ol), jr);
    set3(s(dl), s[dog] + vp[0], r[1] + vp[1], r[2] + vp[2]);
    pointAcceleration(s(dm), s(ol), s(dl));
  };
  auto fixed = [&](int al, int dl, int dm, int ol, int cmp, int rp, int pal, int pdl, int pdm) {
    mv(t, s(pdm), s(rp));
    add3(a, s(pal), t);
    mtv(s(al), s(cmp), a);
    mtv(s(dl), s(cmp), s(pdl));
    pointAcceleration(s(dm), s(ol), s(dl));
  };
  for (int c = 0; c < 4; ++c) {
    const Corner& k = kCorners[c];
    const Wheel& w = kWheels[c];
    joint(k.al, k.dl, k.dm, k.drg, k.dog, k.org, k.ol, k.c0m, k.rp, AL1000, DL1000, DM1000);
    fixed(k.alc, k.dlc, k.dmc, k.olc, k.cmp, k.rpc, k.al, k.dl, k.dm);
    fixed(w.al96, w.dl96, w.dm96, w.ol96, w.cmp, w.rp, k.alc, k.dlc, k.dmc);
  }
  joint(AL1500, DL1500, DM1500, DRG1500, DOG1500, ORG1500, OL1500, C0M1500, RP1500, AL1000, DL1000,
        DM1000);
  // The crank sits at the block's origin: a zero offset.
  {
    double vp[3], jr[3] = {s[ORG1599], 0.0, 0.0};
    mtv(s(AL1599), s(C0M1599), s(AL1500));
    mtv(r, s(C0M1599), s(DL1500));
    s[DRG1599] = s[DOG1599] - r[0];
    cross(vp, s(OL1599), jr);
    set3(s(DL1599), s[DOG1599] + vp[0], r[1] + vp[1], r[2] + vp[2]);
    pointAcceleration(s(DM1599), s(OL1599), s(DL1599));
  }
  return 0;
}

void Gather_Car_2(double* store, const double* eulerRates) {
  const Store s{store};
  double* d = s(kDerivBlock);
  copy3(d, s(AG100));
  copy3(d + 3, s(DL100));
  for (int c = 0; c < 4; ++c) d[6 + c] = s[kCorners[c].dog];
  for (int w = 0; w < 4; ++w) d[10 + w] = s[kWheels[w].dow];
  d[14] = s[DOG1500];
  d[15] = s[DOG1599];
  copy3(d + 16, s(VG100));
  if (eulerRates)
    for (int i = 0; i < 4; ++i) d[19 + i] = eulerRates[i];
  for (int c = 0; c < 4; ++c) d[23 + c] = s[kCorners[c].org];
  for (int w = 0; w < 4; ++w) {
    const Wheel& k = kWheels[w];
    d[27 + 3 * w] = s[k.orl];
    d[28 + 3 * w] = s[k.dkpp];
    d[29 + 3 * w] = s[k.dalp];
  }
  d[39] = s[GEAR_DLT];
  d[40] = s[ORG1500];
  d[41] = s[ORG1599];
  d[42] = s[OCL1600];
  for (int w = 0; w < 4; ++w) d[43 + w] = s[kWheels[w].deb];
}

int Evaluate(int first, int mode, double time, double* store) {
  if (!store) return 0;
  const Store s{store};
  double eulerRates[4] = {};
  if (mode != 2) {
    // The time goes to TIME, which no equation reads: the states stay the caller's.
    s[TIME] = time;
    if (first == 1) Init_Car_2(store);
    tolvu::CopyStatesAndInputs(store, first == 1, kNumStates, 0, kStateBlock - 1, kNumInputs,
                               INP_VARS - 1, kInputArea - 1);
    Equations_Car_2(store, eulerRates);
    Gather_Car_2(store, eulerRates);
    if (mode == 1) return 0;
  }
  Loads_Car_2(store);
  Accelerations_Car_2(store);
  Gather_Car_2(store, mode != 2 ? eulerRates : nullptr);
  for (int i = 0; i < kNumExtra; ++i) s[kOutputBlock + i] = s[OUT_VARS + i];
  return 0;
}

}  // namespace car2

int Call_Car_2(const int& first, const int& mode, const double& time, double* store,
               const int& length) {
  if (length < car2::kStoreLength) return 0;
  return car2::Evaluate(first, mode, time, store);
}
