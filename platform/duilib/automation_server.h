// Serves the automation protocol (automation_protocol.h) for this process.
#ifndef DUILIB_AUTOMATION_SERVER_H_
#define DUILIB_AUTOMATION_SERVER_H_

#include <string>
#include <vector>

namespace DuiLib::automation {

// Starts serving on the socket named by TERN_AUTOMATION, if set. Called on
// the UI thread (CPaintManagerUI::SetInstance does it); later calls do
// nothing.
void StartFromEnvironment();
// Carries out one request on the calling (UI) thread; used by the server and
// by tests. Returns the answer fields, the first being "ok" or "error".
std::vector<std::string> Execute(const std::vector<std::string>& request);

}  // namespace DuiLib::automation

#endif  // DUILIB_AUTOMATION_SERVER_H_
