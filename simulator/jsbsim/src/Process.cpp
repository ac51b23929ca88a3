#include "fssim/jsbsim/Process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <numbers/Numbers.h>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef FSSIM_JSBSIM_PROGRAM
#define FSSIM_JSBSIM_PROGRAM ""
#endif
#ifndef FSSIM_JSBSIM_ROOT
#define FSSIM_JSBSIM_ROOT ""
#endif

namespace fssim::jsbsim {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kPrompt = "JSBSim> ";
constexpr std::size_t kPromptLength = 8;
constexpr const char* kScript = "scripts/avilo-run.xml";
constexpr const char* kInitName = "avilo-start";

std::size_t CountPrompts(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = text.find(kPrompt); at != std::string::npos;
         at = text.find(kPrompt, at + kPromptLength))
        ++n;
    return n;
}

/// A free TCP port on the loopback interface (the kernel's choice).
/// The property that carries a run's token (see Connect).
constexpr const char* kTokenProperty = "simulation/avilo-run-token";

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw JsbsimError(std::string("JSBSim: cannot create a socket: ") + std::strerror(errno));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        const int e = errno;
        ::close(fd);
        throw JsbsimError(std::string("JSBSim: no free port: ") + std::strerror(e));
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    if (!out)
        throw JsbsimError("JSBSim: cannot write " + path.string());
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace

std::string DefaultProgram() {
    const std::string env = Env("AVILO_JSBSIM");
    return env.empty() ? std::string(FSSIM_JSBSIM_PROGRAM) : env;
}

std::string DefaultAircraftRoot() {
    const std::string env = Env("AVILO_JSBSIM_ROOT");
    return env.empty() ? std::string(FSSIM_JSBSIM_ROOT) : env;
}

bool Available(std::string* why) {
    const std::string program = DefaultProgram();
    const std::string root = DefaultAircraftRoot();
    std::string reason;
    if (program.empty())
        reason = "the JSBSim program was not found at build time (run scripts/fetch-jsbsim and "
                 "configure again, or set AVILO_JSBSIM)";
    else if (::access(program.c_str(), X_OK) != 0)
        reason = "the JSBSim program " + program + " is not an executable file";
    else if (root.empty() || !fs::exists(fs::path(root) / "aircraft" / "c172p" / "c172p.xml"))
        reason = "the prepared c172p aircraft is not in " + root;
    if (why)
        *why = reason;
    return reason.empty();
}

Process::Process(const ProcessConfig& config, const InitialConditions& ic) : m_config(config) {
    if (m_config.program.empty())
        m_config.program = DefaultProgram();
    if (m_config.aircraftRoot.empty())
        m_config.aircraftRoot = DefaultAircraftRoot();
    if (m_config.program.empty())
        throw JsbsimError(
            "JSBSim: no program to run (run scripts/fetch-jsbsim or set AVILO_JSBSIM)");
    if (m_config.rateHz < 1 || m_config.rateHz > 10000)
        throw JsbsimError("JSBSim: frame rate must be 1 to 10000 Hz");
    const fs::path aircraftDir = fs::path(m_config.aircraftRoot) / "aircraft" / m_config.aircraft;
    if (!fs::exists(aircraftDir / (m_config.aircraft + ".xml")))
        throw JsbsimError("JSBSim: no prepared aircraft in " + aircraftDir.string());

    std::string pattern = (fs::temp_directory_path() / "avilo-jsbsim-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw JsbsimError(std::string("JSBSim: cannot create a run folder: ") +
                          std::strerror(errno));
    m_root = pattern;
    // The run's token, from the folder's unique name: five digits, which the program prints
    // exactly.
    m_token = static_cast<int>(std::hash<std::string>{}(m_root) % 90000) + 10000;
    try {
        const int port = FreePort();
        PrepareRoot(ic, port);
        Spawn();
        Connect(port);
    } catch (...) {
        Shutdown();
        throw;
    }
}

Process::~Process() {
    Shutdown();
}

