// Section templates for the records the job builder writes: the general sections of the job header,
// dataset header and job trailer, and the RSCS section of the dataset header.
#include "spool/rje_defaults.h"

#include "spool/rje_fields.h"
#include "spool/rje_header.h"
#include "support/byteorder.h"

#include <cstring>

namespace
{

unsigned char njhg_storage[NJHG_DEFAULT_LENGTH];
unsigned char ndhg_storage[NDHG_DEFAULT_LENGTH];
unsigned char ndhv_storage[NDHV_DEFAULT_LENGTH];
unsigned char njtg_storage[NJTG_DEFAULT_LENGTH];

// Clears the section and fills its head: length, type (high byte of id), modifier (low byte).
template <size_t N> void section_init(unsigned char (&section)[N], uint32_t id)
{
    static_assert(N >= NJE_SECTION_HEAD_SIZE && N <= 0xFFFF);
    std::memset(section, 0, N);
    be::put16(section + NJE_SECTION_LENGTH, static_cast<uint16_t>(N));
    section[NJE_SECTION_TYPE] = static_cast<unsigned char>(id >> 8);
    section[NJE_SECTION_MODIFIER] = static_cast<unsigned char>(id);
}

} // namespace

const unsigned char (&njhg_default)[NJHG_DEFAULT_LENGTH] = njhg_storage;
const unsigned char (&ndhg_default)[NDHG_DEFAULT_LENGTH] = ndhg_storage;
const unsigned char (&ndhv_default)[NDHV_DEFAULT_LENGTH] = ndhv_storage;
const unsigned char (&njtg_default)[NJTG_DEFAULT_LENGTH] = njtg_storage;

// Each template ends with the highest field of its group.
static_assert(nje_field_offset(NJHGNREC) + nje_field_length(NJHGNREC) == NJHG_DEFAULT_LENGTH);
static_assert(nje_field_offset(NDHGPMDE) + nje_field_length(NDHGPMDE) == NDHG_DEFAULT_LENGTH);
static_assert(nje_field_offset(NDHVTAGR) + nje_field_length(NDHVTAGR) == NDHV_DEFAULT_LENGTH);
static_assert(nje_field_offset(NJTGAOPR) + nje_field_length(NJTGAOPR) == NJTG_DEFAULT_LENGTH);

void nje_section_defaults()
{
    section_init(njhg_storage, NJE_SECTION_GENERAL);
    nje_section_zero_strings(njhg_storage,
                             {NJHGACCT, NJHGUSID, NJHGETS, NJHGORGR, NJHGXEQN, NJHGPRTN, NJHGPRTR, NJHGPUNN,
                              NJHGPUNR, NJHGFORM, NJHGPRGN, NJHGROOM, NJHGDEPT, NJHGBLDG, NJHGORGN, 0});
    nje_section_update_fields(std::span<unsigned char>(njhg_storage),
                              {{NJHGJCLS, "A"}, {NJHGMCLS, "A"}, {NJHGJCPY, 1}, {0, 0}});

    section_init(ndhg_storage, NJE_SECTION_GENERAL);
    nje_section_zero_strings(ndhg_storage, {NDHGRMT, NDHGPROC, NDHGSTEP, NDHGDD, NDHGFORM, NDHGFCB, NDHGUCS,
                                            NDHGXWTR, NDHGPMDE, 0});
    nje_section_update_fields(std::span<unsigned char>(ndhg_storage), {{NDHGCLAS, "A"}, {0, 0}});

    section_init(ndhv_storage, NJE_SECTION_RSCS);
    section_init(njtg_storage, NJE_SECTION_GENERAL);
}
