#include "net/http_client.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "testing/servers/local_servers.h"

namespace {

// The custom header lines ("X-..." here) of a raw request, in the order sent.
std::vector<std::string> CustomHeaders(const std::string& raw) {
  std::vector<std::string> custom;
  for (const std::string& line : HeaderLines(raw))
    if (line.rfind("X-", 0) == 0) custom.push_back(line);
  return custom;
}

std::string FailureText(CURLcode code) {
  return std::string("curl_easy_perform() failed:") + curl_easy_strerror(code) + "\n";
}

TEST(HttpClientGet, SplitsHeaderTextAtLineBreaksSkippingEmptyPieces) {
  RawServer server;
  ASSERT_TRUE(server.listening());
  server.SetResponse(RawServer::Response(200, "ok"));
  struct Case {
    const char* name;
    std::string headers;
    std::vector<std::string> expected;
  } cases[] = {
      {"empty header text", "", {}},
      {"one line", "X-A: 1", {"X-A: 1"}},
      {"two separators in a row", "X-A: 1\r\n\r\nX-B: 2", {"X-A: 1", "X-B: 2"}},
      {"trailing separator", "X-A: 1\r\nX-B: 2\r\n", {"X-A: 1", "X-B: 2"}},
      {"leading separator", "\r\nX-A: 1", {"X-A: 1"}},
      {"separators only", "\r\n\r\n", {}},
      {"a line without value is not sent", "X-Empty:\r\nX-B: 2", {"X-B: 2"}},
      {"order kept", "X-Z: 1\r\nX-A: 2\r\nX-M: 3", {"X-Z: 1", "X-A: 2", "X-M: 3"}},
  };
  for (const Case& c : cases) {
    server.ClearRequests();
    HttpClient client;
    std::string response;
    EXPECT_EQ(client.Get(server.Url() + "/h", c.headers, response, nullptr, 5), 200) << c.name;
    EXPECT_EQ(response, "ok") << c.name;
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u) << c.name;
    EXPECT_EQ(RequestLine(requests[0]), "GET /h HTTP/1.1") << c.name;
    EXPECT_EQ(CustomHeaders(requests[0]), c.expected) << c.name;
  }
}

TEST(HttpClientGet, ReusedObjectCarriesNoEarlierHeadersOrMethod) {
  RawServer server;
  ASSERT_TRUE(server.listening());
  server.SetResponse(RawServer::Response(200, "ok"));
  HttpClient client;
  std::string response;
  ASSERT_EQ(client.Get(server.Url() + "/1", "X-A: 1\r\nX-B: 2", response, nullptr, 5), 200);
  ASSERT_EQ(client.Get(server.Url() + "/2", "", response, nullptr, 5), 200);
  ASSERT_EQ(client.PostJson(server.Url() + "/3", "X-Post: 1", "{}", response), 200);
  ASSERT_EQ(client.Get(server.Url() + "/4", "", response, nullptr, 5), 200);

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(CustomHeaders(requests[0]), (std::vector<std::string>{"X-A: 1", "X-B: 2"}));
  EXPECT_EQ(CustomHeaders(requests[1]), std::vector<std::string>{});
  EXPECT_EQ(RequestLine(requests[2]), "POST /3 HTTP/1.1");
  // After a POST the same object still sends a plain GET without the POST's headers.
  EXPECT_EQ(RequestLine(requests[3]), "GET /4 HTTP/1.1");
  EXPECT_EQ(CustomHeaders(requests[3]), std::vector<std::string>{});
  for (const std::string& line : HeaderLines(requests[3]))
    EXPECT_NE(line.rfind("Content-Type", 0), 0u) << line;
}

class HttpClientServerTest : public testing::Test {
 protected:
  void SetUp() override {
    auto& s = server_.server();
    s.Get("/ok",
          [](const httplib::Request&, httplib::Response& res) { res.set_content("hello", "text/plain"); });
    s.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
      res.status = 404;
      res.set_content("no such page", "text/html");
    });
    // /r/N redirects N times before answering.
    auto redirect = [](const httplib::Request& req, httplib::Response& res) {
      int left = std::stoi(req.matches[1]);
      if (left == 0) {
        res.set_content("end", "text/plain");
      } else {
        res.set_redirect("/r/" + std::to_string(left - 1));
      }
    };
    s.Get(R"(/r/(\d+))", redirect);
    s.Post(R"(/r/(\d+))", redirect);
    s.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      for (int i = 0; i < 500 && !server_.stopping; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      res.set_content("late", "text/plain");
    });
    // 1000 bytes, then nothing more until the server stops.
    s.Get("/partial", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream",
                                       [this](size_t offset, httplib::DataSink& sink) {
                                         if (offset == 0)
                                           return sink.write(std::string(1000, 'p').data(), 1000);
                                         for (int i = 0; i < 500 && !server_.stopping; ++i)
                                           std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                         return false;
                                       });
    });
    s.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(300000, 'b'), "application/octet-stream");
    });
    server_.Start();
    ASSERT_GT(server_.port(), 0);
  }

  std::string Url(const std::string& path) const { return server_.Url() + path; }
  LocalServer server_;
};

