#include "lumex/api_client.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "lumex/api_client_transaction.h"
#include "lumex/lumex_start_file.h"
#include "platform/os/files.h"
#include "platform/os/folders.h"
#include "platform/os/ipc_channel.h"
#include "platform/os/process.h"

namespace {

// The window classes of the chart program's editions, in the order they are looked for.
constexpr const char* kCorvexWindowClasses[] = {"CorvexMainWnd", "CorvexOSMainWnd",
                                                "CorvexOS5MainWnd"};
constexpr char kTransactionFileName[] = "VDAPI2.dat";

constexpr uintptr_t kRequestRenderArea = 0x8001;
constexpr uintptr_t kRequestViewPosition = 0x8003;
constexpr uintptr_t kRequestOwnState = 0x8004;
constexpr uintptr_t kRequestOwnStateOld = 31;

struct ClientState {
  std::mutex mutex;
  std::string window_class;  // "" when not connected
  std::string transaction_path;
};

ClientState& State() {
  static ClientState state;
  return state;
}

std::string FindCorvexWindow() {
  for (const char* window_class : kCorvexWindowClasses) {
    if (vd::os::IpcWindowExists(window_class)) return window_class;
  }
  return "";
}

std::string FindCorvexProgram() {
  const std::string folder = vd::os::ProgramFolder();
  for (const char* relative : {"/corvex", "/../../corvex/ui/corvex"}) {
    const std::string path = folder + relative;
    if (vd::os::FileExists(path) && !vd::os::IsDirectory(path)) return path;
  }
  return "";
}

// The connection a request uses.
struct Connection {
  std::string window_class;
  std::string transaction_path;
};

Connection CurrentConnection() {
  ClientState& state = State();
  std::lock_guard lock(state.mutex);
  return {state.window_class, state.transaction_path};
}

// Every field is read; the results are 0 or the one failure code, so or-ing them keeps it.
int ReadOwnState(CApiClientTransaction& t, CApiOwnState& s) {
  return t.ReadDouble(s.lat) | t.ReadDouble(s.lon) | t.ReadFloat(s.course) |
         t.ReadFloat(s.speed) | t.ReadFloat(s.altitude) | t.ReadInt(s.time) |
         t.ReadBool(s.valid) | t.ReadFloat(s.heading) | t.ReadFloat(s.rate_of_turn);
}

}  // namespace

int ApiConnect(const CApiConnectPolling& polling) {
  std::string window_class = FindCorvexWindow();
  if (window_class.empty()) {
    if (const std::string program = FindCorvexProgram(); !program.empty()) {
      vd::os::Spawn(program, {}, false);
    }
    // Whether or not it was started here: the program may be on its way up anyway.
    for (int i = 0; i < polling.attempts && window_class.empty(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(polling.interval_ms));
      window_class = FindCorvexWindow();
    }
    if (window_class.empty()) return kApiClientNotFound;
  }
  const std::string temp = SharedTempFolder();
  ClientState& state = State();
  std::lock_guard lock(state.mutex);
  state.window_class = window_class;
  state.transaction_path = temp.empty() ? "" : temp + "/" + kTransactionFileName;
  return temp.empty() ? kApiClientNoTempFolder : kApiClientOk;
}

int ApiDisconnect() {
  ClientState& state = State();
  std::lock_guard lock(state.mutex);
  state.window_class.clear();
  return kApiClientOk;
}

int ApiReconnect(const CApiConnectPolling& polling) {
  ApiDisconnect();
  return ApiConnect(polling);
}

namespace {

// The window known, connected again when it has gone; "" with the connect's result otherwise.
std::string LiveWindow(int& result) {
  result = kApiClientOk;
  std::string window_class = CurrentConnection().window_class;
  if (window_class.empty() || !vd::os::IpcWindowExists(window_class)) {
    result = ApiReconnect();
    if (result != kApiClientOk) return "";
    window_class = CurrentConnection().window_class;
  }
  return window_class;
}

}  // namespace

int ApiShowMainWindow(int show_command) {
  int result = kApiClientOk;
  const std::string window_class = LiveWindow(result);
  if (window_class.empty()) return result;
  vd::os::IpcSend(window_class, vd::os::kIpcShowWindow, static_cast<uintptr_t>(show_command));
  return kApiClientOk;
}

int ApiSetMainWindowPlacement(int left, int top, int right, int bottom) {
  int result = kApiClientOk;
  const std::string window_class = LiveWindow(result);
  if (window_class.empty()) return result;
  const std::optional<intptr_t> placed = vd::os::IpcSendText(
      window_class, vd::os::kIpcSetPlacement, kApiShowRestore,
      vd::os::FormatPlacementText(left, top, right, bottom));
  return placed && *placed != 0 ? kApiClientOk : kApiClientPlacementFailed;
}

bool ApiGetTempFolder(std::string& folder) {
  const std::string temp = SharedTempFolder();
  if (temp.empty()) return false;
  folder = temp;
  return true;
}

int ApiRenderChartArea(const std::string& chart_path, int32_t x0, int32_t y0, int32_t zoom_shift,
                       int32_t width, int32_t height, const std::string& output_path) {
  const Connection c = CurrentConnection();
  CApiClientTransaction t(c.transaction_path, c.window_class);
  if (!t.locked()) return kApiClientWindowGone;
  vd::os::RemoveFile(output_path);
  t.WriteString(chart_path);
  t.WriteInt(x0);
  t.WriteInt(y0);
  t.WriteInt(zoom_shift);
  t.WriteInt(width);
  t.WriteInt(height);
  t.WriteString(output_path);
  return t.Send(kRequestRenderArea);
}

int ApiSendViewPosition(double lat, double lon, float distance_nm) {
  const Connection c = CurrentConnection();
  CApiClientTransaction t(c.transaction_path, c.window_class, 0);
  if (!t.locked()) return kApiClientWindowGone;
  t.WriteDouble(lat);
  t.WriteDouble(lon);
  t.WriteDouble(distance_nm);
  return t.Send(kRequestViewPosition);
}

int ApiGetOwnState(CApiOwnState& state) {
  const Connection c = CurrentConnection();
  CApiClientTransaction t(c.transaction_path, c.window_class);
  if (!t.locked()) return kApiClientWindowGone;
  int result = t.Send(kRequestOwnState);
  if (result == kApiClientUnknownRequest) {
    // An older chart program: the same record under the old code, still in this turn.
    CApiClientTransaction old(c.transaction_path, c.window_class);
    if (!old.locked()) return kApiClientWindowGone;
    result = old.Send(kRequestOwnStateOld);
    return result == kApiClientOk ? ReadOwnState(old, state) : result;
  }
  return result == kApiClientOk ? ReadOwnState(t, state) : result;
}
