// Reads back the property lists Corvel.app is built with, key by key as the system reads them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/identity.h"

namespace {

namespace fs = std::filesystem;

// The entries of a property list's top-level dictionary. A value is the text of a <string>,
// <integer> or the like, "true"/"false" for the Booleans, and "<array>" or "<dict>" for nested
// containers, whose insides are skipped.
using Entries = std::map<std::string, std::string>;

struct Token {
  enum Kind { open, close, empty, text } kind;
  std::string value;  // the element name, or the decoded text
};

std::optional<std::string> decodeEntities(const std::string& raw) {
  static const std::map<std::string, char> entities{{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '&') {
      out += raw[i];
      continue;
    }
    const std::size_t end = raw.find(';', i);
    if (end == std::string::npos) return std::nullopt;
    const auto entity = entities.find(raw.substr(i + 1, end - i - 1));
    if (entity == entities.end()) return std::nullopt;
    out += entity->second;
    i = end;
  }
  return out;
}

// Tags and non-blank text in order; the declaration, the document type and comments are dropped.
std::optional<std::vector<Token>> tokenize(const std::string& xml) {
  std::vector<Token> tokens;
  std::size_t at = 0;
  while (at < xml.size()) {
    if (xml[at] != '<') {
      const std::size_t next = std::min(xml.find('<', at), xml.size());
      const std::string raw = xml.substr(at, next - at);
      if (raw.find_first_not_of(" \t\r\n") != std::string::npos) {
        auto decoded = decodeEntities(raw);
        if (!decoded) return std::nullopt;
        tokens.push_back({Token::text, *decoded});
      }
      at = next;
      continue;
    }
    const bool comment = xml.compare(at, 4, "<!--") == 0;
    const std::size_t end = comment ? xml.find("-->", at) : xml.find('>', at);
    if (end == std::string::npos) return std::nullopt;
    std::string tag = xml.substr(at + 1, end - at - 1);
    at = end + (comment ? 3 : 1);
    if (comment || tag.starts_with('?') || tag.starts_with('!')) continue;
    Token::Kind kind = Token::open;
    if (tag.starts_with('/')) {
      kind = Token::close;
      tag.erase(0, 1);
    } else if (tag.ends_with('/')) {
      kind = Token::empty;
      tag.pop_back();
    }
    tokens.push_back({kind, tag.substr(0, tag.find_first_of(" \t\r\n"))});
  }
  return tokens;
}

// None unless the text is a property list whose root is one dictionary.
std::optional<Entries> parsePlist(const std::string& xml) {
  const auto tokens = tokenize(xml);
  if (!tokens) return std::nullopt;
  std::size_t i = 0;
  const auto is = [&](Token::Kind kind, const std::string& name) {
    return i < tokens->size() && (*tokens)[i].kind == kind && (*tokens)[i].value == name;
  };
  const auto expect = [&](Token::Kind kind, const std::string& name) { return is(kind, name) ? (++i, true) : false; };
  // The text inside <name>…</name>, the opening tag already consumed.
  const auto textUntilClose = [&](const std::string& name) -> std::optional<std::string> {
    std::string value;
    if (i < tokens->size() && (*tokens)[i].kind == Token::text) value = (*tokens)[i++].value;
    if (!expect(Token::close, name)) return std::nullopt;
    return value;
  };

  if (!expect(Token::open, "plist") || !expect(Token::open, "dict")) return std::nullopt;
  Entries entries;
  while (!is(Token::close, "dict")) {
    if (!expect(Token::open, "key")) return std::nullopt;
    const auto key = textUntilClose("key");
    if (!key || i >= tokens->size() || entries.count(*key)) return std::nullopt;
    const Token value = (*tokens)[i++];
    if (value.kind == Token::empty) {
      entries[*key] = value.value == "string" ? "" : value.value;
    } else if (value.kind == Token::open && (value.value == "array" || value.value == "dict")) {
      for (int depth = 1; depth > 0; ++i) {
        if (i >= tokens->size()) return std::nullopt;
        const Token& inner = (*tokens)[i];
        if (inner.value == value.value && inner.kind == Token::open) ++depth;
        if (inner.value == value.value && inner.kind == Token::close) --depth;
      }
      entries[*key] = "<" + value.value + ">";
    } else if (value.kind == Token::open) {
      const auto text = textUntilClose(value.value);
      if (!text) return std::nullopt;
      entries[*key] = *text;
    } else {
      return std::nullopt;
    }
  }
  ++i;
  if (!expect(Token::close, "plist") || i != tokens->size()) return std::nullopt;
  return entries;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

Entries readPlist(const fs::path& path) {
  EXPECT_TRUE(fs::is_regular_file(path)) << path;
  const auto entries = parsePlist(readFile(path));
  EXPECT_TRUE(entries) << path << " is not a property list with one dictionary";
  return entries.value_or(Entries{});
}

std::optional<std::string> valueOf(const Entries& entries, const std::string& key) {
  const auto it = entries.find(key);
  if (it == entries.end()) return std::nullopt;
  return it->second;
}

const fs::path agentPlistPath = fs::path(CORVEL_TEST_AGENT_PLIST_FOLDER) / corvel::watchdogPlistName;

struct Expected {
  std::string key;
  std::optional<std::string> value;  // none: the key must be absent
};

// -- The reader itself

// The checks below are only as good as the reader: a key inside a comment or a nested dictionary
// must not count, and anything malformed must fail rather than read as a partial dictionary.
TEST(BundlePlistReader, ReadsOnlyTheTopLevelDictionary) {
  const std::string head = R"(<?xml version="1.0"?><!DOCTYPE plist><plist version="1.0"><dict>)";
  const struct {
    std::string body;
    std::optional<Entries> entries;
  } cases[] = {
      {"<key>A</key><string>x &amp; y</string><key>B</key><true/></dict></plist>", Entries{{"A", "x & y"}, {"B", "true"}}},
      {"<!-- <key>LSUIElement</key><true/> --><key>A</key><false/></dict></plist>", Entries{{"A", "false"}}},
      {"<key>A</key><dict><key>B</key><string/></dict><key>C</key><string/></dict></plist>",
       Entries{{"A", "<dict>"}, {"C", ""}}},
      {"<key>A</key><array><string>1</string></array></dict></plist>", Entries{{"A", "<array>"}}},
      {"<key>A</key><string>x</string></dict>", std::nullopt},                       // unterminated
      {"<key>A</key><string>x</string><key>A</key><true/></dict></plist>", std::nullopt},  // duplicate
      {"<key>A</key></dict></plist>", std::nullopt},                                  // key without value
      {"<!-- <key>A</key><true/></dict></plist>", std::nullopt},                      // open comment
  };
  for (const auto& c : cases) {
    EXPECT_EQ(parsePlist(head + c.body), c.entries) << c.body;
  }
}

// -- Info.plist

TEST(BundleInfoPlist, DescribesTheApplicationThisBuildMakes) {
  const Entries info = readPlist(CORVEL_TEST_INFO_PLIST);
  const Expected expected[] = {
      {"CFBundleIdentifier", corvel::bundleIdentifier},
      {"CFBundleExecutable", CORVEL_TEST_APP_EXECUTABLE},
      {"CFBundleName", "Corvel"},
      {"CFBundlePackageType", "APPL"},
      {"CFBundleShortVersionString", CORVEL_TEST_PROJECT_VERSION},
      {"CFBundleVersion", CORVEL_TEST_PROJECT_VERSION},
      {"LSMinimumSystemVersion", "13.0"},
      {"NSPrincipalClass", "NSApplication"},
      // A regular application with a Dock tile: neither an agent nor a background-only program.
      {"LSUIElement", std::nullopt},
      {"LSBackgroundOnly", std::nullopt},
  };
  for (const auto& e : expected) EXPECT_EQ(valueOf(info, e.key), e.value) << e.key;
  EXPECT_EQ(valueOf(info, "LSMinimumSystemVersion"), corvel::MinimumSystemVersion);
}

// -- The watchdog's agent property list

TEST(BundleAgentPlist, IsTheOnlyAgentAndCarriesTheNameTheApplicationAsksFor) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(CORVEL_TEST_AGENT_PLIST_FOLDER)) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{std::string(corvel::AppBundleIdentifier) + ".watchdog.plist"});
  EXPECT_EQ(names, std::vector<std::string>{corvel::watchdogPlistName});
}

