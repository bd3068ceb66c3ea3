#include "tests/e2e/client_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tern::e2e {

namespace fs = std::filesystem;

namespace {

// Tools the client runs, linked into every laid-out program directory.
const char* const kTools[] = {"net.exe",      "route.exe",      "netsh.exe",        "ipconfig.exe",
                              "tern-machine", "tapinstall.exe", "tern-crash-sender"};

bool CopyOrLink(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::remove(to, ec);
  // A hard link where the file systems allow it, else a copy: the program
  // must be a file of its own there, since it finds its directory through
  // /proc/self/exe.
  if (link(from.c_str(), to.c_str()) == 0)
    return true;
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}

}  // namespace

std::string BuildProgramDirectory() {
  const char* dir = getenv("TERN_PROGRAM_DIR");
  return dir && *dir ? dir : TERN_E2E_PROGRAM_DIR;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteServiceHosts(const std::string& directory,
                       const std::string& account,
                       const std::string& node,
                       const std::string& billing) {
  std::ofstream(directory + "/config.ini", std::ios::binary | std::ios::trunc)
      << "[service_hosts]\r\naccount=" << account << "\r\nnode=" << node
      << "\r\nbilling=" << billing << "\r\nca_file=" << kServiceCertificate << "\r\n";
}

bool LayOutProgramDirectory(const std::string& directory, const std::string& service_url) {
  std::string build = BuildProgramDirectory();
  std::error_code ec;
  fs::create_directories(directory + "/log", ec);
  fs::create_directories(directory + "/data", ec);
  if (!CopyOrLink(build + "/rix.exe", directory + "/rix.exe") ||
      !CopyOrLink(build + "/libServiceBridge.so", directory + "/libServiceBridge.so"))
    return false;
  for (const char* tool : kTools) {
    if (fs::exists(build + "/" + tool))
      fs::create_symlink(build + "/" + tool, directory + "/" + tool, ec);
  }
  if (!service_url.empty())
    WriteServiceHosts(directory, service_url, service_url, service_url);
  return true;
}

Program::Program(pid_t pid, std::string socket_path, std::string output_path)
    : pid_(pid), ui_(std::move(socket_path)), output_path_(std::move(output_path)) {}

Program::~Program() {
  if (Running()) {
    kill(pid_, SIGKILL);
    WaitForExit(Millis(10000));
  }
}

bool Program::Running() {
  if (exited_)
    return false;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == 0)
    return true;
  exited_ = true;
  if (r == pid_ && WIFEXITED(status))
    exit_code_ = WEXITSTATUS(status);
  if (r == pid_ && WIFSIGNALED(status))
    term_signal_ = WTERMSIG(status);
  return false;
}

int Program::WaitForExit(Millis timeout) {
  WaitUntil([this] { return !Running(); }, timeout);
  return exited_ ? exit_code_ : -1;
}

std::string Program::Output() const {
  return ReadFile(output_path_);
}

void ClientFixture::SetUp() {
  dir_ = std::make_unique<ScopedTempDir>();
  machine_root_ = dir_->path() + "/machine";
  program_dir_ = dir_->path() + "/program";
  service_ = std::make_unique<ServiceProcess>(dir_->path() + "/service");
  // The service puts its certificate where config.ini's ca_file names it.
  fs::create_directories(program_dir_);
  std::vector<std::string> options = ServiceOptions(dir_->path());
  options.insert(options.end(),
                 {"--export-cert", program_dir_ + "/" + std::string(kServiceCertificate)});
  ASSERT_TRUE(service_->Start(options));
  ASSERT_TRUE(LayOutProgramDirectory(program_dir_, service_->base_url()));
}

void ClientFixture::TearDown() {
  service_.reset();
  dir_.reset();
}

std::unique_ptr<Program> ClientFixture::StartProgram(
    const std::string& program,
    const std::vector<std::string>& args,
    const std::map<std::string, std::string>& env) {
  int n = ++started_;
  std::string socket = dir_->path() + "/ui" + std::to_string(n) + ".sock";
  std::string output = dir_->path() + "/out" + std::to_string(n) + ".txt";
  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq != std::string::npos)
      vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  vars.erase("DISPLAY");
  vars.erase("SDL_VIDEODRIVER");
  vars["TERN_HEADLESS"] = "1";
  vars["TERN_AUTOMATION"] = socket;
  vars["TERN_MACHINE_ROOT"] = machine_root_;
  for (const auto& [key, value] : env)
    vars[key] = value;
  std::vector<std::string> env_strings;
  for (const auto& [key, value] : vars)
    env_strings.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (std::string& s : env_strings)
    envp.push_back(s.data());
  envp.push_back(nullptr);

  std::string path = program_dir_ + "/" + program;
  std::vector<std::string> argv_strings{path};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argv_strings)
    argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, dir_->path().c_str());
  pid_t pid = -1;
  int rc = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << path;
    return nullptr;
  }
  return std::make_unique<Program>(pid, socket, output);
}

std::string ClientFixture::LastCode(const std::string& number) const {
  ProcessResult r = service_->Admin({"last-code", number});
  if (r.exit_code != 0 || r.out.size() < 6)
    return std::string();
  return r.out.substr(0, 6);
}

std::string ClientFixture::WaitForCode(const std::string& number,
                                       const std::string& other_than) const {
  std::string code;
  WaitUntil([&] {
    code = LastCode(number);
    return !code.empty() && code != other_than;
  });
  return code;
}

std::string ClientFixture::MachineTool(const std::vector<std::string>& args) const {
  // The tool reads its machine root from the environment, as the programs do.
  setenv("TERN_MACHINE_ROOT", machine_root_.c_str(), 1);
  std::vector<std::string> argv{BuildProgramDirectory() + "/tern-machine"};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv).out;
}

void ClientFixture::CreateAccount(const std::string& number, const std::string& password) const {
  ProcessResult r = service_->Admin({"create-account", number, password});
  ASSERT_EQ(r.exit_code, 0) << r.out;
}

}  // namespace tern::e2e
