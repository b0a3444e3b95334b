#include "data/settings_blocks.h"

#include <utility>

namespace srx {

namespace {
ProgramConfigHooks g_hooks;
}  // namespace

SettingsBlocks& Settings() {
    static SettingsBlocks settings{};
    return settings;
}

void SetProgramConfigHooks(ProgramConfigHooks hooks) { g_hooks = std::move(hooks); }
const ProgramConfigHooks& ProgramConfigHooksInUse() { return g_hooks; }

bool MemoryValueStore::ReadValue(const std::string& name, std::vector<uint8_t>& out) {
    auto it = values.find(name);
    if (it == values.end()) return false;
    out = it->second;
    return true;
}

bool MemoryValueStore::WriteValue(const std::string& name, const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    values[name].assign(p, p + size);
    return true;
}

}  // namespace srx