TEST_F(HttpClientServerTest, ResultConventionOfGet) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/x";
  struct Case {
    const char* name;
    std::string url;
    int expected;
    std::string response;
  } cases[] = {
      {"200 with body", Url("/ok"), 200, "hello"},
      {"404 keeps the error page", Url("/missing"), 404, "no such page"},
      {"five redirects followed", Url("/r/5"), 200, "end"},
      {"sixth redirect fails", Url("/r/6"), CURLE_TOO_MANY_REDIRECTS, FailureText(CURLE_TOO_MANY_REDIRECTS)},
      {"connection refused", refused, CURLE_COULDNT_CONNECT, FailureText(CURLE_COULDNT_CONNECT)},
      {"malformed URL", "http://", CURLE_URL_MALFORMAT, FailureText(CURLE_URL_MALFORMAT)},
  };
  for (const Case& c : cases) {
    HttpClient client;
    std::string response = "stale";
    EXPECT_EQ(client.Get(c.url, "", response, nullptr, 10), c.expected) << c.name;
    EXPECT_EQ(response, c.response) << c.name;
  }
}

TEST_F(HttpClientServerTest, TimeOutGives28AndItsText) {
  HttpClient client;
  std::string response;
  EXPECT_EQ(client.Get(Url("/stall"), "", response, nullptr, 1), 28);
  EXPECT_EQ(response, "curl_easy_perform() failed:Timeout was reached\n");
}

TEST_F(HttpClientServerTest, PostJsonReturnsRedirectStatusItself) {
  HttpClient client;
  std::string response = "stale";
  EXPECT_EQ(client.PostJson(Url("/r/1"), "User-Agent: t", "{}", response), 302);
  // The same object, used for a GET first, still does not follow on POST.
  HttpClient reused;
  ASSERT_EQ(reused.Get(Url("/r/2"), "", response, nullptr, 5), 200);
  EXPECT_EQ(reused.PostJson(Url("/r/1"), "User-Agent: t", "{}", response), 302);
}

TEST_F(HttpClientServerTest, FileSinkGetsTheBodyAndShortWritesFail) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  HttpClient client;
  std::string response = "stale";
  EXPECT_EQ(client.Get(Url("/big"), "", response, file, 10), 200);
  EXPECT_EQ(response, "");
  EXPECT_EQ(std::ftell(file), 300000);
  std::rewind(file);
  std::string content(300000, '\0');
  EXPECT_EQ(std::fread(&content[0], 1, content.size(), file), content.size());
  EXPECT_EQ(content, std::string(300000, 'b'));
  std::fclose(file);

  // A failed transfer leaves what was written in the file.
  std::FILE* partial = std::tmpfile();
  ASSERT_NE(partial, nullptr);
  EXPECT_EQ(client.Get(Url("/partial"), "", response, partial, 1), CURLE_OPERATION_TIMEDOUT);
  EXPECT_EQ(response, FailureText(CURLE_OPERATION_TIMEDOUT));
  EXPECT_EQ(std::ftell(partial), 1000);
  std::fclose(partial);

  // A stream that cannot be written (as on a full disk) aborts with the write error.
  std::FILE* readOnly = std::fopen("/dev/null", "r");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(client.Get(Url("/big"), "", response, readOnly, 10), CURLE_WRITE_ERROR);
  EXPECT_EQ(response, FailureText(CURLE_WRITE_ERROR));
  std::fclose(readOnly);
}

TEST_F(HttpClientServerTest, ProgressCallbackSeesTheTransferAndMayAbortIt) {
  struct Progress {
    int calls = 0;
    double lastNow = 0;
    bool abort = false;
  };
  auto callback = [](void* context, double, double now, double, double) -> int {
    auto* p = static_cast<Progress*>(context);
    ++p->calls;
    p->lastNow = now;
    return p->abort ? 1 : 0;
  };
  Progress progress;
  HttpClient client;
  client.progressCallback = callback;
  client.progressContext = &progress;
  std::string response;
  EXPECT_EQ(client.Get(Url("/big"), "", response, nullptr, 10), 200);
  EXPECT_GT(progress.calls, 0);
  EXPECT_EQ(progress.lastNow, 300000);

  Progress aborting;
  aborting.abort = true;
  client.progressContext = &aborting;
  EXPECT_EQ(client.Get(Url("/big"), "", response, nullptr, 10), CURLE_ABORTED_BY_CALLBACK);
  EXPECT_EQ(response, FailureText(CURLE_ABORTED_BY_CALLBACK));

  // Without a callback the earlier one is no longer called.
  client.progressCallback = nullptr;
  int before = aborting.calls;
  EXPECT_EQ(client.Get(Url("/big"), "", response, nullptr, 10), 200);
  EXPECT_EQ(aborting.calls, before);
}

