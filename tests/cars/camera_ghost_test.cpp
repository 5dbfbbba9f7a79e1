// Race cameras of each mode following a driving car, and the ghost car recording a lap and
// playing it back on the same path.
#include <cmath>
#include <vector>

#include "car_fixture.h"
#include "QVX/race/GhostCar.h"
#include "QVX/race/RaceCamera.h"
#include "Zentri/scene/VQCamera.h"
#include "Zentri/scene/VQNodes.h"

namespace {

VQVector Forward(const VQMatrix& m) { return VQVector(m.m[4], m.m[5], m.m[6]); }
VQVector Translation(const VQMatrix& m) { return VQVector(m.m[12], m.m[13], m.m[14]); }

// Drives the car: straight for a while, then a long right turn.
void Drive(Car& car, FlatGround& ground, int frame) {
  car.SetThrottle(frame < 240 ? 1.0f : 0.4f);
  car.SetSteering(frame < 240 ? 0.0f : 0.8f);
  ground.Step(1.0f / 60.0f);
}

TEST_F(CarWorld, ChaseCameraTrailsBehindTheTurningCarOnAFixedLeash) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "street")) << car.GetError();
  VQCamera camera;
  RaceCamera rc;
  rc.BindCamera(&camera);
  rc.SetMode(RACECAMERA_CHASE);
  rc.SetTarget(car.FindNode("x_body"));
  rc.SetTargetPoint(VQVector(0, 1.3f, 1.0f));
  rc.SetChaseOffset(VQVector(0, -20.0f, 4.0f));
  rc.SetClipRange(0.5f, 2000.0f);
  rc.Apply();
  EXPECT_EQ(camera.m_near, 0.5f);
  EXPECT_EQ(camera.m_far, 2000.0f);
  const float leash = 1.3f + 0.3f * 20.0f;  // horizontal part of target point - 0.3 x offset
  for (int frame = 0; frame < 600; ++frame) {
    Drive(car, *m_ground, frame);
    rc.Update(1.0f / 60.0f, false);
    VQVector p;
    RaceCamera_WorldMatrix(car.FindNode("x_body")).TransformPoint(p, VQVector(0, 1.3f, 1.0f));
    const VQVector c = camera.GetPosition();
    const float horizontal = std::hypot(c.x - p.x, c.y - p.y);
    ASSERT_NEAR(horizontal, leash, 1e-3f) << "frame " << frame;
    ASSERT_NEAR(c.z, p.z + 4.0f, 1e-3f);
    VQVector toTarget = p - c;
    toTarget.Normalize();
    ASSERT_GT(Forward(camera.m_matrix).Dot(toTarget), 0.999f) << "looks at the target";
    ASSERT_NEAR(camera.m_matrix.m[2], 0.0f, 1e-4f) << "no roll";
  }
  // After the turn the camera has swung behind the car.
  const VQVector heading = Forward(*car.GetBodyMatrix());
  VQVector back = camera.GetPosition() - car.GetPosition();
  back.z = 0;
  back.Normalize();
  EXPECT_LT(back.Dot(heading), -0.8f);
  // Looking back puts the camera in front.
  rc.Update(0.0f, true);
  VQVector front = camera.GetPosition() - car.GetPosition();
  front.z = 0;
  front.Normalize();
  EXPECT_GT(front.Dot(heading), 0.5f);
}

TEST_F(CarWorld, AttachedCameraMovesRigidlyWithTheCar) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "gt")) << car.GetError();
  VQCamera camera;
  RaceCamera rc;
  rc.BindCamera(&camera);
  rc.SetMode(RACECAMERA_ATTACHED);
  VQMatrix relative;
  relative.SetTranslation(VQVector(-0.3f, 1.2f, 1.1f));
  rc.SetRelativeMatrix(relative);
  rc.SetTarget(car.FindNode("m_body"));  // followed through the transform above it
  rc.SetClipRange(0.1f, 500.0f);
  rc.Apply();
  for (int frame = 0; frame < 400; ++frame) {
    Drive(car, *m_ground, frame);
    rc.Update(1.0f / 60.0f, false);
  }
  const VQMatrix expected = relative * *car.GetBodyMatrix();
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(camera.m_matrix.m[i], expected.m[i], 1e-4f) << i;
  rc.Update(0.0f, true);
  EXPECT_NEAR(Forward(camera.m_matrix).Dot(Forward(expected)), -1.0f, 1e-4f) << "looking back";
  EXPECT_NEAR(Translation(camera.m_matrix).Length(), Translation(expected).Length(), 1e-4f);
}

TEST_F(CarWorld, FixedCameraZoomsToItsFinalZoomAndWatchesTheCar) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "rally")) << car.GetError();
  VQCamera camera;
  RaceCamera rc;
  rc.BindCamera(&camera);
  rc.SetMode(RACECAMERA_FIXED);
  rc.SetTarget(car.FindNode("x_body"));
  rc.SetPosition(VQVector(15, 30, 6));
  rc.SetZoom(2.0f, 1.0f, 2.0f);
  rc.Apply();
  EXPECT_EQ(rc.GetZoom(), 2.0f);
  rc.Update(0.3f, false);
  EXPECT_NEAR(rc.GetZoom(), 1.4f, 1e-5f);
  rc.Update(0.3f, false);
  EXPECT_EQ(rc.GetZoom(), 1.0f) << "stops exactly at the final zoom";
  for (int frame = 0; frame < 300; ++frame) {
    Drive(car, *m_ground, frame);
    rc.Update(1.0f / 60.0f, false);
    VQVector to = car.GetBodyMatrix()->m[12] == 0 ? VQVector(0, 0, 0) : VQVector(0, 0, 0);
    RaceCamera_WorldMatrix(car.FindNode("x_body")).TransformPoint(to, VQVector(0, 0, 0));
    VQVector dir = to - VQVector(15, 30, 6);
    dir.Normalize();
    ASSERT_GT(Forward(camera.m_matrix).Dot(dir), 0.999f);
    ASSERT_EQ(camera.GetPosition().x, 15.0f);
  }
}

