// The platform layer on Windows (Win32, through the wide-character calls).
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "Os.h"

namespace {

HANDLE Handle(Os_File file) { return reinterpret_cast<HANDLE>(file); }
Os_File File_Of(HANDLE handle) { return reinterpret_cast<Os_File>(handle); }

// The UTF-8 path as the wide string the W calls take.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                   static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        wide.data(), size);
  return wide;
}

std::string Narrow(const wchar_t* text) {
  int size =
      ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string narrow(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow.data(), size, nullptr,
                        nullptr);
  narrow.pop_back();  // the terminating NUL
  return narrow;
}

// The layer's own error code (bit 29 marks an application's codes): the
// system's random source refused, which reports no error code of its own.
constexpr DWORD ERROR_RANDOM_SOURCE = 0x20000001;

// Text for a system error: the words the Linux build uses for the common
// ones, so that messages read alike; the system's own text otherwise.
std::string Error_Text(DWORD error) {
  switch (error) {
    case ERROR_RANDOM_SOURCE:
      return "BCryptGenRandom failed";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return "No such file or directory";
    case ERROR_ACCESS_DENIED:
      return "Permission denied";
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
      return "the file is open in another program";
    case ERROR_DIRECTORY:
      return "Is a directory";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "No space left on device";
    case ERROR_CANT_RESOLVE_FILENAME:
      return "Too many levels of symbolic links";
    default:
      break;
  }
  wchar_t* text = nullptr;
  DWORD size = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = size > 0 ? Narrow(text) : std::string();
  ::LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' ||
          message.back() == '.' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "system error " + std::to_string(error) : message;
}

// Opens path with the access given, sharing it with every other reader
// and writer; a directory too when backup is set.
HANDLE Open(const std::string& path, DWORD access, DWORD disposition,
            bool backup = false) {
  return ::CreateFileW(
      Wide(path).c_str(), access,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      disposition,
      FILE_ATTRIBUTE_NORMAL | (backup ? FILE_FLAG_BACKUP_SEMANTICS : 0),
      nullptr);
}

std::optional<Os_File_Id> Identity_Of(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) return std::nullopt;
  return Os_File_Id{
      info.dwVolumeSerialNumber,
      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

Os_Error Os_Last_Error() {
  DWORD error = ::GetLastError();
  return {Error_Text(error),
          error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND};
}

// --- Process ----------------------------------------------------------------

namespace {

// The arguments of the wide command line in UTF-8, kept for the life of the
// process; false when the system cannot give them.
bool Utf8_Arguments(int& argc, char**& argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return false;
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  for (int i = 0; i < count; ++i) texts.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  argc = count;
  argv = pointers.data();
  return true;
}

}  // namespace

bool Os_Start_Process(int& argc, char**& argv) {
  // Handles are not numbered from 0, so a file opened later never takes a
  // missing standard stream's place: nothing to open here. Bytes pass
  // unchanged: no "\r\n" for "\n", no end of file at Ctrl+Z.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return Utf8_Arguments(argc, argv);
}

namespace {

// The length of the longest start of text, at most limit bytes, that ends
// between two UTF-8 sequences (or inside invalid bytes).
std::size_t Whole_Characters(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t end = limit;
  // Back over continuation bytes to the byte that starts the sequence, then
  // before it; at most three, else the bytes are not UTF-8 anyway.
  for (int i = 0; i < 3 && (text[end] & 0xC0) == 0x80; ++i) --end;
  return (text[end] & 0xC0) == 0x80 ? limit : end;
}

// Shows UTF-8 text on the console as wide characters, a piece at a time,
// without allocating.
bool Write_Console(HANDLE console, std::string_view text) {
  constexpr std::size_t PIECE = 1024;
  wchar_t wide[PIECE];
  while (!text.empty()) {
    std::size_t bytes = Whole_Characters(text, PIECE);
    int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(),
                                     static_cast<int>(bytes), wide, PIECE);
    DWORD written = 0;
    for (int done = 0; done < size; done += static_cast<int>(written))
      if (!::WriteConsoleW(console, wide + done, size - done, &written,
                           nullptr))
        return false;
    text.remove_prefix(bytes);
  }
  return true;
}

}  // namespace

