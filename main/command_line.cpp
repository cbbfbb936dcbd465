// Recognising Corvel's arguments and switches, and building the diagnostic line.
#include "command_line.h"

#include <algorithm>

#include "main/modes.h"
#include "support/identity.h"

namespace corvel {
namespace {

// The argument as it may be shown on a terminal: a control character could rewrite the screen.
std::string printable(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return (c >= 0 && c < 0x20) || c == 0x7f; }, '?');
  return text;
}

// What `setting` takes, for the line that refuses anything else.
std::string_view acceptedValues(GuardSetting setting) {
  switch (setting) {
    case GuardSetting::batteryFloor:
      return "off or a percentage from 1 to 99";
    case GuardSetting::timeLimit:
      return "off or a duration from 1m to 7d, such as 30m, 4h or 1h30m";
    case GuardSetting::thermalStop:
    case GuardSetting::repair:
      return "on or off";
  }
  return "";
}

std::string settingNames() {
  std::string names;
  for (const GuardSetting setting : EveryGuardSetting) {
    names += (names.empty()                                                    ? ""
              : setting == EveryGuardSetting[std::size(EveryGuardSetting) - 1] ? " and "
                                                                               : ", ") +
             std::string(settingName(setting));
  }
  return names;
}

// --set's name and value, checked into `line`; what is wrong with them otherwise.
std::optional<std::string> readSet(CommandLine& line, const std::vector<std::string>& words) {
  const auto setting = words.empty() ? std::nullopt : guardSettingNamed(words[0]);
  if (words.empty())
    return std::string(SetArgument) + " takes a setting's name and its value; the settings are " + settingNames();
  if (!setting) return "no setting is named " + printable(words[0]) + "; the settings are " + settingNames();
  if (words.size() < 2)
    return std::string(SetArgument) + " " + words[0] + " takes a value: " + std::string(acceptedValues(*setting));
  const auto asked = withTypedValue(GuardSettings{}, *setting, words[1]);
  if (!asked) return words[0] + " takes " + std::string(acceptedValues(*setting)) + ", not " + printable(words[1]);
  line.setting = *setting;
  line.asked = *asked;
  return std::nullopt;
}

// --extend's duration, in the time limit's own range, checked into `line`.
std::optional<std::string> readExtend(CommandLine& line, const std::vector<std::string>& words) {
  const auto asked = words.empty() ? std::nullopt : withTypedValue(GuardSettings{}, GuardSetting::timeLimit, words[0]);
  if (!asked || !asked->timeLimit) {
    return std::string(ExtendArgument) + " takes a duration from 1m to 7d, such as 30m, 4h or 1h30m" +
           (words.empty() ? "" : ", not " + printable(words[0]));
  }
  line.extension = *asked->timeLimit;
  return std::nullopt;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool diagnose = false, status = false;
  std::optional<std::string> settingsSwitch, stray;
  std::vector<std::string> words;  // what the settings switch took
  std::optional<std::string> problem;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == SettingsArgument || argument == SetArgument || argument == ExtendArgument) {
      if (settingsSwitch && !problem) problem = *settingsSwitch + " and " + argument + " do not go together";
      settingsSwitch = argument;
      const std::size_t wanted = argument == SetArgument ? 2 : argument == ExtendArgument ? 1 : 0;
      while (words.size() < wanted && i + 1 < arguments.size()) words.push_back(arguments[++i]);
    } else if (argument.starts_with("-NS") || argument.starts_with("-Apple")) {
      ++i;  // its value, whatever it looks like
    } else if (argument == DiagnoseArgument) {
      diagnose = true;
    } else if (argument == StatusArgument) {
      status = true;
    } else if (argument == JsonArgument) {
      line.json = true;
    } else if (argument != WatchdogLaunchArgument && argument.starts_with("--")) {
      if (!problem) problem = "unknown switch " + printable(argument);
    } else if (argument != WatchdogLaunchArgument && !argument.starts_with("-psn_") && !stray) {
      stray = argument;
    }
  }
  if (settingsSwitch && (diagnose || status) && !problem) {
    problem =
        *settingsSwitch + " and " + std::string(diagnose ? DiagnoseArgument : StatusArgument) + " do not go together";
  }
  if (line.json && !status && settingsSwitch != SettingsArgument && !problem) {
    problem = std::string(JsonArgument) + " goes only with " + std::string(StatusArgument) + " or " +
              std::string(SettingsArgument);
  }
  if (settingsSwitch && stray && !problem) problem = "unexpected word " + printable(*stray);
  if (problem) {
    line.action = CommandLine::Action::refuse;
    line.refusal = "Corvel: " + *problem + "; the switches are " + std::string(DiagnoseArgument) + ", " +
                   std::string(StatusArgument) + " [" + std::string(JsonArgument) + "], " +
                   std::string(SettingsArgument) + " [" + std::string(JsonArgument) + "], " + std::string(SetArgument) +
                   " NAME VALUE, " + std::string(ExtendArgument) + " DURATION and " +
                   std::string(WatchdogLaunchArgument);
  } else if (diagnose) {
    line.action = CommandLine::Action::diagnose;
  } else if (status) {
    line.action = CommandLine::Action::status;
  } else if (settingsSwitch) {
    const auto wrong = *settingsSwitch == SetArgument      ? readSet(line, words)
                       : *settingsSwitch == ExtendArgument ? readExtend(line, words)
                                                           : std::nullopt;
    line.action = wrong                               ? CommandLine::Action::refuse
                  : *settingsSwitch == SetArgument    ? CommandLine::Action::set
                  : *settingsSwitch == ExtendArgument ? CommandLine::Action::extend
                                                      : CommandLine::Action::settings;
    if (wrong) line.refusal = "Corvel: " + *wrong;
  }
  return line;
}

bool hasArgument(const std::vector<std::string>& arguments, std::string_view argument) {
  return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& a) { return a == argument; });
}

bool isSwitchOn(const std::optional<std::string>& value) { return value && *value == "1"; }

std::string diagnosticLine(std::string_view bundleIdentifier) {
  // A bundle identifier holds only letters, digits, dots and hyphens, so nothing needs escaping.
  std::string modes;
  for (const ModeTraits& row : protectionModes()) modes += (modes.empty() ? "\"" : ",\"") + std::string(row.raw) + "\"";
  return R"({"bundleIdentifier":")" + std::string(bundleIdentifier) + R"(","minimumSystem":"13.0","modes":[)" + modes +
         "]}";
}

}  // namespace corvel
