// Header file NJH<id> of a spooled job and the NJE sections inside its records. The file is a valid
// mark byte followed by header records; each record is a 12-byte prefix (data offset, record type,
// body length; unsigned big-endian) and a body of sections (16-bit length, type, modifier, fields).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Wildcard for any record type and any section id in the reading operations.
inline constexpr uint32_t NJE_ANY = 100000;

// Record types.
inline constexpr uint32_t NJE_JOB_HEADER = 192;     // 0xC0
inline constexpr uint32_t NJE_DATASET_HEADER = 224; // 0xE0
inline constexpr uint32_t NJE_JOB_TRAILER = 208;    // 0xD0

// File layout.
inline constexpr size_t NJE_HEADER_MARK_SIZE = 1; // valid mark at file offset 0, records from offset 1
// Record prefix layout (the header buffer holds a record in exactly its file form).
inline constexpr size_t NJE_PREFIX_OFFSET = 0; // data offset into the data file (dataset headers)
inline constexpr size_t NJE_PREFIX_TYPE = 4;   // record type
inline constexpr size_t NJE_PREFIX_LENGTH = 8; // body length
inline constexpr size_t NJE_PREFIX_SIZE = 12;  // the body starts here
// Section head layout.
inline constexpr size_t NJE_SECTION_LENGTH = 0;   // 16-bit length of the whole section, head included
inline constexpr size_t NJE_SECTION_TYPE = 2;     // section type
inline constexpr size_t NJE_SECTION_MODIFIER = 3; // section modifier
inline constexpr size_t NJE_SECTION_HEAD_SIZE = 4;

// Section ids: type * 256 + modifier.
inline constexpr uint32_t NJE_SECTION_GENERAL = 0x0000;
inline constexpr uint32_t NJE_SECTION_RECCHAR = 0x0040;
inline constexpr uint32_t NJE_SECTION_3800 = 0x0080;
inline constexpr uint32_t NJE_SECTION_JES2 = 0x8400;
inline constexpr uint32_t NJE_SECTION_POWER = 0x8600;
inline constexpr uint32_t NJE_SECTION_RSCS = 0x8700;
inline constexpr uint32_t NJE_SECTION_OUTPUT = 0x8900;
inline constexpr uint32_t NJE_SECTION_SCHEDULING = 0x8A00;
inline constexpr uint32_t NJE_SECTION_USER = 0xC000;

// ---- Writing side ----

// Creates `path` (or empties the regular file there) and writes the valid mark 0. The file is opened as
// rje_create_regular (support/rje_file.h) opens it, never through a symbolic link, and the stream holds
// an exclusive advisory lock on it until it is closed, so that two runs never build the same job.
// @return the stream; null with errno when the file cannot be opened (EWOULDBLOCK: another process
//         holds the lock; the file is left untouched), or when the mark cannot be written (the file is
//         then removed).
FILE *nje_header_create(const char *path);

// Clears the 12-byte record prefix of `buffer` (offset 0, type 0, body length 0). @return 0.
int nje_header_initialize(unsigned char *buffer);

// Prefix accessors for a header buffer of at least NJE_PREFIX_SIZE bytes.
void nje_header_set_type(unsigned char *buffer, uint32_t type);
void nje_header_set_offset(unsigned char *buffer, uint32_t data_offset);
uint32_t nje_header_type(const unsigned char *buffer);
uint32_t nje_header_offset(const unsigned char *buffer);
uint32_t nje_header_body_length(const unsigned char *buffer);

// Section head accessors (the section must hold at least NJE_SECTION_HEAD_SIZE bytes).
uint32_t nje_section_length(const unsigned char *section);
uint32_t nje_section_id(const unsigned char *section);

// Appends a copy of `section` (its length from its first two bytes) to the body of the record in
// `buffer` and adds that length to the body length. The caller guarantees the room.
// @return the address of the copy inside `buffer`, for setting its fields in place.
unsigned char *nje_header_add_section(unsigned char *buffer, const unsigned char *section);

// Checked form: `buffer` holds `buffer_size` bytes. Fails, writing nothing, when the copy would not fit
// (12 + body length + section length > buffer_size), when the section length is below 4, or when the
// body length would pass 0xFFFFFFFF. @return the address of the copy, or null on failure.
unsigned char *nje_header_add_section(unsigned char *buffer, size_t buffer_size,
                                      const unsigned char *section);

// Writes the record in `buffer` (12 + body length bytes) at the stream's position.
// @return the body length, or -1 when the write fails or the body length exceeds INT_MAX - 12.
int nje_header_write(FILE *stream, const unsigned char *buffer);

// Overwrites the valid mark at file offset 0 with the low 8 bits of `mark`.
// @return 0, or -1 when positioning or writing fails.
int nje_header_mark_as_valid(FILE *stream, int mark);

// Closes the stream. @return the result of fclose.
int nje_header_close(FILE *stream);

// ---- Reading side ----

// Opens `path` for reading (only a regular file) and reads the valid mark into *mark_out (when not null).
// @return the stream; null when the file cannot be opened or the mark cannot be read.
FILE *nje_header_open(const char *path, unsigned char *mark_out);

// Reads, from the stream's position, the next record of record type `type` (any type for NJE_ANY)
// into `buffer` of `size` bytes; records of other types are skipped.
// @return the body length (> 0); 0 at end of file (also after a truncated prefix); -1 when `size` is
//         below 12, when a record (matching or not) does not fit in `size` bytes, when a matching
//         record's body is empty or cannot be read, or when skipping fails.
int nje_header_read(FILE *stream, unsigned char *buffer, size_t size, uint32_t type);

// Positions the stream just past the valid mark and reads the first record of any type.
// @return as nje_header_read; -1 when positioning fails.
int nje_header_read_first(FILE *stream, unsigned char *buffer, size_t size);

// nje_header_read with NJE_ANY.
int nje_header_read_next(FILE *stream, unsigned char *buffer, size_t size);

// The section walk over the record in `buffer`, which must hold the 12-byte prefix and the whole body
// (as nje_header_read leaves it). The walk ends, with no section, at a section whose head does not fit
// in the rest of the body, whose length is below 4, or which claims more bytes than the body holds; it
// never reads past the body.
// @return the first section whose id is `id` (any section for NJE_ANY), or null.
unsigned char *nje_section_read(unsigned char *buffer, uint32_t id);
const unsigned char *nje_section_read(const unsigned char *buffer, uint32_t id);
// @return the first section of the record, or null.
unsigned char *nje_section_read_first(unsigned char *buffer);
const unsigned char *nje_section_read_first(const unsigned char *buffer);
// @return the section after `current` (the first one when `current` is null), or null when there is
//         none or `current` is not a section inside the body.
unsigned char *nje_section_read_next(unsigned char *buffer, const unsigned char *current);
const unsigned char *nje_section_read_next(const unsigned char *buffer, const unsigned char *current);

// ---- Printing (standard output) ----

// Prints "Job Header: ", "Job trailer: ", "Dataset Header: " or "%02x header: ".
// @return the result of the print.
int nje_header_printtype(uint32_t type);

// Prints the section's name ("General Section: " ...) or "%02x Section: ". @return the print's result.
int nje_section_printtype(uint32_t id);
