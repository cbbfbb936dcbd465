// Reading the simulated defaults for the status check: whatever lies there is read or reported
// unreadable, and left exactly as it was.
#include "sim/defaults_reader_sim.h"

#include <gtest/gtest.h>
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
  const fs::path folder = root() / "Library/Preferences";
  const fs::path file = folder / "d.json";
  const std::vector<std::string> keys{"Text", "Yes", "Number", "Absent"};
  const DefaultsSnapshot neverWritten{{"Text", {}}, {"Yes", {}}, {"Number", {}}, {"Absent", {}}};
  const auto write = [&](const std::string& text) { std::ofstream(file, std::ios::binary) << text; };
  const std::string padded = R"({"Text":"x"})" + std::string(sim::SimDefaultsReader::MaximumSize, ' ');
  const struct {
    const char* name;
    std::function<void()> plant;
    std::optional<DefaultsSnapshot> read;
  } rows[] = {
      {"never written", [] {}, neverWritten},
      {"as the store writes", [&] { write(R"({"Text":"YES","Yes":true,"Number":2,"Other":[1]})"); },
       DefaultsSnapshot{
           {"Text", {"YES", true}}, {"Yes", {std::nullopt, true}}, {"Number", {std::nullopt, true}}, {"Absent", {}}}},
      {"false and zero", [&] { write(R"({"Text":"0","Yes":false,"Number":0})"); },
       DefaultsSnapshot{{"Text", {"0", false}}, {"Yes", {}}, {"Number", {}}, {"Absent", {}}}},
      {"not JSON", [&] { write("{\"Text\":"); }, std::nullopt},
      {"not an object", [&] { write("[\"Text\"]"); }, std::nullopt},
      {"invalid UTF-8", [&] { write("{\"Text\":\"\xff\"}"); }, std::nullopt},
      {"too large", [&] { write(padded); }, std::nullopt},
      {"a link",
       [&] {
         std::ofstream(root() / "elsewhere") << R"({"Text":"x"})";
         fs::create_symlink(root() / "elsewhere", file);
       },
       std::nullopt},
      {"a pipe", [&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, std::nullopt},
      {"a folder", [&] { fs::create_directory(file); }, std::nullopt},
      {"no folder yet", [&] { fs::remove_all(folder); }, neverWritten},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    row.plant();
    const bool plain = fs::is_regular_file(fs::symlink_status(file));  // a pipe must not be opened here
    const auto before = plain ? sim::readFile(file) : std::nullopt;
    const auto entries = [&] {
      std::error_code none;
      return std::distance(fs::directory_iterator(folder, none), fs::directory_iterator());
    };
    const auto count = entries();
    const bool existed = fs::exists(folder);
    EXPECT_EQ(sim::SimDefaultsReader(root(), "d").readDefaults(keys), row.read);
    EXPECT_EQ(entries(), count);
    EXPECT_EQ(fs::exists(folder), existed);
    if (plain) {
      EXPECT_EQ(sim::readFile(file), before);
    }
  }
}

}  // namespace
}  // namespace corvel
