// The tool's commands on recordings:
//   pcqw32-sim recordings <folder> <db>
//   pcqw32-sim calls <folder> <db> [recording] [--kind quote|fundamentals]
#ifndef QUORVEX_FEED_SIM_RECORDING_TOOL_H
#define QUORVEX_FEED_SIM_RECORDING_TOOL_H

namespace pcqw32 {

// Runs one of the commands above and returns the exit code, or -1 when the arguments are not
// one of them. Throws std::runtime_error on failure.
int recordingCommand(int argc, char **argv);

// The usage lines of the commands.
extern const char RECORDING_USAGE[];

} // namespace pcqw32

#endif
