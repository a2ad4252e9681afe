#include "settlement_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

const std::array<const char*, 6> PAYMENT_FILES = {
    "paymentData_5001.txt", "paymentData_7001.txt", "paymentData_7002.txt",
    "paymentData_7003.txt", "paymentData_7004.txt", "paymentData_7005.txt"};

void Lay_Out_Day(const Scratch_Dir& dir, const Day& day) {
  for (std::size_t i = 0; i < PAYMENT_FILES.size(); ++i)
    dir.Write(PAYMENT_FILES[i], day.files[i]);
  dir.Write("enable.txt", "1");
}

Run_Result Run_Settlement(const Scratch_Dir& dir,
                          const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(FARE_SETTLEMENT_EXE)};
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::string out_path = dir.Path() + ".stdout";
  std::string err_path = dir.Path() + ".stderr";
  pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || ::chdir(dir.Path().c_str()) != 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(FARE_SETTLEMENT_EXE, argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  Run_Result result;
  result.status =
      WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = Read_File(out_path);
  result.err = Read_File(err_path);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return result;
}
