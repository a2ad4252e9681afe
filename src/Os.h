// The operating system as the programs use it: a few primitives, each
// implemented once per system (Os_Posix.cpp, Os_Windows.cpp; the build
// compiles the one for its target) but the path resolution, which the
// standard library does alike everywhere (Os_Paths.cpp). Paths are UTF-8
// throughout.
//
// A primitive reports failure one way only: by what it returns (false,
// OS_NO_FILE, nullptr, none), leaving the system's error for Os_Last_Error
// to describe. It never throws a program's error: each program turns the
// failure into its own error with its own words. Memory running out
// throws std::bad_alloc, as any allocation does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The characters that separate the parts of a path.
#ifdef _WIN32
inline constexpr std::string_view OS_PATH_SEPARATORS = "/\\";
#else
inline constexpr std::string_view OS_PATH_SEPARATORS = "/";
#endif

// The error the last primitive that failed on this thread left: the
// system's description of it, and whether it says that the file is not
// there. Ask before any other primitive runs, which may replace it.
struct Os_Error {
  std::string text;
  bool missing = false;
};
Os_Error Os_Last_Error();

// --- Process ----------------------------------------------------------------

// Prepares the process before anything else runs: one heap for every
// thread (the C library's default gives each allocating thread a heap of
// its own, 64 MiB of address space however little it holds, which under an
// address-space limit could make a small day run out of memory), writes
// past a file-size limit failing instead of killing the run, a closed
// standard output failing as a write error, standard streams that pass
// bytes unchanged, and a standard descriptor that is closed opened onto the
// null device, so that no file the program opens later takes it (and gets
// its messages or report written into it). False when one is closed and
// cannot be opened so: the program must then stop before opening anything.
// On Windows argc and argv become the arguments of the wide command line in
// UTF-8, so that names and reasons arrive as typed whatever the ANSI code
// page; elsewhere they stay as given.
bool Os_Start_Process(int& argc, char**& argv);

enum Os_Standard { OS_STANDARD_OUTPUT, OS_STANDARD_ERROR };
// Writes UTF-8 text whole to standard output or error and flushes it: to a
// Windows console as wide characters, so that every code page shows it as
// written; to a file or pipe as the bytes given. Allocates nothing. False
// when the stream cannot be written.
bool Os_Write_Standard(Os_Standard stream, std::string_view text);

// From here on a stop request (SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C,
// Ctrl+Break, closing the console) calls stop with its name on a thread of
// its own and then ends the process as that request does (on Windows with
// exit status 130). Call before any other thread starts. False when the
// thread cannot start.
bool Os_Stop_On_Requests(void (*stop)(const char* name));

// Fills bytes from the system's random source, waiting only while the
// system has not yet gathered its first randomness after boot.
bool Os_Random_Bytes(void* bytes, std::size_t size);

// The value of the environment variable name, in UTF-8; none when unset.
std::optional<std::string> Os_Environment(const char* name);

// The folder where programs keep this user's own data: $XDG_DATA_HOME when
// it is an absolute path, else $HOME/.local/share; on Windows
// %LOCALAPPDATA%. "" when the environment names none.
std::string Os_User_Data_Directory();

// --- Files ------------------------------------------------------------------

// An open file: a descriptor, or a Windows handle.
using Os_File = std::intptr_t;
constexpr Os_File OS_NO_FILE = -1;

Os_File Os_Standard_Error();

enum class Os_Kind { MISSING, REGULAR, DIRECTORY, OTHER };
// What path leads to, links followed; MISSING also when it cannot be asked.
Os_Kind Os_Kind_Of(const std::string& path);
// The size of the file path leads to, if it can be asked.
std::optional<std::uint64_t> Os_Size_Of(const std::string& path);
std::optional<std::uint64_t> Os_Size(Os_File file);

// What tells one file from every other while both exist: device and inode,
// or volume serial number and file index.
struct Os_File_Id {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const Os_File_Id&) const = default;
};
std::optional<Os_File_Id> Os_Identity(const std::string& path);

// What shows, without reading it, that a file's content may have changed:
// which file it is, its size and its modification and change times (a
// rename or a write sets the change time, which no user can set back).
struct Os_File_Stamp {
  enum Status { FOUND, MISSING, UNREADABLE };
  Status status = FOUND;  // when not FOUND, the rest is 0
  Os_File_Id id;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;
  bool operator==(const Os_File_Stamp&) const = default;
};
// The stamp of the file path leads to (links followed).
Os_File_Stamp Os_Stamp_Of(const std::string& path);
Os_File_Stamp Os_Stamp(Os_File file);

// Follows path through its symbolic links to the name of the file they lead
// to, which need not exist; none after too many links.
std::optional<std::string> Os_Follow_Links(const std::string& path);

