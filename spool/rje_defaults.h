// Section templates from which the job builder starts every header record: the general section of
// the job header, the general and RSCS sections of the dataset header and the general section of the
// job trailer, each a byte array of exactly its section length in header-file form.
#pragma once

#include <cstddef>

inline constexpr size_t NJHG_DEFAULT_LENGTH = 200; // job header, general section, id 0x0000
inline constexpr size_t NDHG_DEFAULT_LENGTH = 112; // dataset header, general section, id 0x0000
inline constexpr size_t NDHV_DEFAULT_LENGTH = 45;  // dataset header, RSCS section, id 0x8700
inline constexpr size_t NJTG_DEFAULT_LENGTH = 44;  // job trailer, general section, id 0x0000

// Read-only views of the templates; all zeros until nje_section_defaults has run. Copy them into a
// header buffer with nje_header_add_section and set fields on the copy.
extern const unsigned char (&njhg_default)[NJHG_DEFAULT_LENGTH];
extern const unsigned char (&ndhg_default)[NDHG_DEFAULT_LENGTH];
extern const unsigned char (&ndhv_default)[NDHV_DEFAULT_LENGTH];
extern const unsigned char (&njtg_default)[NJTG_DEFAULT_LENGTH];

// Builds the four templates: heads filled in, job class and message class "A" and one job copy in
// the job header, output class "A" in the dataset header, every other byte 0. Calling it again
// rebuilds the same contents.
void nje_section_defaults();
