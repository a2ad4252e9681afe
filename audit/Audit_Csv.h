// The per-journey CSV: one row per transfer journey, written as the
// journeys are apportioned.
#pragma once

#include <string>

#include "Audit_Figures.h"
#include "Journey_Observer.h"
#include "Output_Errors.h"
#include "Staged_File.h"

// One row (with its CRLF) for a journey.
void Append_Csv_Row(std::string& out, const Settled_Journey& journey);

extern const char* const CSV_HEADER;

// Streams rows into a file that appears under its name only when complete.
// A write that fails stops the writing and is kept for Publish, so the
// settlement of the journeys never sees it.
class Csv_Journeys : public Journey_Observer {
 public:
  explicit Csv_Journeys(const std::string& path);
  void Settled(const Settled_Journey& journey) override;
  // Finishes the file and puts it in place; a write that failed, or the
  // finish, is added to errors instead (the temporary is then removed).
  void Publish(Output_Errors& errors);

 private:
  Staged_File file_;
  std::string row_;
  std::string failure_;  // the first write that failed
};
