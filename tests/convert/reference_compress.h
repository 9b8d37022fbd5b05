// A plain transcription of the record-mode SNA compression, one byte at a time, kept with the tests
// and the fuzz targets to check the library's compressor against. Not part of the library.
#pragma once

// Same arguments and results as rje_compress in record mode, for blocks of at least 16 bytes: the
// record is in..in_end with its IRS as the last byte (data bytes 0x1E are data).
int reference_compress(const unsigned char **in, unsigned char **out, const unsigned char *in_end,
                       const unsigned char *out_end, unsigned block_size);
