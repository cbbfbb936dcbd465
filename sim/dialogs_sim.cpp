// Dialogs of the simulated Mac.
#include "dialogs_sim.h"

#include <thread>

#include "sim_root.h"

namespace corvel::sim {

AlertResponse SimAlerts::runModal(const AlertRequest& request) {
  frontEnd_.say(request.messageText);
  if (!request.informativeText.empty()) frontEnd_.say(request.informativeText);
  AlertResponse response;
  if (request.secureField) {
    frontEnd_.say("パスワード入力欄（" + request.secureField->placeholder + "）:");
    auto typed = frontEnd_.readSecretLine();
    if (!typed) return response;
    response.fieldText = SecretText(std::move(*typed));
    wipe(*typed);
  }
  // Without buttons of its own an alert has the platform's single default one.
  const std::vector<std::string> buttons = request.buttons.empty() ? std::vector<std::string>{"OK"} : request.buttons;
  std::string listing;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    listing += (i ? "  " : "") + ("[" + std::to_string(i + 1) + "] " + buttons[i]);
  }
  frontEnd_.say("ボタン: " + listing);
  for (;;) {
    const auto answer = frontEnd_.readLine();
    if (!answer) return response;  // every input has ended: no button was pressed
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      if (*answer == buttons[i] || *answer == std::to_string(i + 1)) {
        response.pressedButton = i;
        return response;
      }
    }
    frontEnd_.explain("その行は分かりません。ボタンの名前か番号を入力してください: " + listing);
  }
}

namespace {

class SimBiometricContext final : public BiometricContext {
 public:
  SimBiometricContext(std::filesystem::path root, FrontEnd& frontEnd) : root_(std::move(root)), frontEnd_(frontEnd) {}
  void setLocalizedCancelTitle(const std::string& title) override { cancelTitle_ = title; }
  void setLocalizedFallbackTitle(const std::string& title) override { fallbackTitle_ = title; }
  bool canEvaluateBiometrics() override { return readValue(root_, "touchid").value_or("") == "available"; }
  void evaluateBiometrics(const std::string& reason, std::function<void(bool)> reply) override {
    std::vector<std::string> answers{"touch", "wrong-finger", cancelTitle_.empty() ? "キャンセル" : cancelTitle_};
    if (!fallbackTitle_.empty()) answers.push_back(fallbackTitle_);
    frontEnd_.say("Touch ID: " + reason + " [" + answers[0] + " / " + answers[1] + " / " + answers[2] + "]");
    frontEnd_.setPendingPrompt(answers, [reply = std::move(reply)](const std::string& answer) {
      std::thread([reply, matched = answer == "touch"] { reply(matched); }).detach();
    });
  }

 private:
  std::filesystem::path root_;
  FrontEnd& frontEnd_;
  std::string cancelTitle_;
  std::string fallbackTitle_ = "パスワードを入力";
};

}  // namespace

std::unique_ptr<BiometricContext> SimBiometrics::makeContext() {
  return std::make_unique<SimBiometricContext>(root_, frontEnd_);
}

bool SimDirectory::verifyPassword(const std::string& /*userName*/, const std::string& password) {
  auto stored = readValue(root_, "login-password");
  const bool match = stored && *stored == password;
  if (stored) wipe(*stored);
  return match;
}

}  // namespace corvel::sim
