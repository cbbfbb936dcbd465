// The few Unicode character properties Corvel's checks depend on.
#pragma once

namespace corvel::unicode {

// General categories L, M and N: the platform's alphanumeric set.
bool isAlphanumeric(char32_t c);
// General category Nd: any script's decimal digit, not only ASCII.
bool isDecimalDigit(char32_t c);

}  // namespace corvel::unicode
