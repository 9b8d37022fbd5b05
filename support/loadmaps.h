// Translate map loader: reads "<rundir>/ebcdictoiso", lines of two hexadecimal values "EBCDIC ISO"
// ('#' starts a comment), and writes each pair into the built-in translate tables.
#pragma once

// Flags indexed by an ISO code: 1 for each code an applied map line assigned; cleared by every load.
extern unsigned char changed[256];
// 0 at start; 0 after a load without map file, 1 once a map line has been applied.
extern unsigned char internationalization;

// Name of the map file in the run directory.
inline constexpr const char *LOADMAPS_FILE = "ebcdictoiso";

// Loads the map file of the run directory (rundir; no file when rundir is null). Faulty lines are
// reported on stderr ("loadmaps:  ...line number N\n", translated) and skipped.
// @return 0 when the file cannot be opened, 1 when it was read.
int loadmaps();
