// Asking for the login password and checking it with the directory service before anything changes.
#include "main/app_delegate.h"

namespace corvel {

std::optional<SecretText> AppDelegate::requestLoginPassword(const std::string& reason) {
  AlertRequest request{reason, "入力内容は保存されません。", std::nullopt, {"続ける", "キャンセル"},
                       SecureField{0, 0, 320, 24, "Macのログインパスワード"}};
  AlertResponse response = platform_.alerts.runModal(request);
  if (response.response != AlertFirstButtonReturn) return std::nullopt;
  return std::move(response.fieldText);
}

bool AppDelegate::verifyLoginPassword(const std::string& password) {
  return platform_.directory.verifyPassword(platform_.environment.userName(), password);
}

}  // namespace corvel
