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

#include "tools/at/at_job.h"
#include "tools/at/task_xml.h"

namespace {

// The exit statuses; zoba shows a non-zero one in its failure notice.
constexpr int k_status_done = 0;
constexpr int k_status_unreadable = 2;
constexpr int k_status_past = 3;
constexpr int k_status_no_program = 4;
constexpr int k_status_no_scheduler = 5;
constexpr int k_status_refused = 6;
constexpr int k_status_no_such_job = 7;

// The names of the tasks AT registered, beside AT.exe: the listing reads it,
// as not every Task Scheduler can enumerate its tasks.
constexpr char k_record_file[] = "AT.tasks";
constexpr char k_no_entries[] = "There are no entries in the list.";

struct scheduler {
  ITaskService* service = nullptr;
  ITaskFolder* root = nullptr;
};

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "AT: %s\n", message.c_str());
  return status;
}

std::string hresult_text(HRESULT result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

// The one place AT's ANSI text (Shift_JIS) becomes the API's UTF-16.
BSTR to_bstr(const std::string& text) {
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (wide != nullptr && length > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide, length);
  }
  return wide;
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
  HRESULT result = s.root->RegisterTask(wide_name, wide_xml, TASK_CREATE_OR_UPDATE, none, none,
                                        TASK_LOGON_INTERACTIVE_TOKEN, none, &task);
  if (task != nullptr) task->Release();
  SysFreeString(wide_xml);
  SysFreeString(wide_name);
  return result;
}

// The description of a registered task, which holds its listing line;
// false when there is no task of that name.
bool task_description(scheduler& s, const std::string& name, std::string& description) {
  BSTR wide_name = to_bstr(name);
  IRegisteredTask* task = nullptr;
  HRESULT result = s.root->GetTask(wide_name, &task);
  SysFreeString(wide_name);
  if (FAILED(result)) return false;
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
  return true;
}

// Lists the tasks of the record that still exist and forgets the others
// (run, expired and removed, or deleted by hand).
int list_tasks(scheduler& s) {
  std::string record = read_record();
  std::string kept = record;
  int shown = 0;
  for (const std::string& name : text_lines(record)) {
    std::string description;
    if (!task_description(s, name, description)) {
      kept = record_without(kept, name);
      continue;
    }
    std::printf("%s\n", description.empty() ? name.c_str() : description.c_str());
    ++shown;
  }
  if (shown == 0) std::printf("%s\n", k_no_entries);
  if (kept != record) write_record(kept);
  return k_status_done;
}

int delete_task(scheduler& s, const std::string& id) {
  std::string name = task_name(id);
  BSTR wide_name = to_bstr(name);
  HRESULT result = s.root->DeleteTask(wide_name, 0);
  SysFreeString(wide_name);
  write_record(record_without(read_record(), name));
  if (FAILED(result)) {
    return fail("there is no job " + id + " (" + hresult_text(result) + ")", k_status_no_such_job);
  }
  std::printf("Deleted the job with job ID = %s\n", id.c_str());
  return k_status_done;
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
  return k_status_done;
}

int schedule(scheduler& s, const task_definition& task) {
  std::string name = task_name(task.id);
  HRESULT result = register_task(s, name, task_xml(task));
  if (FAILED(result)) {
    return fail("the Task Scheduler did not take the job (" + hresult_text(result) + ")",
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
    fail("the Task Scheduler is not available (" + hresult_text(result) + ")", status);
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
