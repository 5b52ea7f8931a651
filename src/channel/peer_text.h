#pragma once
// Text a peer chose — its device name, the names of the files it offers, a text or link it
// sends — is whatever bytes it wanted. Before any of it reaches a person (a prompt, a
// notice, the terminal) or a log line it passes through peer_text_for_display, so that no
// peer byte can start a new line, an escape sequence or a change of writing direction: a
// forged "Code:" line or a name that reads backwards would defeat the comparison of pairing
// codes and the check of what is offered. The bytes themselves (on the wire, in the trust
// store) stay as they were sent.

#include <cstddef>
#include <cstdint>

#include "platform/utf8.h"

// U+FFFD in UTF-8, what every unsafe or invalid piece of peer text is shown as.
constexpr char kReplacementChar[] = "\xEF\xBF\xBD";

// The invisible controls that change the writing direction of what follows them:
// U+061C, U+200E, U+200F, U+202A..U+202E, U+2066..U+2069.
bool is_bidi_control(uint32_t cp);

// Whether a person may see this code point as it is: not a C0 or C1 control, not DEL, not
// a line or paragraph separator (U+2028, U+2029), not a direction control.
bool is_displayable(uint32_t cp);

// Copies text (null reads as "") into out with every byte that is not valid UTF-8 and every
// character that is not displayable replaced by U+FFFD. The result is cut at a character
// boundary to fit cap bytes and always terminated (nothing is written when cap is 0), so it
// is valid UTF-8 whatever came in. A buffer of 3 × the input length + 1 never cuts.
void peer_text_for_display(const char* text, char* out, size_t cap);

// Drops the first bytes of a character that a cut left at the end of text (an snprintf that
// did not fit), so that text cut to a buffer stays valid UTF-8 when it was before the cut.
void utf8_drop_cut_tail(char* text);
