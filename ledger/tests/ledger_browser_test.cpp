// Opens the statement's page in a real headless browser: it must load
// without script errors and render its status box and its chart, the
// corrections marked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "ledger_run.h"

namespace {

// Put into a copy of the page for the browser only: records script errors
// and what the chart rendered on the root element, where --dump-dom shows
// them. The page fare-ledger writes has no script.
constexpr const char* TEST_HOOK =
    "<script>\n"
    "window.onerror = function (message) {\n"
    "  document.documentElement.setAttribute('data-errors', String(message));\n"
    "};\n"
    "window.addEventListener('load', function () {\n"
    "  var svg = document.querySelector('svg.chart');\n"
    "  var box = svg ? svg.getBoundingClientRect() : {width: 0, height: 0};\n"
    "  var root = document.documentElement;\n"
    "  root.setAttribute('data-chart-size', box.width + 'x' + box.height);\n"
    "  root.setAttribute('data-bars', String(\n"
    "      svg.querySelectorAll('rect.bar').length));\n"
    "  var status = document.getElementById('status');\n"
    "  root.setAttribute('data-status-height', status ?\n"
    "      String(Math.round(status.getBoundingClientRect().height)) : '0');\n"
    "  root.setAttribute('data-marks', String(\n"
    "      svg.querySelectorAll('circle.correction').length));\n"
    "});\n"
    "</script>\n";

constexpr const char* CHROMIUM = "/usr/bin/chromium";

std::string Dump_Dom(const Scratch_Dir& dir, const std::string& page) {
  std::string command =
      std::string("timeout 120 ") + CHROMIUM +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update"
      " --disable-sync --user-data-dir=" +
      dir.File("profile") + " --window-size=1000,1600 --dump-dom file://" +
      page + " > " + dir.File("dom.out") + " 2> " + dir.File("browser.err");
  EXPECT_EQ(std::system(command.c_str()), 0)
      << Read_File(dir.File("browser.err"));
  return Read_File(dir.File("dom.out"));
}

TEST(LedgerBrowser, StatementPageRendersItsChartAndMarksCorrections) {
  if (::access(CHROMIUM, X_OK) != 0)
    GTEST_SKIP() << "chromium is not installed (" << CHROMIUM
                 << "); .ci/run installs it";
  Ledger_Dir dir;
  for (const char* day : {"2026-12-01", "2026-12-02"}) {
    dir.Settle(day, Day_With(1, 0));
    ASSERT_EQ(dir.Run({"record", day, day}).status, 0);
  }
  dir.Settle("2026-12-02", Day_With(0, 3));
  ASSERT_EQ(dir.Run({"record", "2026-12-02", "2026-12-02", "--correct",
                     "<b>7001</b> & \"late\" \xc3\xa9"})
                .status,
            0);
  Run_Result run = dir.Run({"statement", "2026-12", "--html", "dec.html"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string page = dir.Read("dec.html");
  for (const char* outside :
       {"src=", "href=", "<link", "@import", "url(", "<script"})
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  std::string hooked = page;
  hooked.insert(hooked.find("<head>") + 6, TEST_HOOK);
  dir.Write("hooked.html", hooked);
  std::string dom = Dump_Dom(dir, dir.File("hooked.html"));
  EXPECT_EQ(dom.find("data-errors="), std::string::npos) << dom;
  EXPECT_NE(dom.find("data-chart-size=\"760x280\""), std::string::npos) << dom;
  // Two days, a bar per company each; the corrected day marked.
  EXPECT_NE(dom.find("data-bars=\"4\""), std::string::npos) << dom;
  EXPECT_NE(dom.find("data-marks=\"1\""), std::string::npos) << dom;
  EXPECT_NE(dom.find("data-status-height=\""), std::string::npos) << dom;
  EXPECT_EQ(dom.find("data-status-height=\"0\""), std::string::npos) << dom;
  EXPECT_EQ(dom.find("<b>"), std::string::npos) << "markup leaked";
  EXPECT_NE(
      dom.find("<td>&lt;b&gt;7001&lt;/b&gt; &amp; \"late\" \xc3\xa9</td>"),
      std::string::npos)
      << dom;
  EXPECT_NE(dom.find("<tr><td>to pay</td><td class=\"n\">6,346 won</td>"
                     "<td class=\"n\">13,848 won</td></tr>"),
            std::string::npos)
      << dom;
  EXPECT_NE(dom.find("<p class=\"state\">Open</p>\n<p>the figures may still "
                     "change</p>"),
            std::string::npos);
}

}  // namespace
