// The ways a jobpush run ends early, in one place: every failure message is followed by one of these,
// which remove the spool files of an unfinished job and end the link client before the process exits.
// Also the run's guards: standard descriptors that are sure to be open, and signal handlers that clean
// up like a failure.
#pragma once

// Prints the usage text to standard error and ends the run with status 1 (fail_exit).
[[noreturn]] void usage();

// Ends the run with status 1 after removing the spool files of the unfinished job.
[[noreturn]] void fail_exit();

// The spool-full exit: "%s: %s: \n\tfile write ERROR: spool directory is full.\n" with the operation
// `what`, then fail_exit.
[[noreturn]] void write_error_exit(const char *what);

// Removes the spool files of the unfinished job (those job.files counts), ends the link client and
// exits with `status`.
[[noreturn]] void fatal_exit(int status);

// Makes sure descriptors 0, 1 and 2 are open (on /dev/null when closed), so that no file the run opens
// takes the place of a standard stream. Call first of all.
void open_standard_descriptors();

// SIGINT, SIGTERM and SIGHUP remove the spool files of the unfinished job, then end the process as the
// signal would; SIGXFSZ is ignored, so that a file size limit shows as a failed write (EFBIG).
void install_signal_handlers();

// Blocks (true) or unblocks (false) the signals the handlers above catch, around changes of the job's
// spool files and their paths.
void hold_signals(bool hold);
