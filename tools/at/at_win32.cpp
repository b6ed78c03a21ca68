// AT.exe: the scheduler zoba runs, standing in on Windows for the system
// command of that name, which on current Windows takes jobs only from an
// elevated administrator and runs them away from the user's desktop. It
// takes the same command line and registers a one-time task with the Task
// Scheduler as the logged-on user, on their desktop, with no elevation. A
// console program of its own, shipped beside zoba.exe.
#include <initguid.h>
#include <taskschd.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/command_line.h"
#include "tools/at/at_command.h"
#include "tools/at/file_search.h"
#include "tools/at/job_id.h"
#include "tools/at/launch_date.h"
#include "tools/at/task_record.h"
#include "tools/at/task_result.h"
#include "tools/at/task_xml.h"
#include "tools/rec/rec_signature.h"

namespace {

// The exit statuses; zoba shows a non-zero one in its failure notice.
constexpr int k_status_done = 0;
constexpr int k_status_unreadable = 2;
constexpr int k_status_past = 3;
constexpr int k_status_no_program = 4;
constexpr int k_status_no_scheduler = 5;
constexpr int k_status_refused = 6;
constexpr int k_status_no_such_job = 7;
constexpr int k_status_recorder = 8;  // the recorder cannot be started

// A booked number already taken in this install (it wrapped) gets a copy
// number up to this.
constexpr int k_copies = 99;
// REC --check reads its settings and looks for its recorder: seconds at most.
constexpr DWORD k_check_limit_ms = 30000;
constexpr DWORD k_poll_ms = 50;
// How far into a program named REC its signature is looked for.
constexpr std::size_t k_signature_limit = std::size_t{8} * 1024 * 1024;

// The names of the tasks AT registered, beside AT.exe: the listing reads it,
// as not every Task Scheduler can enumerate its tasks.
constexpr char k_record_file[] = "AT.tasks";
constexpr char k_no_entries[] = "There are no entries in the list.";

struct scheduler {
  ITaskService* service = nullptr;
  ITaskFolder* root = nullptr;
};

// The install this run serves (install_id): its tasks are the only ones AT
// lists, replaces or deletes.
std::string g_install;

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "AT: %s\n", message.c_str());
  return status;
}

// The one place AT's ANSI text (Shift_JIS) becomes the API's UTF-16. Text
// that is not whole in the code page gives no string.
BSTR to_bstr(const std::string& text) {
  int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length == 0 && size > 0) return nullptr;
  BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (wide != nullptr && length > 0) {
    MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, wide, length);
  }
  return wide;
}

// Why a value of the task cannot go into its XML: the pure rule, then each
// value converted on its own in the real code page, so that no byte of a
// value is ever read together with the markup after it.
std::string unconvertible_value(const task_definition& task) {
  std::string why = task_refusal(task);
  if (!why.empty()) return why;
  for (const task_value& v : task_values(task)) {
    BSTR wide = to_bstr(*v.value);
    if (wide == nullptr && !v.value->empty()) {
      return std::string("the ") + v.name + " is not text of the system's code page";
    }
    SysFreeString(wide);
  }
  return {};
}

std::string from_bstr(BSTR wide) {
  int size = static_cast<int>(SysStringLen(wide));
  int length = WideCharToMultiByte(CP_ACP, 0, wide, size, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, size, text.data(), length, nullptr, nullptr);
  return text;
}

std::string own_folder() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  std::size_t slash = folder.find_last_of('\\');
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string read_record() {
  std::string text;
  FILE* file = std::fopen((own_folder() + k_record_file).c_str(), "rb");
  if (file == nullptr) return text;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
  std::fclose(file);
  return text;
}

