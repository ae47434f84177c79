#pragma once

namespace tyq_tool {

// tyq demo [DIR] [--description FILE]: copies the example synthetic volume
// into an uncompressed file with its level-of-detail pyramid, reads it back
// and checks it against the source. Exit code 0 only when everything matches.
int runDemo(int argc, char** argv);

}  // namespace tyq_tool