bool Os_Write_Standard(Os_Standard stream, std::string_view text) {
  std::FILE* file = stream == OS_STANDARD_OUTPUT ? stdout : stderr;
  HANDLE handle = ::GetStdHandle(
      stream == OS_STANDARD_OUTPUT ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (std::fflush(file) == 0 && ::GetConsoleMode(handle, &mode))
    return Write_Console(handle, text);
  std::fwrite(text.data(), 1, text.size(), file);
  return std::fflush(file) == 0 && !std::ferror(file);
}

namespace {

void (*Stop_Function)(const char*) = nullptr;

// Runs on a thread the system starts for the event.
BOOL WINAPI On_Console_Event(DWORD event) {
  const char* name = event == CTRL_C_EVENT       ? "Ctrl+C"
                     : event == CTRL_BREAK_EVENT ? "Ctrl+Break"
                     : event == CTRL_CLOSE_EVENT ? "closing the console"
                                                 : nullptr;
  if (name == nullptr) return FALSE;
  Stop_Function(name);
  // At once, as a signal ends a process: no exit handlers, no destructors
  // run under the feet of the threads still working.
  ::TerminateProcess(::GetCurrentProcess(), 130);
  return TRUE;
}

}  // namespace

bool Os_Stop_On_Requests(void (*stop)(const char* name)) {
  Stop_Function = stop;
  // Were the handler refused, a request would end the process at once, as
  // it does without one: nothing for the caller to do about it.
  ::SetConsoleCtrlHandler(On_Console_Event, TRUE);
  return true;
}

bool Os_Random_Bytes(void* bytes, std::size_t size) {
  NTSTATUS status = ::BCryptGenRandom(nullptr, static_cast<PUCHAR>(bytes),
                                      static_cast<ULONG>(size),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status >= 0) return true;
  ::SetLastError(ERROR_RANDOM_SOURCE);
  return false;
}

std::optional<std::string> Os_Environment(const char* name) {
  std::wstring wide_name = Wide(name);
  DWORD size = ::GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  size = ::GetEnvironmentVariableW(wide_name.c_str(), value.data(), size);
  value.resize(size);
  return Narrow(value.c_str());
}

std::string Os_User_Data_Directory() {
  return Os_Environment("LOCALAPPDATA").value_or("");
}

// --- Files ------------------------------------------------------------------

Os_File Os_Standard_Error() {
  return File_Of(::GetStdHandle(STD_ERROR_HANDLE));
}

Os_Kind Os_Kind_Of(const std::string& path) {
  DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Os_Kind::DIRECTORY;
  // Devices (NUL, CON, pipes) have no attributes of their own: ask what
  // an open handle is.
  HANDLE handle = Open(path, 0, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE)
    return attributes == INVALID_FILE_ATTRIBUTES ? Os_Kind::MISSING
                                                 : Os_Kind::REGULAR;
  DWORD type = ::GetFileType(handle);
  ::CloseHandle(handle);
  return type == FILE_TYPE_DISK ? Os_Kind::REGULAR : Os_Kind::OTHER;
}

std::optional<std::uint64_t> Os_Size_Of(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data))
    return std::nullopt;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::optional<std::uint64_t> Os_Size(Os_File file) {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(Handle(file), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<Os_File_Id> Os_Identity(const std::string& path) {
  HANDLE handle = Open(path, 0, OPEN_EXISTING, true);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<Os_File_Id> id = Identity_Of(handle);
  ::CloseHandle(handle);
  return id;
}

Os_File_Stamp Os_Stamp(Os_File file) {
  Os_File_Stamp stamp;
  std::optional<Os_File_Id> id = Identity_Of(Handle(file));
  FILE_BASIC_INFO times;
  LARGE_INTEGER size;
  if (!id ||
      !::GetFileInformationByHandleEx(Handle(file), FileBasicInfo, &times,
                                      sizeof times) ||
      !::GetFileSizeEx(Handle(file), &size)) {
    stamp.status = Os_File_Stamp::UNREADABLE;
    return stamp;
  }
  stamp.id = *id;
  stamp.size = size.QuadPart;
  // In units of 100 ns.
  stamp.modified_ns = times.LastWriteTime.QuadPart * 100;
  stamp.changed_ns = times.ChangeTime.QuadPart * 100;
  return stamp;
}

Os_File_Stamp Os_Stamp_Of(const std::string& path) {
  HANDLE handle = Open(path, 0, OPEN_EXISTING, true);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = ::GetLastError();
    Os_File_Stamp stamp;
    stamp.status =
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
            ? Os_File_Stamp::MISSING
            : Os_File_Stamp::UNREADABLE;
    return stamp;
  }
  Os_File_Stamp stamp = Os_Stamp(File_Of(handle));
  ::CloseHandle(handle);
  return stamp;
}

// The system follows symbolic links wherever a file is opened or replaced.
std::optional<std::string> Os_Follow_Links(const std::string& path) {
  return path;
}

Os_File Os_Open_Regular(const std::string& path) {
  HANDLE handle = Open(path, GENERIC_READ, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) return OS_NO_FILE;
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return OS_NO_FILE;
  }
  return File_Of(handle);
}

