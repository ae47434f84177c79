#pragma once

namespace tyq_tool {

// tyq info [--json] FILE: what a volume file holds, for people and scripts.
int runInfo(int argc, char** argv);

}  // namespace tyq_tool
