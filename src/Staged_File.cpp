#include "Staged_File.h"

#include <mutex>
#include <utility>
#include <vector>

#include "Paths.h"
#include "Program_Name.h"
#include "Settlement_Error.h"

namespace {

constexpr std::size_t WRITE_BLOCK = 1 << 20;
constexpr std::size_t DIRECT_WRITE = 1 << 16;

// Temporaries that a stop request removes: every Staged_File registers its
// temporary here under the lock, and the stop takes the lock for good
// before it removes them, so no temporary escapes and none is removed
// half-way through a publication.
struct Temporaries {
  std::mutex lock;
  std::vector<std::string> paths;
};

Temporaries& Unpublished() {
  static Temporaries* temporaries = new Temporaries;  // outlives exit
  return *temporaries;
}

void Forget_Locked(const std::string& path) {
  std::vector<std::string>& paths = Unpublished().paths;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (paths[i] == path) {
      paths[i] = std::move(paths.back());
      paths.pop_back();
      return;
    }
  }
}

}  // namespace

std::string Temporary_Stem(const std::string& target) {
  std::string stem = Directory_Prefix(target);
  stem += '.';
  stem += Base_Name(target);
  stem += '.';
  stem += Program_Name();
  stem += '-';
  return stem;
}

Staged_File::Staged_File(std::string path, bool write_special_directly)
    : path_(std::move(path)) {
  // Asked of the system first: a name like /dev/stdout leads through links
  // that only it can follow.
  Os_Kind kind = Os_Kind_Of(path_);
  if (kind == Os_Kind::OTHER) {
    if (!write_special_directly) Fail(path_, 0, "not a regular file");
    target_ = path_;
    Open_Directly();
    return;
  }
  // A regular file that standard output or error is redirected to: written
  // through that stream, after what the program has printed there, since a
  // rename would take what it printed away.
  if (kind == Os_Kind::REGULAR && write_special_directly) {
    std::optional<Os_File> stream = Os_Standard_Stream_To(path_);
    if (!stream) Fail_Os(path_, "cannot write");
    file_ = *stream;
    if (file_ != OS_NO_FILE) {
      target_ = path_;
      published_ = true;  // nothing to rename
      return;
    }
  }
  target_ = Link_Target(path_);
  // Everything that needs memory comes before the temporary exists: a
  // constructor that throws runs no destructor to remove it.
  std::string temporary = Temporary_Stem(target_) + "XXXXXX";
  std::string registered = temporary;
  buffer_.reserve(WRITE_BLOCK);
  std::lock_guard<std::mutex> guard(Unpublished().lock);
  Unpublished().paths.reserve(Unpublished().paths.size() + 1);
  // A temporary whose permissions cannot be set is removed at once.
  file_ = Os_Create_Temporary(temporary);
  if (file_ == OS_NO_FILE) Fail_Os(path_, "cannot create");
  registered.assign(temporary);  // same length: no allocation
  Unpublished().paths.push_back(std::move(registered));
  temp_path_ = std::move(temporary);
}

// A device or FIFO: opened for writing without waiting for a reader, then
// written in blocking mode.
void Staged_File::Open_Directly() {
  file_ = Os_Open_For_Writing(target_, false);
  if (file_ == OS_NO_FILE) Fail_Os(path_, "cannot write");
  published_ = true;  // nothing to rename
}

Staged_File::Staged_File(Staged_File&& other) noexcept
    : path_(std::move(other.path_)),
      target_(std::move(other.target_)),
      temp_path_(std::exchange(other.temp_path_, std::string())),
      file_(std::exchange(other.file_, OS_NO_FILE)),
      buffer_(std::move(other.buffer_)),
      written_(other.written_),
      published_(other.published_) {}

Staged_File::~Staged_File() {
  if (file_ != OS_NO_FILE) Os_Close(file_);
  if (!published_ && !temp_path_.empty()) {
    std::lock_guard<std::mutex> guard(Unpublished().lock);
    Os_Remove(temp_path_);
    Forget_Locked(temp_path_);
  }
}

// A temporary's bytes are sent on to the disk block by block as they are
// written. Some file systems start writing out a file that a rename is about
// to put over an existing one, all of it inside the rename: 50 ms for the
// 144 MB history of a day of 10 million taps, on which the run then waited.
void Staged_File::Write_Out(std::string_view bytes) {
  if (bytes.empty()) return;
  if (!Os_Write_All(file_, bytes)) Fail_Os(path_, "cannot write");
  if (!temp_path_.empty()) Os_Start_Writeback(file_, written_, bytes.size());
  written_ += bytes.size();
}

void Staged_File::Flush() {
  Write_Out(buffer_);
  buffer_.clear();
}

void Staged_File::Write(std::string_view bytes) {
  // Large pieces (the history's, a chunk of journeys at a time) go to the
  // file as they are, not copied through the buffer first.
  if (bytes.size() >= DIRECT_WRITE) {
    Flush();
    Write_Out(bytes);
    return;
  }
  buffer_.append(bytes);
  if (buffer_.size() >= WRITE_BLOCK) Flush();
}

void Staged_File::Finish(bool sync) {
  Flush();
  // A device or FIFO written directly need not support a sync.
  if (sync && !temp_path_.empty() && !Os_Sync(file_))
    Fail_Os(path_, "cannot write");
  Os_File file = std::exchange(file_, OS_NO_FILE);
  if (!Os_Close(file)) Fail_Os(path_, "cannot write");
}

void Staged_File::Rename_Locked() {
  if (published_) return;
  if (!Os_Replace(temp_path_, target_)) Fail_Os(path_, "cannot replace");
  published_ = true;
  Forget_Locked(temp_path_);
}

void Staged_File::Publish() {
  Staged_File* self = this;
  Publish_All(&self, 1);
}

void Staged_File::Check_Replaceable() const {
  if (published_) return;
  std::string refusal = Os_Replace_Refusal(target_);
  if (!refusal.empty()) Fail(path_, 0, "cannot replace: " + refusal);
}

void Publish_All(Staged_File* const* files, std::size_t count,
                 void (*after)()) {
  // Taken before the renames: nothing after them may run out of memory.
  std::vector<std::string> directories;
  for (std::size_t i = 0; i < count; ++i)
    directories.push_back(Directory_Prefix(files[i]->Target()));
  {
    std::lock_guard<std::mutex> guard(Unpublished().lock);
    // A replacement can fail for something in the way (see
    // Os_Replace_Refusal); find that out before the first one so that a
    // failure never leaves some files new.
    for (std::size_t i = 0; i < count; ++i) files[i]->Check_Replaceable();
    for (std::size_t i = 0; i < count; ++i) files[i]->Rename_Locked();
    if (after != nullptr) after();
  }
  for (const std::string& directory : directories) Os_Sync_Directory(directory);
}

void Prepare_Unpublished_List() { Unpublished(); }

void Remove_Unpublished_For_Good() {
  Unpublished().lock.lock();
  for (const std::string& path : Unpublished().paths) Os_Remove(path);
}
