// Message catalogue marks: _() translates a message of the text domain "rjecmd.messages" at the
// point of use; N_() only marks a text for the catalogue (translated later, where it is printed).
#pragma once

#include <libintl.h>

#define _(text) gettext(text)
#define N_(text) text
