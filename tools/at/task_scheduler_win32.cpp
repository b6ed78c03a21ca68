// The Task Scheduler through its COM interface, for AT.exe: the only file of
// AT that knows COM.
#include <initguid.h>
#include <taskschd.h>
#include <windows.h>

#include <string>

#include "platform/wide.h"
#include "tools/at/task_scheduler.h"

struct task_scheduler {
  ITaskService* service = nullptr;
  ITaskFolder* root = nullptr;
};

namespace {

// The one place AT's ANSI text (Shift_JIS) becomes the API's UTF-16. Text
// that is not whole in the code page gives no string.
BSTR to_bstr(const std::string& text) {
  std::wstring wide;
  if (!platform::wide_text_exactly(text, platform::k_ansi_code_page, wide)) return nullptr;
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string from_bstr(BSTR wide) {
  return platform::narrow_text(wide, SysStringLen(wide), platform::k_ansi_code_page);
}

HRESULT connect_root(task_scheduler& s) {
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

}  // namespace

void disconnect_scheduler(task_scheduler* s) {
  if (s->root != nullptr) s->root->Release();
  if (s->service != nullptr) s->service->Release();
  delete s;
}

task_scheduler* connect_scheduler(long& result) {
  auto* s = new task_scheduler;
  result = connect_root(*s);
  if (SUCCEEDED(result)) return s;
  disconnect_scheduler(s);
  return nullptr;
}

long register_task(task_scheduler* s, const std::string& name, const std::string& xml) {
  BSTR wide_name = to_bstr(name);
  BSTR wide_xml = to_bstr(xml);
  VARIANT none;
  VariantInit(&none);
  IRegisteredTask* task = nullptr;
  // TASK_CREATE: a name already taken is never replaced.
  HRESULT result = s->root->RegisterTask(wide_name, wide_xml, TASK_CREATE, none, none,
                                         TASK_LOGON_INTERACTIVE_TOKEN, none, &task);
  if (task != nullptr) task->Release();
  SysFreeString(wide_xml);
  SysFreeString(wide_name);
  return result;
}

long remove_task(task_scheduler* s, const std::string& name) {
  BSTR wide_name = to_bstr(name);
  HRESULT result = s->root->DeleteTask(wide_name, 0);
  SysFreeString(wide_name);
  return result;
}

long task_registration(task_scheduler* s, const std::string& name, std::string& description,
                       std::string& source) {
  BSTR wide_name = to_bstr(name);
  IRegisteredTask* task = nullptr;
  HRESULT result = s->root->GetTask(wide_name, &task);
  SysFreeString(wide_name);
  if (FAILED(result)) return result;
  ITaskDefinition* definition = nullptr;
  IRegistrationInfo* info = nullptr;
  BSTR text = nullptr;
  BSTR from = nullptr;
  if (SUCCEEDED(task->get_Definition(&definition)) &&
      SUCCEEDED(definition->get_RegistrationInfo(&info))) {
    if (SUCCEEDED(info->get_Description(&text)) && text != nullptr) description = from_bstr(text);
    if (SUCCEEDED(info->get_Source(&from)) && from != nullptr) source = from_bstr(from);
  }
  SysFreeString(from);
  SysFreeString(text);
  if (info != nullptr) info->Release();
  if (definition != nullptr) definition->Release();
  task->Release();
  return result;
}

bool is_system_text(const std::string& text) {
  std::wstring wide;
  return platform::wide_text_exactly(text, platform::k_ansi_code_page, wide);
}

bool start_com() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return false;
  // The Task Scheduler acts for the caller: it must be let impersonate it.
  // Should this fail, Connect says so and AT ends with that status.
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, 0, nullptr);
  return true;
}

void stop_com() { CoUninitialize(); }