void Process::PrepareRoot(const InitialConditions& ic, int port) {
    const fs::path root(m_root);
    const fs::path source = fs::path(m_config.aircraftRoot) / "aircraft" / m_config.aircraft;
    const fs::path dir = root / "aircraft" / m_config.aircraft;
    fs::create_directories(dir);
    fs::create_directories(root / "scripts");
    // The aircraft files are shared; only the initial conditions are this run's own.
    for (const auto& entry : fs::directory_iterator(source))
        fs::create_symlink(fs::absolute(entry.path()), dir / entry.path().filename());

    // The numbers in the C locale, as the program reads them.
    const std::string init =
        numbers::Format("<?xml version=\"1.0\"?>\n"
                        "<initialize name=\"%s\">\n"
                        "  <latitude unit=\"DEG\" type=\"geod\">%.9f</latitude>\n"
                        "  <longitude unit=\"DEG\">%.9f</longitude>\n"
                        "  <elevation unit=\"FT\">%.3f</elevation>\n"
                        "  <altitudeAGL unit=\"FT\">%.3f</altitudeAGL>\n"
                        "  <psi unit=\"DEG\">%.6f</psi>\n"
                        "  <theta unit=\"DEG\">0</theta>\n"
                        "  <phi unit=\"DEG\">0</phi>\n"
                        "  <vc unit=\"KTS\">0</vc>\n"
                        "</initialize>\n",
                        kInitName, ic.latitude_deg, ic.longitude_deg, ic.elevation_ft,
                        ic.cgHeight_ft, ic.heading_deg);
    WriteFile(dir / (std::string(kInitName) + ".xml"), init);

    const std::string script = numbers::Format(
        "<?xml version=\"1.0\"?>\n"
        "<runscript name=\"avilo\">\n"
        "  <use aircraft=\"%s\" initialize=\"%s\"/>\n"
        "  <input port=\"%d\" action=\"BLOCKING_INPUT\"/>\n"
        "  <run start=\"0\" end=\"100000000\" dt=\"%.17g\">\n"
        "    <property value=\"%d\"> %s </property>\n"
        "  </run>\n"
        "</runscript>\n",
        m_config.aircraft.c_str(), kInitName, port, 1.0 / m_config.rateHz, m_token, kTokenProperty);
    WriteFile(root / kScript, script);
}

void Process::Spawn() {
    const std::string log = (fs::path(m_root) / "jsbsim.log").string();
    const std::string script = std::string("--script=") + kScript;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        throw JsbsimError(std::string("JSBSim: cannot start the program: ") + std::strerror(errno));
    if (pid == 0) {
        // Child: only async-signal-safe calls until exec.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(126);
        if (::chdir(m_root.c_str()) != 0)
            ::_exit(126);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0)
            ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execl(m_config.program.c_str(), "JSBSim", "--root=.", script.c_str(), "--nohighlight",
                "--suspend", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    m_pid = pid;
}

void Process::Connect(int port) {
    const auto deadline = Clock::now() + m_config.startTimeout;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    for (;;) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            m_dead = true;
            const std::string how =
                WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                  : "was killed by signal " + std::to_string(WTERMSIG(status));
            throw JsbsimError("JSBSim: the program " + how + " while starting" +
                              (WIFEXITED(status) && WEXITSTATUS(status) == 127
                                   ? " (cannot run " + m_config.program + ")"
                                   : "") +
                              "; its last output:\n" + LogTail());
        }
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            Fail(std::string("cannot create a socket: ") + std::strerror(errno));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
            m_socket = fd;
            break;
        }
        ::close(fd);
        if (Clock::now() >= deadline)
            Fail("the program did not open its input socket within " +
                 std::to_string(m_config.startTimeout.count()) + " ms");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int one = 1;
    ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(m_socket, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const std::string greeting = ReadPrompts(1, std::max(left, std::chrono::milliseconds(1000)));
    if (greeting.find("JSBSim") == std::string::npos)
        Fail("something else than the JSBSim program answers on its port: " + greeting);
    // The port was free when it was chosen, but another run may have taken it before this
    // program bound it: then another JSBSim answers here, and flying it would fly someone
    // else's aircraft.  Each run's script carries its own token.
    if (Get({kTokenProperty}).front() != m_token)
        Fail("another JSBSim program answers on port " + std::to_string(port) +
             " (two runs were given the same free port); start again");
}

std::string Process::ReadPrompts(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    char buffer[8192];
    while (CountPrompts(m_pending) < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            Fail("no answer within " + std::to_string(timeout.count()) + " ms");
        pollfd p{m_socket, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            Fail(std::string("waiting for an answer failed: ") + std::strerror(errno));
        }
        if (r == 0)
            continue; // the deadline check above reports it
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            Fail(std::string("reading its answer failed: ") + std::strerror(errno));
        }
        if (n == 0)
            Fail("the program closed the connection");
        m_pending.append(buffer, static_cast<std::size_t>(n));
        // Acknowledge at once: the reply and its prompt come in separate packets.
        const int one = 1;
        ::setsockopt(m_socket, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
    }
    std::size_t end = 0;
    for (std::size_t i = 0; i < count; ++i)
        end = m_pending.find(kPrompt, end) + kPromptLength;
    std::string text = m_pending.substr(0, end);
    m_pending.erase(0, end);
    return text;
}

