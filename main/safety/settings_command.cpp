// The settings commands: their texts, in the voice of the status check, and what each one writes.
#include "settings_command.h"

#include "main/settings.h"
#include "support/json.h"

namespace corvel {
namespace {

std::string_view label(GuardSetting setting) {
  switch (setting) {
    case GuardSetting::batteryFloor:
      return "バッテリー残量の下限";
    case GuardSetting::timeLimit:
      return "時間制限";
    case GuardSetting::thermalStop:
      return "高温時の停止";
    case GuardSetting::repair:
      return "自動修復";
  }
  return "";
}

CommandOutput refusal(std::string_view why) { return {1, "", "Corvel: " + std::string(why) + "\n"}; }

// A change kept only in this process's memory reaches no running Corvel: it is not reported as made.
CommandOutput reported(SettingsStore& store, std::string line) {
  if (!store.saved()) return refusal("設定を保存できませんでした。Corvel の設定ファイルに書き込めるか確かめてください");
  return {0, std::move(line) + "\n", ""};
}

}  // namespace

CommandOutput showGuardSettings(SettingsPlatform& platform, bool json) {
  const GuardSettings settings = readGuardSettings(textOf(platform.defaults));
  JsonObject object;
  std::string text;
  for (const GuardSetting setting : EveryGuardSetting) {
    const std::string value = typedValue(settings, setting), standard = typedValue(GuardSettings{}, setting);
    object.member(
        settingName(setting),
        JsonObject().member("value", jsonString(value)).member("default", jsonBool(value == standard)).text());
    text += "・" + std::string(label(setting)) + "：" + std::string(settingName(setting)) + " " + value +
            (value == standard ? "（既定値）" : "（既定値は " + standard + "）") + "\n";
  }
  return {0, json ? object.text() + "\n" : text, ""};
}

CommandOutput setGuardSetting(SettingsPlatform& platform, GuardSetting setting, const GuardSettings& asked) {
  SettingsStore& store = platform.defaults;
  writeGuardSetting(store, asked, setting);
  std::string line = std::string(settingName(setting)) + " を " + typedValue(asked, setting) + " にしました";
  if (setting == GuardSetting::timeLimit) {
    if (!asked.timeLimit) {
      store.remove(keys::deadline);
    } else if (Settings(store).enabled()) {
      // The running Corvel set its deadline when protection went on; the new limit counts from now.
      const std::string deadline = isoTime(platform.clock.now() + *asked.timeLimit);
      store.setString(keys::deadline, deadline);
      line += "（保護の終了予定 " + deadline + "）";
    } else {
      line += "（保護を次に ON にした時から数えます）";
    }
  }
  return reported(store, line);
}

CommandOutput extendTimeLimit(SettingsPlatform& platform, std::chrono::minutes extension) {
  SettingsStore& store = platform.defaults;
  const TextOf text = textOf(store);
  if (!Settings(store).enabled()) return refusal("保護は OFF です。延ばす時間制限はありません");
  if (!readGuardSettings(text).timeLimit) {
    return refusal("時間制限は off です（Corvel --set time-limit 4h のように設定できます）");
  }
  const auto deadline = readDeadline(text);
  if (!deadline) return refusal("保護の終了予定が記録されていません（Corvel --set time-limit で今から数え直せます）");
  const std::string moved = isoTime(*deadline + extension);
  store.setString(keys::deadline, moved);
  return reported(store, "保護の終了予定を " + moved + " に延ばしました");
}

}  // namespace corvel
