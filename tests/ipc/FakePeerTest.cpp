// The client against scripted fake peers registered in this process: what the requests look
// like in the shared memory, the handshake's passes, and the platform stand-ins themselves.
#include "TestSupport.h"

#include <ipc/Clock.h>
#include <ipc/Endpoint.h>
#include <ipc/Ipc.h>
#include <kestro/FSUIPC.h>

#include <cstring>
#include <functional>

using kestro::CFSUIPCClient;
using linktest::IpcDirTest;

namespace {

std::uint32_t Get32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void Put32(std::uint8_t* p, std::uint32_t v) {
    std::memcpy(p, &v, 4);
}

/// A clock that only counts the time asked for.
class CountingClock : public ipc::Clock {
public:
    bool Sleep(std::uint32_t ms) override {
        m_ms += ms;
        return !StopRequested();
    }
    std::int64_t NowMs() const override { return m_ms; }
    std::int64_t m_ms = 0;
};

/// A peer that answers every request by `script` over the records of the shared memory.
struct FakePeer {
    using Script = std::function<std::uint32_t(std::uint8_t* block, int call)>;
    FakePeer(const char* className, Script script)
        : endpoint(className, [this, s = std::move(script)](const ipc::Message& m) {
              names.push_back(m.atomName);
              msgs.push_back(m.msg);
              auto view = ipc::SharedView::Open(m.atomName);
              if (!view)
                  return ipc::Reply::Answer(0);
              return ipc::Reply::Answer(s(view->Data(), calls++));
          }) {}
    int calls = 0;
    std::vector<std::string> names;
    std::vector<std::uint32_t> msgs;
    ipc::LocalEndpoint endpoint;
};

/// Fills the handshake's two version reads (the first two records) and answers 1.
std::uint32_t AnswerVersions(std::uint8_t* block, std::uint32_t linkVersion,
                             std::uint32_t fsVersion) {
    if (Get32(block) == 1 && Get32(block + 4) == 0x3304)
        Put32(block + 16, linkVersion);
    if (Get32(block + 20) == 1 && Get32(block + 24) == 0x3308)
        Put32(block + 36, fsVersion);
    return 1;
}

class FakePeerTest : public IpcDirTest {};

TEST_F(FakePeerTest, HandshakeRecordsAndMappingName) {
    std::vector<std::uint8_t> first;
    FakePeer peer("UIPCMAIN", [&](std::uint8_t* block, int call) {
        if (call == 0)
            first.assign(block, block + 64);
        return AnswerVersions(block, 0x19980005, 0xFADE0006);
    });
    auto clock = std::make_shared<CountingClock>();
    CFSUIPCClient client(clock);
    ASSERT_TRUE(client.Open()) << client.GetErrorText();
    ASSERT_EQ(first.size(), 64u);
    // read {1, 0x3304, 4, token} + 4, read {1, 0x3308, 4, token} + 4, write {2, 0x330A, 2} + 2,
    // end marker.
    EXPECT_EQ(Get32(&first[0]), 1u);
    EXPECT_EQ(Get32(&first[4]), 0x3304u);
    EXPECT_EQ(Get32(&first[8]), 4u);
    EXPECT_EQ(Get32(&first[20]), 1u);
    EXPECT_EQ(Get32(&first[24]), 0x3308u);
    EXPECT_EQ(Get32(&first[28]), 4u);
    EXPECT_EQ(Get32(&first[40]), 2u);
    EXPECT_EQ(Get32(&first[44]), 0x330Au);
    EXPECT_EQ(Get32(&first[48]), 2u);
    std::uint16_t lib;
    std::memcpy(&lib, &first[52], 2);
    EXPECT_EQ(lib, 1004);
    EXPECT_EQ(Get32(&first[54]), 0u);

    ASSERT_EQ(peer.names.size(), 1u);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "FsasmLib:IPC:%X:", static_cast<unsigned>(::getpid()));
    EXPECT_EQ(peer.names[0].rfind(prefix, 0), 0u) << peer.names[0];
    EXPECT_EQ(peer.msgs[0], ipc::RegisterWindowMessage("FsasmLib:IPC"));
    EXPECT_EQ(clock->m_ms, 100);

