// The body of POST /settings: a JSON object with "channel" (1 ... 4) and
// "set_temperature" (the panel's decimal text, "25.5"), "output_enable"
// ("ENABLE" or "DISABLE"), or both. Nothing else is taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "channel_settings.h"
#include "write_envelope.h"

// Longer bodies are refused unread: the largest sensible one is under 100 bytes.
constexpr std::size_t kMaxSettingsBody = 1024;

// The change the body asks for; or false and why, for a 400.
bool ParseSettingsRequest(std::string_view body, SettingsChange* change, std::string* problem);
