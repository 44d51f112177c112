#include "tools/vendor_sim/download_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <vector>

const char kDownloadPath[] = "/official/pc/client_channel/QVInstaller.exe";

namespace {

constexpr int kPollMs = 100;
constexpr int kIdleMs = 15000;  // a keep-alive connection without a request ends
constexpr size_t kMaxHead = 16 * 1024;

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// A single "bytes=" range resolved against `size`: 1 = range, 0 = none or
// ignored (several ranges, garbage), -1 = unsatisfiable.
int ResolveRange(const std::string& value, int64_t size, int64_t& first, int64_t& last) {
  std::string v = Trim(value);
  if (v.compare(0, 6, "bytes=") != 0) return 0;
  v = Trim(v.substr(6));
  if (v.find(',') != std::string::npos) return 0;
  size_t dash = v.find('-');
  if (dash == std::string::npos) return 0;
  std::string a = Trim(v.substr(0, dash)), b = Trim(v.substr(dash + 1));
  auto digits = [](const std::string& s) {
    return !s.empty() && s.size() < 19 && s.find_first_not_of("0123456789") == std::string::npos;
  };
  if (a.empty()) {  // suffix: the last b bytes
    if (!digits(b)) return 0;
    int64_t n = std::stoll(b);
    if (n == 0 || size == 0) return -1;
    first = std::max<int64_t>(0, size - n);
    last = size - 1;
    return 1;
  }
  if (!digits(a) || (!b.empty() && !digits(b))) return 0;
  first = std::stoll(a);
  last = b.empty() ? size - 1 : std::min<int64_t>(std::stoll(b), size - 1);
  if (!b.empty() && std::stoll(b) < first) return 0;
  if (first >= size) return -1;
  return 1;
}

const char* Reason(int code) {
  switch (code) {
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 500:
      return "Internal Server Error";
    case 502:
      return "Bad Gateway";
    case 503:
      return "Service Unavailable";
    default:
      return code < 400 ? "OK" : "Error";
  }
}

}  // namespace

DownloadServer::DownloadServer(int index, const DomainConfig& config, Content& content, RequestLog& log,
                               bool gzip, const Content* foreign)
    : index_(index), config_(config), content_(content), foreign_(foreign), log_(log), gzip_(gzip) {}

DownloadServer::~DownloadServer() { Stop(); }

bool DownloadServer::Start() {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return false;
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    return false;
  port_ = ntohs(addr.sin_port);
  if (config_.refuse) {  // the port stays closed: connects are refused
    close(listenFd_);
    listenFd_ = -1;
    return true;
  }
  if (listen(listenFd_, 64) != 0) return false;
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void DownloadServer::Stop() {
  stopping_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return connections_ == 0; });
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
}

void DownloadServer::AcceptLoop() {
  while (!stopping_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, kPollMs) <= 0) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
    }
    std::thread([this, fd] {
      Serve(fd);
      close(fd);
      std::lock_guard<std::mutex> lock(mutex_);
      if (--connections_ == 0) idle_.notify_all();
    }).detach();
  }
}

namespace {

// Sends everything unless the peer goes away or the server stops.
bool SendAll(int fd, const char* data, size_t len, const std::atomic<bool>& stopping) {
  while (len > 0) {
    if (stopping) return false;
    pollfd p{fd, POLLOUT, 0};
    int r = poll(&p, 1, kPollMs);
    if (r < 0) return false;
    if (r == 0) continue;
    ssize_t n = send(fd, data, len, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// Waits until the peer closes the connection or the server stops.
void WaitForPeerClose(int fd, const std::atomic<bool>& stopping) {
  char sink[4096];
  while (!stopping) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, kPollMs);
    if (r < 0) return;
    if (r > 0 && recv(fd, sink, sizeof sink, 0) <= 0) return;
  }
}

}  // namespace

void DownloadServer::Serve(int fd) {
  std::string buffer;
  auto idleSince = std::chrono::steady_clock::now();
  while (!stopping_) {
    size_t end = buffer.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string head = buffer.substr(0, end);
      buffer.erase(0, end + 4);
      if (!Answer(fd, head)) return;
      buffer.clear();  // a pipelined request body or request is not supported
      idleSince = std::chrono::steady_clock::now();
      continue;
    }
    if (buffer.size() > kMaxHead) return;
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, kPollMs);
    if (r < 0) return;
    if (r == 0) {
      if (std::chrono::steady_clock::now() - idleSince > std::chrono::milliseconds(kIdleMs)) return;
      continue;
    }
    char chunk[4096];
    ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return;
    buffer.append(chunk, static_cast<size_t>(n));
  }
}