std::vector<Reply> Process::Exchange(const std::vector<std::string>& commands) {
    if (m_dead)
        throw JsbsimError("JSBSim: the program is no longer running");
    std::string message;
    for (const std::string& c : commands) {
        if (c.find('\n') != std::string::npos || c.find('\r') != std::string::npos)
            throw JsbsimError("JSBSim: a command must be one line: " + c);
        message += c;
        message += '\n';
    }
    std::size_t expected = commands.size();
    if (expected == 0) {
        message = "get simulation/sim-time-sec\n";
        expected = 1;
    }
    for (std::size_t sent = 0; sent < message.size();) {
        const ssize_t n =
            ::send(m_socket, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail(std::string("sending to it failed: ") + std::strerror(errno));
        }
        sent += static_cast<std::size_t>(n);
    }
    const std::string text = ReadPrompts(expected, m_config.replyTimeout);
    if (static const char* trace = std::getenv("AVILO_JSBSIM_TRACE"); trace && *trace) {
        std::ofstream(trace, std::ios::app) << ">>> " << message << text << "\n";
    }
    std::vector<Reply> replies;
    replies.reserve(expected);
    std::size_t begin = 0;
    for (std::size_t i = 0; i < expected; ++i) {
        const std::size_t at = text.find(kPrompt, begin);
        replies.push_back({text.substr(begin, at - begin)});
        begin = at + kPromptLength;
    }
    if (commands.empty())
        replies.clear();
    return replies;
}

double Process::ParseGet(const std::string& property, const Reply& reply) {
    const std::string& t = reply.text;
    const std::size_t eq = t.find(" = ");
    std::size_t nameBegin = t.find_first_not_of(" \r\n");
    if (eq == std::string::npos || nameBegin == std::string::npos ||
        t.compare(nameBegin, property.size(), property) != 0)
        throw JsbsimError("JSBSim: unexpected answer to \"get " + property + "\": " + t);
    // The value is the rest of the line, written by the program in the C locale.
    const std::size_t begin = eq + 3;
    const std::size_t end = t.find('\n', begin);
    const std::optional<double> v = numbers::Parse(
        std::string_view(t).substr(begin, end == std::string::npos ? end : end - begin));
    if (!v)
        throw JsbsimError("JSBSim: not a number in the answer to \"get " + property + "\": " + t);
    return *v;
}

std::vector<double> Process::Get(const std::vector<std::string>& properties) {
    std::vector<std::string> commands;
    commands.reserve(properties.size());
    for (const std::string& p : properties)
        commands.push_back("get " + p);
    const std::vector<Reply> replies = Exchange(commands);
    std::vector<double> values;
    values.reserve(properties.size());
    for (std::size_t i = 0; i < properties.size(); ++i)
        values.push_back(ParseGet(properties[i], replies[i]));
    return values;
}

void Process::Resume() {
    const std::vector<Reply> r = Exchange({"resume"});
    if (r.front().text.find("Resum") == std::string::npos)
        throw JsbsimError("JSBSim: unexpected answer to \"resume\": " + r.front().text);
}

std::string Process::ChildStatus() {
    if (m_pid <= 0)
        return "the program has ended";
    int status = 0;
    // A program that closed the socket is usually about to exit: give it a moment.
    for (int i = 0; i < 20; ++i) {
        const pid_t r = ::waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_pid = -1;
            if (WIFEXITED(status))
                return "the program exited with status " + std::to_string(WEXITSTATUS(status));
            return "the program was killed by signal " + std::to_string(WTERMSIG(status)) + " (" +
                   strsignal(WTERMSIG(status)) + ")";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "the program is still running (pid " + std::to_string(m_pid) + ")";
}

void Process::Fail(const std::string& what) {
    m_dead = true;
    const std::string status = ChildStatus();
    const std::string tail = LogTail(600);
    throw JsbsimError("JSBSim: " + what + "; " + status +
                      (tail.empty() ? std::string() : "; its last output:\n" + tail));
}

std::string Process::LogTail(std::size_t maxBytes) const {
    if (m_root.empty())
        return {};
    std::ifstream in(fs::path(m_root) / "jsbsim.log", std::ios::binary);
    if (!in)
        return {};
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() > maxBytes)
        text.erase(0, text.size() - maxBytes);
    return text;
}

void Process::Kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

void Process::Shutdown() {
    if (m_socket >= 0) {
        if (!m_dead) {
            static const char quit[] = "quit\n";
            (void)::send(m_socket, quit, sizeof quit - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        ::close(m_socket);
        m_socket = -1;
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        bool ended = false;
        for (int i = 0; i < 100 && !ended; ++i) {
            ended = ::waitpid(m_pid, nullptr, WNOHANG) == m_pid;
            if (!ended)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!ended) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    if (!m_root.empty()) {
        std::error_code ec;
        fs::remove_all(m_root, ec);
        m_root.clear();
    }
}

} // namespace fssim::jsbsim
