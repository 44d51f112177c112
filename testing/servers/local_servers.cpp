#include "testing/servers/local_servers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/debug_output.h"

LocalServer::LocalServer() : server_(std::make_unique<httplib::Server>()) {}

LocalServer::LocalServer(const std::string& certFile, const std::string& keyFile)
    : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())), tls_(true) {}

void LocalServer::Start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  for (int i = 0; i < 500 && !server_->is_running(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

LocalServer::~LocalServer() {
  stopping = true;
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

std::string LocalServer::Url() const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

RawServer::RawServer(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return;
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return;
  }
  listenFd_ = fd;
  port_ = ntohs(addr.sin_port);
  response_ = Response(200, "");
  thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

std::string RawServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

void RawServer::SetResponse(const std::string& raw) {
  std::lock_guard<std::mutex> guard(lock_);
  response_ = raw;
}

std::vector<std::string> RawServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void RawServer::ClearRequests() {
  std::lock_guard<std::mutex> guard(lock_);
  requests_.clear();
}

std::string RawServer::Response(int status, const std::string& body, const std::string& extraHeaders) {
  return "HTTP/1.1 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

void RawServer::Serve() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    HandleConnection(fd);
    ::close(fd);
  }
}

namespace {
// Content-Length of a request head, 0 when absent.
size_t ContentLength(const std::string& head) {
  for (const std::string& line : HeaderLines(head)) {
    if (line.size() > 15 && strncasecmp(line.c_str(), "Content-Length:", 15) == 0)
      return std::strtoul(line.c_str() + 15, nullptr, 10);
  }
  return 0;
}
}  // namespace

void RawServer::HandleConnection(int fd) {
  std::string raw;
  char buffer[65536];
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  size_t wanted = std::string::npos;
  while (!stop_ && std::chrono::steady_clock::now() < deadline) {
    size_t headEnd = raw.find("\r\n\r\n");
    if (headEnd != std::string::npos && wanted == std::string::npos)
      wanted = headEnd + 4 + ContentLength(raw);
    if (wanted != std::string::npos && raw.size() >= wanted) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    raw.append(buffer, static_cast<size_t>(n));
  }
  std::string answer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(raw);
    answer = response_;
  }
  size_t sent = 0;
  while (sent < answer.size()) {
    ssize_t n = ::send(fd, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  ::shutdown(fd, SHUT_WR);
  // Let the client read everything before the socket goes away.
  for (int i = 0; i < 50 && !stop_; ++i) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 20) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
  }
}

std::string RequestLine(const std::string& raw) { return raw.substr(0, raw.find("\r\n")); }

std::vector<std::string> HeaderLines(const std::string& raw) {
  std::vector<std::string> lines;
  size_t from = raw.find("\r\n");
  while (from != std::string::npos) {
    from += 2;
    size_t end = raw.find("\r\n", from);
    if (end == std::string::npos || end == from) break;
    lines.push_back(raw.substr(from, end - from));
    from = end;
  }
  return lines;
}

std::string RequestBody(const std::string& raw) {
  size_t headEnd = raw.find("\r\n\r\n");
  return headEnd == std::string::npos ? std::string() : raw.substr(headEnd + 4);
}

int ClosedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

const TlsFiles& TestTls() {
  static const TlsFiles files = [] {
    TlsFiles f;
    const char* configured = std::getenv("QV_CA_FILE");
    f.caFile = configured ? configured : "";
    f.dir = std::filesystem::path(f.caFile).parent_path().string();
    std::string command = "bash '" QV_TESTING_DIR "/certs/make_test_certs.sh' '" + f.dir + "'";
    if (std::system(command.c_str()) != 0) f.dir.clear();
    f.serverCert = f.dir + "/server.pem";
    f.serverKey = f.dir + "/server.key";
    f.wrongHostCert = f.dir + "/wronghost.pem";
    f.wrongHostKey = f.dir + "/wronghost.key";
    f.untrustedCert = f.dir + "/untrusted.pem";
    f.untrustedKey = f.dir + "/untrusted.key";
    return f;
  }();
  return files;
}

struct DebugCapture::State {
  mutable std::mutex lock;
  std::vector<std::string> lines;
};

DebugCapture::DebugCapture() : state_(std::make_shared<State>()) {
  auto state = state_;
  SetDebugSink([state](const std::string& line) {
    std::lock_guard<std::mutex> guard(state->lock);
    state->lines.push_back(line);
  });
}

DebugCapture::~DebugCapture() { SetDebugSink(nullptr); }

std::vector<std::string> DebugCapture::Lines() const {
  std::lock_guard<std::mutex> guard(state_->lock);
  return state_->lines;
}
