// fssim against clients that abuse the link: shared memory shrunk or rewritten under it, more
// connections than it serves, and a socket path taken over by someone else.  Each time fssim
// must keep running and keep serving well-behaved clients.
#include "FssimProcess.h"
#include "TestSupport.h"

#include <ipc/Endpoint.h>
#include <ipc/Ipc.h>
#include <ipc/Protocol.h>
#include <kestro/FSUIPC.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>

using kestro::CFSUIPCClient;
using linktest::FssimProcess;
using linktest::IpcDirTest;
namespace protocol = ipc::protocol;

namespace {

class HostileClient : public IpcDirTest {};

/// Shared memory of the test's own, announced by name, that the test can shrink and rewrite.
class RawBlock {
public:
    RawBlock() {
        m_name = "avilo-hostile-" + std::to_string(::getpid());
        ::shm_unlink(("/" + m_name).c_str());
        m_fd = ::shm_open(("/" + m_name).c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (m_fd < 0 || ::ftruncate(m_fd, protocol::kMapSize) != 0)
            return;
        void* p = ::mmap(nullptr, protocol::kMapSize, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
        m_data = p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
        m_atom = ipc::GlobalAddAtom(m_name);
    }
    ~RawBlock() {
        if (m_data)
            ::munmap(m_data, protocol::kMapSize);
        if (m_fd >= 0)
            ::close(m_fd);
        ::shm_unlink(("/" + m_name).c_str());
        ipc::GlobalDeleteAtom(m_atom);
    }
    bool Ok() const { return m_data && m_atom != 0; }
    std::uint8_t* Data() { return m_data; }
    bool Resize(std::size_t size) { return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0; }
    ipc::SendResult Send(const ipc::WindowHandle& window) {
        return ipc::SendMessageTimeout(window, ipc::RegisterWindowMessage(protocol::kMessageName),
                                       m_atom, 0, 5000);
    }

private:
    std::string m_name;
    int m_fd = -1;
    std::uint8_t* m_data = nullptr;
    ipc::Atom m_atom = 0;
};

/// A fresh, well-behaved client gets the simulator version.
void ExpectServed(const char* when) {
    CFSUIPCClient client;
    ASSERT_TRUE(client.Open()) << when << ": " << client.GetErrorText();
    std::uint32_t v = 0;
    EXPECT_TRUE(client.ReadNow(protocol::offsets::kSimVersion, 4, &v)) << when;
    EXPECT_EQ(v, 0xFADE0006u) << when;
}

TEST_F(HostileClient, SharedMemoryRewrittenOrShrunkUnderTheSimulator) {
    const std::string errors = m_dir + "/fssim.err";
    FssimProcess sim(FSSIM_PATH, {}, errors);
    ASSERT_TRUE(sim.WaitReady());
    RawBlock block;
    ASSERT_TRUE(block.Ok());
    std::uint8_t* b = block.Data();

    // One write record at the top of the offset space whose size another thread flips between
    // 4 (fits) and 0x7FF0 (runs 32 KiB past the space) while the requests go: whichever size
    // fssim sees, it must see the same one when it checks and when it copies.
    protocol::Put32(b, protocol::kWriteId);
    protocol::Put32(b + 4, protocol::offsets::kSpace - 0x10);
    protocol::Put32(b + 8, 4);
    protocol::Put32(b + 16, protocol::kEndId);
    {
        const ipc::WindowHandle racer = ipc::FindWindow(protocol::kClassName);
        ASSERT_TRUE(racer);
        std::atomic<bool> stop{false};
        std::thread flipper([&] {
            std::atomic_ref<std::uint32_t> size(*reinterpret_cast<std::uint32_t*>(b + 8));
            while (!stop.load(std::memory_order_relaxed)) {
                size.store(0x7FF0, std::memory_order_relaxed);
                size.store(4, std::memory_order_relaxed);
            }
        });
        int answered = 0;
        for (int i = 0; i < 2000; ++i) {
            const ipc::SendResult r = block.Send(racer);
            if (r.status != ipc::SendResult::Status::Ok)
                break;
            EXPECT_LE(r.answer, 1u);
            ++answered;
        }
        stop = true;
        flipper.join();
        EXPECT_EQ(answered, 2000) << "the link broke under a client rewriting its records";
    }
    ASSERT_TRUE(sim.Running());
    ExpectServed("after the rewritten records");

    // A good request, then the object shrunk to nothing: the client is dropped.
    std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(b + 8)).store(4);
    protocol::Put32(b, protocol::kReadId);
    protocol::Put32(b + 4, protocol::offsets::kSimVersion);
    protocol::Put32(b + 16 + 4, protocol::kEndId);
    const ipc::WindowHandle shrinker = ipc::FindWindow(protocol::kClassName);
    ASSERT_TRUE(shrinker);
    ipc::SendResult r = block.Send(shrinker);
    ASSERT_EQ(r.status, ipc::SendResult::Status::Ok);
    EXPECT_EQ(r.answer, 1u);
    EXPECT_EQ(protocol::Get32(b + 16), 0xFADE0006u);
    ASSERT_TRUE(block.Resize(0));
    r = block.Send(shrinker);
    EXPECT_EQ(r.status, ipc::SendResult::Status::Failed); // link closed, not timed out
    ASSERT_TRUE(sim.Running());
    ExpectServed("after the shrunk shared memory");

    EXPECT_EQ(sim.Stop(), 0);
    std::ifstream in(errors);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("shrank from 32768 to 0 bytes; its link is closed"),
              std::string::npos)
        << text.str();
}

TEST_F(HostileClient, ConnectionsBeyondTheLimitAreRefusedAtOnce) {
    // fssim started with few descriptors (the limit is inherited): today's 1,024 would need as
    // many connections.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 48;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    FssimProcess sim(FSSIM_PATH, {});
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    ASSERT_TRUE(sim.WaitReady());

    std::vector<ipc::WindowHandle> clients;
    const std::uint32_t msg = ipc::RegisterWindowMessage(protocol::kMessageName);
    bool refused = false;
    while (!refused && clients.size() < 100) {
        ipc::WindowHandle w = ipc::FindWindow(protocol::kClassName);
        ASSERT_TRUE(w) << clients.size();
        // A message without shared memory: answered 0 while served, a broken link when refused.
        const ipc::SendResult r = ipc::SendMessageTimeout(w, msg, 0, 0, 5000);
        ASSERT_NE(r.status, ipc::SendResult::Status::TimedOut)
            << "connection " << clients.size() + 1 << " left waiting";
        refused = r.status == ipc::SendResult::Status::Failed;
        if (!refused)
            clients.push_back(std::move(w));
    }
    EXPECT_TRUE(refused);
    EXPECT_GE(clients.size(), 1u);
    // Those served stay served; one gone makes room for another.
    EXPECT_EQ(ipc::SendMessageTimeout(clients.front(), msg, 0, 0, 5000).status,
              ipc::SendResult::Status::Ok);
    clients.pop_back();
    ExpectServed("with a connection freed");
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(HostileClient, OnlyTheSocketItMadeIsRemoved) {
    const std::string path = m_dir + "/" + protocol::kClassName;
    auto isSocket = [&] {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
    };
    {
        // A second simulator took the path over after the first one's socket was removed: the
        // first one ends and leaves the second one's socket alone.
        FssimProcess first(FSSIM_PATH, {});
        ASSERT_TRUE(first.WaitReady());
        ASSERT_EQ(::unlink(path.c_str()), 0);
        FssimProcess second(FSSIM_PATH, {});
        ASSERT_TRUE(second.WaitReady());
        EXPECT_EQ(first.Stop(), 0);
        EXPECT_TRUE(isSocket());
        ExpectServed("by the second simulator");
        EXPECT_EQ(second.Stop(), 0);
        EXPECT_FALSE(isSocket()); // its own socket is removed
    }
    {
        // A file put in place of the socket stays, and a file at the path is not taken over.
        FssimProcess sim(FSSIM_PATH, {});
        ASSERT_TRUE(sim.WaitReady());
        ASSERT_EQ(::unlink(path.c_str()), 0);
        std::ofstream(path) << "not fssim's\n";
        EXPECT_EQ(sim.Stop(), 0);
        FssimProcess refused(FSSIM_PATH, {});
        EXPECT_FALSE(refused.WaitReady());
        std::ifstream in(path);
        std::string line;
        EXPECT_TRUE(std::getline(in, line));
        EXPECT_EQ(line, "not fssim's");
    }
}

} // namespace