std::optional<std::size_t> Os_Read(Os_File file, char* data, std::size_t size) {
  DWORD part = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  DWORD n = 0;
  if (!::ReadFile(Handle(file), data, part, &n, nullptr)) {
    if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    return std::nullopt;
  }
  return n;
}

bool Os_Write_All(Os_File file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD part = bytes.size() > 0x40000000 ? 0x40000000
                                           : static_cast<DWORD>(bytes.size());
    DWORD n = 0;
    if (!::WriteFile(Handle(file), bytes.data(), part, &n, nullptr))
      return false;
    bytes.remove_prefix(n);
  }
  return true;
}

bool Os_Close(Os_File file) { return ::CloseHandle(Handle(file)) != 0; }

Os_File Os_Create_Temporary(std::string& pattern) {
  static const char LETTERS[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  std::uint64_t state = static_cast<std::uint64_t>(now.QuadPart) ^
                        (std::uint64_t{::GetCurrentProcessId()} << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t i = pattern.size() - 6; i < pattern.size(); ++i) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      pattern[i] = LETTERS[(state >> 33) % 62];
    }
    HANDLE handle = Open(pattern, GENERIC_WRITE | DELETE, CREATE_NEW);
    if (handle != INVALID_HANDLE_VALUE) return File_Of(handle);
    if (::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return OS_NO_FILE;
}

Os_File Os_Open_For_Writing(const std::string& path, bool create) {
  HANDLE handle =
      Open(path, GENERIC_WRITE, create ? OPEN_ALWAYS : OPEN_EXISTING);
  return handle == INVALID_HANDLE_VALUE ? OS_NO_FILE : File_Of(handle);
}

std::optional<Os_File> Os_Standard_Stream_To(const std::string& path) {
  std::optional<Os_File_Id> id = Os_Identity(path);
  if (!id) return OS_NO_FILE;
  for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    HANDLE stream = ::GetStdHandle(which);
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE ||
        ::GetFileType(stream) != FILE_TYPE_DISK || Identity_Of(stream) != id)
      continue;
    HANDLE copy = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), stream, ::GetCurrentProcess(),
                           &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
      return std::nullopt;
    return File_Of(copy);
  }
  return OS_NO_FILE;
}

bool Os_Truncate_Regular(Os_File file, std::uint64_t size) {
  if (::GetFileType(Handle(file)) != FILE_TYPE_DISK) return true;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFilePointerEx(Handle(file), at, nullptr, FILE_BEGIN) &&
         ::SetEndOfFile(Handle(file));
}

bool Os_Sync(Os_File file) { return ::FlushFileBuffers(Handle(file)) != 0; }

// The cache manager writes behind on its own.
void Os_Start_Writeback(Os_File, std::uint64_t, std::uint64_t) {}

// Os_Replace writes each rename through to disk before it returns.
void Os_Sync_Directory(const std::string&) {}

