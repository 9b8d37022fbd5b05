// Small record-library helpers: Unix time to and from the IBM time-of-day clock's high word, a hex and
// EBCDIC dump for traces, and in-place case conversion.
#pragma once

#include <cstdint>
#include <cstdio>

// Seconds between 1900-01-01 and 1970-01-01 (the IBM clock and Unix epochs).
inline constexpr uint32_t IBM_EPOCH_OFFSET = 2208988800u;

// Unix time (seconds) to the IBM time word H = seconds since 1900 * 15625 / 16384, rounded down,
// all in 32-bit arithmetic (exact until 2036-02-07 06:28:16 UTC, then wraps).
uint32_t nje_toibmtime(uint32_t seconds);

// IBM time word to Unix time, rounded down; round trip gives the start or up to 2 s earlier.
int32_t nje_fromibmtime(uint32_t h);

// Prints length bytes of buffer to stream, 16 a line: "%06x  " offset, four groups " xxxxxxxx", then
// "   *", the bytes through nje_EtoA (non-printable as '.'), "*\n". Nothing for length <= 0.
void nje_dumphex(const void *buffer, int length, FILE *stream);

// Convert the NUL-terminated string in place (toupper/tolower of the current locale).
// @return address of the terminating NUL.
char *rje_uppercase(char *s);
char *rje_lowercase(char *s);
