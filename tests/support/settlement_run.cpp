#include "settlement_run.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

namespace {

// The unprivileged account used when the tests run as root.
bool Unprivileged_Ids(uid_t& uid, gid_t& gid) {
  const passwd* user = ::getpwnam("nobody");
  if (user == nullptr) return false;
  uid = user->pw_uid;
  gid = user->pw_gid;
  return true;
}

// In the child: applies the options, then becomes the program. Its output
// goes to pipes, not files, so that a file-size limit cannot cut it.
[[noreturn]] void Exec_Child(const std::string& dir, int out, int err,
                             const Run_Options& options) {
  if (::chdir(dir.c_str()) != 0) ::_exit(126);
  ::dup2(out, 1);
  ::dup2(err, 2);
  if (options.standard_output != nullptr) {
    std::string output = options.standard_output;
    int ends[2] = {-1, -1};
    if (output == "no reader" && ::pipe2(ends, O_CLOEXEC) != 0) ::_exit(126);
    ::close(1);
    if (output == "no reader") {
      if (::dup2(ends[1], 1) != 1) ::_exit(126);
      ::close(ends[0]);  // the write end stays as 1; the original goes at exec
    } else if (output != "closed" && ::open(output.c_str(), O_WRONLY) != 1) {
      ::_exit(126);
    }
  }
  // Wine reserves far more address space than any such limit: runs under
  // a runner are not bounded in memory.
  if (options.memory_limit >= 0 && Runner() == nullptr) {
    rlimit limit{static_cast<rlim_t>(options.memory_limit),
                 static_cast<rlim_t>(options.memory_limit)};
    if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
  }
  if (options.time_limit_seconds > 0) ::alarm(options.time_limit_seconds);
  if (options.file_size_limit >= 0) {
    rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                 static_cast<rlim_t>(options.file_size_limit)};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
  }
  const char* program =
      options.program != nullptr ? options.program : Settlement_Exe();
  const char* runner = Runner();
  // Opened while still privileged and run from the descriptor, so that the
  // unprivileged user need not reach the build folder (a clone in a private
  // folder).
  int program_fd =
      ::open(runner != nullptr ? runner : program, O_RDONLY | O_CLOEXEC);
  if (program_fd < 0) ::_exit(127);
  uid_t uid = 0;
  gid_t gid = 0;
  if (options.unprivileged && ::geteuid() == 0) {
    if (!Unprivileged_Ids(uid, gid) || ::setgroups(0, nullptr) != 0 ||
        ::setgid(gid) != 0 || ::setuid(uid) != 0)
      ::_exit(126);
  }
  std::vector<char*> argv;
  if (runner != nullptr) argv.push_back(const_cast<char*>(runner));
  argv.push_back(const_cast<char*>(program));
  for (const std::string& arg : options.args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  for (int fd : options.closed_descriptors) ::close(fd);
  for (const std::string& setting : options.environment)
    ::putenv(const_cast<char*>(setting.c_str()));
  ::fexecve(program_fd, argv.data(), environ);
  ::_exit(127);
}

// Reads both pipes to their ends, whichever has data first.
void Drain(int out_fd, int err_fd, std::string& out, std::string& err) {
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  std::string* sinks[2] = {&out, &err};
  int open_count = 2;
  char buffer[4096];
  while (open_count > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
}

}  // namespace

const char* Settlement_Exe() {
  const char* path = std::getenv("FARE_TEST_SETTLEMENT");
  return path != nullptr ? path : FARE_SETTLEMENT_EXE;
}

const char* Audit_Exe() {
  const char* path = std::getenv("FARE_TEST_AUDIT");
  return path != nullptr ? path : FARE_AUDIT_EXE;
}

const char* Runner() {
  const char* runner = std::getenv("FARE_TEST_RUNNER");
  return runner != nullptr && *runner != '\0' ? runner : nullptr;
}

std::string Shown_Path(const std::string& path) {
  if (Runner() == nullptr || !path.starts_with('/')) return path;
  std::string shown = "Z:" + path;
  std::replace(shown.begin(), shown.end(), '/', '\\');
  return shown;
}

std::string Utf16(const std::string& text, bool big_endian,
                  const std::string& mark) {
  std::string out = mark;
  for (char c : text) {
    out += big_endian ? '\0' : c;
    out += big_endian ? c : '\0';
  }
  return out;
}

const Day& Worked_Day() {
  static const Day day = {{
      "100,1,1,1050,T1\n200,1,1,0,T2\n300,1,1,1050,T3\n",
      "150,0,1,1050,T2\n250,0,0,1050,T4\n",
      "260,0,1,1050,T5\n",
      "270,0,1,100,T2\n",
      "280,0,1,1050,T6\n",
      "240,0,1,1050,T7\n",
  }};
  return day;
}

void Lay_Out_Day(const Scratch_Dir& dir, const Day& day) {
  for (std::size_t i = 0; i < day.files.size(); ++i)
    dir.Write(PAYMENT_FILES[i].name, day.files[i]);
  dir.Write("enable.txt", "1");
}

Started_Run Start_Run(const std::string& dir, const Run_Options& options) {
  if (!options.output_files.empty()) {
    pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
      int out = ::open((options.output_files + ".out").c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      int err = ::open((options.output_files + ".err").c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      if (out < 0 || err < 0) ::_exit(126);
      Exec_Child(dir, out, err, options);
    }
    Started_Run run;
    run.pid = child;
    return run;
  }
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) Exec_Child(dir, out[1], err[1], options);
  ::close(out[1]);
  ::close(err[1]);
  Started_Run run;
  run.pid = child;
  run.out_fd = out[0];
  run.err_fd = err[0];
  return run;
}

Run_Result Finish_Run(const Started_Run& run) {
  Run_Result result;
  // A run started with output_files writes its streams there instead.
  if (run.out_fd >= 0) Drain(run.out_fd, run.err_fd, result.out, result.err);
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  result.status =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

Run_Result Run_Settlement(const Scratch_Dir& dir, const Run_Options& options) {
  Started_Run run = Start_Run(dir.Path(), options);
  if (options.kill_after_seconds >= 0) {
    std::this_thread::sleep_for(
        std::chrono::duration<double>(options.kill_after_seconds));
    ::kill(run.pid, SIGKILL);
  }
  return Finish_Run(run);
}

Run_Result Run_Settlement(const Scratch_Dir& dir,
                          const std::vector<std::string>& args) {
  Run_Options options;
  options.args = args;
  return Run_Settlement(dir, options);
}

void Wait_Until_Signals_Handled(int pid) {
  for (int tries = 0; tries < 5000; ++tries) {
    std::string status = Read_File("/proc/" + std::to_string(pid) + "/status");
    std::size_t at = status.find("SigBlk:");
    if (at == std::string::npos) return;
    unsigned long long blocked =
        std::stoull(status.substr(at + 7), nullptr, 16);
    if (blocked & (1ULL << (SIGTERM - 1))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void Give_To_Unprivileged_User(const std::string& dir) {
  uid_t uid = 0;
  gid_t gid = 0;
  if (::geteuid() != 0 || !Unprivileged_Ids(uid, gid)) return;
  if (::lchown(dir.c_str(), uid, gid) != 0)
    throw std::runtime_error("cannot hand over " + dir);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (::lchown(entry.path().c_str(), uid, gid) != 0)
      throw std::runtime_error("cannot hand over " + entry.path().string());
  }
}

bool Permissions_Apply() {
  uid_t uid = 0;
  gid_t gid = 0;
  return ::geteuid() != 0 || Unprivileged_Ids(uid, gid);
}

// A seed for a randomised test, printed so that a failure can be replayed
// with FARE_TEST_SEED.
unsigned Test_Seed() {
  const char* given = std::getenv("FARE_TEST_SEED");
  unsigned seed = given
                      ? static_cast<unsigned>(std::strtoul(given, nullptr, 10))
                      : std::random_device{}();
  std::printf("seed %u (replay with FARE_TEST_SEED=%u)\n", seed, seed);
  return seed;
}
