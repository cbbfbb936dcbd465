// Wiping secrets from memory.
#include "secret.h"

namespace corvel {

void wipe(std::string& secret) {
  // Wipe the whole buffer, not only the current length: earlier, longer contents may linger there.
  secret.resize(secret.capacity());
  volatile char* bytes = secret.data();
  for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = 0;
  secret.clear();
}

}  // namespace corvel
