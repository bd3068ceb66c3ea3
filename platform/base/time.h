#ifndef BASE_TIME_H_
#define BASE_TIME_H_

#include <stdint.h>
#include <time.h>

#include <compare>
#include <limits>

namespace base {

// A span of time with microsecond resolution.
class TimeDelta {
 public:
  constexpr TimeDelta() : delta_(0) {}

  static constexpr TimeDelta FromDays(int64_t d) { return TimeDelta(d * 86400 * 1000000); }
  static constexpr TimeDelta FromHours(int64_t h) { return TimeDelta(h * 3600 * 1000000); }
  static constexpr TimeDelta FromMinutes(int64_t m) { return TimeDelta(m * 60 * 1000000); }
  static constexpr TimeDelta FromSeconds(int64_t s) { return TimeDelta(s * 1000000); }
  static constexpr TimeDelta FromMilliseconds(int64_t ms) { return TimeDelta(ms * 1000); }
  static constexpr TimeDelta FromMicroseconds(int64_t us) { return TimeDelta(us); }
  static constexpr TimeDelta FromSecondsD(double s) {
    return TimeDelta(static_cast<int64_t>(s * 1000000));
  }
  static constexpr TimeDelta Max() { return TimeDelta(std::numeric_limits<int64_t>::max()); }

  int InDays() const { return static_cast<int>(delta_ / (86400LL * 1000000)); }
  int InHours() const { return static_cast<int>(delta_ / (3600LL * 1000000)); }
  int InMinutes() const { return static_cast<int>(delta_ / (60LL * 1000000)); }
  double InSecondsF() const { return static_cast<double>(delta_) / 1000000; }
  int64_t InSeconds() const { return delta_ / 1000000; }
  double InMillisecondsF() const { return static_cast<double>(delta_) / 1000; }
  int64_t InMilliseconds() const { return delta_ / 1000; }
  // Rounds up, so a positive delay never becomes a zero wait.
  int64_t InMillisecondsRoundedUp() const { return (delta_ + 999) / 1000; }
  int64_t InMicroseconds() const { return delta_; }
  constexpr int64_t ToInternalValue() const { return delta_; }
  bool is_zero() const { return delta_ == 0; }
  bool is_max() const { return delta_ == std::numeric_limits<int64_t>::max(); }

  constexpr TimeDelta operator+(TimeDelta o) const { return TimeDelta(delta_ + o.delta_); }
  constexpr TimeDelta operator-(TimeDelta o) const { return TimeDelta(delta_ - o.delta_); }
  constexpr TimeDelta operator-() const { return TimeDelta(-delta_); }
  TimeDelta& operator+=(TimeDelta o) {
    delta_ += o.delta_;
    return *this;
  }
  TimeDelta& operator-=(TimeDelta o) {
    delta_ -= o.delta_;
    return *this;
  }
  constexpr TimeDelta operator*(int64_t a) const { return TimeDelta(delta_ * a); }
  constexpr TimeDelta operator/(int64_t a) const { return TimeDelta(delta_ / a); }
  constexpr int64_t operator/(TimeDelta o) const { return delta_ / o.delta_; }
  constexpr auto operator<=>(const TimeDelta&) const = default;

 private:
  constexpr explicit TimeDelta(int64_t us) : delta_(us) {}
  int64_t delta_;
};

// A point on the monotonic clock; never goes back and does not follow changes
// of the wall clock. The null value (0) means "no time".
class TimeTicks {
 public:
  constexpr TimeTicks() : ticks_(0) {}
  static TimeTicks Now();
  static constexpr TimeTicks FromInternalValue(int64_t us) { return TimeTicks(us); }

  bool is_null() const { return ticks_ == 0; }
  constexpr int64_t ToInternalValue() const { return ticks_; }

  constexpr TimeTicks operator+(TimeDelta d) const {
    return TimeTicks(ticks_ + d.ToInternalValue());
  }
  constexpr TimeTicks operator-(TimeDelta d) const {
    return TimeTicks(ticks_ - d.ToInternalValue());
  }
  TimeDelta operator-(TimeTicks o) const { return TimeDelta::FromMicroseconds(ticks_ - o.ticks_); }
  TimeTicks& operator+=(TimeDelta d) {
    ticks_ += d.ToInternalValue();
    return *this;
  }
  constexpr auto operator<=>(const TimeTicks&) const = default;

 private:
  constexpr explicit TimeTicks(int64_t us) : ticks_(us) {}
  int64_t ticks_;
};

// A point on the wall clock, microseconds since the Unix epoch.
class Time {
 public:
  struct Exploded {
    int year;
    int month;         // 1-12
    int day_of_week;   // 0 = Sunday
    int day_of_month;  // 1-31
    int hour;
    int minute;
    int second;
    int millisecond;
  };

  constexpr Time() : us_(0) {}
  static Time Now();
  static Time FromTimeT(time_t t);
  static Time FromDoubleT(double seconds);
  static constexpr Time FromInternalValue(int64_t us) { return Time(us); }
  // Null when the fields do not make a valid date.
  static Time FromLocalExploded(const Exploded& e);
  static Time FromUTCExploded(const Exploded& e);

  bool is_null() const { return us_ == 0; }
  time_t ToTimeT() const;
  double ToDoubleT() const;
  constexpr int64_t ToInternalValue() const { return us_; }
  void LocalExplode(Exploded* e) const;
  void UTCExplode(Exploded* e) const;

  Time operator+(TimeDelta d) const { return Time(us_ + d.InMicroseconds()); }
  Time operator-(TimeDelta d) const { return Time(us_ - d.InMicroseconds()); }
  TimeDelta operator-(Time o) const { return TimeDelta::FromMicroseconds(us_ - o.us_); }
  constexpr auto operator<=>(const Time&) const = default;

 private:
  constexpr explicit Time(int64_t us) : us_(us) {}
  int64_t us_;
};

}  // namespace base

#endif  // BASE_TIME_H_
