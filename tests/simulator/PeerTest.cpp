// The simulator as the link's peer: checks of the request records, the offset encodings, virtual
// time and the recorded track.
#include <fssim/InProcess.h>
#include <fssim/Simulator.h>
#include <ipc/Protocol.h>

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

using namespace fssim;
namespace offsets = ipc::protocol::offsets;

namespace {

/// Builds a request block as a client would, with room to spare.
class Block {
public:
    explicit Block(std::size_t size = 0x8000) : m_bytes(size, 0) {}
    Block& Read(std::uint32_t offset, std::uint32_t n) {
        Put(1), Put(offset), Put(n), Put(0);
        m_pos += n;
        return *this;
    }
    Block& Write(std::uint32_t offset, std::uint32_t n, std::uint8_t fill) {
        Put(2), Put(offset), Put(n);
        std::memset(m_bytes.data() + m_pos, fill, n);
        m_pos += n;
        return *this;
    }
    Block& Raw(std::uint32_t v) {
        Put(v);
        return *this;
    }
    std::uint8_t* Data() { return m_bytes.data(); }
    std::size_t Size() const { return m_bytes.size(); }
    std::uint8_t At(std::size_t i) const { return m_bytes[i]; }

private:
    void Put(std::uint32_t v) {
        std::memcpy(m_bytes.data() + m_pos, &v, 4);
        m_pos += 4;
    }
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

TEST(Peer, CarriesOutValidBatchesInOrder) {
    Simulator sim;
    Block b;
    b.Write(0x6000, 4, 0x5A).Read(0x6000, 4).Read(0x3308, 4).Raw(0);
    ASSERT_TRUE(sim.ProcessBatch(b.Data(), b.Size()));
    EXPECT_EQ(b.At(16 + 16), 0x5A); // the read after the write sees it
    std::uint32_t fs;
    std::memcpy(&fs, b.Data() + 36 + 16, 4);
    EXPECT_EQ(fs, 0xFADE0006u);
}

TEST(Peer, RejectsRecordsOutOfBoundsWithoutTouchingAnything) {
    struct Case {
        const char* what;
        std::function<void(Block&)> build;
        std::size_t blockSize;
    };
    const Case cases[] = {
        {"read past the block", [](Block& b) { b.Raw(1).Raw(0x100).Raw(0x8000).Raw(0); }, 0x8000},
        {"impossible size", [](Block& b) { b.Raw(1).Raw(0).Raw(0xFFFFFFFF).Raw(0); }, 0x8000},
        {"write past the block",
         [](Block& b) { b.Write(0x6000, 4, 1).Raw(2).Raw(0x100).Raw(0x7FF0).Raw(0); }, 0x8000},
        {"read past the offset space", [](Block& b) { b.Read(0xFFFE, 4).Raw(0); }, 0x8000},
        {"write past the offset space",
         [](Block& b) { b.Write(0x6000, 4, 1).Write(0xFFFF, 2, 1).Raw(0); }, 0x8000},
        {"offset beyond the space", [](Block& b) { b.Read(0x10001, 0).Raw(0); }, 0x8000},
        {"unknown record id", [](Block& b) { b.Write(0x6000, 4, 1).Raw(3).Raw(0).Raw(0).Raw(0); },
         0x8000},
        {"no end marker", [](Block& b) { b.Write(0x6000, 0x10, 1); }, 0x1C},
        {"header cut by the end", [](Block& b) { b.Raw(1).Raw(0x6000); }, 8},
        {"empty block", [](Block&) {}, 0},
    };
    for (const Case& c : cases) {
        Simulator sim;
        Block b(std::max<std::size_t>(c.blockSize, 64));
        c.build(b);
        EXPECT_FALSE(sim.ProcessBatch(b.Data(), c.blockSize)) << c.what;
        // Nothing was written, not even the valid records before the bad one.
        EXPECT_EQ(sim.OffsetSpace()[0x6000], 0) << c.what;
    }
    // Blocks shorter than a record header, in buffers of exactly their size: checked without
    // reading past them (the address sanitizer's part; found by the link's fuzz target).
    for (std::vector<std::uint8_t> bytes :
         {std::vector<std::uint8_t>{1, 0, 0, 0, 0xFC, 0xFF, 0, 1, 0, 4, 0},
          std::vector<std::uint8_t>{2, 0, 0, 0, 0, 0x60, 0, 0}}) {
        Simulator sim;
        EXPECT_FALSE(sim.ProcessBatch(bytes.data(), bytes.size())) << bytes.size();
    }
}

TEST(Peer, AnswersOnlyTheRegisteredMessageWithAnExistingMapping) {
    Simulator sim;
    ipc::Message m;
    m.msg = ipc::RegisterWindowMessage("FsasmLib:IPC");
    m.atomName = "FsasmLib:IPC:0:0-does-not-exist";
    EXPECT_EQ(sim.HandleMessage(m).value, 0u);
    m.atomName.clear();
    EXPECT_EQ(sim.HandleMessage(m).value, 0u);
    m.msg ^= 1;
    EXPECT_EQ(sim.HandleMessage(m).value, 0u);
    EXPECT_EQ(sim.RequestCount(), 3u);
}

TEST(Peer, ControlWritesReachTheModelAndAreClamped) {
    Simulator sim;
    Block b;
    b.Raw(2).Raw(offsets::kLeftToeBrake).Raw(2);
    b.Raw(0xFFFF); // left 255, right 255: act as 200
    b.Raw(0);
    ASSERT_TRUE(sim.ProcessBatch(b.Data(), b.Size()));
    EXPECT_EQ(sim.Model().GetControls().leftToeBrake, 200);
    EXPECT_EQ(sim.Model().GetControls().rightToeBrake, 200);
}

TEST(Peer, StartsParkedAtTheGivenThresholdWithElevationInFeet) {
    SimConfig config;
    config.start = {47.5, -122.3, 135.0, 1000.0};
    Simulator sim(config);
    const State& s = sim.Model().GetState();
    EXPECT_EQ(s.latitude_deg, 47.5);
    EXPECT_EQ(s.longitude_deg, -122.3);
    EXPECT_EQ(s.heading_deg, 135.0);
    EXPECT_DOUBLE_EQ(s.altitude_m, 304.8);
    EXPECT_TRUE(s.onGround);
    EXPECT_EQ(sim.Model().GetControls().parkingBrake, 32767);
}

TEST(VirtualTime, EachExchangeCostsOneMillisecond) {
    InProcessSim sim;
    const auto window = ipc::FindWindow("UIPCMAIN");
    ASSERT_TRUE(window);
    for (int i = 0; i < 25; ++i)
        ipc::SendMessageTimeout(window, 0xC000, 0, 0, 2000);
    EXPECT_EQ(sim.Sim().NowMs(), 25);
    EXPECT_TRUE(sim.Clock()->Sleep(975));
    EXPECT_EQ(sim.Sim().NowMs(), 1000);
    EXPECT_EQ(sim.Clock()->NowMs(), 1000);
}

TEST(VirtualTime, AdvancesAddUpExactlyWhateverTheRate) {
    SimConfig config;
    config.rateHz = 120; // steps of 8,333 us: remainders carry over
    Simulator a(config), b(config);
    for (int i = 0; i < 3000; ++i)
        a.AdvanceMs(1);
    b.AdvanceMs(3000);
    EXPECT_EQ(a.NowUs(), b.NowUs());
    EXPECT_EQ(a.Model().GetState().pitch_deg, b.Model().GetState().pitch_deg);
    EXPECT_EQ(a.Track().size(), b.Track().size());

    // The link serves the time of the model's state (360 steps of 8,333 us), with its marker;
    // as an older simulator, neither.
    config.faults.noClock = true;
    Simulator older(config);
    older.AdvanceMs(3000);
    for (Simulator* sim : {&a, &older}) {
        sim->RefreshOffsets();
        std::uint32_t marker = 0;
        std::uint64_t ms = 0;
        std::memcpy(&marker, sim->OffsetSpace() + offsets::kSimTimeMarker, 4);
        std::memcpy(&ms, sim->OffsetSpace() + offsets::kSimTime, 8);
        EXPECT_EQ(marker, sim == &a ? ipc::protocol::kSimTimeTag : 0u);
        EXPECT_EQ(ms, sim == &a ? 2999u : 0u);
    }
}

TEST(VirtualTime, TimeLimitStopsTheClock) {
    InProcessSim sim;
    sim.Clock()->SetTimeLimitMs(5000);
    int waits = 0;
    while (sim.Clock()->Sleep(1000))
        ++waits;
    EXPECT_EQ(waits, 4);
    EXPECT_TRUE(sim.Clock()->TimeLimitReached());
}

TEST(Track, OnePointPerSimulatedSecondAsCsv) {
    InProcessSim sim;
    sim.Clock()->Sleep(10500);
    const auto& track = sim.Sim().Track();
    ASSERT_EQ(track.size(), 11u); // 0 s to 10 s
    EXPECT_EQ(track.front().time_s, 0.0);
    EXPECT_DOUBLE_EQ(track.back().time_s, 10.0);
    std::ostringstream csv;
    WriteTrackCsv(csv, track);
    const std::string text = csv.str();
    EXPECT_EQ(text.substr(0, text.find('\n')),
              "time_s,latitude_deg,longitude_deg,altitude_m,airspeed_kt,pitch_deg,bank_deg,"
              "heading_deg");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 12);
}

} // namespace
