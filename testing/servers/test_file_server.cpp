#include "testing/servers/test_file_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

std::string MakeContent(int64_t size, uint32_t seed) {
  std::string bytes(static_cast<size_t>(size), '\0');
  uint64_t x = 0x9E3779B97F4A7C15ull ^ seed;
  for (int64_t i = 0; i < size; i += 8) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    const int64_t n = std::min<int64_t>(8, size - i);
    std::memcpy(&bytes[static_cast<size_t>(i)], &x, static_cast<size_t>(n));
  }
  return bytes;
}

uint64_t HashBytes(const std::string& bytes) {
  // FNV-1a over 64-bit words, then over the tail bytes.
  uint64_t h = 1469598103934665603ull;
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    h ^= word;
    h *= 1099511628211ull;
  }
  for (; i < bytes.size(); ++i) {
    h ^= static_cast<unsigned char>(bytes[i]);
    h *= 1099511628211ull;
  }
  return h;
}

std::string ReadWholeFile(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  if (ok) *ok = static_cast<bool>(in);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int UnusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  socklen_t len = sizeof(addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

TestFileServer::TestFileServer(std::string content, int port) : content_(std::move(content)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      ::listen(listenFd_, 64) != 0) {
    std::perror("test server");
    return;
  }
  socklen_t len = sizeof(addr);
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TestFileServer::~TestFileServer() {
  stopping_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> guard(lock_);
    threads.swap(connections_);
  }
  for (std::thread& t : threads) t.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

std::string TestFileServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

void TestFileServer::AddFault(const Fault& fault) {
  std::lock_guard<std::mutex> guard(lock_);
  faults_.push_back(fault);
}

std::vector<TestFileServer::Request> TestFileServer::Requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

int TestFileServer::CountRequests(const std::string& method) const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int>(std::count_if(requests_.begin(), requests_.end(),
                                        [&](const Request& r) { return r.method == method; }));
}

void TestFileServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> guard(lock_);
    connections_.emplace_back([this, fd] {
      Serve(fd);
      ::close(fd);
    });
  }
}

bool TestFileServer::TakeFault(int64_t at, Fault& fault) {
  std::lock_guard<std::mutex> guard(lock_);
  for (Fault& f : faults_) {
    if (f.times == 0 || (f.at != -1 && f.at != at)) continue;
    if (f.times > 0) --f.times;
    fault = f;
    return true;
  }
  return false;
}

bool TestFileServer::SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    pollfd p{fd, POLLOUT, 0};
    if (stopping_) return false;
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Waits until the client closes its end (or the server stops).
bool TestFileServer::WaitWhilePeerConnected(int fd) {
  char byte;
  while (!stopping_) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) > 0 && ::recv(fd, &byte, 1, 0) <= 0) return false;
  }
  return false;
}

bool TestFileServer::SplitRequested(int64_t first, int64_t last) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (const Request& r : requests_) {
    if (r.method == "GET" && r.ranged && r.first > first && r.first <= last) return true;
  }
  return false;
}

