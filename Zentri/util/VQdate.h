// Local date and time, packed into one 32-bit number each and formatted as short texts for
// log lines and file headers. Packed date: year << 16 | month << 8 | day (full year, month
// 1..12, day 1..31); packed time: hours << 16 | minutes << 8 | seconds (hours 0..23). Packed
// values compare as numbers in calendar and clock order.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t VQDATE_STRING_SIZE = 17;  // a date with a year: at most 16 characters and NUL
constexpr size_t VQTIME_STRING_SIZE = 9;   // a time with seconds: 8 characters and NUL

void VQdate_Current(int* year, int* month, int* day);
uint32_t VQdate_CurrentPacked();
inline uint32_t VQdate_Pack(int year, int month, int day) {
  return (static_cast<uint32_t>(year) & 0xffffu) << 16 | (static_cast<uint32_t>(month) & 0xffu) << 8 |
         (static_cast<uint32_t>(day) & 0xffu);
}
// "day<sep>month" or "day<sep>month<sep>year", no leading zeros ("5.7.2003", "5.7"). The text
// is cut to fit size (including the NUL); the result is the buffer.
char* VQdate_Format(char* buffer, size_t size, uint32_t packed, char separator, bool withYear);
char* VQdate_CurrentString(char* buffer, size_t size, char separator, bool withYear);

void VQtime_Current(int* hours, int* minutes, int* seconds);
uint32_t VQtime_CurrentPacked();
inline uint32_t VQtime_Pack(int hours, int minutes, int seconds) {
  return (static_cast<uint32_t>(hours) & 0xffu) << 16 | (static_cast<uint32_t>(minutes) & 0xffu) << 8 |
         (static_cast<uint32_t>(seconds) & 0xffu);
}
// "hh<sep>mm" or "hh<sep>mm<sep>ss", two digits per field ("09:05", "09:05:03"). Cut to fit size.
char* VQtime_Format(char* buffer, size_t size, uint32_t packed, char separator, bool withSeconds);
char* VQtime_CurrentString(char* buffer, size_t size, char separator, bool withSeconds);
