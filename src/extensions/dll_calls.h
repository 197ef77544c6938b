// Script calls of routines in outside shared objects: /dll, $dll( and
// $dllcall(. A library is loaded with dlopen by the path the script gives
// (relative paths after the settings folder, never the current folder) and
// stays loaded between calls when its LoadDll asks for it; an idle library
// is asked to unload after ten minutes.
//
// The routine interface, as a C function of the shared object:
//
//   int routine(int main_window, int window, char* data, char* params,
//               int show, int no_pause);
//
// main_window is 0 (the frame), window the number of the calling window
// (0 when none); data and params point to buffers of kDllBufferSize bytes:
// data holds the call's text zero-filled after it, params is all zero; the
// routine may leave a command or a value in data and the command's $1- in
// params. The result: 0 halt, 1 continue, 2 run data as a command, 3 data
// is the value. Optional exports:
//
//   struct DllLoadInfo { int version; int main_window; int keep; };
//   void LoadDll(DllLoadInfo* info);   // keep is 1 before the call
//   int UnloadDll(int reason);         // 0 asked, 1 idle, 2 exit
//
// With reason 1 an UnloadDll that returns 0 keeps the library loaded.
#pragma once

#include <string>

constexpr int kDllBufferSize = 4200;
// Ticks of one second after which an unused library is asked to unload.
constexpr int kDllIdleTicks = 600;

struct DllLoadInfo {
    int version;
    int main_window;
    int keep;
};

// The loaded libraries, in the order they were loaded: their full paths.
int dll_count();
std::string dll_path(int index);
// The version word handed to LoadDll: the program's major version in the
// low 16 bits, its minor version (a one-digit minor counting as tens) in
// the high 16 bits.
int dll_version_word(const char* version);
// One tick of the idle count of every loaded library (the one-second tick).
void dll_idle_tick();
// Asks every loaded library to unload for the program's exit (their
// modules stay mapped until dll_free_all).
void dll_unload_all_for_exit();
// Releases the modules of the libraries that were asked to unload at exit
// and of any still listed; a library with a call still running is left
// mapped.
void dll_free_all();

void dll_calls_install();
void dll_calls_uninstall();
