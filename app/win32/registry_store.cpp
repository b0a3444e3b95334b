#include "app/win32/registry_store.h"
#include "app/win32/commands_internal.h"

#include <commctrl.h>

namespace srx {

const char kSettingsKey[] = "Software\\Brannvik Acoustic Tools\\Son Rix Demo";

namespace {

// No value of ours comes near this; a larger one is not read into memory.
constexpr DWORD kMaxValueSize = 1024 * 1024;

}  // namespace

RegistryValueStore::RegistryValueStore(std::string subkey, HKEY root) : subkey_(std::move(subkey)), root_(root) {}

bool RegistryValueStore::ReadValue(const std::string& name, std::vector<uint8_t>& out) {
    HKEY key;
    if (RegOpenKeyExA(root_, subkey_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
              type == REG_BINARY && size <= kMaxValueSize;
    if (ok) {
        std::vector<uint8_t> bytes(size);
        DWORD got = size;
        ok = RegQueryValueExA(key, name.c_str(), nullptr, &type, bytes.data(), &got) == ERROR_SUCCESS &&
             type == REG_BINARY && got == size;
        if (ok) out = std::move(bytes);
    }
    RegCloseKey(key);
    return ok;
}

bool RegistryValueStore::WriteValue(const std::string& name, const void* data, size_t size) {
    if (size > kMaxValueSize) return false;
    HKEY key;
    if (RegCreateKeyExA(root_, subkey_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = RegSetValueExA(key, name.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data),
                             static_cast<DWORD>(size)) == ERROR_SUCCESS;
    RegFlushKey(key);
    RegCloseKey(key);
    return ok;
}

DesktopArea SystemDesktopArea() {
    DesktopArea d;
    d.width = GetSystemMetrics(SM_CXSCREEN);
    d.height = GetSystemMetrics(SM_CYSCREEN);
    RECT work;
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
        d.workLeft = work.left;
        d.workTop = work.top;
        d.workRight = work.right;
        d.workBottom = work.bottom;
    } else {
        d.workRight = d.width;
        d.workBottom = d.height;
    }
    return d;
}

void LoadSettings(const char* subkey) {
    RegistryValueStore store(subkey);
    LoadSettings(Settings(), store, SystemDesktopArea());
    NoticesFromSettings();
}

void SaveSettings(const char* subkey) {
    RegistryValueStore store(subkey);
    NoticesToSettings();
    SaveSettings(Settings(), store);
}

const char* ToolbarValueName(bool easyMenu) { return easyMenu ? kToolbarEasyValue : kToolbarAdvancedValue; }

namespace {

bool ToolbarSaveRestore(HWND toolbar, bool easyMenu, const char* subkey, bool save) {
    TBSAVEPARAMSA params{HKEY_CURRENT_USER, subkey, ToolbarValueName(easyMenu)};
    bool ok = SendMessageA(toolbar, TB_SAVERESTOREA, save ? TRUE : FALSE, reinterpret_cast<LPARAM>(&params)) != 0;
    if (ok && save) {
        RegistryValueStore store(subkey);
        std::vector<uint8_t> bytes;
        if (store.ReadValue(params.pszValueName, bytes)) Settings().toolbarLayout[easyMenu] = bytes;
    }
    return ok;
}

}  // namespace

bool SaveToolbarLayout(HWND toolbar, bool easyMenu, const char* subkey) {
    return ToolbarSaveRestore(toolbar, easyMenu, subkey, true);
}

bool RestoreToolbarLayout(HWND toolbar, bool easyMenu, const char* subkey) {
    return ToolbarSaveRestore(toolbar, easyMenu, subkey, false);
}

}  // namespace srx