TEST(RaceCameraNoTarget, UnboundOrDisabledChangesNothing) {
  VQCamera camera;
  camera.SetPosition(VQVector(1, 2, 3));
  const VQMatrix before = camera.m_matrix;
  RaceCamera rc;
  rc.SetMode(RACECAMERA_CHASE);
  rc.Update(0.1f, false);  // no camera: nothing
  rc.BindCamera(&camera);
  rc.SetEnabled(false);
  rc.Update(0.1f, false);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(camera.m_matrix.m[i], before.m[i]);
  rc.SetEnabled(true);
  rc.Update(0.1f, false);  // no target: modes 1 and 3 do nothing
  for (int i = 0; i < 16; ++i) EXPECT_EQ(camera.m_matrix.m[i], before.m[i]);
  camera.m_near = 2.0f;
  camera.m_far = 50.0f;
  rc.SetClipRange(0.0f, 0.0f);
  rc.Apply();
  EXPECT_EQ(camera.m_near, 2.0f) << "a near clip of 0 is not applied";
  EXPECT_EQ(camera.m_far, 50.0f) << "a far clip not above the near clip is not applied";
}

// ---- ghost ------------------------------------------------------------------------------------

TEST_F(CarWorld, GhostPlaysTheRecordedLapBackOnTheSamePath) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "sport")) << car.GetError();
  GhostCar ghost(10000, &car, m_ground->GetCarGroup(), 0.1f);
  ghost.Reset();
  EXPECT_FALSE(ghost.IsVisible());
  std::vector<VQVector> path;
  std::vector<float> times;
  for (int frame = 0; frame < 500; ++frame) {
    Drive(car, *m_ground, frame);
    const float dt = frame % 3 ? 1.0f / 60.0f : 1.0f / 30.0f;  // uneven frames
    ghost.Advance(dt);
    path.push_back(Translation(*car.GetBodyMatrix()));
    times.push_back(dt);
  }
  EXPECT_EQ(ghost.GetRecordedFrames(), 500u);
  ghost.Swap(true, true);
  EXPECT_EQ(ghost.GetRecordedFrames(), 0u) << "recording starts again in the other buffer";
  for (size_t k = 0; k + 1 < path.size(); ++k) {
    ghost.Advance(times[k]);
    ASSERT_TRUE(ghost.IsVisible());
    const VQVector g = Translation(ghost.GetPartNode(0)->m_matrix);
    ASSERT_NEAR((g - path[k + 1]).Length(), 0.0f, 1e-3f) << "frame " << k;
    ASSERT_NEAR((ghost.GetPosition() - path[k + 1]).Length(), 0.0f, 1e-3f);
  }
  // Half a frame into the next one: halfway between the two recorded points.
  GhostCar half(100, &car, m_ground->GetCarGroup(), 0.1f);
  half.Reset();
  std::vector<VQVector> points;
  for (int frame = 0; frame < 10; ++frame) {
    Drive(car, *m_ground, 100);
    half.Advance(0.1f);
    points.push_back(Translation(*car.GetBodyMatrix()));
  }
  half.Swap(true, true);
  half.Advance(0.15f);
  const VQVector expected = points[1] + (points[2] - points[1]) * 0.5f;
  EXPECT_NEAR((half.GetPosition() - expected).Length(), 0.0f, 1e-3f);
}

TEST_F(CarWorld, GhostRecordingStopsAtItsCapacityAndEdgeFrames) {
  Car car;
  ASSERT_TRUE(MakeCar(car, "rookie")) << car.GetError();
  GhostCar ghost(10, &car, m_ground->GetCarGroup(), 0.1f);
  ghost.Reset();
  for (int frame = 0; frame < 25; ++frame) {
    Drive(car, *m_ground, frame);
    ghost.Advance(0.05f);
  }
  EXPECT_EQ(ghost.GetRecordedFrames(), 10u) << "a long lap keeps its first frames, nothing more";
  ghost.Swap(true, true);
  for (int i = 0; i < 30; ++i) ghost.Advance(0.05f);  // past the end: keeps its last pose
  EXPECT_EQ(ghost.GetRecordedFrames(), 10u) << "recording the replay lap, bounded as well";

  // Swap without a recorded lap plays an empty buffer: nothing is posed or shown.
  GhostCar empty(10, &car, m_ground->GetCarGroup(), 0.1f);
  empty.Reset();
  empty.Swap(true, false);
  empty.Advance(0.1f);
  EXPECT_FALSE(empty.IsVisible());
  EXPECT_EQ(empty.GetPosition().Length(), 0.0f);

  // A frame time of 0 is passed at once.
  GhostCar zero(10, &car, m_ground->GetCarGroup(), 0.1f);
  zero.Reset();
  zero.Advance(0.0f);
  const VQVector first = Translation(*car.GetBodyMatrix());
  Drive(car, *m_ground, 0);
  Drive(car, *m_ground, 0);
  zero.Advance(0.1f);
  zero.Advance(0.1f);
  zero.Swap(true, true);
  zero.Advance(0.0f);
  EXPECT_TRUE(zero.IsVisible());
  EXPECT_GT((Translation(zero.GetPartNode(0)->m_matrix) - first).Length(), 0.0f)
      << "frame 0 skipped at once";
  zero.Remove();
  EXPECT_EQ(zero.GetGroup()->m_parent, nullptr);
}

}  // namespace
