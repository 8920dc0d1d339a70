#include "tests/support/TestNetwork.h"

#include "platform/UniqueFd.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <poll.h>
#include <regex>
#include <sched.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrion::testsupport {

namespace fs = std::filesystem;
using platform::UniqueFd;

namespace {

std::atomic<int> networkCounter{0};

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string key = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& extra : extraEnv)
            replaced = replaced || extra.substr(0, extra.find('=')) == key;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    result.reserve(strings.size() + 1);
    for (auto& s : strings)
        result.push_back(s.data());
    result.push_back(nullptr);
    return result;
}

int exitStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Starts argv with stdout (and stderr when asked) on a pipe; returns the pid and the read end.
pid_t spawnWithPipe(std::vector<std::string> argv, const std::vector<std::string>& extraEnv, bool withStderr,
                    UniqueFd& readEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    UniqueFd reading(fds[0]);
    const UniqueFd writing(fds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writing.get(), STDOUT_FILENO);
    if (withStderr)
        posix_spawn_file_actions_adddup2(&actions, writing.get(), STDERR_FILENO);
    auto env = mergedEnvironment(extraEnv);
    auto argp = pointers(argv);
    auto envp = pointers(env);
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    readEnd = std::move(reading);
    return pid;
}

std::string readAll(int fd) {
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    return text;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return exitStatus(status);
}

bool processAlive(long pid) {
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Namespaces of earlier runs that died before their destructor ran.
void removeLeftovers(const std::string& prefix) {
    const std::regex pattern(prefix + R"(-(\d+)-\d+-[crh])");
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/run/netns", ec)) {
        const std::string name = entry.path().filename().string();
        std::smatch m;
        if (!std::regex_match(name, m, pattern) || processAlive(std::stol(m[1].str())))
            continue;
        runCommand({"ip", "netns", "delete", name});
        fs::remove_all(fs::path("/etc/netns") / name, ec);
    }
}

} // namespace

int runCommand(const std::vector<std::string>& argv, std::string* output,
               const std::vector<std::string>& extraEnv) {
    pid_t pid = -1;
    std::string text;
    {
        UniqueFd readEnd;
        pid = spawnWithPipe(argv, extraEnv, true, readEnd);
        text = readAll(readEnd.get());
    }
    if (output)
        *output = std::move(text);
    return waitFor(pid);
}

void runChecked(const std::vector<std::string>& argv) {
    std::string output;
    const int status = runCommand(argv, &output);
    if (status != 0) {
        std::string command;
        for (const auto& a : argv)
            command += (command.empty() ? "" : " ") + a;
        throw std::runtime_error(command + " failed (" + std::to_string(status) + "): " + output);
    }
}

int runInNamespace(const std::string& ns, const std::vector<std::string>& argv,
                   const std::vector<std::string>& extraEnv) {
    std::vector<std::string> full{"ip", "netns", "exec", ns};
    full.insert(full.end(), argv.begin(), argv.end());
    std::vector<std::string> env = mergedEnvironment(extraEnv);
    auto argp = pointers(full);
    auto envp = pointers(env);
    pid_t pid = -1;
    if (::posix_spawnp(&pid, "ip", nullptr, nullptr, argp.data(), envp.data()) != 0)
        return -1;
    return waitFor(pid);
}

std::optional<std::string> netnsUnavailableReason() {
    if (::geteuid() != 0)
        return "network namespace tests need root (run the tests with sudo; CI runs them as root)";
    std::string output;
    try {
        if (runCommand({"ip", "netns", "list"}, &output) != 0)
            return "`ip netns` does not work here: " + output;
    } catch (const std::exception& e) {
        return std::string("`ip` (iproute2) is not available: ") + e.what();
    }
    return std::nullopt;
}

NamespaceScope::NamespaceScope(const std::string& ns) {
    original_.reset(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC));
    const UniqueFd target(::open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC));
    if (!original_ || !target || ::setns(target.get(), CLONE_NEWNET) != 0) {
        const int error = errno;
        throw std::runtime_error("cannot enter namespace " + ns + ": " + std::strerror(error));
    }
}

NamespaceScope::~NamespaceScope() {
    ::setns(original_.get(), CLONE_NEWNET);
}

