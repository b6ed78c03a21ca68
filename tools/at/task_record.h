// The record of the tasks the Windows AT registered, beside its settings:
// their names, one a line with CR LF (text_lines reads them), so that its
// listing and its deletions touch only tasks it made.
#pragma once

#include <string>

// The record with the name added once at its end (kept where it already is).
std::string record_with(const std::string& text, const std::string& name);

// The record without the name.
std::string record_without(const std::string& text, const std::string& name);
