#pragma once
// The JSBSim flight dynamics program as a child process, driven in lock-step over its input
// socket.
//
// The program is started with a run script that opens its input socket in blocking mode
// (<input port="N" action="BLOCKING_INPUT"/>) and with --suspend.  Once resumed, it waits before
// each frame for one message from the client; every message (any number of "set P V" and
// "get P" lines) runs exactly one frame, and each "get" answers with the state at the start of
// that frame.  Every command's reply ends with the prompt "JSBSim> ".  So the client sends one
// message, reads one prompt per command, and only then sends the next: one message, one frame.
// ("iterate N" is not used: in blocking mode it still runs one frame per message and then holds
// the simulation.)
//
// The program writes the reply and the prompt in separate packets; the socket sets TCP_NODELAY
// and re-arms TCP_QUICKACK after every read, or each exchange would cost a delayed
// acknowledgement (about 50 ms).
//
// Robustness: every read waits at most the configured time-out.  A program that dies, closes
// the socket, stops answering or answers something else than expected raises JsbsimError with
// what happened (exit status or signal, the last lines it printed); nothing hangs.  The
// destructor asks the program to quit, then ends it (SIGTERM, then SIGKILL) and reaps it; the
// child is also killed by the kernel if this process dies (PR_SET_PDEATHSIG).
//
// Files: each process gets its own root folder (a temporary folder under $TMPDIR, removed at
// the end) holding links to the prepared aircraft, the initial conditions and the run script,
// because the program resolves script and output paths against --root and runs with the root
// as its working directory.
//
// Debugging: with the environment variable AVILO_JSBSIM_TRACE set to a file path, every message
// sent and the replies read are appended to that file (slow: one open per exchange).

#include <fssim/Export.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace fssim::jsbsim {

/// Any failure of the JSBSim program or of the exchange with it.
class FSSIM_JSBSIM_API JsbsimError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Where the aircraft starts (geodetic latitude, degrees north; longitude, degrees east; true
/// heading, degrees; runway elevation, feet above mean sea level).
struct InitialConditions {
    double latitude_deg = 0.0;
    double longitude_deg = 0.0;
    double heading_deg = 0.0;
    double elevation_ft = 0.0;
    /// Height of the centre of gravity above the ground, feet: the c172p parked on its wheels
    /// has it 4.19 ft up, so it starts at rest instead of dropping onto its gear.
    double cgHeight_ft = 4.19;
};

struct ProcessConfig {
    std::string program;      ///< path of the JSBSim program; empty: DefaultProgram()
    std::string aircraftRoot; ///< folder holding aircraft/c172p; empty: DefaultAircraftRoot()
    std::string aircraft = "c172p";
    int rateHz = 120; ///< frames per simulated second (the model is tuned for 120)
    std::chrono::milliseconds startTimeout{15000}; ///< program start up to the first prompt
    std::chrono::milliseconds replyTimeout{10000}; ///< any one reply
};

/// The JSBSim program the build found (or $AVILO_JSBSIM); empty when there is none.
FSSIM_JSBSIM_API std::string DefaultProgram();
/// The prepared aircraft root of the build (or $AVILO_JSBSIM_ROOT).
FSSIM_JSBSIM_API std::string DefaultAircraftRoot();
/// True when DefaultProgram() names an executable file and the aircraft root holds the c172p.
FSSIM_JSBSIM_API bool Available(std::string* why = nullptr);

/// One command's reply.
struct Reply {
    std::string text; ///< the reply without its prompt, e.g. "fcs/throttle-cmd-norm = 1\n"
};

class FSSIM_JSBSIM_API Process {
public:
    /// Starts the program suspended, parked as `ic` says, and connects to it.  Throws
    /// JsbsimError when it cannot be started or does not answer within startTimeout.
    Process(const ProcessConfig& config, const InitialConditions& ic);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    /// Sends one message of `commands` (one command per element, no line ends) and returns one
    /// reply per command.  After Resume this runs exactly one frame.  An empty list sends a
    /// harmless "get simulation/sim-time-sec" so that the frame still runs.
    std::vector<Reply> Exchange(const std::vector<std::string>& commands);

    /// "get" of several properties in one message (one frame after Resume); values in order.
    std::vector<double> Get(const std::vector<std::string>& properties);
    /// Parses "name = value" of a get reply; throws JsbsimError for anything else (e.g.
    /// "Unknown property").
    static double ParseGet(const std::string& property, const Reply& reply);

    /// Leaves the suspended start: from now on every message runs one frame.
    void Resume();

    /// Ends the program at once (SIGKILL) and reaps it; for tests of a program that dies.
    void Kill();
    pid_t Pid() const { return m_pid; }
    /// The program's own output so far (its log file), at most the last `maxBytes`.
    std::string LogTail(std::size_t maxBytes = 2000) const;

private:
    void PrepareRoot(const InitialConditions& ic, int port);
    void Spawn();
    void Connect(int port);
    std::string ReadPrompts(std::size_t count, std::chrono::milliseconds timeout);
    [[noreturn]] void Fail(const std::string& what);
    std::string ChildStatus();
    void Shutdown();

    ProcessConfig m_config;
    std::string m_root;
    int m_token = 0; ///< this run's number in its script, asked back once connected
    pid_t m_pid = -1;
    int m_socket = -1;
    bool m_dead = false;
    std::string m_pending; ///< bytes read past the last prompt
};

} // namespace fssim::jsbsim
