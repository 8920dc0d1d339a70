// A full sweep of 254 answering addresses, 127.0.0.1 to 127.0.0.254, inside a network namespace of its
// own (loopback only), with the real echo service: through the real main window, offscreen (the Ping
// button), and as kestrion-cli sweeps (the same sweep session on the calling thread, its rows printed).
// Median of 9 sweeps each, taking turns: the window without host names (no Resolver object can be made)
// and with them (the real Resolver, all 254 addresses named in the namespace's hosts file), and the
// command line with them. Needs root.
#include "app/Application.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "cli/ConsoleSweep.h"
#include "platform/IcmpSocketEcho.h"
#include "platform/com/RegistryComponentFactory.h"
#include "tests/support/ResolverRegistration.h"
#include "tests/support/TestNetwork.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>
#include <vector>

using namespace kestrion;

namespace {

constexpr const char* kInside = "KESTRION_SWEEP_BENCH_INSIDE";
constexpr int kRuns = 9;
constexpr int kAddresses = 254;
constexpr double kTargetSeconds = 0.5;
constexpr double kTargetNameMsPerAddress = 0.1;
constexpr double kTargetWindowToCommandLine = 1.5;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Result {
    double medianSeconds = 0;
    double medianCpuSeconds = 0;
    std::vector<double> runs;
    std::vector<double> cpu;
    bool complete = true;
};

Result withMedians(Result r);

// One window per kind of sweep; the two take turns, so a change in the machine's load falls on both.
class Sweeper {
public:
    Sweeper(com::ComponentFactory& components, bool expectNames) : expectNames_(expectNames) {
        world_.settings->write(QStringLiteral("Settings"), QStringLiteral("Timeout"), QStringLiteral("1000"));
        world_.realEcho = &echo_;
        world_.realComponents = &components;
        window_ = std::make_unique<app::MainWindow>(world_.services());
        window_->Form_Load();
        grid_ = window_->findChild<QTableView*>(QStringLiteral("flxOutBox"));
    }

    void sweep(bool keep) {
        window_->findChild<QPushButton*>(QStringLiteral("cmdReset"))->click();
        const char* texts[5] = {"127", "0", "0", "1", "254"};
        for (int i = 0; i < 5; ++i)
            window_->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(i + 1))
                ->setText(QLatin1String(texts[i]));
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        window_->findChild<QPushButton*>(QStringLiteral("cmdPing"))->click();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const double cpu = processCpuSeconds() - cpuStart;
        const QAbstractItemModel& rows = *grid_->model();
        const bool named = rows.rowCount() == kAddresses && rows.index(kAddresses - 1, 1).data().toString() ==
                                                                QStringLiteral("host-254.sweep.test");
        if (rows.rowCount() != kAddresses || (expectNames_ && !named) ||
            window_->findChild<app::StatusBar*>(QStringLiteral("sbStatus"))->panel(1) !=
                QStringLiteral("Done."))
            result_.complete = false;
        if (keep) {
            result_.runs.push_back(took.count());
            result_.cpu.push_back(cpu);
        }
    }

    Result result() const { return withMedians(result_); }

private:
    test::FakeWorld world_;
    platform::IcmpSocketEcho echo_;
    std::unique_ptr<app::MainWindow> window_;
    QTableView* grid_ = nullptr;
    bool expectNames_;
    Result result_;
};

// What `kestrion-cli sweep 127.0.0.1-254` does: its sweep session on the calling thread, every answering
// address printed as a line (into memory here).
class CommandLineSweeper {
public:
    explicit CommandLineSweeper(com::ComponentFactory& components)
        : session_(echo_, &components, sweep::SweepSession::Waiting::OnThisThread),
          printer_(session_, console_, &rows_) {
        session_.setRange({QStringLiteral("127"), QStringLiteral("0"), QStringLiteral("0"), 1, kAddresses});
        session_.setSettings({1000, 64});
    }

    void sweep(bool keep) {
        session_.clearHosts();
        out_.str({});
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        const sweep::SweepResult swept = session_.run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        const double cpu = processCpuSeconds() - cpuStart;
        const std::string printed = out_.str();
        if (swept.outcome != sweep::SweepOutcome::Done || session_.hosts().rowCount() != kAddresses ||
            printed.find("host-254.sweep.test") == std::string::npos)
            result_.complete = false;
        if (keep) {
            result_.runs.push_back(took.count());
            result_.cpu.push_back(cpu);
        }
    }
    const Result& result() const { return result_; }

private:
    platform::IcmpSocketEcho echo_;
    std::ostringstream out_;
    std::ostringstream err_;
    cli::Console console_{out_, err_};
    cli::RecordWriter rows_{out_, cli::OutputFormat::Tsv, cli::sweepFields()};
    sweep::SweepSession session_;
    cli::ConsoleSweep printer_;
    Result result_;
};

