#pragma once
// The settings blocks in the registry: binary values under the program's
// key of HKEY_CURRENT_USER, read once at start-up and written at shutdown.
#include <windows.h>

#include <string>

#include "app/settings.h"

namespace srx {

extern const char kSettingsKey[];  // "Software\Brannvik Acoustic Tools\Son Rix Demo"

// Binary values of one registry key. Values of another type are treated as
// absent; a missing key reads as empty and is created by the first write.
class RegistryValueStore : public ValueStore {
public:
    explicit RegistryValueStore(std::string subkey = kSettingsKey, HKEY root = HKEY_CURRENT_USER);
    bool ReadValue(const std::string& name, std::vector<uint8_t>& out) override;
    // Opens (or creates) the key, writes, flushes and closes it again.
    bool WriteValue(const std::string& name, const void* data, size_t size) override;

private:
    std::string subkey_;
    HKEY root_;
};

// The primary screen size and its work area.
DesktopArea SystemDesktopArea();

// Settings() from the registry (defaults for whatever is missing or unusable).
void LoadSettings(const char* subkey = kSettingsKey);

// Settings() to the registry; values that cannot be written are skipped.
void SaveSettings(const char* subkey = kSettingsKey);

// The registry value holding the toolbar layout of a menu mode.
const char* ToolbarValueName(bool easyMenu);

// Saves / restores a toolbar's layout through the common-controls
// save/restore operation; the saved image is also kept in Settings().
bool SaveToolbarLayout(HWND toolbar, bool easyMenu, const char* subkey = kSettingsKey);
bool RestoreToolbarLayout(HWND toolbar, bool easyMenu, const char* subkey = kSettingsKey);

}  // namespace srx
