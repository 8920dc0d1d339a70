// Look-ups through the real host database, inside a network namespace of this test's own: its
// hosts file holds the names, and its name server is 127.0.0.1 where nothing listens, so a miss
// fails at once and no look-up ever reaches the machine's real name server.
//
// Started by ctest, the binary sets the namespace up, re-runs itself inside it through
// `ip netns exec`, and removes the namespace again whatever the outcome.

#include "ResolverLibrary.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <netdb.h>
#include <random>
#include <regex>
#include <sys/wait.h>
#include <unistd.h>

using namespace kestrion::com;
using namespace kestrion::resolver;
using kestrion::test::ResolverLibrary;

namespace {

constexpr const char* kInsideVariable = "KESTRION_RESOLVER_NETNS";
constexpr const char* kSkipVariable = "KESTRION_RESOLVER_SKIP";
constexpr const char* kNamePrefix = "kresolv-";
constexpr int kSweepHosts = 254;

// A name of the given length whose every character tells its position.
std::string longName(size_t length) {
    std::string name;
    for (size_t i = 0; name.size() < length; ++i)
        name += static_cast<char>('a' + i % 26);
    return name;
}

struct LongNameRow {
    const char* address;
    size_t length;
};
constexpr LongNameRow kLongNames[] = {
    {"10.78.1.199", 199}, {"10.78.1.200", 200}, {"10.78.1.201", 201}, {"10.78.1.250", 250}};

std::string hostsFile() {
    std::string text = "127.0.0.1 localhost\n";
    for (int n = 1; n <= kSweepHosts; ++n)
        text += "10.77.0." + std::to_string(n) + " host-" + std::to_string(n) + ".sweep.test\n";
    text += "10.78.0.5 Mixed-Case.Example.TEST alias-x\n";
    // The later address sorts first, so "the first" must mean the first given.
    text += "10.78.0.9 multi.sweep.test\n10.78.0.7 multi.sweep.test\n";
    text += "255.255.255.255 broadcast-name\n";
    for (const auto& row : kLongNames)
        text += std::string(row.address) + " " + longName(row.length) + "\n";
    return text;
}

class ResolverLookup : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv(kInsideVariable)) {
            const char* reason = std::getenv(kSkipVariable);
            GTEST_SKIP() << (reason ? reason : "runs only inside the test's network namespace");
        }
        resolver_ = library_.create();
        ASSERT_TRUE(resolver_);
    }

    std::string hostName(const char* address) {
        char buffer[kHostNameChars + 1];
        std::memset(buffer, ' ', kHostNameChars);
        buffer[kHostNameChars] = '\0';
        EXPECT_EQ(resolver_->GetHostByAddr(address, buffer), S_OK) << address;
        return buffer;
    }

    std::string addressOf(const char* name) {
        char buffer[kHostNameChars + 1] = {};
        EXPECT_EQ(resolver_->GetAddrByHost(name, buffer), S_OK) << name;
        return buffer;
    }

    ResolverLibrary library_;
    ComPtr<IWSResolver> resolver_;
};

const std::regex kErrorText("Error code -?[0-9]+ occurred\\.");
// The error text cut to the 15 characters of an address buffer, as GetAddrByHost writes it.
const std::regex kCutErrorText("Error code (-?[0-9]{4}|-?[0-9]{3} |-?[0-9]{2} o|-?[0-9] oc)");

TEST_F(ResolverLookup, AddressToName) {
    struct Row {
        const char* name;
        const char* address;
        const char* expected; // null: the error text
    } rows[] = {
        {"official name unchanged", "10.78.0.5", "Mixed-Case.Example.TEST"},
        {"one of the sweep's hosts", "10.77.0.200", "host-200.sweep.test"},
        {"short dotted form, as inet_addr reads it", "10.77.200", "host-200.sweep.test"},
        {"a host name is no address", "host-1.sweep.test", nullptr},
        {"empty text", "", nullptr},
        {"part above 255", "10.77.0.300", nullptr},
        {"five parts", "10.77.0.1.1", nullptr},
        {"255.255.255.255 is never looked up, though the hosts file names it", "255.255.255.255", nullptr},
        {"no record", "10.79.0.1", nullptr},
        {"no text at all", nullptr, nullptr},
    };
    for (const auto& row : rows) {
        const std::string name = hostName(row.address);
        if (row.expected)
            EXPECT_EQ(name, row.expected) << row.name;
        else
            EXPECT_TRUE(std::regex_match(name, kErrorText)) << row.name << ": " << name;
    }
}