    // Each opening takes the next counter value.
    client.Close();
    ASSERT_TRUE(client.Open());
    const auto counter = [](const std::string& n) {
        return std::stoul(n.substr(n.rfind(':') + 1), nullptr, 16);
    };
    EXPECT_EQ(counter(peer.names[1]), counter(peer.names[0]) + 1);
}

TEST_F(FakePeerTest, HandshakeRetriesWhileVersionsAreZero) {
    // Versions appear only in the third answer; the write of the client version only in the first.
    std::vector<std::uint32_t> secondRecordIds;
    FakePeer peer("UIPCMAIN", [&](std::uint8_t* block, int call) {
        secondRecordIds.push_back(Get32(block + 40));
        return call < 2 ? 1u : AnswerVersions(block, 0x30000000, 0xFADE0006);
    });
    auto clock = std::make_shared<CountingClock>();
    CFSUIPCClient client(clock);
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(peer.calls, 3);
    EXPECT_EQ(secondRecordIds, (std::vector<std::uint32_t>{2, 0, 0}));
    EXPECT_EQ(clock->m_ms, 300);
}

TEST_F(FakePeerTest, PeerThatNeverFillsVersionsIsNotThePeer) {
    FakePeer peer("UIPCMAIN", [](std::uint8_t*, int) { return 1u; });
    CFSUIPCClient client(std::make_shared<CountingClock>());
    EXPECT_FALSE(client.Open());
    EXPECT_EQ(client.GetLastResult(), 7u);
    EXPECT_EQ(peer.calls, 5);
}

TEST_F(FakePeerTest, UIPCMAINIsPreferredToFS98MAIN) {
    FakePeer old("FS98MAIN",
                 [](std::uint8_t* b, int) { return AnswerVersions(b, 0x19980001, 0xFADE0006); });
    FakePeer current(
        "UIPCMAIN", [](std::uint8_t* b, int) { return AnswerVersions(b, 0x30000000, 0xFADE0006); });
    CFSUIPCClient client(std::make_shared<CountingClock>());
    EXPECT_TRUE(client.Open());
    EXPECT_EQ(old.calls, 0);
    EXPECT_EQ(current.calls, 1);
}

TEST_F(FakePeerTest, PeerThatChangesRecordHeadersCannotMisdirectCopies) {
    // A peer overwrites the read's size field with a huge value and its token; the client copies
    // exactly what it asked for into the buffer it named.
    FakePeer peer("UIPCMAIN", [](std::uint8_t* b, int call) {
        if (call == 0)
            return AnswerVersions(b, 0x30000000, 0xFADE0006);
        Put32(b + 8, 0x7FFFFFFF);
        Put32(b + 12, 12345);
        Put32(b + 16, 0x01020304);
        return 1u;
    });
    CFSUIPCClient client(std::make_shared<CountingClock>());
    ASSERT_TRUE(client.Open());
    std::uint32_t guard[3] = {0xAAAAAAAA, 0, 0xBBBBBBBB};
    ASSERT_TRUE(client.ReadNow(0x1000, 4, &guard[1]));
    EXPECT_EQ(guard[0], 0xAAAAAAAAu);
    EXPECT_EQ(guard[1], 0x01020304u);
    EXPECT_EQ(guard[2], 0xBBBBBBBBu);
}