bool write_record(const std::string& text) {
  FILE* file = std::fopen((own_folder() + k_record_file).c_str(), "wb");
  if (file == nullptr) return false;
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

// The settings file of the install that runs AT: zoba names it in the
// environment; AT typed by hand serves the zoba.ini beside itself.
std::string settings_path() {
  char path[MAX_PATH * 2] = {};
  DWORD length = GetEnvironmentVariableA(k_install_variable, path, sizeof path);
  if (length > 0 && length < sizeof path) return std::string(path, length);
  return own_folder() + k_settings_file_name;
}

// The program as the system would find it for a command line: AT's own
// folder (zoba's) first, then the system folders, the current folder and
// PATH, ".exe" added to a name without an extension. The task gets the full
// path, so it starts the same program whatever folder it starts in.
bool find_program(const std::string& program, std::string& path, std::string& folder) {
  char found[MAX_PATH] = {};
  char* file_part = nullptr;
  DWORD length = SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, found, &file_part);
  if (length == 0 || length >= MAX_PATH) return false;
  DWORD attributes = GetFileAttributesA(found);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  path = found;
  folder = file_part == nullptr ? std::string() : std::string(found, file_part - found);
  return true;
}

void disconnect(scheduler& s) {
  if (s.root != nullptr) s.root->Release();
  if (s.service != nullptr) s.service->Release();
  s = scheduler();
}

HRESULT connect(scheduler& s) {
  HRESULT result = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ITaskService, reinterpret_cast<void**>(&s.service));
  if (FAILED(result)) return result;
  VARIANT none;
  VariantInit(&none);
  result = s.service->Connect(none, none, none, none);
  if (FAILED(result)) return result;
  BSTR root = SysAllocString(L"\\");
  result = s.service->GetFolder(root, &s.root);
  SysFreeString(root);
  return result;
}

HRESULT register_task(scheduler& s, const std::string& name, const std::string& xml) {
  BSTR wide_name = to_bstr(name);
  BSTR wide_xml = to_bstr(xml);
  VARIANT none;
  VariantInit(&none);
  IRegisteredTask* task = nullptr;
  // TASK_CREATE: a name already taken is never replaced.
  HRESULT result = s.root->RegisterTask(wide_name, wide_xml, TASK_CREATE, none, none,
                                        TASK_LOGON_INTERACTIVE_TOKEN, none, &task);
  if (task != nullptr) task->Release();
  SysFreeString(wide_xml);
  SysFreeString(wide_name);
  return result;
}

HRESULT remove_task(scheduler& s, const std::string& name) {
  BSTR wide_name = to_bstr(name);
  HRESULT result = s.root->DeleteTask(wide_name, 0);
  SysFreeString(wide_name);
  return result;
}

// The description of a registered task, which holds its listing line; the
// Task Scheduler's result for the task.
HRESULT task_description(scheduler& s, const std::string& name, std::string& description) {
  BSTR wide_name = to_bstr(name);
  IRegisteredTask* task = nullptr;
  HRESULT result = s.root->GetTask(wide_name, &task);
  SysFreeString(wide_name);
  if (FAILED(result)) return result;
  ITaskDefinition* definition = nullptr;
  IRegistrationInfo* info = nullptr;
  BSTR text = nullptr;
  if (SUCCEEDED(task->get_Definition(&definition)) &&
      SUCCEEDED(definition->get_RegistrationInfo(&info)) &&
      SUCCEEDED(info->get_Description(&text)) && text != nullptr) {
    description = from_bstr(text);
  }
  SysFreeString(text);
  if (info != nullptr) info->Release();
  if (definition != nullptr) definition->Release();
  task->Release();
  return result;
}

// Lists this install's tasks of the record that still exist and forgets
// those the Task Scheduler says are gone (run, expired and removed, or
// deleted by hand); one it cannot read now stays.
int list_tasks(scheduler& s) {
  std::string record = read_record();
  std::string kept = record;
  std::string prefix = task_name_prefix(g_install);
  int shown = 0;
  for (const std::string& name : text_lines(record)) {
    if (!name.starts_with(prefix)) continue;
    std::string description;
    HRESULT result = task_description(s, name, description);
    if (task_is_absent(result)) {
      kept = record_without(kept, name);
      continue;
    }
    if (FAILED(result))
      description = name.substr(prefix.size()) + "  (" + result_text(result) + ")";
    std::printf("%s\n", description.empty() ? name.c_str() : description.c_str());
    ++shown;
  }
  if (shown == 0) std::printf("%s\n", k_no_entries);
  if (kept != record) write_record(kept);
  return k_status_done;
}

