// The supervised caffeinate child that holds the Mac awake while protection is on.
#include "main/app_delegate.h"

namespace corvel {

void AppDelegate::startCaffeinateIfNeeded() {
  // Never a second child: one that runs already keeps the Mac awake.
  if (isCaffeinateRunning()) return;
  caffeinateProcess = platform_.processes.launch(platform_.tools.caffeinate, {"-d", "-i", "-m", "-s"});
}

void AppDelegate::stopCaffeinate() {
  if (isCaffeinateRunning()) caffeinateProcess->terminate();
  caffeinateProcess.reset();
}

bool AppDelegate::isCaffeinateRunning() { return caffeinateProcess && caffeinateProcess->isRunning(); }

}  // namespace corvel
