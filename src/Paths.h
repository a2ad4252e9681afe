// Paths: their parts, and whether two of them lead to one file.
#pragma once

#include <string>

// The directory part of path with its separator, or "" for a bare name.
std::string Directory_Prefix(const std::string& path);
// The last part of path.
std::string Base_Name(const std::string& path);
// The path of the file name in directory dir: name itself when dir is "",
// else dir and name with one separator between them.
std::string Path_In(const std::string& dir, const std::string& name);

// path made absolute against the working directory, without dots when
// normal is set; as given when it is "" or there is no working directory.
// Names are UTF-8 on every system.
std::string Absolute_Path(const std::string& path, bool normal = false);

// Follows path through its symbolic links to the name of the file they lead
// to, which need not exist; throws "cannot create" after too many links.
std::string Link_Target(const std::string& path);

// Whether a and b lead to one file: the same file now (its identity, so
// hard links too), or the same name once links and dots are resolved, so
// also a file that does not exist yet and a write would create.
bool Same_File(const std::string& a, const std::string& b);
