// Job card scanning: a small pattern matcher for text that comes back from the host (JCL, printed
// output, console and nodal messages), and the shapes found with it: the JCL job card, the USR=(...)
// routing parameter, and the JES2 messages $HASP125 (a reader skipped) and $HASP100 (a job read in).
//
// Pattern language (anchored at the start of the text; the pattern need not use up the text):
//   blank     zero or more blanks and tabs; the text must go on after them
//   $d        capture (d 1 to 9) up to, not including, the first character that matches the
//             single-character element after $d (which is used up with it; a blank there is one blank);
//             as the last element, the capture runs to the NUL in the text
//   -x        skip text up to and including the first character that matches the element x
//   'x...'    search forward for the first place where the quoted elements all match
//   ?c        success at once when the character the last class matched is c, else passed over
//   \x        x taken as a single-character element, even a blank, $, -, ' or ?
// Single-character elements: . any character; [chars] any one of the characters listed (no ranges);
// \x the character x itself; any other character itself. The text ends at its length or at a NUL,
// which no element matches.
#pragma once

#include <span>

// Tags of the item list of the variadic match_pattern.
inline constexpr int MATCH_END = 0;     // end of the list
inline constexpr int MATCH_PATTERN = 1; // followed by the pattern (const char *)
inline constexpr int MATCH_TEXT = 2;    // followed by the text (const char *) and its length (int)
inline constexpr int MATCH_BUFFER = 3;  // followed by a capture buffer (char *) and its size (int)
inline constexpr int MATCH_MAX_BUFFERS = 10;

// A capture buffer: receives at most size - 1 characters and a NUL.
struct match_capture {
    char *buffer;
    int size;
};

// Matches `text` (at most `length` bytes) against `pattern`. Capture $d goes into captures[d - 1].
// A capture that reaches size - 1 characters before its end stops there, and the text character at
// which it stopped is passed over. A buffer keeps what was captured even when the match fails later.
// @return the number of captures made (0 when the pattern has none), or -1 when the text does not
//         match, and also for $0, a capture whose buffer was not supplied (or is null or of size < 1), a
//         pattern that ends inside a class, a quoted search, after a backslash, after ? or after $d's
//         and -'s elements. Never writes outside the supplied buffers, never reads past `length` bytes
//         of the text or past the pattern's NUL.
int match_pattern(const char *pattern, const char *text, int length, std::span<const match_capture> captures);

// The same with a list of tagged items closed by MATCH_END: MATCH_PATTERN, MATCH_TEXT and up to
// MATCH_MAX_BUFFERS MATCH_BUFFER items (the first is buffer 1). @return as above; -1 at once for an
// unknown tag or a missing pattern or text.
int match_pattern(int tag, ...);

// Position in a pattern, and the character the most recent class matched (for ?c).
struct match_state {
    const char *pattern;
    int class_char = -1;
};

// Matches the single-character element at state->pattern against c. At the end of the pattern only
// the NUL character matches and the position stays.
// @return 0 with the position moved past the element when c matches; -1 with the position unchanged.
int match_char(match_state *state, int c);

// Finds a JCL job card ("//name JOB (account),programmer,...") in `text` of `len` bytes. Writes the job
// name and the account (the text between the parentheses) into `jobname` and `jobno` as captures, and
// the programmer name into `progname`: at most `progname_size` bytes, without a terminator (the
// caller clears the buffer). With `debug` set, traces go to utiltracefd.
// @return 1 when the text holds a job card, else 0.
int jobcard(const char *text, int len, char *jobname, int jobname_size, char *jobno, int jobno_size,
            char *progname, int progname_size, int debug);
// The same as jobcard.
int exprnt(const char *text, int len, char *jobname, int jobname_size, char *jobno, int jobno_size,
           char *progname, int progname_size, int debug);

// Cuts a programmer-name field (NUL-terminated) in place down to the name: up to a blank, comma or
// the end outside quotes; a quoted name loses its quotes (a doubled quote inside stays doubled).
// @return 1 when a name is left in `field`; -1 when there is none (an equals sign, a keyword parameter,
// comes first; or the name is empty or longer than 20 characters, quotes included).
int setupname(char *field);

// Finds "USR=(" (letters in any case) in `text` of `len` bytes and copies what follows it (up to the
// end of the text, at most 19 characters), in lower case, over the start of `text`, always terminated
// inside `len` bytes (cut to len - 1 characters). @return 1 when found, else 0.
int usrcard(char *text, int len);
// Calls usrcard. @return 0.
int expnch(char *text, int len);

// Matches the JES2 message "$HASP125 Rn.RDm ..." (a reader skipped). @return m - 1 when it lies from
// 0 to 6; -1 otherwise and when the text does not match.
int skipped(const char *text, int len);
