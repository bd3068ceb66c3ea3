// Scrambling of config.ini entries: the ANSI bytes of a text, framed with
// their hex length and padded, encrypted with two-key triple DES (EDE, ECB)
// and written as upper-case hex. Deterministic: a text always gives the same
// cipher text. Callable from any thread.
#ifndef CLIENT_CONFIG_SCRAMBLER_H_
#define CLIENT_CONFIG_SCRAMBLER_H_

#include <string>

// Texts of more than kMaxScrambleBytes ANSI bytes are refused: the result is
// empty and the refusal is logged.
constexpr size_t kMaxScrambleBytes = 246;

std::wstring ScrambleText(const std::wstring& text);
// Anything that ScrambleText cannot have produced (odd length, a non-hex
// character, a partial block, a length prefix beyond the data, padding other
// than "F") gives the empty text.
std::wstring UnscrambleText(const std::wstring& text);

// The 16-byte key (K1 then K2), for tests that check the cipher itself.
const unsigned char* ScrambleKeyForTesting();

#endif  // CLIENT_CONFIG_SCRAMBLER_H_
