// Port: the directory service that verifies an account's login password.
#pragma once

#include <string>

namespace corvel {

class Directory {
 public:
  virtual ~Directory() = default;
  // True when the authentication node accepts `password` for the user record `userName`; every
  // failure on the way (node, record, verification) is false.
  virtual bool verifyPassword(const std::string& userName, const std::string& password) = 0;
};

}  // namespace corvel