int delete_task(scheduler& s, const std::string& id) {
  std::string name = task_name(g_install, id);
  HRESULT result = remove_task(s, name);
  if (FAILED(result) && !task_is_absent(result)) {
    return fail(
        "the job " + id + " cannot be deleted (" + result_text(result) + "); it stays booked",
        k_status_refused);
  }
  write_record(record_without(read_record(), name));
  if (FAILED(result)) {
    return fail("there is no job " + id + " (" + result_text(result) + ")", k_status_no_such_job);
  }
  std::printf("Deleted the job with job ID = %s\n", id.c_str());
  return k_status_done;
}

// Reads what has come through the pipe so far, without waiting for more.
void drain(HANDLE pipe, std::string& output) {
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char chunk[512];
    DWORD got = 0;
    if (!ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) || got == 0) return;
    output.append(chunk, got);
  }
}

// run_captured's statuses for a program that did not start or end.
constexpr long k_not_started = -1;
constexpr long k_timed_out = -2;

// Waits for a process up to the check's limit, reading its output as it
// comes, so that a full pipe never stalls it; its exit status, or
// k_timed_out once it has been ended.
long wait_captured(HANDLE process, HANDLE pipe, std::string& output) {
  for (DWORD waited = 0; WaitForSingleObject(process, k_poll_ms) == WAIT_TIMEOUT;
       waited += k_poll_ms) {
    drain(pipe, output);
    if (waited >= k_check_limit_ms) {
      TerminateProcess(process, 1);
      return k_timed_out;
    }
  }
  drain(pipe, output);
  DWORD code = 0;
  return GetExitCodeProcess(process, &code) ? static_cast<long>(code) : k_not_started;
}

// Runs a command line in folder with no console window, its standard
// output and error caught in output; its exit status, k_not_started or
// k_timed_out.
long run_captured(std::string line, const std::string& folder, std::string& output) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return k_not_started;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process = {};
  BOOL started =
      CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  CloseHandle(write_end);
  long status = k_not_started;
  if (started) {
    CloseHandle(process.hThread);
    status = wait_captured(process.hProcess, read_end, output);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  return status;
}

// REC is asked, with the job's own arguments, whether its settings can
// record: a booking it would fail at the launch time is refused now. Only
// our REC, whose file carries its signature: a user's own REC.bat or
// program of that name is never started at booking.
int check_recorder(const task_definition& task) {
  if (!is_recorder(task.program)) return k_status_done;
  if (!file_holds(task.program, k_rec_signature, k_signature_limit)) return k_status_done;
  std::string line = "\"" + task.program + "\" --check";
  if (!task.arguments.empty()) line += " " + task.arguments;
  std::string output;
  long status = run_captured(line, task.working_folder, output);
  if (status == 0) return k_status_done;
  if (status == k_not_started) {
    return fail("the recorder " + task.program + " cannot be started for its check",
                k_status_recorder);
  }
  if (status == k_timed_out) {
    return fail("the recorder " + task.program + " did not answer its check within " +
                    std::to_string(k_check_limit_ms / 1000) + " seconds",
                k_status_recorder);
  }
  std::vector<std::string> lines = text_lines(output);
  if (lines.empty()) {
    return fail("the recorder's check ended with status " + std::to_string(status),
                k_status_recorder);
  }
  return fail("the recorder cannot record: " + lines[0], k_status_recorder);
}

