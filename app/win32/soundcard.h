#pragma once
// The program's sound card: its devices and mixers from start to exit, the
// start-up sound-card test, the level presets of the settings' Levels page
// and the absolute SPL calibration.
#include <windows.h>

#include <string>

namespace srx {

// Start-up, after the settings were loaded: installs the sound cards and the
// virtual loudspeaker as the engine's devices, keeps every mixer's state in
// the program folder ("MIXSET%02d.CFG") and puts the last used levels back.
void InstallProgramAudio(const std::string& programFolder);
// Exit: stores the levels in use, then gives every mixer its state from
// before the start back.
void ShutdownProgramAudio();

// The frame's creation: a configured card gets the start-up test; a fresh
// installation without a sound card is configured for the virtual
// loudspeaker first; with a card but none chosen the settings open (711).
void PostStartupSoundcardCheck(HWND frame);
// UM_CARDTEST: runs the test dialog (template 32) on the measurement
// thread; a busy thread is waited for a few seconds. Answers 1.
LRESULT RunCardTest(HWND frame);
INT_PTR CALLBACK CardTestProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

// Tests: whether UM_CARDTEST runs the test, where its and the SPL
// calibration's messages go (null restores MessageBoxId), how many tests
// ended and how the last one did (0 passed, else the string id of its
// message; -1 none yet).
void SetCardTestEnabled(bool enabled);
using SoundcardMessageFn = int (*)(HWND owner, int stringId, UINT flags);
void SetSoundcardMessageHook(SoundcardMessageFn fn);
int CardTestsRun();
int LastCardTestResult();

// The Levels page: saves the mixer levels of the settings' devices as the
// acoustic or impedance preset. False when the devices have no mixer.
bool SaveLevelPresetForSettings(bool impedance);
// A measurement's preparation: loads the preset of its kind (the shape of
// WavePrepareHooks::loadMixerLevels).
void LoadLevelPresetForSettings(bool impedance);
// The confirmed settings sheet: the levels in use go to the registry.
void SaveLevelsForSettings();

INT_PTR CALLBACK LevelsInformationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);
// "Absolute SPL Calibration": plays and stops the 1 kHz tone, takes the SPL
// meter's reading, measures the tone and sets "Add to Frequency Response".
// Ends with IDOK when the settings changed.
INT_PTR CALLBACK SplCalibrationProc(HWND dialog, UINT message, WPARAM wp, LPARAM lp);

}  // namespace srx
