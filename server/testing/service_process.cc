#include "server/testing/service_process.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <rapidjson/document.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

extern char** environ;

namespace tern {
namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

pid_t Spawn(const std::vector<std::string>& args, int* out_fd) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0)
    return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  std::vector<char*> argv = Argv(args);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
    pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (pid < 0) {
    close(pipe_fds[0]);
    return -1;
  }
  *out_fd = pipe_fds[0];
  return pid;
}

size_t Append(char* data, size_t size, size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tern-test-XXXXXX";
  if (mkdtemp(pattern.data()))
    path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  if (!path_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
}

ProcessResult RunProcess(const std::vector<std::string>& argv) {
  ProcessResult result;
  int fd = -1;
  pid_t pid = Spawn(argv, &fd);
  if (pid < 0)
    return result;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof(buffer))) > 0)
    result.out.append(buffer, n);
  close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string TernServicePath() {
  const char* dir = getenv("TERN_PROGRAM_DIR");
  if (dir && *dir)
    return std::string(dir) + "/tern-service";
  return TERN_SERVICE_PATH;
}

ServiceProcess::ServiceProcess(std::string data_dir) : data_dir_(std::move(data_dir)) {}

ServiceProcess::~ServiceProcess() {
  Stop();
}

bool ServiceProcess::Start(const std::vector<std::string>& extra) {
  std::vector<std::string> args{TernServicePath(), "--port", "0", "--relay-port", "0",
                                "--data-dir",      data_dir_};
  args.insert(args.end(), extra.begin(), extra.end());
  int fd = -1;
  pid_ = Spawn(args, &fd);
  if (pid_ < 0)
    return false;
  std::string output;
  // The port at the end of the line that starts with |prefix|; 0 until the
  // whole line is there.
  auto port_of = [&output](const std::string& prefix) {
    size_t start = output.rfind(prefix, std::string::npos);
    if (start == std::string::npos || (start > 0 && output[start - 1] != '\n'))
      return 0;
    size_t end = output.find('\n', start);
    size_t colon = output.rfind(':', end);
    if (end == std::string::npos || colon == std::string::npos || colon < start)
      return 0;
    return atoi(output.substr(colon + 1, end - colon - 1).c_str());
  };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (port_of("listening https://") == 0 || port_of("relay ") == 0) {
    int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    deadline - std::chrono::steady_clock::now())
                                    .count());
    pollfd p{fd, POLLIN, 0};
    char buffer[512];
    ssize_t n = 0;
    if (left <= 0 || poll(&p, 1, left) <= 0 || (n = read(fd, buffer, sizeof(buffer))) <= 0) {
      close(fd);
      Stop();
      return false;
    }
    output.append(buffer, n);
  }
  close(fd);
  https_port_ = port_of("listening https://");
  relay_port_ = port_of("relay ");
  return true;
}

bool ServiceProcess::Stop() {
  if (pid_ <= 0)
    return false;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

ProcessResult ServiceProcess::Admin(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{TernServicePath(), "admin"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back("--data-dir");
  argv.push_back(data_dir_);
  return RunProcess(argv);
}

HttpsClient::HttpsClient(std::string base_url, std::string ca_file)
    : base_url_(std::move(base_url)), ca_file_(std::move(ca_file)) {}

HttpAnswer HttpsClient::Get(const std::string& path, const std::string& token) const {
  return Request("GET", path, "", token, "");
}

HttpAnswer HttpsClient::Post(const std::string& path,
                             const std::string& body,
                             const std::string& token,
                             const std::string& content_type) const {
  return Request("POST", path, body, token, content_type);
}

HttpAnswer HttpsClient::Request(const std::string& method,
                                const std::string& path,
                                const std::string& body,
                                const std::string& token,
                                const std::string& content_type) const {
  HttpAnswer answer;
  CURL* curl = curl_easy_init();
  if (!curl)
    return answer;
  std::string url = base_url_ + path;
  std::string headers_text;
  curl_slist* headers = nullptr;
  if (!content_type.empty())
    headers = curl_slist_append(headers, ("Content-Type:" + content_type).c_str());
  headers = curl_slist_append(headers, ("json-web-token:" + token).c_str());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, ca_file_.empty() ? 0L : 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, ca_file_.empty() ? 0L : 2L);
  if (!ca_file_.empty())
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca_file_.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers_text);
  if (method == "POST") {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  } else if (method != "GET") {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    if (!body.empty()) {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    }
  }
  if (curl_easy_perform(curl) == CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &answer.status);
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  size_t at = headers_text.find("Json-Web-Token:");
  if (at != std::string::npos) {
    answer.has_token = true;
    size_t start = at + 15;
    size_t end = headers_text.find_first_of("\r\n", start);
    answer.token = headers_text.substr(start, end - start);
    answer.token.erase(0, answer.token.find_first_not_of(' '));
  }
  rapidjson::Document doc;
  doc.Parse(answer.body.c_str(), answer.body.size());
  if (!doc.HasParseError() && doc.IsObject() && doc.HasMember("code") && doc["code"].IsInt() &&
      doc.HasMember("info") && doc["info"].IsString() && doc.HasMember("data")) {
    answer.envelope = true;
    answer.code = doc["code"].GetInt();
    answer.info = doc["info"].GetString();
  }
  return answer;
}

}  // namespace tern
