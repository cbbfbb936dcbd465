// Taking charge only of what runs on this simulated Mac.
#include "process_runner_sim.h"

#include "assertions.h"

namespace corvel::sim {

// What is taken charge of is the caffeinate an earlier Corvel left running, and a caffeinate belongs
// to the machine it holds its assertion on. The machines' processes share one process table here, so
// a copied folder's record names the original's caffeinate to the last detail but that one.
std::unique_ptr<ChildProcess> SimProcessRunner::adopt(const ProcessIdentity& identity, const std::string& executable,
                                                      const std::vector<std::string>& arguments) {
  if (!holdsAssertionOn(root_, identity.pid)) return nullptr;
  return posix_.adopt(identity, executable, arguments);
}

}  // namespace corvel::sim