TEST_F(ResolverLookup, AMissSaysWhyAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    const std::string name = hostName("10.79.0.1");
    const auto took = std::chrono::steady_clock::now() - start;
    // Not in the hosts file, and the name server cannot be reached: "try again".
    EXPECT_EQ(name, "Error code " + std::to_string(TRY_AGAIN) + " occurred.");
    EXPECT_LT(took, std::chrono::milliseconds(50));
}

TEST_F(ResolverLookup, LongNamesAreCutAtTheCallersBuffer) {
    // The buffer is exactly what the sweep gives: 200 characters and the terminator.
    constexpr size_t kGuard = 64;
    for (const auto& row : kLongNames) {
        unsigned char buffer[kHostNameBuffer + kGuard];
        std::memset(buffer, ' ', kHostNameChars);
        std::memset(buffer + kHostNameChars, 0xA5, kGuard + 1);
        ASSERT_EQ(resolver_->GetHostByAddr(row.address, reinterpret_cast<char*>(buffer)), S_OK);
        const std::string name(reinterpret_cast<const char*>(buffer),
                               strnlen(reinterpret_cast<const char*>(buffer), kHostNameBuffer));
        EXPECT_EQ(name, longName(std::min(row.length, kHostNameChars))) << row.length;
        EXPECT_EQ(buffer[name.size()], '\0') << row.length << ": terminated inside the buffer";
        for (size_t i = kHostNameBuffer; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 0xA5) << row.length << ": written past the buffer at " << i;
    }
}

TEST_F(ResolverLookup, AddressesAndErrorTextsFitAnAddressBuffer) {
    constexpr size_t kGuard = 64;
    struct Row {
        const char* name;
        const char* hostName;
        std::string expected;
    } rows[] = {
        {"the longest dotted address", "broadcast-name", "255.255.255.255"},
        {"a short one", "host-7.sweep.test", "10.77.0.7"},
        {"the error text, cut", "nowhere.sweep.test",
         ("Error code " + std::to_string(TRY_AGAIN) + " occurred.").substr(0, kAddressChars - 1)},
    };
    for (const Row& row : rows) {
        unsigned char buffer[kAddressChars + kGuard];
        std::memset(buffer, 0xA5, sizeof buffer);
        ASSERT_EQ(resolver_->GetAddrByHost(row.hostName, reinterpret_cast<char*>(buffer)), S_OK) << row.name;
        const std::string text(reinterpret_cast<const char*>(buffer),
                               strnlen(reinterpret_cast<const char*>(buffer), kAddressChars));
        EXPECT_EQ(text, row.expected) << row.name;
        EXPECT_LT(text.size(), kAddressChars) << row.name << ": no terminator inside the buffer";
        for (size_t i = kAddressChars; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 0xA5) << row.name << ": written past the buffer at " << i;
    }
}

TEST_F(ResolverLookup, NameToAddress) {
    struct Row {
        const char* name;
        const char* hostName;
        const char* expected; // null: the error text
    } rows[] = {
        {"several addresses give the first", "multi.sweep.test", "10.78.0.9"},
        {"one address", "host-7.sweep.test", "10.77.0.7"},
        {"alias", "alias-x", "10.78.0.5"},
        {"letter case does not matter", "mixed-case.EXAMPLE.test", "10.78.0.5"},
        {"dotted text stays itself", "10.1.2.3", "10.1.2.3"},
        {"unknown name", "nowhere.sweep.test", nullptr},
        {"empty name", "", nullptr},
    };
    for (const auto& row : rows) {
        const std::string address = addressOf(row.hostName);
        if (row.expected)
            EXPECT_EQ(address, row.expected) << row.name;
        else
            EXPECT_TRUE(std::regex_match(address, kCutErrorText)) << row.name << ": " << address;
    }
}

// A caller built apart from the library reaches the methods by their places in the method table:
// the three counting slots, then GetHostByAddr, then GetAddrByHost.
TEST_F(ResolverLookup, MethodsSitInTheirSlotsAfterTheCountingOnes) {
    using Count = uint32_t (*)(IWSResolver*);
    using Method = HRESULT (*)(IWSResolver*, const char*, char*);
    IWSResolver* object = resolver_.get();
    void* const* table = *reinterpret_cast<void* const* const*>(object);
    EXPECT_EQ(reinterpret_cast<Count>(table[1])(object), 2u) << "slot 2 adds a reference";
    EXPECT_EQ(reinterpret_cast<Count>(table[2])(object), 1u) << "slot 3 releases it";
    char buffer[kHostNameChars + 1] = {};
    EXPECT_EQ(reinterpret_cast<Method>(table[3])(object, "10.77.0.9", buffer), S_OK);
    EXPECT_STREQ(buffer, "host-9.sweep.test") << "slot 4 is GetHostByAddr";
    EXPECT_EQ(reinterpret_cast<Method>(table[4])(object, "host-9.sweep.test", buffer), S_OK);
    EXPECT_STREQ(buffer, "10.77.0.9") << "slot 5 is GetAddrByHost";
}

