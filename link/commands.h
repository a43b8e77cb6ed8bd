// The controller's command codes, channel operand and display scales.
#pragma once

// Queries (body = code, or code followed by the channel operand).
constexpr const char CMD_VERSION[] = "00";
constexpr const char CMD_READ_TEMP[] = "01";
constexpr const char CMD_READ_POWER[] = "03";
constexpr const char CMD_READ_STATUS[] = "05";
constexpr const char CMD_READ_SETPOINT[] = "51";
constexpr const char CMD_READ_OUTPUT_ENABLE[] = "56";

// Writes (code plus a 32-bit data word); the two setting writes act on the
// channel named by the last CMD_SELECT_CHANNEL.
constexpr const char CMD_SELECT_CHANNEL[] = "20";
constexpr const char CMD_WRITE_SETPOINT[] = "31";
constexpr const char CMD_WRITE_OUTPUT_ENABLE[] = "36";

// Number of channels; on the wire they are 0 ... 3.
constexpr int kChannelCount = 4;

// Operand of the channel chosen in the panel's channel list: eight hex digits
// of the zero-based channel and a terminator. "00000000" at start.
extern char g_szChannel[9];

// Reply value to display value: temperature in hundredths, set temperature in
// tenths, power where 511 is full output (the double nearest to 100/511).
constexpr double TEMP_SCALE = 0.01;
constexpr double SETPOINT_SCALE = 0.1;
constexpr double POWER_SCALE = 0.19569471624266144;

// Status word bits of CMD_READ_STATUS.
constexpr int STATUS_SENSOR = 1 << 0;
constexpr int STATUS_OVERTEMP = 1 << 1;
constexpr int STATUS_EXT_HEAT_ENABLE = 1 << 2;