namespace {

bool changeEffective(int capability, bool raise) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const auto bit = 1u << (capability % 32);
    auto& effective = data[capability / 32].effective;
    effective = raise ? (effective | bit) : (effective & ~bit);
    return ::syscall(SYS_capset, &header, data) == 0;
}

} // namespace

DroppedCapabilityScope::DroppedCapabilityScope(int capability) : capability_(capability) {
    dropped_ = changeEffective(capability, false);
    if (!dropped_)
        throw std::runtime_error("cannot drop capability " + std::to_string(capability));
}

DroppedCapabilityScope::~DroppedCapabilityScope() {
    if (dropped_)
        changeEffective(capability_, true);
}

TestNetwork::TestNetwork(const std::string& prefix) {
    removeLeftovers(prefix);
    const std::string base =
        prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(networkCounter++);
    names_[0] = base + "-c";
    names_[1] = base + "-r";
    names_[2] = base + "-h";
    try {
        for (const auto& n : names_)
            addNamespace(n);
        runChecked({"ip", "link", "add", "eth0", "netns", client(), "type", "veth", "peer", "name", "eth0",
                    "netns", router()});
        runChecked({"ip", "link", "add", "eth1", "netns", router(), "type", "veth", "peer", "name", "eth0",
                    "netns", host()});
        ipIn(Node::Client, {"addr", "add", std::string(ClientAddress) + "/24", "dev", "eth0"});
        ipIn(Node::Router, {"addr", "add", std::string(RouterClientSide) + "/24", "dev", "eth0"});
        ipIn(Node::Router, {"addr", "add", std::string(RouterHostSide) + "/24", "dev", "eth1"});
        ipIn(Node::Host, {"addr", "add", std::string(HostAddress) + "/24", "dev", "eth0"});
        ipIn(Node::Client, {"link", "set", "eth0", "up"});
        ipIn(Node::Router, {"link", "set", "eth0", "up"});
        ipIn(Node::Router, {"link", "set", "eth1", "up"});
        ipIn(Node::Host, {"link", "set", "eth0", "up"});
        ipIn(Node::Client, {"route", "add", "10.1.0.0/16", "via", RouterClientSide});
        ipIn(Node::Host, {"route", "add", "default", "via", RouterHostSide});
        setSysctl(Node::Router, "net.ipv4.ip_forward", "1");
        setSysctl(Node::Router, "net.ipv4.icmp_ratemask", "0");
    } catch (...) {
        teardown();
        throw;
    }
}

TestNetwork::~TestNetwork() {
    teardown();
}

const std::string& TestNetwork::name(Node node) const {
    return names_[static_cast<int>(node)];
}

void TestNetwork::addNamespace(const std::string& name) {
    runChecked({"ip", "netns", "add", name});
    created_.push_back(name);
    runChecked({"ip", "-n", name, "link", "set", "lo", "up"});
}

void TestNetwork::ipIn(Node node, std::vector<std::string> args) {
    args.insert(args.begin(), {"ip", "-n", name(node)});
    runChecked(args);
}

void TestNetwork::teardown() noexcept {
    for (const auto& n : created_) {
        try {
            runCommand({"ip", "netns", "delete", n});
        } catch (...) {
        }
        std::error_code ec;
        fs::remove_all(fs::path("/etc/netns") / n, ec);
    }
    created_.clear();
}

void TestNetwork::addHostAddress(const std::string& address) {
    ipIn(Node::Host, {"addr", "add", address + "/24", "dev", "eth0"});
}

void TestNetwork::setHostAnswersEcho(bool answers) {
    setSysctl(Node::Host, "net.ipv4.icmp_echo_ignore_all", answers ? "0" : "1");
}

void TestNetwork::addRouterRoute(RouteKind kind, const std::string& prefix) {
    const char* type = kind == RouteKind::Unreachable ? "unreachable"
                       : kind == RouteKind::Prohibit  ? "prohibit"
                                                      : "blackhole";
    ipIn(Node::Router, {"route", "add", type, prefix});
}

