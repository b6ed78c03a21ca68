// What the Task Scheduler's result codes mean to the Windows AT: whether a
// registration took, whether a task is gone or its name taken, and the text
// a failure is shown with. Codes are plain numbers here (HRESULTs as long).
#pragma once

#include <string>

// What a registration's result means: done only for S_OK; a task that is
// registered but whose trigger or logon failed must be removed again; any
// failure code leaves nothing behind.
enum class registration { done, registered_unusable, refused };
registration registration_outcome(long result);

// Whether a Task Scheduler result says the task does not exist (the only
// reason a name leaves the record).
bool task_is_absent(long result);

// Whether a registration under TASK_CREATE failed because the name is taken.
bool task_name_taken(long result);

// A result code in hexadecimal, with what it means for the common codes
// (the scheduler not running, access denied, creation prohibited by
// policy, a task definition the scheduler calls malformed).
std::string result_text(long result);