Result withMedians(Result r) {
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    r.medianSeconds = median(r.runs);
    r.medianCpuSeconds = median(r.cpu);
    return r;
}

void print(const char* what, const Result& r) {
    std::printf("%-26s median %.3f s, CPU %.3f s  (runs:", what, r.medianSeconds, r.medianCpuSeconds);
    for (double s : r.runs)
        std::printf(" %.3f", s);
    std::printf(")%s\n", r.complete ? "" : "  INCOMPLETE: not every address was listed as expected");
}

// Without a registered Resolver the sweep lists every address with "Not available".
class NoResolver final : public com::ComponentFactory {
public:
    com::HRESULT createInstance(const com::GUID&, const com::GUID&, void** object) override {
        *object = nullptr;
        return com::REGDB_E_CLASSNOTREG;
    }
};

int inside(int argc, char** argv) {
    app::Application application(argc, argv);
    NoResolver none;
    com::RegistryComponentFactory registry;
    Sweeper plainSweeper(none, false);
    Sweeper namedSweeper(registry, true);
    CommandLineSweeper commandLine(registry);
    for (int run = 0; run <= kRuns; ++run) { // run 0 warms up
        plainSweeper.sweep(run > 0);
        namedSweeper.sweep(run > 0);
        commandLine.sweep(run > 0);
    }
    const Result plain = plainSweeper.result();
    const Result named = namedSweeper.result();
    const Result cli = withMedians(commandLine.result());
    print("window, names unavailable:", plain);
    print("window, names looked up:", named);
    print("command line, names:", cli);
    const double addedMs = (named.medianSeconds - plain.medianSeconds) * 1000.0 / kAddresses;
    const double ratio = named.medianSeconds / cli.medianSeconds;
    std::printf("look-ups add %.3f ms per address (target at most %.1f ms); sweep target under %.1f s\n",
                addedMs, kTargetNameMsPerAddress, kTargetSeconds);
    std::printf("window / command line: %.2f (target at most %.1f)\n", ratio, kTargetWindowToCommandLine);
    const bool ok = plain.complete && named.complete && cli.complete &&
                    plain.medianSeconds < kTargetSeconds && addedMs <= kTargetNameMsPerAddress &&
                    ratio <= kTargetWindowToCommandLine;
    std::printf("%s\n", ok ? "PASS" : "FAIL");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsSet(kInside))
        return inside(argc, argv);
    if (::geteuid() != 0) {
        std::fprintf(stderr, "sweep_bench needs root: it sweeps inside a network namespace of its own\n");
        return 2;
    }
    const std::string ns = "ksbench-" + std::to_string(::getpid());
    const std::filesystem::path etc = "/etc/netns/" + ns;
    std::filesystem::create_directories(etc);
    {
        std::ofstream hosts(etc / "hosts");
        hosts << "127.0.0.1 host-1.sweep.test localhost\n";
        for (int n = 2; n <= kAddresses; ++n)
            hosts << "127.0.0." << n << " host-" << n << ".sweep.test\n";
        std::ofstream(etc / "resolv.conf") << "nameserver 127.0.0.1\noptions timeout:1 attempts:1\n";
        std::ofstream(etc / "nsswitch.conf") << "hosts: files dns\n";
    }
    const testsupport::ResolverRegistration registry;
    std::string output = registry.output;
    int status = registry.status;
    status = status ? status : testsupport::runCommand({"ip", "netns", "add", ns}, &output);
    status = status ? status : testsupport::runCommand({"ip", "-n", ns, "link", "set", "lo", "up"}, &output);
    if (status == 0) {
        const std::string self = std::filesystem::canonical("/proc/self/exe").string();
        status = testsupport::runInNamespace(ns, {self}, {std::string(kInside) + "=1", registry.environment});
    } else {
        std::fprintf(stderr, "%s", output.c_str());
    }
    testsupport::runCommand({"ip", "netns", "delete", ns});
    std::filesystem::remove_all(etc);
    return status;
}
