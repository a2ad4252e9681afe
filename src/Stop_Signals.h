// How a program stops on a request: without leaving a temporary behind.
#pragma once

// From here on a stop request (SIGINT, SIGTERM, SIGHUP; see
// Os_Stop_On_Requests) removes every unpublished temporary, prints
// "PROGRAM: stopped by NAME" on standard error and ends the process as the
// request does; SIGPIPE is ignored. The program is named PROGRAM from here
// on (Program_Name), its temporaries too. Call before any other thread
// starts.
void Stop_On_Signals(const char* program);