TEST_F(FakePeerTest, ClosedEndpointIsGoneAndItsHandlesFail) {
    int calls = 0;
    auto endpoint = std::make_unique<ipc::LocalEndpoint>("UIPCMAIN", [&](const ipc::Message&) {
        ++calls;
        return ipc::Reply::Answer(1);
    });
    const auto window = ipc::FindWindow("UIPCMAIN");
    ASSERT_TRUE(window);
    EXPECT_EQ(ipc::SendMessageTimeout(window, 0xC001, 0, 0, 2000).status,
              ipc::SendResult::Status::Ok);
    endpoint.reset();
    EXPECT_FALSE(ipc::FindWindow("UIPCMAIN"));
    const auto r = ipc::SendMessageTimeout(window, 0xC001, 0, 0, 2000);
    EXPECT_EQ(r.status, ipc::SendResult::Status::Failed);
    EXPECT_NE(r.error, 0);
    EXPECT_EQ(calls, 1);
}

TEST_F(FakePeerTest, RegisteredMessagesAndAtoms) {
    const auto id = ipc::RegisterWindowMessage("FsasmLib:IPC");
    EXPECT_GE(id, 0xC000u);
    EXPECT_LE(id, 0xFFFFu);
    EXPECT_EQ(id, ipc::RegisterWindowMessage("FsasmLib:IPC"));
    EXPECT_NE(id, ipc::RegisterWindowMessage("FsasmLib:IPD"));

    const ipc::Atom a = ipc::GlobalAddAtom("FsasmLib:IPC:1:1");
    ASSERT_NE(a, 0);
    EXPECT_EQ(ipc::GlobalAddAtom("FsasmLib:IPC:1:1"), a); // a second reference
    EXPECT_NE(ipc::GlobalAddAtom("FsasmLib:IPC:1:2"), a);
    EXPECT_EQ(ipc::GlobalGetAtomName(a), "FsasmLib:IPC:1:1");
    EXPECT_EQ(ipc::GlobalDeleteAtom(a), 0);
    EXPECT_EQ(ipc::GlobalGetAtomName(a), "FsasmLib:IPC:1:1");
    EXPECT_EQ(ipc::GlobalDeleteAtom(a), 0);
    EXPECT_EQ(ipc::GlobalGetAtomName(a), "");
    EXPECT_EQ(ipc::GlobalDeleteAtom(a), a); // no longer there
    EXPECT_EQ(ipc::GlobalAddAtom(""), 0);
    EXPECT_EQ(ipc::GlobalAddAtom(std::string(256, 'x')), 0);
}

TEST_F(FakePeerTest, MappingsAreExclusiveAndRemovedOnClose) {
    ipc::FileMapping::Status status;
    int error;
    auto m = ipc::FileMapping::Create("avilo-test-map", 0x8000, status, error);
    ASSERT_TRUE(m);
    EXPECT_EQ(status, ipc::FileMapping::Status::Ok);
    auto again = ipc::FileMapping::Create("avilo-test-map", 0x8000, status, error);
    EXPECT_FALSE(again);
    EXPECT_EQ(status, ipc::FileMapping::Status::AlreadyExists);
    std::uint8_t* view = m->MapView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[0x7FFF], 0); // zero-filled
    view[10] = 42;
    auto peer = ipc::SharedView::Open("avilo-test-map");
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->Size(), 0x8000u);
    EXPECT_EQ(peer->Data()[10], 42);
    m.reset();
    EXPECT_FALSE(ipc::SharedView::Open("avilo-test-map"));
    EXPECT_FALSE(ipc::SharedView::Open("../etc/passwd"));
}

TEST_F(FakePeerTest, VirtualClockAdvancesAndStops) {
    std::int64_t now = 0;
    ipc::VirtualClock clock([&](std::uint32_t ms) { now += ms; }, [&] { return now; });
    EXPECT_TRUE(clock.Sleep(250));
    EXPECT_EQ(clock.NowMs(), 250);
    clock.SetTimeLimitMs(1000);
    EXPECT_TRUE(clock.Sleep(700));
    EXPECT_FALSE(clock.Sleep(100)); // reaches the limit
    EXPECT_TRUE(clock.TimeLimitReached());
    EXPECT_FALSE(clock.Sleep(100)); // and no longer advances
    EXPECT_EQ(clock.NowMs(), 1050);
}

} // namespace
