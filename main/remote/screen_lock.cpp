// The screen-lock setting: parsing the tool's report, reading it, changing it with a read-back,
// and the session's locked state.
#include "screen_lock.h"

#include <cstdint>
#include <string>

#include "support/decimal.h"
#include "support/secret.h"
#include "support/unicode.h"
#include "support/utf8.h"

namespace corvel {
namespace {

// Full lower-casing matters here only where it yields ASCII, since every phrase is ASCII: A-Z,
// KELVIN SIGN (to "k") and CAPITAL I WITH DOT ABOVE (to "i" and a combining dot). Everything else
// is copied unchanged and can never take part in a match.
std::string lowerCasedForMatching(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const auto c = utf8::next(text, i);
    if (!c) {
      out.push_back(text[start]);
      i = start + 1;
    } else if (*c >= 'A' && *c <= 'Z') {
      out.push_back(static_cast<char>(*c - 'A' + 'a'));
    } else if (*c == 0x212A) {
      out.push_back('k');
    } else if (*c == 0x0130) {
      out += "i\xCC\x87";
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  return out;
}

bool contains(std::string_view text, std::string_view phrase) { return text.find(phrase) != std::string_view::npos; }

// The first match of "screenlock(?: delay)? is (\d+)", where \d is any Unicode decimal digit, as in
// the platform's regular expressions; returns the digit run.
std::optional<std::string_view> firstNumber(std::string_view text) {
  constexpr std::string_view word = "screenlock";
  for (std::size_t at = text.find(word); at != std::string_view::npos; at = text.find(word, at + 1)) {
    std::size_t k = at + word.size();
    for (std::string_view tail : {std::string_view(" delay is "), std::string_view(" is ")}) {
      if (text.substr(k, tail.size()) != tail) continue;
      const std::size_t digitsStart = k + tail.size();
      std::size_t i = digitsStart;
      std::size_t digitsEnd = digitsStart;
      while (i < text.size()) {
        const auto c = utf8::next(text, i);
        if (!c || !unicode::isDecimalDigit(*c)) break;
        digitsEnd = i;
      }
      if (digitsEnd > digitsStart) return text.substr(digitsStart, digitsEnd - digitsStart);
    }
  }
  return std::nullopt;
}

}  // namespace

ScreenLockState parseScreenLockState(std::string_view output) {
  const std::string text = lowerCasedForMatching(output);
  if (contains(text, "screenlock is off") || contains(text, "screenlock delay is off")) return ScreenLockState::off();
  if (contains(text, "screenlock delay is immediate") || contains(text, "screenlock is immediate")) {
    return ScreenLockState::immediate();
  }
  const auto digits = firstNumber(text);
  if (!digits) return ScreenLockState::unknown();
  // Like the platform's integer conversion, this refuses digits of other scripts and overflow.
  const auto value = parseDecimal(*digits);
  if (!value) return ScreenLockState::unknown();
  return *value == 0 ? ScreenLockState::immediate() : ScreenLockState::delay(*value);
}

ScreenLockState ScreenLock::screenLockState() {
  // The tool answers on standard error; the runner hands back both streams together.
  return parseScreenLockState(
      processes_.run(tools_.sysadminctl, {"-screenLock", "status"}, ScreenLockReadingLimits).output);
}

bool ScreenLock::isSessionLocked() { return session_.screenIsLockedFlag().value_or(false); }

bool ScreenLock::applyScreenLockState(const ScreenLockState& state, const std::string& password) {
  // The password travels on standard input only; the copy made for it is wiped straight after.
  std::string input;
  input.reserve(password.size() + 1);  // one buffer, so no stray copy is left behind by a regrowth
  input.append(password).push_back('\n');
  const ProcessResult result = processes_.runWithInput(
      tools_.sysadminctl, {"-screenLock", state.sysadminctlValue(), "-password", "-"}, input, ScreenLockChangeLimits);
  wipe(input);
  if (result.exitCode != 0) return false;
  return screenLockState() == state;
}

}  // namespace corvel
