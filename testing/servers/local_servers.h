// Real local servers for the network tests (127.0.0.1 only, native build).
#pragma once
#include <httplib.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An httplib server (plain, or TLS with the given certificate) on an
// ephemeral port of 127.0.0.1, listening on its own thread until destroyed.
// Handlers that wait should poll `stopping` so that destruction is prompt.
class LocalServer {
 public:
  LocalServer();
  LocalServer(const std::string& certFile, const std::string& keyFile);
  ~LocalServer();

  httplib::Server& server() { return *server_; }
  // Binds and starts listening; register handlers before.
  void Start();
  int port() const { return port_; }
  std::string Url() const;  // "http(s)://127.0.0.1:port"
  std::atomic<bool> stopping{false};

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = -1;
  bool tls_ = false;
};

// A minimal HTTP/1.1 listener that records every raw request it receives and
// answers each with the same canned bytes, then closes the connection. Port 0
// picks an ephemeral port.
class RawServer {
 public:
  explicit RawServer(int port = 0);
  ~RawServer();

  bool listening() const { return listenFd_ >= 0; }
  int port() const { return port_; }
  std::string Url() const;
  void SetResponse(const std::string& raw);
  std::vector<std::string> Requests() const;
  void ClearRequests();

  // "HTTP/1.1 status X", Content-Length and Connection: close, then the body.
  static std::string Response(int status, const std::string& body, const std::string& extraHeaders = "");

 private:
  void Serve();
  void HandleConnection(int fd);

  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::string response_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The request line of a raw request, and its header lines in the order sent.
std::string RequestLine(const std::string& raw);
std::vector<std::string> HeaderLines(const std::string& raw);
std::string RequestBody(const std::string& raw);

// A port of 127.0.0.1 on which nothing listens (bound, then released).
int ClosedPort();

// TLS material made by make_test_certs.sh, once per test process.
struct TlsFiles {
  std::string dir;
  std::string caFile;                       // the CA the process trusts
  std::string serverCert, serverKey;        // 127.0.0.1, chains to caFile
  std::string wrongHostCert, wrongHostKey;  // chains to caFile, other host name
  std::string untrustedCert, untrustedKey;  // 127.0.0.1, unknown CA
};
const TlsFiles& TestTls();

// Collects debugger-output lines while alive.
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  std::vector<std::string> Lines() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

// The directory server of this test process: QV_DIRECTORY_URL points at it
// (set before the first Vendor() call), and QV_BUILTIN_DOMAINS names
// kBuiltinStatic and kBuiltinAppHub. Defined with the net tests' environment
// (net_test_environment.cpp), which a test executable links to use them.
RawServer& DirectoryServer();
extern const char kBuiltinStatic[];
extern const char kBuiltinAppHub[];
