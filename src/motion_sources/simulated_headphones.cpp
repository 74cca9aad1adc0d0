#include "motion_sources/simulated_headphones.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "platform/linux/seeded_random_source.h"

namespace hopster {
namespace {

constexpr double kPi = std::numbers::pi;
// Share of each jump cycle spent on the ground.
constexpr double kContactShare = 0.4;

// Rotation from the headphones' frame to the world frame for the given
// attitude: yaw about the vertical axis, then pitch about x, then roll about y.
RotationMatrix rotationFor(double pitch, double roll, double yaw) {
  const double cp = std::cos(pitch), sp = std::sin(pitch);
  const double cr = std::cos(roll), sr = std::sin(roll);
  const double cy = std::cos(yaw), sy = std::sin(yaw);
  // Rz(yaw) * Rx(pitch) * Ry(roll)
  return RotationMatrix{
      cy * cr - sy * sp * sr,
      -sy * cp,
      cy * sr + sy * sp * cr,
      sy * cr + cy * sp * sr,
      cy * cp,
      sy * sr - cy * sp * cr,
      -cp * sr,
      sp,
      cp * cr,
  };
}

// The transposed matrix times v: a world-frame vector seen from the headphones.
Vector3 toDeviceFrame(const RotationMatrix& m, const Vector3& v) {
  return Vector3{m.m11 * v.x + m.m21 * v.y + m.m31 * v.z, m.m12 * v.x + m.m22 * v.y + m.m32 * v.z,
                 m.m13 * v.x + m.m23 * v.y + m.m33 * v.z};
}

}  // namespace

SimulatedHeadphones::SimulatedHeadphones(Scheduler& scheduler, JumpSimulation settings)
    : scheduler_(scheduler),
      settings_(settings),
      random_(settings.seed == 0 ? std::make_unique<SeededRandomSource>()
                                 : std::make_unique<SeededRandomSource>(settings.seed)) {}

SimulatedHeadphones::~SimulatedHeadphones() { stopDeviceMotionUpdates(); }

MotionAuthorizationStatus SimulatedHeadphones::authorizationStatus() const {
  return settings_.authorization;
}

bool SimulatedHeadphones::isDeviceMotionAvailable() const { return settings_.available; }

bool SimulatedHeadphones::isDeviceMotionActive() const { return timer_ && timer_->isValid(); }

void SimulatedHeadphones::startDeviceMotionUpdates(MotionHandler handler) {
  if (!settings_.available) return;
  // A first start while access is undecided stands for the user's "Allow".
  if (settings_.authorization == MotionAuthorizationStatus::notDetermined) {
    settings_.authorization = MotionAuthorizationStatus::authorized;
  }
  if (settings_.authorization != MotionAuthorizationStatus::authorized) return;
  stopDeviceMotionUpdates();
  handler_ = std::move(handler);
  timer_ =
      scheduler_.scheduleRepeating(1.0 / settings_.sampleRate, [this](Timer&) { deliverNext(); });
}

void SimulatedHeadphones::stopDeviceMotionUpdates() {
  if (timer_) timer_->invalidate();
  timer_.reset();
}

void SimulatedHeadphones::deliverNext() {
  const double t = static_cast<double>(samplesDelivered_++) / settings_.sampleRate;
  const DeviceMotion sample = sampleAt(t);
  // Count a take-off once its contact peak has been reached.
  const double jumping = t - settings_.standingSeconds;
  if (jumping >= 0.0) {
    const double period = 1.0 / settings_.cadence;
    const auto peaksReached =
        static_cast<std::int64_t>(std::floor((jumping - kContactShare * period / 2.0) / period)) +
        1;
    if (peaksReached > jumpsSimulated_) jumpsSimulated_ = peaksReached;
  }
  // The handler may stop updates (and so drop itself): call a copy.
  MotionHandler handler = handler_;
  if (handler) handler(sample, std::nullopt);
}

DeviceMotion SimulatedHeadphones::sampleAt(double t) {
  RandomSource& random = *random_;
  // Vertical world-frame acceleration of the head, in g.
  double vertical = random.nextGaussian(0.0, 0.02);
  const double jumping = t - settings_.standingSeconds;
  if (jumping >= 0.0) {
    const double period = 1.0 / settings_.cadence;
    const double contact = kContactShare * period;
    const double phase = std::fmod(jumping, period);
    if (phase < contact) {
      // The contact's mean must carry the flight's -1 g: peak = pi/2 * flight/contact.
      const double peak = kPi / 2.0 * (period - contact) / contact;
      vertical = peak * std::sin(kPi * phase / contact) + random.nextGaussian(0.0, 0.05);
    } else {
      vertical = -1.0 + random.nextGaussian(0.0, 0.03);
    }
  }
  const Vector3 world{random.nextGaussian(0.0, 0.05), random.nextGaussian(0.0, 0.05), vertical};

  // A slowly wandering head: a few degrees of nod and tilt, a wider turn.
  const double pitch = 0.15 * std::sin(2.0 * kPi * 0.05 * t + 0.3);
  const double roll = 0.10 * std::sin(2.0 * kPi * 0.07 * t + 1.1);
  const double yaw = 0.50 * std::sin(2.0 * kPi * 0.01 * t);
  const RotationMatrix matrix = rotationFor(pitch, roll, yaw);

  DeviceMotion sample;
  sample.userAcceleration = toDeviceFrame(matrix, world);
  // Angular rates of the three angles; close to the body rates at these small angles.
  sample.rotationRate = Vector3{0.15 * 2.0 * kPi * 0.05 * std::cos(2.0 * kPi * 0.05 * t + 0.3),
                                0.10 * 2.0 * kPi * 0.07 * std::cos(2.0 * kPi * 0.07 * t + 1.1),
                                0.50 * 2.0 * kPi * 0.01 * std::cos(2.0 * kPi * 0.01 * t)};
  sample.attitude = Attitude{pitch, roll, yaw, matrix};
  sample.gravity = toDeviceFrame(matrix, Vector3{0.0, 0.0, -1.0});
  return sample;
}

}  // namespace hopster