TEST(BundleAgentPlist, StartsTheBundledWatchdogAtRegistrationAndKeepsItRunning) {
  const Entries agent = readPlist(agentPlistPath);
  const Expected expected[] = {
      {"Label", corvel::bundleIdentifier + ".watchdog"},
      {"BundleProgram", std::string("Contents/MacOS/") + CORVEL_TEST_WATCHDOG_EXECUTABLE},
      {"RunAtLoad", "true"},
      {"KeepAlive", "true"},
      // Absolute program paths would tie the agent to one install location of the bundle.
      {"Program", std::nullopt},
      {"ProgramArguments", std::nullopt},
  };
  for (const auto& e : expected) EXPECT_EQ(valueOf(agent, e.key), e.value) << e.key;
  // launchd and SMAppService both go by the label: the file is named after it.
  EXPECT_EQ(valueOf(agent, "Label").value_or("") + ".plist", corvel::watchdogPlistName);
}

// -- The built bundle (on a Mac)

TEST(BundleLayout, BuiltApplicationHoldsBothProgramsAndTheGeneratedLists) {
  const std::string contents = CORVEL_TEST_BUNDLE_CONTENTS;
  if (contents.empty()) GTEST_SKIP() << "no application bundle is built on this platform";
  const fs::path root(contents);
  EXPECT_EQ(readPlist(root / "Info.plist"), readPlist(CORVEL_TEST_INFO_PLIST));
  EXPECT_EQ(readFile(root / "Library/LaunchAgents" / corvel::watchdogPlistName), readFile(agentPlistPath));
  EXPECT_TRUE(fs::is_regular_file(root / "MacOS" / CORVEL_TEST_APP_EXECUTABLE));
  EXPECT_TRUE(fs::is_regular_file(root / "MacOS" / CORVEL_TEST_WATCHDOG_EXECUTABLE));
}

}  // namespace
