// A reader for the rule lines of sudoers drop-ins, strict where the sim cannot follow sudo.
//
// Understood: "users hosts = [(runas)] [TAG:]… command[, [(runas)] [TAG:]… command]…" with blanks
// anywhere between tokens, "\" line continuation, "#" comments, negation with "!", runas and tags
// carried along a command list as in sudo, ALL, and "" for "no arguments". Defaults lines are
// checked for shape only; alias definitions are ignored, and alias names, groups (%…), uids (#…),
// sudoedit and list never match. Wildcards and directories in commands are compared literally.
// #include and @include lines are rejected. Anything else that does not fit is a parse error; the sim then
// refuses everything, the safe reading of a sudoers it cannot follow.
#include "sudoers.h"

#include <algorithm>

namespace corvel::sim {
namespace {

constexpr std::string_view Tags[] = {"NOPASSWD",  "PASSWD",      "SETENV",     "NOSETENV",     "EXEC", "NOEXEC",
                                     "LOG_INPUT", "NOLOG_INPUT", "LOG_OUTPUT", "NOLOG_OUTPUT", "MAIL", "NOMAIL",
                                     "FOLLOW",    "NOFOLLOW",    "INTERCEPT",  "NOINTERCEPT"};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
bool isUpperWordChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

// Marks a character that a backslash took literally, so that it is never read as punctuation.
struct Char {
  char c;
  bool escaped;
};

class Cursor {
 public:
  explicit Cursor(std::vector<Char> text) : text_(std::move(text)) {}

