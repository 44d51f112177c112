# Vendor host names are build configuration. The defaults are placeholders.
set(QV_DIRECTORY_TEST_URL "https://directory-test.quorvane.invalid" CACHE STRING "backup domain directory, test host (scheme and host)")
set(QV_DIRECTORY_PROD_URL "https://directory.quorvane.invalid" CACHE STRING "backup domain directory, production host")
set(QV_STATIC_DOMAIN "https://static.quorvane.invalid" CACHE STRING "built-in download domain 1 (static content)")
set(QV_APPHUB_DOMAIN "https://apphub.quorvane.invalid" CACHE STRING "built-in download domain 2 (app hub)")
set(QV_REPORT_URL "http://report.quorvane.invalid" CACHE STRING "install event report host (plain HTTP)")
set(QV_CLIENT_SERVICE_URL "https://client.quorvane.invalid" CACHE STRING "client service host (activation report)")
set(QV_WEB_URL "https://www.quorvane.invalid" CACHE STRING "product web host (terms of use, home page)")
set(QV_APP_URL "https://app.quorvane.invalid" CACHE STRING "product application host (direct download)")

# Whose signature a downloaded installer must carry: the subject common name of
# the vendor's code-signing certificate. A QV_TEST_HOOKS build accepts the test
# publisher instead, whose certificate scripts/make_test_certs makes; no build
# takes either name from its environment.
set(QV_PUBLISHER_NAME "Quorvane Software" CACHE STRING "vendor's code-signing subject common name")
set(QV_TEST_PUBLISHER_NAME "Quorvane Test Publisher" CACHE STRING "test publisher accepted by QV_TEST_HOOKS builds")
