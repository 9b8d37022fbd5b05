// NJE header field dictionary and the field operations: integers big-endian filling the field,
// character fields EBCDIC through the built-in table, time fields as the IBM clock's high word
// followed by four zero bytes.
#include "spool/rje_fields.h"

#include "convert/translate.h"
#include "support/byteorder.h"

#include <cstring>

namespace
{

// Seconds from 1900-01-01 to 1970-01-01 and the length of one unit of the clock's high word.
constexpr double unix_epoch_in_ibm_seconds = 2208988800.0;
constexpr double ibm_word_seconds = 1.048576;

template <typename Byte> bool field_fits(std::span<Byte> section, uint32_t descriptor)
{
    return static_cast<size_t>(nje_field_offset(descriptor)) + nje_field_length(descriptor) <= section.size();
}

// Stores one pair; the field is known to lie inside the section.
int store_field(unsigned char *section, const nje_field_set &set)
{
    const uint32_t length = nje_field_length(set.descriptor);
    unsigned char *field = section + nje_field_offset(set.descriptor);
    switch (nje_field_type(set.descriptor)) {
    case NJE_FIELD_INTEGER:
        if (set.is_text)
            return -1;
        nje_toibm_memcpy(set.number, field, length);
        return 0;
    case NJE_FIELD_CHARACTER:
        if (!set.is_text)
            return -1;
        if (set.text)
            nje_AtoE_str(set.text, std::span<unsigned char>(field, length));
        return 0;
    case NJE_FIELD_TIME:
        if (set.is_text || length != NJE_TIME_FIELD_SIZE)
            return -1;
        nje_toibm_memcpy(set.number, field, 4);
        std::memset(field + 4, 0, NJE_TIME_FIELD_SIZE - 4);
        return 0;
    default:
        return -1;
    }
}

int load_field(const unsigned char *section, const nje_field_get &get)
{
    const uint32_t length = nje_field_length(get.descriptor);
    const unsigned char *field = section + nje_field_offset(get.descriptor);
    switch (nje_field_type(get.descriptor)) {
    case NJE_FIELD_INTEGER:
        if (!get.number)
            return -1;
        nje_fromibm_memcpy(field, get.number, length);
        return 0;
    case NJE_FIELD_CHARACTER:
        if (!get.text || get.text_size == 0)
            return -1;
        nje_EtoA_str(std::span<const unsigned char>(field, length), std::span<char>(get.text, get.text_size));
        return 0;
    case NJE_FIELD_TIME: {
        if (!get.number || length < 4)
            return -1;
        const uint32_t word = be::get32(field);
        const double seconds = word * ibm_word_seconds - unix_epoch_in_ibm_seconds;
        // A clock before 1970 has no unsigned Unix time; it comes back as 0 like an unset field.
        *get.number = (word == 0 || seconds < 0) ? 0 : static_cast<uint32_t>(seconds);
        return 0;
    }
    default:
        return -1;
    }
}

// Applies `one` to each pair of the list up to the closing descriptor 0; stops with -1 at the first
// pair that `one` refuses.
template <typename Pair, typename One> int for_each_pair(std::span<const Pair> list, One one)
{
    for (const Pair &pair : list) {
        if (pair.descriptor == 0)
            break;
        if (!one(pair))
            return -1;
    }
    return 0;
}

} // namespace

#define NJE_FIELD_ENTRY(name, type, length, offset) {#name, name},
constexpr nje_field nje_field_dictionary[] = {NJE_FIELD_LIST(NJE_FIELD_ENTRY){nullptr, 0}};
#undef NJE_FIELD_ENTRY
static_assert(std::size(nje_field_dictionary) == NJE_FIELD_COUNT + 1);
static_assert(nje_field_dictionary[0].descriptor == 0x01020004);  // NJHGJID
static_assert(nje_field_dictionary[13].descriptor == 0x03080038); // NJHGETS

const nje_field *nje_field_find(const char *name)
{
    if (!name)
        return nullptr;
    for (const nje_field *f = nje_field_dictionary; f->name; ++f)
        if (std::strcmp(f->name, name) == 0)
            return f;
    return nullptr;
}

int nje_section_update_fields(unsigned char *section, std::span<const nje_field_set> list)
{
    return for_each_pair(list, [&](const nje_field_set &set) { return store_field(section, set) == 0; });
}

int nje_section_update_fields(unsigned char *section, std::initializer_list<nje_field_set> list)
{
    return nje_section_update_fields(section, std::span<const nje_field_set>(list.begin(), list.size()));
}

int nje_section_update_fields(std::span<unsigned char> section, std::span<const nje_field_set> list)
{
    return for_each_pair(list, [&](const nje_field_set &set) {
        return field_fits(section, set.descriptor) && store_field(section.data(), set) == 0;
    });
}

int nje_section_update_fields(std::span<unsigned char> section, std::initializer_list<nje_field_set> list)
{
    return nje_section_update_fields(section, std::span<const nje_field_set>(list.begin(), list.size()));
}

void nje_section_zero_strings(unsigned char *section, std::span<const uint32_t> descriptors)
{
    for (uint32_t d : descriptors) {
        if (d == 0)
            break;
        if (nje_field_type(d) == NJE_FIELD_CHARACTER)
            nje_AtoE_str("", std::span<unsigned char>(section + nje_field_offset(d), nje_field_length(d)));
    }
}

void nje_section_zero_strings(unsigned char *section, std::initializer_list<uint32_t> descriptors)
{
    nje_section_zero_strings(section, std::span<const uint32_t>(descriptors.begin(), descriptors.size()));
}

int nje_section_extract_fields(const unsigned char *section, std::span<const nje_field_get> list)
{
    return for_each_pair(list, [&](const nje_field_get &get) { return load_field(section, get) == 0; });
}

int nje_section_extract_fields(const unsigned char *section, std::initializer_list<nje_field_get> list)
{
    return nje_section_extract_fields(section, std::span<const nje_field_get>(list.begin(), list.size()));
}

int nje_section_extract_fields(std::span<const unsigned char> section, std::span<const nje_field_get> list)
{
    return for_each_pair(list, [&](const nje_field_get &get) {
        return field_fits(section, get.descriptor) && load_field(section.data(), get) == 0;
    });
}

int nje_section_extract_fields(std::span<const unsigned char> section,
                               std::initializer_list<nje_field_get> list)
{
    return nje_section_extract_fields(section, std::span<const nje_field_get>(list.begin(), list.size()));
}

void nje_toibm_memcpy(uint32_t value, unsigned char *destination, size_t length)
{
    for (size_t i = length; i > 0; --i) {
        destination[i - 1] = static_cast<unsigned char>(value);
        value >>= 8;
    }
}

void nje_fromibm_memcpy(const unsigned char *source, uint32_t *value_out, size_t length)
{
    uint32_t value = 0;
    for (size_t i = 0; i < length; ++i)
        value = (value << 8) | source[i];
    *value_out = value;
}