  void skipBlanks() {
    while (pos_ < text_.size() && !text_[pos_].escaped && isBlank(text_[pos_].c)) ++pos_;
  }
  bool atEnd() {
    skipBlanks();
    return pos_ == text_.size();
  }
  // The next unescaped punctuation character is `c`; consumed when it is.
  bool take(char c) {
    skipBlanks();
    if (pos_ < text_.size() && !text_[pos_].escaped && text_[pos_].c == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // A user, host or runas name: up to a blank or punctuation.
  std::string word() {
    skipBlanks();
    std::string out;
    while (pos_ < text_.size()) {
      const Char& ch = text_[pos_];
      if (!ch.escaped && (isBlank(ch.c) || std::string_view(",=():!").find(ch.c) != std::string_view::npos)) break;
      out.push_back(ch.c);
      ++pos_;
    }
    return out;
  }
  // An upper-case word followed by ":" (a tag; sudo allows blanks before the colon), consumed only
  // when it is one.
  std::optional<std::string> tag() {
    skipBlanks();
    std::size_t end = pos_;
    while (end < text_.size() && !text_[end].escaped && isUpperWordChar(text_[end].c)) ++end;
    std::size_t colon = end;
    while (colon < text_.size() && !text_[colon].escaped && isBlank(text_[colon].c)) ++colon;
    if (end == pos_ || colon == text_.size() || text_[colon].escaped || text_[colon].c != ':') return std::nullopt;
    std::string name;
    for (std::size_t i = pos_; i < end; ++i) name.push_back(text_[i].c);
    pos_ = colon + 1;
    return name;
  }
  // A command path or arguments: up to an unescaped comma; unescaped ":" or "=" there is an error,
  // since sudo requires them escaped in commands.
  std::optional<std::string> commandText(bool stopAtBlank) {
    skipBlanks();
    std::string out;
    while (pos_ < text_.size()) {
      const Char& ch = text_[pos_];
      if (!ch.escaped && ch.c == ',') break;
      if (!ch.escaped && stopAtBlank && isBlank(ch.c)) break;
      if (!ch.escaped && (ch.c == ':' || ch.c == '=')) return std::nullopt;
      // Runs of blanks between arguments count as one, as sudo joins arguments with single blanks.
      if (!ch.escaped && isBlank(ch.c)) {
        if (!out.empty() && out.back() != ' ') out.push_back(' ');
      } else {
        out.push_back(ch.c);
      }
      ++pos_;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
  }
  bool peekIs(char c) {
    skipBlanks();
    return pos_ < text_.size() && !text_[pos_].escaped && text_[pos_].c == c;
  }

 private:
  std::vector<Char> text_;
  std::size_t pos_ = 0;
};

// A comma-separated list of possibly negated words; empty words are not allowed.
std::optional<std::vector<SudoersItem>> itemList(Cursor& cursor) {
  std::vector<SudoersItem> items;
  do {
    SudoersItem item;
    while (cursor.take('!')) item.negated = !item.negated;
    item.word = cursor.word();
    if (item.word.empty()) return std::nullopt;
    items.push_back(std::move(item));
  } while (cursor.take(','));
  return items;
}

// Last match wins, so "ALL, !bob" leaves bob out.
bool listMatches(const std::vector<SudoersItem>& items, const std::vector<std::string>& names) {
  bool matched = false;
  for (const auto& item : items) {
    if (item.word == "ALL" || std::find(names.begin(), names.end(), item.word) != names.end()) matched = !item.negated;
  }
  return matched;
}

std::optional<bool> runAsList(Cursor& cursor) {
  // "(users[:groups])"; a list naming only groups runs as the invoking user, not root.
  bool root = false;
  if (!cursor.peekIs(':') && !cursor.peekIs(')')) {
    const auto users = itemList(cursor);
    if (!users) return std::nullopt;
    root = listMatches(*users, {"root"});
  }
  if (cursor.take(':') && !cursor.peekIs(')') && !itemList(cursor)) return std::nullopt;
  if (!cursor.take(')')) return std::nullopt;
  return root;
}

bool isAliasName(const std::string& word) {
  return !word.empty() && word[0] >= 'A' && word[0] <= 'Z' && std::all_of(word.begin(), word.end(), isUpperWordChar);
}

std::optional<SudoersRule> parseRule(Cursor& cursor) {
  SudoersRule rule;
  auto users = itemList(cursor);
  if (!users) return std::nullopt;
  auto hosts = itemList(cursor);
  if (!hosts || !cursor.take('=')) return std::nullopt;
  rule.users = std::move(*users);
  rule.hosts = std::move(*hosts);
  bool runsAsRoot = true;
  bool noPassword = false;
  do {
    if (cursor.take('(')) {
      const auto root = runAsList(cursor);
      if (!root) return std::nullopt;
      runsAsRoot = *root;
    }
    while (const auto tag = cursor.tag()) {
      if (std::find(std::begin(Tags), std::end(Tags), *tag) == std::end(Tags)) return std::nullopt;
      if (*tag == "NOPASSWD") noPassword = true;
      if (*tag == "PASSWD") noPassword = false;
    }
    SudoersCommand command;
    command.runsAsRoot = runsAsRoot;
    command.noPassword = noPassword;
    while (cursor.take('!')) command.negated = !command.negated;
    if (cursor.peekIs('/')) {
      const auto path = cursor.commandText(true);
      const auto arguments = cursor.commandText(false);
      if (!path || !arguments) return std::nullopt;
      command.path = *path;
      if (*arguments == "\"\"") {
        command.arguments = "";
      } else if (!arguments->empty()) {
        command.arguments = *arguments;
      }
    } else {
      const std::string word = cursor.word();
      if (word == "ALL") {
        command.all = true;
      } else if (isAliasName(word) || word == "list") {
        command.never = true;
      } else if (word == "sudoedit") {
        command.never = true;
        if (!cursor.commandText(false)) return std::nullopt;
      } else {
        return std::nullopt;
      }
      if (!cursor.atEnd() && !cursor.peekIs(',')) return std::nullopt;
    }
    rule.commands.push_back(std::move(command));
  } while (cursor.take(','));
  if (!cursor.atEnd()) return std::nullopt;
  return rule;
}

bool startsWithWord(std::string_view line, std::string_view word) {
  return line.substr(0, word.size()) == word && (line.size() == word.size() || isBlank(line[word.size()]));
}

// "Defaults[binding] entry[, entry]…", an entry being [!]name or name (=|+=|-=) value, the value a
// word or a quoted string. Only the shape is checked; the settings themselves do not matter here.
bool validDefaults(const std::vector<Char>& chars) {
  std::size_t i = 0;
  const auto at = [&](std::size_t k) { return k < chars.size() ? chars[k] : Char{'\0', false}; };
  const auto skipBlanks = [&] {
    while (i < chars.size() && !chars[i].escaped && isBlank(chars[i].c)) ++i;
  };
  skipBlanks();
  i += std::string_view("Defaults").size();
  if (std::string_view(":@!>").find(at(i).c) != std::string_view::npos && !at(i).escaped) {
    while (i < chars.size() && (chars[i].escaped || !isBlank(chars[i].c))) ++i;  // whom or what it binds to
  }
  for (;;) {
    skipBlanks();
    while (at(i).c == '!' && !at(i).escaped) ++i;
    const std::size_t name = i;
    while (
        i < chars.size() && !chars[i].escaped &&
        (chars[i].c == '_' || (chars[i].c >= 'a' && chars[i].c <= 'z') || (chars[i].c >= 'A' && chars[i].c <= 'Z'))) {
      ++i;
    }
    if (i == name) return false;
    skipBlanks();
    if (!at(i).escaped && (at(i).c == '+' || at(i).c == '-') && at(i + 1).c == '=' && !at(i + 1).escaped) ++i;
    if (!at(i).escaped && at(i).c == '=') {
      ++i;
      skipBlanks();
      const std::size_t value = i;
      if (!at(i).escaped && at(i).c == '"') {
        for (++i; i < chars.size() && (chars[i].escaped || chars[i].c != '"'); ++i) {
        }
        if (i++ == chars.size()) return false;
      } else {
        while (i < chars.size() && (chars[i].escaped || (!isBlank(chars[i].c) && chars[i].c != ','))) ++i;
      }
      if (i == value) return false;
      skipBlanks();
    }
    if (i == chars.size()) return true;
    if (chars[i].escaped || chars[i].c != ',') return false;
    ++i;
  }
}

}  // namespace

SudoersFile parseSudoers(std::string_view text) {
  SudoersFile file;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    // One logical line: physical lines joined where one ends in a backslash.
    const int firstLine = ++lineNumber;
    std::string logical;
    for (;;) {
      const std::size_t end = std::min(text.find('\n', start), text.size());
      std::string_view physical = text.substr(start, end - start);
      start = end + 1;
      if (!physical.empty() && physical.back() == '\\' && start < text.size()) {
        logical.append(physical.substr(0, physical.size() - 1));
        logical.push_back(' ');
        ++lineNumber;
        continue;
      }
      logical.append(physical);
      break;
    }
    std::vector<Char> chars;
    for (std::size_t i = 0; i < logical.size(); ++i) {
      if (logical[i] == '\\' && i + 1 < logical.size()) {
        chars.push_back({logical[++i], true});
      } else if (logical[i] == '#') {
        break;
      } else {
        chars.push_back({logical[i], false});
      }
    }
    std::string_view trimmed(logical);
    while (!trimmed.empty() && isBlank(trimmed.front())) trimmed.remove_prefix(1);
    const bool include = startsWithWord(trimmed, "#include") || startsWithWord(trimmed, "#includedir") ||
                         startsWithWord(trimmed, "@include") || startsWithWord(trimmed, "@includedir");
    if (include) {
      file.errorLine = firstLine;
      return file;
    }
    Cursor cursor(chars);
    if (cursor.atEnd()) continue;
    const std::string first = Cursor(cursor).word();
    if (first.rfind("Defaults", 0) == 0) {
      if (!validDefaults(chars)) {
        file.errorLine = firstLine;
        return file;
      }
      continue;
    }
    if (first == "User_Alias" || first == "Runas_Alias" || first == "Host_Alias" || first == "Cmnd_Alias" ||
        first == "Cmd_Alias") {
      continue;
    }
    auto rule = parseRule(cursor);
    if (!rule) {
      file.errorLine = firstLine;
      return file;
    }
    file.rules.push_back(std::move(*rule));
  }
  return file;
}

namespace {

const SudoersCommand* lastMatch(const std::vector<SudoersRule>& rules, const SudoRequest& request) {
  std::string joined;
  for (std::size_t i = 0; i < request.arguments.size(); ++i) {
    if (i > 0) joined += ' ';
    joined += request.arguments[i];
  }
  const SudoersCommand* last = nullptr;
  for (const auto& rule : rules) {
    if (!listMatches(rule.users, {request.user}) || !listMatches(rule.hosts, request.hostNames)) continue;
    for (const auto& command : rule.commands) {
      if (!command.runsAsRoot || command.never) continue;
      const bool matches =
          command.all || (command.path == request.command &&
                          (!command.arguments ||
                           (command.arguments->empty() ? request.arguments.empty() : *command.arguments == joined)));
      if (matches) last = &command;
    }
  }
  return last;
}

}  // namespace

bool grantsWithoutPassword(const std::vector<SudoersRule>& rules, const SudoRequest& request) {
  const SudoersCommand* last = lastMatch(rules, request);
  return last && !last->negated && last->noPassword;
}

bool allows(const std::vector<SudoersRule>& rules, const SudoRequest& request) {
  const SudoersCommand* last = lastMatch(rules, request);
  return last && !last->negated;
}

}  // namespace corvel::sim
