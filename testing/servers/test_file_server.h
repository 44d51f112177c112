// A real HTTP/1.1 file server on 127.0.0.1 for the download tests (native
// build), with byte ranges and injected faults. Every answer closes its
// connection. Each request is served on its own thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Deterministic bytes that differ at every offset of a misplaced range.
std::string MakeContent(int64_t size, uint32_t seed = 1);
// A 64-bit FNV-1a hash.
uint64_t HashBytes(const std::string& bytes);
// The whole file, or "" with ok false when it cannot be read.
std::string ReadWholeFile(const std::string& path, bool* ok = nullptr);
// A port of 127.0.0.1 on which nothing listens.
int UnusedPort();

class TestFileServer {
 public:
  enum class FaultKind {
    Drop,    // send `bytes` of the body, then close the connection
    Stall,   // send `bytes` of the body, then nothing until the client leaves
    Status,  // answer `status` with a short error page
    Slow,    // send the body at `rate` bytes per second; with rate 0, trickle
             // until a request for a later part of the same range arrives
    Whole,   // ignore the range: 200 with the whole file
  };
  struct Fault {
    int64_t at = -1;  // first byte the request asks for (0 without a range); -1 any GET
    FaultKind kind = FaultKind::Drop;
    int64_t bytes = 0;
    int status = 500;
    int64_t rate = 0;
    int times = 1;  // requests it applies to; -1 every one
  };
  struct Request {
    std::string method;
    bool ranged = false;
    int64_t first = 0;
    int64_t last = -1;
  };

  // `port` 0 picks a free one; another one serves at a port used before.
  explicit TestFileServer(std::string content, int port = 0);
  ~TestFileServer();

  // Options; set before the client starts.
  void AddFault(const Fault& fault);
  bool ignoreRanges = false;       // answer every GET with 200 and the whole file
  bool wrongContentRange = false;  // 206 whose Content-Range starts one byte late
  bool headWithoutLength = false;  // HEAD answered without Content-Length
  int headStatus = 200;            // status of the HEAD answer (others get a short error body)
  int64_t headLength = -1;         // Content-Length the HEAD announces; -1: the file's size
  std::string path = "/file.bin";
  std::string etag;                // sent as ETag with every answer of the file when not empty

  int port() const { return port_; }
  std::string Url() const;  // "http://127.0.0.1:port/file.bin"
  std::vector<Request> Requests() const;
  int CountRequests(const std::string& method) const;
  // Body bytes of the file written to clients so far.
  int64_t BodyBytesSent() const { return bodyBytes_.load(); }

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool TakeFault(int64_t at, Fault& fault);
  bool SendAll(int fd, const char* data, size_t size);
  bool SendBody(int fd, int64_t first, int64_t last, const Fault* fault);
  bool WaitWhilePeerConnected(int fd);
  bool SplitRequested(int64_t first, int64_t last) const;

  std::string content_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int64_t> bodyBytes_{0};
  std::thread acceptThread_;
  mutable std::mutex lock_;
  std::vector<std::thread> connections_;
  std::vector<Fault> faults_;
  std::vector<Request> requests_;
};
