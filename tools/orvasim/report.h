// What the tool reports: the adapter as discovery left it, the mode list, and the
// hardware state after a mode set, read back from the board's registers and
// devices. Each report is built as JSON (integers as plain numbers) and printed as
// text from that JSON, so both forms always say the same.
#pragma once
#include <ostream>
#include <vector>

#include "cli.h"
#include "client.h"
#include "session.h"

namespace orvasim {

// Chip, hardware ID, published registry values, frame buffer, output selection and
// the number of modes.
Json infoReport(orva::platform::Session& session, Client& client, const ToolOptions& options);
void printInfo(const Json& info, std::ostream& out);

// Why the driver will not take `keyword` as its output, or "" when it will: no row of
// its keyword table has that name (it keeps MONITOR), the row it names is no output
// (no mode is offered), or the output offers no mode on this board.
// "" too when the driver does not show its table.
std::string keywordProblem(orva::platform::Session& session, const std::string& keyword);

// The list as IOCTL_VIDEO_QUERY_AVAIL_MODES returns it: one object per mode with
// the fields of VIDEO_MODE_INFORMATION under their own names.
Json modesReport(const std::vector<ModeInformation>& modes);
void printModes(const std::vector<ModeInformation>& modes, std::ostream& out);

// Positions into the board's device logs, taken before a request, so that a
// report shows only what that request made the devices receive.
struct DeviceMarks {
  size_t tvWrites = 0, i2cTransactions = 0, tftIoWrites = 0, tftWindowWrites = 0;
  uint64_t stallMicroseconds = 0;
};
DeviceMarks markDevices(const orva::board::Board& board);

// What the display hardware now does: pixel format, pitch and start, pixel clock,
// line and frame rates, sync polarities, FIFO watermarks, the output device and
// what it received since `since`, the cursor. Registers only; no driver variable.
Json hardwareReport(const orva::board::Board& board, const DeviceMarks& since);
void printHardware(const Json& hardware, std::ostream& out);

// The mode set: the request and its status, the mode asked for, the hardware
// report, and the frame-buffer layout behind the screen (pointer capabilities and
// IOCTL_DRIVER_QUERY_FB_FREE are asked of the driver after the mode set).
Json setReport(orva::platform::Session& session, Client& client, uint32_t mode,
               const std::vector<ModeInformation>& listed);
void printSet(const Json& report, std::ostream& out);

// Writes the scanout (the displayed picture with the cursor overlaid) as PNG.
// Returns a JSON summary; throws std::runtime_error when no picture or no file.
Json writeScreenshot(const orva::board::Board& board, const std::string& file);

}  // namespace orvasim
