// "tern-service admin VERB ..." works on the data directory directly, also
// while the server runs (the store is shared through SQLite's WAL):
//   create-account NUMBER PASSWORD [--days N] [--nickname NAME]
//   set-password NUMBER PASSWORD
//   set-member NUMBER DAYS          membership ends DAYS days from now (0: ended)
//   set-nickname NUMBER NAME
//   list-accounts
//   publish-version VERSION [--must] [--details TEXT] [--info TEXT]
//   publish-notice TITLE TEXT [--url URL] [--days N]
//   publish-routes FILE|- [--note TEXT]
//       lines: "add ADDR/LEN APP_ID", "change ID ADDR/LEN APP_ID",
//              "deactivate ID"; "#" starts a comment
//   list-sessions [--all]
//   drop-session ID|NUMBER
//   last-code NUMBER
//   pay TRADE_NO
//   list-orders
#ifndef SERVER_ADMIN_COMMAND_H_
#define SERVER_ADMIN_COMMAND_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace tern {

// Returns the exit status: 0 done, 1 refused or failed, 2 usage error.
int RunAdminCommand(const std::string& db_path,
                    const std::vector<std::string>& args,
                    std::ostream& out,
                    std::ostream& err);

}  // namespace tern

#endif  // SERVER_ADMIN_COMMAND_H_
