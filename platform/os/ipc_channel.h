#pragma once
// Messages between the programs of one user: a program listens under a window class name
// ("CorvexMainWnd") and another program sends it (message, code, lparam) and gets the
// handler's result back, as a blocking send to another program's window would. The transport
// is a Unix stream socket RuntimeFolder() + "/vardune/<window class>", one request per
// connection: 24 bytes in (magic "VDM1", message u32, code u64, lparam i64, little-endian),
// 8 bytes out (result i64). A request with magic "VDM2" is followed by a text (length u32,
// then the bytes).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>

namespace vd::os {

class MessageWindow;

// The socket path for a window class; "" when the name cannot be one (empty, ".", "..",
// containing '/' or NUL, or too long for a socket address).
std::string IpcSocketPath(const std::string& window_class);

class IpcServer {
 public:
  IpcServer() = default;
  ~IpcServer() { Stop(); }
  IpcServer(const IpcServer&) = delete;
  IpcServer& operator=(const IpcServer&) = delete;

  // Starts answering requests for window_class on a thread of its own; each request is Send()
  // to target, so it runs on target's owning thread. A socket left behind by a program that is
  // gone is replaced; one that a live program answers on is not (false). target must outlive
  // Stop().
  bool Listen(const std::string& window_class, MessageWindow& target);
  // Inside the target's handler: the text of the request being answered when it came with one
  // (IpcSendText), else null. Lets a handler tell a text request from a plain one whose lparam
  // is only a number.
  const std::string* CurrentText() const { return current_text_.load(); }
  // Stops answering, joins the thread and removes the socket. Safe from target's handler: a
  // request still waiting for the handler is then answered with 0.
  void Stop();

 private:
  void Serve(std::stop_token stop);
  void Answer(int client, std::stop_token stop);

  MessageWindow* target_ = nullptr;
  std::string path_;
  dev_t device_ = 0;  // identity of our socket file, so that Stop never removes another's
  ino_t inode_ = 0;
  int listen_fd_ = -1;
  int wake_fd_ = -1;  // an eventfd made readable by Stop
  std::atomic<const std::string*> current_text_{nullptr};
  std::jthread thread_;
};

constexpr int kIpcReplyTimeoutMs = 60000;

// Sends a request to the program listening as window_class and waits for its result.
// nullopt when no program listens (a socket left by a dead one is removed), or when the
// reply does not come within timeout_ms or is cut short.
std::optional<intptr_t> IpcSend(const std::string& window_class, uint32_t msg, uintptr_t code,
                                intptr_t lparam = 0, int timeout_ms = kIpcReplyTimeoutMs);

// Texts longer than this are refused by both ends.
constexpr size_t kIpcMaxText = 64 * 1024;

// As IpcSend with a text (a file path handed over, say): the handler gets lparam = the address
// of a std::string holding the text, valid while it runs.
std::optional<intptr_t> IpcSendText(const std::string& window_class, uint32_t msg,
                                    uintptr_t code, const std::string& text,
                                    int timeout_ms = kIpcReplyTimeoutMs);

// Whether a program listens as window_class (a dead one's socket is removed).
bool IpcWindowExists(const std::string& window_class);

// What the windowing system lets one program do to another's top-level window, as requests
// to the program listening for it: show it (code: the show command: 0 hide, 1 normal,
// 2 minimised, 3 maximised, 5 show, 6 minimise, 9 restore), and restore it into a normal
// rectangle (code: the show command; text: FormatPlacementText). The result is nonzero when
// the window took the request.
constexpr uint32_t kIpcShowWindow = 0x0018;
constexpr uint32_t kIpcSetPlacement = 0x8101;
// "left top right bottom" in decimal, and back; nullopt for a text that is not four integers.
std::string FormatPlacementText(int64_t left, int64_t top, int64_t right, int64_t bottom);
struct PlacementRect {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
};
std::optional<PlacementRect> ParsePlacementText(const std::string& text);

}  // namespace vd::os
