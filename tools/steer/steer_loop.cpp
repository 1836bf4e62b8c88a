#include "tools/steer/steer_loop.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <thread>

#include "virelo/client/client.h"
#include "virelo/client/motion.h"

namespace virelo::steer {
namespace {

constexpr std::uint64_t kShowEveryNs = 100'000'000;
// How often the source is read between ticks, for news that cannot wait for the next tick.
constexpr auto kPoll = std::chrono::milliseconds(2);

Vec2 poseStick(Vec2 pose, const Profile& profile) {
  // Yaw to the right steers right, pitch up steers up.
  return {pose.x / profile.poseRange, -pose.y / profile.poseRange};
}

}  // namespace

SteerLoop::SteerLoop(client::Client& client, InputSource& source, const Profiles& profiles,
                     LoopOptions options)
    : client_(client),
      source_(source),
      profiles_(profiles),
      options_(std::move(options)),
      planner_(profiles.named(options_.profile.value_or("default")).snapSpeed),
      lastProfile_(&profiles.named(options_.profile.value_or("default"))) {}

void SteerLoop::run(const std::atomic<bool>& stop) {
  using Clock = std::chrono::steady_clock;
  auto last = Clock::now();
  auto next = last + options_.tick;
  while (!stop.load() && !ended_) {
    std::this_thread::sleep_until(std::min(next, Clock::now() + kPoll));
    const Frame frame = source_.read();
    const auto now = Clock::now();
    const bool due = now >= next;
    if (!due && !urgent(frame)) continue;
    // On schedule, or at once for news, after which the schedule starts from now; after a stall
    // (the machine busy, the process stopped) too.
    next = due && now - next < 4 * options_.tick ? next + options_.tick : now + options_.tick;
    const double seconds = std::chrono::duration<double>(now - last).count();
    last = now;
    try {
      tick(frame, seconds, client::monotonicNow());
    } catch (const client::ConnectionLost& e) {
      std::cerr << "virelo steer: " << e.what() << "\n";
      forget();
    } catch (const client::ServiceNotReady& e) {
      forget();
    }
  }
  // A connection that is gone holds nothing any more: the service released it.
  try {
    release();
  } catch (const client::ConnectionLost&) {
  } catch (const client::ServiceNotReady&) {
  }
}

bool SteerLoop::urgent(const Frame& frame) const {
  if (frame.present != present_ || frame.ended || frame.pad.buttons != previous_.buttons ||
      frame.jump != Vec2{}) {
    return true;
  }
  // The pointer at rest and the stick (or the velocity) now steering it.
  if (length(velocity_) != 0 || !frame.present) return false;
  if (frame.velocity) return length(*frame.velocity) != 0;
  const Vec2 stick = frame.pose ? poseStick(*frame.pose, *lastProfile_) : frame.pad.left;
  return length(shaped(stick, lastProfile_->response)) != 0;
}

void SteerLoop::tick(const Frame& frame, double seconds, std::uint64_t nowNs) {
  ended_ = frame.ended;
  present_ = frame.present;
  const std::string application =
      options_.application && !profiles_.applications.empty() ? options_.application() : "";
  const Profile& profile = options_.profile ? profiles_.named(*options_.profile)
                                            : profiles_.choose(frame.device, application);
  lastProfile_ = &profile;
  if (!frame.present) {
    if (holding_) release();
    previous_ = {};
    showState(frame, profile, nowNs);
    return;
  }
  actOnPresses(frame);
  previous_ = frame.pad;
  if (paused_) {
    if (holding_) release();
    showState(frame, profile, nowNs);
    return;
  }
  // A button let go together with the stick drops where the pointer stopped: the pointer's
  // commands (stopping the motion) go first then, and after a press otherwise.
  Held held = heldFor(frame.pad);
  const bool letGo = (held_.buttons & ~held.buttons) != 0;
  if (!letGo) sendHeld(held);
  const Vec2 moved = steer(frame, profile, seconds);
  if (letGo) sendHeld(std::move(held));
  scroll(frame, profile, seconds);
  dwell(frame, profile, moved, nowNs);
  showState(frame, profile, nowNs);
}

void SteerLoop::actOnPresses(const Frame& frame) {
  const Presses presses = pressesBetween(previous_, frame.pad);
  if (presses.togglePause) paused_ = !paused_;
  if (paused_) return;
  if (presses.toggleSnapping) options_.snapping = !options_.snapping;
  if ((presses.nextControl || presses.previousControl) && options_.stepControl) {
    if (planner_.motionRunning()) client_.stopMotion();
    planner_.reset();
    options_.stepControl(presses.nextControl);
  }
}

void SteerLoop::sendHeld(Held held) {
  if (held.buttons != held_.buttons) client_.buttons(held.buttons);
  if (held.keys != held_.keys) client_.keyboard(0, held.keys);
  holding_ = holding_ || !held.empty();
  held_ = std::move(held);
}

Vec2 SteerLoop::steer(const Frame& frame, const Profile& profile, double seconds) {
  Vec2 stick = frame.pose ? poseStick(*frame.pose, profile) : frame.pad.left;
  velocity_ = frame.velocity ? *frame.velocity
                             : pointerVelocity(stick, profile.response, precise(frame.pad));
  PointerPlanner planner(profile.snapSpeed);
  if (planner_.snapSpeed() != profile.snapSpeed) planner_ = planner;
  const TickPlan plan = planner_.plan(velocity_, seconds, options_.snapping);
  if (plan.stopMotion) client_.stopMotion();
  if (plan.motion) client_.motion(plan.motion->dx, plan.motion->dy);
  if (plan.move) client_.move(plan.move->dx, plan.move->dy, plan.snap);
  holding_ = holding_ || plan.motion.has_value();
  Vec2 moved{velocity_.x * seconds, velocity_.y * seconds};
  // Absolute positions move the pointer by their difference, in moves of at most 127 points.
  Vec2 jump = frame.jump;
  while (std::lround(jump.x) != 0 || std::lround(jump.y) != 0) {
    const int dx = static_cast<int>(std::clamp(std::lround(jump.x), -127L, 127L));
    const int dy = static_cast<int>(std::clamp(std::lround(jump.y), -127L, 127L));
    const bool slow = std::hypot(dx, dy) <= profile.snapSpeed * seconds;
    client_.move(dx, dy, slow && options_.snapping);
    jump = {jump.x - dx, jump.y - dy};
    moved = {moved.x + dx, moved.y + dy};
  }
  return moved;
}

void SteerLoop::scroll(const Frame& frame, const Profile& profile, double seconds) {
  const int steps =
      scroller_.steps(frame.pad.right, profile.response, profile.scrollSpeed, seconds);
  if (steps != 0) client_.wheel(std::clamp(steps, -127, 127));
}

void SteerLoop::dwell(const Frame& frame, const Profile& profile, Vec2 moved, std::uint64_t nowNs) {
  if (!frame.dwell || profile.dwellMs == 0) return;
  if (!dwell_ || dwellProfile_ != profile.name) {
    dwell_.emplace(profile.dwellRadius, profile.dwellMs * 1'000'000ULL);
    dwellProfile_ = profile.name;
  }
  if (!dwell_->update(moved, nowNs)) return;
  client_.buttons(held_.buttons | client::button::primary);
  client_.buttons(held_.buttons);
}

void SteerLoop::showState(const Frame& frame, const Profile& profile, std::uint64_t nowNs) {
  if (options_.show == nullptr || nowNs - shownAt_ < kShowEveryNs) return;
  shownAt_ = nowNs;
  char line[256];
  const Vec2 stick = frame.pose ? poseStick(*frame.pose, profile) : frame.pad.left;
  const char* how = length(velocity_) == 0                  ? "still"
                    : length(velocity_) > profile.snapSpeed ? "motion"
                                                            : "moves";
  std::snprintf(line, sizeof line,
                "stick %+.2f %+.2f  speed %4.0f pt/s %-6s  snapping %s%s  profile %s  ", stick.x,
                stick.y, length(velocity_), how, options_.snapping ? "on" : "off",
                paused_ ? "  paused" : "", profile.name.c_str());
  *options_.show << line << (frame.present ? "device " + frame.device : "no device") << "  ignored "
                 << source_.ignored() << std::endl;
}

void SteerLoop::release() {
  client_.reset();
  forget();
}

void SteerLoop::forget() {
  planner_.reset();
  scroller_.reset();
  held_ = {};
  holding_ = false;
  velocity_ = {};
}

}  // namespace virelo::steer
