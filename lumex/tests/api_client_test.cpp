// The API client against a stub of the chart program's main window: what goes on the wire, the
// turn on the mutex, the replies it reads and the codes of its own.
#include "lumex/api_client.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lumex/api_client_transaction.h"
#include "lumex/tests/api_client_stub_server.h"
#include "platform/os/files.h"
#include "platform/os/named_mutex.h"

namespace {

// Transaction-file bytes, built independently of the client.
class Wire {
 public:
  Wire& I32(int32_t v) { return Raw(&v, 4); }
  Wire& F64(double v) { return Raw(&v, 8); }
  Wire& Str(const std::string& windows_1252) {
    I32(int32_t(windows_1252.size()));
    bytes += windows_1252;
    return *this;
  }
  std::string bytes;

 private:
  Wire& Raw(const void* p, size_t n) {
    static_assert(std::endian::native == std::endian::little);
    bytes.append(static_cast<const char*>(p), n);
    return *this;
  }
};

// The chart program as the client sees it: answers each code with a result and reply bytes,
// and records what each request carried.
class StubCorvex {
 public:
  struct Request {
    uintptr_t wparam = 0;
    intptr_t code = 0;
    std::string file;         // the transaction file as the request found it
    bool mutex_held = false;  // whether another thread could have taken the API mutex
  };
  struct Answer {
    intptr_t result = 0;
    std::string reply;
  };

  StubCorvex(vd::test::ApiWorld& world, const std::string& window_class)
      : world_(world),
        window_([this](const vd::os::Message& m) -> intptr_t {
          return m.msg == vd::os::kUserMessage ? Serve(m) : 0;
        }) {
    EXPECT_TRUE(server_.Listen(window_class, window_));
  }
  void Stop() { server_.Stop(); }
  template <class Result>
  Result Run(const std::function<Result()>& client) {
    return vd::test::ServeWhile(window_, client);
  }

  std::map<intptr_t, Answer> answers;  // other codes: 11, nothing written
  std::vector<Request> requests;
  std::string watched_file;  // whether this existed is recorded per request
  std::vector<bool> watched_existed;

 private:
  intptr_t Serve(const vd::os::Message& m) {
    Request r;
    r.wparam = m.wparam;
    r.code = m.lparam;
    vd::os::ReadWholeFile(world_.TransactionFile(), r.file);
    vd::os::NamedMutex probe(kApiClientMutexName);
    r.mutex_held = !probe.Lock(0);
    if (!r.mutex_held) probe.Unlock();
    requests.push_back(r);
    if (!watched_file.empty()) watched_existed.push_back(vd::os::FileExists(watched_file));
    const auto it = answers.find(m.lparam);
    if (it == answers.end()) return 11;
    EXPECT_TRUE(vd::os::SaveFileAtomically(world_.TransactionFile(), it->second.reply));
    return it->second.result;
  }

