// CAR_1, the lighter car model (computer and remote drivers): evaluation driver, first-call set-up,
// equations of motion, force recursion, accelerations and derivative gather.
//
// Every quantity is a store variable addressed through the offsets of car1_vars.h. The model keeps
// no data of its own between evaluations: the values that a first call derives for later
// evaluations (half the wheel radius, the floored effective radii) are taken again from the car's
// own store in every evaluation, the spline control is read from the store by the first call that
// uses it, and the Euler-parameter rates that a mode 2 evaluation gathers are recomputed from the
// car's own parameters and body rate. So cars of different sizes each drive with their own values,
// whichever car was set up last. The gear-ratio pick always takes the one element its result holds.
// An evaluation allocates nothing.
#include "model/car1/car1_model.h"

#include <cmath>

#include "model/numerics/fminmax.h"

#include "model/car1/car1_linalg.h"
#include "model/car1/car1_numerics.h"
#include "model/car1/car1_vars.h"
#include "model/core/model_common.h"
#include "model/core/tolvu_model.h"

namespace car1 {
namespace {

constexpr double kPi = 3.1415927;  // the model's own value of pi

// The store offsets, compile-time constants in every routine below.
constexpr const Index& o = kIndex;

// Per-evaluation values that are not store variables (the work area of one evaluation).
struct Work {
  double halfRadius = 0.0;    // R_WHEEL * 0.5
  double ref[4] = {};         // effective rolling radii REF2x00 floored at 1e-10
  double eulerRates[4] = {};  // Euler-parameter rates with the radial part removed
  double smoothSign[4] = {};  // smooth sign of each wheel's spin for the rolling resistance
};

inline int RoundControl(double v) {
  if (!(std::fabs(v) < 1e6)) return 0;  // NaN or absurd: no valid control
  return static_cast<int>(std::lround(v));
}

// Values that a first call leaves for later evaluations, taken from this car's store.
void ModuleValues(const double* V, Work& w) {
  w.halfRadius = V[o.R_WHEEL] * 0.5;
  for (int k = 0; k < 4; ++k) w.ref[k] = tolvu::fmax(V[o.REF2x00[k]], kFloor);
}

// Euler-parameter rates of the normalised parameters EUL100 at the body rate OL100, with the part
// along the parameters removed (keeps them on the unit sphere). Also returns e . edot in *sgm.
void EulerRates(const double* V, double* r, double* sgm) {
  const double* e = &V[o.EUL100];
  const double* w = &V[o.OL100];
  double d[4];
  d[0] = -0.5 * (e[1] * w[0] + e[2] * w[1] + e[3] * w[2]);
  d[1] = 0.5 * (e[0] * w[0] + e[2] * w[2] - e[3] * w[1]);
  d[2] = 0.5 * (e[0] * w[1] + e[3] * w[0] - e[1] * w[2]);
  d[3] = 0.5 * (e[0] * w[2] + e[1] * w[1] - e[2] * w[0]);
  const double s = e[0] * d[0] + e[1] * d[1] + e[2] * d[2] + e[3] * d[3];
  for (int k = 0; k < 4; ++k) r[k] = d[k] - s * e[k];
  if (sgm) *sgm = s;
}

// ---------------------------------------------------------------------------------------------
// First-call set-up: constants and fixed geometry derived from the parameters.
void First_Call_Car_1(double* V) {
  const int splineControl = RoundControl(V[o.splineControl]);

  tolvu::WriteModelConstants(
      V, {o.INT1, o.PI,    o.TWOPI,    o.HALFPI, o.PIDEG, o.DEG2RAD, o.RAD2DEG, o.ZERO,
          o.HALF, o.ONE,   o.TWO,      o.THREE,  o.FOUR,  o.FIVE,    o.SIX,     o.NINE,
          o.TEN,  o.SMALL, o.ZERO_VEC, o.CMDUM,  o.CM0,   o.STATUS});
  V[o.CXY100] = V[o.CXZ100] = V[o.CYZ100] = 0.0;

  // Body geometry.
  const double r = V[o.R_WHEEL];
  V[o.Z_AXLE] = -r;
  V[o.CAR_LENG] = V[o.X_FRONT] - V[o.X_REAR];
  V[o.Y_AXLE] = V[o.DY_AXLES] * 0.5;
  const double* cog = &V[o.X_COG];
  set3(&V[o.RP1000], -cog[0], -cog[1], -cog[2]);
  V[o.AST_MAX] = V[o.ANG_MAX] / floorDiv(V[o.STEER_RAT]);
  V[o.Z_AX_FRNT] = -r + V[o.PRELOAD_F];
  V[o.Z_AX_REAR] = -r + V[o.PRELOAD_R];
  const double dx = V[o.DX_AXLES], ya = V[o.Y_AXLE];
  set3(&V[o.RP1x00[0]], dx, -ya, V[o.Z_AX_FRNT]);
  set3(&V[o.RP1x00[1]], dx, ya, V[o.Z_AX_FRNT]);
  set3(&V[o.RP1x00[2]], 0.0, -ya, V[o.Z_AX_REAR]);
  set3(&V[o.RP1x00[3]], 0.0, ya, V[o.Z_AX_REAR]);
  V[o.YSTB1x00[0]] = V[o.YSTB1x00[2]] = -ya;
  V[o.YSTB1x00[1]] = V[o.YSTB1x00[3]] = ya;
  identity(&V[o.CMP1x00[2]]);
  identity(&V[o.CMP1x00[3]]);

  // Wheels: front wheels (0, 1) use the tyre data 900, rear wheels (2, 3) the data 950.
  V[o.RFR900] = r;
  V[o.RFR950] = r;
  for (int w = 0; w < 4; ++w) {
    const int a = w < 2 ? 0 : 1;
    const double side = (w % 2 == 0) ? -1.0 : 1.0;
    set3(&V[o.RP2x96[w]], 0.0, side * V[o.Y_STUB], 0.0);
    identity(&V[o.CMP2x96[w]]);
    const double rfree = a == 0 ? V[o.RFR900] : V[o.RFR950];
    V[o.RFR2x00[w]] = rfree;
    V[o.SIZT2x00[w] + 1] = rfree;
    V[o.SIZT2x00[w] + 2] = rfree;
    set3(&V[o.RL_CW2x00[w]], 0.0, 0.0, rfree);
    double* caw = &V[o.CAW2x00[w]];  // rotation about y: its y row and column are fixed
    caw[1] = caw[3] = caw[5] = caw[7] = 0.0;
    caw[4] = 1.0;
    set3(&V[o.RPQ2x99[w]], 0.0, 1.0, 0.0);
    normalise3(&V[o.RYN2x99[w]], &V[o.RPQ2x99[w]]);
    copy3(&V[o.CM2x99[w] + 3], &V[o.RYN2x99[w]]);
    double* cwr = &V[o.CWR2x00[w]];  // rotation about x: its x row and column are fixed
    cwr[0] = 1.0;
    cwr[1] = cwr[2] = cwr[3] = cwr[6] = 0.0;
    double* crw = &V[o.CRW2x00[w]];  // rotation about z: its z row and column are fixed
    crw[8] = 1.0;
    crw[2] = crw[5] = crw[6] = crw[7] = 0.0;
    V[o.EZN2x00[w]] = tolvu::fmax(V[o.FZN9x0[a]] / tolvu::fmax(V[o.CZT9x0[a]], kFloor), kFloor);
    V[o.XZS2x00[w]] = 0.05;
    V[o.EZM2x00[w]] = V[o.EZN2x00[w]] * 0.05;
    V[o.REF2x00[w]] = V[o.RFR2x00[w]];
  }

  // Suspension, engine and brake.
  V[o.DAMP_FRN] = V[o.DMPI_FRONT];
  V[o.DAMP_REA] = V[o.DMPI_REAR];
  V[o.OWL_INIT] = -V[o.VX_INIT] / floorDiv(r);
  V[o.ENG_PW_RC] = clamp(V[o.ENG_PW_RR], 0.0, 1.0);
  V[o.ENG_PW_FR] = 1.0 - V[o.ENG_PW_RC];
  V[o.RPF1600] = 9.549296596425382;
  V[o.GEARS + 1] = 0.0;
  V[o.ROT_2_LIN] = 4.0 / floorDiv(r * r);
  V[o.BRAKE_LST] = V[o.CBR2700] = V[o.BRAKE_STF] * V[o.ROT_2_LIN];
  V[o.BRAKE_LDM] = V[o.RBR2700] = V[o.BRAKE_DMP] * V[o.ROT_2_LIN];
  V[o.FCT_SHAPE] = V[o.CW_CAR] * 0.5 * V[o.RHO_AIR] * V[o.AREA_CAR];

  // Engine torque table: cubic-spline terms for the lookup.
  num::splpre(&V[o.TE_PP1600], &V[o.ENG_TC_TB], splineControl, 8, 2);
}

// ---------------------------------------------------------------------------------------------
// Kinematics of one wheel from its corner, the ground query and the contact frame (the rear
// wheels run before the steering is known, the front wheels after it).
void WheelContact(double* V, int w) {
  const int a = w < 2 ? 0 : 1;
  const double* cm1 = &V[o.CM1x00[w]];
  const double* rp96 = &V[o.RP2x96[w]];
  const double* cmp96 = &V[o.CMP2x96[w]];
  double t[3];

  // Hub 2x96.
  mv(t, cm1, rp96);
  add3(&V[o.RG2x96[w]], &V[o.RG1x00[w]], t);
  cross(t, &V[o.OL1x00[w]], rp96);
  add3(t, &V[o.VL1x00[w]], t);
  mtv(&V[o.VL2x96[w]], cmp96, t);
  mtv(&V[o.OL2x96[w]], cmp96, &V[o.OL1x00[w]]);
  mm(&V[o.CM2x96[w]], cm1, cmp96);

  // Lowest point of the free wheel, then the ground under it.
  mv(&V[o.NZ_WL2x00[w]], &V[o.CM2x96[w]], &V[o.RL_CW2x00[w]]);
  add3(&V[o.RG_CW2x00[w]], &V[o.RG2x96[w]], &V[o.NZ_WL2x00[w]]);
  double* out = &V[o.PR_CR2x00[w]];
  num::groundQuery(out, &V[o.RG_CW2x00[w]], &V[o.NZ_WL2x00[w]], static_cast<double>(w + 1));
  copy3(&V[o.RG_CR2x00[w]], out);
  V[o.MURD_2x00[w]] = out[6];
  V[o.RRES_2x00[w]] = out[7];

  // Wheel rotation about its axle.
  double* caw = &V[o.CAW2x00[w]];
  const double cb = std::cos(V[o.BEW2x00[w]]), sb = std::sin(V[o.BEW2x00[w]]);
  caw[0] = caw[8] = cb;
  caw[2] = -sb;
  caw[6] = sb;

  // Road normal (into the road) and the contact frame 2x99.
  set3(&V[o.NRD2x00[w]], -out[3], -out[4], -out[5]);
  mtv(&V[o.NRL2x99[w]], &V[o.CM2x96[w]], &V[o.NRD2x00[w]]);
  const double* ryn = &V[o.RYN2x99[w]];
  cross(t, ryn, &V[o.NRL2x99[w]]);
  normalise3(&V[o.RXN2x99[w]], t);
  double* cm99 = &V[o.CM2x99[w]];
  copy3(cm99, &V[o.RXN2x99[w]]);
  copy3(cm99 + 3, ryn);
  cross(cm99 + 6, &V[o.RXN2x99[w]], ryn);
  mtv(&V[o.VAX2x99[w]], cm99, &V[o.VL2x96[w]]);

  // Camber against the road.
  double n[3];
  mtv(n, cm99, &V[o.NRL2x99[w]]);
  const double camber = std::atan2(n[1], n[2]);
  V[o.CMB2x00[w]] = camber;
  V[o.CCM2x00[w]] = std::cos(camber);
  V[o.CAM2x00[w]] = camber;
  double* cwr = &V[o.CWR2x00[w]];
  const double cc = std::cos(camber), sc = std::sin(camber);
  cwr[4] = cwr[8] = cc;
  cwr[5] = -sc;
  cwr[7] = sc;

  // Display angle of the contact frame's heading in the hub frame; no force depends on it.
  const double gam = std::atan2(V[o.RXN2x99[w] + 1], V[o.RXN2x99[w]]);
  V[o.GAM2x00[w]] = gam;
  double* crw = &V[o.CRW2x00[w]];
  const double cg = std::cos(gam), sg = std::sin(gam);
  crw[0] = crw[4] = cg;
  crw[1] = sg;
  crw[3] = -sg;

  const double vx = V[o.VAX2x99[w]];
  V[o.VX2x00[w]] = vx;
  copy3(&V[o.RG2x00[w]], &V[o.RG2x96[w]]);
  mm(&V[o.CM2x00[w]], &V[o.CM2x96[w]], caw);
  V[o.VXC2x00[w]] = withSign(tolvu::fmax(std::fabs(vx), V[o.VXM9x0[a]]), vx);
  V[o.MUC2x00[w]] = V[o.MUN2x00[w]] = V[o.MURD_2x00[w]];
  V[o.RRS2x00[w]] = V[o.RRES_2x00[w]];
  V[o.BYT2x00[w]] = V[o.SYL9x0[a]] / tolvu::fmax(V[o.CYS9x0[a]] * V[o.MURD_2x00[w]], kFloor);
}

// Corner w's velocity, angular velocity and rotation in its own (possibly steered) frame.
void CornerFrame(double* V, int w) {
  const double* cmp = &V[o.CMP1x00[w]];
  double t[3];
  cross(t, &V[o.OL1000], &V[o.RP1x00[w]]);
  add3(t, &V[o.VL1000], t);
  mtv(&V[o.VL1x00[w]], cmp, t);
  mtv(&V[o.OL1x00[w]], cmp, &V[o.OL1000]);
  mm(&V[o.CM1x00[w]], &V[o.CM1000], cmp);
}

// ---------------------------------------------------------------------------------------------
// The brake element's force and deflection rate, given the stick/slip rate in DEB2950.
//
// While the car slides or moves into the element, the element follows its law: the deflection
// winds up as the car moves, and the force -EBR2950 CBR2700 - DAMPING DEB2950 RBR2700 is held
// to the brake's limit. That law alone stores the whole wind-up of a slide to rest (BRAKE_FRC /
// CBR2700, about a quarter of a metre for the default car) and gives it back to the car: a car
// stopped by a full brake was thrown back at up to 2 m/s and swung on the element's spring for
// seconds, whatever the integration step (the swing's size is that of the spring's stored energy).
// A brake dissipates; it never drives the car. So:
// - while the element sticks it is damped at least critically for the car's mass;
// - near rest, and whenever the car moves back against the wind-up, the element's force becomes
//   the force that holds the car against what pushes it along its length (gravity on a slope,
//   the drive, external loads), within the brake's limit, plus the damping of its rate; its
//   deflection relaxes towards that holding deflection instead of springing the car back.
// The blend runs from the element's own law at a loading speed of BRAKE_FRC / damping (where
// the damping alone would reach the full force) down to the holding force at rest, so a car
// slides to rest without overshooting. Above that speed the law is untouched.
void BrakeElement(double* V) {
  const double cbr = V[o.CBR2700];
  const double limit = V[o.EBM2950];
  const double ebr = V[o.EBR2950];
  const double deb = V[o.DEB2950];
  const double criticalDamping =
      2.0 * std::sqrt(tolvu::fmax(cbr, 0.0) * tolvu::fmax(V[o.M_TOTAL], 0.0));
  const double holdDamping = tolvu::fmax(V[o.RBR2700], criticalDamping);
  const double brakeDamping = std::fabs(ebr) <= limit ? holdDamping : V[o.RBR2700];

  // Loading speed: the car's speed in the direction of the wind-up (negative: moving back).
  const double loading = V[o.VL100] * (ebr >= 0.0 ? 1.0 : -1.0);
  const double band = V[o.BRAKE_FRC] / tolvu::fmax(holdDamping, kFloor);
  // A released brake keeps the element's law: it has no force to hold with.
  const double hold =
      V[o.BRAKE_FRC] > 0.0 ? num::smoothStep(loading - 0.5 * band, 0.5 * band, 1.0, 0.0) : 0.0;

  if (hold > 0.0) {
    // What pushes the car along its length besides the brake: gravity along the road (the mean of
    // the four wheels' road normals) in the direction the car points on it, the drive and the
    // external load.
    double n[3] = {0.0, 0.0, 0.0};
    for (int w = 0; w < 4; ++w) add3(n, n, &V[o.PR_CR2x00[w] + 3]);
    normalise3(n, n);
    const double* x = &V[o.CM100];  // the chassis's x axis in ground axes
    const double along = dot3(x, n);
    double heading[3] = {x[0] - along * n[0], x[1] - along * n[1], x[2] - along * n[2]};
    normalise3(heading, heading);
    const double push =
        dot3(&V[o.FGR100], heading) + V[o.F_DRIVE_F] + V[o.F_DRIVE_R] + V[o.F_CLN100];
    const double holdDeflection = clamp(push / floorDiv(cbr), -limit, limit);
    V[o.FBL2950] =
        -(1.0 - hold) * ebr * cbr - hold * holdDeflection * cbr - V[o.DAMPING] * deb * brakeDamping;
    V[o.DEB2950] = deb - hold * (cbr / tolvu::fmax(holdDamping, kFloor)) * (ebr - holdDeflection);
  } else {
    V[o.FBL2950] = -ebr * cbr - V[o.DAMPING] * deb * brakeDamping;
  }
  V[o.FRB2950] = clamp(V[o.FBL2950], -V[o.BRAKE_FRC], V[o.BRAKE_FRC]);
}

// ---------------------------------------------------------------------------------------------
void Equations_Car_1(double* V, Work& wk) {
  // 1. Mass.
  V[o.M_C_BODY] = V[o.M_CAR] + V[o.M_FUEL];
  V[o.M_TOTAL] = V[o.M_C_BODY] + 4.0 * V[o.M_AXLE];
  const double* g = &V[o.CGRAV];
  V[o.FGR_CAR] = V[o.M_TOTAL] * g[2];
  const double m = V[o.M_TOTAL];
  V[o.M100] = m;
  double* mmx = &V[o.MM100];
  for (int k = 0; k < 9; ++k) mmx[k] = 0.0;
  mmx[0] = mmx[4] = mmx[8] = m;
  num::inverse3(&V[o.MI100], mmx);
  set3(&V[o.FGR100], m * g[0], m * g[1], m * g[2]);

  // 2. Orientation.
  double* e = &V[o.EUL100];
  const double e2 = e[0] * e[0] + e[1] * e[1] + e[2] * e[2] + e[3] * e[3];
  V[o.DLT100] = e2 - 1.0;
  const double cor = 1.0 / tolvu::fmax(std::sqrt(e2), kFloor);
  V[o.COR100] = cor;
  for (int k = 0; k < 4; ++k) e[k] *= cor;
  EulerRates(V, wk.eulerRates, &V[o.SGM100]);
  double* cm = &V[o.CM100];
  tolvu::EulerMatrix(cm, e);

  // 3. Chassis, reference frame and corner positions; the rear corners' frames.
  double t[3];
  mtv(&V[o.VL100], cm, &V[o.VG100]);
  copy3(&V[o.OL1000], &V[o.OL100]);
  cross(t, &V[o.OL100], &V[o.RP1000]);
  add3(&V[o.VL1000], &V[o.VL100], t);
  mv(t, cm, &V[o.RP1000]);
  add3(&V[o.RG1000], &V[o.RG100], t);
  for (int k = 0; k < 9; ++k) V[o.CM1000 + k] = cm[k];
  for (int w = 0; w < 4; ++w) {
    mv(t, &V[o.CM1000], &V[o.RP1x00[w]]);
    add3(&V[o.RG1x00[w]], &V[o.RG1000], t);
  }
  CornerFrame(V, 2);
  CornerFrame(V, 3);

  // 4. Rotation matrices of the front wheels: written by their wheel contacts (step 12), before
  // anything reads them; nothing in between depends on them.

  // 5, 6. Rear wheels and their ground queries (wheels 3.0 then 4.0).
  WheelContact(V, 2);
  WheelContact(V, 3);

  // 7. Static references.
  const double fgr = V[o.FGR_CAR];
  const double czt9 = V[o.CZT9x0[0]] + V[o.CZT9x0[1]];
  V[o.EZT_LOW] = (fgr * 0.5) / floorDiv(czt9 * 2.0);
  V[o.EZT_STP] = V[o.EZT_LOW] * 0.5;
  V[o.EZT_HIGH] = tolvu::fmin(fgr / floorDiv(V[o.SPRL_FRONT] + V[o.SPRL_REAR]), wk.halfRadius);
  V[o.ZAX_NULL] = fgr / floorDiv(4.0 * V[o.SPRL_FRONT]);

  // 8. Air and driving quantities.
  const double speed = V[o.VL100];
  V[o.SPEED] = speed;
  V[o.OEN_VELOC] = speed * V[o.GEAR_RAT] / floorDiv(V[o.R_WHEEL]);
  V[o.F_WIND] = -withSign(1.0, speed) * std::fabs(V[o.FCT_SHAPE]) * speed * speed;
  V[o.POW_WIND] = V[o.F_WIND] * speed;
  V[o.YAW_RATE] = V[o.OL100 + 2];
  // TOL floors these divisions; it comes from the store, so it is itself kept above 1e-10.
  const double tol = tolvu::fmax(V[o.TOL], kFloor);
  V[o.RAD_CURVE] = std::fabs(speed) / tolvu::fmax(std::fabs(V[o.OL100 + 2]), tol);

  // 9. Inputs, in the order of the input list.
  tolvu::CopyDriverInputs(V, o.INP_VARS,
                          {o.STEER, o.THROTTLE, o.BRAKE, o.CLUTCH, o.GEAR, o.PARK_BRAKE});

  // 10. Inertia estimate.
  const double mt = V[o.M_TOTAL];
  set3(&V[o.I_TOTAL], std::fabs(V[o.Z_ROOF] + V[o.X_COG + 2]) * V[o.K_ROLL] * mt * V[o.DY_AXLES],
       V[o.K_PITCH] * mt * V[o.DX_AXLES] * V[o.CAR_LENG],
       V[o.K_YAW] * mt * V[o.DX_AXLES] * V[o.CAR_LENG]);
  copy3(&V[o.I100], &V[o.I_TOTAL]);

  // 11. Steering of the front corners.
  const double ast = V[o.AST_MAX];
  V[o.ANG_SCOR] = clamp(V[o.STEER], -ast, ast);
  const double ang = V[o.ANG_SCOR] * V[o.STEER_RAT];
  V[o.ANG_WHEEL] = ang;
  const double ca = std::cos(ang), sa = std::sin(ang);
  for (int w = 0; w < 2; ++w) {
    V[o.GAM1x00[w]] = ang;
    double* cmp = &V[o.CMP1x00[w]];
    identity(cmp);
    cmp[0] = cmp[4] = ca;
    cmp[1] = sa;
    cmp[3] = -sa;
    CornerFrame(V, w);
  }

  // 12. Front wheels and their ground queries (wheels 1.0 then 2.0).
  WheelContact(V, 0);
  WheelContact(V, 1);

  // 13. Loaded radius: hub centre to the road contact point.
  for (int w = 0; w < 4; ++w) {
    sub3(t, &V[o.RG2x96[w]], &V[o.RG_CR2x00[w]]);
    V[o.RCL2x00[w]] = norm3(t);
  }

  // 14. Engine.
  const double throttle = V[o.THROTTLE], clutch = V[o.CLUTCH];
  const double rpf = V[o.RPF1600], rpmx = V[o.ENG_RP_MX], tcmx = V[o.ENG_TC_MX];
  V[o.OEN_THROT] = (rpmx / floorDiv(rpf)) * throttle;
  V[o.OEN1600] = clutch * V[o.OEN_VELOC] + (1.0 - clutch) * V[o.OEN_THROT];
  V[o.RPM1600] = rpf * V[o.OEN1600];
  V[o.RPN1600] = tolvu::fmax(V[o.RPM1600] / floorDiv(rpmx), 0.0);
  num::tableLookup(&V[o.NETV1600], V[o.RPN1600], &V[o.TE_PP1600], 8);
  V[o.NET1600] = V[o.NETV1600];
  V[o.TCT1600] = throttle * tcmx * V[o.NETV1600];
  const double thmn = V[o.ENG_TH_MN];
  V[o.CAE1600] = num::smoothStep(throttle - 2.0 * thmn, thmn, 1.0, 0.0);
  V[o.TCO_NULL] = V[o.CAE1600] * V[o.ENG_TR_CM] * tcmx;
  V[o.TCO1600] = num::smoothStep(V[o.RPM1600], V[o.ENG_RP_CM], V[o.TCO_NULL], -V[o.TCO_NULL]);
  V[o.TFR1600] = -(V[o.ENG_TR_VS] * tcmx * V[o.RPN1600] * V[o.DAMPING]);
  const double fEng =
      (V[o.GEAR_RAT] / floorDiv(V[o.R_WHEEL])) * (V[o.TCT1600] + V[o.TCO1600] + V[o.TFR1600]);
  V[o.F_ENG_NUL] = fEng;
  const double engSign = fEng >= 0.0 ? 1.0 : -1.0;
  const double shareFront = std::fabs(V[o.ENG_PW_FR] * fEng);
  const double shareRear = std::fabs(V[o.ENG_PW_RC] * fEng);

  // 15. Gear: the overall ratio follows the selected gear.
  tolvu::SelectGear(
      V, {o.GEAR, o.GEAR_MAX, o.GEAR_IND, o.GEARS, o.GEAR_DSC, o.GEAR_DLT, o.GEAR_RAT, o.GEAR_TAU});

  // 16. Brake inputs.
  V[o.BRAKE_INP] = clamp(V[o.BRAKE], 0.0, 1.0);
  V[o.BRAKE_PIN] = clamp(V[o.PARK_BRAKE], 0.0, 1.0);

  // 17. Wheel spin: every wheel rolls.
  double* im = &V[o.IM100];
  for (int k = 0; k < 9; ++k) im[k] = 0.0;
  im[0] = V[o.I100];
  im[4] = V[o.I100 + 1];
  im[8] = V[o.I100 + 2];
  num::inverse3(&V[o.II100], im);
  for (int w = 0; w < 4; ++w) {
    const double owl = -V[o.VX2x00[w]] / wk.ref[w];
    V[o.OWL2x00[w]] = owl;
    const double* ol96 = &V[o.OL2x96[w]];
    V[o.ORL2x00[w]] = owl - ol96[1];
    set3(&V[o.OWD2x00[w]], ol96[0], owl, ol96[2]);
    V[o.VRL2x00[w]] = owl * V[o.REF2x00[w]];
    V[o.VSX2x00[w]] = V[o.VX2x00[w]] + V[o.VRL2x00[w]];
    wk.smoothSign[w] = num::smoothStep(owl, 0.5, -1.0, 1.0);
  }

  // 18, 19. Tyre contact and vertical force, per wheel.
  for (int w = 0; w < 4; ++w) {
    const int a = w < 2 ? 0 : 1;
    const double spring = a == 0 ? V[o.SPRL_FRONT] : V[o.SPRL_REAR];
    const double damp = a == 0 ? V[o.DAMP_FRN] : V[o.DAMP_REA];
    const double* cm99 = &V[o.CM2x99[w]];
    double* rcp = &V[o.RCP2x00[w]];
    set3(rcp, 0.0, 0.0, V[o.RCL2x00[w]]);
    double om[3], vc[3];
    mtv(om, cm99, &V[o.OWD2x00[w]]);
    cross(vc, om, rcp);
    add3(vc, &V[o.VAX2x99[w]], vc);
    mtv(vc, &V[o.CWR2x00[w]], vc);
    V[o.VSY2x00[w]] = vc[1];
    V[o.VZT2x00[w]] = vc[2];
    const double ezt = V[o.RFR2x00[w]] - V[o.RCL2x00[w]];
    V[o.EZT2x00[w]] = ezt;
    V[o.XRZ2x00[w]] = 2.0 * ezt / floorDiv(V[o.EZM2x00[w]]) - 1.0;
    V[o.RZT2x00[w]] = num::smoothStep(V[o.XRZ2x00[w]], 1.0, 0.0, damp);
    V[o.FRT2x00[w]] = tolvu::fmax(V[o.DAMPING] * V[o.RZT2x00[w]] * V[o.VZT2x00[w]], 0.0);
    const double alps = std::atan2(-V[o.VSY2x00[w]], std::fabs(V[o.VXC2x00[w]]));
    V[o.ALPS2x00[w]] = alps;
    const double E = V[o.EYS9x0[a]];
    const double B = tolvu::fmax(V[o.BYT2x00[w]], kFloor);
    V[o.ARGY2x00[w]] = (1.0 - E) * alps + (E / B) * std::atan(B * alps);

    const double czt = num::smoothStep(ezt - V[o.EZT_HIGH], V[o.EZT_STP], spring, V[o.CZT9x0[a]]);
    V[o.CZT2x00[w]] = czt;
    V[o.FCT2x00[w]] = tolvu::fmax(czt * ezt, 0.0);
    V[o.FZD2x00[w]] = czt * ezt + V[o.FRT2x00[w]];
    V[o.FZU2x00[w]] = V[o.FZD2x00[w]];
    V[o.FZA2x00[w]] = tolvu::fmax(V[o.FZU2x00[w]], 0.0);
    V[o.EZA2x01[w]] = clamp(czt * ezt / floorDiv(spring), 0.0, V[o.EZT_HIGH]);
    double* rp01 = &V[o.RP2x01[w]];
    rp01[2] = V[o.ZAX_NULL] + V[o.ZAX_EXTRA] - V[o.EZA2x01[w]];
    mv(t, &V[o.CM1x00[w]], rp01);
    add3(&V[o.RG2x01[w]], &V[o.RG1x00[w]], t);
  }

  // 20. Slip summaries (degrees).
  V[o.SLIP_REAR] = std::fabs((V[o.ALPS2x00[2]] + V[o.ALPS2x00[3]]) / kPi * 90.0);
  V[o.SLIP_FRONT] = std::fabs((V[o.ALPS2x00[0]] + V[o.ALPS2x00[1]]) / kPi * 90.0);
  V[o.CAR_SSLIP] = (V[o.SLIP_FRONT] + V[o.SLIP_REAR]) * 0.5;
  V[o.CAR_U_STR] = V[o.SLIP_FRONT] - V[o.SLIP_REAR];

  // 21. Axle loads and the drive force within the axles' friction limits.
  V[o.FZ_REAR] = V[o.FZA2x00[2]] + V[o.FZA2x00[3]];
  V[o.FZ_FRONT] = V[o.FZA2x00[0]] + V[o.FZA2x00[1]];
  V[o.FZ_TOTAL] = V[o.FZ_FRONT] + V[o.FZ_REAR];
  V[o.DFZ_REAR] = (V[o.FZA2x00[3]] - V[o.FZA2x00[2]]) / tolvu::fmax(tol, V[o.FZ_REAR]);
  V[o.DFZ_FRONT] = (V[o.FZA2x00[1]] - V[o.FZA2x00[0]]) / tolvu::fmax(tol, V[o.FZ_FRONT]);
  V[o.FXM_REAR] = V[o.MUC2x00[2]] * V[o.FZ_REAR];
  V[o.FXM_FRONT] = V[o.MUC2x00[0]] * V[o.FZ_FRONT];
  V[o.F_DRIVE_R] = engSign * tolvu::fmin(shareRear, V[o.FXM_REAR]);
  V[o.F_DRIVE_F] = engSign * tolvu::fmin(shareFront, V[o.FXM_FRONT]);
  V[o.FZP_FRONT] = V[o.FZ_FRONT] / tolvu::fmax(tol, V[o.FZ_TOTAL]);
  V[o.FZP_REAR] = V[o.FZ_REAR] / tolvu::fmax(tol, V[o.FZ_TOTAL]);

  // 22. Brake: an elastic element between the car and the road, acting on the chassis.
  V[o.BRAKE_FRC] = (V[o.FXM_FRONT] + V[o.FXM_REAR]) * V[o.BRAKE_INP] * V[o.BRAKE_MAX];
  const double cbr = V[o.CBR2700];
  V[o.EBM2950] = V[o.BRAKE_FRC] / floorDiv(cbr);
  V[o.DEB2950] = num::stickSlip(V[o.VL100], V[o.EBR2950], V[o.EBM2950], V[o.TAU_SLIP]);
  BrakeElement(V);

  // 23. Tyre forces in the contact frames, rear wheels first.
  static constexpr int kOrder[4] = {2, 3, 0, 1};
  for (int w : kOrder) {
    const int a = w < 2 ? 0 : 1;
    const double ftm = V[o.FTM9x0[a]];
    const double fza = V[o.FZA2x00[w]];
    V[o.FXTY2x00[w]] = 0.5 * (a == 0 ? V[o.F_DRIVE_F] : V[o.F_DRIVE_R]);
    V[o.FXTC2x00[w]] = num::mlimit(V[o.FXTY2x00[w]], ftm);
    const double fxdl = V[o.FXTC2x00[w]] / tolvu::fmax(tol, fza);
    V[o.FX_DL2x00[w]] = fxdl;
    V[o.SC_XY2x00[w]] = 1.0 - tolvu::fmin(V[o.XALPHA] * fxdl * fxdl, 1.0);
    V[o.FY_DL2x00[w]] = std::sin(V[o.CYS9x0[a]] * std::atan(V[o.BYT2x00[w]] * V[o.ARGY2x00[w]])) *
                        V[o.SC_XY2x00[w]];
    double* fty = &V[o.FTY2x00[w]];
    fty[0] = wk.smoothSign[w] * V[o.RRS2x00[w]] * fza + V[o.FXTC2x00[w]];
    fty[1] = num::mlimit(fza * V[o.MUN2x00[w]] * V[o.FY_DL2x00[w]], ftm);
    fty[2] = num::mlimit(fza, ftm);
  }

  // 24. Output list: ten poses of position and rotation; the last rotation is not written.
  double* out = &V[o.OUT_VARS];
  auto pose = [&out, V](int rg, int cmx) {
    copy3(out, &V[rg]);
    for (int k = 0; k < 9; ++k) out[3 + k] = V[cmx + k];
    out += 12;
  };
  pose(o.RG1000, o.CM1000);
  for (int w = 0; w < 4; ++w) pose(o.RG1x00[w], o.CM1x00[w]);
  for (int w = 0; w < 4; ++w) pose(o.RG2x01[w], o.CM2x00[w]);
  copy3(out, &V[o.RG100]);
}

// ---------------------------------------------------------------------------------------------
void Forces_Car_1(double* V) {
  V[o.FL_WIND] = V[o.F_WIND];
  mv(&V[o.IOM100], &V[o.IM100], &V[o.OL100]);

  double fl1000[3] = {0.0, 0.0, 0.0}, tl1000[3] = {0.0, 0.0, 0.0};
  static constexpr int kOrder[4] = {2, 3, 0, 1};
  for (int w : kOrder) {
    double t[3], u[3];
    const double* fty = &V[o.FTY2x00[w]];
    // Contact point: force in the contact frame, torque about the wheel centre.
    set3(t, fty[0], fty[1], -fty[2]);
    mv(&V[o.FP2x00[w]], &V[o.CWR2x00[w]], t);
    cross(&V[o.TP2x00[w]], &V[o.RCP2x00[w]], &V[o.FP2x00[w]]);
    // Hub: the bearing passes no torque about the wheel axis.
    mv(&V[o.FP2x99[w]], &V[o.CM2x99[w]], &V[o.FP2x00[w]]);
    copy3(&V[o.FL2x96[w]], &V[o.FP2x99[w]]);
    double* twd = &V[o.TWD2x00[w]];
    mv(twd, &V[o.CM2x99[w]], &V[o.TP2x00[w]]);
    V[o.TWL2x00[w]] = twd[1];
    set3(&V[o.TA2x00[w]], twd[0], 0.0, twd[2]);
    copy3(&V[o.TP2x99[w]], &V[o.TA2x00[w]]);
    copy3(&V[o.TL2x96[w]], &V[o.TA2x00[w]]);
    // Corner.
    const double* cmp96 = &V[o.CMP2x96[w]];
    mv(&V[o.FP2x96[w]], cmp96, &V[o.FL2x96[w]]);
    copy3(&V[o.FL1x00[w]], &V[o.FP2x96[w]]);
    cross(t, &V[o.RP2x96[w]], &V[o.FL1x00[w]]);
    mv(u, cmp96, &V[o.TL2x96[w]]);
    add3(&V[o.TP2x96[w]], t, u);
    copy3(&V[o.TL1x00[w]], &V[o.TP2x96[w]]);
    // Reference frame.
    const double* cmp1 = &V[o.CMP1x00[w]];
    mv(&V[o.FP1x00[w]], cmp1, &V[o.FL1x00[w]]);
    cross(t, &V[o.RP1x00[w]], &V[o.FP1x00[w]]);
    mv(u, cmp1, &V[o.TL1x00[w]]);
    add3(&V[o.TP1x00[w]], t, u);
    add3(fl1000, fl1000, &V[o.FP1x00[w]]);
    add3(tl1000, tl1000, &V[o.TP1x00[w]]);
  }
  copy3(&V[o.FL1000], fl1000);
  copy3(&V[o.FP1000], fl1000);
  copy3(&V[o.TL1000], tl1000);

  // Chassis: air drag, external force and brake act at the centre of gravity.
  const double* fcl = &V[o.F_CLN100];
  double f[3] = {fl1000[0] + V[o.FL_WIND] + fcl[0] + V[o.FRB2950], fl1000[1] + fcl[1],
                 fl1000[2] + fcl[2]};
  mv(f, &V[o.CM100], f);
  add3(&V[o.FG100], &V[o.FGR100], f);
  double t[3];
  cross(t, &V[o.RP1000], &V[o.FP1000]);
  add3(&V[o.TP1000], t, &V[o.TL1000]);
  cross(t, &V[o.IOM100], &V[o.OL100]);
  add3(t, t, &V[o.TP1000]);
  add3(&V[o.TL100], t, &V[o.T_CLN100]);
}

void Accelerations_Car_1(double* V) {
  double t[3];
  mv(&V[o.AG100], &V[o.MI100], &V[o.FG100]);
  mtv(&V[o.AL100], &V[o.CM100], &V[o.AG100]);
  mv(&V[o.DL100], &V[o.II100], &V[o.TL100]);
  pointAcceleration(&V[o.DM100], &V[o.OL100], &V[o.DL100]);

  mv(t, &V[o.DM100], &V[o.RP1000]);
  add3(&V[o.AL1000], &V[o.AL100], t);
  copy3(&V[o.DL1000], &V[o.DL100]);
  pointAcceleration(&V[o.DM1000], &V[o.OL1000], &V[o.DL1000]);

  for (int w = 0; w < 4; ++w) {
    const double* cmp1 = &V[o.CMP1x00[w]];
    mv(t, &V[o.DM1000], &V[o.RP1x00[w]]);
    add3(t, &V[o.AL1000], t);
    mtv(&V[o.AL1x00[w]], cmp1, t);
    mtv(&V[o.DL1x00[w]], cmp1, &V[o.DL1000]);
    pointAcceleration(&V[o.DM1x00[w]], &V[o.OL1x00[w]], &V[o.DL1x00[w]]);

    const double* cmp96 = &V[o.CMP2x96[w]];
    mv(t, &V[o.DM1x00[w]], &V[o.RP2x96[w]]);
    add3(t, &V[o.AL1x00[w]], t);
    mtv(&V[o.AL2x96[w]], cmp96, t);
    mtv(&V[o.DL2x96[w]], cmp96, &V[o.DL1x00[w]]);
    pointAcceleration(&V[o.DM2x96[w]], &V[o.OL2x96[w]], &V[o.DL2x96[w]]);
  }
}

// Derivative block in state order. The Euler-parameter rates are those of the parameters and body
// rate now in the store (the ones the last mode 0/1 evaluation of this car left there).
void Derivatives_Car_1(double* V) {
  double* d = V + o.nv + o.ns;
  copy3(d, &V[o.AG100]);
  copy3(d + 3, &V[o.DL100]);
  copy3(d + 6, &V[o.VG100]);
  EulerRates(V, d + 9, nullptr);
  for (int w = 0; w < 4; ++w) d[13 + w] = V[o.ORL2x00[w]];
  d[17] = V[o.GEAR_DLT];
  d[18] = V[o.DEB2950];
}

}  // namespace

int Evaluate(int first, int mode, double time, double* store) {
  if (store == nullptr) return 0;
  double* V = store;
  const int nv = o.nv, ns = o.ns;
  double* outputBlock = V + nv + 2 * ns + kInputCount;
  Work wk;

  if (mode != 2) {
    V[o.TSTOP] = time;
    if (first == 1) First_Call_Car_1(V);
    tolvu::CopyStatesAndInputs(V, first == 1, ns, 0, nv, kInputCount, o.INP_VARS, nv + 2 * ns);
    ModuleValues(V, wk);
    Equations_Car_1(V, wk);
    Derivatives_Car_1(V);
    if (mode == 1) return 0;
  }
  Forces_Car_1(V);
  Accelerations_Car_1(V);
  Derivatives_Car_1(V);
  for (int k = 0; k < kOutputCount; ++k) outputBlock[k] = V[o.OUT_VARS + k];
  return 0;
}

}  // namespace car1

// The evaluation routine behind CALL_MODEL for model type 1.
int Call_Car_1(const int& first, const int& mode, const double& time, double* store,
               const int& /*length*/) {
  return car1::Evaluate(first, mode, time, store);
}
