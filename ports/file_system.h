// Port: questions about system files, asked with the user's own rights.
#pragma once

#include <string>

namespace corvel {

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool fileExists(const std::string& path) = 0;
};

}  // namespace corvel