std::string TestNetwork::addUnansweredLink(Node node) {
    if (node != Node::Client && node != Node::Router)
        throw std::invalid_argument("unanswered links hang off the client or the router");
    const bool fromClient = node == Node::Client;
    std::string subnet = fromClient ? "10.1.4" : "10.1.3";
    bool& made = fromClient ? clientLinkMade_ : routerLinkMade_;
    if (made)
        return subnet;
    // The far end sits, without an address, in the next namespace along: it never answers ARP.
    const std::string& far = fromClient ? router() : host();
    runChecked({"ip", "link", "add", "void0", "netns", name(node), "type", "veth", "peer", "name", "void1",
                "netns", far});
    ipIn(node, {"addr", "add", subnet + ".1/24", "dev", "void0"});
    ipIn(node, {"link", "set", "void0", "up"});
    runChecked({"ip", "-n", far, "link", "set", "void1", "up"});
    setSysctl(node, "net.ipv4.neigh.void0.mcast_solicit", "1");
    setSysctl(node, "net.ipv4.neigh.void0.ucast_solicit", "0");
    setSysctl(node, "net.ipv4.neigh.void0.app_solicit", "0");
    setSysctl(node, "net.ipv4.neigh.void0.retrans_time_ms", "100");
    made = true;
    return subnet;
}

void TestNetwork::allowPingSockets(bool allow) {
    setSysctl(Node::Client, "net.ipv4.ping_group_range", allow ? "0 2147483647" : "1 0");
}

void TestNetwork::setSysctl(Node node, const std::string& key, const std::string& value) {
    runChecked({"ip", "netns", "exec", name(node), "sysctl", "-q", "-w", key + "=" + value});
}

void TestNetwork::writeNameFiles(Node node, const std::vector<std::string>& hostsLines) {
    const fs::path dir = fs::path("/etc/netns") / name(node);
    fs::create_directories(dir);
    std::ofstream hosts(dir / "hosts");
    hosts << "127.0.0.1 localhost\n";
    for (const auto& line : hostsLines)
        hosts << line << '\n';
    std::ofstream resolv(dir / "resolv.conf");
    resolv << "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";
    // Host names from these two files alone: a machine whose own nsswitch.conf adds a resolving
    // service (systemd-resolved, mDNS) would otherwise reach its real name server past the namespace.
    std::ofstream nsswitch(dir / "nsswitch.conf");
    nsswitch << "passwd: files\ngroup: files\nhosts: files dns\n";
    if (!hosts || !resolv || !nsswitch)
        throw std::runtime_error("cannot write the name files in " + dir.string());
}

Responder::Responder(TestNetwork& network, const std::vector<std::string>& rules) {
    char path[] = "/tmp/kestrion-responder-XXXXXX";
    if (!UniqueFd(::mkstemp(path)))
        throw std::runtime_error("mkstemp: " + std::string(std::strerror(errno)));
    logPath_ = path;
    network.setHostAnswersEcho(false);
    std::vector<std::string> argv{"ip",    "netns", "exec", network.host(), KESTRION_TEST_RESPONDER,
                                  "--log", logPath_};
    argv.insert(argv.end(), rules.begin(), rules.end());
    UniqueFd readEnd;
    pid_ = spawnWithPipe(argv, {}, false, readEnd);
    // It says "ready" once its sockets are open; anything else means it could not start.
    std::string line;
    pollfd pfd{readEnd.get(), POLLIN, 0};
    char c = 0;
    while (line != "ready" && ::poll(&pfd, 1, 5000) > 0 && ::read(readEnd.get(), &c, 1) == 1)
        if (c != '\n')
            line += c;
    readEnd.reset();
    if (line != "ready") {
        ::kill(pid_, SIGKILL);
        waitFor(pid_);
        ::unlink(logPath_.c_str());
        throw std::runtime_error("the test responder did not start: " + line);
    }
}

Responder::~Responder() {
    ::kill(pid_, SIGTERM);
    waitFor(pid_);
    ::unlink(logPath_.c_str());
}

std::vector<Responder::Seen> Responder::seen() const {
    std::vector<Seen> result;
    std::ifstream log(logPath_);
    Seen s;
    int checksumOk = 0;
    int allT = 0;
    while (log >> s.destination >> s.payloadLength >> checksumOk >> allT >> s.sequence) {
        s.checksumOk = checksumOk != 0;
        s.payloadAllT = allT != 0;
        result.push_back(s);
    }
    return result;
}

} // namespace kestrion::testsupport
