#include "audit_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

const Settled_Day WORKED_RUN = {
    Worked_Day(),
    "200,1,1,0,T2\n150,0,1,1050,T2\n270,0,1,100 T2\nEND",
    "300,1,2648",
    "280,0,5349",
};

void Lay_Out_Settled_Day(const Scratch_Dir& dir, const Settled_Day& settled) {
  Lay_Out_Day(dir, settled.day);
  dir.Write("trans_history.txt", settled.history);
  dir.Write("Total_Bus_Data.txt", settled.bus_summary);
  dir.Write("Total_Metro_Data.txt", settled.metro_summary);
}

Run_Result Run_Audit(const std::vector<std::string>& args,
                     const std::string& cwd) {
  std::vector<char*> argv{const_cast<char*>(FARE_AUDIT_EXE)};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  char out_path[] = "/tmp/fare-audit-out.XXXXXX";
  char err_path[] = "/tmp/fare-audit-err.XXXXXX";
  int out = ::mkstemp(out_path);
  int err = ::mkstemp(err_path);
  if (out < 0 || err < 0) throw std::runtime_error("mkstemp failed");
  pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::alarm(60);  // an audit that hangs ends by SIGALRM
    ::execv(FARE_AUDIT_EXE, argv.data());
    ::_exit(127);
  }
  ::close(out);
  ::close(err);
  int status = 0;
  ::waitpid(child, &status, 0);
  Run_Result result;
  result.status =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = Read_File(out_path);
  result.err = Read_File(err_path);
  ::unlink(out_path);
  ::unlink(err_path);
  return result;
}

std::vector<std::string> Names_In(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