// The sweep asks for one name per answering address; a full block must not add noticeably to it.
TEST_F(ResolverLookup, PerCallTimeForABlockOfNamedHosts) {
    std::vector<std::string> addresses;
    for (int n = 1; n <= kSweepHosts; ++n)
        addresses.push_back("10.77.0." + std::to_string(n));
    char buffer[kHostNameChars + 1];
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (const auto& address : addresses)
            resolver_->GetHostByAddr(address.c_str(), buffer);
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / static_cast<double>(addresses.size()));
        ASSERT_STREQ(buffer, "host-254.sweep.test");
    }
    std::printf("GetHostByAddr: %.1f us per call (best of 5 rounds of %d names from the hosts file)\n", best,
                kSweepHosts);
    RecordProperty("microseconds_per_call", std::to_string(best));
    EXPECT_LT(best, 200.0);
}

// ---- Setting the namespace up and running inside it ----

int run(const std::vector<std::string>& command) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        argv.reserve(command.size() + 1);
        for (const auto& part : command)
            argv.push_back(const_cast<char*>(part.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void removeNamespace(const std::string& name) {
    if (std::filesystem::exists("/run/netns/" + name))
        run({"ip", "netns", "delete", name});
    std::error_code ec;
    std::filesystem::remove_all("/etc/netns/" + name, ec);
}

// Namespaces of earlier runs that were killed before they could tidy up; the name carries the
// pid of the run that made it.
void removeAbandonedNamespaces() {
    for (const char* folder : {"/etc/netns", "/run/netns"}) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(kNamePrefix, 0) != 0)
                continue;
            const auto owner = static_cast<pid_t>(std::atol(name.c_str() + std::strlen(kNamePrefix)));
            if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH)
                removeNamespace(name);
        }
    }
}

volatile std::sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) {
    stopSignal = signal;
}

bool writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out);
}

int runInsideNamespace(const std::vector<std::string>& arguments) {
    removeAbandonedNamespaces();
    std::random_device seed;
    char name[64];
    std::snprintf(name, sizeof name, "%s%d-%08x", kNamePrefix, static_cast<int>(::getpid()), seed());
    const std::filesystem::path etc = std::string("/etc/netns/") + name;

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);

    std::error_code ec;
    std::filesystem::create_directories(etc, ec);
    // nsswitch.conf too, so that no local caching or resolving service of the machine is asked.
    bool ready = !ec && writeText(etc / "hosts", hostsFile()) &&
                 writeText(etc / "resolv.conf", "nameserver 127.0.0.1\noptions attempts:1 timeout:1\n") &&
                 writeText(etc / "nsswitch.conf", "passwd: files\ngroup: files\nhosts: files dns\n") &&
                 writeText(etc / "host.conf", "multi on\n") && run({"ip", "netns", "add", name}) == 0 &&
                 run({"ip", "-n", name, "link", "set", "lo", "up"}) == 0;
    int result = 1;
    if (!ready) {
        std::fprintf(stderr, "cannot set up network namespace %s for the look-up tests\n", name);
    } else if (!stopSignal) {
        std::vector<std::string> command = {"ip", "netns", "exec", name};
        command.insert(command.end(), arguments.begin(), arguments.end());
        ::setenv(kInsideVariable, name, 1);
        const pid_t child = ::fork();
        if (child == 0) {
            std::vector<char*> argv;
            argv.reserve(command.size() + 1);
            for (const auto& part : command)
                argv.push_back(const_cast<char*>(part.c_str()));
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        bool forwarded = false;
        while (child > 0 && ::waitpid(child, &status, 0) < 0) {
            if (errno != EINTR)
                break;
            if (stopSignal && !forwarded) {
                ::kill(child, SIGTERM);
                forwarded = true;
            }
        }
        if (child > 0 && WIFEXITED(status))
            result = WEXITSTATUS(status);
    }
    removeNamespace(name);
    return result;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    std::error_code ec;
    const auto self = std::filesystem::canonical("/proc/self/exe", ec);
    if (!ec)
        arguments[0] = self.string();
    ::testing::InitGoogleTest(&argc, argv);

    bool listing = false;
    for (const auto& argument : arguments)
        listing = listing || argument.rfind("--gtest_list_tests", 0) == 0;
    if (listing || std::getenv(kInsideVariable))
        return RUN_ALL_TESTS();
    if (::geteuid() != 0) {
        ::setenv(kSkipVariable,
                 "not root: the look-up tests need a network namespace of their own (ip netns)", 1);
        return RUN_ALL_TESTS();
    }
    return runInsideNamespace(arguments);
}
