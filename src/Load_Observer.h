// What the loading tells of each payment file line it reads, for a reader
// that checks more of the lines than the settlement needs (the audit), so
// that the files are read and parsed once. A file read in two halves has
// one observer per half, each told on the thread that reads that half.
#pragma once

#include <string_view>

#include "Os.h"
#include "Record_List.h"

class Part_Observer {
 public:
  virtual ~Part_Observer() = default;
  // The file the part is read from, as opened.
  virtual void Opened(Os_File file) = 0;
  // A record line: its text without '\n', its number, whether a '\n' ended
  // it, the record read from it and whether it was in the simple form.
  virtual void Record(std::string_view line, long number, bool newline,
                      const Data& record, bool simple) = 0;
};

class Load_Observer {
 public:
  virtual ~Load_Observer() = default;
  // The observer of half (0 for the first or the whole file, 1 for the
  // second) of payment file `file` (0 bus, 1 to 5 metro); asked on the
  // thread that reads it, before it is read.
  virtual Part_Observer& Part(int file, int half) = 0;
};