bool TestFileServer::SendBody(int fd, int64_t first, int64_t last, const Fault* fault) {
  int64_t limit = last + 1;
  if (fault && (fault->kind == FaultKind::Drop || fault->kind == FaultKind::Stall)) {
    limit = std::min(limit, first + fault->bytes);
  }
  const bool held = fault && fault->kind == FaultKind::Slow && fault->rate == 0;
  const auto begin = std::chrono::steady_clock::now();
  int64_t at = first;
  while (at < limit) {
    if (held && !SplitRequested(first, last) &&
        std::chrono::steady_clock::now() - begin < std::chrono::seconds(60)) {
      // A trickle: slow enough to be overtaken, fast enough for a low-speed limit.
      if (!SendAll(fd, content_.data() + at, 1)) return false;
      ++at;
      ++bodyBytes_;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    const int64_t n = std::min<int64_t>(64 * 1024, limit - at);
    if (!SendAll(fd, content_.data() + at, static_cast<size_t>(n))) return false;
    at += n;
    bodyBytes_ += n;
    if (fault && fault->kind == FaultKind::Slow && fault->rate > 0) {
      const auto due = begin + std::chrono::microseconds((at - first) * 1000000 / fault->rate);
      while (!stopping_ && std::chrono::steady_clock::now() < due) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  }
  if (fault && fault->kind == FaultKind::Stall) return WaitWhilePeerConnected(fd);
  return true;
}

void TestFileServer::Serve(int fd) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (stopping_) return;
    if (::poll(&p, 1, 50) <= 0) continue;
    const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
    if (n <= 0) return;
    head.append(buffer, static_cast<size_t>(n));
  }
  Request request;
  request.method = head.substr(0, head.find(' '));
  const int64_t size = static_cast<int64_t>(content_.size());
  std::string lower = head;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  const size_t rangeAt = lower.find("\r\nrange: bytes=");
  if (rangeAt != std::string::npos) {
    long long a = 0, b = -1;
    const char* text = head.c_str() + rangeAt + 15;
    if (std::sscanf(text, "%lld-%lld", &a, &b) >= 1) {
      request.ranged = true;
      request.first = a;
      request.last = b < 0 || b >= size ? size - 1 : b;
    }
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
  }
  const std::string target =
      head.substr(head.find(' ') + 1, head.find(' ', head.find(' ') + 1) - head.find(' ') - 1);
  if (target != path) {
    const std::string answer =
        "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found";
    SendAll(fd, answer.data(), answer.size());
    return;
  }
  if (request.method == "HEAD" && headStatus != 200) {
    // A HEAD refused: the length announced is that of the error page.
    const std::string answer = "HTTP/1.1 " + std::to_string(headStatus) +
                               " Refused\r\nContent-Length: 19\r\nConnection: close\r\n\r\n";
    SendAll(fd, answer.data(), answer.size());
    return;
  }
  if (request.method == "HEAD") {
    std::string answer = "HTTP/1.1 200 OK\r\nAccept-Ranges: bytes\r\nConnection: close\r\n";
    const int64_t announced = headLength >= 0 ? headLength : static_cast<int64_t>(size);
    answer += headWithoutLength ? "Transfer-Encoding: chunked\r\n\r\n"
                                : "Content-Length: " + std::to_string(announced) + "\r\n\r\n";
    SendAll(fd, answer.data(), answer.size());
    return;
  }
  Fault fault;
  const bool faulty = TakeFault(request.ranged ? request.first : 0, fault);
  if (faulty && fault.kind == FaultKind::Status) {
    const std::string page = "<html>error " + std::to_string(fault.status) + "</html>";
    const std::string answer = "HTTP/1.1 " + std::to_string(fault.status) +
                               " Failure\r\nContent-Length: " + std::to_string(page.size()) +
                               "\r\nConnection: close\r\n\r\n" + page;
    SendAll(fd, answer.data(), answer.size());
    return;
  }
  int64_t first = 0, last = size - 1;
  std::string answer;
  const bool whole = ignoreRanges || (faulty && fault.kind == FaultKind::Whole);
  if (request.ranged && !whole && request.first < size) {
    first = request.first;
    last = request.last;
    const int64_t shown = wrongContentRange ? first + 1 : first;
    answer = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(shown) + "-" +
             std::to_string(last) + "/" + std::to_string(size) + "\r\n";
  } else {
    answer = "HTTP/1.1 200 OK\r\n";
  }
  if (!etag.empty()) answer += "ETag: " + etag + "\r\n";
  answer += "Content-Length: " + std::to_string(last - first + 1) + "\r\nConnection: close\r\n\r\n";
  if (!SendAll(fd, answer.data(), answer.size())) return;
  SendBody(fd, first, last, faulty ? &fault : nullptr);
}
