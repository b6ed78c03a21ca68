// The Task Scheduler for AT.exe: connecting, registering, deleting and
// reading tasks in its root folder. Text is in the ANSI code page, the
// results are the scheduler's HRESULTs.
#pragma once

#include <string>

// A connection to the Task Scheduler; what it is belongs to COM.
struct task_scheduler;

// Starts COM for this thread, letting the scheduler act for the caller;
// false when COM cannot be started.
bool start_com();

// Ends COM for this thread.
void stop_com();

// Connects to the scheduler's root folder; null (result saying why) when it
// is not available.
task_scheduler* connect_scheduler(long& result);

// Releases a connection.
void disconnect_scheduler(task_scheduler* s);

// Registers a new task from its XML as the logged-on user; a name already
// taken is never replaced.
long register_task(task_scheduler* s, const std::string& name, const std::string& xml);

// Deletes the task of that name.
long remove_task(task_scheduler* s, const std::string& name);

// The description of a registered task, which holds its listing line, and
// its source, the install's settings file; the scheduler's result for the
// task.
long task_registration(task_scheduler* s, const std::string& name, std::string& description,
                       std::string& source);

// True when text is whole in the ANSI code page, so that the scheduler
// gets it as written.
bool is_system_text(const std::string& text);
