// Wiping secrets (the login password) from memory once their flow is over.
#pragma once

#include <cstddef>
#include <string>

namespace corvel {

// Overwrites the characters in place, in a way the optimiser may not drop, then empties the text.
// The whole buffer is wiped, not only the current length: earlier, longer contents may linger there.
inline void wipe(std::string& secret) {
  secret.resize(secret.capacity());
  volatile char* bytes = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = 0;
  secret.clear();
}

// Holds a secret for one flow and wipes it when the flow ends, whichever way it ends.
class SecretText {
 public:
  SecretText() = default;
  explicit SecretText(std::string text) : text_(std::move(text)) {}
  SecretText(const SecretText&) = delete;
  SecretText& operator=(const SecretText&) = delete;
  SecretText(SecretText&& other) noexcept : text_(std::move(other.text_)) { wipe(other.text_); }
  SecretText& operator=(SecretText&& other) noexcept {
    if (this != &other) {
      wipe(text_);
      text_ = std::move(other.text_);
      wipe(other.text_);
    }
    return *this;
  }
  ~SecretText() { wipe(text_); }

  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace corvel