  vd::test::ApiWorld& world_;
  vd::os::MessageWindow window_;
  vd::os::IpcServer server_;
};

constexpr CApiConnectPolling kQuickPolling{2, 1};

class ApiClientTest : public testing::Test {
 protected:
  void TearDown() override { ApiDisconnect(); }
  vd::test::ApiWorld world;
};

TEST_F(ApiClientTest, RequestsCarryTheirFieldsInOrderWhileHoldingTheMutex) {
  StubCorvex corvex(world, "CorvexMainWnd");
  ASSERT_EQ(ApiConnect(kQuickPolling), kApiClientOk);
  const std::string texture = world.temp.File("MapSquare.dds");
  ASSERT_TRUE(vd::os::SaveFileAtomically(texture, "stale"));
  corvex.watched_file = texture;
  corvex.answers[0x8001] = {8, ""};
  corvex.answers[0x8003] = {0, ""};

  EXPECT_EQ(corvex.Run<int>([&] {
              return ApiRenderChartArea("/charts/Baie_é.qct", 1024, -64, 2, 512, 256, texture);
            }),
            8);
  EXPECT_EQ(corvex.Run<int>([] { return ApiSendViewPosition(50.5, -4.25, 1.5f); }), 0);

  ASSERT_EQ(corvex.requests.size(), 2u);
  const StubCorvex::Request& render = corvex.requests[0];
  EXPECT_EQ(render.wparam, 16u);
  EXPECT_EQ(render.code, 0x8001);
  EXPECT_EQ(render.file, Wire()
                             .Str("/charts/Baie_\xE9.qct")
                             .I32(1024)
                             .I32(-64)
                             .I32(2)
                             .I32(512)
                             .I32(256)
                             .Str(texture)
                             .bytes);
  EXPECT_TRUE(render.mutex_held);
  // The chart program never sees the texture of an earlier request.
  EXPECT_EQ(corvex.watched_existed, (std::vector<bool>{false, false}));

  const StubCorvex::Request& camera = corvex.requests[1];
  EXPECT_EQ(camera.code, 0x8003);
  EXPECT_EQ(camera.file, Wire().F64(50.5).F64(-4.25).F64(1.5).bytes);
  EXPECT_TRUE(camera.mutex_held);
  // The turn ends with the request.
  vd::os::NamedMutex mutex(kApiClientMutexName);
  EXPECT_TRUE(mutex.Lock(0));
  mutex.Unlock();
}

TEST_F(ApiClientTest, OwnStateReadsTheReplyAndFallsBackToTheOldCode) {
  const std::string record =
      Wire().F64(50.5).F64(-4.25).F64(90.5).F64(6.25).F64(12).I32(1700000000).I32(7).F64(
          91).F64(-0.5).bytes;
  struct Case {
    const char* what;
    bool knows_new_code;
    intptr_t result;
    std::vector<intptr_t> codes;
  };
  const Case cases[] = {
      {"current chart program", true, 0, {0x8004}},
      {"older chart program", false, 0, {0x8004, 31}},
      {"no own vessel", true, 12, {0x8004}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    StubCorvex corvex(world, "CorvexMainWnd");
    ASSERT_EQ(ApiReconnect(kQuickPolling), kApiClientOk);
    corvex.answers[c.knows_new_code ? 0x8004 : 31] = {c.result, c.result ? "" : record};
    CApiOwnState state;
    EXPECT_EQ(corvex.Run<int>([&] { return ApiGetOwnState(state); }), c.result);
    std::vector<intptr_t> codes;
    for (const auto& r : corvex.requests) {
      codes.push_back(r.code);
      EXPECT_TRUE(r.mutex_held);
    }
    EXPECT_EQ(codes, c.codes);
    if (c.result != 0) {
      EXPECT_FALSE(state.valid);
      continue;
    }
    EXPECT_EQ(state.lat, 50.5);
    EXPECT_EQ(state.lon, -4.25);
    EXPECT_EQ(state.course, 90.5f);
    EXPECT_EQ(state.speed, 6.25f);
    EXPECT_EQ(state.altitude, 12.0f);
    EXPECT_EQ(state.time, 1700000000);
    EXPECT_TRUE(state.valid);
    EXPECT_EQ(state.heading, 91.0f);
    EXPECT_EQ(state.rate_of_turn, -0.5f);
  }
}

TEST_F(ApiClientTest, CameraReportIsDroppedWhileAnotherRequestIsUnderWay) {
  StubCorvex corvex(world, "CorvexMainWnd");
  ASSERT_EQ(ApiConnect(kQuickPolling), kApiClientOk);
  corvex.answers[0x8003] = {0, ""};
  vd::os::NamedMutex other_request(kApiClientMutexName);
  ASSERT_TRUE(other_request.Lock(0));
  EXPECT_EQ(corvex.Run<int>([] { return ApiSendViewPosition(1, 2, 3); }), kApiClientWindowGone);
  other_request.Unlock();
  EXPECT_TRUE(corvex.requests.empty());
  EXPECT_EQ(corvex.Run<int>([] { return ApiSendViewPosition(1, 2, 3); }), kApiClientOk);
}

TEST_F(ApiClientTest, ShortRepliesAreIoErrors) {
  StubCorvex corvex(world, "CorvexMainWnd");
  ASSERT_EQ(ApiConnect(kQuickPolling), kApiClientOk);
  corvex.answers[0x8004] = {0, Wire().F64(50.5).F64(-4.25).bytes};
  CApiOwnState state;
  EXPECT_EQ(corvex.Run<int>([&] { return ApiGetOwnState(state); }), kApiClientIoError);
}

// A link planted at the transaction file's name is not written through: the request fails as
// a file error and is not sent, and what the link points to stays as it was.
TEST_F(ApiClientTest, ALinkAtTheTransactionFileIsNotWrittenThrough) {
  StubCorvex corvex(world, "CorvexMainWnd");
  ASSERT_EQ(ApiConnect(kQuickPolling), kApiClientOk);
  const std::string victim = world.temp.File("victim.txt");
  ASSERT_TRUE(vd::os::SaveFileAtomically(victim, "not to be touched"));
  ASSERT_EQ(::symlink(victim.c_str(), world.TransactionFile().c_str()), 0);
  corvex.answers[0x8003] = {0, ""};
  EXPECT_EQ(corvex.Run<int>([] { return ApiSendViewPosition(50.5, -4.25, 1.5f); }), kApiClientIoError);
  EXPECT_TRUE(corvex.requests.empty());
  std::string kept;
  ASSERT_TRUE(vd::os::ReadWholeFile(victim, kept));
  EXPECT_EQ(kept, "not to be touched");
}

TEST_F(ApiClientTest, ConnectionCodes) {
  {
    SCOPED_TRACE("an older edition's window is found");
    StubCorvex corvex(world, "CorvexOS5MainWnd");
    ASSERT_EQ(ApiConnect(kQuickPolling), kApiClientOk);
    corvex.answers[0x8003] = {0, ""};
    EXPECT_EQ(corvex.Run<int>([] { return ApiSendViewPosition(1, 2, 3); }), 0);
    EXPECT_EQ(corvex.requests.size(), 1u);
    {
      SCOPED_TRACE("the window has closed since");
      corvex.Stop();
      EXPECT_EQ(ApiSendViewPosition(1, 2, 3), kApiClientWindowGone);
    }
  }
  {
    SCOPED_TRACE("no chart program, none to start");
    EXPECT_EQ(ApiReconnect(kQuickPolling), kApiClientNotFound);
  }
  {
    SCOPED_TRACE("no temp folder recorded");
    StubCorvex corvex(world, "CorvexMainWnd");
    ASSERT_TRUE(vd::os::ProfileStore("Software\\Vardune").DeleteValue("", "temp_folder"));
    EXPECT_EQ(ApiReconnect(kQuickPolling), kApiClientNoTempFolder);
    // Requests still reach the window; the file can't be read there, so it answers for itself.
    corvex.answers[0x8003] = {8, ""};
    EXPECT_EQ(corvex.Run<int>([] { return ApiSendViewPosition(1, 2, 3); }), 8);
  }
  {
    SCOPED_TRACE("never connected");
    ApiDisconnect();
    EXPECT_EQ(ApiSendViewPosition(1, 2, 3), kApiClientWindowGone);
  }
}

}  // namespace