bool DownloadServer::Answer(int fd, const std::string& head) {
  RecordedRequest rec;
  rec.server = "domain";
  rec.domain = index_;
  size_t lineEnd = head.find("\r\n");
  std::string requestLine = head.substr(0, lineEnd);
  size_t s1 = requestLine.find(' '), s2 = requestLine.rfind(' ');
  if (s1 == std::string::npos || s2 == s1) return false;
  rec.method = requestLine.substr(0, s1);
  std::string target = requestLine.substr(s1 + 1, s2 - s1 - 1);
  std::string version = requestLine.substr(s2 + 1);
  size_t q = target.find('?');
  rec.path = target.substr(0, q);
  if (q != std::string::npos) rec.query = target.substr(q + 1);
  size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (at < head.size()) {
    size_t e = head.find("\r\n", at);
    if (e == std::string::npos) e = head.size();
    std::string line = head.substr(at, e - at);
    size_t colon = line.find(':');
    if (colon != std::string::npos)
      rec.headers.emplace(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    at = e + 2;
  }
  auto header = [&rec](const char* name) {
    for (const auto& [k, v] : rec.headers)
      if (Lower(k) == name) return v;
    return std::string();
  };
  bool keepAlive = Lower(header("connection")) != "close" && version == "HTTP/1.1";
  if (!header("content-length").empty() && header("content-length") != "0") keepAlive = false;

  const bool isHead = rec.method == "HEAD";
  const bool isGet = rec.method == "GET";
  const bool isFile = rec.path == kDownloadPath && (isHead || isGet);
  int number = isFile ? (isGet ? ++gets_ : gets_ + 1) : 0;

  const Fault* status = nullptr;
  const Fault* body = nullptr;  // stall or drop
  const Fault* variant = nullptr;  // what is served instead of the file
  const Fault* headLength = nullptr;
  bool reset = false, noRanges = false, noLength = false, html = false;
  if (isFile) {
    for (const auto& f : config_.faults) {
      if (f.from > number) continue;
      if (f.kind == Fault::kHtml) html = true;
      if (f.kind == Fault::kHeadStatus && isHead && !status) status = &f;
      if (f.kind == Fault::kHeadLength && isHead) headLength = &f;
      if ((f.kind == Fault::kUnsigned || f.kind == Fault::kTamper || f.kind == Fault::kForeign ||
           f.kind == Fault::kShort) && !variant)
        variant = &f;
      if (f.kind == Fault::kReset) reset = true;
      if (f.kind == Fault::kNoRanges) noRanges = true;
      if (f.kind == Fault::kNoLength) noLength = true;
      if (f.kind == Fault::kStatus && !status) status = &f;
      if ((f.kind == Fault::kStall || f.kind == Fault::kDrop || f.kind == Fault::kCut) && !body) body = &f;
    }
  }

  if (reset) {
    rec.fault = "reset";
    log_.Add(rec);
    linger l{1, 0};  // close with RST
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    return false;
  }

  std::string connection = keepAlive ? "keep-alive" : "close";
  if (!isFile || status) {
    int code = status ? static_cast<int>(status->arg) : (rec.path == kDownloadPath ? 405 : 404);
    rec.status = code;
    if (status)
      rec.fault = (status->kind == Fault::kHeadStatus ? "headstatus=" : "status=") + std::to_string(code);
    log_.Add(rec);
    std::string text = "no such file\n";
    std::string out = "HTTP/1.1 " + std::to_string(code) + " " + Reason(code) +
                      "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) +
                      "\r\nConnection: " + connection + "\r\n\r\n";
    if (!isHead) out += text;
    return SendAll(fd, out.data(), out.size(), stopping_) && keepAlive;
  }

  if (html) {  // a portal's or an error page's HTML, answered 200 whatever was asked
    static const std::string page =
        "<!DOCTYPE html>\n<html><head><title>Sign in</title></head>\n"
        "<body><p>Please sign in to use this network.</p></body></html>\n";
    rec.status = 200;
    rec.fault = "html";
    log_.Add(rec);
    std::string out = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                      std::to_string(page.size()) + "\r\nConnection: " + connection + "\r\n\r\n";
    if (!isHead) out += page;
    return SendAll(fd, out.data(), out.size(), stopping_) && keepAlive;
  }

  ContentVariant served = WholeContent(content_);
  if (variant) {
    switch (variant->kind) {
      case Fault::kUnsigned:
        served = UnsignedContent(content_);
        rec.fault = "unsigned";
        break;
      case Fault::kTamper:
        served = TamperedContent(content_, variant->arg);
        rec.fault = "tamper";
        break;
      case Fault::kForeign:
        if (foreign_) served = WholeContent(*foreign_);
        rec.fault = "foreign";
        break;
      default:
        served = TruncatedContent(content_, variant->arg);
        rec.fault = "short";
        break;
    }
  }
  const int64_t size = served.size;
  int64_t first = 0, last = size - 1;
  int range = noRanges ? 0 : ResolveRange(header("range"), size, first, last);
  if (noRanges && !header("range").empty()) rec.fault = "noranges";
  if (range < 0) {
    rec.status = 416;
    log_.Add(rec);
    std::string out = "HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" + std::to_string(size) +
                      "\r\nContent-Length: 0\r\nConnection: " + connection + "\r\n\r\n";
    return SendAll(fd, out.data(), out.size(), stopping_) && keepAlive;
  }
  const std::string* gzipped = nullptr;
  if (range == 0 && gzip_ && isGet && served.whole() && served.source == &content_ && Lower(header("accept-encoding")).find("gzip") != std::string::npos) {
    gzipped = &content_.Gzipped();
    if (gzipped->empty() && size > 0) gzipped = nullptr;
  }
  if (range == 0) {
    first = 0;
    last = size - 1;
  }
  const int64_t length = gzipped ? static_cast<int64_t>(gzipped->size()) : last - first + 1;
  rec.status = range == 1 ? 206 : 200;
  std::string out = "HTTP/1.1 " + std::string(range == 1 ? "206 Partial Content" : "200 OK") +
                    "\r\nContent-Type: application/octet-stream\r\n";
  if (noLength) {
    rec.fault = "nolength";
    if (isGet) {  // the body then ends with the connection
      keepAlive = false;
      connection = "close";
    }
  } else if (headLength) {
    rec.fault = "headlength";
    out += "Content-Length: " + std::to_string(headLength->arg) + "\r\n";
  } else {
    out += "Content-Length: " + std::to_string(length) + "\r\n";
  }
  if (!noRanges) out += "Accept-Ranges: bytes\r\n";
  if (range == 1)
    out += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
           std::to_string(size) + "\r\n";
  if (gzipped) {
    out += "Content-Encoding: gzip\r\n";
    rec.encoding = "gzip";
  }
  out += "Connection: " + connection + "\r\n\r\n";

  int64_t toSend = isHead ? 0 : length;
  bool closeAfter = false;
  if (body && isGet) {
    if (body->kind == Fault::kStall) {
      toSend = body->arg < 0 ? 0 : std::min(body->arg, length);
      rec.fault = "stall";
    } else if (body->kind == Fault::kCut) {
      // The file ends for this answer at its byte `arg`, wherever the answer began.
      toSend = std::clamp<int64_t>(body->arg - first, 0, length);
      rec.fault = "cut";
      closeAfter = true;
    } else {
      toSend = body->arg < 0 ? length / 2 : std::min(body->arg, length);
      rec.fault = "drop";
      closeAfter = true;
    }
  }
  log_.Add(rec);
  if (!SendAll(fd, out.data(), out.size(), stopping_)) return false;

  // The body, paced to the domain's rate on this connection.
  std::vector<char> chunk(64 * 1024);
  if (config_.rate > 0)
    chunk.resize(static_cast<size_t>(std::clamp<int64_t>(config_.rate / 20, 1024, 64 * 1024)));
  const auto start = std::chrono::steady_clock::now();
  int64_t sent = 0;
  // What the body handed out is counted however the answer ends.
  struct Counted {
    RequestLog& log;
    int domain;
    const int64_t& sent;
    ~Counted() { log.CountBody(domain, sent); }
  } counted{log_, index_, sent};
  while (sent < toSend) {
    size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(chunk.size()), toSend - sent));
    if (gzipped)
      std::memcpy(chunk.data(), gzipped->data() + sent, n);
    else if (!served.Read(first + sent, n, chunk.data()))
      return false;
    if (!SendAll(fd, chunk.data(), n, stopping_)) return false;
    sent += static_cast<int64_t>(n);
    if (config_.rate > 0) {
      auto due = start + std::chrono::microseconds(sent * 1000000 / config_.rate);
      while (!stopping_ && std::chrono::steady_clock::now() < due)
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            due - std::chrono::steady_clock::now(), std::chrono::milliseconds(kPollMs)));
    }
  }
  if (body && isGet && body->kind == Fault::kStall) {
    WaitForPeerClose(fd, stopping_);
    return false;
  }
  if (closeAfter) {
    shutdown(fd, SHUT_WR);
    return false;
  }
  return keepAlive;
}
