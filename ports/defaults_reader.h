// Port: Corvel's own defaults, read by a process that must change nothing, whatever the store holds.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvel {

// One key as the settings store would read it.
struct DefaultsValue {
  std::optional<std::string> text;  // set when the key holds text
  bool boolean = false;             // the store's Boolean reading; false when the key is absent
  friend bool operator==(const DefaultsValue&, const DefaultsValue&) = default;
};

// Every key asked for, each present (an absent key reads as no text and false).
using DefaultsSnapshot = std::map<std::string, DefaultsValue, std::less<>>;

class DefaultsReader {
 public:
  virtual ~DefaultsReader() = default;
  // The keys, read together; none when the store cannot be read as it stands. A store that was
  // never written reads as empty. Nothing is ever created, rewritten or set aside.
  virtual std::optional<DefaultsSnapshot> readDefaults(const std::vector<std::string>& keys) = 0;
};

}  // namespace corvel
