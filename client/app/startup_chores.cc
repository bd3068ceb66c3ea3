#include "client/app/startup_chores.h"

#include <thread>

#include "client/system/process_runner.h"
#include "client/system/service_check.h"

void StartDetachedChores() {
  std::thread([] { RestartIkeService(&RunCommand); }).detach();
  std::thread([] { CheckRequiredServices(); }).detach();
}
