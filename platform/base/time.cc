#include "base/time.h"

#include <sys/time.h>

namespace base {

namespace {

void Explode(int64_t us, bool local, Time::Exploded* e) {
  time_t seconds = static_cast<time_t>(us / 1000000);
  int64_t rest = us % 1000000;
  if (rest < 0) {
    --seconds;
    rest += 1000000;
  }
  struct tm tm = {};
  if (local)
    localtime_r(&seconds, &tm);
  else
    gmtime_r(&seconds, &tm);
  e->year = tm.tm_year + 1900;
  e->month = tm.tm_mon + 1;
  e->day_of_week = tm.tm_wday;
  e->day_of_month = tm.tm_mday;
  e->hour = tm.tm_hour;
  e->minute = tm.tm_min;
  e->second = tm.tm_sec;
  e->millisecond = static_cast<int>(rest / 1000);
}

Time FromExploded(const Time::Exploded& e, bool local) {
  if (e.month < 1 || e.month > 12 || e.day_of_month < 1 || e.day_of_month > 31 || e.hour < 0 ||
      e.hour > 23 || e.minute < 0 || e.minute > 59 || e.second < 0 || e.second > 60 ||
      e.millisecond < 0 || e.millisecond > 999)
    return Time();
  struct tm tm = {};
  tm.tm_year = e.year - 1900;
  tm.tm_mon = e.month - 1;
  tm.tm_mday = e.day_of_month;
  tm.tm_hour = e.hour;
  tm.tm_min = e.minute;
  tm.tm_sec = e.second;
  tm.tm_isdst = -1;
  time_t t = local ? mktime(&tm) : timegm(&tm);
  // mktime normalises out-of-range days (31 February); such dates are invalid.
  if (t == static_cast<time_t>(-1) || tm.tm_mday != e.day_of_month)
    return Time();
  return Time::FromTimeT(t) + TimeDelta::FromMilliseconds(e.millisecond);
}

}  // namespace

TimeTicks TimeTicks::Now() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return TimeTicks(static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000);
}

Time Time::Now() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return Time(static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000);
}

Time Time::FromTimeT(time_t t) {
  return Time(static_cast<int64_t>(t) * 1000000);
}

Time Time::FromDoubleT(double seconds) {
  return Time(static_cast<int64_t>(seconds * 1000000));
}

time_t Time::ToTimeT() const {
  return static_cast<time_t>(us_ / 1000000);
}

double Time::ToDoubleT() const {
  return static_cast<double>(us_) / 1000000;
}

void Time::LocalExplode(Exploded* e) const {
  Explode(us_, true, e);
}

void Time::UTCExplode(Exploded* e) const {
  Explode(us_, false, e);
}

Time Time::FromLocalExploded(const Exploded& e) {
  return FromExploded(e, true);
}

Time Time::FromUTCExploded(const Exploded& e) {
  return FromExploded(e, false);
}

}  // namespace base
