// Where the vendor's services live. The hosts are build configuration
// (cmake/vendor.cmake). Only a build made with QV_TEST_HOOKS lets its
// environment redirect them, so tests and the demo can use local servers; a
// release build ignores the environment entirely, because an elevated
// installer must not be steerable into downloading an executable from elsewhere.
#pragma once
#include <string>
#include <vector>

struct VendorHosts {
  std::string directoryTest;       // scheme + host of the directory, "-test"
  std::string directoryProd;       // scheme + host of the directory
  std::vector<std::string> builtinDomains;  // static-content domain, app-hub domain
  std::string report;              // install event report host (http)
  std::string clientService;       // activation report host
  std::string web;                 // terms of use, home page
  std::string app;                 // direct download of the full client
  std::string caFile;              // extra CA bundle for TLS checks; empty = system store
  // Subject common name (UTF-8) a downloaded installer's signer must carry.
  // QV_PUBLISHER_NAME; a QV_TEST_HOOKS build fixes QV_TEST_PUBLISHER_NAME at
  // build time instead. Never read from the environment.
  std::string publisher;
};

// The hosts of this process; computed once, safe from any thread.
//
// With QV_TEST_HOOKS these environment variables replace the built-in values:
//   QV_DIRECTORY_URL (the directory), QV_TEST_DIRECTORY_URL (the "-test" directory),
//   QV_BUILTIN_DOMAINS (comma separated),
//   QV_REPORT_URL, QV_CLIENT_SERVICE_URL, QV_WEB_URL, QV_APP_URL, QV_CA_FILE.
const VendorHosts& Vendor();
