// A loopback HTTP server for the updater's tests: the update package served
// slowly enough that progress shows in steps, a download that never ends,
// and 404 for everything else. Kept apart from the Win32 headers, whose
// names clash with the resolver's.
#ifndef TESTS_INSTALL_PACKAGE_SERVER_H_
#define TESTS_INSTALL_PACKAGE_SERVER_H_

#include <memory>
#include <string>

namespace tern_test {

class PackageServer {
 public:
  // "/pkg/<anything>" answers |package|; "/endless/Installer.exe" trickles
  // forever.
  explicit PackageServer(std::string package);
  ~PackageServer();
  PackageServer(const PackageServer&) = delete;
  PackageServer& operator=(const PackageServer&) = delete;

  std::string Url(const std::string& path) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tern_test

#endif  // TESTS_INSTALL_PACKAGE_SERVER_H_
