// The Win32 host: message boxes, the command line, the executable's path, its resources
// of type "FileSystem" as embedded blocks, icons and the performance counter.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "host/embedded_blocks.h"
#include "host/host.h"
#include "host/win32/win32.h"

namespace {

constexpr const char* kFileSystemType = "FileSystem";

struct ResourceTable {
  std::vector<EmbeddedBlock> blocks;
};

BOOL CALLBACK collect_resource(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
  // Only numbered resources are blocks; a named one has no number to find it by.
  if (!IS_INTRESOURCE(name)) return TRUE;
  auto* table = reinterpret_cast<ResourceTable*>(param);
  HRSRC info = FindResourceA(module, name, type);
  if (info == nullptr) return TRUE;
  HGLOBAL loaded = LoadResource(module, info);
  if (loaded == nullptr) return TRUE;
  const void* data = LockResource(loaded);
  DWORD size = SizeofResource(module, info);
  if (data == nullptr) return TRUE;
  // Resources of the executable stay mapped for the process's life; nothing to free.
  table->blocks.push_back(EmbeddedBlock{kFileSystemType,
                                        static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(name)),
                                        static_cast<const std::uint8_t*>(data), size});
  return TRUE;
}

// The executable's "FileSystem" resources in the order the platform enumerates them.
const ResourceTable& resource_table() {
  static const ResourceTable table = [] {
    ResourceTable t;
    EnumResourceNamesA(GetModuleHandleA(nullptr), kFileSystemType, collect_resource,
                       reinterpret_cast<LONG_PTR>(&t));
    return t;
  }();
  return table;
}

std::mutex override_mutex;
bool overridden = false;
std::span<const EmbeddedBlock> override_blocks;

std::string argument_text;

}  // namespace

void host_message_box(const char* text, const char* caption, HostMessageBoxIcon icon) {
  // A console (kestol.exe, or vexo.exe started from one with its output redirected) sees
  // the text too.
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  std::fflush(stderr);
  MessageBoxA(nullptr, text ? text : "", caption ? caption : "",
              icon == HostMessageBoxIcon::error ? MB_ICONERROR : MB_ICONINFORMATION);
}

void host_set_arguments(int argc, char** argv) {
  (void)argc;
  (void)argv;
  argument_text = GetCommandLineA();
}

const char* host_command_line() {
  if (argument_text.empty()) argument_text = GetCommandLineA();
  return argument_text.c_str();
}

bool host_executable_path(char* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity == 0) return false;
  DWORD room = capacity > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(capacity);
  DWORD n = GetModuleFileNameA(nullptr, buffer, room);
  // A full buffer means the path was cut.
  if (n == 0 || n >= room) {
    buffer[0] = '\0';
    return false;
  }
  buffer[n] = '\0';
  // The engine splits paths at "/" on every host; the platform accepts both separators.
  for (char* c = buffer; *c != '\0'; ++c)
    if (*c == '\\') *c = '/';
  return true;
}

std::span<const EmbeddedBlock> host_embedded_blocks() {
  {
    std::lock_guard lock(override_mutex);
    if (overridden) return override_blocks;
  }
  const ResourceTable& table = resource_table();
  return {table.blocks.data(), table.blocks.size()};
}

void host_set_embedded_blocks(std::span<const EmbeddedBlock> blocks) {
  std::lock_guard lock(override_mutex);
  overridden = true;
  override_blocks = blocks;
}

const EmbeddedBlock* host_find_embedded_block(const char* type, std::uint32_t number) {
  for (const EmbeddedBlock& block : host_embedded_blocks())
    if (block.number == number && std::strcmp(block.type, type) == 0) return &block;
  return nullptr;
}

IconHandle host_load_icon(std::uint32_t number) {
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(number));
  return reinterpret_cast<IconHandle>(icon);
}

bool host_performance_counter(std::int64_t* count) {
  LARGE_INTEGER value;
  if (!QueryPerformanceCounter(&value)) return false;
  *count = value.QuadPart;
  return true;
}

bool host_performance_frequency(std::int64_t* frequency) {
  LARGE_INTEGER value;
  if (!QueryPerformanceFrequency(&value)) return false;
  *frequency = value.QuadPart;
  return true;
}
