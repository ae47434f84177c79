#pragma once

#include <cstddef>
#include <functional>

namespace tyq_test {

// Runs `body` in a child process whose address space may grow by no more
// than `headroom` bytes; true when it ran to the end and returned true. An
// allocation beyond the headroom fails there (or aborts a sanitizer build).
bool withinHeadroom(size_t headroom, const std::function<bool()>& body);

}  // namespace tyq_test
