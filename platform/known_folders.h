// The user's folders the system names, and a folder setting as the system
// reads one.
#pragma once

#include <string>

namespace platform {

// The user's videos folder as UTF-8 (Windows' Videos known folder; on
// Linux XDG_VIDEOS_DIR from the environment or the user's dirs file, else
// ~/Videos). Empty when there is none.
std::string videos_folder();

// The user's home folder as UTF-8: on POSIX $HOME, else the user's passwd
// entry; on Windows the Profile known folder. Empty when there is none.
std::string home_folder();

// A folder setting with the system's variables put in: on Windows each
// %NAME% that is set (ExpandEnvironmentStringsW, as Explorer reads a path;
// one that is not set stays as written); on POSIX the text as it is.
std::string expand_variables(const std::string& text);

}  // namespace platform