// path made absolute against the working directory, and without dots and
// repeated separators when normal is set; none when there is no working
// directory to make it absolute against.
std::optional<std::string> Os_Absolute_Path(const std::string& path,
                                            bool normal);
// path made absolute with its links and dots resolved as far as it exists,
// the rest as written; none when that cannot be done (no working directory,
// a name under /proc that leads to a pipe).
std::optional<std::string> Os_Resolved_Path(const std::string& path);

// Opens a regular file for reading, never waiting; OS_NO_FILE when it
// cannot be opened or is no regular file (a FIFO or device is refused
// unopened), which Os_Kind_Of then tells apart.
Os_File Os_Open_Regular(const std::string& path);
// Reads up to size bytes, 0 at the end; none when the read fails.
std::optional<std::size_t> Os_Read(Os_File file, char* data, std::size_t size);
// Writes all of bytes.
bool Os_Write_All(Os_File file, std::string_view bytes);
bool Os_Close(Os_File file);

// Creates a new file for writing from pattern, whose last six characters
// (XXXXXX) become letters or digits; the file gets the permissions a new
// file gets.
Os_File Os_Create_Temporary(std::string& pattern);
// Opens an existing file (a device, a FIFO) or, with create, any file for
// writing in place, never waiting for a reader and not cutting it.
Os_File Os_Open_For_Writing(const std::string& path, bool create);
// A new descriptor for standard output or error when that stream writes to
// the regular file path leads to; OS_NO_FILE when neither does; none when
// the stream cannot be duplicated.
std::optional<Os_File> Os_Standard_Stream_To(const std::string& path);
// Cuts file to size bytes when it is a regular file.
bool Os_Truncate_Regular(Os_File file, std::uint64_t size);
// Forces the file's bytes to disk.
bool Os_Sync(Os_File file);
// Asks the system to start writing length bytes from offset to disk without
// waiting for them. Only a hint: where the system has no such request, or
// refuses it, nothing happens, and the bytes reach the disk as they would.
void Os_Start_Writeback(Os_File file, std::uint64_t offset,
                        std::uint64_t length);
// Forces the directory's renames to disk where the system can; dir "" is the
// working directory.
void Os_Sync_Directory(const std::string& dir);
// Replaces target by temporary in one step; a reader of target sees the old
// file or the new one.
bool Os_Replace(const std::string& temporary, const std::string& target);
// Why Os_Replace could not replace target, as far as can be seen before
// the first replacement: a directory in the way, another user's file in a
// sticky directory, a file another program has open (Windows); "" when
// nothing is in the way.
std::string Os_Replace_Refusal(const std::string& target);
bool Os_Remove(const std::string& path);
// Makes the directory path, its parent being there (with the permissions a
// new directory gets); true also when path already is a directory.
bool Os_Make_Directory(const std::string& path);

// The names in directory dir ("" is the working directory); none when it
// cannot be read.
std::vector<std::string> Os_Directory_Names(const std::string& dir);

// --- The per-directory lock -------------------------------------------------

// Marks a process leaves on a directory while it works there: one kind
// held by many at once, seen by the others; all given back when the object
// goes or the process ends.
class Os_Directory_Lock {
 public:
  enum Mark { AUDIT_MARK, SETTLEMENT_MARK };
  enum Result { TAKEN, BUSY, UNSUPPORTED };

  // Opens dir; Entered() tells whether it could.
  explicit Os_Directory_Lock(const std::string& dir);
  ~Os_Directory_Lock();
  Os_Directory_Lock(const Os_Directory_Lock&) = delete;
  Os_Directory_Lock& operator=(const Os_Directory_Lock&) = delete;

  bool Entered() const { return dir_ != OS_NO_FILE; }
  // The directory for this process alone, without waiting.
  Result Take_Exclusive();
  // Adds this process's mark of the kind; false where marks are unsupported.
  bool Set_Mark(Mark mark);
  // Whether another process holds a mark of the kind.
  bool Marked(Mark mark) const;
  // Whether the directory has been removed since the lock was made.
  bool Removed() const;

 private:
  Os_File dir_ = OS_NO_FILE;
  std::vector<std::intptr_t> held_;  // what the system keeps for the marks
};

// --- Memory -----------------------------------------------------------------

// Zeroed memory of bytes, starting on a large-page boundary and backed by
// large pages where the system offers them; nullptr when refused.
void* Os_Map_Memory(std::size_t bytes);
// Address space of bytes, inaccessible and costing no memory until parts
// are committed; nullptr when refused.
void* Os_Reserve_Memory(std::size_t bytes);
// Makes part of a reservation usable (zeroed).
bool Os_Commit_Memory(void* at, std::size_t bytes);
// Returns memory mapped or reserved here, bytes as asked for.
void Os_Release_Memory(void* memory, std::size_t bytes);
// The limit set on the process's address space, if any.
std::optional<std::uint64_t> Os_Address_Space_Limit();
