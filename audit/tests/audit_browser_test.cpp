// Opens the audit's HTML page in a real headless browser: it must load
// without script errors and render both charts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "audit_run.h"

namespace {

// Put into a copy of the page for the browser only: records script errors
// and how many charts rendered on the root element, where --dump-dom shows
// them. The page the audit writes has no script.
constexpr const char* TEST_HOOK =
    "<script>\n"
    "window.onerror = function (message) {\n"
    "  var root = document.documentElement;\n"
    "  root.setAttribute('data-errors', String(message));\n"
    "};\n"
    "window.addEventListener('load', function () {\n"
    "  var rendered = 0;\n"
    "  document.querySelectorAll('svg.chart').forEach(function (svg) {\n"
    "    var box = svg.getBoundingClientRect();\n"
    "    if (box.width > 0 && box.height > 0 &&\n"
    "        svg.querySelector('rect, text')) rendered += 1;\n"
    "  });\n"
    "  document.documentElement.setAttribute('data-charts-rendered',\n"
    "                                        String(rendered));\n"
    "});\n"
    "</script>\n";

// The page with TEST_HOOK at the start of its head.
std::string With_Test_Hook(const std::string& page) {
  const std::string head = "<head>";
  std::size_t at = page.find(head);
  EXPECT_NE(at, std::string::npos);
  if (at == std::string::npos) return page;
  std::string hooked = page;
  hooked.insert(at + head.size(), TEST_HOOK);
  return hooked;
}

constexpr const char* CHROMIUM = "/usr/bin/chromium";

// Runs chromium on page with a fresh profile; extra is --dump-dom or
// --screenshot=FILE. Returns what it prints on standard output.
std::string Run_Browser(const Scratch_Dir& dir, const std::string& page,
                        const std::string& extra) {
  std::string out = dir.File("browser.out");
  std::string command =
      std::string("timeout 120 ") + CHROMIUM +
      " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
      " --disable-background-networking --disable-component-update"
      " --disable-sync --user-data-dir=" +
      dir.File(std::string("profile") + std::to_string(extra.size())) +
      " --window-size=1000,1600 " + extra + " file://" + page + " > " + out +
      " 2> " + dir.File("browser.err");
  int status = std::system(command.c_str());
  EXPECT_EQ(status, 0) << command << "\n" << Read_File(dir.File("browser.err"));
  return Read_File(out);
}

TEST(AuditBrowser, PageLoadsWithoutErrorsAndRendersBothCharts) {
  if (::access(CHROMIUM, X_OK) != 0)
    GTEST_SKIP() << "chromium is not installed (" << CHROMIUM
                 << "); .ci/run installs it";
  Scratch_Dir day;
  Settled_Day settled = WORKED_RUN;
  // A second journey whose terminal text holds markup, a quote, UTF-8 and a
  // carriage return, all of which the page must show as text.
  settled.day.files[0] += "400,1,1,0,<i>\"&\xc3\xa9\r\n";
  settled.day.files[1] += "390,0,1,1050,<i>\"&\xc3\xa9\r\n";
  settled.history =
      "200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\n"
      "400,1,1,0,<i>\"&\xc3\xa9\r\n390,0,1,1050,<i>\"&\xc3\xa9\r\nEND";
  settled.bus_summary = "400,1,3173";
  settled.metro_summary = "390,0,5874";
  Lay_Out_Settled_Day(day, settled);
  Run_Result run = Run_Audit({"--html", "audit.html", "."}, day.Path());
  ASSERT_EQ(run.status, 0) << run.err;
  std::string page = day.Read("audit.html");
  for (const char* outside : {"src=", "href=", "<link", "@import", "url("})
    EXPECT_EQ(page.find(outside), std::string::npos) << outside;
  EXPECT_NE(page.find("<code>&lt;i&gt;&quot;&amp;\xc3\xa9\\r</code>"),
            std::string::npos);
  EXPECT_NE(
      page.find("<h1>Settlement audit of <code>" + day.Path() + "</code></h1>"),
      std::string::npos);

  EXPECT_EQ(page.find("<script"), std::string::npos) << "script shipped";
  day.Write("hooked.html", With_Test_Hook(page));
  std::string dom = Run_Browser(day, day.File("hooked.html"), "--dump-dom");
  EXPECT_NE(dom.find("data-charts-rendered=\"2\""), std::string::npos) << dom;
  EXPECT_EQ(dom.find("data-errors=\""), std::string::npos) << dom;
  EXPECT_NE(dom.find("<svg id=\"revenue-chart\""), std::string::npos);
  EXPECT_NE(dom.find("<svg id=\"residue-chart\""), std::string::npos);
  EXPECT_EQ(dom.find("<i>"), std::string::npos) << "markup leaked";
  // The headline block comes first; on this day of Windows line ends the
  // warnings, which can change the totals, follow it before the charts.
  std::size_t headline =
      dom.find("<div id=\"headline\" class=\"headline doubt");
  EXPECT_LT(headline, dom.find("<div id=\"warnings\""));
  EXPECT_LT(dom.find("<div id=\"warnings\""),
            dom.find("<svg id=\"revenue-chart\""));
  EXPECT_NE(dom.find("<p class=\"verdict\">consistent</p>\n<p>bus 3,173 won "
                     "· metro 5,874 won · residue +547 won</p>\n<p>4 "
                     "data-quality warnings, of 2 kinds</p>"),
            std::string::npos)
      << dom;
  EXPECT_NE(dom.find("<caption>Reconciliation</caption>"), std::string::npos);
  EXPECT_NE(dom.find("line ends) and settle again.</td><td class=\"n\">2</td>"),
            std::string::npos);

  std::string shot = day.File("audit.png");
  Run_Browser(day, day.File("audit.html"), "--screenshot=" + shot);
  std::string png = Read_File(shot);
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  // Kept for a person to look at: FARE_AUDIT_SCREENSHOT names a copy.
  if (const char* keep = std::getenv("FARE_AUDIT_SCREENSHOT"))
    Write_File(keep, png);

  // A day with bad lines: the page names the verdict and every problem.
  day.Write("paymentData_7002.txt", "260,0,1,1050,T5\n1,2\n3\n");
  run = Run_Audit({"--html", "bad.html", "."}, day.Path());
  ASSERT_EQ(run.status, 2);
  day.Write("bad-hooked.html", With_Test_Hook(day.Read("bad.html")));
  dom = Run_Browser(day, day.File("bad-hooked.html"), "--dump-dom");
  EXPECT_NE(dom.find("data-charts-rendered=\"0\""), std::string::npos) << dom;
  EXPECT_EQ(dom.find("data-errors=\""), std::string::npos) << dom;
  EXPECT_NE(dom.find("<p class=\"verdict\">bad input</p>\n<p>2 problems in "
                     "the payment files; nothing settled</p>"),
            std::string::npos)
      << dom;
  for (const char* line : {"paymentData_7002.txt:2", "paymentData_7002.txt:3"})
    EXPECT_NE(dom.find(std::string("<td>") + line +
                       "</td><td>fewer than five fields</td>"),
              std::string::npos)
        << line;
}

}  // namespace
