// Option recognition and IBM-style names of the jobpush front end: node and user names from
// arguments, dataset names and types from file paths.
#pragma once

// 1 when `arg` is `long_form` or an abbreviation of it at least as long as `short_form`, else 0.
int match(const char *long_form, const char *short_form, const char *arg);

// Writes at most n characters of src as an IBM name (letters and digits uppercased, '_' kept, any
// other character '$') and a NUL to dst, which holds n + 1 bytes. Returns the address of the NUL.
char *uppercase(char *dst, const char *src, int n);

// Dataset name and type (at most 8 characters each) of a file path; name and type hold 9 bytes.
void ibm_filename(const char *path, char *name, char *type);
