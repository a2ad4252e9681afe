// The per-journey CSV: one row per transfer journey, written as the
// journeys are apportioned.
#pragma once

#include <string>

#include "Audit_Figures.h"
#include "File_IO.h"

// A CSV field, quoted (RFC 4180) when it holds a quote, comma, CR or LF.
std::string Csv_Field(std::string_view text);

// One row (with its CRLF) for a journey.
void Append_Csv_Row(std::string& out, const Settled_Journey& journey);

extern const char* const CSV_HEADER;

// Streams rows into a file that appears under its name only when complete.
class Csv_Journeys : public Journey_Observer {
 public:
  explicit Csv_Journeys(const std::string& path);
  void Settled(const Settled_Journey& journey) override;
  // Finishes the file and puts it in place.
  void Publish();

 private:
  Staged_File file_;
  std::string row_;
};
