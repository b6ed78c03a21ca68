// The user's folders the system names.
#pragma once

#include <string>

namespace platform {

// The user's videos folder as UTF-8 (Windows' Videos known folder; on
// Linux XDG_VIDEOS_DIR from the environment or the user's dirs file, else
// ~/Videos). Empty when there is none.
std::string videos_folder();

}  // namespace platform
