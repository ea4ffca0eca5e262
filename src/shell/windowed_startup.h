#pragma once

namespace vantiro {

// The windowed player with its options (argv[1] on); the result is the exit code.
int runWindowedPlayer(int argc, char** argv);

}  // namespace vantiro
