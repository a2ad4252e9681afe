// The start-up clean-up of temporaries a killed run left behind.
#pragma once

// Removes temporaries that a killed run of this program left beside the
// file path leads to (".NAME.PROGRAM-XXXXXX", as Staged_File names them),
// when that file lies in the working directory. Other names, such as
// ".NAME.backup", are left alone.
void Remove_Stale_Temporaries(const char* path);