bool Os_Replace(const std::string& temporary, const std::string& target) {
  return ::MoveFileExW(Wide(temporary).c_str(), Wide(target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string Os_Replace_Refusal(const std::string& target) {
  if (Os_Kind_Of(target) == Os_Kind::DIRECTORY)
    return Error_Text(ERROR_DIRECTORY);
  // Shared with nobody: refused while another program has the file open,
  // which would make the replacement fail.
  HANDLE handle = ::CreateFileW(Wide(target).c_str(), DELETE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    ::CloseHandle(handle);
    return "";
  }
  if (::GetLastError() != ERROR_SHARING_VIOLATION) return "";
  return Error_Text(ERROR_SHARING_VIOLATION);
}

bool Os_Remove(const std::string& path) {
  if (::DeleteFileW(Wide(path).c_str())) return true;
  // Still open (a stop while it is written): removed when its last handle
  // closes, which the end of the process does.
  HANDLE handle = Open(path, DELETE, OPEN_EXISTING);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FILE_DISPOSITION_INFO disposition{TRUE};
  bool marked = ::SetFileInformationByHandle(handle, FileDispositionInfo,
                                             &disposition, sizeof disposition);
  ::CloseHandle(handle);
  return marked;
}

bool Os_Make_Directory(const std::string& path) {
  if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return true;
  DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS && Os_Kind_Of(path) == Os_Kind::DIRECTORY)
    return true;
  ::SetLastError(error);
  return false;
}

std::vector<std::string> Os_Directory_Names(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(Wide(dir + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(Narrow(found.cFileName));
  while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

// --- The per-directory lock -------------------------------------------------

// A directory handle cannot be locked here, so the lock and the marks are
// named mutexes keyed by the directory's identity: the system gives a
// mutex back when the process that holds it ends. The settlement's mark is
// one mutex; audits each hold one of AUDIT_SLOTS, and another process
// holds a mark when one of its mutexes cannot be taken.

namespace {

constexpr int AUDIT_SLOTS = 64;

std::wstring Mutex_Name(Os_File dir, const wchar_t* what) {
  std::optional<Os_File_Id> id = Identity_Of(Handle(dir));
  wchar_t name[96];
  std::swprintf(name, 96, L"fare-day-%llx-%llx-%ls",
                static_cast<unsigned long long>(id ? id->volume : 0),
                static_cast<unsigned long long>(id ? id->index : 0), what);
  return name;
}

// Takes the named mutex without waiting; null when another process holds
// it (or it cannot be made).
HANDLE Try_Take(const std::wstring& name) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return nullptr;
  DWORD result = ::WaitForSingleObject(mutex, 0);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return mutex;
  ::CloseHandle(mutex);
  return nullptr;
}

// Whether another process holds the named mutex.
bool Held_Elsewhere(const std::wstring& name) {
  HANDLE mutex =
      ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
  if (mutex == nullptr) return false;
  DWORD result = ::WaitForSingleObject(mutex, 0);
  bool held = result == WAIT_TIMEOUT;
  if (!held) ::ReleaseMutex(mutex);
  ::CloseHandle(mutex);
  return held;
}

std::wstring Slot_Name(Os_File dir, int slot) {
  std::wstring what = L"audit" + std::to_wstring(slot);
  return Mutex_Name(dir, what.c_str());
}

}  // namespace

Os_Directory_Lock::Os_Directory_Lock(const std::string& dir) {
  HANDLE handle = Open(dir, 0, OPEN_EXISTING, true);
  if (handle != INVALID_HANDLE_VALUE) dir_ = File_Of(handle);
}

Os_Directory_Lock::~Os_Directory_Lock() {
  for (std::intptr_t held : held_) {
    ::ReleaseMutex(reinterpret_cast<HANDLE>(held));
    ::CloseHandle(reinterpret_cast<HANDLE>(held));
  }
  if (Entered()) ::CloseHandle(Handle(dir_));
}

Os_Directory_Lock::Result Os_Directory_Lock::Take_Exclusive() {
  HANDLE mutex = Try_Take(Mutex_Name(dir_, L"run"));
  if (mutex == nullptr) return BUSY;
  held_.push_back(reinterpret_cast<std::intptr_t>(mutex));
  return TAKEN;
}

bool Os_Directory_Lock::Set_Mark(Mark mark) {
  HANDLE mutex = nullptr;
  if (mark == SETTLEMENT_MARK)
    mutex = Try_Take(Mutex_Name(dir_, L"settlement"));
  for (int slot = 0; mark == AUDIT_MARK && mutex == nullptr; ++slot) {
    if (slot == AUDIT_SLOTS) return false;
    mutex = Try_Take(Slot_Name(dir_, slot));
  }
  if (mutex == nullptr) return false;
  held_.push_back(reinterpret_cast<std::intptr_t>(mutex));
  return true;
}

bool Os_Directory_Lock::Marked(Mark mark) const {
  if (mark == SETTLEMENT_MARK)
    return Held_Elsewhere(Mutex_Name(dir_, L"settlement"));
  for (int slot = 0; slot < AUDIT_SLOTS; ++slot)
    if (Held_Elsewhere(Slot_Name(dir_, slot))) return true;
  return false;
}

bool Os_Directory_Lock::Removed() const {
  FILE_STANDARD_INFO standard{};
  if (!::GetFileInformationByHandleEx(Handle(dir_), FileStandardInfo, &standard,
                                      sizeof standard))
    return false;
  return standard.DeletePending || standard.NumberOfLinks == 0;
}

// --- Memory -----------------------------------------------------------------

void* Os_Map_Memory(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT,
                        PAGE_READWRITE);
}

void* Os_Reserve_Memory(std::size_t bytes) {
  return ::VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
}

bool Os_Commit_Memory(void* at, std::size_t bytes) {
  return ::VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void Os_Release_Memory(void* memory, std::size_t) {
  ::VirtualFree(memory, 0, MEM_RELEASE);
}

std::optional<std::uint64_t> Os_Address_Space_Limit() { return std::nullopt; }
