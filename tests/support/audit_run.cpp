#include "audit_run.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

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
  Run_Options options;
  options.program = Audit_Exe();
  options.time_limit_seconds = 60;  // an audit that hangs ends by SIGALRM
  options.args = args;
  return Finish_Run(Start_Run(cwd, options));
}

Spoil Removing(const char* name) {
  return [name](const Scratch_Dir& d) { std::remove(d.File(name).c_str()); };
}

Spoil Fifo_For(const char* name) {
  return [name](const Scratch_Dir& d) {
    std::remove(d.File(name).c_str());
    ASSERT_EQ(::mkfifo(d.File(name).c_str(), 0644), 0);
  };
}

Spoil Socket_For(const char* name) {
  return [name](const Scratch_Dir& d) {
    std::string path = d.File(name);
    std::remove(path.c_str());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // Kept open until the process ends: the socket stays bound.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address),
        0);
  };
}

std::string Rejects_File_Of(const Scratch_Dir& dir, const std::string& name) {
  return std::filesystem::path(dir.Path()).filename().string() + "." +
         name.substr(0, name.rfind('.')) + ".rejects.csv";
}
