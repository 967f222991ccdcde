#pragma once

// Writes one line "[BriscaLogger]: <message>\n" to the debugger output. `format` is a printf
// format in UTF-8; the message has no length limit and control characters pass through unchanged.
// Keeps no state; safe from any thread.
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