TEST_F(HttpClientServerTest, InfoSecondsReadsTimingsOfTheLastTransfer) {
  HttpClient client;
  std::string response;
  EXPECT_EQ(client.InfoSeconds(CURLINFO_TOTAL_TIME), 0);
  ASSERT_EQ(client.Get(Url("/ok"), "", response, nullptr, 5), 200);
  EXPECT_GT(client.InfoSeconds(CURLINFO_TOTAL_TIME), 0);
  EXPECT_GE(client.InfoSeconds(CURLINFO_TOTAL_TIME), client.InfoSeconds(CURLINFO_CONNECT_TIME));
  // Not a double-valued item: nothing is read.
  EXPECT_EQ(client.InfoSeconds(CURLINFO_RESPONSE_CODE), 0);
}

TEST(HttpClientGet, AsksForGzipAndInflatesTheBody) {
  RawServer server;
  ASSERT_TRUE(server.listening());
  // gzip of "hello gzip"
  const unsigned char gz[] = {0x1f, 0x8b, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x03,
                              0xcb, 0x48, 0xcd, 0xc9, 0xc9, 0x57, 0x48, 0xaf, 0xca, 0x2c,
                              0x00, 0x00, 0x19, 0x6a, 0xd2, 0xdf, 0x0a, 0x00, 0x00, 0x00};
  server.SetResponse(RawServer::Response(200, std::string(reinterpret_cast<const char*>(gz), sizeof gz),
                                         "Content-Encoding: gzip\r\n"));
  HttpClient client;
  std::string response;
  EXPECT_EQ(client.Get(server.Url() + "/z", "", response, nullptr, 5), 200);
  EXPECT_EQ(response, "hello gzip");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  auto lines = HeaderLines(requests[0]);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Accept-Encoding: gzip"), lines.end());
}

TEST(HttpClientPostJson, SendsContentTypeThenHeaderAndTheBodyUpToNul) {
  RawServer server;
  ASSERT_TRUE(server.listening());
  server.SetResponse(RawServer::Response(201, "{\"ok\":true}"));
  struct Case {
    const char* name;
    std::string body;
    std::string sent;
  } cases[] = {
      {"JSON body", "{\"a\":\"\xC3\xA9\"}", "{\"a\":\"\xC3\xA9\"}"},
      {"empty body", "", ""},
      {"body ends at the first NUL", std::string("{}\0tail", 7), "{}"},
  };
  for (const Case& c : cases) {
    server.ClearRequests();
    HttpClient client;
    std::string response = "stale";
    EXPECT_EQ(client.PostJson(server.Url() + "/report", "User-Agent: PC/test", c.body, response), 201)
        << c.name;
    EXPECT_EQ(response, "{\"ok\":true}") << c.name;
    auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u) << c.name;
    EXPECT_EQ(RequestLine(requests[0]), "POST /report HTTP/1.1") << c.name;
    auto lines = HeaderLines(requests[0]);
    auto type = std::find(lines.begin(), lines.end(), "Content-Type:application/json;charset=UTF-8");
    auto agent = std::find(lines.begin(), lines.end(), "User-Agent: PC/test");
    ASSERT_NE(type, lines.end()) << c.name;
    ASSERT_NE(agent, lines.end()) << c.name;
    EXPECT_LT(type - lines.begin(), agent - lines.begin()) << c.name;
    EXPECT_EQ(RequestBody(requests[0]), c.sent) << c.name;
  }
}

TEST(HttpClientProxy, SwitchSendsBothOperationsThroughTheLocalProxy) {
  // Another test process may hold the port for a moment: wait for it, boundedly.
  std::unique_ptr<RawServer> listener;
  for (int attempt = 0; attempt < 300; ++attempt) {
    listener = std::make_unique<RawServer>(8888);
    if (listener->listening()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  RawServer& proxy = *listener;
  ASSERT_TRUE(proxy.listening()) << "port 8888 stayed taken";
  proxy.SetResponse(RawServer::Response(200, "via proxy"));
  TransferPolicy viaProxy;
  viaProxy.debugProxy = true;

  HttpClient client(viaProxy);
  std::string response;
  EXPECT_EQ(client.Get("http://directory.invalid/list?x=1", "X-A: 1", response, nullptr, 5), 200);
  EXPECT_EQ(response, "via proxy");
  HttpClient poster(viaProxy);
  EXPECT_EQ(poster.PostJson("http://report.invalid/r", "User-Agent: t", "{}", response), 200);
  EXPECT_EQ(response, "via proxy");
  // HTTPS is tunnelled: the proxy sees the CONNECT for the host.
  HttpClient secure(viaProxy);
  EXPECT_NE(secure.Get("https://static.invalid/f", "", response, nullptr, 5), 200);

  auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(RequestLine(requests[0]), "GET http://directory.invalid/list?x=1 HTTP/1.1");
  EXPECT_EQ(CustomHeaders(requests[0]), std::vector<std::string>{"X-A: 1"});
  EXPECT_EQ(RequestLine(requests[1]), "POST http://report.invalid/r HTTP/1.1");
  EXPECT_EQ(RequestLine(requests[2]), "CONNECT static.invalid:443 HTTP/1.1");
}

}  // namespace
