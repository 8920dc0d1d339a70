#pragma once

namespace kestrion::platform {
struct AppState;
class SettingsStore;
} // namespace kestrion::platform

namespace kestrion::app {

// Reads "Timeout", "PacketSize" and "StartWithLocalAddress" of section "Settings" into memory,
// with the defaults 3000, 64 and True for a key that is missing or does not read as its type.
void ReadSettings(platform::AppState& state, const platform::SettingsStore& settings);

} // namespace kestrion::app
