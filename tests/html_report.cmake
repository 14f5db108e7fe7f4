# `orv01 analyze --html`: the page read back with a strict XML parser (libxml2) and queried.
find_package(LibXml2 REQUIRED)
orv_add_test(html_report_tests SOURCES shell/html_report_test.cpp LIBS orv_shell tsgen LibXml2::LibXml2)
