// The only file of fare-ledger that includes the audit's and the
// settlement's headers.
#include "Audit_Adapter.h"

#include <unistd.h>

#include <future>

#include "Audit_Check.h"
#include "Audit_Csv.h"
#include "Audit_Html.h"
#include "Audit_Json.h"
#include "Audit_Options.h"
#include "Audit_Recompute.h"
#include "Audit_Scan.h"
#include "Audit_Text.h"
#include "File_IO.h"
#include "Input_Digest.h"
#include "Memory.h"
#include "Standard_Streams.h"

namespace {

// The working directory moved into dir for the object's life.
class Inside_Directory {
 public:
  explicit Inside_Directory(const std::string& dir) {
    char* here = ::getcwd(nullptr, 0);
    if (here == nullptr) Fail_Errno(".", "cannot read the working directory");
    previous_ = here;
    std::free(here);
    if (::chdir(dir.c_str()) != 0) Fail_Errno(dir, "cannot enter directory");
  }
  ~Inside_Directory() {
    if (::chdir(previous_.c_str()) != 0) std::abort();
  }
  Inside_Directory(const Inside_Directory&) = delete;
  Inside_Directory& operator=(const Inside_Directory&) = delete;

 private:
  std::string previous_;
};

Day_File Ledger_File(const File_Digest& digest) {
  return {digest.name, static_cast<std::int64_t>(digest.size),
          Hex(digest.sha256)};
}

Day_Figures Ledger_Figures(const Audit_Figures& audit,
                           const std::vector<File_Digest>& digests) {
  Day_Figures figures;
  for (std::size_t i = 0; i < DAY_FILES; ++i)
    figures.files[i] = Ledger_File(digests.at(i));
  figures.bus_total = audit.bus_total;
  figures.metro_total = audit.metro_total;
  figures.bus_last_tag = audit.bus_tag;
  figures.metro_last_tag = audit.metro_tag;
  for (std::size_t i = 0; i < PAYMENT_FILE_COUNT; ++i)
    figures.taps[i] = audit.taps[i];
  figures.journeys = audit.journeys;
  figures.legs = audit.legs;
  figures.collected = audit.collected;
  figures.bus_credit = audit.bus_credit;
  figures.metro_credit = audit.metro_credit;
  figures.residue = audit.Residue();
  return figures;
}

// The first problem of the payment files, as fare-audit names it, and how
// many there are in all.
std::vector<std::string> Problem_Lines(const Scan_Result& scan) {
  std::vector<std::string> lines;
  for (int i = 0; i < 6 && lines.empty(); ++i)
    if (!scan.problems[i].empty())
      lines.push_back(scan.problems[i].kept[0].Place(AUDITED_FILES[i]) + ": " +
                      scan.problems[i].kept[0].problem);
  if (lines.empty() && !scan.journey_problems.empty())
    lines.push_back(scan.journey_problems.kept[0].problem);
  if (scan.Problem_Count() > 1)
    lines.push_back(std::to_string(scan.Problem_Count()) +
                    " problems in all (fare-audit lists them)");
  return lines;
}

// Recomputes the day in the working directory while its payment files are
// scanned and its nine files hashed, as fare-audit does.
Day_Audit Audit_Here() {
  std::future<Scan_Result> scan =
      std::async(std::launch::async, Scan_Payment_Files, 1, nullptr);
  Found_Outputs found;
  std::future<std::vector<File_Digest>> digests =
      std::async(std::launch::async, [&found] { return Digest_Inputs(found); });
  Unsettled_Journeys unsettled;
  unsettled.keep = 1;
  Day_Audit result;
  Audit_Figures figures;
  std::exception_ptr settle_failure;
  try {
    figures = Recompute_Settlement(nullptr, unsettled);
  } catch (const Settlement_Error&) {
    settle_failure = std::current_exception();
  }
  Scan_Result scanned = scan.get();
  for (std::string& problem : unsettled.first)
    scanned.journey_problems.kept.push_back({0, std::move(problem), "", false});
  scanned.journey_problems.count = unsettled.count;
  std::vector<File_Digest> files;
  std::exception_ptr digest_failure;
  try {
    files = digests.get();
  } catch (const Settlement_Error&) {
    digest_failure = std::current_exception();
  }
  // Bad lines first, then what stopped the settlement, then an output that
  // cannot be read (a day not settled yet): the order fare-audit reports in.
  if (scanned.Problem_Count() > 0) {
    result.problems = Problem_Lines(scanned);
    return result;
  }
  if (settle_failure) std::rethrow_exception(settle_failure);
  if (digest_failure) std::rethrow_exception(digest_failure);
  for (const Difference& d : Check_Outputs(figures, found))
    result.problems.push_back(d.file + ": " + d.problem);
  if (result.problems.empty()) result.figures = Ledger_Figures(figures, files);
  return result;
}

}  // namespace

bool Prepare_Audit_Process() {
  if (!Open_Missing_Standard_Streams()) return false;
  Use_One_Heap();
  return true;
}

Day_Audit Audit_Day(const std::string& dir) {
  try {
    Day_Lock lock(dir, Day_Lock::AUDIT);
    Inside_Directory inside(dir);
    return Audit_Here();
  } catch (const Settlement_Error& error) {
    Day_Audit refused;
    refused.problems.push_back(error.what());
    return refused;
  }
}

std::vector<File_Now> Digest_Day_Files(const std::string& dir) {
  std::vector<File_Now> files;
  for (const char* name : AUDITED_FILES) {
    File_Now now;
    now.file.name = name;
    try {
      now.file = Ledger_File(Digest_File((dir + "/" + name).c_str()));
      now.file.name = name;
    } catch (const Settlement_Error& error) {
      now.problem = error.what();
    }
    files.push_back(std::move(now));
  }
  return files;
}

std::string Sha256_Hex(std::string_view bytes) {
  Sha256 hash;
  hash.Update(bytes);
  return Hex(hash.Finish());
}

std::string Grouped_Number(std::int64_t value) { return Grouped(value); }

std::string Signed_Grouped_Number(std::int64_t value) {
  return Signed_Grouped(value);
}

std::string Quoted_Text(std::string_view text) { return Quoted(text); }

std::string Json_Text(std::string_view text) { return Json_String(text); }

std::string Csv_Text(std::string_view text) { return Csv_Field(text); }

std::string Html_Text(std::string_view text) { return Shown(text); }

const char* Settlement_Version() { return Version(); }