// Reads the command line (and its words) and finds the launch and the
// program; a status other than done when one of them is wrong.
int read_job(const std::string& line, const std::vector<std::string>& words,
             task_definition& task) {
  at_request request;
  std::string error = parse_at_arguments(words, request);
  if (!error.empty()) return fail(error, k_status_unreadable);
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  at_date today{now.wYear, now.wMonth, now.wDay};
  int now_minute = now.wHour * 60 + now.wMinute;
  at_date date;
  error = launch_day(request, today, now_minute, date);
  if (!error.empty()) return fail(error, k_status_unreadable);
  error = past_launch(request, today, now_minute, date);
  if (!error.empty()) return fail(error + "; nothing was registered", k_status_past);
  std::string path;
  std::string folder;
  if (!find_program(request.command[0], path, folder)) {
    return fail("the program " + request.command[0] + " cannot be found", k_status_no_program);
  }
  task = task_for(line, request, date, path, folder);
  error = unconvertible_value(task);
  if (!error.empty()) return fail(error + "; nothing was registered", k_status_unreadable);
  return check_recorder(task);
}

// Registers the task under its name, or, when this install already has a
// task of that number (it wrapped), under the first free copy number.
HRESULT register_new(scheduler& s, task_definition& task) {
  std::string id = task.id;
  HRESULT result = E_FAIL;
  for (int copy = 1; copy <= k_copies; ++copy) {
    if (copy > 1) {
      task.id = copy_identifier(id, copy);
      task.description = listing_line(task.id, task.date, task.hour, task.minute, task.command);
    }
    result = register_task(s, task_name(g_install, task.id), task_xml(task));
    if (!task_name_taken(result)) return result;
  }
  return result;
}

int schedule(scheduler& s, task_definition task) {
  HRESULT result = register_new(s, task);
  std::string name = task_name(g_install, task.id);
  registration outcome = registration_outcome(result);
  if (outcome == registration::registered_unusable) {
    HRESULT removed = remove_task(s, name);
    // Kept in the record while it exists, so that AT lists it and can delete it.
    if (FAILED(removed)) write_record(record_with(read_record(), name));
    std::string what = SUCCEEDED(removed) ? "it was removed again"
                                          : "it could not be removed (" + result_text(removed) +
                                                "): delete " + name + " in the Task Scheduler";
    return fail("the Task Scheduler registered the job but cannot run it (" + result_text(result) +
                    "); " + what,
                k_status_refused);
  }
  if (outcome == registration::refused) {
    return fail("the Task Scheduler did not take the job (" + result_text(result) + ")",
                k_status_refused);
  }
  if (!write_record(record_with(read_record(), name))) {
    std::fprintf(stderr, "AT: %s cannot be written; AT will not list this job\n", k_record_file);
  }
  std::printf("Added a new job with job ID = %s\n", task.id.c_str());
  return k_status_done;
}

// Everything after the command line is read: connect, then do what it asks.
int run(const std::string& line) {
  g_install = install_id(settings_path(), true);
  std::vector<std::string> words = split_task_command_line(line);
  std::string id;
  at_form form = at_form_of(words, id);
  task_definition task;
  if (form == at_form::schedule) {
    int status = read_job(line, words, task);
    if (status != k_status_done) return status;
  }
  scheduler s;
  HRESULT result = connect(s);
  int status = k_status_no_scheduler;
  if (FAILED(result)) {
    fail("the Task Scheduler is not available (" + result_text(result) + ")", status);
  } else if (form == at_form::list) {
    status = list_tasks(s);
  } else if (form == at_form::remove) {
    status = delete_task(s, id);
  } else {
    status = schedule(s, task);
  }
  disconnect(s);
  return status;
}

}  // namespace

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    return fail("COM cannot be started", k_status_no_scheduler);
  }
  // The Task Scheduler acts for the caller: it must be let impersonate it.
  // Should this fail, Connect says so and AT ends with that status.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, 0, nullptr);
  int status = run(GetCommandLineA());
  CoUninitialize();
  return status;
}
