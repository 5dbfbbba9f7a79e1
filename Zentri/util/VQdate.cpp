#include "Zentri/util/VQdate.h"

#include <cstdio>
#include <ctime>

namespace {
std::tm local_now() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);  // the reentrant form: the race loader thread may ask too
  return tm;
}
}  // namespace

void VQdate_Current(int* year, int* month, int* day) {
  std::tm tm = local_now();
  if (year) *year = tm.tm_year + 1900;
  if (month) *month = tm.tm_mon + 1;
  if (day) *day = tm.tm_mday;
}

uint32_t VQdate_CurrentPacked() {
  int y, m, d;
  VQdate_Current(&y, &m, &d);
  return VQdate_Pack(y, m, d);
}

char* VQdate_Format(char* buffer, size_t size, uint32_t packed, char separator, bool withYear) {
  if (!buffer || size == 0) return buffer;
  const int year = static_cast<int>(packed >> 16);
  const int month = static_cast<int>((packed >> 8) & 0xff);
  const int day = static_cast<int>(packed & 0xff);
  if (withYear) {
    std::snprintf(buffer, size, "%d%c%d%c%d", day, separator, month, separator, year);
  } else {
    std::snprintf(buffer, size, "%d%c%d", day, separator, month);
  }
  return buffer;
}

char* VQdate_CurrentString(char* buffer, size_t size, char separator, bool withYear) {
  return VQdate_Format(buffer, size, VQdate_CurrentPacked(), separator, withYear);
}

void VQtime_Current(int* hours, int* minutes, int* seconds) {
  std::tm tm = local_now();
  if (hours) *hours = tm.tm_hour;
  if (minutes) *minutes = tm.tm_min;
  if (seconds) *seconds = tm.tm_sec;
}

uint32_t VQtime_CurrentPacked() {
  int h, m, s;
  VQtime_Current(&h, &m, &s);
  return VQtime_Pack(h, m, s);
}

char* VQtime_Format(char* buffer, size_t size, uint32_t packed, char separator, bool withSeconds) {
  if (!buffer || size == 0) return buffer;
  const int h = static_cast<int>((packed >> 16) & 0xff);
  const int m = static_cast<int>((packed >> 8) & 0xff);
  const int s = static_cast<int>(packed & 0xff);
  if (withSeconds) {
    std::snprintf(buffer, size, "%1d%1d%c%1d%1d%c%1d%1d", h / 10, h % 10, separator, m / 10, m % 10,
                  separator, s / 10, s % 10);
  } else {
    std::snprintf(buffer, size, "%1d%1d%c%1d%1d", h / 10, h % 10, separator, m / 10, m % 10);
  }
  return buffer;
}

char* VQtime_CurrentString(char* buffer, size_t size, char separator, bool withSeconds) {
  return VQtime_Format(buffer, size, VQtime_CurrentPacked(), separator, withSeconds);
}
