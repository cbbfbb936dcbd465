// Reading the simulated defaults for the status check: whatever lies there is read or reported
// unreadable, and left exactly as it was.
#include "sim/defaults_reader_sim.h"

#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "sim/sim_root.h"
#include "tests/support/sim_root_fixture.h"

namespace corvel {
namespace {
namespace fs = std::filesystem;

using DefaultsReaderSim = test::SimRootTest;

TEST_F(DefaultsReaderSim, ReadsWhatTheStoreWroteAndRefusesAnythingElseUntouched) {
  const fs::path folder = root() / "Library/Preferences", file = folder / "d.json";
  const DefaultsSnapshot neverWritten{{"Text", {}}, {"Yes", {}}, {"Number", {}}, {"Absent", {}}};
  const auto write = [&](const std::string& text) { std::ofstream(file, std::ios::binary) << text; };
  const struct {
    const char* name;
    std::function<void()> plant;
    std::optional<DefaultsSnapshot> read;
  } rows[] = {
      {"never written", [] {}, neverWritten},
      {"no folder yet", [&] { fs::remove_all(folder); }, neverWritten},
      {"as the store writes", [&] { write(R"({"Text":"YES","Yes":true,"Number":2,"Other":[1]})"); },
       DefaultsSnapshot{{"Text", {"YES", true}}, {"Yes", {{}, true}}, {"Number", {{}, true}}, {"Absent", {}}}},
      {"not JSON", [&] { write("{\"Text\":"); }, std::nullopt},
      {"not an object", [&] { write("[\"Text\"]"); }, std::nullopt},
      {"too large", [&] { write(R"({"Text":"x"})" + std::string(sim::SimDefaultsReader::MaximumSize, ' ')); },
       std::nullopt},
      {"a link",
       [&] { write("{}"), fs::rename(file, root() / "elsewhere"), fs::create_symlink(root() / "elsewhere", file); },
       std::nullopt},
      {"a pipe", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, std::nullopt},
      {"a folder", [&] { fs::create_directory(file); }, std::nullopt},
  };
  // Every name with the bytes of the plain files (a pipe is never opened here).
  const auto state = [&] {
    std::map<std::string, std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(root())) {
      names[e.path()] = e.is_regular_file() ? sim::readFile(e.path()).value_or("?") : "";
    }
    return names;
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    row.plant();
    const auto before = state();
    EXPECT_EQ(sim::SimDefaultsReader(root(), "d").readDefaults({"Text", "Yes", "Number", "Absent"}), row.read);
    EXPECT_EQ(state(), before);
  }
}

}  // namespace
}  // namespace corvel
