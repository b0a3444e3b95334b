#pragma once
// The frame window and the start-up sequence around it. The functions the
// other parts of the shell call are declared in shell.h; this header holds
// what the entry point and the tests need beyond that.
#include <windows.h>

#include <string>

#include "resources/status.h"
#include "resources/status_text.h"  // StatusText, for the message boxes

namespace srx {

extern const char kFrameClass[];  // "SON_RIX_WClass"

// Steps 1-2 of start-up: when a frame of another instance runs, brings it
// forward, hands the command line's files over and returns true (the caller
// ends with exit code 0).
bool HandOverToRunningInstance(const char* commandLine);

// Writes the files of `commandLine` into the hand-over list and sends
// UM_OPENLISTED to `running`. False when there was nothing to hand over or
// the list could not be written.
bool HandOverFiles(HWND running, const char* commandLine);

// Steps 3-11: splash, settings, classes, frame, files of the command line,
// plug-ins. False when the frame could not be built (exit code 0).
bool StartFirstInstance(HINSTANCE instance, const char* commandLine, int show);

// The splash window while start-up runs (null otherwise); the plug-in loader
// writes each plug-in's name into its field 102.
HWND StartupSplash();

// Step 12; its result is the process exit code.
int RunMessageLoop();

// The whole program: both of the above.
int SonRixMain(HINSTANCE instance, const char* commandLine, int show);

// Registers the frame class with the class menu of the menu mode.
bool RegisterFrameClass(HINSTANCE instance, bool easyMenu);

// Creates the frame (its creation message builds client, toolbar and status
// bar) at the saved placement; null when any of them is missing.
HWND CreateFrame(HINSTANCE instance);

// Opens every file of the hand-over list, then deletes the list.
void OpenListedFiles();

// The hand-over list in this process's temporary folder.
std::string HandOverListFile();

// The folder of the program with a trailing backslash.
std::string ProgramFolderOf(HINSTANCE instance);

// Right edges of status parts 0..5 for a status bar `width` pixels wide
// whose read-out panes 1..5 are `paneWidth` wide (the clock keeps 80).
void StatusPartEdges(int width, int paneWidth, int edges[7]);

// The THD of the open results that carry harmonics, after the harmonics
// chosen in the settings changed (UM_RECOMPUTETHD); they are repainted.
void RecomputeOpenDistortion();
// Width of a read-out pane of `status`: the widest read-out in the status
// bar's font with the pane's borders, and never below 80.
int ReadoutPaneWidth(HWND status);

// Tiles `bitmap` over `rect` of `dc` from its top-left corner.
void TileBitmap(HDC dc, HBITMAP bitmap, const RECT& rect);

}  // namespace srx
